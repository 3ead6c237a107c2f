#pragma once
// Pure viewport arithmetic of the waveform presenter: pixel columns over time,
// zooming around the cursor, the loaded column range after a scroll, where a
// point is filed, and value-to-row. All times are nanoseconds (signed 64-bit),
// column counts and indices are pixel columns. No state, no logging.

#include <cstdint>

namespace qvx::waveform {

// t rounded toward zero to a multiple of `timeParPixel` (t - t mod timeParPixel).
constexpr std::int64_t AlignToColumn(std::int64_t t, std::int64_t timeParPixel) {
    return t - t % timeParPixel;
}

// Viewport begin after a zoom from `oldTpp` to `newTpp` ns per column that keeps
// the cursor at the same column, clamped so that the window does not start before
// 0 nor run past `lastTime`. The result is a multiple of `newTpp`.
std::int64_t ZoomedViewportBegin(std::int64_t cursorTime, std::int64_t begin, std::int64_t oldTpp,
                                 std::int64_t newTpp, std::int64_t columns, std::int64_t lastTime);

// Whole columns between the current viewport begin and the requested time `t`
// (positive: the window moves right, its contents move left).
constexpr std::int64_t ColumnShift(std::int64_t t, std::int64_t begin, std::int64_t timeParPixel) {
    return (AlignToColumn(t, timeParPixel) - begin) / timeParPixel;
}

// Columns [first, end) hold current data; the rest must be loaded. first == end
// means that every column must be loaded.
struct LoadedRange {
    std::int64_t first = 0;
    std::int64_t end = 0;
    bool operator==(const LoadedRange&) const = default;
};

// The loaded range after the contents were shifted by `shift` columns (see
// ColumnShift). An emptied range (first >= end) becomes "load everything".
LoadedRange ShiftLoadedRange(LoadedRange range, std::int64_t columns, std::int64_t shift);

// Where a point at time t goes within a window of `columns` columns starting at `begin`.
enum class PointPlace {
    kBeforeColumn,  // left of the window
    kColumn,        // into column `column`
    kPastLastTime,  // inside the window but beyond the newest data: counted, not filed
    kAfterColumn,   // right of the window
};
struct PointFiling {
    PointPlace place;
    std::int64_t column;  // -1 unless place == kColumn
};
PointFiling FilePoint(std::int64_t t, std::int64_t begin, std::int64_t timeParPixel, std::int64_t columns,
                      std::int64_t lastTime);

// Where value 0 sits in a track (the stored number of a track's placement mode).
enum class TrackPlacement : std::int32_t {
    kCentred = 0,       // value 0 on the middle row, values signed
    kUnsigned = 1,      // value 0 on the bottom row
    kFromRangeLow = 2,  // the range's low value on the bottom row
};

// Vertical placement of one track.
struct TrackGeometry {
    int height = -1;             // pixels
    double pixelScale = 1.0;     // pixels per value unit
    std::int64_t rangeLow = -1;  // value range of the track
    std::int64_t rangeHigh = 1;
    TrackPlacement placementMode = TrackPlacement::kCentred;
    double verticalScaling = 1.0;           // user zoom factor of the track
    double verticalResolutionOffset = 0.0;  // offset as a fraction of the value range
};

// Pixel row (0 at the top of the track) of a value.
int ValueToRow(std::int64_t value, const TrackGeometry& g);

}  // namespace qvx::waveform
