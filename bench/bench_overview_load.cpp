// Window loads of the oscillograph view model through the report overview, on a
// generated report large enough to exceed what loading record by record can serve:
// $QVX_BENCH_FILES full files (default 32: 16 GiB, 1,073,741,824 records at 10,485,760
// records/s, 102.4 s) written into a temp folder (or $QVX_BENCH_DIR) and deleted at the
// end. CH4 holds one record at 16383 every 10 s, at an odd index.
//
// Reports, in this order:
// - the sequential read speed of the files (cold: every file dropped from the page cache
//   with posix_fadvise(DONTNEED) first), as `cat FILE > /dev/null` reads them;
// - indexing (building every overview from the files), cold, in MB/s of data read;
// - opening the reader and the overview, warm and cold;
// - for each of the 26 zoom steps, a full reload of a 1920-column window centred on the
//   middle of the report: warm (median of 5 loads) and cold (data and overview files
//   dropped from the page cache before the one load), with the records decoded per load
//   and the number of CH4 spikes the window shows against the number inside it.
// With QVX_BENCH_KEEP=1 the report stays (its folder is printed) for the viewer;
// QVX_BENCH_REPORT=FOLDER measures an existing report folder of this layout instead
// (nothing is generated, read with cat or deleted; missing overviews are built).

#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOverviewLoading.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportOverview.h"
#include "QVxCore/ReportData/ReportOverviewIndexer.h"
#include "QVxCore/ReportData/ReportOverviewStore.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "bench/oscillograph_bench_support.h"
#include "bench/report_file_bench_support.h"

#include <fcntl.h>
#include <spdlog/spdlog.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace fs = std::filesystem;
using qvx::bench::Clock;

