#pragma once
// One channel's track of the track area: its rectangles, its polyline painting,
// its caption band, label strip and zero-level handle. Owned by the track area.
// GUI thread only.

#include "QVxWinGUICommon/QVxWinGUICommonExport.h"
#include "QVxWinGUICommon/WaveformMonitor/TrackAreaGeometry.h"

#include <QPainter>

#include <memory>
#include <vector>

namespace qvx {
class WaveformRenderData;
class WaveformTrackPresenter;
struct WaveformTrackVisualSettings;
}  // namespace qvx

class CQVxWaveformTrackArea;
class QVxWaveformCaption;

class QVXWINGUICOMMON_EXPORT CQVxWaveformTrack {
public:
    CQVxWaveformTrack(CQVxWaveformTrackArea* area, qvx::WaveformTrackPresenter* trackPresenter,
                      std::size_t index);
    ~CQVxWaveformTrack();

    // Places the track in `track` (label width `labelWidth`) and tells the track
    // presenter the waveform height and pixels per value unit.
    void Layout(const qvx::trackarea::PixRect& track, int labelWidth);
    bool IsEnabled() const;
    // Row of `value` in client coordinates.
    int ValueToY(std::int64_t value) const;

    // Background, polyline, separators and divisions (area paint step "tracks").
    void Paint(QPainter& p, const qvx::WaveformRenderData& data);
    // The translucent read-out band, the label column, the label strip, the rule
    // and the zero-level handle; `crossX` < 0 without a cross-hair.
    void PaintCaptionBand(QPainter& p, int crossX);

    CQVxWaveformTrackArea* GetArea() const { return m_area; }
    qvx::WaveformTrackPresenter* GetTrackPresenter() const { return m_trackPresenter; }
    QVxWaveformCaption* GetCaption() const { return m_caption.get(); }
    std::size_t GetIndex() const { return m_index; }
    const qvx::trackarea::TrackLayout& GetLayout() const { return m_layout; }
    const qvx::trackarea::PixRect& GetZeroHandleRect() const { return m_zeroHandle; }
    bool HasZeroHandle() const { return m_hasZeroHandle; }
    void SetZeroHandleHover(bool hover) { m_zeroHandleHover = hover; }
    const std::vector<qvx::trackarea::PolyPoint>& Polyline() const { return m_polyline; }

private:
    qvx::WaveformTrackVisualSettings* Settings() const;
    void PaintLabelStrip(QPainter& p);
    void PaintZeroHandle(QPainter& p);

    CQVxWaveformTrackArea* m_area;
    qvx::WaveformTrackPresenter* m_trackPresenter;
    std::size_t m_index;
    std::unique_ptr<QVxWaveformCaption> m_caption;
    qvx::trackarea::TrackLayout m_layout;
    qvx::trackarea::PixRect m_zeroHandle;
    bool m_hasZeroHandle = false;
    bool m_zeroHandleHover = false;
    std::vector<qvx::trackarea::PolyPoint> m_polyline;  // kept between paints
    std::vector<QPoint> m_points;
};
