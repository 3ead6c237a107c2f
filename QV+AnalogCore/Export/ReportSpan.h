#pragma once
// A span of a stored report, resolved once before it is read: the global record indexes it
// covers, how many of them the report's files hold, and the gaps no file holds (files
// rotated away or lost before the span's end, or a file cut short). Exports resolve a span
// from the data list's rows; the analyses from two times (records with fromNs <= t < toNs,
// t in ns = time stamp x 10). Plain functions on the caller's thread, which must own the
// reader (and the overview).

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace qvx {
class ReportDataReader;
class ReportOverview;
}  // namespace qvx

namespace qvx::analog {

struct IndexRange {
    std::uint64_t first = 0;
    std::uint64_t end = 0;  // one past the last

    friend bool operator==(const IndexRange&, const IndexRange&) = default;
};

struct ReportSpan {
    std::uint64_t first = 0;       // global index of the span's first record
    std::uint64_t end = 0;         // one past its last
    std::uint64_t records = 0;     // records in [first, end) that files hold
    std::vector<IndexRange> gaps;  // parts of [first, end) that no file holds, in order

    bool IsEmpty() const { return records == 0; }
};

// Global index of the first record of the first existing file (0 without one): row 0 of
// the data list.
std::uint64_t FirstStoredIndex(const ReportDataReader& reader);
// Rows of the data list: the records from FirstStoredIndex on.
std::uint64_t StoredRowCount(const ReportDataReader& reader);

// Rows [start, stop) an export takes for the bounds `firstRow`, `lastRow` (0-based rows;
// both negative: all rows) out of `rowCount` rows.
std::pair<std::uint64_t, std::uint64_t> RowRangeOf(std::int64_t firstRow, std::int64_t lastRow,
                                                   std::uint64_t rowCount);

// The records [first, end) with their gaps.
ReportSpan SpanOfIndexes(const ReportDataReader& reader, std::uint64_t first, std::uint64_t end);
// The records of the data-list rows `firstRow`..`lastRow` (as RowRangeOf).
ReportSpan SpanOfRows(const ReportDataReader& reader, std::int64_t firstRow, std::int64_t lastRow);
// The records with fromNs <= t < toNs; empty when there are none or fromNs >= toNs. None when
// a read fails or the overview (may be null) turns out damaged.
std::optional<ReportSpan> SpanOfTimes(ReportDataReader& reader, ReportOverview* overview, std::int64_t fromNs,
                                      std::int64_t toNs);

}  // namespace qvx::analog
