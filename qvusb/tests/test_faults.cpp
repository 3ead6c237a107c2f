// Simulated faults through the C API: each produces its error code without a crash, and every
// record delivered before the fault is complete and in order.

#include "SimHarness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace qvusb::test {
namespace {

class qvusbFaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseShortWaits();
        LogRecorder::Install();
        LogRecorder::Clear();
        CounterSink::Reset(RateOf(0));
    }
    void TearDown() override {
        if (handle) QVPlus_Delete(handle);
        UseDefaultBackend();
    }
    // Runs one acquisition at 102,400 records/s until the library ends it by itself.
    QVPlusStatus RunUntilFault(SimFaultKind kind, double at) {
        backend = UseSimulatedUnits({L"AN0001"}, SimSignal::kCounter, false, {SimFault{kind, at}});
        handle = CreateHandle(L"AN0001", BitStreamPath().c_str());
        EXPECT_NE(handle, nullptr);
        if (!handle || !WaitReady(handle)) return {};
        QVPlusStartParams params = CounterStartParams(0);
        EXPECT_EQ(QVPlus_Start(handle, &params), 1);
        EXPECT_TRUE(WaitIdle(handle));
        return StatusOf(handle);
    }
    void ExpectCleanPrefix() {
        const SinkStats s = CounterSink::Stats();
        EXPECT_EQ(s.mismatches, 0u) << s.firstMismatch;
        EXPECT_GT(s.records, 0u);
        EXPECT_EQ(s.endCalls, 1u);
        EXPECT_EQ(s.dataAfterEnd, 0u);
    }
    std::shared_ptr<SimBackend> backend;
    QVPlusHandle handle = nullptr;
};

TEST_F(qvusbFaultTest, StatusFailEndsTheAcquisitionWith0xEE03) {
    const QVPlusStatus status = RunUntilFault(SimFaultKind::kStatusFail, 0.2);
    EXPECT_EQ(status.errorCode, static_cast<uint32_t>(QVPLUS_ERR_STATUS_READ));
    EXPECT_EQ(status.unitReady, 1u);  // readiness is not withdrawn
    ExpectCleanPrefix();
}

TEST_F(qvusbFaultTest, ShortReadEndsTheAcquisitionWith0xEE03) {
    const QVPlusStatus status = RunUntilFault(SimFaultKind::kShortRead, 0.2);
    EXPECT_EQ(status.errorCode, static_cast<uint32_t>(QVPLUS_ERR_STATUS_READ));
    ExpectCleanPrefix();
}

TEST_F(qvusbFaultTest, UnplugEndsTheAcquisitionAndTheUnitDisappears) {
    const QVPlusStatus status = RunUntilFault(SimFaultKind::kUnplug, 0.2);
    EXPECT_EQ(status.errorCode, static_cast<uint32_t>(QVPLUS_ERR_STATUS_READ));
    ExpectCleanPrefix();
    EXPECT_EQ(QVPlus_DeviceCount(), 0);
    // The keep-alive keeps reporting the lost unit; deleting the handle still works.
    QVPlus_ErrClear(handle);
    EXPECT_TRUE(WaitFor([&] { return StatusOf(handle).errorCode == QVPLUS_ERR_STATUS_READ; }));
}

TEST_F(qvusbFaultTest, RejectedBitStreamLeavesTheHandleUnreadyWith0xEE05) {
    backend = UseSimulatedUnits({L"AN0001"}, SimSignal::kCounter, false,
                                {SimFault{SimFaultKind::kBitStreamReject, 0}});
    handle = CreateHandle(L"AN0001", BitStreamPath().c_str());
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(WaitFor([&] { return StatusOf(handle).errorCode == QVPLUS_ERR_FPGA_DOWNLOAD; }));
    EXPECT_EQ(StatusOf(handle).unitReady, 0u);
    QVPlusStartParams params = CounterStartParams(0);
    EXPECT_EQ(QVPlus_Start(handle, &params), 0);
    EXPECT_TRUE(LogRecorder::Contains("QVUSBFX3_CONTROLEP_XFER_ERROR"));
}

TEST_F(qvusbFaultTest, FirstOpenFailureIsHealedByThePortResetRetry) {
    backend = UseSimulatedUnits({L"AN0001"}, SimSignal::kCounter, false,
                                {SimFault{SimFaultKind::kOpenFailOnce, 0}});
    handle = CreateHandle(L"AN0001", BitStreamPath().c_str());
    ASSERT_NE(handle, nullptr);
    EXPECT_TRUE(LogRecorder::Contains("QVUSB USBReset."));
    EXPECT_TRUE(WaitReady(handle));
}

TEST_F(qvusbFaultTest, UnwritableOutputFolderEndsWith0xEE04) {
    backend = UseSimulatedUnits({L"AN0001"}, SimSignal::kCounter, true);
    handle = CreateHandle(L"AN0001", BitStreamPath().c_str());
    ASSERT_TRUE(WaitReady(handle));
    const std::string blocker = FreshFolder("blocker");
    { std::ofstream(blocker) << "a file where the folder should be"; }
    const std::string folder = blocker + "/repo";
    QVPlusStartParams params = CounterStartParams(0);
    params.outputFolder = folder.c_str();
    ASSERT_EQ(QVPlus_Start(handle, &params), 1);
    ASSERT_TRUE(WaitIdle(handle));
    EXPECT_EQ(StatusOf(handle).errorCode, static_cast<uint32_t>(QVPLUS_ERR_FILE_WRITE));
    EXPECT_EQ(CounterSink::Stats().endCalls, 1u);
    std::filesystem::remove(blocker);
}

TEST_F(qvusbFaultTest, HostFallingBehindMakesTheLossVisibleInTheStatusWord) {
    backend = UseSimulatedUnits({L"AN0001"}, SimSignal::kCounter, false);
    handle = CreateHandle(L"AN0001", BitStreamPath().c_str());
    ASSERT_TRUE(WaitReady(handle));
    // Stall the writer on its first block until the unit's memory has overflowed.
    auto unit = backend->Units()[0];
    CounterSink::Reset(RateOf(2));
    CounterSink::SetHook([unit] {
        static bool once = false;
        if (once) return;
        once = true;
        WaitFor([&] { return unit->LostRecords() > 0; }, std::chrono::seconds(30));
    });
    QVPlusStartParams params = CounterStartParams(2);
    ASSERT_EQ(QVPlus_Start(handle, &params), 1);
    ASSERT_TRUE(
        WaitFor([&] { return (StatusOf(handle).unitStatusWord & 0x100u) != 0; }, std::chrono::seconds(30)));
    // Reading on, the host reaches the records after the gap: the record indices jump.
    EXPECT_TRUE(WaitFor([] { return CounterSink::Stats().mismatches > 0; }, std::chrono::seconds(30)));
    QVPlus_Stop(handle, QVPLUS_STOP_ABORT);
    ASSERT_TRUE(WaitIdle(handle));
    EXPECT_GT(unit->LostRecords(), 0u);
    EXPECT_TRUE(LogRecorder::Contains("Unit sample memory overflowed; records were lost."));
}

}  // namespace
}  // namespace qvusb::test
