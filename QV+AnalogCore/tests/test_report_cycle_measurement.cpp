// Every cycle measured in a stored report equals a plain pass over the same samples, cycle
// by cycle and statistic by statistic, with and without the overview's skipping; limits give
// the verdict, the counts and the list of violations.

#include "QV+AnalogCore/Analysis/ReportCycleMeasurement.h"
#include "QV+AnalogCore/tests/analysis_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

using qvx::analog::Cycle;
using qvx::analog::CycleParameter;
using qvx::analog::CycleRequest;
using qvx::analog::CycleResult;
using qvx::analog::kCycleParameterCount;

constexpr std::uint64_t kCycleFirstFile = 300'007;
constexpr std::uint64_t kCycleSecondFile = 200'003;
constexpr std::uint64_t kCycleCount = kCycleFirstFile + kCycleSecondFile;
constexpr std::uint64_t kGapAt = 230'000;  // inside the long low plateau
constexpr std::int64_t kGapNs = 1'000'000;
constexpr int kLow = 8192 - 3000;
constexpr int kHigh = 8192 + 3000;
constexpr double kBandCodes = 400;  // hysteresis in codes

// Builds CH1 piece by piece: ramps (linear, so the 10-90 % time of a clean edge is known)
// and plateaus, with noise.
class SignalWriter {
public:
    explicit SignalWriter(std::vector<int>& v) : m_v(v) {}
    void Ramp(int target, int records, int noise = 0) {
        const int from = m_value;
        for (int k = 1; k <= records; ++k) Put(from + (target - from) * k / records, noise);
        m_value = target;
    }
    void Hold(int records, int noise) {
        for (int k = 0; k < records; ++k) Put(m_value, noise);
    }
    std::uint64_t Position() const { return m_at; }
    bool Full() const { return m_at >= m_v.size(); }
    void Start(int value) { m_value = value; }

private:
    void Put(int value, int noise) {
        if (m_at >= m_v.size()) return;
        std::uniform_int_distribution<int> n(-noise, noise);
        m_v[m_at++] = std::clamp(value + (noise > 0 ? n(m_rng) : 0), 0, 16383);
    }
    std::vector<int>& m_v;
    std::mt19937 m_rng{5};
    std::uint64_t m_at = 0;
    int m_value = 0;
};

