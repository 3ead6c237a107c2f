// Display trigger analyzer throughput: records/s through Analyze on the source
// channel, with hits accepted as the view model does. The counter "xMaxRate" is
// the rate as a multiple of 10,485,760 records/s, the unit's fastest sampling
// frequency: above 1 the analyzer keeps up with a trace on one core.

#include "QVxCore/QVxAnalogDisplayTriggerAnalyzer.h"

#include <benchmark/benchmark.h>
#include <spdlog/spdlog.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using Analyzer = qvx::QVxAnalogDisplayTriggerAnalyzer;

constexpr double kMaxRecordsPerSecond = 10'485'760.0;
constexpr std::size_t kRecords = 1 << 20;
constexpr std::int64_t kTickNs = 100;  // about 10 MS/s

// Four channels of a sine with some noise; the source channel crosses 0 V about
// every 500 records.
const std::vector<std::array<std::uint16_t, 4>>& Records() {
    static const std::vector<std::array<std::uint16_t, 4>> records = [] {
        std::vector<std::array<std::uint16_t, 4>> r(kRecords);
        std::uint32_t noise = 12345;
        for (std::size_t i = 0; i < kRecords; ++i) {
            noise = noise * 1664525u + 1013904223u;
            const double s = std::sin(static_cast<double>(i) * 2.0 * M_PI / 1000.0);
            const auto v = static_cast<std::uint16_t>(8192 + s * 6000 + static_cast<int>(noise >> 28) - 8);
            r[i] = {v, v, static_cast<std::uint16_t>(16383 - v), 8192};
        }
        return r;
    }();
    return records;
}

void Run(benchmark::State& state, qvx::TriggerSlope slope) {
    spdlog::set_level(spdlog::level::warn);
    const auto& records = Records();
    qvx::AnalogSettings settings;
    settings.displayTriggerMode = Analyzer::kModeRepeat;
    settings.displayTriggerSourceChannel = 1;
    auto& t = settings.displayTriggerSettings[1];
    t.voltageLevel = 0;
    t.slope = slope;
    t.sensitivityCount = 3;
    t.edgeWidthTime = 60'000;  // ns: the high half-wave lasts about 50,000 ns
    t.widthEdgeComparison = Analyzer::kWithin;

    qvx::AnalogDisplayTriggerList list;
    list.reserve(kRecords / 100);
    Analyzer analyzer;
    std::int64_t hits = 0;
    for (auto _ : state) {
        list.clear();
        analyzer.Reset(&settings, &list);
        for (std::size_t i = 0; i < records.size(); ++i) {
            const auto index = static_cast<std::int64_t>(i);
            if (analyzer.Analyze(index * kTickNs, records[i], index)) {
                analyzer.AcceptHit(index * kTickNs, index);
            }
        }
        hits = static_cast<std::int64_t>(list.size());
        benchmark::DoNotOptimize(list.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kRecords));
    state.counters["hits"] = static_cast<double>(hits);
    state.counters["xMaxRate"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kRecords / kMaxRecordsPerSecond,
                           benchmark::Counter::kIsRate);
}

void BM_TriggerAnalyzer_RisingEdge(benchmark::State& state) {
    Run(state, Analyzer::kHighEdge);
}
void BM_TriggerAnalyzer_HighPulseWidth(benchmark::State& state) {
    Run(state, Analyzer::kHighWidth);
}

BENCHMARK(BM_TriggerAnalyzer_RisingEdge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TriggerAnalyzer_HighPulseWidth)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
