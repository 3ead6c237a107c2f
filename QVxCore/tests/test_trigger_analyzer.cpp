#include "QVxCore/QVxAnalogDisplayTriggerAnalyzer.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "QVxCore/tests/test_dispatch_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

namespace {

using Analyzer = qvx::QVxAnalogDisplayTriggerAnalyzer;

// Source channel 1 (CH2) at the 500 mV range with a x1 probe: 250 mV is raw 12287.
qvx::AnalogSettings MakeSettings(qvx::TriggerSlope slope, int sensitivity = 1, std::int64_t widthNs = 1000,
                                 qvx::WidthComparison comparison = Analyzer::kWithin,
                                 qvx::DisplayTriggerMode mode = Analyzer::kModeRepeat) {
    qvx::AnalogSettings s;
    s.displayTriggerMode = mode;
    s.displayTriggerSourceChannel = 1;
    s.channelVoltages[1] = 2;
    s.visualSettings.tracks[1].probeAttenuationRatio = 0;
    auto& t = s.displayTriggerSettings[1];
    t.voltageLevel = 250;
    t.slope = slope;
    t.sensitivityCount = sensitivity;
    t.edgeWidthTime = widthNs;
    t.widthEdgeComparison = comparison;
    return s;
}

constexpr std::int64_t kL = 12287;
constexpr std::int64_t kStepNs = 100;

// Feeds one source-channel sample per record (other channels hold noise that
// would cross the level), record i at time i * kStepNs; returns the indexes of
// the hits, each accepted as the view model does.
std::vector<std::int64_t> Feed(Analyzer& a, const std::vector<std::int64_t>& values,
                               std::int64_t firstIndex = 0) {
    std::vector<std::int64_t> hits;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::int64_t index = firstIndex + static_cast<std::int64_t>(i);
        const std::uint16_t noise = (index % 2) ? 0 : 16383;
        const std::array<std::uint16_t, 4> rec{noise, static_cast<std::uint16_t>(values[i]), noise, noise};
        if (a.ShouldAnalyze() && a.Analyze(index * kStepNs, rec, index)) {
            a.AcceptHit(index * kStepNs, index);
            hits.push_back(index);
        }
    }
    return hits;
}

TEST(TriggerAnalyzer, RawLevelIsTruncatedTowardZeroAndLogged) {
    qvx::AnalogSettings s = MakeSettings(Analyzer::kHighEdge);
    EXPECT_EQ(Analyzer::MakeRawTriggerLevel(s, 1, 250), 12287);   // 12287.75
    EXPECT_EQ(Analyzer::MakeRawTriggerLevel(s, 1, -250), 4096);   // 4096.25
    EXPECT_EQ(Analyzer::MakeRawTriggerLevel(s, 1, -600), -1637);  // -1637.8: not floored
    s.visualSettings.tracks[1].probeAttenuationRatio = 1;         // x10: 5000 mV full scale
    EXPECT_EQ(Analyzer::MakeRawTriggerLevel(s, 1, 2500), 12287);

    qvx::test::LogCapture log;
    qvx::AnalogDisplayTriggerList list;
    Analyzer a;
    s = MakeSettings(Analyzer::kHighEdge);
    a.Reset(&s, &list);
    EXPECT_EQ(a.GetRawTriggerLevel(), kL);
    EXPECT_TRUE(log.Contains("RawTriggerLevel: 12287"));
}

