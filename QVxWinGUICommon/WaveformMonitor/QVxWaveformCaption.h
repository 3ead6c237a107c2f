#pragma once
// The label column of one track: channel number and name, the marker read-outs,
// M2-M1 and the vertical scale, and the track's settings button (id 10000 +
// channel index, image 4225). GUI thread only.

#include "QVxCore/Color.h"
#include "QVxWinGUICommon/QVxWinGUICommonExport.h"
#include "QVxWinGUICommon/WaveformMonitor/TrackAreaGeometry.h"

#include <QPainter>
#include <QStringList>

#include <cstdint>

class CQVxIconButton;
class CQVxWaveformTrack;

class QVXWINGUICOMMON_EXPORT QVxWaveformCaption {
public:
    static constexpr int kSettingsButtonImageId = 4225;
    static constexpr int kSettingsButtonIdBase = 10000;
    static constexpr int kScaleStripWidth = 70;  // px at the column's right, with vertical divisions

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
    // The y below the last text the caption drew in its latest paint (the name or a marker
    // read-out): an extension's own text keeps below it.
    int GetReadoutBottom() const { return m_readoutBottom; }

    // The read-out lines under the name: M1 and M2 on one line joined by ", " (the
    // separator whenever the M1 text is not empty) when `shareLine`, else one line each;
    // then `diff` ("M2-M1: ...") on a line of its own unless it is empty.
    static QStringList MarkerReadoutLines(const QString& m1, const QString& m2, const QString& diff,
                                          bool shareLine);

private:
    // The marker values (stored data only) below the track name, one line per row
    // of `h` pixels; M2-M1 too outside the generic usage.
    void PaintMarkerReadouts(QPainter& p, const qvx::trackarea::PixRect& rect, int h);
    static void DrawReadoutLine(QPainter& p, const QRect& line, const QString& text);

    CQVxWaveformTrack* m_track;
    CQVxIconButton* m_button = nullptr;  // a child of the track area window
    qvx::Color m_lastBackground;
    int m_readoutBottom = 0;
};
