#pragma once
// Pure geometry of the waveform track area: the layout of ruler, tracks, waveform
// rectangle and footer; the time grid; the 64-bit scroll position in a 32-bit
// scroll bar; the polyline of a track; tints and read-out placement. Pixels of the
// window's client area (y grows downward), times in ns. No Qt widgets, no state.

#include "QVxCore/Color.h"
#include "QVxWinGUICommon/QVxWinGUICommonExport.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace qvx {
class WaveformLine;
}

namespace qvx::trackarea {

// A rectangle with exclusive right and bottom edges.
struct PixRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool operator==(const PixRect&) const = default;
};

inline constexpr int kRulerHeight = 50;  // two 25-pixel bands
inline constexpr int kRulerBand = 25;
inline constexpr int kFooterHeight = 100;
inline constexpr int kFixedTracksBottomGap = 300;
inline constexpr int kSplitterWidth = 15;
inline constexpr int kMaxLabelWidth = 400;
inline constexpr int kDivisionPixels = 50;
inline constexpr int kMarkerClickSlop = 4;

struct AreaLayoutInput {
    int clientWidth = 0;
    int clientHeight = 0;
    int scrollBarHeight = 0;
    int labelWidth = 0;
    bool fitToHeight = false;
    int sharedTrackHeight = 150;
    std::vector<bool> trackEnabled;  // one per track
};

struct AreaLayout {
    PixRect area, ruler, tracksRegion, waveform, footer;
    std::vector<PixRect> tracks;  // one per track; a disabled track's rectangle is never painted
    int trackHeight = 0;          // with fit-to-height this becomes the shared track height
};

QVXWINGUICOMMON_EXPORT AreaLayout LayoutArea(const AreaLayoutInput& in);

// The lowest track height (px) at which fitted tracks stay readable: the scale's
// labels (every fifth of the 11 divisions) do not touch and the settings button stays
// inside its track.
inline constexpr int kMinFitTrackHeight = 90;

// The client height (px) that shows the ruler, every shown track and the footer whole:
// fitted tracks at kMinFitTrackHeight, otherwise at the height LayoutArea gives them.
// A window lower than this cuts the lower tracks or the footer (its embedding scrolls).
QVXWINGUICOMMON_EXPORT int NeededClientHeight(const AreaLayoutInput& in);

struct TrackLayout {
    PixRect track, splitter, waveform, settingsButton;
};
// `analogUsage`: the waveform keeps room for the zero-level handle and read-outs.
QVXWINGUICOMMON_EXPORT TrackLayout LayoutTrack(const PixRect& track, int labelWidth, bool analogUsage,
                                               bool verticalDivisions);

// The handle of a track's lower border, by which its height is dragged: the border's part in
// the label column (left of the splitter strip), 3 pixels above and below it.
inline constexpr int kBorderGrip = 3;
QVXWINGUICOMMON_EXPORT PixRect TrackBorderHandle(const TrackLayout& track);

// Zero-level handle: 20 x 30 at the waveform's left, centred on the row of value 0.
QVXWINGUICOMMON_EXPORT PixRect ZeroHandleRect(const PixRect& waveform, int zeroRow);

// Time unit of the ruler (0 s, 1 ms, 2 us, 3 ns): chosen from the time per
// division for the analog usage, else the settings' unit.
QVXWINGUICOMMON_EXPORT int ChooseTimeUnit(bool analogUsage, std::int64_t timeParPixel, int settingsUnit);

struct GridLine {
    int x;
    std::int64_t time;
    bool major;  // every fifth division
};
struct TimeGrid {
    std::int64_t division = 0;  // ns per 50 pixels
    std::vector<GridLine> lines;
    // The major line at or before the viewport begin (labelled when positive and
    // its text still reaches into the window).
    std::int64_t leadingMajorTime = 0;
    int leadingMajorX = 0;
};
// The lines fall on multiples of the division counted from `origin` ns before time 0:
// from the start of the recording with 0, on round times of day with the clock time of
// time 0 (ns since 1970).
QVXWINGUICOMMON_EXPORT TimeGrid MakeTimeGrid(std::int64_t begin, std::int64_t timeParPixel, int waveLeft,
                                             int waveRight, std::int64_t origin = 0);

// x of time t (may lie outside the window).
QVXWINGUICOMMON_EXPORT std::int64_t TimeToX(std::int64_t t, std::int64_t begin, std::int64_t timeParPixel,
                                            int waveLeft);
QVXWINGUICOMMON_EXPORT std::int64_t XToTime(int x, std::int64_t begin, std::int64_t timeParPixel,
                                            int waveLeft);

// Left x of a read-out of `textWidth` next to `anchorX`: 4 pixels right of it, or
// ending 4 pixels left of it when it would pass `rightEdge`.
QVXWINGUICOMMON_EXPORT int ReadoutX(int anchorX, int textWidth, int rightEdge);
// ReadoutX for a read-out that must stay clear of the columns [blockLeft, blockRight) (a
// button over its row; blockLeft >= blockRight for none) and inside [leftEdge, rightEdge]:
// right of the anchor, else left of it, else right of the block, else left of the block;
// ReadoutX's place when none of them fits.
QVXWINGUICOMMON_EXPORT int ReadoutXClearOf(int anchorX, int textWidth, int leftEdge, int rightEdge,
                                           int blockLeft, int blockRight);

// (custom x wc + base x wb) / 255 per RGB component; base alone when custom is not set.
QVXWINGUICOMMON_EXPORT Color Tint(const Color& custom, const Color& base, int wc, int wb);

// The track's 11 horizontal divisions between top + 30 and bottom - 19.
struct Division {
    int y;
    int number;  // multiples of 5 are major
};
QVXWINGUICOMMON_EXPORT std::vector<Division> VerticalDivisions(int top, int bottom, double offset,
                                                               double scaling);

// A pan or handle drag of `dy` pixels as a new vertical offset (fraction of the
// value range), keeping the dragged row under the pointer.
QVXWINGUICOMMON_EXPORT double OffsetAfterDrag(double startOffset, int dy, double pixelScale, double scaling,
                                              std::int64_t rangeLow, std::int64_t rangeHigh);

// --- 64-bit scroll position in a 32-bit scroll bar.
inline constexpr std::int64_t kScrollBarLimit = 2147483647;

struct ScrollBarState {
    bool enabled = false;
    bool scaled = false;
    std::uint64_t total = 0;  // 64-bit range 0..total
    int maximum = 0;          // the bar's position maximum (range less page)
    int page = 0;
    int position = 0;
};
QVXWINGUICOMMON_EXPORT ScrollBarState ToScrollBar(bool enabled, std::uint64_t total, std::uint64_t page,
                                                  std::uint64_t position);
// The 64-bit position of bar position `track`; the bar's last position maps to
// exactly `horizontalMaximum`.
QVXWINGUICOMMON_EXPORT std::uint64_t FromScrollBar(const ScrollBarState& bar, int track,
                                                   std::uint64_t horizontalMaximum);

// --- Track polyline.
struct PolyPoint {
    int x;
    int y;
    bool operator==(const PolyPoint&) const = default;
};
// Min/max strokes column by column, joined to their neighbours, starting at the
// before-column bin and running on to the after-column bin or to lastTime.
QVXWINGUICOMMON_EXPORT void BuildTrackPolyline(const WaveformLine& line, int waveLeft, int waveRight,
                                               std::int64_t lastTime, std::int64_t begin,
                                               std::int64_t timeParPixel,
                                               const std::function<int(std::int64_t)>& valueToY,
                                               std::vector<PolyPoint>& out);

}  // namespace qvx::trackarea
