// Report data reader on a generated report of four full files (4 x 512 MiB of records,
// 134,217,728 records, one every 10 ticks), written once into a temp folder (or
// $QVX_BENCH_DIR) and deleted at the end.
//
// Measures: Open (folder scan + block tables), ReadRecordByIndex random over the whole
// report (crosses files, so the 3-file limit reopens files), random within one file, and
// sequential (records/s); FindIndexByTime per call.
// "Warm": the files sit in the page cache (read through once before a warm run). "Cold": each file is flushed
// and dropped from the page cache (posix_fadvise DONTNEED) before the run and every 1024 iterations; on a
// virtual disk the host may still cache, so cold is a lower bound on cost.

#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/tests/support/ReportBuilder.h"

#include <benchmark/benchmark.h>
#include <spdlog/spdlog.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kFileCount = 4;
constexpr std::uint64_t kTotalRecords = kFileCount * qvx::kRecordsPerReportFile;
constexpr std::int64_t kColdEvery = 1024;

fs::path s_folder;
bool s_cacheDropped = false;

void DropPageCache() {
    s_cacheDropped = true;
    for (int n = 0; n < kFileCount; ++n) {
        const fs::path path = s_folder / qvx::test::ReportFileName(n);
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

// Reads every file once so that a warm run after a cold one starts from a full page cache.
void WarmPageCache() {
    if (!s_cacheDropped) return;
    std::vector<char> buffer(8 << 20);
    for (int n = 0; n < kFileCount; ++n) {
        const fs::path path = s_folder / qvx::test::ReportFileName(n);
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        while (::read(fd, buffer.data(), buffer.size()) > 0) {
        }
        ::close(fd);
    }
    s_cacheDropped = false;
}

// Cold runs drop the cache outside the timed region, before the run and then periodically.
void MaybeDropCache(benchmark::State& state, bool cold, std::int64_t iteration) {
    if (!cold || iteration % kColdEvery != 0) return;
    state.PauseTiming();
    DropPageCache();
    state.ResumeTiming();
}

qvx::ReportDataReaderPtr OpenOrSkip(benchmark::State& state, bool cold) {
    if (!cold) WarmPageCache();
    auto reader = qvx::ReportDataReader::Open(s_folder);
    if (!reader) state.SkipWithError("the generated report did not open");
    return reader;
}

void BM_Open(benchmark::State& state) {
    const bool cold = state.range(0) != 0;
    if (!cold) WarmPageCache();
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            DropPageCache();
            state.ResumeTiming();
        }
        auto reader = qvx::ReportDataReader::Open(s_folder);
        if (!reader) {
            state.SkipWithError("open failed");
            break;
        }
        benchmark::DoNotOptimize(reader->GetTotalRecordCount());
    }
}
BENCHMARK(BM_Open)
    ->ArgName("cold")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

// range(0): cold; range(1): 1 = whole report, 0 = within file 0 only.
void BM_ReadRandom(benchmark::State& state) {
    const bool cold = state.range(0) != 0;
    const std::uint64_t span = state.range(1) ? kTotalRecords : qvx::kRecordsPerReportFile;
    auto reader = OpenOrSkip(state, cold);
    if (!reader) return;
    std::mt19937_64 gen(42);
    std::uniform_int_distribution<std::uint64_t> pick(0, span - 1);
    std::int64_t i = 0;
    for (auto _ : state) {
        MaybeDropCache(state, cold, i++);
        const std::uint8_t* r = reader->ReadRecordByIndex(pick(gen));
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadRandom)
    ->ArgNames({"cold", "wholeReport"})
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({1, 0})
    ->UseRealTime();

void BM_ReadSequential(benchmark::State& state) {
    const bool cold = state.range(0) != 0;
    auto reader = OpenOrSkip(state, cold);
    if (!reader) return;
    // Start shortly before a file boundary so the run crosses into the next file.
    std::uint64_t index = qvx::kRecordsPerReportFile - 100'000;
    if (cold) DropPageCache();
    for (auto _ : state) {
        const std::uint8_t* r = reader->ReadRecordByIndex(index);
        benchmark::DoNotOptimize(r);
        if (++index == kTotalRecords) index = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadSequential)->ArgName("cold")->Arg(0)->Arg(1)->UseRealTime();

void BM_FindIndexByTime(benchmark::State& state) {
    const bool cold = state.range(0) != 0;
    auto reader = OpenOrSkip(state, cold);
    if (!reader) return;
    std::mt19937_64 gen(7);
    std::uniform_int_distribution<std::uint64_t> pick(0, reader->GetLastTime() + 1000);
    std::int64_t i = 0;
    std::uint64_t index = 0, time = 0;
    for (auto _ : state) {
        MaybeDropCache(state, cold, i++);
        benchmark::DoNotOptimize(reader->FindIndexByTime(pick(gen), index, time));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindIndexByTime)->ArgName("cold")->Arg(0)->Arg(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    spdlog::set_level(spdlog::level::warn);

    std::unique_ptr<qvx::test::TempDir> temp;
    if (const char* dir = std::getenv("QVX_BENCH_DIR"); dir && *dir) {
        s_folder = fs::path(dir) / "bench-report";
        fs::remove_all(s_folder);
    } else {
        temp = std::make_unique<qvx::test::TempDir>("bench-report");
        s_folder = temp->Path();
    }
    const auto start = std::chrono::steady_clock::now();
    {
        qvx::test::ReportBuilder builder(s_folder);
        for (int n = 0; n < kFileCount; ++n) builder.AddFile(n, qvx::kRecordsPerReportFile);
    }
    std::fprintf(stderr, "generated %d files of 512 MiB in %.1f s in %s\n", kFileCount,
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                 s_folder.c_str());

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!temp) fs::remove_all(s_folder);
    return 0;
}
