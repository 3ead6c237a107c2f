// Sustained intake of a whole trace: the simulated unit at full speed (its sample
// memory always full, so the host sets the pace) through the device library, the
// log collector, the report writer, the view model's Broadcast into a 1920-column
// live window and the display trigger analyzer, until the report is reopened.
// Reported as records/s and as a multiple of the top sampling rate (10,485,760
// records/s); with and without a display trigger.

#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/Presenters/Interaction.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxWinCommon/QVxNotification.h"

#include <benchmark/benchmark.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr double kTopRate = 10'485'760.0;
constexpr std::int32_t kStopMiB = 1536;  // 100,663,296 records

struct InlineInteraction : qvx::IInteraction {
    bool Run(qvx::InteractionRunBehaviors, const qvx::InteractionTask& task) override {
        qvx::ProgressToken token([](std::int64_t, std::int64_t) {}, [](const std::string&) {});
        task(&token);
        return true;
    }
};

struct PrintingNotification : QVxNotificationBase {
    void OnNotifyErrorMessage(const std::string& text) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    }
};

void Pump() {
    while (qvx::Dispatcher::GetMainInstance()->ProcessInvoke()) {
    }
}

void BM_TraceIntake(benchmark::State& state) {
    const bool withTrigger = state.range(0) != 0;
    spdlog::set_level(spdlog::level::err);
    const fs::path base = fs::temp_directory_path() / "qvx_bench_trace_intake";
    fs::remove_all(base);
    fs::create_directories(base);
    ::setenv("QVPLUS_TEMP_DIR", base.c_str(), 1);
    ::setenv("QVPLUS_SIMULATED_UNITS", "AN0000SIM", 1);
    ::setenv("QVPLUS_SIM_SIGNAL", "counter", 1);
    ::setenv("QVPLUS_SIM_SPEED", "max", 1);
    if (!qvx::Dispatcher::GetMainInstance()) qvx::Dispatcher::AttachMain(qvx::Dispatcher::kHostMessageQueue);
    InlineInteraction interaction;
    PrintingNotification notification;
    qvx::Interaction::Init(&interaction);
    QVxNotification::Set(&notification);
    {
        qvx::AnalogEnvData env;
        QVxAnalogViewModel viewModel;
        auto repair = qvx::AnalogEnvData::MakeCacheFolderRepair({});
        if (!viewModel.Init(&env, repair, {QVX_BENCH_BITSTREAM})) {
            state.SkipWithError("Init failed");
            return;
        }
        auto& devices = *viewModel.GetDeviceManagerViewModel();
        devices.RefreshDeviceList();
        devices.JoinConnectionThread();
        Pump();
        if (!devices.GetConnectedDevice()) {
            state.SkipWithError("no simulated unit");
            return;
        }
        auto widthKeeper = viewModel.SessionChanged.Connect(
            [&] { viewModel.GetOscilloGraphViewModel()->ResetViewportWidth(1920); });

        std::uint64_t records = 0;
        double seconds = 0;
        for (auto _ : state) {
            qvx::AnalogSettings& s = *viewModel.GetSessionSettings();
            s.samplingFrequency = 2;
            s.enableReportFileRotation = false;
            s.enableStopDataSize = true;
            s.stopDataSizeMB = kStopMiB;
            s.displayTriggerMode = withTrigger ? 2 : 0;    // repeat
            s.displayTriggerSourceChannel = 0;             // CH1: a ramp over 16,384 records
            s.displayTriggerSettings[0].voltageLevel = 0;  // mid-scale: one rising crossing per ramp
            const auto begin = std::chrono::steady_clock::now();
            if (!viewModel.StartTrace()) {
                state.SkipWithError("StartTrace failed");
                break;
            }
            while (viewModel.GetTraceState() != QVxAnalogViewModel::kIdle) {
                Pump();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
            state.SetIterationTime(elapsed);
            seconds += elapsed;
            records += viewModel.GetRecordCount();
            state.counters["triggers"] =
                static_cast<double>(viewModel.GetSession()->GetDisplayTriggerList().size());
        }
        state.counters["records_per_s"] = records / seconds;
        state.counters["x_top_rate"] = records / seconds / kTopRate;
        state.counters["MB_per_s"] = records * 16.0 / seconds / 1e6;
        viewModel.Shutdown();
        Pump();
    }
    qvx::Interaction::Clear();
    QVxNotification::Set(nullptr);
    fs::remove_all(base);
}

BENCHMARK(BM_TraceIntake)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("trigger")
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
