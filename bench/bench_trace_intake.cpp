// Sustained intake of a whole trace: the simulated unit at full speed (its sample
// memory always full, so the host sets the pace) through the device library, the
// log collector, the report writer, the view model's Broadcast into a 1920-column
// live window and the display trigger analyzer, until the report is reopened.
// Reported as records/s and as a multiple of the top sampling rate (10,485,760
// records/s); with and without a display trigger.
//
// The CPU time of the library's writer thread ("qvusb-writer", which runs the collector,
// the report writer, the overview and Broadcast) and of its control thread
// ("qvusb-control", the simulated unit) is read from /proc (the scheduler's ns per
// thread), not the wall clock, since other work shares the machine:
//   writer_ns_per_record   writer CPU per record taken in
//   writer_core_at_top     that CPU as a share of one core at 10,485,760 records/s
// BM_TraceIntakeRealTime paces the simulated unit in real time at the top rate (5 s of
// records, "demo" signal as the program's --simulate) and reports the writer's share of
// one core as measured (writer_core).

#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/Presenters/Interaction.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxWinCommon/QVxNotification.h"

#include <benchmark/benchmark.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr double kTopRate = 10'485'760.0;
constexpr std::int32_t kStopMiB = 1536;         // 100,663,296 records
constexpr std::int32_t kRealTimeStopMiB = 800;  // 52,428,800 records: 5 s at the top rate

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

// The task id of this process's thread named `name`, if there is one.
std::optional<std::string> FindThread(const std::string& name) {
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string line;
        if (std::getline(comm, line) && line == name) return task.path().filename().string();
    }
    return std::nullopt;
}

// CPU time (ns) the scheduler has given thread `tid` so far (first field of its schedstat).
double ThreadCpuNs(const std::optional<std::string>& tid) {
    if (!tid) return 0;
    std::ifstream stat("/proc/self/task/" + *tid + "/schedstat");
    double ns = 0;
    stat >> ns;
    return ns;
}

double LoadAverage() {
    std::ifstream load("/proc/loadavg");
    double one = 0;
    load >> one;
    return one;
}

// Deletes the recorded files below `folder` and keeps its folders.
void RemoveFiles(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(entry.path());
    for (const auto& file : files) fs::remove(file);
}

enum class Pace { kMax, kRealTime };

void RunTraces(benchmark::State& state, bool withTrigger, Pace pace) {
    spdlog::set_level(spdlog::level::err);
    // One folder for the whole process: the cache folder found by the first run is kept
    // by the next ones. Each run deletes the files it recorded.
    const fs::path base = fs::temp_directory_path() / "qvx_bench_trace_intake";
    static const bool cleared = (fs::remove_all(base), true);
    static_cast<void>(cleared);
    fs::create_directories(base);
    ::setenv("QVPLUS_TEMP_DIR", base.c_str(), 1);
    ::setenv("QVPLUS_SIMULATED_UNITS", "AN0000SIM", 1);
    ::setenv("QVPLUS_SIM_SIGNAL", pace == Pace::kMax ? "counter" : "demo", 1);
    ::setenv("QVPLUS_SIM_SPEED", pace == Pace::kMax ? "max" : "real", 1);
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

        const auto writer = FindThread("qvusb-writer");
        const auto control = FindThread("qvusb-control");
        if (!writer) state.SkipWithError("no writer thread found");
        std::uint64_t records = 0;
        double seconds = 0, writerNs = 0, controlNs = 0, load = 0;
        for (auto _ : state) {
            qvx::AnalogSettings& s = *viewModel.GetSessionSettings();
            s.samplingFrequency = 2;
            s.enableReportFileRotation = false;
            s.enableStopDataSize = true;
            s.stopDataSizeMB = pace == Pace::kMax ? kStopMiB : kRealTimeStopMiB;
            s.displayTriggerMode =
                withTrigger ? qvx::DisplayTriggerMode::kRepeat : qvx::DisplayTriggerMode::kNone;
            s.displayTriggerSourceChannel = 0;             // CH1: a ramp over 16,384 records
            s.displayTriggerSettings[0].voltageLevel = 0;  // mid-scale: one rising crossing per ramp
            const auto begin = std::chrono::steady_clock::now();
            const double writerBefore = ThreadCpuNs(writer), controlBefore = ThreadCpuNs(control);
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
            writerNs += ThreadCpuNs(writer) - writerBefore;
            controlNs += ThreadCpuNs(control) - controlBefore;
            load = LoadAverage();
            state.SetIterationTime(elapsed);
            seconds += elapsed;
            records += viewModel.GetRecordCount();
            state.counters["triggers"] =
                static_cast<double>(viewModel.GetSession()->GetDisplayTriggerList().size());
        }
        state.counters["records_per_s"] = records / seconds;
        state.counters["x_top_rate"] = records / seconds / kTopRate;
        state.counters["MB_per_s"] = records * 16.0 / seconds / 1e6;
        state.counters["writer_ns_per_record"] = writerNs / records;
        state.counters["writer_core_at_top"] = writerNs / records * kTopRate / 1e9;
        state.counters["writer_core"] = writerNs / 1e9 / seconds;
        state.counters["control_core"] = controlNs / 1e9 / seconds;
        state.counters["load_1min"] = load;
        viewModel.Shutdown();
        Pump();
    }
    qvx::Interaction::Clear();
    QVxNotification::Set(nullptr);
    RemoveFiles(base);
}

void BM_TraceIntake(benchmark::State& state) {
    RunTraces(state, state.range(0) != 0, Pace::kMax);
}

void BM_TraceIntakeRealTime(benchmark::State& state) {
    RunTraces(state, state.range(0) != 0, Pace::kRealTime);
}

BENCHMARK(BM_TraceIntake)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("trigger")
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_TraceIntakeRealTime)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("trigger")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
