#pragma once
// The mark flags of the track area: one per visible entry of the mark list that the
// display trigger part of the presenter holds (the application's bookmarks), drawn
// after the M1/M2 flags as a vertical line in the mark's colour over the waveforms and
// a flag in the ruler labelled "M"; the selected mark's flag is outlined in the
// style's highlight colour. Hit-tested topmost first (the last drawn). GUI thread only.

#include "QVxCore/Presenters/WaveformDisplayTriggerPresenter.h"
#include "QVxWinGUICommon/QVxWinGUICommonExport.h"
#include "QVxWinGUICommon/WaveformMonitor/TrackAreaGeometry.h"

#include <QPainter>
#include <QPoint>

#include <climits>
#include <cstdint>
#include <memory>

namespace qvx {
class SignalConnection;
class WaveformStyle;
}  // namespace qvx

class QVXWINGUICOMMON_EXPORT CQVxWaveformMarkFlags {
public:
    // Where the marks are on screen: the waveform rectangle and the painted time axis.
    struct View {
        qvx::trackarea::PixRect waveform;
        std::int64_t viewportBegin = 0;  // ns
        std::int64_t timeParPixel = 1;   // ns per pixel, > 0
    };

    CQVxWaveformMarkFlags() = default;
    ~CQVxWaveformMarkFlags();
    CQVxWaveformMarkFlags(const CQVxWaveformMarkFlags&) = delete;
    CQVxWaveformMarkFlags& operator=(const CQVxWaveformMarkFlags&) = delete;

    // Follows `marks` (not owned; null for none): `changed` runs whenever its mark list
    // or selection changes (the area repaints then).
    void Bind(qvx::WaveformDisplayTriggerPresenter* marks, std::function<void()> changed);
    qvx::WaveformDisplayTriggerPresenter* GetMarks() const { return m_marks; }

    // x of a mark's line, or INT_MIN when it lies far outside the window.
    static int MarkX(std::int64_t time, const View& view);
    // The id of the visible mark whose flag holds the point (0 for none).
    int HitTest(QPoint pt, const View& view) const;
    // Refreshes which flag is under the pointer; true when that changed.
    bool UpdateHover(QPoint pt, const View& view);
    int GetHover() const { return m_hover; }

    void Paint(QPainter& p, const View& view, const qvx::WaveformStyle& style) const;

private:
    qvx::WaveformDisplayTriggerPresenter* m_marks = nullptr;
    std::shared_ptr<qvx::SignalConnection> m_listConnection;
    int m_hover = 0;
};
