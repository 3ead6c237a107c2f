#pragma once
// Stored-data loading of the waveform window for a report that has an overview. Where a
// column spans at least 64 level-0 overview blocks (4096 records) each column is filled
// from the overview alone: the minimum and maximum of the blocks that begin inside it,
// so every record counts in exactly one column and a one-record spike is never skipped.
// Where columns are narrower, every record of the window is decoded straight from large
// block reads in one tight loop. GUI thread (the reader's and overview's thread).

#include <cstdint>

namespace qvx {
class ReportDataReader;
class ReportOverview;
class WaveformRenderData;
}  // namespace qvx

namespace qvx::analog {

// Records per column from which the overview is used: 64 blocks of 64 records.
inline constexpr std::uint64_t kOverviewMinRecordsPerColumn = 64 * 64;

enum class OverviewLoadResult {
    kLoaded,           // the columns of the span are filled
    kOverviewDamaged,  // nothing was filed; the overview must be rebuilt
    kReadError,        // a read failed (logged); columns may be partly filled
};

struct OverviewLoadStats {
    std::uint64_t decodedRecords = 0;  // records decoded from the data files
    bool usedBlocks = false;           // the columns came from the overview's blocks
};

// Fills the columns of `renderData` that lie in [beginTime, endTime] ns, plus the record
// just before and the first record after them (so the line runs on past both edges).
OverviewLoadResult LoadWithOverview(WaveformRenderData& renderData, ReportDataReader& reader,
                                    ReportOverview& overview, std::int64_t beginTime, std::int64_t endTime,
                                    OverviewLoadStats& stats);

}  // namespace qvx::analog
