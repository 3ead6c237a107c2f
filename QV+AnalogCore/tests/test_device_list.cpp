#include "QV+AnalogCore/Presenters/QVxAnalogDeviceManagerViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogDeviceSelectorModel.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinCommon/QVxNotification.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

struct RecordingNotification : QVxNotificationBase {
    std::vector<std::string> shown;
    void OnNotifyErrorMessage(const std::string& text) override { shown.push_back(text); }
};

struct Owner : IQVxDeviceManagerOwner {
    bool tracing = false;
    bool isTracing() const override { return tracing; }
};

void RunPostedActions() {
    while (qvx::Dispatcher::GetMainInstance()->ProcessInvoke()) {
    }
}

class DeviceListTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!qvx::Dispatcher::GetMainInstance())
            qvx::Dispatcher::AttachMain(qvx::Dispatcher::kHostMessageQueue);
    }
    void SetUp() override {
        QVxNotification::Set(&notifications);
        ::setenv("QVPLUS_SIM_FAULTS", "", 1);
        ::setenv("QVPLUS_SIM_SIGNAL", "demo", 1);
        changes = viewModel.Changed.Connect([this] { ++changeCount; });
    }
    void TearDown() override {
        viewModel.JoinConnectionThread();
        if (auto connected = viewModel.GetConnectedDevice()) viewModel.Disconnect(connected);
        QVxNotification::Set(nullptr);
    }
    static void Units(const char* serials) { ::setenv("QVPLUS_SIMULATED_UNITS", serials, 1); }

    // Waits for the connection thread and runs what it posted.
    void FinishConnection() {
        viewModel.JoinConnectionThread();
        RunPostedActions();
    }

    RecordingNotification notifications;
    Owner owner;
    QVxAnalogDeviceManagerViewModel viewModel{
        &owner, std::make_unique<QVxDeviceManager>(QVxDeviceManager::kAnalogCaptureMode, QVX_TEST_BITSTREAM)};
    std::shared_ptr<qvx::SignalConnection> changes;
    int changeCount = 0;
};

}  // namespace

TEST_F(DeviceListTest, TheOnlyAnalogUnitIsConnectedAutomaticallyWhenNoOtherInstanceRuns) {
    Units("TR0009,AN0001");
    viewModel.RefreshDeviceList();
    ASSERT_EQ(viewModel.GetDevices().size(), 1u);
    auto device = viewModel.GetDevices().front();
    EXPECT_EQ(viewModel.GetSelectedDevice(), device);
    EXPECT_EQ(device->GetDeviceConnectionStatus(), QVxDeviceConnectionStatus::kConnecting);

    viewModel.RefreshDeviceList();  // refused while connecting
    FinishConnection();
    EXPECT_EQ(device->GetDeviceConnectionStatus(), QVxDeviceConnectionStatus::kConnected);
    EXPECT_EQ(viewModel.GetConnectedDevice(), device);
    EXPECT_TRUE(viewModel.GetDeviceManager()->IsOpened());
    EXPECT_GE(changeCount, 2);

    // Unplugged while idle: the next refresh removes and disconnects it.
    Units("");
    viewModel.RefreshDeviceList();
    EXPECT_TRUE(viewModel.GetDevices().empty());
    EXPECT_EQ(viewModel.GetConnectingDevice(), nullptr);
    EXPECT_FALSE(viewModel.GetDeviceManager()->IsOpened());
    EXPECT_TRUE(viewModel.GetSelectedDeviceId().empty());
}

TEST_F(DeviceListTest, WithAnotherInstanceRunningTheUnitIsOnlySelected) {
    Units("AN0001,AN0002");
    viewModel.SetOtherInstanceCounter([] { return 1; });
    viewModel.RefreshDeviceList();
    ASSERT_EQ(viewModel.GetDevices().size(), 2u);
    EXPECT_EQ(viewModel.GetSelectedDeviceId(), L"AN0001");
    EXPECT_EQ(viewModel.GetConnectingDevice(), nullptr);

    // The selection survives a refresh that reorders nothing and keeps the objects.
    const auto second = viewModel.GetDevices()[1];
    viewModel.SelectDevice(second);
    viewModel.RefreshDeviceList();
    EXPECT_EQ(viewModel.GetSelectedDevice(), second);

    viewModel.StartConnection(second);
    FinishConnection();
    EXPECT_EQ(viewModel.GetConnectedDevice(), second);
    EXPECT_FALSE(viewModel.CanStartConnection(viewModel.GetDevices()[0]));  // one unit at a time

    owner.tracing = true;
    EXPECT_FALSE(viewModel.CanRefreshDeviceList());
    viewModel.Disconnect(second);  // refused while tracing
    EXPECT_EQ(viewModel.GetConnectedDevice(), second);
    owner.tracing = false;
    viewModel.Disconnect(second);
    EXPECT_EQ(viewModel.GetConnectedDevice(), nullptr);
    EXPECT_EQ(second->GetDeviceConnectionStatus(), QVxDeviceConnectionStatus::kDisconnected);
}

TEST_F(DeviceListTest, DuplicateSerialsAndFailedConnectionsAreShown) {
    Units("AN0001,AN0001");
    viewModel.RefreshDeviceList();
    EXPECT_TRUE(viewModel.GetDevices().empty());
    ASSERT_EQ(notifications.shown.size(), 1u);
    EXPECT_EQ(notifications.shown[0], QVxLoadGuiString(25094));
    EXPECT_TRUE(viewModel.CanRefreshDeviceList());

    Units("AN0001");
    ::setenv("QVPLUS_SIM_FAULTS", "bitstream-reject", 1);
    viewModel.RefreshDeviceList();
    FinishConnection();
    EXPECT_EQ(viewModel.GetConnectingDevice(), nullptr);
    EXPECT_FALSE(viewModel.GetDeviceManager()->IsOpened());
    ASSERT_EQ(notifications.shown.size(), 2u);
    EXPECT_EQ(notifications.shown[1], "NAVO+に接続できません");
}

TEST_F(DeviceListTest, TheSelectorSeesUnitsByPositionAndConnectsThroughTheList) {
    Units("AN0001,AN0002");
    viewModel.SetOtherInstanceCounter([] { return 1; });
    viewModel.RefreshDeviceList();
    QVxAnalogDeviceSelectorModel selector(&viewModel, &owner);
    int changed = 0;
    auto connection = selector.ChangedSignal().Connect([&] { ++changed; });

    ASSERT_EQ(selector.Devices().size(), 2u);
    EXPECT_EQ(selector.Devices()[1].id, L"AN0002");
    EXPECT_EQ(selector.SelectedIndex(), 0);
    EXPECT_EQ(selector.ConnectingIndex(), -1);

    selector.SelectDevice(1);
    EXPECT_EQ(selector.SelectedIndex(), 1);
    selector.StartConnection(1);
    FinishConnection();
    EXPECT_EQ(selector.ConnectingIndex(), 1);
    EXPECT_EQ(selector.Devices()[1].status, QVxDeviceConnectionStatus::kConnected);
    EXPECT_GE(changed, 2);

    selector.Disconnect(1);
    EXPECT_EQ(selector.ConnectingIndex(), -1);
    EXPECT_EQ(selector.Devices()[1].status, QVxDeviceConnectionStatus::kDisconnected);
    selector.StartConnection(5);  // no such unit: refused, nothing happens
    EXPECT_EQ(selector.ConnectingIndex(), -1);
}
