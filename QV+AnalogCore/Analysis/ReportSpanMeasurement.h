#pragma once
// Measurements of a stored report between two times, per enabled channel: the number of
// records, minimum, maximum, peak-to-peak, mean and RMS in volts (with the session's range
// and probe of each channel) and the frequency.
//
// A record counts when from <= t < to (t in ns = time stamp x 10). Minimum, maximum, mean
// and RMS come from the overview's per-block sums for the whole blocks of the span and from
// the records of the partial blocks at its ends, summed exactly in integers.
//
// Frequency: a rising crossing is a record whose sample lies above the midpoint M between
// the span's minimum and maximum raw codes while the record before it (in the span) lies at
// or below it, i.e. p <= M < v with M = (min + max) / 2 on the raw scale. No hysteresis: noise
// that crosses M counts. With n >= 2 crossings, at times t1 < ... < tn, the frequency is
// (n - 1) / (tn - t1); with fewer it is none. The crossings are found with the overview:
// blocks lying wholly on one side of M are not read.
//
// Runs on the calling thread, which must own the reader and the overview.

#include "QVxCore/AnalogSettings.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace qvx {
class ReportDataReader;
class ReportOverview;
}  // namespace qvx

namespace qvx::analog {

struct ChannelMeasurement {
    int channel = 0;  // 0 to 3
    std::uint64_t records = 0;
    double min = 0;  // V
    double max = 0;
    double peakToPeak = 0;
    double mean = 0;
    double rms = 0;
    std::uint64_t risingCrossings = 0;
    std::optional<double> frequencyHz;
};

struct SpanMeasurement {
    enum class Status { kDone, kCancelled, kReadError };
    Status status = Status::kDone;
    std::int64_t fromNs = 0;
    std::int64_t toNs = 0;
    std::uint64_t records = 0;
    std::vector<ChannelMeasurement> channels;  // the enabled channels, in order; none without records
};

// Volts of raw code `code` on `channel`: (code - 8191.5) x 2F / 16383 with F the channel's
// full scale in V, so 0 gives -F and 16383 gives +F, as the value texts and exports do.
double RawCodeToVolts(const AnalogSettings& settings, int channel, double code);

// (records read or skipped by the frequency scans, their total); false cancels.
using MeasurementProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// `overview` may be null (every record is then read).
SpanMeasurement MeasureSpan(ReportDataReader& reader, ReportOverview* overview,
                            const AnalogSettings& settings, std::int64_t fromNs, std::int64_t toNs,
                            const MeasurementProgress& progress = {});

}  // namespace qvx::analog
