// Report writing: the collector's OnData throughput, and the writer's CPU use at the
// unit's top rate.
//
//   bench_report_writer                      OnData records/s with 4 MiB blocks into real files
//   bench_report_writer --paced 30 [DIR]     30 s paced at 10,485,760 records/s (167.8 MB/s):
//                                            CPU use and the longest block write: streaming
//                                            write-back with the data forced out every second
//                                            (as recorded), without that, and plain writes
//
// Files go to a temp folder (or DIR) and are removed afterwards.

#include "QV+AnalogCore/DataClasses/QVxAnalogLogCollector.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/ReportData/ReportDataWriter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr double kTopRate = 10'485'760.0;  // records/s
constexpr std::size_t kBlockBytes = 4 << 20;

struct NullHost : IQVxLogCollectorHost {
    void Broadcast(const std::uint8_t*, std::int64_t) override {}
    bool IsStoppingTrace() const override { return false; }
    void StopTrace() override {}
    void OnTraceEnded(QVxAbortType) override {}
};

fs::path MakeTempFolder(const fs::path& base) {
    fs::path dir = base / ("qvx-bench-writer-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir;
}

std::vector<std::uint8_t> Block() {
    std::vector<std::uint8_t> block(kBlockBytes);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 131);
    return block;
}

void BM_CollectorOnData(benchmark::State& state) {
    const fs::path dir = MakeTempFolder(fs::temp_directory_path());
    {
        qvx::AnalogSession session;
        session.NewInternal(dir);
        session.GetSettings().enableReportFileRotation = false;
        NullHost host;
        QVxAnalogLogCollector collector(&host);
        collector.Start(session);
        collector.TakeAbortType();
        const auto block = Block();
        for (auto _ : state) collector.OnData(block.data(), 1, block.size(), 0);
        collector.CloseWriter();
        const double records = double(state.iterations()) * kBlockBytes / 16;
        state.counters["records/s"] = benchmark::Counter(records, benchmark::Counter::kIsRate);
        state.counters["x top rate"] = benchmark::Counter(records / kTopRate, benchmark::Counter::kIsRate);
    }
    fs::remove_all(dir);
}
BENCHMARK(BM_CollectorOnData)->Iterations(512)->UseRealTime()->Unit(benchmark::kMillisecond);

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

void RunPaced(double seconds, const fs::path& base, bool streamingWriteBack, bool durable) {
    const fs::path dir = MakeTempFolder(base);
    const auto block = Block();
    qvx::ReportDataWriter writer(dir, qvx::MakeApplicationReportHeader());
    writer.SetStreamingWriteBack(streamingWriteBack);
    if (!durable) writer.SetDurabilityInterval(std::chrono::milliseconds(0));
    writer.CreateReportFile();

    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration<double>(kBlockBytes / (kTopRate * 16));  // 25 ms
    const int blocks = static_cast<int>(seconds / period.count());
    const double cpuStart = ThreadCpuSeconds();
    const auto start = Clock::now();
    double longestMs = 0;
    std::vector<double> latencies;
    for (int i = 0; i < blocks; ++i) {
        std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(period * i));
        const auto t0 = Clock::now();
        writer.WriteRecord(block.data(), kBlockBytes / 16);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        latencies.push_back(ms);
        longestMs = std::max(longestMs, ms);
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = ThreadCpuSeconds() - cpuStart;
    writer.Close();
    std::sort(latencies.begin(), latencies.end());
    std::cout << (!streamingWriteBack ? "plain buffered writes"
                  : durable           ? "streaming write-back, fdatasync every second"
                                      : "streaming write-back")
              << ": " << blocks << " blocks in " << wall << " s, CPU " << 100.0 * cpu / wall
              << " % of a core, "
              << "block write median " << latencies[latencies.size() / 2] << " ms, p99 "
              << latencies[latencies.size() * 99 / 100] << " ms, longest " << longestMs << " ms" << std::endl;
    fs::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--paced") == 0) {
        const double seconds = std::atof(argv[2]);
        const fs::path base = argc >= 4 ? fs::path(argv[3]) : fs::temp_directory_path();
        RunPaced(seconds, base, true, true);
        RunPaced(seconds, base, true, false);
        RunPaced(seconds, base, false, false);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
