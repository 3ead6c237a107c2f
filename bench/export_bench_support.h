#pragma once
// Shared by the export benchmarks: removing the previous output outside the timing, and
// the cp program copying a file of the export's size (the bound any writer of that many
// bytes on the same disk works against).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace qvx::bench {

inline void RemoveUntimed(benchmark::State& state, const std::filesystem::path& path) {
    state.PauseTiming();
    std::filesystem::remove(path);
    state.ResumeTiming();
}

// Times `cp from to` (a new file each iteration; includes starting the process).
inline void RunCpProgram(benchmark::State& state, const std::filesystem::path& from,
                         const std::filesystem::path& to) {
    const std::string command = "cp '" + from.string() + "' '" + to.string() + "'";
    for (auto _ : state) {
        RemoveUntimed(state, to);
        if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(from)));
}

}  // namespace qvx::bench