TEST(TriggerAnalyzer, EdgesNeedACrossingOfTheLevel) {
    qvx::AnalogDisplayTriggerList list;
    Analyzer a;
    auto rising = MakeSettings(Analyzer::kHighEdge);
    a.Reset(&rising, &list);
    EXPECT_EQ(Feed(a, {kL, kL + 1}), (std::vector<std::int64_t>{1}));
    a.Reset(&rising, &list);
    EXPECT_TRUE(Feed(a, {kL + 1, kL + 2}).empty());
    a.Reset(&rising, &list);
    EXPECT_TRUE(Feed(a, {kL + 1}).empty());  // first record: nothing to compare with

    // A downward crossing starts when p >= L >= v, so with a sensitivity of 1 every
    // sample on the level after one at or above it is a falling edge, and so is the
    // first sample below it.
    auto falling = MakeSettings(Analyzer::kLowEdge);
    a.Reset(&falling, &list);
    EXPECT_EQ(Feed(a, {kL + 1, kL, kL - 1, kL - 2}), (std::vector<std::int64_t>{1, 2}));
    a.Reset(&falling, &list);
    EXPECT_EQ(Feed(a, {kL, kL, kL, kL - 1}), (std::vector<std::int64_t>{1, 2, 3}));
    a.Reset(&falling, &list);
    EXPECT_EQ(Feed(a, {kL + 5, kL - 5, kL + 5, kL - 5}), (std::vector<std::int64_t>{1, 3}));
    // A sample on the level never confirms a downward crossing: with a sensitivity of 2
    // the fall that rests on the level is confirmed by the first sample below it.
    auto falling2 = MakeSettings(Analyzer::kLowEdge, 2);
    a.Reset(&falling2, &list);
    EXPECT_EQ(Feed(a, {kL + 1, kL, kL, kL, kL, kL, kL, kL - 1, kL - 1}), (std::vector<std::int64_t>{7}));

    // Rising edges are not falling ones.
    a.Reset(&falling, &list);
    EXPECT_TRUE(Feed(a, {kL - 1, kL, kL + 1}).empty());
}

TEST(TriggerAnalyzer, SamplesAboveFourteenBitsCountAsFullScale) {
    qvx::AnalogSettings s = MakeSettings(Analyzer::kHighEdge);
    s.displayTriggerSettings[1].voltageLevel = 499;  // raw 16367
    qvx::AnalogDisplayTriggerList list;
    Analyzer a;
    a.Reset(&s, &list);
    ASSERT_EQ(a.GetRawTriggerLevel(), 16367);
    EXPECT_EQ(Feed(a, {0, 65535}), (std::vector<std::int64_t>{1}));
    s.displayTriggerSettings[1].voltageLevel = 600;  // beyond full scale: raw 18021
    a.Reset(&s, &list);
    EXPECT_TRUE(Feed(a, {0, 65535, 0, 65535}).empty());
}

TEST(TriggerAnalyzer, SensitivityConfirmsACrossingOverSeveralSamples) {
    qvx::AnalogDisplayTriggerList list;
    Analyzer a;
    auto rising = MakeSettings(Analyzer::kHighEdge, 3);
    a.Reset(&rising, &list);
    // Crossing at record 1, confirmed by the third sample above the level.
    EXPECT_EQ(Feed(a, {kL, kL + 1, kL + 1, kL + 9, kL + 9}), (std::vector<std::int64_t>{3}));

    // One sample at the level interrupts the crossing: dropped, no rising edge.
    a.Reset(&rising, &list);
    EXPECT_TRUE(Feed(a, {kL, kL + 1, kL, kL + 1, kL + 1}).empty());
    EXPECT_EQ(a.GetConfirmCounter(), 2);  // the last rise is still being confirmed

    // That interrupting sample starts the opposite crossing, which then confirms.
    auto falling = MakeSettings(Analyzer::kLowEdge, 3);
    a.Reset(&falling, &list);
    EXPECT_EQ(Feed(a, {kL, kL + 1, kL - 1, kL - 1, kL - 1}), (std::vector<std::int64_t>{4}));
}

