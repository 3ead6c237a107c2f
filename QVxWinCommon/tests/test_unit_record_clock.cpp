// The newest record time a recording unit holds, estimated from what the host sees, against a
// model of the unit: it never passes the unit's real newest record (a stop asked on it never
// ends a recording short), and it follows the unit closely also while the host lags behind.

#include "QVxWinCommon/DataClasses/QVxUnitRecordClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::int64_t kRate = 10'485'760;  // records/s
constexpr std::uint64_t kMemoryBytes = 0x10000000;
constexpr std::int64_t kMs = 1'000'000;  // ns
constexpr std::int64_t kHostStart = 5'000 * kMs;

std::int64_t RecordsNs(std::int64_t records) {
    return records * 1'000'000'000 / kRate;
}

std::uint64_t BytesOfNs(std::int64_t ns) {
    return static_cast<std::uint64_t>(ns * kRate / 1'000'000'000) * 16;
}

// A unit sampling in real time from host time kHostStart. The host takes its records in with a
// delay and sees its fill as the device library publishes it: polled from the unit only while
// less than 4 MiB (25 ms at this rate) waits, and lowered by each read in between.
TEST(UnitRecordClock, FollowsARealTimeUnitThroughAHostStallWithoutPassingIt) {
    QVxUnitRecordClock clock(kRate);
    EXPECT_FALSE(clock.Update(std::nullopt, 0, kMemoryBytes, kHostStart + 10 * kMs));
    const auto unitNewest = [](std::int64_t host) { return host - kHostStart; };
    constexpr std::int64_t kDelay = 20 * kMs;
    constexpr std::int64_t kPollBelow = 25 * kMs;
    std::int64_t host = kHostStart + 50 * kMs;
    std::int64_t taken = unitNewest(host) - kDelay;
    std::int64_t polledNewest = unitNewest(host);  // the unit's newest record at the last poll
    std::int64_t worstBehind = 0;
    for (; host < kHostStart + 4'000 * kMs; host += 5 * kMs) {
        // After 1 s the host stalls for 1.2 s; then it takes in 10 ms of records per 5 ms until
        // it has caught up.
        if (host == kHostStart + 1'000 * kMs) host += 1'200 * kMs;
        const std::int64_t truth = unitNewest(host);
        taken = std::min(taken + 10 * kMs, truth - kDelay);
        if (polledNewest - taken < kPollBelow) polledNewest = truth;
        const auto estimate = clock.Update(taken, BytesOfNs(polledNewest - taken), kMemoryBytes, host);
        ASSERT_TRUE(estimate);
        ASSERT_LE(*estimate, truth) << "host " << host;
        worstBehind = std::max(worstBehind, truth - *estimate);
    }
    // As close as the host's delay before the stall, though the records taken in lagged by
    // 1.2 s and the fill seen did not move for most of the catching up.
    EXPECT_LE(worstBehind, kDelay);
}

TEST(UnitRecordClock, AUnitWithAFullMemoryIsNotTakenBeyondWhatItHolds) {
    // A simulated unit at full speed keeps its memory full whatever the clock, and a real one
    // that overflows stops storing: the unit holds exactly one memory after the last record
    // taken in, while the host (slower than the records' own pace) sees time run away.
    QVxUnitRecordClock clock(kRate);
    const std::int64_t memoryNs = RecordsNs(kMemoryBytes / 16);
    std::int64_t taken = 0;
    for (std::int64_t host = kHostStart; host < kHostStart + 10'000 * kMs; host += 10 * kMs) {
        taken += 3 * kMs;  // 0.3 times the records' pace
        const std::int64_t truth = taken + memoryNs;
        const auto fill = kMemoryBytes - (host / (10 * kMs) % 64) * 0x400000;  // polled, then read
        const auto estimate = clock.Update(taken, fill, kMemoryBytes, host);
        ASSERT_TRUE(estimate);
        ASSERT_LE(*estimate, truth);
        ASSERT_GE(*estimate, taken + RecordsNs(static_cast<std::int64_t>(fill / 16)));
    }
    // A unit running faster than the host's clock: the records taken in lead.
    QVxUnitRecordClock fast(kRate);
    for (std::int64_t host = kHostStart, t = 0; host < kHostStart + 1'000 * kMs;
         host += 10 * kMs, t += 40 * kMs)
        EXPECT_EQ(fast.Update(t, 0, kMemoryBytes, host), t);
}

TEST(UnitRecordClock, AnExternalClockCountsOnlyTheRecordsTakenIn) {
    // TRG3's clock may pause: neither the host's time nor the fill says where the unit is.
    QVxUnitRecordClock clock(0);
    EXPECT_EQ(clock.Update(100 * kMs, 0x400000, kMemoryBytes, kHostStart), 100 * kMs);
    EXPECT_EQ(clock.Update(100 * kMs, 0x400000, kMemoryBytes, kHostStart + 5'000 * kMs), 100 * kMs);
}

}  // namespace
