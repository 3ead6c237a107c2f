#include "QV+AnalogCore/Export/ReportSpan.h"

#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportEnvelope.h"

#include <algorithm>

namespace qvx::analog {

std::uint64_t FirstStoredIndex(const ReportDataReader& reader) {
    const auto& files = reader.GetFiles();
    const auto slot = static_cast<std::size_t>(reader.GetFirstFileIndex());
    return slot < files.size() && files[slot] ? files[slot]->GetFirstIndex() : 0;
}

std::uint64_t StoredRowCount(const ReportDataReader& reader) {
    const std::uint64_t first = FirstStoredIndex(reader);
    const std::uint64_t total = reader.GetTotalRecordCount();
    return total > first ? total - first : 0;
}

std::pair<std::uint64_t, std::uint64_t> RowRangeOf(std::int64_t firstRow, std::int64_t lastRow,
                                                   std::uint64_t rowCount) {
    if (firstRow < 0 && lastRow < 0) return {0, rowCount};
    const std::uint64_t start = firstRow < 0 ? 0 : std::min(static_cast<std::uint64_t>(firstRow), rowCount);
    // clamp(last + 1, 0, N), without overflowing at INT64_MAX.
    std::uint64_t end = 0;
    if (lastRow >= 0)
        end = static_cast<std::uint64_t>(lastRow) >= rowCount ? rowCount
                                                              : static_cast<std::uint64_t>(lastRow) + 1;
    return {start, std::max(start, end)};
}

ReportSpan SpanOfIndexes(const ReportDataReader& reader, std::uint64_t first, std::uint64_t end) {
    ReportSpan span;
    span.first = first;
    span.end = std::max(first, end);
    std::uint64_t covered = first;  // indexes below it are stored or listed as a gap
    for (const auto& file : reader.GetFiles()) {
        if (!file || file->IsPlaceholder()) continue;
        const std::uint64_t lo = std::max(span.first, file->GetFirstIndex());
        const std::uint64_t hi = std::min(span.end, file->GetFirstIndex() + file->GetRecordCount());
        if (lo >= hi) continue;
        if (lo > covered) span.gaps.push_back({covered, lo});
        span.records += hi - lo;
        covered = hi;
    }
    if (covered < span.end) span.gaps.push_back({covered, span.end});
    return span;
}

ReportSpan SpanOfRows(const ReportDataReader& reader, std::int64_t firstRow, std::int64_t lastRow) {
    const std::uint64_t firstIndex = FirstStoredIndex(reader);
    const auto [start, stop] = RowRangeOf(firstRow, lastRow, StoredRowCount(reader));
    return SpanOfIndexes(reader, firstIndex + start, firstIndex + stop);
}

std::optional<ReportSpan> SpanOfTimes(ReportDataReader& reader, ReportOverview* overview, std::int64_t fromNs,
                                      std::int64_t toNs) {
    if (reader.GetTotalRecordCount() == 0 || fromNs >= toNs) return ReportSpan{};
    const auto first = envelope::FirstRecordAtOrAfter(reader, overview, TicksAtOrAfterNs(fromNs));
    const auto end = envelope::FirstRecordAtOrAfter(reader, overview, TicksAtOrAfterNs(toNs));
    if (!first || !end) return std::nullopt;
    if (*first >= *end) return ReportSpan{*first, *first, 0, {}};
    return SpanOfIndexes(reader, *first, *end);
}

}  // namespace qvx::analog
