#include "QVxWinCommon/DataClasses/QVxDeviceManager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

// Counts what the device manager hands to a collector; runs on library threads.
struct CountingCollector : QVxLogCollect {
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<int> endMarks{0};
    std::atomic<int> aborts{0};
    std::atomic<int> finished{0};

    void OnData(const void*, std::size_t elementSize, std::size_t count, std::uint32_t flags) override {
        bytes += elementSize * count;
        if (flags & 1u) ++endMarks;
    }
    void OnAbort() override { ++aborts; }
    void OnTraceFinished() override { ++finished; }
    void OnTraceStarted() override {}
};

void SimulateUnits(const char* serials, const char* faults = "") {
    ::setenv("QVPLUS_SIMULATED_UNITS", serials, 1);
    ::setenv("QVPLUS_SIM_FAULTS", faults, 1);
    ::setenv("QVPLUS_SIM_SIGNAL", "counter", 1);
}

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

QVPlusStartParams StartRecord(std::uint8_t samplingCode) {
    QVPlusStartParams p{};
    p.kind = 1;
    p.samplingCode = samplingCode;
    p.splitSize = 512;
    return p;
}

}  // namespace

TEST(DeviceManagerListing, FiltersByTypeAndRefusesDuplicateSerials) {
    SimulateUnits("TR0002,AN0001");
    std::vector<QVxQVUsbDeviceId> ids;
    ASSERT_TRUE(QVxDeviceManager::GetAvailableDevice(QVxCaptureMode::kAnalog, &ids));
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(ids[0].id, L"AN0001");
    EXPECT_EQ(ids[0].index, 1);

    ASSERT_TRUE(QVxDeviceManager::GetAvailableDevice(QVxCaptureMode::kAnyUnit, &ids));
    EXPECT_EQ(ids.size(), 2u);

    SimulateUnits("AN0001,AN0001");
    EXPECT_FALSE(QVxDeviceManager::GetAvailableDevice(QVxCaptureMode::kAnalog, &ids));
    EXPECT_TRUE(ids.empty());

    EXPECT_FALSE(QVxDeviceManager::GetAvailableDevice(QVxCaptureMode::kAnalog, nullptr));
}

TEST(DeviceManagerConnection, ConnectAndCloseCyclesAndMissingBitStream) {
    SimulateUnits("AN0001");
    QVxDeviceManager missing(QVxDeviceManager::kAnalogCaptureMode, "/nonexistent/dload/Tessel.bin");
    EXPECT_FALSE(missing.Connect(L"AN0001", 0));
    EXPECT_EQ(QVxDeviceManager::GetLastDeviceError(), kDeviceErrorBitStreamNotFound);
    QVxDeviceManager unnamed(QVxDeviceManager::kAnalogCaptureMode, "");
    EXPECT_FALSE(unnamed.Connect(L"AN0001", 0));
    EXPECT_EQ(QVxDeviceManager::GetLastDeviceError(), kDeviceErrorNoBitStreamName);

    QVxDeviceManager manager(QVxDeviceManager::kAnalogCaptureMode, QVX_TEST_BITSTREAM);
    for (int cycle = 0; cycle < 3; ++cycle) {
        ASSERT_TRUE(manager.Connect(L"AN0001", 0)) << cycle;
        EXPECT_TRUE(manager.IsOpened());
        EXPECT_EQ(manager.GetStatusValue(kStatusUnitReady), 1u);
        EXPECT_TRUE(manager.Close());
        EXPECT_FALSE(manager.IsOpened());
    }
    EXPECT_FALSE(manager.Close());
    EXPECT_EQ(QVxDeviceManager::GetLastDeviceError(), kDeviceErrorNotOpen);
}

TEST(DeviceManagerConnection, RejectedBitStreamFailsWithUnitError) {
    SimulateUnits("AN0001", "bitstream-reject");
    QVxDeviceManager manager(QVxDeviceManager::kAnalogCaptureMode, QVX_TEST_BITSTREAM);
    EXPECT_FALSE(manager.Connect(L"AN0001", 0));
    EXPECT_EQ(QVxDeviceManager::GetLastDeviceError(), kDeviceErrorUnit);
    EXPECT_EQ(manager.GetStatusValue(kStatusErrorCode), static_cast<std::uint32_t>(QVPLUS_ERR_FPGA_DOWNLOAD));
    manager.Close();
}

TEST(DeviceManagerTrace, DrainedStopDeliversTheEndMarkAndTheWatchReportsTheEnd) {
    SimulateUnits("AN0001");
    QVxDeviceManager manager(QVxDeviceManager::kAnalogCaptureMode, QVX_TEST_BITSTREAM);
    ASSERT_TRUE(manager.Connect(L"AN0001", 0));
    CountingCollector collector;
    auto params = StartRecord(1);
    ASSERT_TRUE(manager.QVxDevTraceStart(&collector, params));
    EXPECT_EQ(manager.GetStatusValue(kStatusRunning), 1u);
    ASSERT_TRUE(WaitFor([&] { return collector.bytes.load() > 0; }));

    ASSERT_TRUE(manager.Stop(QVPLUS_STOP_DRAIN));
    EXPECT_TRUE(manager.StartMonitor());
    EXPECT_FALSE(manager.StartMonitor());  // one watch at a time
    ASSERT_TRUE(WaitFor([&] { return collector.finished.load() == 1; }));
    EXPECT_EQ(collector.endMarks.load(), 1);
    EXPECT_EQ(collector.bytes.load() % 16, 0u);
    EXPECT_EQ(collector.GetAbortType(), QVxAbortType::None);
    EXPECT_TRUE(manager.Close());
}

TEST(DeviceManagerTrace, AUnitThatFailsDuringATraceAbortsItAsADeviceError) {
    SimulateUnits("AN0001", "status-fail@0.3");
    QVxDeviceManager manager(QVxDeviceManager::kAnalogCaptureMode, QVX_TEST_BITSTREAM);
    ASSERT_TRUE(manager.Connect(L"AN0001", 0));
    CountingCollector collector;
    auto params = StartRecord(0);
    ASSERT_TRUE(manager.QVxDevTraceStart(&collector, params));
    ASSERT_TRUE(WaitFor([&] { return collector.aborts.load() > 0; }));
    EXPECT_EQ(collector.GetAbortType(), QVxAbortType::DeviceError);
    EXPECT_EQ(manager.GetStatusValue(kStatusErrorCode), static_cast<std::uint32_t>(QVPLUS_ERR_STATUS_READ));
    EXPECT_TRUE(manager.Close());
}

TEST(DeviceManagerTrace, StartWithoutAUnitOrWithAPendingAbortIsRefused) {
    QVxDeviceManager manager(QVxDeviceManager::kAnalogCaptureMode, QVX_TEST_BITSTREAM);
    CountingCollector collector;
    auto params = StartRecord(0);
    EXPECT_FALSE(manager.QVxDevTraceStart(&collector, params));
    EXPECT_EQ(QVxDeviceManager::GetLastDeviceError(), kDeviceErrorNotOpen);

    SimulateUnits("AN0001");
    ASSERT_TRUE(manager.Connect(L"AN0001", 0));
    collector.SetAbortTypeIfNone(QVxAbortType::LowDiskSpace);
    EXPECT_FALSE(manager.QVxDevTraceStart(&collector, params));
    EXPECT_EQ(manager.GetStatusValue(kStatusRunning), 0u);
}