// Jittered square cycles with 20-record edges, a runt pulse, a slow noisy edge, long
// plateaus (skipped in 8,192-record blocks) with a gap in time inside one, a 6,000-record edge whose 10 % and
// 90 % points lie in skipped blocks, cycles across the file boundary and across a gap in time, a high first
// record and a rising last one.
std::vector<int> MakeCycleSignal() {
    std::vector<int> v(kCycleCount, kLow);
    SignalWriter w(v);
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> plateau(650, 950), level(-40, 40);
    w.Start(kHigh);
    w.Hold(500, 10);
    const auto cycle = [&](int k) {
        w.Ramp(kLow + level(rng), 20);
        if (k % 17 == 10) {  // a runt that reaches above L but not L + H/2
            w.Hold(200, 10);
            w.Ramp(8192 + 100, 10);
            w.Hold(30, 10);
            w.Ramp(kLow, 10);
        }
        w.Hold(plateau(rng), 10);
        if (k % 23 == 20)
            w.Ramp(kHigh + level(rng), 3000, 150);  // noise around L: only the hysteresis keeps one crossing
        else
            w.Ramp(kHigh + level(rng), 20);
        w.Hold(plateau(rng), 10);
    };
    int k = 0;
    while (w.Position() < 110'000) cycle(k++);
    w.Hold(80'000, 10);
    w.Ramp(kLow, 6'000);
    // A step on a 64-record block boundary after the gap: the first record read after the
    // skipped blocks is already high.
    w.Hold(70'000 + (64 - (w.Position() + 70'000) % 64) % 64, 10);
    w.Ramp(kHigh, 1);
    w.Hold(1'000, 10);
    while (w.Position() < kCycleCount - 3'000) cycle(k++);
    w.Ramp(kLow, 20);
    w.Hold(5'000, 10);
    v[kCycleCount - 1] = kHigh;
    return v;
}

// The definition, applied to every record in turn.
class PlainPass {
public:
    PlainPass(const std::vector<int>& v, const qvx::test::TwoFileReport& report, double levelCode,
              double band)
        : m_v(v),
          m_report(report),
          m_level(levelCode),
          m_riseAbove(std::floor(levelCode + band / 2)),
          m_fallBelow(std::ceil(levelCode - band / 2)) {}

    std::vector<Cycle> Run(std::uint64_t from, std::uint64_t to, double mvPerCode) {
        std::vector<Cycle> out;
        enum { kUnknown, kLowState, kHighState } state = kUnknown;
        std::uint64_t lowStart = 0, prevLowStart = 0, highStart = 0, fallAt = 0;
        double riseNs = 0, fallNs = 0;
        bool open = false, fell = false;
        for (std::uint64_t p = from; p < to; ++p) {
            if (p > from && T(p) - T(p - 1) > 150) {
                state = kUnknown;
                open = false;
            }
            const int x = m_v[p];
            if (state != kHighState && x > m_riseAbove) {
                if (state == kLowState) {
                    std::uint64_t q = p - 1;
                    while (m_v[q] > m_level) --q;
                    const double t = Interp(q, q + 1, m_level);
                    if (open && fell)
                        out.push_back(
                            Close(prevLowStart, highStart, fallAt, p, riseNs, fallNs, t, mvPerCode));
                    open = true;
                    fell = false;
                    riseNs = t;
                    prevLowStart = lowStart;
                }
                highStart = p;
                state = kHighState;
            } else if (state != kLowState && x < m_fallBelow) {
                if (state == kHighState && open) {
                    std::uint64_t q = p - 1;
                    while (m_v[q] < m_level) --q;
                    fallNs = Interp(q, q + 1, m_level);
                    fell = true;
                    fallAt = p;
                }
                lowStart = p;
                state = kLowState;
            }
        }
        return out;
    }

private:
    std::int64_t T(std::uint64_t p) const { return m_report.TimeAt(p); }

    double Interp(std::uint64_t a, std::uint64_t b, double x) const {
        if (m_v[a] == m_v[b]) return static_cast<double>(T(a));
        const double f = std::clamp((x - m_v[a]) / static_cast<double>(m_v[b] - m_v[a]), 0.0, 1.0);
        return static_cast<double>(T(a)) + f * static_cast<double>(T(b) - T(a));
    }

    Cycle Close(std::uint64_t lowBefore, std::uint64_t high, std::uint64_t low, std::uint64_t end,
                double rise, double fall, double next, double mvPerCode) const {
        const auto [mn, mx] = std::minmax_element(m_v.begin() + static_cast<std::ptrdiff_t>(high),
                                                  m_v.begin() + static_cast<std::ptrdiff_t>(end));
        const double x10 = *mn + 0.1 * (*mx - *mn), x90 = *mn + 0.9 * (*mx - *mn);
        const double nan = std::nan("");
        double rise10 = nan, rise90 = nan, fall90 = nan, fall10 = nan;
        for (std::uint64_t q = high; q-- > lowBefore;)
            if (m_v[q] <= x10) {
                rise10 = Interp(q, q + 1, x10);
                break;
            }
        for (std::uint64_t q = high; q < low; ++q)
            if (m_v[q] >= x90) {
                rise90 = Interp(q - 1, q, x90);
                break;
            }
        for (std::uint64_t q = low; q-- > high;)
            if (m_v[q] >= x90) {
                fall90 = Interp(q, q + 1, x90);
                break;
            }
        for (std::uint64_t q = low; q < end; ++q)
            if (m_v[q] <= x10) {
                fall10 = Interp(q - 1, q, x10);
                break;
            }
        const auto mv = [&](int code) { return (code - 8191.5) * mvPerCode; };
        Cycle c;
        c.startNs = rise;
        c.values = {next - rise,
                    1e9 / (next - rise),
                    fall - rise,
                    next - fall,
                    (fall - rise) / (next - rise) * 100,
                    mv(*mn),
                    mv(*mx),
                    mv(*mx) - mv(*mn),
                    rise90 - rise10,
                    fall10 - fall90};
        return c;
    }

    const std::vector<int>& m_v;
    const qvx::test::TwoFileReport& m_report;
    double m_level;
    double m_riseAbove;
    double m_fallBelow;
};

class CycleMeasurement : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_signal = new std::vector<int>(MakeCycleSignal());
        s_report = new qvx::test::TwoFileReport(
            "cycles", kCycleFirstFile, kCycleSecondFile,
            [](std::uint64_t p) {
                return qvx::test::Samples{static_cast<std::uint16_t>((*s_signal)[p]), 8192, 0, 16383};
            },
            {kGapAt, kGapNs});
    }
    static void TearDownTestSuite() {
        delete s_report;
        delete s_signal;
    }

    static double MvPerCode() { return 2.0 * s_settings.GetChannelRangeMilliVolts(0) / 16383.0; }

    static CycleRequest Request() {
        CycleRequest r;
        r.channel = 0;
        r.levelMv = 0;  // code 8191.5
        r.hysteresisMv = kBandCodes * MvPerCode();
        return r;
    }

    static std::vector<Cycle> Measure(const CycleRequest& request, CycleResult& result,
                                      bool overview = true) {
        std::vector<Cycle> cycles;
        result = qvx::analog::MeasureCycles(s_report->Reader(), overview ? s_report->Overview() : nullptr,
                                            s_settings, request, {}, [&](std::uint64_t n, const Cycle& c) {
                                                EXPECT_EQ(n, cycles.size());
                                                cycles.push_back(c);
                                                return true;
                                            });
        return cycles;
    }

    static void ExpectSameCycles(const std::vector<Cycle>& got, const std::vector<Cycle>& want) {
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t k = 0; k < got.size(); ++k) {
            ASSERT_NEAR(got[k].startNs, want[k].startNs, 1e-6) << "cycle " << k;
            for (std::size_t i = 0; i < kCycleParameterCount; ++i) {
                if (std::isnan(want[k].values[i])) {
                    EXPECT_TRUE(std::isnan(got[k].values[i])) << "cycle " << k << " parameter " << i;
                    continue;
                }
                EXPECT_NEAR(got[k].values[i], want[k].values[i],
                            1e-6 * std::max(1.0, std::abs(want[k].values[i])))
                    << "cycle " << k << " parameter " << i;
            }
        }
    }

    static inline std::vector<int>* s_signal = nullptr;
    static inline qvx::test::TwoFileReport* s_report = nullptr;
    static inline qvx::AnalogSettings s_settings;
};

TEST_F(CycleMeasurement, EveryCycleAndStatisticEqualsAPlainPassWithAndWithoutTheOverview) {
    PlainPass plain(*s_signal, *s_report, 8191.5, kBandCodes);
    const std::vector<Cycle> want = plain.Run(0, kCycleCount, MvPerCode());
    ASSERT_GT(want.size(), 150u);

    for (const bool overview : {true, false}) {
        SCOPED_TRACE(overview ? "with the overview" : "every record read");
        CycleResult result;
        const std::vector<Cycle> got = Measure(Request(), result, overview);
        ASSERT_EQ(result.status, CycleResult::Status::kDone);
        ExpectSameCycles(got, want);
        EXPECT_EQ(result.cycles, want.size());
        if (overview) {
            EXPECT_GT(result.recordsSkipped, kCycleCount / 2) << "the plateaus are skipped";
        }

        for (std::size_t i = 0; i < kCycleParameterCount; ++i) {
            std::vector<double> values;
            for (const Cycle& c : want)
                if (!std::isnan(c.values[i])) values.push_back(c.values[i]);
            const auto& s = result.stats[i];
            ASSERT_EQ(s.count, values.size()) << "parameter " << i;
            double mean = 0, sq = 0;
            for (double x : values) mean += x / static_cast<double>(values.size());
            for (double x : values) sq += (x - mean) * (x - mean);
            const auto mn = std::min_element(values.begin(), values.end());
            const auto mx = std::max_element(values.begin(), values.end());
            EXPECT_NEAR(s.mean, mean, 1e-9 * std::max(1.0, std::abs(mean))) << "parameter " << i;
            EXPECT_NEAR(s.std, std::sqrt(sq / static_cast<double>(values.size())),
                        1e-6 * std::max(1.0, std::abs(mean)))
                << "parameter " << i;
            EXPECT_DOUBLE_EQ(s.min, *mn) << "parameter " << i;
            EXPECT_DOUBLE_EQ(s.max, *mx) << "parameter " << i;
            if (i != static_cast<std::size_t>(CycleParameter::kRise) &&
                i != static_cast<std::size_t>(CycleParameter::kFall)) {
                EXPECT_EQ(s.minCycle, static_cast<std::uint64_t>(mn - values.begin())) << "parameter " << i;
                EXPECT_EQ(s.maxCycle, static_cast<std::uint64_t>(mx - values.begin())) << "parameter " << i;
            }
        }
        EXPECT_TRUE(result.Pass());
    }
}

TEST_F(CycleMeasurement, CleanEdgesHaveTheirKnownRiseTimeAndTheRuntIsNoCycle) {
    CycleResult result;
    const std::vector<Cycle> got = Measure(Request(), result);
    // A 20-record (2,000 ns) linear ramp passes 10 % to 90 % in 1,600 ns, give or take the
    // plateaus' noise and a record on each side (the slow, noisy and stepped edges aside).
    std::size_t clean = 0;
    for (const Cycle& c : got) {
        const double rise = c.Value(CycleParameter::kRise);
        if (c.Value(CycleParameter::kPeriod) < 250'000 && rise > 1'000 && rise < 2'500) {
            EXPECT_NEAR(rise, 1'600, 200);
            ++clean;
        }
        // The runt (a 50-record pulse) would make a cycle shorter than 20 us.
        EXPECT_GT(c.Value(CycleParameter::kPeriod), 100'000);
    }
    EXPECT_GT(clean, 150u);
}

TEST_F(CycleMeasurement, RangesStartAtTheirFirstRecordAndAGapEndsTheCycleWithoutCountingIt) {
    PlainPass plain(*s_signal, *s_report, 8191.5, kBandCodes);
    // Ranges beginning and ending mid-cycle, across the file boundary, around the gap, and
    // at the first and last records.
    const std::pair<std::uint64_t, std::uint64_t> ranges[] = {
        {0, 1},
        {0, 2'000},
        {1'234, 57'891},
        {kCycleFirstFile - 9'000, kCycleFirstFile + 7'000},
        {kGapAt - 5'000, kGapAt + 60'000},
        {kCycleCount - 5'100, kCycleCount},
        {100'000, 250'000}};
    for (const auto& [from, to] : ranges) {
        SCOPED_TRACE(testing::Message() << "positions " << from << " to " << to);
        CycleRequest request = Request();
        request.fromNs = s_report->TimeAt(from);
        request.toNs = to < kCycleCount ? s_report->TimeAt(to) : s_report->TimeAt(kCycleCount - 1) + 1;
        CycleResult result;
        ExpectSameCycles(Measure(request, result), plain.Run(from, to, MvPerCode()));
    }
    // No cycle spans the gap.
    CycleResult result;
    for (const Cycle& c : Measure(Request(), result)) {
        const double end = c.startNs + c.Value(CycleParameter::kPeriod);
        EXPECT_FALSE(c.startNs < s_report->TimeAt(kGapAt) && end > s_report->TimeAt(kGapAt - 1));
    }
}

TEST_F(CycleMeasurement, PlantedViolationsGiveTheVerdictTheCountsAndTheList) {
    CycleResult all;
    const std::vector<Cycle> cycles = Measure(Request(), all);
    ASSERT_TRUE(all.Pass());
    // Limits just inside the measured extremes of two parameters: exactly the cycles at and
    // beyond them violate.
    const auto& period = all.stats[static_cast<std::size_t>(CycleParameter::kPeriod)];
    const auto& maxMv = all.stats[static_cast<std::size_t>(CycleParameter::kMax)];
    CycleRequest request = Request();
    request.limits[static_cast<std::size_t>(CycleParameter::kPeriod)].upper = 250'000.0;
    request.limits[static_cast<std::size_t>(CycleParameter::kMax)].lower = maxMv.min + 1e-9;
    request.maxViolations = 3;
    CycleResult result;
    Measure(request, result);
    EXPECT_FALSE(result.Pass());

    std::vector<std::pair<std::uint64_t, CycleParameter>> want;
    for (std::size_t k = 0; k < cycles.size(); ++k) {
        if (cycles[k].Value(CycleParameter::kPeriod) > 250'000.0)
            want.emplace_back(k, CycleParameter::kPeriod);
        if (cycles[k].Value(CycleParameter::kMax) < maxMv.min + 1e-9)
            want.emplace_back(k, CycleParameter::kMax);
    }
    ASSERT_GE(want.size(), 4u) << "the long cycle and the lowest maxima are planted violations";
    EXPECT_LE(period.max, 1e9);
    EXPECT_EQ(result.violationCount, want.size());
    std::uint64_t periods = 0;
    for (const auto& w : want) periods += w.second == CycleParameter::kPeriod;
    EXPECT_EQ(result.violationsByParameter[static_cast<std::size_t>(CycleParameter::kPeriod)], periods);
    EXPECT_EQ(result.violationsByParameter[static_cast<std::size_t>(CycleParameter::kMax)],
              want.size() - periods);
    ASSERT_EQ(result.violations.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(result.violations[i].cycle, want[i].first);
        EXPECT_EQ(result.violations[i].parameter, want[i].second);
        EXPECT_EQ(result.violations[i].value, cycles[want[i].first].Value(want[i].second));
        EXPECT_EQ(result.violations[i].startNs, cycles[want[i].first].startNs);
    }
}

TEST_F(CycleMeasurement, CancelStopsAndBadRequestsAreNamed) {
    CycleResult result = qvx::analog::MeasureCycles(s_report->Reader(), nullptr, s_settings, Request(),
                                                    [](std::uint64_t, std::uint64_t) { return false; });
    EXPECT_EQ(result.status, CycleResult::Status::kCancelled);

    CycleRequest bad = Request();
    bad.channel = 4;
    EXPECT_NE(qvx::analog::CheckCycleRequest(s_settings, bad), std::nullopt);
    bad = Request();
    bad.hysteresisMv = -1;
    EXPECT_NE(qvx::analog::CheckCycleRequest(s_settings, bad), std::nullopt);
    bad = Request();
    bad.limits[2] = {5.0, 4.0};
    EXPECT_NE(qvx::analog::CheckCycleRequest(s_settings, bad)->find("high-ns"), std::string::npos);
    EXPECT_EQ(qvx::analog::CheckCycleRequest(s_settings, Request()), std::nullopt);
}

}  // namespace
