#include "QV+AnalogCore/Analysis/ReportLevelScan.h"

#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportOverview.h"
#include "QVxCore/ReportData/ReportOverviewFile.h"
#include "QVxCore/ReportData/ReportOverviewFormat.h"

#include <algorithm>
#include <array>

namespace qvx::analog {

namespace {
// The blocks a scan looks at, in records: the overview's levels, and between its two finest
// the runs of level-0 entries it keeps summarized in memory, which fold as one entry. Where
// a level-1 block holds one edge, the walk then folds its 8 runs and the 16 entries of the
// run with the edge instead of all its 128 entries.
constexpr std::array<std::uint64_t, 4> kScanBlockRecords{
    overview::kBlockRecords[0], overview::kBlockRecords[0] * ReportOverviewFile::kRunEntries,
    overview::kBlockRecords[1], overview::kBlockRecords[2]};
static_assert(overview::kLevelCount == 3);
constexpr std::size_t kCoarsestLevel = kScanBlockRecords.size() - 1;
// Records on each side of a block to be read that its read-ahead hint covers too.
constexpr std::uint64_t kBesideRecords = 128;

// One more than the level of the coarsest overview block that begins at `i` and ends
// inside [i, hi) (blocks end at the file's end at the latest); 0 when there is none.
std::size_t LevelsOfBlockAt(std::uint64_t i, std::uint64_t hi, std::uint64_t fileEnd) {
    std::size_t level = kCoarsestLevel + 1;
    while (level > 0) {
        const std::uint64_t size = kScanBlockRecords[level - 1];
        if (i % size == 0 && std::min(i + size, fileEnd) <= hi) break;
        --level;
    }
    return level;
}
}  // namespace

ReportLevelScan::ReportLevelScan(ReportDataReader& reader, ReportOverview* overview, int channel,
                                 std::int64_t level)
    : ReportLevelScan(reader, overview, channel, Levels{level, level}) {}

ReportLevelScan::ReportLevelScan(ReportDataReader& reader, ReportOverview* overview, int channel,
                                 Levels levels)
    : m_reader(reader),
      m_walk(reader, kChunkRecords, ReportRecordWalk::Unreadable::kChunk),
      m_overview(overview),
      m_channel(channel),
      m_levels(levels) {}

ReportLevelScan::Outcome ReportLevelScan::Walk(const ReportSpan& span, const Visitor& visitor) {
    m_pending = {};
    m_recordsRead = 0;
    m_recordsSkipped = 0;
    m_lastProgress = 0;
    m_total = span.records;
    const std::uint64_t first = span.first;
    const std::uint64_t end = span.end;
    for (const auto& file : m_reader.GetFiles()) {
        if (file->IsPlaceholder() || file->GetRecordCount() == 0) continue;
        const std::uint64_t fileEnd = file->GetFirstIndex() + file->GetRecordCount();
        const std::uint64_t lo = std::max(first, file->GetFirstIndex());
        const std::uint64_t hi = std::min(end, fileEnd);
        if (lo >= hi) continue;
        if (const Outcome o = WalkFile(lo, hi, fileEnd, visitor); o != Outcome::kDone) return o;
        // A read never spans two files.
        if (const Outcome o = Flush(visitor); o != Outcome::kDone) return o;
    }
    return Outcome::kDone;
}

ReportLevelScan::Outcome ReportLevelScan::WalkFile(std::uint64_t lo, std::uint64_t hi, std::uint64_t fileEnd,
                                                   const Visitor& visitor) {
    const auto addPending = [&](std::uint64_t a, std::uint64_t b) {
        if (m_pending.end != a || m_pending.first == m_pending.end) {
            if (const Outcome o = Flush(visitor); o != Outcome::kDone) return o;
            m_pending.first = a;
        }
        m_pending.end = b;
        return m_pending.end - m_pending.first >= kChunkRecords ? Flush(visitor) : Outcome::kDone;
    };
    if (!m_overview) return addPending(lo, hi);

    const std::uint64_t smallest = kScanBlockRecords[0];
    std::uint64_t i = lo;
    m_ahead = (lo + smallest - 1) / smallest * smallest;
    if (i % smallest != 0) {
        const std::uint64_t headEnd = std::min(hi, (i / smallest + 1) * smallest);
        if (const Outcome o = addPending(i, headEnd); o != Outcome::kDone) return o;
        i = headEnd;
    }
    while (i < hi) {
        ReadAhead(i, hi, fileEnd);
        // The coarsest block that begins at i and ends inside the range.
        std::size_t level = LevelsOfBlockAt(i, hi, fileEnd);
        if (level == 0) return addPending(i, hi);  // a part of a block ends the range
        --level;

        for (;; --level) {
            const std::uint64_t blockEnd = std::min(i + kScanBlockRecords[level], fileEnd);
            const auto stats = m_overview->Fold(i, blockEnd, false);
            if (!stats) return Outcome::kReadError;
            const auto c = static_cast<std::size_t>(m_channel);
            const bool above = stats->min[c] > m_levels.above;
            const bool below = stats->max[c] < m_levels.below;
            if (above || below) {
                if (const Outcome o = Flush(visitor); o != Outcome::kDone) return o;
                if (visitor.canSkip(above)) {
                    if (visitor.skipped)
                        visitor.skipped(above, above ? stats->max[c] : stats->min[c], blockEnd - 1);
                    if (visitor.skippedBlock)
                        visitor.skippedBlock(above, stats->min[c], stats->max[c], i, blockEnd);
                    m_recordsSkipped += blockEnd - i;
                    i = blockEnd;
                    if (const Outcome o = Progress(visitor); o != Outcome::kDone) return o;
                    break;
                }
            }
            if (level == 0) {
                if (const Outcome o = addPending(i, blockEnd); o != Outcome::kDone) return o;
                i = blockEnd;
                break;
            }
        }
    }
    return Outcome::kDone;
}

void ReportLevelScan::ReadAhead(std::uint64_t at, std::uint64_t hi, std::uint64_t fileEnd) {
    const std::uint64_t limit = std::min(hi, at + kReadAheadRecords);
    m_ahead = std::max(m_ahead, at);
    // Only a whole stretch is looked at, so that the hints go out in batches.
    if (m_ahead >= at + kReadAheadRecords / 2 && m_ahead < limit) return;
    // The overview entries of the stretch after this one, so that they are in memory by the
    // time the next batch folds them (cold, each page of them would otherwise be a wait).
    m_overview->AdviseWillNeed(limit, std::min(hi, limit + kReadAheadRecords));
    const auto c = static_cast<std::size_t>(m_channel);
    while (m_ahead < limit) {
        std::size_t level = LevelsOfBlockAt(m_ahead, hi, fileEnd);
        if (level == 0) return;  // the range's tail is read in one piece anyway
        for (--level;; --level) {
            const std::uint64_t blockEnd = std::min(m_ahead + kScanBlockRecords[level], fileEnd);
            const auto stats = m_overview->Fold(m_ahead, blockEnd, false);
            if (!stats) return;
            if (stats->min[c] > m_levels.above || stats->max[c] < m_levels.below) {
                m_ahead = blockEnd;  // most likely skipped
                break;
            }
            if (level == 0) {
                // With the blocks beside it: callers look up records next to a crossing
                // (the points of an edge, their neighbours), which lie in skipped blocks and
                // would otherwise each be a wait for the disk.
                const std::uint64_t fileStart = m_ahead / kRecordsPerReportFile * kRecordsPerReportFile;
                const std::uint64_t from = std::max(fileStart, m_ahead - std::min(m_ahead, kBesideRecords));
                m_reader.AdviseWillNeed(from, std::min(fileEnd, blockEnd + kBesideRecords) - from);
                m_ahead = blockEnd;
                break;
            }
        }
    }
}

ReportLevelScan::Outcome ReportLevelScan::Flush(const Visitor& visitor) {
    for (std::uint64_t at = m_pending.first; at < m_pending.end;) {
        const std::uint64_t n = std::min(kChunkRecords, m_pending.end - at);
        const WalkResult read = m_walk.ReadRange(at, at + n, visitor.records);
        m_recordsRead += read.recordsDone;
        at += n;
        m_pending.first = at;
        if (read.outcome != WalkOutcome::kDone) {
            m_pending = {};
            return read.outcome == WalkOutcome::kStopped ? Outcome::kStopped : Outcome::kReadError;
        }
        if (const Outcome o = Progress(visitor); o != Outcome::kDone) return o;
    }
    m_pending = {};
    return Outcome::kDone;
}

ReportLevelScan::Outcome ReportLevelScan::Progress(const Visitor& visitor) {
    const std::uint64_t done = m_recordsRead + m_recordsSkipped;
    if (!visitor.progress || done - m_lastProgress < kChunkRecords) return Outcome::kDone;
    m_lastProgress = done;
    return visitor.progress(done, m_total) ? Outcome::kDone : Outcome::kCancelled;
}

}  // namespace qvx::analog
