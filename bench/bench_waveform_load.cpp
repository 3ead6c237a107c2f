// Stored-data window loads of the oscillograph view model on a generated report of
// four full files (4 x 512 MiB of records, 134,217,728 records at 10,485,760
// samples/s, i.e. 12.8 s of data), written once into a temp folder (or
// $QVX_BENCH_DIR) and deleted at the end.
//
// For each of the 26 zoom steps: a 1920-column window centred on the middle of the
// report (clamped to the data) is reloaded completely once per iteration (a zoom to
// the same step reloads every column). Reported per load: milliseconds, records
// decoded, and the records that the window spans. The files sit in the page cache
// (just written), so the figures are decoding and block-copy cost, not disk reads.
// After the run a plain table of the same figures is printed; on a busy machine
// the CPU time column is the steadier measure of the load's own cost.

#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogRecordDecoding.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "bench/oscillograph_bench_support.h"

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>

namespace fs = std::filesystem;

namespace {

constexpr int kFileCount = 4;
constexpr std::uint64_t kTotalRecords = kFileCount * qvx::kRecordsPerReportFile;
constexpr std::int64_t kSamplesPerSecond = 10'485'760;  // sampling frequency index 2
constexpr std::int64_t kColumns = 1920;

// Time stamp (10 ns ticks) of record i at 10,485,760 samples/s.
std::uint64_t TickOf(std::uint64_t i) {
    return i * 100'000'000 / kSamplesPerSecond;
}

using Owner = qvx::bench::OscilloGraphOwner;

fs::path s_folder;
qvx::ReportDataReaderPtr s_reader;

struct Row {
    std::int64_t timeParPixel = 0;
    std::int64_t stride = 0;
    double msPerLoad = 0;
    double cpuMsPerLoad = 0;
    double decodedPerLoad = 0;
    double recordsInWindow = 0;
};
std::vector<Row> s_rows;

void BM_WindowLoad(benchmark::State& state, std::size_t step) {
    Owner owner;
    owner.settings.samplingFrequency = 2;
    const qvx::WaveformScalingList list;
    const std::int64_t tpp = list[step].timeParPixel;
    owner.settings.visualSettings.timeScale = tpp;
    QVxAnalogOscilloGraphViewModel vm(&owner);
    qvx::bench::CentreStoredWindow(vm, s_reader, kColumns, tpp,
                                   static_cast<std::int64_t>(TickOf(kTotalRecords / 2)) * 10);

    const auto& rd = vm.GetWritingRenderData();
    const std::int64_t begin = std::max<std::int64_t>(rd.Columns().front().start, 0);
    const std::int64_t end = std::min<std::int64_t>(
        rd.Columns().back().end, static_cast<std::int64_t>(TickOf(kTotalRecords - 1)) * 10);
    const double spanned = static_cast<double>(end - begin) * kSamplesPerSecond / 1e9;

    const std::uint64_t before = vm.GetDecodedRecordCount();
    std::int64_t loads = 0;
    for (auto _ : state) {
        vm.ResetViewportScale(tpp);
        ++loads;
    }
    const double decoded =
        static_cast<double>(vm.GetDecodedRecordCount() - before) / static_cast<double>(loads);
    state.counters["decoded_per_load"] = decoded;
    state.counters["records_in_window"] = spanned;
    state.counters["stride"] = static_cast<double>(qvx::analog::LoadStride(list[step].stride, 2));
    Row& row = s_rows[step];
    row.timeParPixel = tpp;
    row.stride = qvx::analog::LoadStride(list[step].stride, 2);
    row.decodedPerLoad = decoded;
    row.recordsInWindow = spanned;
}

// Records the mean real time per iteration of every run into the table rows.
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const std::string name = run.benchmark_name();
            const auto pos = name.find("step:");
            if (pos == std::string::npos || run.iterations == 0) continue;
            const std::size_t step = std::stoul(name.substr(pos + 5));
            s_rows[step].cpuMsPerLoad =
                run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e3;
            s_rows[step].msPerLoad =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e3;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

void PrintTable() {
    std::printf(
        "\n| step | ns/column | stride | window (ms) | records in window | decoded per load | ms per load | "
        "CPU ms per load |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (std::size_t i = 0; i < s_rows.size(); ++i) {
        const Row& r = s_rows[i];
        std::printf("| %zu | %lld | %lld | %.3f | %.0f | %.0f | %.3f | %.3f |\n", i,
                    static_cast<long long>(r.timeParPixel), static_cast<long long>(r.stride),
                    static_cast<double>(r.timeParPixel * kColumns) / 1e6, r.recordsInWindow, r.decodedPerLoad,
                    r.msPerLoad, r.cpuMsPerLoad);
    }
}

}  // namespace

int main(int argc, char** argv) {
    spdlog::set_level(spdlog::level::warn);
    benchmark::Initialize(&argc, argv);
    const char* base = std::getenv("QVX_BENCH_DIR");
    const fs::path root = base ? fs::path(base) : fs::temp_directory_path();
    std::optional<qvx::test::TempDir> dir;
    {
        // TempDir lives under the temp directory; $QVX_BENCH_DIR redirects it.
        if (base) ::setenv("TMPDIR", base, 1);
        dir.emplace("bench-waveform");
    }
    s_folder = dir->Path();
    const auto t0 = std::chrono::steady_clock::now();
    qvx::test::ReportBuilder builder(s_folder);
    builder.Times(&TickOf);
    for (int n = 0; n < kFileCount; ++n) builder.AddFile(n, qvx::kRecordsPerReportFile);
    s_reader = qvx::ReportDataReader::Open(s_folder);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::fprintf(stderr, "generated %llu records (%.1f GiB) in %.1f s under %s\n",
                 static_cast<unsigned long long>(kTotalRecords),
                 static_cast<double>(kTotalRecords * qvx::kReportRecordSize) / (1 << 30), seconds,
                 root.c_str());
    if (!s_reader) {
        std::fprintf(stderr, "the generated report did not open\n");
        return 1;
    }
    const qvx::WaveformScalingList list;
    s_rows.resize(list.Size());
    for (std::size_t step = 0; step < list.Size(); ++step) {
        benchmark::RegisterBenchmark(
            fmt::format("WindowLoad/step:{}/tpp:{}", step, list[step].timeParPixel).c_str(), BM_WindowLoad,
            step)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.2);
    }
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintTable();
    s_reader.reset();
    return 0;
}
