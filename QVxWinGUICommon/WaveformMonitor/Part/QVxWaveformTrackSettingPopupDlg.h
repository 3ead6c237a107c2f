#pragma once
// Popup of a track's settings button: name, line and background colour and, for
// the analog usage, the V/DIV scaling. Every change is written to the track's
// visual settings at once and announced with TrackSettingsChanged (the track area
// re-lays and redraws). The popup closes when it loses activation to anything but
// its colour menus and the colour dialog, on a mouse press outside it and on Escape.
// GUI thread only.

#include "QVxWinGUICommon/QVxWinGUICommonExport.h"

#include <QDialog>

#include <cstdint>

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QVxColorButton;

namespace qvx {
class WaveformTrackPresenter;
}

class QVXWINGUICOMMON_EXPORT QVxWaveformTrackSettingPopupDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 4232;
    // Control ids; each control's object name is "id<N>".
    static constexpr int kLineColorId = 1011;
    static constexpr int kNameLabelId = 1012;
    static constexpr int kLineColorLabelId = 1013;
    static constexpr int kNameId = 1014;
    static constexpr int kBackColorLabelId = 1015;
    static constexpr int kBackColorId = 1016;
    static constexpr int kScalingLabelId = 1018;  // analog usage only
    static constexpr int kScalingId = 1019;       // analog usage only
    struct Scaling {
        const char* label;
        double factor;
    };
    static constexpr Scaling kScalings[] = {{"12.5%", 0.125}, {"25%", 0.25},  {"50%", 0.5},  {"100%", 1.0},
                                            {"200%", 2.0},    {"400%", 4.0},  {"800%", 8.0}, {"1600%", 16.0},
                                            {"3200%", 32.0},  {"6400%", 64.0}};

    // `usage` 1 (analog) adds the V/DIV row.
    explicit QVxWaveformTrackSettingPopupDlg(std::uint32_t usage, QWidget* parent = nullptr);

    // Shows the track's settings; the track presenter is not owned. Null lets go
    // of the track (its presenter is being replaced): edits then change nothing.
    void Load(qvx::WaveformTrackPresenter* track);
    qvx::WaveformTrackPresenter* GetTrack() const { return m_track; }

    // Index in kScalings nearest to `scaling` (the earlier one on a tie).
    static int NearestScalingIndex(double scaling);

Q_SIGNALS:
    void TrackSettingsChanged();

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void WriteBack();
    // `object` is this popup or one of its child widgets (also their own windows).
    bool IsOwnWidget(const QObject* object) const;

    std::uint32_t m_usage;
    qvx::WaveformTrackPresenter* m_track = nullptr;
    bool m_loading = false;
    QGridLayout* m_grid;
    QLineEdit* m_name;
    QVxColorButton* m_lineColor;
    QVxColorButton* m_backColor;
    QLabel* m_scalingLabel = nullptr;
    QComboBox* m_scaling = nullptr;
};
