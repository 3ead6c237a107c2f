// Measurements between two times equal a computation over every record of the span, on
// spans that split overview blocks and files.

#include "QV+AnalogCore/Analysis/ReportSpanMeasurement.h"
#include "QV+AnalogCore/tests/analysis_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

using qvx::analog::ChannelMeasurement;
using qvx::analog::MeasureSpan;
using qvx::analog::SpanMeasurement;
using qvx::test::TwoFileReport;

constexpr std::uint64_t kSpanFirstFile = 250'011;
constexpr std::uint64_t kSpanSecondFile = 150'005;
constexpr std::uint64_t kSpanCount = kSpanFirstFile + kSpanSecondFile;
constexpr double kSineHz = 9'876.5;  // records are 100 ns apart

// CH1 a sine around an offset, CH2 a slow ramp with a spike, CH3 a square wave, CH4 off.
qvx::test::Samples SignalAt(std::uint64_t p) {
    const double t = static_cast<double>(p) * 100e-9;
    const auto sine =
        static_cast<std::uint16_t>(std::lround(9000 + 5000 * std::sin(2 * std::numbers::pi * kSineHz * t)));
    const auto ramp = static_cast<std::uint16_t>(p == 123'456 ? 16383 : 4000 + (p / 50) % 3000);
    const auto square = static_cast<std::uint16_t>((p / 777) % 2 == 0 ? 3000 : 12000);
    return {sine, ramp, square, static_cast<std::uint16_t>(p % 16384)};
}

qvx::AnalogSettings Settings() {
    qvx::AnalogSettings s;
    s.visualSettings.tracks.resize(4);
    s.visualSettings.tracks[3].enabled = false;
    s.channelVoltages = {0, 3, 5, 2};
    s.visualSettings.tracks[0].probeAttenuationRatio = 0;
    return s;
}

// Every record of positions [from, to), in long double volts.
ChannelMeasurement BruteForce(const qvx::AnalogSettings& settings, int channel, std::uint64_t from,
                              std::uint64_t to) {
    ChannelMeasurement m;
    m.channel = channel;
    m.records = to - from;
    long double sum = 0, sumOfSquares = 0;
    std::int64_t lo = 16383, hi = 0;
    for (std::uint64_t p = from; p < to; ++p) {
        const std::int64_t code = SignalAt(p)[static_cast<std::size_t>(channel)];
        lo = std::min(lo, code);
        hi = std::max(hi, code);
        const long double v = qvx::analog::RawCodeToVolts(settings, channel, static_cast<double>(code));
        sum += v;
        sumOfSquares += v * v;
    }
    m.min = qvx::analog::RawCodeToVolts(settings, channel, static_cast<double>(lo));
    m.max = qvx::analog::RawCodeToVolts(settings, channel, static_cast<double>(hi));
    m.mean = static_cast<double>(sum / m.records);
    m.rms = static_cast<double>(std::sqrt(sumOfSquares / m.records));
    const std::int64_t mid = (lo + hi) / 2;
    std::int64_t firstNs = -1, lastNs = -1;
    for (std::uint64_t p = from + 1; p < to; ++p) {
        const auto c = static_cast<std::size_t>(channel);
        if (SignalAt(p - 1)[c] <= mid && SignalAt(p)[c] > mid) {
            ++m.risingCrossings;
            if (firstNs < 0) firstNs = TwoFileReport::TimeNsAt(p);
            lastNs = TwoFileReport::TimeNsAt(p);
        }
    }
    if (m.risingCrossings >= 2)
        m.frequencyHz =
            static_cast<double>(m.risingCrossings - 1) * 1e9 / static_cast<double>(lastNs - firstNs);
    return m;
}

void ExpectClose(double expected, double actual, const char* what) {
    EXPECT_NEAR(actual, expected, 1e-9 * std::abs(expected)) << what;
}

class SpanMeasurementTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_report = new TwoFileReport("span-measure", kSpanFirstFile, kSpanSecondFile, &SignalAt);
    }
    static void TearDownTestSuite() { delete s_report; }
    static inline TwoFileReport* s_report = nullptr;
};

TEST_F(SpanMeasurementTest, ValuesEqualEveryRecordOfSpansThatSplitBlocksAndFiles) {
    const auto settings = Settings();
    const std::vector<std::pair<std::uint64_t, std::uint64_t>> spans{
        {0, kSpanCount},
        {37, kSpanFirstFile + 1'000},
        {kSpanFirstFile - 70, kSpanFirstFile + 70},
        {123'400, 300'003},
        {1'000, 1'001}};
    for (bool withOverview : {true, false}) {
        for (const auto& [from, to] : spans) {
            SCOPED_TRACE(testing::Message()
                         << "positions " << from << " to " << to << " overview " << withOverview);
            const SpanMeasurement got =
                MeasureSpan(s_report->Reader(), withOverview ? s_report->Overview() : nullptr, settings,
                            TwoFileReport::TimeNsAt(from), TwoFileReport::TimeNsAt(to));
            ASSERT_EQ(got.status, SpanMeasurement::Status::kDone);
            EXPECT_EQ(got.records, to - from);
            ASSERT_EQ(got.channels.size(), 3u) << "CH4 is switched off";
            for (const ChannelMeasurement& m : got.channels) {
                const ChannelMeasurement expected = BruteForce(settings, m.channel, from, to);
                EXPECT_EQ(m.records, expected.records);
                EXPECT_EQ(m.min, expected.min);
                EXPECT_EQ(m.max, expected.max);
                ExpectClose(expected.max - expected.min, m.peakToPeak, "peak-to-peak");
                ExpectClose(expected.mean, m.mean, "mean");
                ExpectClose(expected.rms, m.rms, "rms");
                EXPECT_EQ(m.risingCrossings, expected.risingCrossings) << "CH" << m.channel + 1;
                ASSERT_EQ(m.frequencyHz.has_value(), expected.frequencyHz.has_value());
                if (m.frequencyHz) ExpectClose(*expected.frequencyHz, *m.frequencyHz, "frequency");
            }
        }
    }
}

TEST_F(SpanMeasurementTest, TheSineFrequencyIsFoundAndFewCrossingsGiveNone) {
    const auto settings = Settings();
    const auto whole = MeasureSpan(s_report->Reader(), s_report->Overview(), settings, 0,
                                   TwoFileReport::TimeNsAt(kSpanCount));
    ASSERT_FALSE(whole.channels.empty());
    ASSERT_TRUE(whole.channels[0].frequencyHz);
    EXPECT_NEAR(*whole.channels[0].frequencyHz, kSineHz, kSineHz * 0.001);
    // Less than two periods of the sine: a single rising crossing gives no frequency.
    const auto shortSpan = MeasureSpan(s_report->Reader(), s_report->Overview(), settings, 0, 90'000);
    ASSERT_FALSE(shortSpan.channels.empty());
    EXPECT_EQ(shortSpan.channels[0].risingCrossings, 1u);
    EXPECT_FALSE(shortSpan.channels[0].frequencyHz);
    // A bound between two records takes the later record; an empty span has no channels.
    const auto between = MeasureSpan(s_report->Reader(), s_report->Overview(), settings, 1, 201);
    EXPECT_EQ(between.records, 2u);
    EXPECT_TRUE(MeasureSpan(s_report->Reader(), s_report->Overview(), settings, 1, 99).channels.empty());
}

}  // namespace
