#pragma once
// The generated report of the read-bound benchmarks (search, cycles, spectrum): full files
// written through a ReportBuilder into a folder of $QVX_BENCH_DIR, optionally with their
// overview, the page cache dropped for cold figures, and `cat` of the files as reference.

#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportOverviewIndexer.h"
#include "QVxCore/ReportData/ReportOverviewStore.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "bench/report_file_bench_support.h"

#include <cstdio>
#include <filesystem>
#include <vector>

namespace qvx::bench {

struct GeneratedReport {
    std::filesystem::path repo;
    std::vector<std::filesystem::path> dats;
    std::uint64_t bytes = 0;

    std::uint64_t Records() const { return dats.size() * kRecordsPerReportFile; }

    // The data files and the overview's files leave the page cache.
    void DropFromCache() const {
        for (const auto& f : dats) bench::DropFromCache(f);
        for (const auto& f : Files(ReportOverviewStore::SiblingFolder(repo))) bench::DropFromCache(f);
    }

    // The data files and the overview's files are read once with cat, so that a warm pass
    // finds all of them in the page cache, as cat's own warm pass does.
    void WarmCache() const {
        CatMs(dats);
        CatMs(Files(ReportOverviewStore::SiblingFolder(repo)));
    }
};

// Writes BenchFileCount() full files through `builder` (already given its signal) into
// `repo`, builds the overview when `index`, and prints what was made and the times.
inline GeneratedReport GenerateReport(test::ReportBuilder& builder, const std::filesystem::path& repo,
                                      bool index) {
    auto t = Clock::now();
    for (int n = 0; n < BenchFileCount(); ++n) builder.AddFile(n, kRecordsPerReportFile);
    GeneratedReport report{repo, Files(repo), 0};
    report.bytes = TotalBytes(report.dats);
    std::printf("generated %zu files, %.2f GiB, %llu records, in %.0f s\n", report.dats.size(),
                report.bytes / 1073741824.0, static_cast<unsigned long long>(report.Records()), Ms(t) / 1e3);
    if (index) {
        t = Clock::now();
        ReportOverviewIndexer::BuildAll(report.dats);
        std::printf("indexing: %.0f ms\n", Ms(t));
    }
    return report;
}

// Prints `cat`'s times and rates (ms) of the files, cold then warm.
inline void PrintCat(const GeneratedReport& report, double coldMs, double warmMs) {
    std::printf("cat (cold): %8.0f ms  %6.0f MB/s\ncat (warm): %8.0f ms  %6.0f MB/s\n", coldMs,
                report.bytes / 1e3 / coldMs, warmMs, report.bytes / 1e3 / warmMs);
}

}  // namespace qvx::bench
