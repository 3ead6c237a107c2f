// Simulated faults through the C API: each produces its error code without a crash, and every
// record delivered before the fault is complete and in order. The USB host faults (a bulk
// transfer that times out or stalls, an open refused for want of permission, a busy interface)
// exist only on the stand-in libusb and are skipped elsewhere.

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
        UseSimulatedUnits({L"AN0001"}, SimSignal::kCounter, false, {SimFault{kind, at}});
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
    UseSimulatedUnits({L"AN0001"}, SimSignal::kCounter, false, {SimFault{SimFaultKind::kBitStreamReject, 0}});
    handle = CreateHandle(L"AN0001", BitStreamPath().c_str());
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(WaitFor([&] { return StatusOf(handle).errorCode == QVPLUS_ERR_FPGA_DOWNLOAD; }));
    EXPECT_EQ(StatusOf(handle).unitReady, 0u);
    QVPlusStartParams params = CounterStartParams(0);
    EXPECT_EQ(QVPlus_Start(handle, &params), 0);
    EXPECT_TRUE(LogRecorder::Contains("QVUSBFX3_CONTROLEP_XFER_ERROR"));
}

TEST_F(qvusbFaultTest, FirstOpenFailureIsHealedByThePortResetRetry) {
    UseSimulatedUnits({L"AN0001"}, SimSignal::kCounter, false, {SimFault{SimFaultKind::kOpenFailOnce, 0}});
    handle = CreateHandle(L"AN0001", BitStreamPath().c_str());
    ASSERT_NE(handle, nullptr);
    EXPECT_TRUE(LogRecorder::Contains("QVUSB USBReset."));
    EXPECT_TRUE(WaitReady(handle));
}

TEST_F(qvusbFaultTest, UnwritableOutputFolderEndsWith0xEE04) {
    UseSimulatedUnits({L"AN0001"}, SimSignal::kCounter, true);
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
    UseSimulatedUnits({L"AN0001"}, SimSignal::kCounter, false);
    handle = CreateHandle(L"AN0001", BitStreamPath().c_str());
    ASSERT_TRUE(WaitReady(handle));
    // Stall the writer on its first block until the unit's memory has overflowed.
    CounterSink::Reset(RateOf(2));
    CounterSink::SetHook([] {
        static bool once = false;
        if (once) return;
        once = true;
        WaitFor([] { return UnitLostRecords() > 0; }, std::chrono::seconds(30));
    });
    QVPlusStartParams params = CounterStartParams(2);
    ASSERT_EQ(QVPlus_Start(handle, &params), 1);
    ASSERT_TRUE(
        WaitFor([&] { return (StatusOf(handle).unitStatusWord & 0x100u) != 0; }, std::chrono::seconds(30)));
    // Reading on, the host reaches the records after the gap: the record indices jump.
    EXPECT_TRUE(WaitFor([] { return CounterSink::Stats().mismatches > 0; }, std::chrono::seconds(30)));
    QVPlus_Stop(handle, QVPLUS_STOP_ABORT);
    ASSERT_TRUE(WaitIdle(handle));
    EXPECT_GT(UnitLostRecords(), 0u);
    EXPECT_TRUE(LogRecorder::Contains("Unit sample memory overflowed; records were lost."));
}

TEST_F(qvusbFaultTest, BulkTimeoutAndStallEndTheAcquisitionWith0xEE03AndKeepTheRecordsBefore) {
    if (!ThroughStandin()) GTEST_SKIP() << "USB host faults need the stand-in libusb";
    for (SimFaultKind kind : {SimFaultKind::kBulkTimeout, SimFaultKind::kBulkPipe}) {
        SCOPED_TRACE(SimFaultName(kind));
        CounterSink::Reset(RateOf(0));
        const QVPlusStatus status = RunUntilFault(kind, 0.2);
        EXPECT_EQ(status.errorCode, static_cast<uint32_t>(QVPLUS_ERR_STATUS_READ));
        ExpectCleanPrefix();
        QVPlus_Delete(handle);
        handle = nullptr;
        UseDefaultBackend();
    }
}

TEST_F(qvusbFaultTest, OpenWithoutPermissionAndABusyInterfaceRefuseTheHandle) {
    if (!ThroughStandin()) GTEST_SKIP() << "USB host faults need the stand-in libusb";
    for (SimFaultKind kind : {SimFaultKind::kOpenAccess, SimFaultKind::kClaimBusy}) {
        SCOPED_TRACE(SimFaultName(kind));
        LogRecorder::Clear();
        UseSimulatedUnits({L"AN0001"}, SimSignal::kCounter, false, {SimFault{kind, 0}});
        EXPECT_EQ(QVPlus_DeviceCount(), 1);
        // A unit that cannot be opened has no serial number to show; one whose interface another
        // program holds is listed but cannot be connected.
        wchar_t id[20];
        uint64_t length = 0;
        EXPECT_EQ(QVPlus_GetDeviceID(0, id, &length), kind == SimFaultKind::kClaimBusy ? 1 : 0);
        EXPECT_EQ(CreateHandle(L"AN0001", BitStreamPath().c_str()), nullptr);
        EXPECT_TRUE(LogRecorder::Contains("QVUSB USBReset."));
        EXPECT_TRUE(LogRecorder::Contains("CCyUSBDevice Open failed."));
        UseDefaultBackend();
    }
}

}  // namespace
}  // namespace qvusb::test
