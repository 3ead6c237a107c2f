#pragma once
// One channel's per-pixel summary inside a render data: a bin per pixel column
// plus the bins just left and right of the window.

#include "QVxCore/Presenters/WaveformGeometry.h"

#include <cstdint>
#include <vector>

namespace qvx {

class WaveformRenderData;
class WaveformTrackPresenter;

struct WaveformPoint {
    std::int64_t time = 0;   // ns
    std::int64_t value = 0;  // centred raw value
    bool operator==(const WaveformPoint&) const = default;
};

// Minimum, maximum, first and last point of the points filed into one column.
struct WaveformBin {
    std::int64_t minValue = 0;
    std::int64_t maxValue = 0;
    WaveformPoint first{-1, 0};
    WaveformPoint last{0, 0};
    bool valid = false;

    void Clear() { *this = WaveformBin{}; }
    // An invalid bin starts over with this point; a valid one takes it in.
    void Add(std::int64_t t, std::int64_t v);
    bool operator==(const WaveformBin&) const = default;
};

class WaveformLine {
public:
    WaveformLine(WaveformTrackPresenter* trackPresenter, WaveformRenderData* renderData, std::size_t columns);

    WaveformTrackPresenter* GetTrackPresenter() const { return m_trackPresenter; }
    WaveformRenderData* GetRenderData() const { return m_renderData; }
    const std::vector<WaveformBin>& Columns() const { return m_columns; }
    const WaveformBin& BeforeColumn() const { return m_beforeColumn; }
    const WaveformBin& AfterColumn() const { return m_afterColumn; }
    std::int64_t PointCount() const { return m_pointCount; }
    std::int64_t MinValue() const { return m_minValue; }
    std::int64_t MaxValue() const { return m_maxValue; }

    // Empties every bin, both outer bins, and the point statistics.
    void Clear();
    // Resizes to n columns (contents are cleared by the caller).
    void ResizeColumns(std::size_t n);

    // Moves the bins by `shift` columns (positive: contents move left, the window
    // moved right). The newest valid bin that falls off the left edge becomes the
    // before-column, the oldest one that falls off the right edge the after-column;
    // columns coming into view are emptied. |shift| >= columns clears the line.
    void ShiftColumns(std::int64_t shift);

    // Marks every column outside [first, end) invalid (and the after-column when end
    // lies inside the window); first == end clears the whole line.
    void InvalidateOutside(std::int64_t first, std::int64_t end);

    // Files the point (t, v) according to `filing` (see waveform::FilePoint).
    void AddPoint(const waveform::PointFiling& filing, std::int64_t t, std::int64_t v);

    // Takes bins and statistics from `other`; keeps the own track presenter and render data.
    void CopyBinsFrom(const WaveformLine& other);

private:
    WaveformTrackPresenter* m_trackPresenter;
    WaveformRenderData* m_renderData;
    std::vector<WaveformBin> m_columns;
    WaveformBin m_beforeColumn;
    WaveformBin m_afterColumn;
    std::int64_t m_pointCount = 0;
    std::int64_t m_minValue = 0;
    std::int64_t m_maxValue = 0;
};

}  // namespace qvx
