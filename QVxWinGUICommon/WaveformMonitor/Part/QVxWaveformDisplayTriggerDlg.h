#pragma once
// Editor of the display trigger: mode buttons, then source, level, position and
// sensitivity, then the four slope buttons with the pulse width and its
// comparison. Every control writes through the display trigger presenter; the
// presenter's settings-changed signal (and the waveform presenter's
// ViewportChanged, for the track names) brings the controls back in line.
// GUI thread only.

#include "QVxCore/Presenters/Signal.h"
#include "QVxWinGUICommon/QVxWinGUICommonExport.h"

#include <QDialog>

#include <array>
#include <memory>

class QButtonGroup;
class QComboBox;
class QLabel;
class QPushButton;
class QVxUnitValuePropertyField;

namespace qvx {
class WaveformDisplayTriggerPresenter;
class WaveformPresenter;
}  // namespace qvx

class QVXWINGUICOMMON_EXPORT CQVxWaveformDisplayTriggerDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 4235;
    static constexpr int kModeIds[3] = {1020, 1021, 1022};
    static constexpr int kSlopeIds[4] = {1027, 1028, 1029, 1030};
    static constexpr int kSlopeImageIds[4] = {4229, 4230, 4231, 4232};
    // Other control ids; each control's object name is "id<N>".
    static constexpr int kSourceId = 1017;
    static constexpr int kComparisonId = 1018;
    static constexpr int kSensitivityLabelId = 1024;
    static constexpr int kLevelLabelId = 1025;
    static constexpr int kSourceLabelId = 1026;
    static constexpr int kLevelId = 1031;
    static constexpr int kWidthId = 1032;
    static constexpr int kSensitivityId = 1033;
    static constexpr int kWidthLabelId = 1034;
    static constexpr int kComparisonLabelId = 1035;
    static constexpr int kPositionLabelId = 1036;
    static constexpr int kPositionId = 1037;

    explicit CQVxWaveformDisplayTriggerDlg(QWidget* parent = nullptr);
    ~CQVxWaveformDisplayTriggerDlg() override;

    // Not owned; null detaches the dialog (controls keep their last state).
    void Setup(qvx::WaveformDisplayTriggerPresenter* presenter);
    void UpdateControls();

protected:
    void resizeEvent(QResizeEvent* event) override;
    // A new font or style re-measures the captions (minimum width and label column).
    void changeEvent(QEvent* event) override;

private:
    void CreateModeButtons();
    void CreateSourceFields();
    void CreateSlopeButtons();
    void CreateWidthFields();
    void ConnectHandlers();
    void OnSize();
    // The label column of grid 2: as wide as its widest caption (px).
    int LabelColumnWidth() const;
    // Keeps the dialog at least as wide as its captions and the 120-pixel fields need.
    void UpdateMinimumWidth();
    void Subscribe();
    // Runs a handler's write unless the dialog is refreshing its own controls.
    template <class F>
    void Write(F&& write);

    qvx::WaveformDisplayTriggerPresenter* m_presenter = nullptr;
    qvx::WaveformPresenter* m_subscribedWaveform = nullptr;
    std::shared_ptr<qvx::SignalConnection> m_settingsConnection;
    std::shared_ptr<qvx::SignalConnection> m_viewportConnection;
    bool m_updating = false;

    std::array<QPushButton*, 3> m_modeButtons{};
    QButtonGroup* m_modeGroup;
    QLabel* m_sourceLabel = nullptr;
    QComboBox* m_source;
    QLabel* m_levelLabel = nullptr;
    QVxUnitValuePropertyField* m_level;
    QLabel* m_positionLabel = nullptr;
    QVxUnitValuePropertyField* m_position;
    QLabel* m_sensitivityLabel = nullptr;
    QVxUnitValuePropertyField* m_sensitivity;
    std::array<QPushButton*, 4> m_slopeButtons{};
    QButtonGroup* m_slopeGroup;
    QLabel* m_widthLabel = nullptr;
    QVxUnitValuePropertyField* m_width;
    QLabel* m_comparisonLabel = nullptr;
    QComboBox* m_comparison;
};
