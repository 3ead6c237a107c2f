// CSV export of the data list: rows/s and MB/s of QVxAnalogDataListViewModel::ExportCsv
// on a generated report, next to copying a file of the same size on the same disk
// (std::filesystem::copy_file and the cp program), which bounds what any writer of
// that many bytes can reach there. Argument: records in the report (and for the data list,
// whether the time column holds clock times). Every iteration
// writes a new file (the previous output is removed untimed): replacing an existing file
// costs more on ext4, which starts writing the new file's data back when it is renamed
// over (or truncates) an existing one.

#include "QV+AnalogCore/Presenters/QVxAnalogDataListViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogDisplayTriggerListModel.h"
#include "QV+AnalogCore/tests/list_test_support.h"
#include "QVxCore/Presenters/Interaction.h"

#include "bench/export_bench_support.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <optional>

namespace fs = std::filesystem;

namespace {

using qvx::bench::RemoveUntimed;

// One report per record count, kept for the whole run (the exports write beside it).
struct Fixture {
    qvx::test::TempDir dir{"bench-csv"};
    std::unique_ptr<qvx::test::ListOwner> owner;
    fs::path csv;
};

Fixture& FixtureFor(std::int64_t records) {
    static std::map<std::int64_t, std::unique_ptr<Fixture>> s_fixtures;
    auto& slot = s_fixtures[records];
    if (!slot) {
        slot = std::make_unique<Fixture>();
        slot->owner = std::make_unique<qvx::test::ListOwner>(slot->dir.Path() / "session");
        qvx::test::ReportBuilder(slot->owner->session->GetReportFolderPath())
            .AddFile(0, static_cast<std::uint64_t>(records));
        slot->owner->OpenReport();
        slot->csv = slot->dir.Path() / "export.csv";
        // One export up front, so that the copy benchmarks have their file.
        QVxAnalogDataListViewModel(slot->owner.get()).ExportCsv(slot->csv, -1, -1, nullptr);
    }
    return *slot;
}

// Second argument 1: the time column as ISO 8601 clock times (in the zone of TZ).
void BM_ExportDataListCsv(benchmark::State& state) {
    Fixture& f = FixtureFor(state.range(0));
    QVxAnalogDataListViewModel model(f.owner.get());
    qvx::ProgressToken token({}, {});
    const fs::path csv = f.dir.Path() / "timed-export.csv";
    const std::optional<std::int64_t> clockOrigin =
        state.range(1) != 0 ? std::optional<std::int64_t>(1'796'724'157'000'000'005) : std::nullopt;
    for (auto _ : state) {
        RemoveUntimed(state, csv);
        if (!model.ExportCsv(csv, -1, -1, &token, nullptr, clockOrigin)) state.SkipWithError("export failed");
    }
    const auto bytes = static_cast<std::int64_t>(fs::file_size(csv));
    fs::remove(csv);
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["fileMB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_ExportDataListCsv)
    ->Args({1'000'000, 0})
    ->Args({4'000'000, 0})
    ->Args({4'000'000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// copy_file of the exported CSV to a second file in the same folder.
void BM_CopyFileSameSize(benchmark::State& state) {
    Fixture& f = FixtureFor(state.range(0));
    const fs::path copy = f.dir.Path() / "copy.csv";
    for (auto _ : state) {
        RemoveUntimed(state, copy);
        if (!fs::copy_file(f.csv, copy, fs::copy_options::overwrite_existing))
            state.SkipWithError("copy failed");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(f.csv)));
}
BENCHMARK(BM_CopyFileSameSize)->Arg(1'000'000)->Arg(4'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The cp program on the same two files (includes starting the process).
void BM_CpProgramSameSize(benchmark::State& state) {
    Fixture& f = FixtureFor(state.range(0));
    qvx::bench::RunCpProgram(state, f.csv, f.dir.Path() / "cp.csv");
}
BENCHMARK(BM_CpProgramSameSize)->Arg(1'000'000)->Arg(4'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The display-trigger list CSV with many hits (a long trace in repeat mode).
void BM_ExportTriggerListCsv(benchmark::State& state) {
    Fixture& f = FixtureFor(1'000'000);
    auto& hits = f.owner->session->GetDisplayTriggerList();
    hits.clear();
    for (std::int64_t i = 0; i < state.range(0); ++i) hits.push_back({i * 97 % 1'000'000, (i % 3) * 250});
    QVxAnalogDisplayTriggerListModel model(f.owner.get());
    const fs::path csv = f.dir.Path() / "hits.csv";
    for (auto _ : state) {
        if (!model.ExportCsv(csv)) state.SkipWithError("export failed");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    hits.clear();
}
BENCHMARK(BM_ExportTriggerListCsv)->Arg(10'000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
