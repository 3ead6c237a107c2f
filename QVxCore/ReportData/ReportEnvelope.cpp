#include "QVxCore/ReportData/ReportEnvelope.h"

#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportOverview.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace qvx::envelope {

namespace {

using overview::kLevel0Records;
// Records per read when decoding: 1 MiB.
constexpr std::uint64_t kDecodeChunkRecords = 65536;

std::uint64_t FirstExistingIndex(const ReportDataReader& reader) {
    return reader.GetFiles()[static_cast<std::size_t>(reader.GetFirstFileIndex())]->GetFirstIndex();
}

// The last record held by a file that comes before index `index`; none when there is none.
std::optional<std::uint64_t> PreviousExisting(const ReportDataReader& reader, std::uint64_t index) {
    if (index == 0) return std::nullopt;
    const auto& files = reader.GetFiles();
    const auto firstSlot = static_cast<std::size_t>(reader.GetFirstFileIndex());
    auto slot = std::min<std::size_t>((index - 1) / kRecordsPerReportFile, files.size() - 1);
    for (;; --slot) {
        const ReportFile& f = *files[slot];
        if (!f.IsPlaceholder() && f.GetRecordCount() > 0 && f.GetFirstIndex() < index) {
            return std::min(index - 1, f.GetFirstIndex() + f.GetRecordCount() - 1);
        }
        if (slot == firstSlot) return std::nullopt;
    }
}

// The first record held by a file at or after index `index`; the total count when none.
std::uint64_t NextExisting(const ReportDataReader& reader, std::uint64_t index) {
    const auto& files = reader.GetFiles();
    for (std::size_t slot = index / kRecordsPerReportFile; slot < files.size(); ++slot) {
        const ReportFile& f = *files[slot];
        if (f.IsPlaceholder()) continue;
        const std::uint64_t lo = std::max(index, f.GetFirstIndex());
        if (lo < f.GetFirstIndex() + f.GetRecordCount()) return lo;
    }
    return reader.GetTotalRecordCount();
}

// Exact statistics of records [r0, r1) using the overview for the whole blocks inside.
bool FoldRange(ReportDataReader& reader, ReportOverview* ov, std::uint64_t r0, std::uint64_t r1,
               overview::BlockStats& stats) {
    if (!ov) return FoldDecoded(reader, r0, r1, stats);
    const std::uint64_t headBlock = ov->BlockStartOf(r0);
    const std::uint64_t middleFirst = headBlock == r0 ? r0 : headBlock + kLevel0Records;
    if (middleFirst >= r1) return FoldDecoded(reader, r0, r1, stats);
    if (!FoldDecoded(reader, r0, middleFirst, stats)) return false;
    const std::uint64_t middleEnd = std::max(middleFirst, ov->BlockStartOf(r1));
    if (middleEnd > middleFirst) {
        const auto middle = ov->Fold(middleFirst, middleEnd);
        if (!middle) return false;
        stats.Merge(*middle);
    }
    return FoldDecoded(reader, middleEnd, r1, stats);
}

}  // namespace

std::vector<std::int64_t> ColumnStarts(std::int64_t from, std::int64_t to, std::uint32_t columns) {
    // W = to - from fits in 64 unsigned bits; c x W / N = c x q + c x r / N with W = qN + r,
    // where c x q <= W and c x r < N^2 < 2^64.
    const std::uint64_t width = static_cast<std::uint64_t>(to) - static_cast<std::uint64_t>(from);
    const std::uint64_t q = width / columns;
    const std::uint64_t r = width % columns;
    std::vector<std::int64_t> out(columns + std::size_t{1});
    for (std::uint64_t c = 0; c <= columns; ++c) {
        const std::uint64_t offset = c * q + (c * r + columns - 1) / columns;
        out[c] = static_cast<std::int64_t>(static_cast<std::uint64_t>(from) + offset);
    }
    return out;
}

