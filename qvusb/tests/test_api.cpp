// The exported functions against simulated units: enumeration and ids, create refusals,
// version numbers, start/stop rules and the status block.

#include "SimHarness.h"

#include <gtest/gtest.h>

#include "qvusb/qvusb_lib/Timing.h"

#include <cwchar>
#include <thread>

namespace qvusb::test {
namespace {

class qvusbApiTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseShortWaits();
        LogRecorder::Install();
        LogRecorder::Clear();
        CounterSink::Reset(102400);
    }
    void TearDown() override {
        if (handle) QVPlus_Delete(handle);
        UseDefaultBackend();
    }
    QVPlusHandle handle = nullptr;
};

TEST_F(qvusbApiTest, EnumeratesEveryListedUnitWithItsSerialNumber) {
    UseSimulatedUnits({L"AN0001", L"XX0002", L"AN0001"}, SimSignal::kDemo);
    ASSERT_EQ(QVPlus_DeviceCount(), 3);
    const wchar_t* expected[] = {L"AN0001", L"XX0002", L"AN0001"};
    for (uint8_t i = 0; i < 3; ++i) {
        wchar_t id[20];
        uint64_t length = 0;
        ASSERT_EQ(QVPlus_GetDeviceID(i, id, &length), 1);
        EXPECT_STREQ(id, expected[i]);
        EXPECT_EQ(length, 6u);
    }
    wchar_t id[20] = L"unchanged";
    uint64_t length = 99;
    EXPECT_EQ(QVPlus_GetDeviceID(3, id, &length), 0);
    EXPECT_EQ(length, 99u);
    EXPECT_TRUE(LogRecorder::Contains("QVUSB USBReset."));
    EXPECT_EQ(QVPlus_GetDeviceID(0, nullptr, &length), 0);
}

TEST_F(qvusbApiTest, SerialNumbersOfTwentyCharactersAreRefused) {
    UseSimulatedUnits({L"AN345678901234567890"}, SimSignal::kDemo);
    wchar_t id[20];
    uint64_t length = 0;
    EXPECT_EQ(QVPlus_GetDeviceID(0, id, &length), 0);
    QVPlusCreateParams params{};
    for (int i = 0; i < 20; ++i) params.deviceId[i] = L'A';  // no terminator within 20
    params.captureMode = QVPLUS_CAPTURE_ANALOG;
    EXPECT_EQ(QVPlus_Create(&params), nullptr);
}

TEST_F(qvusbApiTest, CreateRefusesOtherCaptureModesAbsentUnitsAndNullParameters) {
    UseSimulatedUnits({L"AN0001"}, SimSignal::kDemo);
    const std::string bits = BitStreamPath();
    for (uint32_t mode : {0u, 1u, 2u, 4u}) {
        QVPlusCreateParams params{};
        params.bitStreamPath = bits.c_str();
        std::wcsncpy(params.deviceId, L"AN0001", 19);
        params.captureMode = mode;
        EXPECT_EQ(QVPlus_Create(&params), nullptr) << mode;
    }
    EXPECT_EQ(QVPlus_Create(nullptr), nullptr);
    EXPECT_EQ(CreateHandle(L"AN0404", bits.c_str()), nullptr);
    EXPECT_TRUE(LogRecorder::Contains("CCyUSBDevice Open failed."));
    EXPECT_TRUE(LogRecorder::Contains("QVUSBFX3Open failed."));
    EXPECT_TRUE(LogRecorder::Contains("QVPlus_Create"));
}

TEST_F(qvusbApiTest, VersionGivesLibraryAndFpgaNumbersAndFirmwareOnlyFromAPresentUnit) {
    UseSimulatedUnits({L"AN0001"}, SimSignal::kDemo);
    uint32_t library = 0;
    uint16_t fpga = 0, firmware = 0xBEEF;
    EXPECT_EQ(QVPlus_Version(L"AN0404", &library, &fpga, &firmware), 0);
    EXPECT_EQ(library, 0x02010100u);
    EXPECT_EQ(fpga, 0x0200);
    EXPECT_EQ(firmware, 0xBEEF);
    EXPECT_TRUE(LogRecorder::Contains("QVUSBFX3GetVer"));
    EXPECT_EQ(QVPlus_Version(L"AN0001", &library, &fpga, &firmware), 1);
    EXPECT_EQ(firmware, 0x0105);
}

