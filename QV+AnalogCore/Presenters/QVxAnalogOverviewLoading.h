#pragma once
// Stored-data loading of the waveform window for a report that has an overview, in one
// of three ways by the records a column spans (GUI thread, the reader's and overview's):
// - at least 64 level-0 overview blocks (4096 records): from the overview alone, the
//   minimum and maximum of the blocks that begin inside each column, so every record
//   counts in exactly one column and a one-record spike is never skipped;
// - at least 2 blocks (128 records): exact per column, from the overview's whole blocks
//   inside it and the decoded block at each column boundary;
// - fewer: every record of the window decoded straight from large reads in one tight loop.

#include <cstdint>

namespace qvx {
class ReportDataReader;
class ReportOverview;
class WaveformRenderData;
}  // namespace qvx

namespace qvx::analog {

// Records per column from which the overview is used: 64 blocks of 64 records.
inline constexpr std::uint64_t kOverviewMinRecordsPerColumn = 64 * 64;
// Records per column from which whole blocks replace decoding inside each column.
inline constexpr std::uint64_t kMixedMinRecordsPerColumn = 2 * 64;

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
