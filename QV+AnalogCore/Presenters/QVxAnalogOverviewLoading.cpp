#include "QV+AnalogCore/Presenters/QVxAnalogOverviewLoading.h"

#include "QV+AnalogCore/Presenters/QVxAnalogRecordDecoding.h"
#include "QVxCore/Presenters/WaveformRenderData.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportEnvelope.h"
#include "QVxCore/ReportData/ReportOverview.h"

#include <algorithm>
#include <array>
#include <vector>

namespace qvx::analog {

namespace {

using Values = std::array<std::int64_t, kChannelCount>;
constexpr std::uint64_t kBlockRecords = overview::kBlockRecords[0];
constexpr std::uint64_t kReadRecords = 65536;  // 1 MiB per read

std::int64_t Centred(std::uint16_t limitedRaw) {
    return static_cast<std::int64_t>(limitedRaw) - kSampleMidScale;
}

// One column's summary as the bins take it: the first and last point, then the minimum
// and maximum at the first point's time (they change neither first nor last).
void FileSummary(WaveformRenderData& rd, std::int64_t firstT, const Values& firstV, std::int64_t lastT,
                 const Values& lastV, const Values& mins, const Values& maxs) {
    rd.AddPoints(firstT, firstV);
    rd.AddPoints(lastT, lastV);
    rd.AddPoints(firstT, mins);
    rd.AddPoints(firstT, maxs);
}

void FileRecord(WaveformRenderData& rd, ReportDataReader& reader, std::uint64_t index) {
    if (index >= reader.GetTotalRecordCount()) return;
    const std::uint8_t* record = reader.ReadRecordByIndex(index);
    if (!record) return;  // rotated away
    const DecodedRecord d = DecodeRecord(record, reader.GetTimeWordIndex());
    rd.AddPoints(d.time, d.values);
}

// The columns from the overview's blocks: no record is decoded but the two at the edges.
OverviewLoadResult LoadBlocks(WaveformRenderData& rd, ReportDataReader& reader, ReportOverview& ov,
                              const std::vector<std::uint64_t>& boundaries, std::uint64_t firstBlock,
                              std::uint64_t endBlock, OverviewLoadStats& stats) {
    std::vector<envelope::Column> cols;
    if (!envelope::FoldByBlocks(ov, boundaries, cols)) return OverviewLoadResult::kOverviewDamaged;
    stats.usedBlocks = true;
    if (firstBlock > 0) FileRecord(rd, reader, firstBlock - 1);
    for (const envelope::Column& col : cols) {
        if (col.empty) continue;
        Values mins{}, maxs{}, mids{};
        for (int c = 0; c < kChannelCount; ++c) {
            const auto ch = static_cast<std::size_t>(c);
            mins[ch] = Centred(col.stats.min[ch]);
            maxs[ch] = Centred(col.stats.max[ch]);
            mids[ch] = (mins[ch] + maxs[ch]) / 2;
        }
        const auto firstT = static_cast<std::int64_t>(col.firstTime) * kNanosecondsPerTick;
        const auto lastT = static_cast<std::int64_t>(col.lastTime) * kNanosecondsPerTick;
        FileSummary(rd, firstT, mids, lastT, mids, mins, maxs);
    }
    FileRecord(rd, reader, endBlock);
    stats.decodedRecords += 2;
    return OverviewLoadResult::kLoaded;
}

// Per-column accumulation of decoded records.
struct ColumnAccumulator {
    bool valid = false;
    std::int64_t firstT = 0, lastT = 0;
    Values firstV{}, lastV{}, mins{}, maxs{};

