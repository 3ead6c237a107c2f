// Pictures of a 1280 x 800 monitor window on a stored report, zoomed out to the whole
// recording: the PNG (raster paint and compression), the SVG (vector paint and XML) and
// the window's picture on a PDF page through its SVG, each timed with its file size in
// bytes as a counter. Offscreen Qt platform; files go to memory buffers.
//
// The report: one generated file of 4,194,304 records (a sine on CH1, a ramp on CH2,
// steps on CH3, noise on CH4; 100 ns per record), written once into a temp folder and
// deleted at the end.

#include "QV+Analog/Pictures/QVxRecordingView.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformPicture.h"

#include <QApplication>
#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>

#include <benchmark/benchmark.h>
#include <spdlog/spdlog.h>

#include <cmath>
#include <memory>

namespace {

constexpr std::uint64_t kRecords = 4'194'304;

struct Report {
    qvx::test::TempDir dir{"bench-pictures"};
    qvx::ReportDataReaderPtr reader;
    qvx::AnalogSettings settings;
    std::unique_ptr<QVxRecordingView> view;
    Report() {
        qvx::test::ReportBuilder(dir.Path())
            .SampleValues([](std::uint64_t i) {
                const double s = std::sin(static_cast<double>(i) * 2.0 * M_PI / 100'000.0);
                return qvx::test::Samples{static_cast<std::uint16_t>(8192 + 6000 * s),
                                          static_cast<std::uint16_t>(i % 16384),
                                          static_cast<std::uint16_t>((i / 65536) % 2 ? 12000 : 4000),
                                          static_cast<std::uint16_t>((i * 2654435761u) >> 18 & 16383)};
            })
            .AddFile(0, kRecords);
        reader = qvx::ReportDataReader::Open(dir.Path());
        view = std::make_unique<QVxRecordingView>(reader, settings, false, QSize(1280, 800));
        view->ShowWhole();
    }
};

// Made in main and removed before the application: it holds a window.
std::unique_ptr<Report> g_report;

Report& Shared() {
    return *g_report;
}

void BM_Png(benchmark::State& state) {
    CQVxWaveformMonitorWnd& window = Shared().view->Window();
    qint64 bytes = 0;
    for (auto _ : state) {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        CQVxWaveformPicture::WritePng(window, out);
        bytes = out.size();
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}

void BM_Svg(benchmark::State& state) {
    CQVxWaveformMonitorWnd& window = Shared().view->Window();
    qint64 bytes = 0;
    for (auto _ : state) {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        CQVxWaveformPicture::WriteSvg(window, out, QStringLiteral("bench"));
        bytes = out.size();
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}

void BM_PdfPage(benchmark::State& state) {
    CQVxWaveformMonitorWnd& window = Shared().view->Window();
    qint64 bytes = 0;
    for (auto _ : state) {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        {
            QPdfWriter pdf(&out);
            QPainter painter(&pdf);
            CQVxWaveformPicture::PaintVectors(window, painter, QRectF(0, 0, 1280, 800));
        }
        bytes = out.size();
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}

BENCHMARK(BM_Png)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Svg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PdfPage)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    spdlog::set_level(spdlog::level::warn);
    qvx::Dispatcher::AttachMain(qvx::Dispatcher::kQtEventLoop);
    benchmark::Initialize(&argc, argv);
    g_report = std::make_unique<Report>();
    benchmark::RunSpecifiedBenchmarks();
    g_report.reset();
    benchmark::Shutdown();
    qvx::Dispatcher::DestroyMain();
    return 0;
}
