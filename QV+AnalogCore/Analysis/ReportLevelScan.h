#pragma once
// Walks the stored records of a span of a report in order for one channel and a raw
// level, and skips the overview blocks whose samples of that channel all lie on one side
// of it: "above" is sample > level, "below" is sample < level (samples limited to 16383,
// as decoding and the overview do); a block with a sample on the level is read. A caller
// that looks for crossings of the level only needs the side of such a block, not its
// records.
//
// The coarsest overview block that fits is tried first (262,144, then 8,192, then 1,024,
// then 64 records; 1,024 is a run of level-0 entries the overview summarizes in memory); a
// block holding both sides is tried again at the next finer size, and a
// 64-record block holding both sides is read. Records are read by the record walk
// (ReportRecordWalk) and handed over as its chunks of at most kChunkRecords, in index order,
// before the next block is offered for skipping, so the caller's decision always sees the
// state after every earlier record. Progress and cancel follow the walk's contract.
//
// Runs on the calling thread, which must own the reader and the overview (neither is
// thread-safe).

#include "QV+AnalogCore/Export/ReportRecordWalk.h"
#include "QV+AnalogCore/Export/ReportSpan.h"

#include <cstdint>
#include <functional>

namespace qvx {
class ReportDataReader;
class ReportOverview;
}  // namespace qvx

namespace qvx::analog {

class ReportLevelScan {
public:
    // Records per read of the blocks that are not skipped: 1 MiB.
    static constexpr std::uint64_t kChunkRecords = 65536;

    enum class Outcome {
        kDone,       // every record of the range was read or skipped
        kStopped,    // the records visitor asked to stop
        kCancelled,  // the progress call-back asked to stop
        kReadError,  // a read failed or the overview turned out damaged (logged)
    };

    struct Visitor {
        // Whether a block lying wholly above (`above`) or below the level may be skipped
        // in the state reached so far.
        std::function<bool(bool above)> canSkip;
        // A skipped block: its side, its extreme sample on that side (maximum above,
        // minimum below) and the index of its last record.
        std::function<void(bool above, std::uint16_t extreme, std::uint64_t lastIndex)> skipped;
        // The same skipped block with both of its extremes and its records [first, end);
        // for callers that keep per-block minimum and maximum. Either call-back may be empty.
        std::function<void(bool above, std::uint16_t min, std::uint16_t max, std::uint64_t first,
                           std::uint64_t end)>
            skippedBlock;
        // Consecutive records of the span; false stops the walk.
        ChunkConsumer records;
        // (records read or skipped so far, records of the span); false cancels. Called
        // when at least kChunkRecords more are done, on the walking thread. May be empty.
        WalkProgress progress;
    };

    // Levels a block is compared with: it lies "above" when its minimum > `above` and
    // "below" when its maximum < `below` (a hysteresis band puts them apart).
    struct Levels {
        std::int64_t above = 0;
        std::int64_t below = 0;
    };

    // `overview` may be null: every record is then read.
    ReportLevelScan(ReportDataReader& reader, ReportOverview* overview, int channel, std::int64_t level);
    ReportLevelScan(ReportDataReader& reader, ReportOverview* overview, int channel, Levels levels);

    Outcome Walk(const ReportSpan& span, const Visitor& visitor);

    std::uint64_t GetRecordsRead() const { return m_recordsRead; }
    std::uint64_t GetRecordsSkipped() const { return m_recordsSkipped; }

private:
    struct Pending {
        std::uint64_t first = 0;
        std::uint64_t end = 0;
    };

    Outcome WalkFile(std::uint64_t lo, std::uint64_t hi, std::uint64_t fileEnd, const Visitor& visitor);
    // Looks ahead of `at` through the overview (up to kReadAheadRecords, within [at, hi)) for
    // the smallest blocks that lie across a level and so will be read, and asks the kernel
    // for them in the background: with a cold page cache the scattered reads are then many
    // at once instead of one after the other.
    void ReadAhead(std::uint64_t at, std::uint64_t hi, std::uint64_t fileEnd);
    static constexpr std::uint64_t kReadAheadRecords = 1 << 20;
    Outcome Flush(const Visitor& visitor);
    Outcome Progress(const Visitor& visitor);

    ReportDataReader& m_reader;
    ReportRecordWalk m_walk;
    ReportOverview* m_overview;
    int m_channel;
    Levels m_levels;
    Pending m_pending;
    std::uint64_t m_ahead = 0;  // where ReadAhead goes on
    std::uint64_t m_recordsRead = 0;
    std::uint64_t m_recordsSkipped = 0;
    std::uint64_t m_lastProgress = 0;
    std::uint64_t m_total = 0;
};

}  // namespace qvx::analog