std::optional<std::uint64_t> FirstRecordAtOrAfter(ReportDataReader& reader, ReportOverview* ov,
                                                  std::uint64_t time) {
    const std::uint64_t firstExisting = FirstExistingIndex(reader);
    if (ov) {
        // The block search gives the first block starting at or after `time`; the answer
        // is inside the block before it or is that block's first record.
        const auto block = ov->LowerBoundBlock(time);
        if (!block) return std::nullopt;
        if (*block <= firstExisting) return *block;
        const auto previous = PreviousExisting(reader, *block);
        if (!previous) return *block;
        const std::uint64_t start = ov->BlockStartOf(*previous);
        std::array<std::uint8_t, kLevel0Records * kReportRecordSize> records{};
        const std::uint64_t n = *previous - start + 1;
        if (!reader.ReadRecordSpan(start, n, records.data())) return std::nullopt;
        for (std::uint64_t k = 0; k < n; ++k) {
            if (RecordTimeStamp(records.data() + k * kReportRecordSize) >= time) return start + k;
        }
        return *block;
    }
    std::uint64_t index = 0, found = 0;
    if (time == 0 || !reader.FindIndexByTime(time - 1, index, found)) return firstExisting;
    return NextExisting(reader, index + 1);
}

bool FoldDecoded(ReportDataReader& reader, std::uint64_t first, std::uint64_t end,
                 overview::BlockStats& out) {
    thread_local std::vector<std::uint8_t> buffer;
    return reader.ReadStoredRecordChunks(first, end, kDecodeChunkRecords, buffer,
                                         [&out](const std::uint8_t* records, std::uint64_t n) {
                                             overview::FoldRecordSamples(records, n, out);
                                         });
}

bool FoldExact(ReportDataReader& reader, ReportOverview* ov, std::span<const std::uint64_t> boundaries,
               std::vector<Column>& out) {
    out.assign(boundaries.empty() ? 0 : boundaries.size() - 1, Column{});
    if (reader.GetTotalRecordCount() == 0 || out.empty()) return true;
    std::vector<std::uint64_t> starts(boundaries.size());
    for (std::size_t c = 0; c < boundaries.size(); ++c) {
        const auto index = FirstRecordAtOrAfter(reader, ov, boundaries[c]);
        if (!index) return false;
        starts[c] = *index;
    }
    for (std::size_t c = 0; c < out.size(); ++c) {
        const std::uint64_t r0 = starts[c], r1 = starts[c + 1];
        if (r0 >= r1) continue;
        Column& col = out[c];
        col.empty = false;
        col.first = r0;
        col.last = PreviousExisting(reader, r1).value_or(r0);
        if (!FoldRange(reader, ov, r0, r1, col.stats)) return false;
    }
    return true;
}

bool FoldByBlocks(ReportOverview& ov, std::span<const std::uint64_t> boundaries, std::vector<Column>& out) {
    out.assign(boundaries.empty() ? 0 : boundaries.size() - 1, Column{});
    std::vector<std::uint64_t> starts(boundaries.size());
    for (std::size_t c = 0; c < boundaries.size(); ++c) {
        const auto block = ov.LowerBoundBlock(boundaries[c]);
        if (!block) return false;
        starts[c] = *block;
    }
    for (std::size_t c = 0; c < out.size(); ++c) {
        const std::uint64_t b0 = starts[c], b1 = starts[c + 1];
        if (b0 >= b1) continue;
        const auto stats = ov.Fold(b0, b1, false);
        const auto firstTime = ov.BlockTime(b0);
        if (!stats || !firstTime) return false;
        if (stats->empty) continue;
        Column& col = out[c];
        col.empty = false;
        col.stats = *stats;
        col.first = b0;
        col.firstTime = *firstTime;
        col.last = ov.BlockStartOf(b1 - 1);
        col.lastTime = ov.BlockTime(col.last).value_or(*firstTime);
    }
    return !ov.IsDamaged();
}

}  // namespace qvx::envelope
