#pragma once
// The label column of one track: channel number and name, the marker read-outs,
// M2-M1 and the vertical scale, and the track's settings button (id 10000 +
// channel index, image 4225). GUI thread only.

#include "QVxCore/Color.h"
#include "QVxWinGUICommon/QVxWinGUICommonExport.h"
#include "QVxWinGUICommon/WaveformMonitor/TrackAreaGeometry.h"

#include <QPainter>

#include <cstdint>

class CQVxIconButton;
class CQVxWaveformTrack;

class QVXWINGUICOMMON_EXPORT QVxWaveformCaption {
public:
    static constexpr int kSettingsButtonImageId = 4225;
    static constexpr int kSettingsButtonIdBase = 10000;

    explicit QVxWaveformCaption(CQVxWaveformTrack* track);
    ~QVxWaveformCaption();
    QVxWaveformCaption(const QVxWaveformCaption&) = delete;
    QVxWaveformCaption& operator=(const QVxWaveformCaption&) = delete;

    // Places the settings button for the track's layout and shows or hides it.
    void Layout(const qvx::trackarea::TrackLayout& layout, bool showButton);
    // Paints the label column `rect`; nothing when the channel is not enabled.
    void Paint(QPainter& p, const qvx::trackarea::PixRect& rect, std::int64_t time);

    CQVxWaveformTrack* GetTrack() const { return m_track; }
    CQVxIconButton* GetButton() const { return m_button; }

private:
    // The marker values (stored data only) below the track name, one line per row
    // of `h` pixels; M2-M1 too outside the generic usage.
    void PaintMarkerReadouts(QPainter& p, const qvx::trackarea::PixRect& rect, int h);

    CQVxWaveformTrack* m_track;
    CQVxIconButton* m_button = nullptr;  // a child of the track area window
    qvx::Color m_lastBackground;
};