TEST(TriggerAnalyzer, HighPulseWidthWithinAndOutsideTheLimit) {
    // Rise at record 1 (100 ns), fall at record 11 (1100 ns): width 1000 ns.
    const std::vector<std::int64_t> pulse{kL,     kL + 1, kL + 1, kL + 1, kL + 1, kL + 1, kL + 1,
                                          kL + 1, kL + 1, kL + 1, kL + 1, kL - 1, kL - 1};
    qvx::AnalogDisplayTriggerList list;
    Analyzer a;

    auto within = MakeSettings(Analyzer::kHighWidth, 1, 1000, Analyzer::kWithin);
    a.Reset(&within, &list);
    EXPECT_EQ(Feed(a, pulse), (std::vector<std::int64_t>{11}));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], (qvx::AnalogDisplayTriggerItem{11, 1000}));
    EXPECT_EQ(a.GetPulseStart(), Analyzer::kNone);  // accepted: pulse closed

    list.clear();
    auto outside = MakeSettings(Analyzer::kHighWidth, 1, 1000, Analyzer::kOutside);
    a.Reset(&outside, &list);
    EXPECT_TRUE(Feed(a, pulse).empty());
    EXPECT_EQ(a.GetPulseStart(), Analyzer::kNone);  // no hit: closed as well

    auto outsideShorter = MakeSettings(Analyzer::kHighWidth, 1, 999, Analyzer::kOutside);
    a.Reset(&outsideShorter, &list);
    EXPECT_EQ(Feed(a, pulse), (std::vector<std::int64_t>{11}));
    EXPECT_EQ(list.back().widthNSec, 1000);
}

TEST(TriggerAnalyzer, LowPulseOpensOnAFallAndClosesOnARise) {
    qvx::AnalogDisplayTriggerList list;
    Analyzer a;
    auto low = MakeSettings(Analyzer::kLowWidth, 1, 300, Analyzer::kWithin);
    a.Reset(&low, &list);
    // Low from record 1 to 4 (300 ns): hit; then a low from 6 to 10 (400 ns): no hit.
    const auto hits = Feed(a, {kL + 1, kL - 1, kL - 1, kL - 1, kL + 1, kL + 1, kL - 1, kL - 1, kL - 1, kL - 1,
                               kL + 1, kL + 1, kL - 1, kL + 1});
    // The third low pulse (12 to 13, 100 ns) is measured from its own start.
    EXPECT_EQ(hits, (std::vector<std::int64_t>{4, 13}));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].widthNSec, 300);
    EXPECT_EQ(list[1].widthNSec, 100);
}

