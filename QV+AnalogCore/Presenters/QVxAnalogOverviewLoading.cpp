#include "QV+AnalogCore/Presenters/QVxAnalogOverviewLoading.h"

#include "QV+AnalogCore/Presenters/QVxAnalogRecordDecoding.h"
#include "QVxCore/Presenters/WaveformRenderData.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportEnvelope.h"
#include "QVxCore/ReportData/ReportOverview.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <array>
#include <vector>

namespace qvx::analog {

namespace {

using Values = std::array<std::int64_t, kRecordChannelCount>;
constexpr std::uint64_t kBlockRecords = overview::kBlockRecords[0];
constexpr std::uint64_t kReadRecords = 65536;  // 1 MiB per read

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
        for (std::size_t ch = 0; ch < kRecordChannelCount; ++ch) {
            mins[ch] = CentredSample(col.stats.min[ch]);
            maxs[ch] = CentredSample(col.stats.max[ch]);
            mids[ch] = (mins[ch] + maxs[ch]) / 2;
        }
        const std::int64_t firstT = TicksToNs(col.firstTime);
        const std::int64_t lastT = TicksToNs(col.lastTime);
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

    // The minimum and maximum of whole overview blocks that lie inside the column; its
    // first and last points come from decoded records (`blockTime` stands in without).
    void AddBlocks(std::int64_t blockTime, const overview::BlockStats& s) {
        Values lo{}, hi{};
        for (std::size_t c = 0; c < lo.size(); ++c) {
            lo[c] = CentredSample(s.min[c]);
            hi[c] = CentredSample(s.max[c]);
        }
        if (!valid) {
            Values mid{};
            for (std::size_t c = 0; c < mid.size(); ++c) mid[c] = (lo[c] + hi[c]) / 2;
            Add(blockTime, mid);
        }
        for (std::size_t c = 0; c < lo.size(); ++c) {
            mins[c] = std::min(mins[c], lo[c]);
            maxs[c] = std::max(maxs[c], hi[c]);
        }
    }
};

// Folds decoded records into the columns [c0, c1) of the window; records outside them
// (the ones before and after the window) are filed one by one.
class ColumnFolder {
public:
    ColumnFolder(WaveformRenderData& rd, std::int64_t c0, std::int64_t c1, std::int32_t timeWord)
        : m_rd(rd),
          m_tpp(rd.GetTimeParPixel()),
          m_spanStart(rd.GetViewportBeginTimeOffset() + c0 * m_tpp),
          m_spanEnd(rd.GetViewportBeginTimeOffset() + c1 * m_tpp),
          m_timeWord(static_cast<std::size_t>(timeWord)),
          m_columnStart(m_spanStart),
          m_columns(static_cast<std::size_t>(c1 - c0)) {}

    // Decodes the stored records [first, end) in 1 MiB reads, file by file: a file that
    // cannot be read (gone or cut short in the middle of the report) is logged and the
    // decoding goes on with the next one. False when no file of the span could be read.
    bool Decode(ReportDataReader& reader, std::uint64_t first, std::uint64_t end, OverviewLoadStats& stats) {
        bool anyRead = first >= end;
        for (std::uint64_t from = first; from < end;) {
            const std::uint64_t to =
                std::min(end, (from / kRecordsPerReportFile + 1) * kRecordsPerReportFile);
            if (reader.ReadStoredRecordChunks(from, to, kReadRecords, m_buffer,
                                              [&](const std::uint8_t* records, std::uint64_t n) {
                                                  stats.decodedRecords += n;
                                                  Fold(records, n);
                                              })) {
                anyRead = true;
            } else {
                spdlog::warn("Report records {} to {} cannot be read; the window goes on after them.", from,
                             to - 1);
            }
            from = to;
        }
        return anyRead;
    }

    // Column `index` (counted from c0) also holds these whole blocks, which begin at `ticks`.
    void AddBlocks(std::size_t index, std::uint64_t ticks, const overview::BlockStats& s) {
        m_columns[index].AddBlocks(TicksToNs(ticks), s);
    }

    // Hands every column's summary to the render data.
    void File() {
        for (const ColumnAccumulator& a : m_columns) {
            if (a.valid) FileSummary(m_rd, a.firstT, a.firstV, a.lastT, a.lastV, a.mins, a.maxs);
        }
    }

private:
    void Fold(const std::uint8_t* records, std::uint64_t n) {
        for (std::uint64_t r = 0; r < n; ++r) {
            const std::uint8_t* p = records + r * kReportRecordSize;
            const std::int64_t t = RecordTimeNs(p, m_timeWord);
            Values v;
            for (std::size_t c = 0; c < v.size(); ++c) v[c] = CentredSample(RecordRawSample(p, c));
            if (t < m_spanStart || t >= m_spanEnd) {
                m_rd.AddPoints(t, v);
                continue;
            }
            // Times rise: the column moves on without a division per record.
            if (t < m_columnStart || t >= m_columnStart + m_tpp) {
                m_column = (t - m_spanStart) / m_tpp;
                m_columnStart = m_spanStart + m_column * m_tpp;
            }
            m_columns[static_cast<std::size_t>(m_column)].Add(t, v);
        }
    }

