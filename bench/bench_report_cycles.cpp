// Cycle measurement of a stored report against reading the same files with cat:
// $QVX_BENCH_FILES full files (default 32: 16 GiB, 1,073,741,824 records at 10,485,760
// records/s, 102.4 s) written into a temp folder (or $QVX_BENCH_DIR), indexed, and deleted at
// the end.
//
// The generated signal: CH1 is a 1 kHz square wave between codes 4192 and 12192 with 10 us
// linear edges (about 105 records) and +-16 codes of noise; the other channels rest.
//
// Reports, cold (every data and overview file dropped from the page cache with
// posix_fadvise(DONTNEED) first) and warm (after cat of every data and overview file: a
// pass that reads a few records per edge leaves most of them out of the cache):
// - `cat FILE > /dev/null` over every file;
// - every cycle of CH1 at 0 V with the default hysteresis, with the overview (skipping the
//   plateaus) and without it (every record read), with the share of records read and the
//   multiple of cat's time.
// $QVX_BENCH_REPEAT sets the warm passes with the overview (default 2);
// $QVX_BENCH_OVERVIEW_ONLY=1 leaves out the passes over every record.

#include "QV+AnalogCore/Analysis/ReportCycleMeasurement.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportOverview.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "bench/generated_report_bench_support.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fs = std::filesystem;
using qvx::analog::CycleParameter;
using qvx::bench::Clock;
using qvx::bench::Ms;

namespace {

constexpr std::int64_t kRate = 10'485'760;
constexpr std::uint64_t kPeriodTicks = 100'000;  // 1 ms
constexpr std::uint64_t kEdgeTicks = 1'000;      // 10 us

std::uint64_t TickOf(std::uint64_t i) {
    return i * 100'000'000 / kRate;
}

qvx::test::Samples SamplesOf(std::uint64_t i) {
    const std::uint64_t phase = TickOf(i) % kPeriodTicks;
    double level = 0;  // 0 low .. 1 high
    if (phase < kEdgeTicks)
        level = static_cast<double>(phase) / kEdgeTicks;
    else if (phase < kPeriodTicks / 2)
        level = 1;
    else if (phase < kPeriodTicks / 2 + kEdgeTicks)
        level = 1 - static_cast<double>(phase - kPeriodTicks / 2) / kEdgeTicks;
    const int noise = static_cast<int>((i * 2654435761u >> 13) % 33) - 16;
    const auto ch1 = static_cast<std::uint16_t>(4192 + static_cast<int>(level * 8000) + noise);
    return {ch1, 8192, 8192, 8192};
}

}  // namespace

int main() {
    spdlog::set_level(spdlog::level::warn);
    if (const char* base = std::getenv("QVX_BENCH_DIR")) ::setenv("TMPDIR", base, 1);
    qvx::test::TempDir dir("bench-cycles");
    const fs::path repo = dir.Path() / "repo";

    qvx::test::ReportBuilder builder(repo);
    builder.Times(&TickOf).SampleValues(&SamplesOf);
    const qvx::bench::GeneratedReport report = qvx::bench::GenerateReport(builder, repo, true);
    const auto dropAll = [&] { report.DropFromCache(); };
    dropAll();
    const double catCold = qvx::bench::CatMs(report.dats);
    const double catWarm = qvx::bench::CatMs(report.dats);
    qvx::bench::PrintCat(report, catCold, catWarm);

    auto reader = qvx::ReportDataReader::Open(repo);
    auto overview = reader ? qvx::ReportOverview::Open(*reader) : nullptr;
    if (!reader || !overview) {
        std::printf("the report or its overview could not be opened\n");
        return 1;
    }
    const qvx::AnalogSettings settings;
    qvx::analog::CycleRequest request;
    request.channel = 0;
    request.levelMv = 0;
    request.limits[static_cast<std::size_t>(CycleParameter::kFrequency)] = {999.0, 1001.0};
    const auto measure = [&](const char* name, bool withOverview, bool cold) {
        if (cold) dropAll();
        const auto start = Clock::now();
        const auto r =
            qvx::analog::MeasureCycles(*reader, withOverview ? overview.get() : nullptr, settings, request);
        const double ms = Ms(start);
        const double catMs = cold ? catCold : catWarm;
        const auto& f = r.stats[static_cast<std::size_t>(CycleParameter::kFrequency)];
        const auto& rise = r.stats[static_cast<std::size_t>(CycleParameter::kRise)];
        if (r.status != qvx::analog::CycleResult::Status::kDone)
            std::printf("status %d\n", static_cast<int>(r.status));
        std::printf(
            "%-26s %-4s %8.0f ms  %7llu cycles  %.6f Hz mean  rise %.0f ns  %llu violations  %5.2f %% of "
            "records "
            "read  %5.2f x cat's time\n",
            name, cold ? "cold" : "warm", ms, static_cast<unsigned long long>(r.cycles), f.mean, rise.mean,
            static_cast<unsigned long long>(r.violationCount),
            100.0 * static_cast<double>(r.recordsRead) /
                static_cast<double>(r.recordsRead + r.recordsSkipped),
            ms / catMs);
    };
    measure("cycles CH1, overview", true, true);
    report.WarmCache();
    // $QVX_BENCH_REPEAT warm runs (default 2), e.g. for a profiler.
    const int repeat = std::getenv("QVX_BENCH_REPEAT") ? std::atoi(std::getenv("QVX_BENCH_REPEAT")) : 2;
    for (int i = 0; i < repeat; ++i) measure("cycles CH1, overview", true, false);
    // QVX_BENCH_OVERVIEW_ONLY=1: without the passes over every record (for profiling).
    if (std::getenv("QVX_BENCH_OVERVIEW_ONLY")) return 0;
    measure("cycles CH1, every record", false, true);
    report.WarmCache();
    measure("cycles CH1, every record", false, false);
    return 0;
}