TEST(TriggerAnalyzer, NoCrossingLeavesNoHitAndTheDisplayRunning) {
    qvx::AnalogDisplayTriggerList list;
    Analyzer a;
    auto s = MakeSettings(Analyzer::kHighEdge);
    a.Reset(&s, &list);
    std::vector<std::int64_t> below(1000, kL - 3);
    EXPECT_TRUE(Feed(a, below).empty());
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(a.GetTriggerTime(), Analyzer::kNone);
    EXPECT_EQ(a.UpdateTriggerWindow(1'000'000, 100'000), Analyzer::kNone);
    EXPECT_FALSE(a.IsDisplayHeld());
}

TEST(TriggerAnalyzer, SingleModeStopsAfterTheFirstHitAndRepeatKeepsThePendingTrigger) {
    const std::vector<std::int64_t> twoRises{kL - 1, kL + 1, kL - 1, kL + 1, kL - 1};
    qvx::AnalogDisplayTriggerList list;
    Analyzer a;

    auto single = MakeSettings(Analyzer::kHighEdge, 1, 0, Analyzer::kWithin, Analyzer::kModeSingle);
    a.Reset(&single, &list);
    EXPECT_EQ(Feed(a, twoRises), (std::vector<std::int64_t>{1}));
    EXPECT_FALSE(a.ShouldAnalyze());
    EXPECT_EQ(list.size(), 1u);

    list.clear();
    auto repeat = MakeSettings(Analyzer::kHighEdge, 1, 0, Analyzer::kWithin, Analyzer::kModeRepeat);
    a.Reset(&repeat, &list);
    EXPECT_EQ(Feed(a, twoRises), (std::vector<std::int64_t>{1, 3}));
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(a.GetTriggerTime(), 1 * kStepNs);  // the second hit came while pending
    EXPECT_EQ(a.GetTriggersFound(), 1u);
    EXPECT_TRUE(a.IsTriggerPending());

    // Window 1000 ns, trigger at the middle: offset 100 - 500 = -400; complete once
    // the data runs past lastTime = offset + width.
    EXPECT_EQ(a.UpdateTriggerWindow(1000, 600), -400);
    EXPECT_TRUE(a.IsTriggerPending());
    EXPECT_EQ(a.UpdateTriggerWindow(1000, 601), -400);
    EXPECT_FALSE(a.IsTriggerPending());
    EXPECT_EQ(a.GetTriggerWindowsCompleted(), 1u);
    EXPECT_TRUE(a.IsDisplayHeld());

    // The next hit moves the trigger.
    EXPECT_EQ(Feed(a, {kL - 1, kL + 1}, 10), (std::vector<std::int64_t>{11}));
    EXPECT_EQ(a.GetTriggerTime(), 11 * kStepNs);
    EXPECT_EQ(a.GetTriggersFound(), 2u);
    EXPECT_FALSE(a.IsDisplayHeld());

    auto none = MakeSettings(Analyzer::kHighEdge, 1, 0, Analyzer::kWithin, Analyzer::kModeNone);
    a.Reset(&none, &list);
    EXPECT_FALSE(a.ShouldAnalyze());
}

TEST(TriggerAnalyzer, InvalidSettingsAreLoggedAndFindNothing) {
    qvx::AnalogDisplayTriggerList list;
    Analyzer a;
    const std::vector<std::int64_t> rise{kL - 1, kL + 1, kL - 1, kL + 1};
    {
        qvx::test::LogCapture log;
        auto s = MakeSettings(Analyzer::kHighEdge);
        s.displayTriggerSourceChannel = 4;
        a.Reset(&s, &list);
        EXPECT_EQ(log.ErrorCount(), 1);
        EXPECT_FALSE(a.ShouldAnalyze());
        EXPECT_TRUE(Feed(a, rise).empty());
    }
    {
        qvx::test::LogCapture log;
        auto s = MakeSettings(Analyzer::kHighEdge);
        s.channelVoltages[1] = 9;  // no such range
        a.Reset(&s, &list);
        EXPECT_TRUE(log.Contains("Uneachable code."));
        EXPECT_TRUE(Feed(a, rise).empty());
    }
    a.Reset(nullptr, &list);
    EXPECT_TRUE(Feed(a, rise).empty());
    EXPECT_TRUE(list.empty());
}

}  // namespace

namespace {

TEST(TriggerAnalyzer, HitsBeyondTheStoredLimitAreCountedNotStored) {
    EXPECT_EQ(Analyzer().GetMaxStoredHits(), qvx::kMaxStoredDisplayTriggerHits);
    qvx::AnalogDisplayTriggerList list;
    Analyzer a;
    a.SetMaxStoredHits(3);
    auto rising = MakeSettings(Analyzer::kHighEdge);
    a.Reset(&rising, &list);
    std::vector<std::int64_t> wave;
    for (int i = 0; i < 5; ++i) wave.insert(wave.end(), {kL, kL + 1});
    EXPECT_EQ(Feed(a, wave).size(), 5u);  // the trace goes on finding them
    EXPECT_EQ(list.size(), 3u);
    EXPECT_EQ(list.back().dataIndex, 5);
    EXPECT_EQ(a.GetHitCount(), 5u);
    EXPECT_TRUE(a.IsHitListFull());

    // A new trace counts afresh and keeps the limit.
    qvx::AnalogDisplayTriggerList next;
    a.Reset(&rising, &next);
    EXPECT_EQ(a.GetHitCount(), 0u);
    EXPECT_FALSE(a.IsHitListFull());
    EXPECT_EQ(Feed(a, {kL, kL + 1}).size(), 1u);
    EXPECT_EQ(a.GetMaxStoredHits(), 3u);
}

}  // namespace

namespace {

// The analysis as its rules state it, one record at a time: step 1 (the first record makes no
// edge), step 2 (a crossing being confirmed stays beyond the level: v > L upwards, v < L
// downwards, or is dropped), step 3 (a new crossing when none is being confirmed: upwards when
// p <= L < v, downwards when p >= L >= v), step 4 (confirmed at the sensitivity), step 5 (the
// slope), and the view model's handling of a hit (listed with its width, edge state reset).
class RuleByRule {
public:
    RuleByRule(qvx::TriggerSlope slope, std::int64_t sensitivity, std::int64_t widthLimitNs,
               qvx::WidthComparison comparison)
        : m_slope(slope), m_sensitivity(sensitivity), m_limit(widthLimitNs), m_comparison(comparison) {}

    // The width of a hit (0 for edges), or none.
    std::optional<std::int64_t> Record(std::int64_t a, std::int64_t v) {
        bool upEdge = false, downEdge = false;
        if (m_p != -1) {
            if (m_counter >= 0) m_counter = (m_up ? v > kL : v < kL) ? m_counter + 1 : -1;
            if (m_counter == -1 && m_p <= kL && kL < v) {
                m_counter = 1;
                m_up = true;
            } else if (m_counter == -1 && m_p >= kL && kL >= v) {
                m_counter = 1;
                m_up = false;
            }
            if (m_counter >= m_sensitivity) {
                (m_up ? upEdge : downEdge) = true;
                m_counter = -1;
            }
        }
        m_p = v;
        std::optional<std::int64_t> hit;
        if (m_slope == Analyzer::kHighEdge && upEdge) hit = 0;
        if (m_slope == Analyzer::kLowEdge && downEdge) hit = 0;
        if (m_slope >= Analyzer::kHighWidth) {
            const bool opens = m_slope == Analyzer::kHighWidth ? upEdge : downEdge;
            const bool closes = m_slope == Analyzer::kHighWidth ? downEdge : upEdge;
            if (m_pulseStart == -1 && opens) {
                m_pulseStart = a;
            } else if (m_pulseStart != -1 && closes) {
                const std::int64_t width = a - m_pulseStart;
                if (m_comparison == Analyzer::kWithin ? width <= m_limit : width > m_limit) hit = width;
                m_pulseStart = -1;
            }
        }
        if (hit) m_counter = m_pulseStart = -1;
        return hit;
    }

private:
    qvx::TriggerSlope m_slope;
    std::int64_t m_sensitivity, m_limit;
    qvx::WidthComparison m_comparison;
    std::int64_t m_p = -1, m_counter = -1, m_pulseStart = -1;
    bool m_up = false;
};

}  // namespace

// Every sequence of nine samples below, on and above the level (only the side matters), for
// every slope, sensitivities 1 to 3 and both width comparisons: the analyzer lists exactly the
// hits of the rules applied record by record, with their widths.
TEST(TriggerAnalyzer, EveryShortSequenceAroundTheLevelGivesTheHitsOfTheRules) {
    constexpr int kLength = 9;
    constexpr std::int64_t kLimitNs = 3 * kStepNs;
    const std::int64_t sides[3] = {kL - 1, kL, kL + 1};
    int sequences = 1;
    for (int i = 0; i < kLength; ++i) sequences *= 3;
    std::uint64_t hitsSeen = 0;
    for (const qvx::TriggerSlope slope :
         {Analyzer::kHighEdge, Analyzer::kLowEdge, Analyzer::kHighWidth, Analyzer::kLowWidth}) {
        for (std::int64_t sensitivity = 1; sensitivity <= 3; ++sensitivity) {
            for (const qvx::WidthComparison comparison : {Analyzer::kWithin, Analyzer::kOutside}) {
                if (slope < Analyzer::kHighWidth && comparison == Analyzer::kOutside) continue;
                auto settings = MakeSettings(slope, static_cast<int>(sensitivity), kLimitNs, comparison);
                qvx::AnalogDisplayTriggerList list;
                Analyzer a;
                for (int code = 0; code < sequences; ++code) {
                    a.Reset(&settings, &list);
                    list.clear();
                    RuleByRule rules(slope, sensitivity, kLimitNs, comparison);
                    std::vector<std::int64_t> values;
                    qvx::AnalogDisplayTriggerList expected;
                    for (int i = 0, rest = code; i < kLength; ++i, rest /= 3) {
                        values.push_back(sides[rest % 3]);
                        if (const auto width = rules.Record(i * kStepNs, values.back()))
                            expected.push_back({std::int64_t{i}, *width});
                    }
                    Feed(a, values);
                    hitsSeen += expected.size();
                    ASSERT_EQ(list, expected)
                        << "slope " << static_cast<int>(slope) << " sensitivity " << sensitivity
                        << " comparison " << static_cast<int>(comparison) << " sequence " << code;
                }
            }
        }
    }
    EXPECT_GT(hitsSeen, 100'000u);  // the sequences exercise the rules, not only their absence
}

// The scan over whole blocks (AnalyzeUntilHit) against Analyze record by record, as the
// live intake uses them: long runs on either side of the level, samples on the level and
// one step beside it, values above 14 bits, crossings and confirmations that straddle the
// blocks' edges. After every block the whole edge state is the same, and so are the hits.
TEST(TriggerAnalyzer, TheBlockScanLeavesTheSameStateAndHitsAsRecordByRecord) {
    std::mt19937 random(5);
    // Runs of random length at one of these values around kL = 12287.
    const std::uint16_t values[] = {0, 12000, 12286, 12287, 12288, 12600, 16383, 16384, 0xFFFF};
    std::vector<std::uint16_t> source;
    std::uniform_int_distribution<std::size_t> which(0, std::size(values) - 1), runLength(1, 40),
        longRun(1, 3000);
    while (source.size() < 60'000) {
        const std::uint16_t v = values[which(random)];
        const std::size_t n = (random() % 8 == 0) ? longRun(random) : runLength(random);
        source.insert(source.end(), n, v);
    }
    std::vector<std::uint8_t> records;
    for (std::size_t i = 0; i < source.size(); ++i) {
        const auto noise = static_cast<std::uint16_t>(i % 2 ? 0 : 16383);
        const auto r = qvx::test::MakeRecord(i * 10, {noise, source[i], noise, noise});
        records.insert(records.end(), r.begin(), r.end());
    }
    const auto state = [](const Analyzer& a) {
        return std::array<std::int64_t, 8>{a.GetPreviousSample(),
                                           a.GetConfirmCounter(),
                                           a.GetCrossingTime(),
                                           a.GetCrossingDataIndex(),
                                           a.GetPulseStart(),
                                           a.GetTriggerTime(),
                                           static_cast<std::int64_t>(a.GetHitCount()),
                                           static_cast<std::int64_t>(a.GetTriggersFound())};
    };
    std::uniform_int_distribution<std::size_t> blockSize(1, 700);
    for (const qvx::TriggerSlope slope :
         {Analyzer::kHighEdge, Analyzer::kLowEdge, Analyzer::kHighWidth, Analyzer::kLowWidth}) {
        for (const int sensitivity : {1, 2, 5, 200}) {
            for (const qvx::DisplayTriggerMode mode : {Analyzer::kModeSingle, Analyzer::kModeRepeat}) {
                SCOPED_TRACE(testing::Message() << "slope " << static_cast<int>(slope) << " sensitivity "
                                                << sensitivity << " mode " << static_cast<int>(mode));
                auto settings = MakeSettings(slope, sensitivity, 1'000'000, Analyzer::kWithin, mode);
                qvx::AnalogDisplayTriggerList oneByOne, blocks;
                Analyzer a, b;
                a.Reset(&settings, &oneByOne);
                b.Reset(&settings, &blocks);
                std::size_t done = 0;
                while (done < source.size()) {
                    const std::size_t n = std::min(blockSize(random), source.size() - done);
                    for (std::size_t i = done; i < done + n; ++i) {
                        const std::array<std::uint16_t, 4> rec{0, source[i], 0, 0};
                        const auto index = static_cast<std::int64_t>(i);
                        if (a.ShouldAnalyze() && a.Analyze(index * 100, rec, index))
                            a.AcceptHit(index * 100, index);
                    }
                    for (std::size_t i = done; i < done + n && b.ShouldAnalyze();) {
                        const std::size_t hit = i + b.AnalyzeUntilHit(records.data() + i * 16, done + n - i,
                                                                      static_cast<std::int64_t>(i));
                        if (hit == done + n) break;
                        b.AcceptHit(static_cast<std::int64_t>(hit) * 100, static_cast<std::int64_t>(hit));
                        i = hit + 1;
                    }
                    done += n;
                    ASSERT_EQ(state(a), state(b)) << "after record " << done;
                }
                EXPECT_EQ(oneByOne, blocks);
                EXPECT_GT(oneByOne.size(), 0u);
            }
        }
    }
}
