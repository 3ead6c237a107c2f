#include "QV+AnalogCore/Export/ReportRecordWalk.h"

#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportFormat.h"

#include <algorithm>
#include <cstring>

namespace qvx::analog {

ReportRecordWalk::ReportRecordWalk(ReportDataReader& reader, std::uint64_t chunkRecords,
                                   Unreadable unreadable)
    : m_reader(reader),
      m_chunkRecords(std::max<std::uint64_t>(1, chunkRecords)),
      m_unreadable(unreadable),
      m_timeWord(static_cast<std::size_t>(reader.GetTimeWordIndex())) {}

WalkResult ReportRecordWalk::Walk(const ReportSpan& span, const ChunkConsumer& consume,
                                  const WalkProgress& progress) {
    WalkResult result;
    std::uint64_t at = span.first;
    auto gap = span.gaps.begin();
    while (at < span.end) {
        // Past a gap that begins here.
        if (gap != span.gaps.end() && gap->first <= at) {
            at = std::max(at, gap->end);
            m_afterGap = true;
            ++gap;
            continue;
        }
        // Up to the next gap or the end of this file, whichever comes first.
        const std::uint64_t fileEnd = (at / kRecordsPerReportFile + 1) * kRecordsPerReportFile;
        std::uint64_t stop = std::min(span.end, fileEnd);
        if (gap != span.gaps.end()) stop = std::min(stop, gap->first);
        while (at < stop) {
            const std::uint64_t n = std::min(m_chunkRecords, stop - at);
            const WalkResult piece = ReadRange(at, at + n, consume);
            result.recordsDone += piece.recordsDone;
            if (piece.outcome != WalkOutcome::kDone) {
                result.outcome = piece.outcome;
                result.unreadableIndex = piece.unreadableIndex;
                return result;
            }
            at += n;
            if (progress && !progress(result.recordsDone, span.records)) {
                result.outcome = WalkOutcome::kCancelled;
                return result;
            }
        }
    }
    return result;
}

WalkResult ReportRecordWalk::ReadRange(std::uint64_t first, std::uint64_t end, const ChunkConsumer& consume) {
    WalkResult result;
    for (std::uint64_t at = first; at < end;) {
        const std::uint64_t n = std::min(m_chunkRecords, end - at);
        m_buffer.resize(n * kReportRecordSize);
        if (!m_reader.ReadRecordSpan(at, n, m_buffer.data())) {
            if (m_unreadable == Unreadable::kFindRecord) return ReadRecordByRecord(at, n, consume, result);
            result.outcome = WalkOutcome::kUnreadable;
            result.unreadableIndex = at;
            return result;
        }
        const RecordChunk chunk{m_buffer.data(), n, at, m_timeWord, m_afterGap};
        m_afterGap = false;
        result.recordsDone += n;
        if (!consume(chunk)) {
            result.outcome = WalkOutcome::kStopped;
            return result;
        }
        at += n;
    }
    return result;
}

WalkResult ReportRecordWalk::ReadRecordByRecord(std::uint64_t first, std::uint64_t count,
                                                const ChunkConsumer& consume, WalkResult result) {
    std::uint8_t record[kReportRecordSize];
    for (std::uint64_t index = first; index < first + count; ++index) {
        const std::uint8_t* stored = m_reader.ReadRecordByIndex(index);
        if (!stored) {
            result.outcome = WalkOutcome::kUnreadable;
            result.unreadableIndex = index;
            return result;
        }
        // The reader's record buffer changes with its next read: the consumer gets a copy.
        std::memcpy(record, stored, kReportRecordSize);
        const RecordChunk chunk{record, 1, index, m_timeWord, m_afterGap};
        m_afterGap = false;
        ++result.recordsDone;
        if (!consume(chunk)) {
            result.outcome = WalkOutcome::kStopped;
            return result;
        }
    }
    return result;
}

}  // namespace qvx::analog