    void Add(std::int64_t t, const Values& v) {
        if (!valid) {
            valid = true;
            firstT = lastT = t;
            firstV = lastV = mins = maxs = v;
            return;
        }
        if (t < firstT) {
            firstT = t;
            firstV = v;
        }
        if (t >= lastT) {
            lastT = t;
            lastV = v;
        }
        for (std::size_t c = 0; c < v.size(); ++c) {
            mins[c] = std::min(mins[c], v[c]);
            maxs[c] = std::max(maxs[c], v[c]);
        }
    }
};

// Every record of [first, end) decoded from 1 MiB reads; records outside the columns
// [c0, c1) (the ones before and after the window) are filed one by one.
OverviewLoadResult LoadDecoded(WaveformRenderData& rd, ReportDataReader& reader, std::uint64_t first,
                               std::uint64_t end, std::int64_t c0, std::int64_t c1,
                               OverviewLoadStats& stats) {
    const std::int64_t tpp = rd.GetTimeParPixel();
    const std::int64_t begin = rd.GetViewportBeginTimeOffset();
    const std::int64_t spanStart = begin + c0 * tpp;
    const std::int64_t spanEnd = begin + c1 * tpp;
    std::vector<ColumnAccumulator> acc(static_cast<std::size_t>(c1 - c0));
    std::vector<std::uint8_t> buffer;
    std::int64_t column = 0;
    std::int64_t columnStart = spanStart;
    const std::int32_t timeWord = reader.GetTimeWordIndex();
    auto fold = [&](const std::uint8_t* records, std::uint64_t n) {
        stats.decodedRecords += n;
        for (std::uint64_t r = 0; r < n; ++r) {
            const std::uint8_t* p = records + r * kReportRecordSize;
            const std::int64_t t =
                static_cast<std::int64_t>(LoadLE64(p + 8 * static_cast<std::size_t>(timeWord)) &
                                          kRecordTimeMask) *
                kNanosecondsPerTick;
            Values v;
            for (std::size_t c = 0; c < v.size(); ++c) {
                v[c] = CenteredRawValue(LoadLE16(p + kRecordOffsetSamples + 2 * c));
            }
            if (t < spanStart || t >= spanEnd) {
                rd.AddPoints(t, v);
                continue;
            }
            // Times rise: the column moves on without a division per record.
            if (t < columnStart || t >= columnStart + tpp) {
                column = (t - spanStart) / tpp;
                columnStart = spanStart + column * tpp;
            }
            acc[static_cast<std::size_t>(column)].Add(t, v);
        }
    };
    if (!reader.ReadStoredRecordChunks(first, end, kReadRecords, buffer, fold))
        return OverviewLoadResult::kReadError;
    for (const ColumnAccumulator& a : acc) {
        if (a.valid) FileSummary(rd, a.firstT, a.firstV, a.lastT, a.lastV, a.mins, a.maxs);
    }
    return OverviewLoadResult::kLoaded;
}

// Records a column of `tpp` ns spans on average over the stored part of the report, so
// that one zoom step loads every span of its window the same way.
double RecordsPerColumn(const ReportDataReader& reader, std::int64_t tpp) {
    const ReportFile& first = *reader.GetFiles()[static_cast<std::size_t>(reader.GetFirstFileIndex())];
    const std::uint64_t records = reader.GetTotalRecordCount() - first.GetFirstIndex();
    const std::uint64_t ticks = std::max<std::uint64_t>(1, reader.GetLastTime() - first.GetStartTime());
    return static_cast<double>(records) * static_cast<double>(tpp) /
           (static_cast<double>(ticks) * static_cast<double>(kNanosecondsPerTick));
}

}  // namespace

OverviewLoadResult LoadWithOverview(WaveformRenderData& rd, ReportDataReader& reader, ReportOverview& ov,
                                    std::int64_t beginTime, std::int64_t endTime, OverviewLoadStats& stats) {
    const std::int64_t tpp = rd.GetTimeParPixel();
    const std::int64_t begin = rd.GetViewportBeginTimeOffset();
    const std::int64_t n = rd.ColumnCount();
    if (tpp <= 0 || n <= 0 || reader.GetTotalRecordCount() == 0) return OverviewLoadResult::kLoaded;
    const std::int64_t c0 = std::clamp<std::int64_t>((std::max(beginTime, begin) - begin) / tpp, 0, n);
    const std::int64_t c1 = std::clamp<std::int64_t>((endTime - begin + tpp - 1) / tpp, c0, n);
    if (c0 >= c1) return OverviewLoadResult::kLoaded;

    std::vector<std::uint64_t> boundaries;
    boundaries.reserve(static_cast<std::size_t>(c1 - c0 + 1));
    for (std::int64_t c = c0; c <= c1; ++c) boundaries.push_back(envelope::TicksAtOrAfter(begin + c * tpp));
    const auto firstBlock = ov.LowerBoundBlock(boundaries.front());
    const auto endBlock = ov.LowerBoundBlock(boundaries.back());
    if (!firstBlock || !endBlock) return OverviewLoadResult::kOverviewDamaged;

    if (RecordsPerColumn(reader, tpp) >= static_cast<double>(kOverviewMinRecordsPerColumn)) {
        return LoadBlocks(rd, reader, ov, boundaries, *firstBlock, *endBlock, stats);
    }
    // From the block before the window (its records before the window give the line's
    // start) to the block after it (its first record is the first one past the window).
    const std::uint64_t from = *firstBlock > 0 ? ov.BlockStartOf(*firstBlock - 1) : 0;
    const std::uint64_t to = std::min(reader.GetTotalRecordCount(), *endBlock + kBlockRecords);
    return LoadDecoded(rd, reader, from, to, c0, c1, stats);
}

}  // namespace qvx::analog
