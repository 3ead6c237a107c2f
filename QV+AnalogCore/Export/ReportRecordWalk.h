#pragma once
// Walks the stored records of a resolved span in order, in chunks read with one call each,
// and hands every chunk to a consumer: the exports' sinks (CSV, HDF5) and the analyses'
// scans take records this way. One progress and cancel contract for all of them: after each
// chunk the walk reports (records done, records of the span) and a false answer cancels.
//
// A chunk never spans a gap or two files; the first chunk after a gap says so. With
// kFindRecord, a chunk that cannot be read is read again record by record, so that the
// consumer gets every readable record before the first unreadable one, whose index the walk
// then reports (the exports keep the rows before it); with kChunk the walk reports the
// chunk's first index and hands none of it over (the analyses fail as a whole).
//
// Runs on the calling thread, which must own the reader; the consumer and the progress
// call-back run there too.

#include "QV+AnalogCore/Export/ReportSpan.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace qvx {
class ReportDataReader;
}

namespace qvx::analog {

// Consecutive 16-byte records of a report.
struct RecordChunk {
    const std::uint8_t* records = nullptr;  // count x 16 bytes, valid during the call
    std::uint64_t count = 0;
    std::uint64_t firstIndex = 0;  // global index of records[0]
    std::size_t timeWord = 0;      // the 64-bit word holding the time stamp (RecordTimeNs)
    bool afterGap = false;         // records of the span just before firstIndex are missing
};

// (records done, records of the span); false cancels. The walking thread.
using WalkProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;
// Takes a chunk; false stops the walk.
using ChunkConsumer = std::function<bool(const RecordChunk&)>;

enum class WalkOutcome {
    kDone,        // every record of the span was handed over
    kStopped,     // the consumer stopped the walk
    kCancelled,   // the progress call-back cancelled
    kUnreadable,  // a record could not be read (logged by the reader); see unreadableIndex
};

struct WalkResult {
    WalkOutcome outcome = WalkOutcome::kDone;
    std::uint64_t recordsDone = 0;      // records handed over
    std::uint64_t unreadableIndex = 0;  // global index of the first unreadable record
};

class ReportRecordWalk {
public:
    // Records per read: 1 MiB.
    static constexpr std::uint64_t kDefaultChunkRecords = 65536;

    enum class Unreadable { kChunk, kFindRecord };

    ReportRecordWalk(ReportDataReader& reader, std::uint64_t chunkRecords, Unreadable unreadable);

    // The stored records of `span`.
    WalkResult Walk(const ReportSpan& span, const ChunkConsumer& consume, const WalkProgress& progress = {});

    // The records [first, end), which must lie in one file, without progress reports (for
    // callers that count their own progress, as the level scan with its skipped blocks).
    WalkResult ReadRange(std::uint64_t first, std::uint64_t end, const ChunkConsumer& consume);

private:
    // Hands the readable records of the chunk at `first` over one by one up to the first
    // unreadable one.
    WalkResult ReadRecordByRecord(std::uint64_t first, std::uint64_t count, const ChunkConsumer& consume,
                                  WalkResult result);

    ReportDataReader& m_reader;
    std::uint64_t m_chunkRecords;
    Unreadable m_unreadable;
    std::size_t m_timeWord;
    std::vector<std::uint8_t> m_buffer;
    bool m_afterGap = false;
};

}  // namespace qvx::analog
