#pragma once
// The record time of the newest record an acquisition unit holds while it records, as far as
// the host can tell without asking the unit. Two lower bounds, the larger one counts:
// - the last record taken in, plus the records waiting in the unit's memory at the sampling
//   rate;
// - since the unit stamps its records with its own clock, which runs with the host's: the
//   largest (record time - host time) seen so far, plus the host time now. This covers a host
//   that stalled (the records taken in then lag behind the unit). It is never taken beyond
//   what the unit's memory can hold after the last record taken in: a unit whose memory is
//   full stops storing records, and a simulated unit at full speed runs ahead of any clock.
// A stop asked once the estimate passes a time therefore gets, with the drain, every record
// up to that time. Without a known rate (the external clock of TRG3, which may also pause)
// only the last record taken in counts.
//
// Times in ns: record times as the data list shows them (time stamp x 10), host times from a
// monotonic clock. One thread (the command line's main thread).

#include <cstdint>
#include <optional>

class QVxUnitRecordClock {
public:
    // `recordsPerSecond` of the unit's sampling code; 0 for an external clock.
    explicit QVxUnitRecordClock(std::int64_t recordsPerSecond) : m_recordsPerSecond(recordsPerSecond) {}

    // What the host sees at host time `hostNs`: the record time of the last record taken in
    // (none before the first), and the unit's fill and memory size in bytes, read after that
    // record time so that they never count a record it covers. Returns the estimate, none
    // before the first record.
    std::optional<std::int64_t> Update(std::optional<std::int64_t> lastRecordNs, std::uint64_t fillBytes,
                                       std::uint64_t memoryBytes, std::int64_t hostNs);

private:
    std::int64_t RecordsToNs(std::uint64_t bytes) const;

    std::int64_t m_recordsPerSecond;
    std::optional<std::int64_t> m_clockOffset;  // the largest record time - host time seen, ns
};
