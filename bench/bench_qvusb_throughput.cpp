// Sustained throughput of the device library with a simulated unit whose sample memory is
// always as full as it can be (QVPLUS_SIM_SPEED=max), so the host alone sets the pace:
//   BM_CallbackOnly   blocks go to a data callback that only counts them;
//   BM_LibraryFiles   the library also writes its own report files (512 MiB splits) to the
//                     temporary folder.
// Each iteration is one acquisition of kBytesPerRun bytes through the exported C functions.
// "x_top_rate" is the record rate as a multiple of the unit's top sampling rate,
// 10,485,760 records/s of 16 bytes.

#include "qvusb/qvusb_api.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <string>
#include <thread>

namespace {

constexpr int64_t kBytesPerRun = 1LL << 30;
constexpr double kTopRate = 10485760.0;
std::atomic<uint64_t> s_bytes{0};

void CountOnly(uint8_t*, uint32_t elementSize, uint32_t count, uint32_t, QVPlusStatus*) {
    s_bytes.fetch_add(static_cast<uint64_t>(elementSize) * count, std::memory_order_relaxed);
}

QVPlusStatus StatusOf(QVPlusHandle handle) {
    QVPlusStatus status{};
    QVPlus_GetStatus(handle, &status);
    return status;
}

// One handle on a simulated unit for the whole program, ready for acquisitions.
QVPlusHandle Unit() {
    static QVPlusHandle handle = [] {
        setenv("QVPLUS_SIMULATED_UNITS", "ANBENCH1", 1);
        setenv("QVPLUS_SIM_SPEED", "max", 1);
        setenv("QVPLUS_SIM_SIGNAL", "counter", 1);
        const auto bits = std::filesystem::temp_directory_path() / "qvusb-bench-Tessel.bin";
        if (std::FILE* f = std::fopen(bits.c_str(), "wb")) {
            std::fputs("placeholder bit-stream", f);  // the simulated FPGA takes any non-empty one
            std::fclose(f);
        }
        QVPlusCreateParams params{};
        const std::string path = bits.string();
        params.bitStreamPath = path.c_str();
        std::wcsncpy(params.deviceId, L"ANBENCH1", 19);
        params.captureMode = QVPLUS_CAPTURE_ANALOG;
        QVPlusHandle h = QVPlus_Create(&params);
        while (h && StatusOf(h).unitReady == 0 && StatusOf(h).errorCode == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return h;
    }();
    return handle;
}

void RunAcquisitions(benchmark::State& state, const char* folder) {
    QVPlusHandle handle = Unit();
    if (handle == nullptr || StatusOf(handle).unitReady == 0) {
        state.SkipWithError("simulated unit not ready");
        return;
    }
    uint64_t total = 0;
    for (auto _ : state) {
        s_bytes = 0;
        QVPlusStartParams params{};
        params.kind = 1;
        params.samplingCode = 2;
        params.splitSize = 512LL * 1024 * 1024;
        params.stopSize = kBytesPerRun;
        params.filePrefix = "BENCH";
        params.outputFolder = folder;
        params.dataCallback = &CountOnly;
        if (QVPlus_Start(handle, &params) != 1) {
            state.SkipWithError("start refused");
            return;
        }
        while (StatusOf(handle).running != 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (StatusOf(handle).errorCode != 0) {
            state.SkipWithError("acquisition failed");
            return;
        }
        total += s_bytes.load();
        if (folder != nullptr) {
            state.PauseTiming();
            std::filesystem::remove_all(folder);
            state.ResumeTiming();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(total));
    state.SetItemsProcessed(static_cast<int64_t>(total / 16));
    state.counters["x_top_rate"] =
        benchmark::Counter(static_cast<double>(total / 16) / kTopRate, benchmark::Counter::kIsRate);
}

void BM_CallbackOnly(benchmark::State& state) {
    RunAcquisitions(state, nullptr);
}

void BM_LibraryFiles(benchmark::State& state) {
    const auto folder = std::filesystem::temp_directory_path() / "qvusb-bench-files";
    std::filesystem::remove_all(folder);
    RunAcquisitions(state, folder.c_str());
    std::filesystem::remove_all(folder);
}

BENCHMARK(BM_CallbackOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_LibraryFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (QVPlusHandle handle = Unit()) QVPlus_Delete(handle);
    benchmark::Shutdown();
    return 0;
}
