// Display-trigger events searched in stored reports equal a full pass of the analyzer
// over the same records, hit for hit, with and without the overview's skipping.

#include "QV+AnalogCore/Analysis/ReportEventSearch.h"
#include "QV+AnalogCore/tests/analysis_test_support.h"
#include "QVxCore/QVxAnalogDisplayTriggerAnalyzer.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using qvx::QVxAnalogDisplayTriggerAnalyzer;
using qvx::analog::ReportEventSearch;
using Hit = ReportEventSearch::Hit;

constexpr std::uint16_t kLevel = 8192;  // 0 mV on any range
constexpr std::uint64_t kFirstFile = 300'007;
constexpr std::uint64_t kSecondFile = 200'003;
constexpr std::uint64_t kCount = kFirstFile + kSecondFile;
// A pulse 37 records wide (3,700 ns) begins on an 8,192-record block boundary.
constexpr std::uint64_t kMeasuredPulse = 65'536;
constexpr std::int64_t kMeasuredWidthNs = 3'700;

// CH1: low with small noise, pulses of random widths with bouncing edges, a long quiet
// stretch, a long pulse that falls on a 262,144-record block boundary, a pulse across
// the file boundary, a high first record and a rising last record.
std::vector<std::uint16_t> MakeSignal() {
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> noise(-50, 50);
    std::vector<std::uint16_t> v(kCount);
    for (auto& s : v) s = static_cast<std::uint16_t>(kLevel - 1500 + noise(rng));
    const auto high = [&](std::uint64_t from, std::uint64_t to) {
        for (std::uint64_t p = from; p < to && p < kCount; ++p)
            v[p] = static_cast<std::uint16_t>(kLevel + 1500 + noise(rng));
    };
    const auto bounce = [&](std::uint64_t at, int records) {
        std::uniform_int_distribution<int> side(-2, 2);
        for (int k = 0; k < records && at + k < kCount; ++k)
            v[at + k] = static_cast<std::uint16_t>(kLevel + side(rng));
    };
    std::uniform_int_distribution<std::uint64_t> gap(200, 20'000), width(1, 4'000);
    std::bernoulli_distribution bouncy(0.4);
    for (std::uint64_t p = 60'000; p < kCount - 5'000;) {
        const std::uint64_t w = width(rng);
        if (p < 130'000 || p > 262'200) {
            high(p, p + w);
            if (bouncy(rng)) bounce(p, 6);
            if (bouncy(rng)) bounce(p + w, 6);
        }
        p += w + gap(rng);
    }
    const auto quiet = [&](std::uint64_t from, std::uint64_t to) {
        for (std::uint64_t p = from; p < to; ++p) v[p] = kLevel - 1500;
    };
    quiet(20'000, 60'000);
    quiet(kMeasuredPulse - 200, kMeasuredPulse + 300);
    quiet(125'000, 130'000);
    quiet(262'144, 262'400);
    quiet(kFirstFile - 300, kFirstFile + 300);
    high(0, 10);
    high(kMeasuredPulse, kMeasuredPulse + 37);
    high(130'000, 262'144);
    high(kFirstFile - 20, kFirstFile + 25);
    for (std::uint64_t p = kCount - 100; p < kCount - 1; ++p) v[p] = kLevel - 1500;
    v[kCount - 1] = kLevel + 1;
    return v;
}

