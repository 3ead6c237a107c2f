// cycles: every cycle of one channel of a stored report, its statistics and a pass/fail
// verdict against limits, through the cycle measurement the application uses. Exit status:
// 0 pass, 3 fail (a cycle outside a limit), 1 error or refusal.

#include "AnalysisSupport.h"
#include "Command.h"
#include "OverviewSupport.h"

#include "QV+AnalogCore/Analysis/ReportCycleMeasurement.h"
#include "QV+AnalogCore/Export/QVxCsvFileWriter.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iostream>

using qvanalog::Fail;
using qvx::analog::CycleParameter;
using qvx::analog::CycleParameterAt;
using qvx::analog::CycleParameterName;
using qvx::analog::kCycleParameterCount;

namespace {

constexpr int kExitFail = 3;

// A finite decimal number ("12", "-0.5", "1e3"); none otherwise.
std::optional<double> ParseNumber(std::string_view text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

// One "--limit NAME=MIN:MAX" (either bound may be empty) into `limits`.
std::optional<std::string> ParseLimit(const std::string& text,
                                      std::array<qvx::analog::CycleLimit, kCycleParameterCount>& limits) {
    const auto equals = text.find('=');
    const auto colon = text.find(':', equals == std::string::npos ? 0 : equals);
    if (equals == std::string::npos || colon == std::string::npos)
        return "--limit needs NAME=MIN:MAX (either bound may be empty), not \"" + text + "\"";
    const auto parameter = qvx::analog::CycleParameterFromName(std::string_view(text).substr(0, equals));
    if (!parameter)
        return "--limit: unknown parameter \"" + text.substr(0, equals) +
               "\" (period-ns, frequency-hz, high-ns, low-ns, duty-percent, min-mv, max-mv, amplitude-mv, "
               "rise-ns, fall-ns)";
    qvx::analog::CycleLimit limit;
    const std::string lower = text.substr(equals + 1, colon - equals - 1), upper = text.substr(colon + 1);
    if (!lower.empty() && !(limit.lower = ParseNumber(lower)))
        return "--limit " + text + ": the lower bound is not a number";
    if (!upper.empty() && !(limit.upper = ParseNumber(upper)))
        return "--limit " + text + ": the upper bound is not a number";
    if (!limit.lower && !limit.upper) return "--limit " + text + ": give at least one bound";
    if (limit.lower && limit.upper && *limit.lower > *limit.upper)
        return "--limit " + text + ": the lower bound is above the upper bound";
    auto& slot = limits[static_cast<std::size_t>(*parameter)];
    if (slot.lower || slot.upper) return "--limit " + text.substr(0, equals) + " is given more than once";
    slot = limit;
    return std::nullopt;
}

std::optional<std::string> ParseRequest(const qvanalog::Args& args, qvx::analog::CycleRequest& request) {
    const auto channel = qvanalog::ParseSigned(args.Option("--channel"));
    if (!channel || *channel < 1 || *channel > 4) return "--channel needs 1, 2, 3 or 4";
    request.channel = static_cast<int>(*channel - 1);
    const auto level = ParseNumber(args.Option("--level-mv").value_or(""));
    if (!level) return "--level-mv needs a number of mV";
    request.levelMv = *level;
    if (const auto text = args.Option("--hysteresis-mv")) {
        const auto hysteresis = ParseNumber(*text);
        if (!hysteresis || *hysteresis < 0) return "--hysteresis-mv needs a number of mV, 0 or more";
        request.hysteresisMv = hysteresis;
    }
    qvanalog::TimeRange range;
    if (const auto error = qvanalog::ParseRange(args, true, range)) return error;
    request.fromNs = range.from;
    request.toNs = range.to;
    for (const std::string& limit : args.Options("--limit"))
        if (const auto error = ParseLimit(limit, request.limits)) return error;
    if (args.Flag("--json") && args.Option("--csv")) return "--json and --csv exclude each other";
    return std::nullopt;
}

nlohmann::ordered_json NumberOrNull(double v) {
    return std::isfinite(v) ? nlohmann::ordered_json(v) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json ResultJson(const qvx::analog::CycleRequest& request, const qvx::analog::CycleResult& r,
                                  bool rangeGiven) {
    nlohmann::ordered_json out;
    out["channel"] = request.channel + 1;
    out["levelMv"] = request.levelMv;
    out["hysteresisMv"] = r.hysteresisMv;
    out["from"] = rangeGiven ? nlohmann::ordered_json(request.fromNs) : nlohmann::ordered_json(nullptr);
    out["to"] = rangeGiven ? nlohmann::ordered_json(request.toNs) : nlohmann::ordered_json(nullptr);
    out["cycles"] = r.cycles;
    nlohmann::ordered_json stats = nlohmann::ordered_json::object();
    nlohmann::ordered_json byParameter = nlohmann::ordered_json::object();
    for (std::size_t i = 0; i < kCycleParameterCount; ++i) {
        const auto& s = r.stats[i];
        const std::string name(CycleParameterName(CycleParameterAt(i)));
        const bool any = s.count > 0;
        stats[name] = {{"count", s.count},
                       {"min", any ? NumberOrNull(s.min) : nullptr},
                       {"max", any ? NumberOrNull(s.max) : nullptr},
                       {"mean", any ? NumberOrNull(s.mean) : nullptr},
                       {"std", any ? NumberOrNull(s.std) : nullptr},
                       {"minCycle", any ? nlohmann::ordered_json(s.minCycle) : nullptr},
                       {"maxCycle", any ? nlohmann::ordered_json(s.maxCycle) : nullptr}};
        byParameter[name] = r.violationsByParameter[i];
    }
    out["stats"] = std::move(stats);
    nlohmann::ordered_json first = nlohmann::ordered_json::array();
    for (const auto& v : r.violations)
        first.push_back({{"cycle", v.cycle},
                         {"start", v.startNs},
                         {"parameter", std::string(CycleParameterName(v.parameter))},
                         {"value", v.value}});
    out["violations"] = {
        {"count", r.violationCount}, {"byParameter", std::move(byParameter)}, {"first", first}};
    out["verdict"] = r.Pass() ? "pass" : "fail";
    return out;
}

void PrintText(const qvx::analog::CycleRequest& request, const qvx::analog::CycleResult& r) {
    std::cout << fmt::format("CH{} level {} mV hysteresis {} mV: {} cycles\n", request.channel + 1,
                             request.levelMv, r.hysteresisMv, r.cycles);
    std::cout << "parameter count min max mean std min_cycle max_cycle violations\n";
    for (std::size_t i = 0; i < kCycleParameterCount; ++i) {
        const auto& s = r.stats[i];
        std::cout << fmt::format("{} {} ", CycleParameterName(CycleParameterAt(i)), s.count);
        std::cout << (s.count == 0 ? std::string("- - - - - -")
                                   : fmt::format("{:.9g} {:.9g} {:.9g} {:.6g} {} {}", s.min, s.max, s.mean,
                                                 s.std, s.minCycle, s.maxCycle));
        std::cout << fmt::format(" {}\n", r.violationsByParameter[i]);
    }
    for (const auto& v : r.violations)
        std::cout << fmt::format("violation cycle {} start_ns {:.1f} {} {:.9g}\n", v.cycle, v.startNs,
                                 CycleParameterName(v.parameter), v.value);
    if (r.violations.size() < r.violationCount)
        std::cout << fmt::format("({} violations, the first {} listed)\n", r.violationCount,
                                 r.violations.size());
    std::cout << (r.Pass() ? "verdict pass\n" : "verdict fail\n");
}

// One CSV row per cycle: its number, start and every parameter in the unit its column names.
void AppendCsvRow(QVxCsvFileWriter& out, std::uint64_t number, const qvx::analog::Cycle& c) {
    std::string row = fmt::format("{},{:.1f}", number, c.startNs);
    for (double v : c.values) row += std::isfinite(v) ? fmt::format(",{:.9g}", v) : std::string(",");
    row += "\r\n";
    out.Append(row);
}

int RunCycles(qvanalog::Args& args) {
    const std::vector<std::string> valueOptions{
        "--channel", "--level-mv", "--hysteresis-mv", "--from", "--to", "--limit", "--csv"};
    args.DeclareValueOptions(valueOptions);
    std::vector<std::string> known = valueOptions;
    known.push_back("--json");
    if (const auto unknown = qvanalog::UnknownOption(args, known)) return Fail("unknown option " + *unknown);
    qvx::analog::CycleRequest request;
    if (const auto error = ParseRequest(args, request)) return Fail(*error);
    qvanalog::OpenedReport opened;
    qvx::AnalogSettings settings;
    if (const auto error = qvanalog::OpenPath(args, opened, settings)) return Fail(*error);
    if (const auto error = qvx::analog::CheckCycleRequest(settings, request)) return Fail(*error);

    QVxCsvFileWriter csv;
    const auto csvPath = args.Option("--csv");
    if (csvPath) {
        if (!csv.Open(*csvPath)) return Fail("--csv: " + *csvPath + " cannot be written: " + csv.GetError());
        std::string header = "cycle,start_ns";
        for (std::size_t i = 0; i < kCycleParameterCount; ++i) {
            std::string name(CycleParameterName(CycleParameterAt(i)));
            std::replace(name.begin(), name.end(), '-', '_');
            header += "," + name;
        }
        csv.Append(header + "\r\n");
    }
    qvx::analog::CycleConsumer onCycle;
    if (csvPath)
        onCycle = [&](std::uint64_t number, const qvx::analog::Cycle& c) {
            AppendCsvRow(csv, number, c);
            return csv.FlushIfFull();
        };

    qvx::analog::CycleResult result;
    const bool measured = qvanalog::RunWithOverview(*opened.reader, [&](qvx::ReportOverview* overview) {
        result = qvx::analog::MeasureCycles(*opened.reader, overview, settings, request, {}, onCycle);
        return result.status == qvx::analog::CycleResult::Status::kDone;
    });
    if (!measured) {
        const bool writeFailed = csvPath && csv.HasFailed();
        const std::string error = writeFailed
                                      ? "--csv: " + *csvPath + " could not be written: " + csv.GetError()
                                      : std::string("the report could not be read");
        if (csvPath) csv.Abandon();
        return Fail(error);
    }
    if (csvPath && !csv.Close())
        return Fail("--csv: " + *csvPath + " could not be written: " + csv.GetError());

    if (args.Flag("--json"))
        std::cout << ResultJson(request, result, args.Option("--from").has_value()).dump() << "\n";
    else
        PrintText(request, result);
    return result.Pass() ? 0 : kExitFail;
}

const qvanalog::Registration kCycles{
    "cycles",
    "cycles PATH --channel 1..4 --level-mv MV [--hysteresis-mv MV] [--from NS --to NS]\n"
    "                   [--limit NAME=MIN:MAX ...] [--json | --csv FILE]"
    "  # every cycle against limits; exit 0 pass, 3 fail",
    &RunCycles,
    {"--limit"}};

}  // namespace
