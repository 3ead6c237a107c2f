#pragma once
// A view model initialised on a temporary application data folder, with a
// notification recorder, an interaction that runs tasks inline and a host-queue
// main dispatcher that the test drains.

#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/Presenters/Interaction.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "QVxWinCommon/QVxNotification.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace qvx::test {

struct RecordingNotification : QVxNotificationBase {
    std::vector<std::string> shown;
    void OnNotifyErrorMessage(const std::string& text) override { shown.push_back(text); }
};

// Runs the task on the calling thread (the tests have no progress display).
struct InlineInteraction : qvx::IInteraction {
    int runs = 0;
    bool Run(qvx::InteractionRunBehaviors, const qvx::InteractionTask& task) override {
        ++runs;
        qvx::ProgressToken token([](std::int64_t, std::int64_t) {}, [](const std::string&) {});
        task(&token);
        return !token.IsCancelRequested();
    }
};

inline void RunPostedActions() {
    while (qvx::Dispatcher::GetMainInstance()->ProcessInvoke()) {
    }
}

class AnalogViewModelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!qvx::Dispatcher::GetMainInstance())
            qvx::Dispatcher::AttachMain(qvx::Dispatcher::kHostMessageQueue);
    }

    void SetUp() override {
        ::setenv("QVPLUS_TEMP_DIR", dir.Path().c_str(), 1);
        ::setenv("QVPLUS_SIM_FAULTS", "", 1);
        ::setenv("QVPLUS_SIM_SPEED", "", 1);
        ::setenv("QVPLUS_SIM_SIGNAL", "demo", 1);
        ::unsetenv("QVPLUS_SIMULATED_UNITS");
        QVxNotification::Set(&notes);
        qvx::Interaction::Init(&interaction);
        auto repair = qvx::AnalogEnvData::MakeCacheFolderRepair(
            [](const std::filesystem::path&) { return std::optional<std::filesystem::path>(); });
        ASSERT_TRUE(viewModel.Init(&env, repair, {QVX_TEST_BITSTREAM}));
    }

    void TearDown() override {
        viewModel.Shutdown();
        RunPostedActions();
        qvx::Interaction::Clear();
        QVxNotification::Set(nullptr);
        ::unsetenv("QVPLUS_TEMP_DIR");
    }

    // Connects the simulated analog unit (the only one listed).
    void ConnectSimulatedUnit() {
        ::setenv("QVPLUS_SIMULATED_UNITS", "AN0000SIM", 1);
        auto& devices = *viewModel.GetDeviceManagerViewModel();
        devices.RefreshDeviceList();
        devices.JoinConnectionThread();
        RunPostedActions();
        ASSERT_NE(devices.GetConnectedDevice(), nullptr);
    }

    // Drains the dispatcher until the trace has ended (or `limit` passed).
    bool WaitUntilIdle(std::chrono::seconds limit = std::chrono::seconds(600)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (viewModel.GetTraceState() != QVxAnalogViewModel::kIdle) {
            if (std::chrono::steady_clock::now() > end) return false;
            RunPostedActions();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        RunPostedActions();
        return true;
    }

    TempDir dir{"viewmodel"};
    RecordingNotification notes;
    InlineInteraction interaction;
    qvx::AnalogEnvData env;
    QVxAnalogViewModel viewModel;
};

}  // namespace qvx::test
