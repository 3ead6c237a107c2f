#pragma once
// Every cycle of one channel of a stored report, measured against optional limits.
//
// States: with the level L and the hysteresis H (mV, in the channel's volts), the signal is
// high once a sample lies above L + H/2 and low once one lies below L - H/2; in between it
// keeps its state (unknown at the start and after a gap, until a sample leaves the band). A
// rising crossing is a change from low to high, a falling crossing the reverse. Its time is
// interpolated linearly between the last record on the old side of L before the change and
// the record after it (ns, double).
//
// A cycle runs from one rising crossing to the next; its records are those from the record
// that made the first change up to the one before the record that made the next. Per cycle:
// start, period, frequency, high width (to the falling crossing), low width, duty cycle,
// minimum, maximum, amplitude (mV), rise time (the last record at or below 10 % of the
// cycle's min..max before its rising crossing to the first at or above 90 % after it, each
// interpolated with its neighbour) and fall time (the mirror image around the falling
// crossing). A rise or fall time whose 10 % or 90 % point lies outside its phase is NaN and
// counts in neither statistics nor limits.
//
// Records with fromNs <= t < toNs. A gap in time (a step between records longer than the
// record interval, taken from the first two consecutive records, by more than half an
// interval) ends the cycle in progress without counting it; so does the end of the range.
// Overview blocks that cannot change the state are skipped; their minimum and maximum still
// count, and one is read afterwards only when a 10 %, 90 % or L point lies inside it.
//
// Runs on the calling thread, which must own the reader and the overview; the progress and
// cycle call-backs run there too.

#include "QVxCore/AnalogSettings.h"

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvx {
class ReportDataReader;
class ReportOverview;
}  // namespace qvx

namespace qvx::analog {

enum class CycleParameter {
    kPeriod,     // ns
    kFrequency,  // Hz
    kHigh,       // ns
    kLow,        // ns
    kDuty,       // %
    kMin,        // mV
    kMax,        // mV
    kAmplitude,  // mV
    kRise,       // ns
    kFall,       // ns
};
inline constexpr std::size_t kCycleParameterCount = 10;

// "period-ns", "frequency-hz", ... (the names of the command line and the JSON).
std::string_view CycleParameterName(CycleParameter parameter);
std::optional<CycleParameter> CycleParameterFromName(std::string_view name);
CycleParameter CycleParameterAt(std::size_t i);

struct Cycle {
    double startNs = 0;
    // Indexed by CycleParameter, in the units of its name.
    std::array<double, kCycleParameterCount> values{};

    double Value(CycleParameter p) const { return values[static_cast<std::size_t>(p)]; }
};

struct CycleLimit {
    std::optional<double> lower;
    std::optional<double> upper;

    bool Violated(double value) const { return (lower && value < *lower) || (upper && value > *upper); }
};

struct CycleRequest {
    int channel = 0;  // 0 to 3
    double levelMv = 0;
    std::optional<double> hysteresisMv;  // none: 2 % of the channel's full scale
    std::int64_t fromNs = 0;
    std::int64_t toNs = std::numeric_limits<std::int64_t>::max();
    std::array<CycleLimit, kCycleParameterCount> limits{};
    std::size_t maxViolations = 10'000;  // listed; all are counted
};

struct CycleStatistics {
    std::uint64_t count = 0;
    double min = 0;
    double max = 0;
    double mean = 0;
    double std = 0;  // population standard deviation
    std::uint64_t minCycle = 0;
    std::uint64_t maxCycle = 0;
};

struct CycleViolation {
    std::uint64_t cycle = 0;
    double startNs = 0;
    CycleParameter parameter = CycleParameter::kPeriod;
    double value = 0;
};

struct CycleResult {
    enum class Status { kDone, kCancelled, kReadError };
    Status status = Status::kDone;
    double hysteresisMv = 0;  // the one used
    std::uint64_t cycles = 0;
    std::array<CycleStatistics, kCycleParameterCount> stats{};
    std::array<std::uint64_t, kCycleParameterCount> violationsByParameter{};
    std::uint64_t violationCount = 0;
    std::vector<CycleViolation> violations;  // the first maxViolations, in cycle order
    std::uint64_t recordsRead = 0;
    std::uint64_t recordsSkipped = 0;

    bool Pass() const { return violationCount == 0; }
};

// (records read or skipped, records of the range); false cancels.
using CycleProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;
// Cycle `number` (from 0, in time order) was measured; false stops (as a cancel).
using CycleConsumer = std::function<bool(std::uint64_t number, const Cycle& cycle)>;

// Why `request` cannot be measured (channel, hysteresis, limits); none when it can.
std::optional<std::string> CheckCycleRequest(const AnalogSettings& settings, const CycleRequest& request);

// `overview` may be null (every record is then read).
CycleResult MeasureCycles(ReportDataReader& reader, ReportOverview* overview, const AnalogSettings& settings,
                          const CycleRequest& request, const CycleProgress& progress = {},
                          const CycleConsumer& onCycle = {});

}  // namespace qvx::analog