namespace {

constexpr std::int64_t kRate = 10'485'760;
constexpr std::int64_t kColumns = 1920;
constexpr std::uint64_t kSpikeEvery = 10 * kRate + 1;  // odd: spikes at odd indexes

std::uint64_t TickOf(std::uint64_t i) {
    return i * 100'000'000 / kRate;
}
qvx::test::Samples SamplesOf(std::uint64_t i) {
    const auto wave =
        static_cast<std::uint16_t>(8192 + (i % 20'000 < 10'000 ? i % 10'000 : 20'000 - i % 20'000) / 4);
    const bool spike = i % kSpikeEvery == kSpikeEvery / 2;  // kSpikeEvery / 2 is odd
    return {wave, static_cast<std::uint16_t>(16383 - wave), static_cast<std::uint16_t>(i % 16384),
            static_cast<std::uint16_t>(spike ? 16383 : 8192 + static_cast<int>(i % 64))};
}

using qvx::bench::DropFromCache;
using qvx::bench::Files;
using qvx::bench::Ms;

using Owner = qvx::bench::OscilloGraphOwner;

const char* PathName(double recordsPerColumn) {
    if (recordsPerColumn >= static_cast<double>(qvx::analog::kOverviewMinRecordsPerColumn)) return "blocks";
    if (recordsPerColumn >= static_cast<double>(qvx::analog::kMixedMinRecordsPerColumn)) return "mixed";
    return "decode";
}

}  // namespace

int main() {
    spdlog::set_level(spdlog::level::warn);
    const char* base = std::getenv("QVX_BENCH_DIR");
    if (base) ::setenv("TMPDIR", base, 1);
    const int fileCount = std::getenv("QVX_BENCH_FILES") ? std::atoi(std::getenv("QVX_BENCH_FILES")) : 32;
    const char* existing = std::getenv("QVX_BENCH_REPORT");
    std::optional<qvx::test::TempDir> dir;
    if (!existing) dir.emplace("bench-overview");
    const fs::path repo = existing ? fs::path(existing) : dir->Path() / "repo";

    auto t = Clock::now();
    if (!existing) {
        qvx::test::ReportBuilder builder(repo);
        builder.Times(&TickOf).SampleValues(&SamplesOf);
        for (int n = 0; n < fileCount; ++n) builder.AddFile(n, qvx::kRecordsPerReportFile);
    }
    const std::vector<fs::path> dats = Files(repo);
    const std::uint64_t total = dats.size() * qvx::kRecordsPerReportFile;
    std::uint64_t bytes = 0;
    for (const fs::path& f : dats) bytes += fs::file_size(f);
    std::printf("%s %zu files, %.2f GiB, %llu records, in %.0f s under %s\n",
                existing ? "using" : "generated", dats.size(), bytes / 1073741824.0,
                static_cast<unsigned long long>(total), Ms(t) / 1e3, repo.c_str());
    const auto dropAll = [&] {
        for (const fs::path& f : dats) DropFromCache(f);
        for (const fs::path& f : Files(qvx::ReportOverviewStore::SiblingFolder(repo))) DropFromCache(f);
    };

    // cat FILE > /dev/null, cold.
    dropAll();
    if (!existing) {
        t = Clock::now();
        for (const fs::path& f : dats) {
            const std::string command = "cat '" + f.string() + "' > /dev/null";
            if (std::system(command.c_str()) != 0) std::printf("cat failed\n");
        }
        const double catMs = Ms(t);
        std::printf("cat (cold):                %8.0f ms  %7.0f MB/s\n", catMs, bytes / 1e3 / catMs);
    }

    // Opening without an overview: one record per 8192-record block.
    dropAll();
    t = Clock::now();
    auto reader = qvx::ReportDataReader::Open(repo);
    std::printf("reader open (cold):        %8.1f ms\n", Ms(t));
    t = Clock::now();
    reader = qvx::ReportDataReader::Open(repo);
    std::printf("reader open (warm):        %8.1f ms\n", Ms(t));

    std::vector<fs::path> needed;
    qvx::ReportOverview::Open(*reader, &needed);
    dropAll();
    t = Clock::now();
    if (!qvx::ReportOverviewIndexer::BuildAll(needed)) std::printf("indexing failed\n");
    const double indexMs = Ms(t);
    std::printf("indexing (cold):           %8.0f ms  %7.0f MB/s\n", indexMs, bytes / 1e3 / indexMs);

    dropAll();
    t = Clock::now();
    auto overview = qvx::ReportOverview::Open(*reader);
    std::printf("overview open (cold):      %8.1f ms  (%.2f ms per GiB)\n", Ms(t),
                Ms(t) / (bytes / 1073741824.0));
    t = Clock::now();
    overview = qvx::ReportOverview::Open(*reader);
    std::printf("overview open (warm):      %8.1f ms  (%.2f ms per GiB)\n", Ms(t),
                Ms(t) / (bytes / 1073741824.0));
    if (!overview) return 1;
    overview.reset();

    Owner owner;
    owner.settings.samplingFrequency = 2;
    const qvx::WaveformScalingList list;
    std::printf(
        "\n| step | ns/column | records/column | path | warm ms | cold ms | decoded/load | spikes shown/in "
        "window |\n");
    std::printf("|---:|---:|---:|---|---:|---:|---:|---:|\n");
    for (std::size_t step = 0; step < list.Size(); ++step) {
        const std::int64_t tpp = list[step].timeParPixel;
        owner.settings.visualSettings.timeScale = tpp;
        QVxAnalogOscilloGraphViewModel vm(&owner);
        qvx::bench::CentreStoredWindow(vm, reader, kColumns, tpp,
                                       static_cast<std::int64_t>(TickOf(total / 2)) * 10);

        std::vector<double> warm;
        std::uint64_t decoded = 0;
        for (int k = 0; k < 5; ++k) {
            const std::uint64_t before = vm.GetDecodedRecordCount();
            t = Clock::now();
            vm.ResetViewportScale(tpp);
            warm.push_back(Ms(t));
            decoded = vm.GetDecodedRecordCount() - before;
        }
        std::sort(warm.begin(), warm.end());
        dropAll();
        t = Clock::now();
        vm.ResetViewportScale(tpp);
        const double cold = Ms(t);

        const auto& rd = vm.GetWritingRenderData();
        const std::int64_t begin = rd.GetViewportBeginTimeOffset(), end = begin + kColumns * tpp;
        std::uint64_t inWindow = 0;
        for (std::uint64_t s = kSpikeEvery / 2; s < total; s += kSpikeEvery) {
            const auto ns = static_cast<std::int64_t>(TickOf(s)) * 10;
            inWindow += ns >= begin && ns < end;
        }
        std::uint64_t shown = 0;
        for (const auto& bin : rd.Line(3).Columns()) shown += bin.valid && bin.maxValue == 8191;
        std::printf("| %zu | %lld | %.0f | %s | %.2f | %.2f | %llu | %llu/%llu |\n", step,
                    static_cast<long long>(tpp), static_cast<double>(tpp) * kRate / 1e9,
                    PathName(static_cast<double>(tpp) * kRate / 1e9), warm[2], cold,
                    static_cast<unsigned long long>(decoded), static_cast<unsigned long long>(shown),
                    static_cast<unsigned long long>(inWindow));
        std::fflush(stdout);
    }
    if (dir && std::getenv("QVX_BENCH_KEEP")) {
        std::printf("kept %s\n", dir->Path().c_str());
        const fs::path kept = dir->Path().string() + "-kept";
        fs::rename(dir->Path(), kept);
        fs::create_directories(dir->Path());
    }
    return 0;
}
