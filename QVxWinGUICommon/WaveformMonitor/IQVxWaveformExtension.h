#pragma once
// Paint hooks through which the application draws its own overlays into the
// waveform window's double buffer. GUI thread, inside a paint.

#include <QPainter>
#include <QRect>

#include <cstdint>

class CQVxWaveformTrackArea;
class CQVxWaveformTrack;
class QVxWaveformCaption;

class IQVxWaveformExtension {
public:
    virtual ~IQVxWaveformExtension() = default;
    // Once per area paint, after the cross-hair and before the track captions.
    virtual void OnPaintArea(CQVxWaveformTrackArea* area, QPainter& painter, const QRect& client,
                             const QRect& waveform) = 0;
    // Once per track paint, after the track's polyline.
    virtual void OnPaintTrack(CQVxWaveformTrack* track, QPainter& painter, const QRect& waveform) = 0;
    // At the end of each caption paint; `time` is the cursor time in ns.
    virtual void OnPaintCaption(QVxWaveformCaption* caption, QPainter& painter, std::int64_t time,
                                const QRect& captionRect, const QRect& scaleArea) = 0;
    // Whether OnPaintArea draws a banner in the area's top-left corner (a warning that must
    // stay visible): the marker strip, which lies there, is hidden meanwhile.
    virtual bool HasTopLeftBanner() const { return false; }
};
