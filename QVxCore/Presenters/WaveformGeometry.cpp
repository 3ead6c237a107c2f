#include "QVxCore/Presenters/WaveformGeometry.h"

#include <algorithm>
#include <cmath>

namespace qvx::waveform {

std::int64_t ZoomedViewportBegin(std::int64_t cursorTime, std::int64_t begin, std::int64_t oldTpp,
                                 std::int64_t newTpp, std::int64_t columns, std::int64_t lastTime) {
    const std::int64_t cursorColumn = std::clamp<std::int64_t>((cursorTime - begin) / oldTpp, 0, columns);
    std::int64_t newBegin = cursorTime - cursorColumn * newTpp;
    const std::int64_t span = columns * newTpp;
    if (newBegin < 0) {
        newBegin = 0;
    } else if (lastTime < newBegin + span) {
        newBegin = std::max<std::int64_t>(lastTime - span, 0);
    }
    return AlignToColumn(newBegin, newTpp);
}

LoadedRange ShiftLoadedRange(LoadedRange range, std::int64_t columns, std::int64_t shift) {
    if (shift < 0) {
        range.first = std::min(range.first - shift, columns);
    } else if (shift > 0) {
        range.end = std::max<std::int64_t>(range.end - shift, 0);
    }
    range.first = std::clamp<std::int64_t>(range.first, 0, columns);
    range.end = std::clamp<std::int64_t>(range.end, 0, columns);
    // A range that was already "load everything", or that the shift emptied,
    // must not turn into two overlapping partial loads.
    if (range.first >= range.end) range.first = range.end;
    return range;
}

PointFiling FilePoint(std::int64_t t, std::int64_t begin, std::int64_t timeParPixel, std::int64_t columns,
                      std::int64_t lastTime) {
    if (t < begin) return {PointPlace::kBeforeColumn, -1};
    if (t >= begin + columns * timeParPixel) return {PointPlace::kAfterColumn, -1};
    if (t < lastTime + timeParPixel) return {PointPlace::kColumn, (t - begin) / timeParPixel};
    return {PointPlace::kPastLastTime, -1};
}

int ValueToRow(std::int64_t value, const TrackGeometry& g) {
    const double e = g.pixelScale * g.verticalScaling;
    double x;
    if (g.placementMode == TrackPlacement::kFromRangeLow) {
        x = static_cast<double>(value - g.rangeLow) * e;
    } else {
        x = static_cast<double>(value) * e;
        if (g.placementMode == TrackPlacement::kCentred) x += g.height / 2;
    }
    const double offset =
        std::trunc(static_cast<double>(g.rangeHigh - g.rangeLow) * g.verticalResolutionOffset) * e;
    return static_cast<int>(std::ceil(g.height - 1 - (x + offset)));
}

}  // namespace qvx::waveform
