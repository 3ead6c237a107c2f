// The counter pattern read through the library in real time at the top sampling rate
// (10,485,760 records/s) for 10 s: every record arrives once, in order, unchanged, in blocks
// large enough that the per-block cost stays small, and the unit's buffer use is reported
// while it runs. Under sanitizers, whose slow-down no host could
// absorb at that rate, the same check runs at 1,048,576 records/s for 3 s.

#include "SimHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace qvusb::test {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr uint8_t kSamplingCode = 1;
constexpr int kSeconds = 3;
#else
constexpr uint8_t kSamplingCode = 2;
constexpr int kSeconds = 10;
#endif

TEST(qvusbRealTimeCapture, CounterPatternArrivesCompleteAtTheTopSamplingRate) {
    UseShortWaits();
    UseSimulatedUnits({L"AN0001"}, SimSignal::kCounter);
    QVPlusHandle handle = CreateHandle(L"AN0001", BitStreamPath().c_str());
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(WaitReady(handle));
    CounterSink::Reset(RateOf(kSamplingCode));
    QVPlusStartParams params = CounterStartParams(kSamplingCode);
    ASSERT_EQ(QVPlus_Start(handle, &params), 1);

    uint32_t maxFill = 0;
    uint32_t size = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(kSeconds);
    while (std::chrono::steady_clock::now() < end) {
        const QVPlusStatus s = StatusOf(handle);
        maxFill = std::max(maxFill, s.unitBufferFill);
        size = std::max(size, s.unitBufferSize);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(QVPlus_Stop(handle, QVPLUS_STOP_DRAIN), 1);
    ASSERT_TRUE(WaitIdle(handle));

    const SinkStats s = CounterSink::Stats();
    const uint64_t captured = UnitWrittenRecords();
    const QVPlusStatus status = StatusOf(handle);
    std::printf(
        "records %llu in %d s, blocks %llu, largest block %u bytes, unit buffer use at most %.2f %%\n",
        static_cast<unsigned long long>(s.records), kSeconds, static_cast<unsigned long long>(s.blocks),
        s.maxBlock, size ? maxFill * 100.0 / size : 0.0);
    EXPECT_EQ(size, 0x10000000u);
    EXPECT_EQ(UnitLostRecords(), 0u);
    EXPECT_EQ((status.unitStatusWord & 0x100u), 0u);  // no overflow
    EXPECT_EQ(s.mismatches, 0u) << s.firstMismatch;
    EXPECT_EQ(s.records, captured);
    EXPECT_GE(s.records, static_cast<uint64_t>(kSeconds) * RateOf(kSamplingCode));
    EXPECT_EQ(s.endCalls, 1u);
    EXPECT_EQ(status.errorCode, 0u);
    // While the unit captures, a read waits for about 1 MiB or 5 ms of records; a loaded host
    // only makes blocks larger. Half of that on average leaves room for the start and the end.
    const double bytesIn5Ms = RateOf(kSamplingCode) * 16.0 * 0.005;
    ASSERT_GT(s.blocks, 0u);
    EXPECT_GE(static_cast<double>(s.records) * 16.0 / static_cast<double>(s.blocks),
              std::min(bytesIn5Ms, 1048576.0) / 2);
    QVPlus_Delete(handle);
    UseDefaultBackend();
}

}  // namespace
}  // namespace qvusb::test
