#pragma once
// The per-pixel summary of all channels over the current viewport: the pixel
// columns in time, one line per track, the newest data time and which columns
// still have to be loaded. Owned by a WaveformPresenter (one per data side).
// Times are ns; every viewport time is a multiple of timeParPixel.

#include "QVxCore/Presenters/WaveformGeometry.h"
#include "QVxCore/Presenters/WaveformLine.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace qvx {

class WaveformPresenter;
class WaveformTrackPresenter;

struct WaveformColumn {
    std::int64_t start = 0;  // ns, inclusive
    std::int64_t end = 0;    // ns, exclusive
    bool operator==(const WaveformColumn&) const = default;
};

class WaveformRenderData {
public:
    // `writingSide`: data is written into this side (the writing and the ad-hoc
    // render data); the reading side only receives copies.
    WaveformRenderData(WaveformPresenter* viewModel, bool writingSide, std::int64_t timeParPixel);
    WaveformRenderData(const WaveformRenderData&) = delete;
    WaveformRenderData& operator=(const WaveformRenderData&) = delete;

    void AddLine(WaveformTrackPresenter* trackPresenter);

    bool IsWritingSide() const { return m_writingSide; }
    std::int64_t GetTimeParPixel() const { return m_timeParPixel; }
    std::int64_t GetLastTime() const { return m_lastTime; }
    // The newest time as given (the last record's own time), before rounding to a column.
    std::int64_t GetLastRecordTime() const { return m_lastTimeUnrounded; }
    std::int64_t GetViewportBeginTimeOffset() const { return m_viewportBeginTimeOffset; }
    const std::vector<WaveformColumn>& Columns() const { return m_columns; }
    std::int64_t ColumnCount() const { return static_cast<std::int64_t>(m_columns.size()); }
    // Time span of the window: end of the last column - start of the first (0 without columns).
    std::int64_t ViewportWidthTime() const;
    waveform::LoadedRange GetLoadedRange() const { return m_loaded; }
    std::size_t LineCount() const { return m_lines.size(); }
    const WaveformLine& Line(std::size_t i) const { return *m_lines[i]; }

    // --- Writing side only: on a reading side these log "IsWritingSide()" and do nothing.

    // Zooms to `timeParPixel` ns per column around the presenter's cursor time.
    void ResetViewportScale(std::int64_t timeParPixel);
    // Resizes the window to `columns` columns; everything reloads.
    void ResetViewportWidth(std::int64_t columns);
    // Recomputes the column times from the viewport begin and timeParPixel.
    void ResetLineIndex();
    // Scrolls so that the window starts at `t` rounded to a column: bins move by
    // whole columns and only the columns that came into view are loaded.
    void SetViewportBeginTimeOffset(std::int64_t t);
    // Newest time that has data; stored rounded down to a column.
    void UpdateLastTime(std::int64_t t);
    // Scrolls so that the window ends at lastTime.
    void MoveTimeOffsetToLast();
    // Stored data: asks the presenter for the records of the columns outside the
    // loaded range. Ad-hoc data: marks every column as current.
    void AttemptLoadData();
    // Clears every line and marks every column for loading.
    void ResetAll();
    // Clears to an empty recording at `timeParPixel`: lines cleared, lastTime 0,
    // begin 0, columns recomputed.
    void ResetToEmpty(std::int64_t timeParPixel);
    // Files the point (t, values[i]) into line i for every line.
    void AddPoints(std::int64_t t, std::span<const std::int64_t> values);
    void AddPoint(std::size_t line, std::int64_t t, std::int64_t value);

    // Copies every field, column and line bin of `other` (line by line); keeps the
    // own presenter, side and line ownership. Allowed on either side.
    void CopyFrom(const WaveformRenderData& other);

private:
    bool CheckWritingSide() const;
    void ClearLines();

    WaveformPresenter* m_viewModel;
    bool m_writingSide;
    std::int64_t m_timeParPixel;
    std::int64_t m_lastTime = 0;
    // lastTime as given, before rounding, so that a zoom to a finer scale re-rounds
    // without cutting off the newest records.
    std::int64_t m_lastTimeUnrounded = 0;
    std::int64_t m_viewportBeginTimeOffset = 0;
    std::vector<WaveformColumn> m_columns;
    waveform::LoadedRange m_loaded;
    std::vector<std::unique_ptr<WaveformLine>> m_lines;
};

}  // namespace qvx
