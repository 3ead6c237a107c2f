#pragma once
// Per-column minimum and maximum of a report over a time window, for the waveform view
// and the envelope command. Column c of a window [from, to) ns with N columns holds the
// records whose time t (ns = ticks x 10) satisfies floor((t - from) x N / (to - from)) = c.
//
// Two ways of folding a column:
// - exact: exactly the records of the column; records at its edges are decoded, whole
//   overview blocks in between are taken from the overview (all records are decoded
//   when there is no overview);
// - by blocks: the level-0 overview blocks (64 records) whose first record lies in the
//   column, read from the overview alone (no record is decoded). Every record belongs
//   to exactly one column's blocks, so no record is left out or counted twice.
//
// Runs on the thread that owns the reader (not thread-safe, as the reader).

#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportOverviewFormat.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qvx {

class ReportDataReader;
class ReportOverview;

namespace envelope {

struct Column {
    bool empty = true;
    std::uint64_t first = 0;      // index of the first record (exact) or of the first block's first record
    std::uint64_t last = 0;       // index of the last record (exact) or of the last block's first record
    std::uint64_t firstTime = 0;  // ticks of `first`
    std::uint64_t lastTime = 0;   // ticks of `last`
    overview::BlockStats stats;
};

// Start of each column of [from, to) ns in N columns, plus `to`: N + 1 times, the smallest
// t with floor((t - from) x N / (to - from)) >= c. Needs from < to and N >= 1; exact for
// every int64 from and to (no intermediate overflows).
std::vector<std::int64_t> ColumnStarts(std::int64_t from, std::int64_t to, std::uint32_t columns);

// Index of the first stored record whose time is >= `time` (ticks); the total record count
// when there is none. Uses the overview's block times when `overview` is given. None on a
// read error or a damaged overview.
std::optional<std::uint64_t> FirstRecordAtOrAfter(ReportDataReader& reader, ReportOverview* overview,
                                                  std::uint64_t time);

// Exact per-column folding. `boundaries` are N + 1 record times (ticks) from ColumnStarts
// through TicksAtOrAfterNs (RecordCodec.h); `overview` may be null. False on a read error or a damaged
// overview (logged).
bool FoldExact(ReportDataReader& reader, ReportOverview* overview, std::span<const std::uint64_t> boundaries,
               std::vector<Column>& out);

// Per-column folding by whole overview blocks; no record is read. Only min and max are
// folded (the sums stay partial). False when the overview turned out damaged.
bool FoldByBlocks(ReportOverview& overview, std::span<const std::uint64_t> boundaries,
                  std::vector<Column>& out);

// Folds the samples of records [first, end) by decoding them in large reads; indexes that
// no file holds are skipped. False on a read error (logged).
bool FoldDecoded(ReportDataReader& reader, std::uint64_t first, std::uint64_t end, overview::BlockStats& out);

}  // namespace envelope
}  // namespace qvx
