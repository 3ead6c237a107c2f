#pragma once
// The record codec: the one place that turns the fields of a 16-byte report record (format 6)
// into the units the application works in. Times: a record's time stamp counts 10 ns ticks in
// the low 48 bits of its 64-bit word 0; the application works in ns since the recording's
// start. Samples: a stored 16-bit sample is a 14-bit converter code; stored values above 0x3FFF
// count as 0x3FFF. From the limited code come the centred value (-8192..+8191), the normalised
// value (-1.0..+1.0) and, with a channel's full scale F in V, the voltage (-F..+F).
// Plain inline functions, callable from any thread; the intake and the exports call them for
// every record.

#include "QVxCore/ReportData/ReportFormat.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace qvx {

// ---- Times ---------------------------------------------------------------------------------

// Time stamp of `record` in 10 ns ticks: the low 48 bits of its 64-bit word `timeWord`
// (0 in format 6, the only layout a report is opened with).
inline std::uint64_t RecordTimeStamp(const std::uint8_t* record, std::size_t timeWord = 0) {
    return LoadLE64(record + 8 * timeWord) & kRecordTimeMask;
}

// 10 ns ticks to ns.
constexpr std::int64_t TicksToNs(std::uint64_t ticks) {
    return static_cast<std::int64_t>(ticks) * kNanosecondsPerTick;
}

// Time of `record` in ns since the recording's start.
inline std::int64_t RecordTimeNs(const std::uint8_t* record, std::size_t timeWord = 0) {
    return TicksToNs(RecordTimeStamp(record, timeWord));
}

// The first tick at or after `ns`: ceil(ns / 10), 0 for negative times.
constexpr std::uint64_t TicksAtOrAfterNs(std::int64_t ns) {
    if (ns <= 0) return 0;
    return static_cast<std::uint64_t>(ns / kNanosecondsPerTick + (ns % kNanosecondsPerTick != 0));
}

// The last tick at or before `ns`: floor(ns / 10), for ns >= 0.
constexpr std::uint64_t TicksAtOrBeforeNs(std::int64_t ns) {
    return static_cast<std::uint64_t>(ns / kNanosecondsPerTick);
}

// The largest ns value whose tick count fits: times of day add an origin to it without
// overflowing a signed 64-bit ns count.
inline constexpr std::uint64_t kMaxTicksInNs = INT64_MAX / kNanosecondsPerTick;

// ---- Samples -------------------------------------------------------------------------------

// Stored sample of channel 0..3 (CH1..CH4) of `record`, as stored (not limited).
inline std::uint16_t RecordRawSample(const std::uint8_t* record, std::size_t channel) {
    return LoadLE16(record + kRecordOffsetSamples + 2 * channel);
}

// The converter code of a stored sample: min(raw, 0x3FFF). Larger values are limited, not
// masked.
constexpr std::uint16_t LimitedSample(std::uint16_t raw) {
    return std::min(raw, kRawSampleMax);
}

// Centred sample: min(raw, 0x3FFF) - 8192, range -8192..+8191.
constexpr std::int64_t CentredSample(std::uint16_t raw) {
    return static_cast<std::int64_t>(LimitedSample(raw)) - kRawSampleMidScale;
}

// Normalised value of a centred sample: (centred + 8192) / 16383 x 2 - 1, -1.0 for -8192 and
// +1.0 for +8191.
constexpr double NormalizedFromCentred(std::int64_t centred) {
    return static_cast<double>(centred + kRawSampleMidScale) / static_cast<double>(kRawSampleMax) * 2.0 - 1.0;
}

// Normalised value of a stored sample: -1.0 (raw 0) .. +1.0 (raw 0x3FFF and above).
constexpr double NormalizedSample(std::uint16_t raw) {
    return NormalizedFromCentred(CentredSample(raw));
}

// Volts per converter code for a channel of full scale `fullScaleVolts` (F): 2F / 16383, so
// that code x 2F / 16383 - F is the normalised value times F.
constexpr double VoltsPerCode(double fullScaleVolts) {
    return 2.0 * fullScaleVolts / static_cast<double>(kRawSampleMax);
}

// Volts of converter code `code` (0..16383, a mean may lie between codes) on a channel of full
// scale F: (code - 8191.5) x 2F / 16383, so that 0 gives -F and 16383 gives +F.
constexpr double CodeToVolts(double code, double fullScaleVolts) {
    return (code - kRawSampleMax / 2.0) * 2.0 * fullScaleVolts / kRawSampleMax;
}

// The converter code of the amplitude `value` on a channel of full scale F, both in one unit
// (V or mV): value / (2F) x 16383 + 8192, the scale the display trigger compares levels on;
// not limited to 0..16383.
constexpr double AmplitudeToCode(double value, double fullScale) {
    return value / (2.0 * fullScale) * static_cast<double>(kRawSampleMax) +
           static_cast<double>(kRawSampleMidScale);
}

}  // namespace qvx