    WaveformRenderData& m_rd;
    const std::int64_t m_tpp;
    const std::int64_t m_spanStart;  // ns
    const std::int64_t m_spanEnd;    // ns
    const std::size_t m_timeWord;
    std::int64_t m_column = 0;
    std::int64_t m_columnStart;  // ns
    std::vector<ColumnAccumulator> m_columns;
    std::vector<std::uint8_t> m_buffer;
};

// Every record of [first, end) decoded; records outside the columns [c0, c1) (the ones
// before and after the window) are filed one by one.
OverviewLoadResult LoadDecoded(WaveformRenderData& rd, ReportDataReader& reader, std::uint64_t first,
                               std::uint64_t end, std::int64_t c0, std::int64_t c1,
                               OverviewLoadStats& stats) {
    ColumnFolder folder(rd, c0, c1, reader.GetTimeWordIndex());
    if (!folder.Decode(reader, first, end, stats)) return OverviewLoadResult::kReadError;
    folder.File();
    return OverviewLoadResult::kLoaded;
}

// Exact columns for a fraction of the decoding: each column takes the overview's whole
// blocks that lie inside it, and only the block that each column boundary falls in is
// decoded, with the first record of the next block (the column's first point).
// `boundaries` are the record times (ticks) where the columns [c0, c1) begin, plus the end.
OverviewLoadResult LoadMixed(WaveformRenderData& rd, ReportDataReader& reader, ReportOverview& ov,
                             const std::vector<std::uint64_t>& boundaries, std::int64_t c0, std::int64_t c1,
                             OverviewLoadStats& stats) {
    const std::uint64_t total = reader.GetTotalRecordCount();
    const std::size_t n = boundaries.size();
    // starts[k]: the first block that begins at or after boundary k; heads[k]: the block
    // before it, where records on both sides of the boundary may lie.
    std::vector<std::uint64_t> starts(n), heads(n);
    for (std::size_t k = 0; k < n; ++k) {
        const auto block = ov.LowerBoundBlock(boundaries[k]);
        if (!block) return OverviewLoadResult::kOverviewDamaged;
        starts[k] = *block;
        heads[k] = *block > 0 ? ov.BlockStartOf(*block - 1) : 0;
    }
    // Whole blocks from a column's first block up to the block its end falls in; all
    // read before anything is filed, so that damage leaves the window untouched.
    struct Blocks {
        std::size_t column;
        std::uint64_t ticks;
        overview::BlockStats stats;
    };
    std::vector<Blocks> blocks;
    for (std::size_t k = 0; k + 1 < n; ++k) {
        if (starts[k] >= heads[k + 1]) continue;
        const auto folded = ov.Fold(starts[k], heads[k + 1], false);
        const auto ticks = ov.BlockTime(starts[k]);
        if (!folded || !ticks) return OverviewLoadResult::kOverviewDamaged;
        blocks.push_back({k, *ticks, *folded});
    }
    ColumnFolder folder(rd, c0, c1, reader.GetTimeWordIndex());
    // The decoded spans [heads[k], starts[k] + 1) rise with k; touching ones are read as one.
    std::uint64_t spanFirst = heads[0];
    std::uint64_t spanEnd = std::min(total, starts[0] + 1);
    for (std::size_t k = 1; k <= n; ++k) {
        if (k < n && heads[k] <= spanEnd) {
            spanEnd = std::max(spanEnd, std::min(total, starts[k] + 1));
            continue;
        }
        if (!folder.Decode(reader, spanFirst, spanEnd, stats)) return OverviewLoadResult::kReadError;
        if (k < n) {
            spanFirst = heads[k];
            spanEnd = std::min(total, starts[k] + 1);
        }
    }
    for (const Blocks& b : blocks) folder.AddBlocks(b.column, b.ticks, b.stats);
    stats.usedBlocks = true;
    folder.File();
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
    for (std::int64_t c = c0; c <= c1; ++c) boundaries.push_back(TicksAtOrAfterNs(begin + c * tpp));
    const auto firstBlock = ov.LowerBoundBlock(boundaries.front());
    const auto endBlock = ov.LowerBoundBlock(boundaries.back());
    if (!firstBlock || !endBlock) return OverviewLoadResult::kOverviewDamaged;

    const double recordsPerColumn = RecordsPerColumn(reader, tpp);
    if (recordsPerColumn >= static_cast<double>(kOverviewMinRecordsPerColumn)) {
        return LoadBlocks(rd, reader, ov, boundaries, *firstBlock, *endBlock, stats);
    }
    if (recordsPerColumn >= static_cast<double>(kMixedMinRecordsPerColumn)) {
        return LoadMixed(rd, reader, ov, boundaries, c0, c1, stats);
    }
    // From the block before the window (its records before the window give the line's
    // start) to the block after it (its first record is the first one past the window).
    const std::uint64_t from = *firstBlock > 0 ? ov.BlockStartOf(*firstBlock - 1) : 0;
    const std::uint64_t to = std::min(reader.GetTotalRecordCount(), *endBlock + kBlockRecords);
    return LoadDecoded(rd, reader, from, to, c0, c1, stats);
}

}  // namespace qvx::analog