TEST_F(qvusbApiTest, StartBeforeTheUnitIsReadyReturnsZeroAndChangesNothing) {
    UseSimulatedUnits({L"AN0001"}, SimSignal::kCounter);
    GetTiming().bitStreamSettleMs = 300;  // keep the unit unready for a while
    handle = CreateHandle(L"AN0001", BitStreamPath().c_str());
    ASSERT_NE(handle, nullptr);
    const QVPlusStatus before = StatusOf(handle);
    ASSERT_EQ(before.unitReady, 0u);
    QVPlusStartParams params = CounterStartParams(0);
    EXPECT_EQ(QVPlus_Start(handle, &params), 0);
    const QVPlusStatus after = StatusOf(handle);
    EXPECT_EQ(after.running, 0u);
    EXPECT_EQ(after.bytesAcquired, 0u);
    EXPECT_TRUE(WaitReady(handle));
    EXPECT_EQ(StatusOf(handle).running, 0u);  // the refused start did not start later either
    EXPECT_EQ(CounterSink::Stats().endCalls, 0u);
}

TEST_F(qvusbApiTest, StopWhenIdleReturnsOneAndKeepsTheErrorCode) {
    UseSimulatedUnits({L"AN0001"}, SimSignal::kCounter);
    handle = CreateHandle(L"AN0001", "/nonexistent/dload/Tessel.bin");
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(WaitFor([&] { return StatusOf(handle).errorCode == QVPLUS_ERR_FPGA_DOWNLOAD; }));
    EXPECT_EQ(QVPlus_Stop(handle, QVPLUS_STOP_DRAIN), 1);
    EXPECT_EQ(StatusOf(handle).errorCode, static_cast<uint32_t>(QVPLUS_ERR_FPGA_DOWNLOAD));
    EXPECT_EQ(QVPlus_Stop(nullptr, QVPLUS_STOP_DRAIN), 0);
    EXPECT_EQ(QVPlus_Stop(handle, 7), 0);  // unknown reason
    QVPlus_ErrClear(handle);
    EXPECT_EQ(StatusOf(handle).errorCode, 0u);
    EXPECT_TRUE(LogRecorder::Contains("File not found."));
    EXPECT_TRUE(LogRecorder::Contains("QVUSBFX3ConfigurationBitStream failed."));
    EXPECT_TRUE(LogRecorder::Contains("QVUSBFX3_ENDPOINT_NOTFOUND"));
}

TEST_F(qvusbApiTest, NullHandlesAndNullRecordsAreHarmless) {
    QVPlusStatus status{};
    status.errorCode = 42;
    QVPlus_GetStatus(nullptr, &status);
    EXPECT_EQ(status.errorCode, 42u);
    QVPlusStartParams params = CounterStartParams(0);
    EXPECT_EQ(QVPlus_Start(nullptr, &params), 0);
    QVPlus_ErrClear(nullptr);
    QVPlus_Delete(nullptr);
    UseSimulatedUnits({L"AN0001"}, SimSignal::kCounter);
    handle = CreateHandle(L"AN0001", BitStreamPath().c_str());
    ASSERT_TRUE(WaitReady(handle));
    EXPECT_EQ(QVPlus_Start(handle, nullptr), 0);
    params.outputFolder = "";
    EXPECT_EQ(QVPlus_Start(handle, &params), 0);
    EXPECT_EQ(StatusOf(handle).running, 0u);
    QVPlus_GetStatus(handle, nullptr);
}

TEST_F(qvusbApiTest, ReadyHandleReportsTheUnitAndAStartIsRefusedWhileRunning) {
    UseSimulatedUnits({L"AN0001"}, SimSignal::kCounter);
    handle = CreateHandle(L"AN0001", BitStreamPath().c_str());
    ASSERT_TRUE(WaitReady(handle));
    EXPECT_TRUE(LogRecorder::Contains("Connection successful."));
    QVPlusStartParams params = CounterStartParams(0);
    ASSERT_EQ(QVPlus_Start(handle, &params), 1);
    EXPECT_EQ(StatusOf(handle).running, 1u);
    EXPECT_EQ(QVPlus_Start(handle, &params), 0);
    ASSERT_TRUE(WaitFor([&] { return StatusOf(handle).bytesAcquired > 0; }));
    const QVPlusStatus running = StatusOf(handle);
    EXPECT_EQ(running.unitBufferSize, 0x10000000u);
    EXPECT_GT(running.startSeconds, 1'600'000'000);
    EXPECT_NE(running.unitStatusWord & 0x01u, 0u);  // the unit reports that it captures
    EXPECT_EQ(QVPlus_Stop(handle, QVPLUS_STOP_ABORT), 1);
    EXPECT_EQ(QVPlus_Stop(handle, QVPLUS_STOP_DRAIN), 1);  // abort pending: no effect
    ASSERT_TRUE(WaitIdle(handle));
    EXPECT_EQ(CounterSink::Stats().endCalls, 1u);
    EXPECT_EQ(CounterSink::Stats().mismatches, 0u) << CounterSink::Stats().firstMismatch;
}

}  // namespace
}  // namespace qvusb::test
