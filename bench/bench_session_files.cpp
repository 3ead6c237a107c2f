// Session files: saving and loading a settings file, and a report metadata file with
// many display-trigger hits (a long trace in repeat mode). Reports time per call.

#include "QVxCore/Archive.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

fs::path ScratchFile(const char* name) {
    const fs::path dir = fs::temp_directory_path() / ("qvx-bench-session-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir / name;
}

void BM_SaveSettings(benchmark::State& state) {
    qvx::AnalogSettings settings;
    const fs::path file = ScratchFile("s.qvxa");
    for (auto _ : state) {
        if (!qvx::Archive::Save(settings, file)) state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_SaveSettings)->Unit(benchmark::kMicrosecond);

void BM_LoadSettings(benchmark::State& state) {
    qvx::AnalogSettings settings;
    const fs::path file = ScratchFile("l.qvxa");
    qvx::Archive::Save(settings, file);
    for (auto _ : state) {
        qvx::AnalogSettings loaded;
        if (!qvx::Archive::Load(loaded, file)) state.SkipWithError("load failed");
    }
}
BENCHMARK(BM_LoadSettings)->Unit(benchmark::kMicrosecond);

// Argument: number of hits.
void BM_SaveLoadMetadata(benchmark::State& state) {
    qvx::AnalogDisplayTriggerList hits;
    for (std::int64_t i = 0; i < state.range(0); ++i) hits.push_back({i * 1000, (i % 3) * 250});
    const fs::path file = ScratchFile("meta");
    for (auto _ : state) {
        qvx::AnalogDisplayTriggerList loaded;
        if (!qvx::Archive::Save(hits, file) || !qvx::Archive::Load(loaded, file))
            state.SkipWithError("failed");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["bytes"] = static_cast<double>(fs::file_size(file));
}
BENCHMARK(BM_SaveLoadMetadata)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::error_code ec;
    fs::remove_all(ScratchFile("x").parent_path(), ec);
    return 0;
}
