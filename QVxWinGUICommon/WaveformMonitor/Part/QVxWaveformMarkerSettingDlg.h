#pragma once
// The strip in the track area's top-left corner: one check box per marker with
// its time, and under the second the difference M2 - M1 when both are set, three
// rows in the ruler's height so that the label column's width shows them whole.
// Toggling a box switches that marker on or off. GUI thread only.

#include "QVxCore/Presenters/Signal.h"
#include "QVxWinGUICommon/QVxWinGUICommonExport.h"

#include <QWidget>

#include <array>
#include <memory>

class QCheckBox;
class QLabel;

namespace qvx {
class WaveformPresenter;
}

class QVXWINGUICOMMON_EXPORT QVxWaveformMarkerSettingDlg : public QWidget {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 4228;
    static constexpr int kCheckIds[2] = {1015, 1016};
    static constexpr int kDifferenceLabelId = 1017;  // "(M2-M1: ...)" under the second box
    static constexpr int kBoxWidth = 400;
    static constexpr int kBoxHeight = 16;  // three rows in the 49-pixel strip
    static constexpr int kFontPoints = 8;

    explicit QVxWaveformMarkerSettingDlg(QWidget* parent = nullptr);
    ~QVxWaveformMarkerSettingDlg() override;

    // Not owned; null detaches. Texts refresh on ViewportChanged and ScaleChanged.
    void Setup(qvx::WaveformPresenter* presenter);
    void UpdateTexts();

private:
    void Disconnect();

    qvx::WaveformPresenter* m_presenter = nullptr;
    std::array<QCheckBox*, 2> m_boxes{};
    QLabel* m_difference = nullptr;
    std::shared_ptr<qvx::SignalConnection> m_viewportConnection;
    std::shared_ptr<qvx::SignalConnection> m_scaleConnection;
    bool m_updating = false;
};
