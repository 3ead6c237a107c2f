// The averaged spectrum of one channel of a stored report, against reading the same files
// with cat: $QVX_BENCH_FILES full files (default 32: 16 GiB, 1,073,741,824 records at
// 10,485,760 records/s) written into a temp folder (or $QVX_BENCH_DIR) and deleted at the end.
//
// The generated signal on CH1: a 1 kHz tone of 3,000 codes, a 123.4 kHz tone of 300 codes and
// a little noise. Reports, cold (every data file dropped from the page cache with
// posix_fadvise(DONTNEED) first) and warm (right after a full pass):
// - `cat FILE > /dev/null` over every file;
// - the spectrum of CH1 over the whole report, N = 65,536, Hann ($QVX_BENCH_NFFT and
//   $QVX_BENCH_WINDOW change them), in ms, the multiple of cat's time, samples per second of
//   wall time and per second of CPU time (every thread of the process, user and system: the
//   samples one core handles per second);
// - the same with a spectrogram of 2,000 columns (warm).
// Also the time to make the FFTW plan, which the first computation of an N pays.

#include "QV+AnalogCore/Analysis/ReportSpectrum.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "bench/generated_report_bench_support.h"

#include <spdlog/spdlog.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>

namespace fs = std::filesystem;
using qvx::analog::SpectrumRequest;
using qvx::analog::SpectrumResult;
using qvx::bench::Clock;
using qvx::bench::Ms;

namespace {

constexpr std::int64_t kRate = 10'485'760;

std::uint64_t TickOf(std::uint64_t i) {
    return i * 100'000'000 / kRate;
}

qvx::test::Samples SamplesOf(std::uint64_t i) {
    const double t = static_cast<double>(i) / kRate;
    const double v = 8192 + 3000 * std::sin(2 * std::numbers::pi * 1000 * t) +
                     300 * std::sin(2 * std::numbers::pi * 123'400 * t) +
                     static_cast<double>((i * 2654435761u) % 17);
    return {static_cast<std::uint16_t>(v), 8192, 8192, 8192};
}

}  // namespace

int main() {
    spdlog::set_level(spdlog::level::warn);
    if (const char* base = std::getenv("QVX_BENCH_DIR")) ::setenv("TMPDIR", base, 1);
    SpectrumRequest request;
    request.nfft =
        std::getenv("QVX_BENCH_NFFT") ? std::strtoull(std::getenv("QVX_BENCH_NFFT"), nullptr, 10) : 65'536;
    if (const char* name = std::getenv("QVX_BENCH_WINDOW"))
        request.window =
            qvx::analog::SpectrumWindowFromName(name).value_or(qvx::analog::SpectrumWindow::kHann);
    qvx::test::TempDir dir("bench-spectrum");
    const fs::path repo = dir.Path() / "repo";

    qvx::test::ReportBuilder builder(repo);
    builder.Times(&TickOf).SampleValues(&SamplesOf);
    const qvx::bench::GeneratedReport report = qvx::bench::GenerateReport(builder, repo, false);
    const auto records = static_cast<double>(report.Records());
    const auto dropAll = [&] { report.DropFromCache(); };
    const auto cat = [&] { return qvx::bench::CatMs(report.dats); };
    auto t = Clock::now();
    auto reader = qvx::ReportDataReader::Open(repo);
    if (!reader) {
        std::printf("the report could not be opened\n");
        return 1;
    }
    // The plan, made once per N for the process, on a span of one segment.
    t = Clock::now();
    SpectrumRequest first = request;
    first.toNs = static_cast<std::int64_t>(TickOf(request.nfft) * 10);
    qvx::analog::ComputeSpectrum(*reader, nullptr, qvx::AnalogSettings{}, first);
    std::printf("first spectrum of N = %zu (plan included): %.0f ms\n", request.nfft, Ms(t));

    const auto spectrum = [&](const char* name, bool cold, double catMs, std::size_t columns) {
        if (cold) dropAll();
        SpectrumRequest r = request;
        r.columns = columns;
        const auto start = Clock::now();
        const double cpuStart = qvx::bench::ProcessCpuMs();
        const SpectrumResult result =
            qvx::analog::ComputeSpectrum(*reader, nullptr, qvx::AnalogSettings{}, r);
        const double ms = Ms(start);
        const double cpuMs = qvx::bench::ProcessCpuMs() - cpuStart;
        std::printf(
            "%-28s %-4s %8.0f ms  %6.2f x cat's time  %6.1f M samples/s  CPU %6.0f ms, %6.1f M samples per "
            "CPU-second  %llu segments, peak %.3f Hz\n",
            name, cold ? "cold" : "warm", ms, ms / catMs, records / ms / 1e3, cpuMs, records / cpuMs / 1e3,
            static_cast<unsigned long long>(result.segments),
            result.figures.peaks.empty() ? 0.0 : result.figures.peaks.front().frequencyHz);
    };
    dropAll();
    const double catCold = cat();
    spectrum("spectrum CH1", true, catCold, 0);
    const double catWarm = cat();
    qvx::bench::PrintCat(report, catCold, catWarm);
    // $QVX_BENCH_REPEAT warm runs (default 1), e.g. for a profiler.
    const int repeat = std::getenv("QVX_BENCH_REPEAT") ? std::atoi(std::getenv("QVX_BENCH_REPEAT")) : 1;
    for (int i = 0; i < repeat; ++i) spectrum("spectrum CH1", false, catWarm, 0);
    spectrum("spectrum CH1 + spectrogram", false, catWarm, SpectrumRequest::kMaxSpectrogramColumns);
    return 0;
}
