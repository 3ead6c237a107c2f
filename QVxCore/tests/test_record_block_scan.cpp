// The passes over runs of records against the plain per-record loops, on the lengths
// where the SSE2 loops switch to their tails (0 to 70 records, at every offset of a
// buffer) and on the values where limiting and unsigned order matter (0, 8192, 16382 to
// 16384, 0x7FFF, 0x8000, 0xFFFF).

#include "QVxCore/ReportData/RecordBlockScan.h"
#include "QVxCore/ReportData/ReportOverviewFormat.h"
#include "QVxCore/tests/support/ReportBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

namespace scan = qvx::recordscan;

constexpr std::uint16_t kEdgeValues[] = {0, 1, 8192, 16382, 16383, 16384, 0x7FFF, 0x8000, 0xFFFE, 0xFFFF};

// `count` records, time i x 10 ticks; samples mostly from the edge values, some random.
std::vector<std::uint8_t> MakeRecords(std::size_t count, std::mt19937& random) {
    std::vector<std::uint8_t> out;
    std::uniform_int_distribution<int> pick(0, 13);
    std::uniform_int_distribution<int> any(0, 0xFFFF);
    for (std::size_t i = 0; i < count; ++i) {
        qvx::test::Samples s{};
        for (auto& v : s) {
            const int k = pick(random);
            v = k < 10 ? kEdgeValues[k] : static_cast<std::uint16_t>(any(random));
        }
        const auto r = qvx::test::MakeRecord(i * 10, s);
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

TEST(RecordBlockScan, MinimaMaximaAndStatisticsEqualThePerRecordLoopsAtEveryLengthAndOffset) {
    std::mt19937 random(7);
    const auto all = MakeRecords(200, random);
    for (std::size_t offset = 0; offset < 8; ++offset) {
        for (std::size_t count = 0; count <= 70; ++count) {
            SCOPED_TRACE(testing::Message() << "offset " << offset << " count " << count);
            const std::uint8_t* p = all.data() + offset * 16;
            if (count > 0) {
                const auto fast = scan::RawSampleRange(p, count),
                           slow = scan::scalar::RawSampleRange(p, count);
                EXPECT_EQ(fast.min, slow.min);
                EXPECT_EQ(fast.max, slow.max);
            }
            // Folded onto earlier values, as the overview continues a block.
            scan::LimitedStats fast, slow;
            fast.min = slow.min = {9000, 16383, 5, 16383};
            fast.max = slow.max = {9000, 0, 5, 16000};
            fast.sum = slow.sum = {1, 2, 3, 4};
            scan::FoldLimitedSamples(p, count, fast);
            scan::scalar::FoldLimitedSamples(p, count, slow);
            EXPECT_EQ(fast.min, slow.min);
            EXPECT_EQ(fast.max, slow.max);
            EXPECT_EQ(fast.sum, slow.sum);
            EXPECT_EQ(fast.sumOfSquares, slow.sumOfSquares);
        }
    }
}

TEST(RecordBlockScan, SumsOfSquaresDoNotOverflowOnAFullScaleOverviewBlock) {
    // 64 records at full scale, the largest a level-0 entry sums: 64 x 16383^2 > 2^32.
    std::vector<std::uint8_t> records;
    for (std::uint64_t i = 0; i < 8192; ++i) {
        const auto r = qvx::test::MakeRecord(i, {0xFFFF, 16383, 0, 16384});
        records.insert(records.end(), r.begin(), r.end());
    }
    qvx::overview::BlockStats s;
    qvx::overview::FoldRecordSamples(records.data(), 8192, s);
    EXPECT_EQ(s.sumOfSquares[0], 8192ull * 16383 * 16383);
    EXPECT_EQ(s.sum[1], 8192ull * 16383);
    EXPECT_EQ(s.min[2], 0);
    EXPECT_EQ(s.max[3], 16383);
}

TEST(RecordBlockScan, TheFirstSampleAtOrBeyondALevelIsFoundOnEveryChannelAndLevel) {
    std::mt19937 random(11);
    const auto all = MakeRecords(300, random);
    const std::int64_t levels[] = {-100000, -1, 0, 1, 8191, 8192, 16382, 16383, 16384, 70000};
    for (std::size_t channel = 0; channel < 4; ++channel) {
        for (const std::int64_t level : levels) {
            for (std::size_t offset = 0; offset < 5; ++offset) {
                for (std::size_t count = 0; count <= 40; ++count) {
                    SCOPED_TRACE(testing::Message() << "channel " << channel << " level " << level
                                                    << " offset " << offset << " count " << count);
                    const std::uint8_t* p = all.data() + offset * 16;
                    EXPECT_EQ(scan::FindAtOrBelow(p, count, channel, level),
                              scan::scalar::FindAtOrBelow(p, count, channel, level));
                    EXPECT_EQ(scan::FindAtOrAbove(p, count, channel, level),
                              scan::scalar::FindAtOrAbove(p, count, channel, level));
                }
            }
        }
    }
    // A long run on one side: found far in, past many whole groups of four.
    std::vector<std::uint8_t> run;
    for (std::uint64_t i = 0; i < 1000; ++i) {
        const auto r =
            qvx::test::MakeRecord(i, {static_cast<std::uint16_t>(i == 997 ? 100 : 0xFFFF), 0, 0, 0});
        run.insert(run.end(), r.begin(), r.end());
    }
    EXPECT_EQ(scan::FindAtOrBelow(run.data(), 1000, 0, 16382), 997u);
    EXPECT_EQ(scan::FindAtOrBelow(run.data(), 997, 0, 16382), 997u);
    EXPECT_EQ(scan::FindAtOrAbove(run.data(), 1000, 1, 1), 1000u);
}

TEST(RecordBlockScan, TimesAreSearchedAndCheckedInNanoseconds) {
    // Ticks 0, 0, 5, 5, 5, 9, 20, 20, ... (ns x 10); upper time bits are not time.
    const std::uint64_t ticks[] = {0, 0, 5, 5, 5, 9, 20, 20, 21, 40, 41, 100};
    std::vector<std::uint8_t> records;
    for (const std::uint64_t t : ticks) {
        const auto r = qvx::test::MakeRecord(t, {0, 0, 0, 0}, 0xABCD);
        records.insert(records.end(), r.begin(), r.end());
    }
    const std::size_t n = std::size(ticks);
    EXPECT_TRUE(scan::TimesNonDecreasing(records.data(), n, 0));
    EXPECT_FALSE(scan::TimesNonDecreasing(records.data(), n, 10));  // after a record at 10 ns
    EXPECT_TRUE(scan::TimesNonDecreasing(records.data() + 16, n - 1, 0));
    for (std::int64_t ns = -20; ns <= 1010; ns += 3) {
        for (std::size_t from = 0; from <= n; ++from) {
            const auto expected = static_cast<std::size_t>(
                std::find_if(ticks + from, ticks + n,
                             [&](std::uint64_t t) { return std::int64_t(t) * 10 >= ns; }) -
                ticks);
            EXPECT_EQ(scan::FindTimeAtOrAfter(records.data(), from, n, ns), expected)
                << ns << " from " << from;
        }
    }
    std::vector<std::uint8_t> swapped(records);
    std::swap_ranges(swapped.begin() + 16 * 6, swapped.begin() + 16 * 7, swapped.begin() + 16 * 9);
    EXPECT_FALSE(scan::TimesNonDecreasing(swapped.data(), n, 0));
}

// The step check four records a turn equals the per-record loop on every length from 0 to
// 70 at every start: steps up to and just above the threshold, steps back, stamps wrapping
// through 2^48, upper time bits that are not time, and either word holding the stamp.
TEST(RecordBlockScan, TimeStepsAboveAThresholdAreFoundWhereverTheyLie) {
    std::mt19937_64 random(11);
    constexpr std::size_t kCount = 70;
    constexpr std::uint64_t kThreshold = 21;
    for (int trial = 0; trial < 24; ++trial) {
        for (const std::size_t timeWord : {std::size_t{0}, std::size_t{1}}) {
            std::vector<std::uint8_t> records(kCount * qvx::kReportRecordSize);
            std::uint64_t stamp = trial % 3 == 0 ? qvx::kRecordTimeMask - 200 : random() >> 20;
            for (std::size_t i = 0; i < kCount; ++i) {
                const std::uint64_t kind = random() % 40;
                stamp += kind == 0   ? kThreshold + 1
                         : kind == 1 ? ~std::uint64_t{0}
                                     : random() % (kThreshold + 1);
                const std::uint64_t word = (stamp & qvx::kRecordTimeMask) | (random() << 48);
                std::uint8_t* r = records.data() + i * qvx::kReportRecordSize;
                for (std::size_t b = 0; b < 8; ++b) {
                    r[8 * timeWord + b] = static_cast<std::uint8_t>(word >> (8 * b));
                    r[8 * (1 - timeWord) + b] = static_cast<std::uint8_t>(random());
                }
            }
            for (std::size_t from = 0; from <= kCount; ++from) {
                const std::uint64_t previous =
                    from > 0 ? qvx::RecordTimeStamp(records.data() + (from - 1) * 16, timeWord)
                             : random() >> 16;
                for (std::size_t count = 0; from + count <= kCount; ++count) {
                    const std::uint8_t* p = records.data() + from * qvx::kReportRecordSize;
                    for (const std::uint64_t threshold : {kThreshold, std::uint64_t{INT64_MAX}}) {
                        const bool expected =
                            scan::scalar::AnyTimeStepAbove(p, timeWord, previous, count, threshold);
                        ASSERT_EQ(scan::AnyTimeStepAbove(p, timeWord, previous, count, threshold), expected)
                            << "trial " << trial << " word " << timeWord << " from " << from << " count "
                            << count;
#if defined(QVX_RECORDSCAN_AVX2)
                        if (__builtin_cpu_supports("avx2")) {
                            ASSERT_EQ(scan::avx2::AnyTimeStepAbove(p, timeWord, previous, count, threshold),
                                      expected)
                                << "trial " << trial << " word " << timeWord << " from " << from << " count "
                                << count;
                        }
#endif
                    }
                }
            }
        }
    }
}

}  // namespace
