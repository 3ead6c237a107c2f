// HDF5 export of the data list: records/s of QVxAnalogDataListViewModel::ExportHdf5 on a
// generated report (in the temp folder, deleted afterwards; the page cache is warm, the
// report was just written) of sines with a few codes of noise, as a converter delivers
// them, uncompressed and at deflate levels 1 and 4 (with shuffle),
// next to the cp program copying a file of the uncompressed export's size on the same
// disk. Argument: records in the report; the second: the deflate level. Every iteration
// writes a new file (the previous output is removed untimed), see bench_csv_export.

#include "QV+AnalogCore/Presenters/QVxAnalogDataListViewModel.h"
#include "QV+AnalogCore/tests/list_test_support.h"
#include "QVxCore/Presenters/Interaction.h"

#include "bench/export_bench_support.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>

namespace fs = std::filesystem;

namespace {

using qvx::bench::RemoveUntimed;

// CH1..CH4: sines of 1, 2, 5 and 10 kHz at 10 MS/s with +-8 codes of noise.
qvx::test::Samples NoisySines(std::uint64_t index) {
    qvx::test::Samples samples{};
    std::uint64_t noise = index * 0x9E3779B97F4A7C15ull;
    const double periods[] = {10'000, 5'000, 2'000, 1'000};
    for (std::size_t c = 0; c < samples.size(); ++c) {
        noise ^= noise >> 29;
        noise *= 0xBF58476D1CE4E5B9ull;
        const double wave = 6000.0 * std::sin(6.283185307179586 * static_cast<double>(index) / periods[c]);
        samples[c] =
            static_cast<std::uint16_t>(8192 + static_cast<int>(wave) + static_cast<int>(noise >> 60) - 8);
    }
    return samples;
}

// One report per record count, kept for the whole run (the exports write beside it).
struct Fixture {
    qvx::test::TempDir dir{"bench-hdf5"};
    std::unique_ptr<qvx::test::ListOwner> owner;
    fs::path plain;  // an uncompressed export, for the copy benchmark
};

Fixture& FixtureFor(std::int64_t records) {
    static std::map<std::int64_t, std::unique_ptr<Fixture>> s_fixtures;
    auto& slot = s_fixtures[records];
    if (!slot) {
        slot = std::make_unique<Fixture>();
        slot->owner = std::make_unique<qvx::test::ListOwner>(slot->dir.Path() / "session");
        qvx::test::ReportBuilder(slot->owner->session->GetReportFolderPath())
            .SampleValues(&NoisySines)
            .AddFile(0, static_cast<std::uint64_t>(records));
        slot->owner->OpenReport();
        slot->plain = slot->dir.Path() / "plain.h5";
        QVxAnalogDataListViewModel(slot->owner.get())
            .ExportHdf5(slot->plain, -1, -1, nullptr, {.deflateLevel = 0});
    }
    return *slot;
}

void BM_ExportDataListHdf5(benchmark::State& state) {
    Fixture& f = FixtureFor(state.range(0));
    QVxAnalogDataListViewModel model(f.owner.get());
    qvx::ProgressToken token({}, {});
    const fs::path out = f.dir.Path() / "export.h5";
    QVxAnalogHdf5Layout layout;
    layout.deflateLevel = static_cast<int>(state.range(1));
    for (auto _ : state) {
        RemoveUntimed(state, out);
        if (!model.ExportHdf5(out, -1, -1, &token, layout)) state.SkipWithError("export failed");
    }
    const auto bytes = static_cast<std::int64_t>(fs::file_size(out));
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["fileMB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_ExportDataListHdf5)
    ->ArgsProduct({{4'000'000, 16'000'000}, {0, 1, 4}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The cp program copying the uncompressed export (includes starting the process).
void BM_CpProgramSameSize(benchmark::State& state) {
    Fixture& f = FixtureFor(state.range(0));
    qvx::bench::RunCpProgram(state, f.plain, f.dir.Path() / "cp.h5");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CpProgramSameSize)
    ->Arg(4'000'000)
    ->Arg(16'000'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