class EventSearch : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_signal = new std::vector<std::uint16_t>(MakeSignal());
        s_report = new qvx::test::TwoFileReport("event-search", kFirstFile, kSecondFile, [](std::uint64_t p) {
            const auto ch1 = (*s_signal)[p];
            return qvx::test::Samples{ch1, static_cast<std::uint16_t>(p % 16384), 8192, 20000};
        });
    }
    static void TearDownTestSuite() {
        delete s_report;
        delete s_signal;
    }

    static qvx::AnalogSettings Settings(int slope, std::int64_t sensitivity = 1, int comparison = 0,
                                        std::int64_t widthNs = kMeasuredWidthNs) {
        qvx::AnalogSettings s;
        s.displayTriggerSourceChannel = 0;
        auto& t = s.displayTriggerSettings[0];
        t.voltageLevel = 0;
        t.slope = static_cast<qvx::TriggerSlope>(slope);
        t.sensitivityCount = sensitivity;
        t.widthEdgeComparison = static_cast<qvx::WidthComparison>(comparison);
        t.edgeWidthTime = widthNs;
        return s;
    }

    // What a trace in repeat mode lists for the records at positions [from, to).
    static std::vector<Hit> FullPass(qvx::AnalogSettings settings, std::uint64_t from = 0,
                                     std::uint64_t to = kCount) {
        settings.displayTriggerMode = QVxAnalogDisplayTriggerAnalyzer::kModeRepeat;
        qvx::AnalogDisplayTriggerList list;
        QVxAnalogDisplayTriggerAnalyzer analyzer;
        analyzer.Reset(&settings, &list);
        std::vector<Hit> hits;
        for (std::uint64_t p = from; p < to; ++p) {
            const auto samples = s_report->SamplesAt(p);
            const auto index = static_cast<std::int64_t>(s_report->IndexAt(p));
            const std::int64_t t = qvx::test::TwoFileReport::TimeNsAt(p);
            if (!analyzer.Analyze(t, samples, index)) continue;
            analyzer.AcceptHit(t, index);
            hits.push_back({static_cast<std::uint64_t>(index), t, list.back().widthNSec});
        }
        return hits;
    }

    static ReportEventSearch Search(const qvx::AnalogSettings& settings, bool withOverview = true) {
        return ReportEventSearch(s_report->Reader(), withOverview ? s_report->Overview() : nullptr, settings);
    }

    static inline std::vector<std::uint16_t>* s_signal = nullptr;
    static inline qvx::test::TwoFileReport* s_report = nullptr;
};

TEST_F(EventSearch, FindAllEqualsAFullPassForEverySlopeSensitivityAndComparison) {
    for (int slope = 0; slope <= 3; ++slope) {
        for (std::int64_t sensitivity : {1, 3}) {
            for (int comparison : {0, 1}) {
                if (slope < 2 && comparison == 1) continue;
                SCOPED_TRACE(testing::Message() << "slope " << slope << " sensitivity " << sensitivity
                                                << " comparison " << comparison);
                const auto settings = Settings(slope, sensitivity, comparison, 300'000);
                const auto expected = FullPass(settings);
                ASSERT_FALSE(expected.empty());
                const auto fast = Search(settings).FindAll({}, 1'000'000);
                EXPECT_EQ(fast.status, ReportEventSearch::Status::kDone);
                EXPECT_EQ(fast.hits, expected);
                EXPECT_GT(fast.recordsSkipped, kCount / 2) << "the overview should spare most records";
                EXPECT_EQ(fast.recordsRead + fast.recordsSkipped, kCount);
                EXPECT_EQ(Search(settings, false).FindAll({}, 1'000'000).hits, expected);
            }
        }
    }
}

TEST_F(EventSearch, FirstAndLastRecordsAndTheFileBoundary) {
    const auto rising = Search(Settings(0)).FindAll({}, 1'000'000).hits;
    ASSERT_FALSE(rising.empty());
    // The high first record makes no edge; the last record's rise is a hit.
    EXPECT_GT(rising.front().index, 10u);
    EXPECT_EQ(rising.back().index, s_report->IndexAt(kCount - 1));
    // The high pulse across the file boundary opens in file 0 and closes in file 1.
    const auto pulses = Search(Settings(2, 1, 1, 0)).FindAll({}, 1'000'000).hits;
    const Hit across{s_report->IndexAt(kFirstFile + 25), qvx::test::TwoFileReport::TimeNsAt(kFirstFile + 25),
                     45 * 100};
    EXPECT_NE(std::find(pulses.begin(), pulses.end(), across), pulses.end());
    // The long pulse closes on a 262,144-record boundary, after skipped blocks.
    const Hit longPulse{262'144, qvx::test::TwoFileReport::TimeNsAt(262'144), (262'144 - 130'000) * 100};
    EXPECT_NE(std::find(pulses.begin(), pulses.end(), longPulse), pulses.end());
}

