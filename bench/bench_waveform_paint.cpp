// One full repaint of a 1920 x 1080 waveform monitor window on a stored report, at
// the finest (1 ns per pixel), a middle (20 us) and the coarsest (200 ms) zoom step:
// the window's data load (every column reloaded) and the paint (the whole window
// grabbed into an image) are timed separately; plus a one-column scroll (load of
// the new column and repaint) at the middle step. Offscreen Qt platform.
//
// The report: one generated file of 4,194,304 records at 10,485,760 samples/s
// (0.4 s of a sine on CH1, a ramp on CH2, noise-free steps on CH3/CH4), written
// once into a temp folder and deleted at the end; the window is centred on its
// middle (clamped to the data).

#include "QV+AnalogCore/Presenters/IQVxAnalogOscilloGraphOwner.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"
#include "bench/oscillograph_bench_support.h"

#include <QApplication>
#include <QPixmap>

#include <benchmark/benchmark.h>
#include <spdlog/spdlog.h>

#include <cmath>
#include <memory>

namespace {

constexpr std::uint64_t kRecords = 4'194'304;
constexpr std::int64_t kSamplesPerSecond = 10'485'760;

std::uint64_t TickOf(std::uint64_t i) {
    return i * 100'000'000 / kSamplesPerSecond;
}

using Owner = qvx::bench::OscilloGraphOwner;

struct Report {
    qvx::test::TempDir dir{"bench-paint"};
    qvx::ReportDataReaderPtr reader;
    Report() {
        qvx::test::ReportBuilder(dir.Path())
            .Times(TickOf)
            .SampleValues([](std::uint64_t i) {
                const double s = std::sin(static_cast<double>(i) * 2.0 * M_PI / 1'048'576.0);
                return qvx::test::Samples{static_cast<std::uint16_t>(8192 + 6000 * s),
                                          static_cast<std::uint16_t>(i % 16384),
                                          static_cast<std::uint16_t>((i / 65536) % 2 ? 12000 : 4000),
                                          static_cast<std::uint16_t>(8192 + (i % 1000))};
            })
            .AddFile(0, kRecords);
        reader = qvx::ReportDataReader::Open(dir.Path());
    }
};

Report& SharedReport() {
    static Report report;
    return report;
}

// A shown 1920 x 1080 monitor window at zoom step `step`, centred on the report's middle.
struct Window {
    Owner owner;
    std::unique_ptr<QVxAnalogOscilloGraphViewModel> vm;
    std::unique_ptr<CQVxWaveformMonitorWnd> wnd;
    explicit Window(std::size_t step) {
        vm = std::make_unique<QVxAnalogOscilloGraphViewModel>(&owner);
        const std::int64_t tpp = vm->GetScalingList()[step].timeParPixel;
        owner.settings.visualSettings.timeScale = tpp;
        vm->ResetViewportScale(tpp);
        wnd = std::make_unique<CQVxWaveformMonitorWnd>(CQVxWaveformMonitorWndProps{true});
        wnd->resize(1920, 1080);
        wnd->Setup(vm.get());
        wnd->show();
        vm->SetupForStoredData(SharedReport().reader);
        const std::int64_t middle = static_cast<std::int64_t>(TickOf(kRecords / 2)) * 10;
        const std::int64_t span = vm->GetWritingRenderData().ViewportWidthTime();
        vm->SetViewportBeginTimeOffset(std::max<std::int64_t>(0, middle - span / 2));
        QApplication::processEvents();
    }
    ~Window() { wnd->Setup(nullptr); }
};

std::size_t StepOf(const benchmark::State& state) {
    return static_cast<std::size_t>(state.range(0));
}

void BM_Load(benchmark::State& state) {
    Window w(StepOf(state));
    const std::uint64_t before = w.vm->GetDecodedRecordCount();
    for (auto _ : state) w.vm->qvx::WaveformPresenter::SetupForStoredData();  // every column reloads
    state.counters["ns_per_px"] = static_cast<double>(w.vm->GetWritingRenderData().GetTimeParPixel());
    state.counters["records_per_load"] =
        static_cast<double>(w.vm->GetDecodedRecordCount() - before) / static_cast<double>(state.iterations());
}

void BM_Paint(benchmark::State& state) {
    Window w(StepOf(state));
    for (auto _ : state) {
        QPixmap image = w.wnd->grab();
        benchmark::DoNotOptimize(image);
    }
    state.counters["ns_per_px"] = static_cast<double>(w.vm->GetWritingRenderData().GetTimeParPixel());
}

void BM_ScrollOneColumn(benchmark::State& state) {
    Window w(StepOf(state));
    const std::int64_t tpp = w.vm->GetWritingRenderData().GetTimeParPixel();
    std::int64_t direction = 1;
    for (auto _ : state) {
        const std::int64_t begin = w.vm->GetWritingRenderData().GetViewportBeginTimeOffset();
        w.vm->SetViewportBeginTimeOffset(begin + direction * tpp);
        direction = -direction;
        QPixmap image = w.wnd->grab();
        benchmark::DoNotOptimize(image);
    }
}

BENCHMARK(BM_Load)->Arg(0)->Arg(13)->Arg(25)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Paint)->Arg(0)->Arg(13)->Arg(25)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollOneColumn)->Arg(13)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    spdlog::set_level(spdlog::level::warn);
    qvx::Dispatcher::AttachMain(qvx::Dispatcher::kQtEventLoop);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    qvx::Dispatcher::DestroyMain();
    return 0;
}
