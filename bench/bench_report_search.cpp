// Display-trigger search and measurement of a stored report, against reading the same files
// with cat: $QVX_BENCH_FILES full files (default 32: 16 GiB, 1,073,741,824 records at
// 10,485,760 records/s) written into a temp folder (or $QVX_BENCH_DIR), indexed, and deleted
// at the end.
//
// The generated signal: CH4 rests near 0 V with a little noise and has a high pulse of 1,000
// records (95 us) every 1,048,576 records (10 per second); CH1 is a triangle wave of 20,000
// records per period that crosses its middle twice per period.
//
// Reports, cold (every data and overview file dropped from the page cache with
// posix_fadvise(DONTNEED) first) and warm (right after a full pass):
// - `cat FILE > /dev/null` over every file;
// - find all CH4 high pulses within 200 us, with the overview (skipping blocks below the
//   level) and without it (every record through the analyzer), with the records read and
//   the multiple of cat's time;
// - find all CH1 rising edges at the middle (a crossing in every 10,000 records, so most
//   blocks must be read);
// - the measurement of the whole report (all four channels, their frequencies).

#include "QV+AnalogCore/Analysis/ReportEventSearch.h"
#include "QV+AnalogCore/Analysis/ReportSpanMeasurement.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportOverview.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "bench/generated_report_bench_support.h"

#include <spdlog/spdlog.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace fs = std::filesystem;
using qvx::analog::ReportEventSearch;
using qvx::bench::Clock;
using qvx::bench::Ms;

namespace {

constexpr std::int64_t kRate = 10'485'760;
constexpr std::uint64_t kPulseEvery = 1'048'576;
constexpr std::uint64_t kPulseRecords = 1'000;

std::uint64_t TickOf(std::uint64_t i) {
    return i * 100'000'000 / kRate;
}

qvx::test::Samples SamplesOf(std::uint64_t i) {
    const auto triangle =
        static_cast<std::uint16_t>(4192 + (i % 20'000 < 10'000 ? i % 10'000 : 20'000 - i % 20'000) * 4 / 5);
    const bool pulse =
        i % kPulseEvery >= kPulseEvery / 2 && i % kPulseEvery < kPulseEvery / 2 + kPulseRecords;
    const auto ch4 = static_cast<std::uint16_t>((pulse ? 12000 : 8192) + static_cast<int>(i % 64));
    return {triangle, static_cast<std::uint16_t>(16383 - triangle), 8192, ch4};
}

qvx::AnalogSettings Trigger(int channel, qvx::TriggerSlope slope, std::int64_t level) {
    qvx::AnalogSettings s;
    s.displayTriggerSourceChannel = channel;
    auto& t = s.displayTriggerSettings[static_cast<std::size_t>(channel)];
    t.slope = slope;
    t.edgeWidthTime = 200'000;
    t.widthEdgeComparison = qvx::WidthComparison::kWithin;
    t.sensitivityCount = 1;
    // The level in mV whose raw value is `level` or just above.
    t.voltageLevel = -10'000;
    while (s.GetDataRangeMilliVolts(channel, t.voltageLevel) < static_cast<double>(level)) ++t.voltageLevel;
    return s;
}

}  // namespace

int main() {
    spdlog::set_level(spdlog::level::warn);
    if (const char* base = std::getenv("QVX_BENCH_DIR")) ::setenv("TMPDIR", base, 1);
    qvx::test::TempDir dir("bench-search");
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
    const auto search = [&](const char* name, const qvx::AnalogSettings& settings, bool withOverview,
                            bool cold) {
        if (cold) dropAll();
        const auto start = Clock::now();
        ReportEventSearch s(*reader, withOverview ? overview.get() : nullptr, settings);
        const auto r = s.FindAll({}, std::numeric_limits<std::size_t>::max());
        const double ms = Ms(start);
        const double catMs = cold ? catCold : catWarm;
        std::printf(
            "%-34s %-4s %8.0f ms  %9zu hits  %5.1f %% of records read  %6.2f x cat's time (%.1fx faster)\n",
            name, cold ? "cold" : "warm", ms, r.hits.size(),
            100.0 * static_cast<double>(r.recordsRead) /
                static_cast<double>(r.recordsRead + r.recordsSkipped),
            ms / catMs, catMs / ms);
    };
    const auto pulses = Trigger(3, qvx::TriggerSlope::kHighWidth, 10'000);
    const auto edges = Trigger(0, qvx::TriggerSlope::kRising, 8192);
    search("CH4 pulses, overview", pulses, true, true);
    search("CH4 pulses, overview", pulses, true, false);
    search("CH4 pulses, every record", pulses, false, false);
    search("CH1 rising edges, overview", edges, true, false);

    const auto start = Clock::now();
    const auto m = qvx::analog::MeasureSpan(*reader, overview.get(), qvx::AnalogSettings{}, 0,
                                            std::numeric_limits<std::int64_t>::max());
    std::printf("measure whole report        warm %8.0f ms  CH1 %.3f Hz, CH4 %.3f Hz\n", Ms(start),
                m.channels.empty() ? 0.0 : m.channels[0].frequencyHz.value_or(0),
                m.channels.size() < 4 ? 0.0 : m.channels[3].frequencyHz.value_or(0));
    return 0;
}