TEST_F(EventSearch, PulseWidthsAtTheLimitAreWithinAndNotOutside) {
    const Hit measured{kMeasuredPulse + 37, qvx::test::TwoFileReport::TimeNsAt(kMeasuredPulse + 37),
                       kMeasuredWidthNs};
    const auto contains = [&](const qvx::AnalogSettings& s) {
        const auto hits = Search(s).FindAll({}, 1'000'000).hits;
        EXPECT_EQ(hits, FullPass(s));
        return std::find(hits.begin(), hits.end(), measured) != hits.end();
    };
    EXPECT_TRUE(contains(Settings(2, 1, 0, kMeasuredWidthNs)));
    EXPECT_FALSE(contains(Settings(2, 1, 0, kMeasuredWidthNs - 1)));
    EXPECT_FALSE(contains(Settings(2, 1, 1, kMeasuredWidthNs)));
    EXPECT_TRUE(contains(Settings(2, 1, 1, kMeasuredWidthNs - 1)));
}

TEST_F(EventSearch, RangesTakeTheRecordsFromFromUpToToAndStartAfresh) {
    const auto settings = Settings(3, 3, 1, 50'000);
    const std::vector<std::pair<std::uint64_t, std::uint64_t>> spans{{0, kCount},
                                                                     {1, kCount - 1},
                                                                     {kMeasuredPulse + 10, kFirstFile + 5},
                                                                     {kFirstFile - 3, kFirstFile + 200},
                                                                     {200'000, 262'145},
                                                                     {kFirstFile, kCount}};
    for (const auto& [from, to] : spans) {
        SCOPED_TRACE(testing::Message() << "positions " << from << " to " << to);
        ReportEventSearch::Range range{qvx::test::TwoFileReport::TimeNsAt(from),
                                       qvx::test::TwoFileReport::TimeNsAt(to)};
        EXPECT_EQ(Search(settings).FindAll(range, 1'000'000).hits, FullPass(settings, from, to));
        // A bound between two records takes the later one.
        range.fromNs -= 99;
        range.toNs -= 99;
        EXPECT_EQ(Search(settings).FindAll(range, 1'000'000).hits, FullPass(settings, from, to));
    }
}

TEST_F(EventSearch, NextAndPreviousFromACursorOnAnEvent) {
    const auto settings = Settings(1, 3);
    const auto all = FullPass(settings);
    ASSERT_GT(all.size(), 10u);
    auto search = Search(settings);
    for (std::size_t k : {std::size_t{0}, std::size_t{1}, all.size() / 2, all.size() - 2, all.size() - 1}) {
        const std::int64_t t = all[k].timeNs;
        const auto next = search.FindNext({}, t).hits;
        const auto previous = search.FindPrevious({}, t).hits;
        if (k + 1 < all.size()) {
            ASSERT_EQ(next.size(), 1u);
            EXPECT_EQ(next.front(), all[k + 1]);
        } else {
            EXPECT_TRUE(next.empty());
        }
        if (k > 0) {
            ASSERT_EQ(previous.size(), 1u);
            EXPECT_EQ(previous.front(), all[k - 1]);
        } else {
            EXPECT_TRUE(previous.empty());
        }
        EXPECT_EQ(search.FindNext({}, t - 1).hits, std::vector<Hit>{all[k]});
        EXPECT_EQ(search.FindPrevious({}, t + 1).hits, std::vector<Hit>{all[k]});
    }
}

TEST_F(EventSearch, TheHitLimitAndCancellationStopTheSearch) {
    const auto settings = Settings(0);
    const auto all = FullPass(settings);
    const auto limited = Search(settings).FindAll({}, 5);
    EXPECT_TRUE(limited.limitReached);
    EXPECT_EQ(limited.hits, std::vector<Hit>(all.begin(), all.begin() + 5));
    EXPECT_FALSE(Search(settings).FindAll({}, all.size()).limitReached);
    // Counting on past the limit: the same five listed, every hit counted.
    const auto counted = Search(settings).FindAll({}, 5, {}, true);
    EXPECT_TRUE(counted.limitReached);
    EXPECT_EQ(counted.hits, limited.hits);
    EXPECT_EQ(counted.hitCount, all.size());
    EXPECT_EQ(Search(settings).FindAll({}, all.size()).hitCount, all.size());

    std::uint64_t lastDone = 0;
    const auto cancelled =
        Search(settings, false).FindAll({}, 1'000'000, [&](std::uint64_t done, std::uint64_t total) {
            EXPECT_EQ(total, kCount);
            lastDone = done;
            return done < kCount / 3;
        });
    EXPECT_EQ(cancelled.status, ReportEventSearch::Status::kCancelled);
    EXPECT_LT(lastDone, kCount);
}

// A signal that rests on the level for whole overview blocks, after samples above, below and
// on it: a sample on the level starts a downward crossing, so such blocks are read, never
// skipped, and the search lists what a trace would.
TEST(EventSearchOnTheLevel, BlocksRestingOnTheLevelAreReadAndGiveTheTraceHits) {
    const auto signal = [](std::uint64_t p) -> std::uint16_t {
        static constexpr std::uint64_t kStretch = 20'000;  // several 8,192-record blocks
        switch (p / kStretch % 6) {
            case 0:
                return kLevel + 1500;
            case 1:
            case 3:
            case 5:
                return p % kStretch < 3 ? kLevel + 1 : kLevel;  // entered from just above
            case 2:
                return kLevel - 1500;
            default:
                return p % 97 == 0 ? kLevel - 1 : kLevel + 1500;
        }
    };
    qvx::test::TwoFileReport report("event-search-level", 150'001, 90'001, [&](std::uint64_t p) {
        return qvx::test::Samples{signal(p), 0, 0, 0};
    });
    for (int slope = 0; slope <= 3; ++slope) {
        for (std::int64_t sensitivity : {1, 2}) {
            SCOPED_TRACE(testing::Message() << "slope " << slope << " sensitivity " << sensitivity);
            qvx::AnalogSettings settings;
            settings.displayTriggerMode = QVxAnalogDisplayTriggerAnalyzer::kModeRepeat;
            auto& t = settings.displayTriggerSettings[0];
            t.voltageLevel = 0;
            t.slope = static_cast<qvx::TriggerSlope>(slope);
            t.sensitivityCount = sensitivity;
            t.edgeWidthTime = 1'000'000;
            qvx::AnalogDisplayTriggerList list;
            QVxAnalogDisplayTriggerAnalyzer analyzer;
            analyzer.Reset(&settings, &list);
            std::vector<Hit> expected;
            for (std::uint64_t p = 0; p < report.Count(); ++p) {
                const auto index = static_cast<std::int64_t>(report.IndexAt(p));
                const std::int64_t time = qvx::test::TwoFileReport::TimeNsAt(p);
                if (!analyzer.Analyze(time, report.SamplesAt(p), index)) continue;
                analyzer.AcceptHit(time, index);
                expected.push_back({static_cast<std::uint64_t>(index), time, list.back().widthNSec});
            }
            if (static_cast<qvx::TriggerSlope>(slope) == QVxAnalogDisplayTriggerAnalyzer::kLowEdge &&
                sensitivity == 1) {
                EXPECT_GT(expected.size(), 50'000u);  // each record resting on the level
            }
            const auto found =
                ReportEventSearch(report.Reader(), report.Overview(), settings).FindAll({}, 1'000'000);
            EXPECT_EQ(found.status, ReportEventSearch::Status::kDone);
            EXPECT_EQ(found.hits, expected);
            EXPECT_GT(found.recordsSkipped, 0u);  // the stretches above and below are skipped
        }
    }
}

TEST_F(EventSearch, SettingsTheAnalyzerWouldRefuseAreNamed) {
    auto s = Settings(0);
    EXPECT_FALSE(ReportEventSearch::CheckSettings(s));
    s.displayTriggerSettings[0].sensitivityCount = 0;
    EXPECT_TRUE(ReportEventSearch::CheckSettings(s));
    s = Settings(4);
    EXPECT_TRUE(ReportEventSearch::CheckSettings(s));
    s = Settings(0);
    s.channelVoltages[0] = 99;
    EXPECT_TRUE(ReportEventSearch::CheckSettings(s));
}

}  // namespace
