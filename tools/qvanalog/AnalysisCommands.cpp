// search and measure: display-trigger events and measurements of a stored report, through
// the analysis classes the application uses. A session file gives the channels' ranges and
// probes (and which channels are on); a bare report folder is read with the default settings.

#include "AnalysisSupport.h"
#include "Command.h"
#include "OverviewSupport.h"
#include "SessionSupport.h"

#include "QV+AnalogCore/Analysis/ReportEventSearch.h"
#include "QV+AnalogCore/Analysis/ReportSpanMeasurement.h"
#include "QVxCore/DisplayTriggerList.h"
#include "QVxCore/QVxAnalogDisplayTriggerAnalyzer.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <iostream>
#include <limits>

namespace fs = std::filesystem;
using qvanalog::Fail;
using qvanalog::ParseSigned;
using qvx::QVxAnalogDisplayTriggerAnalyzer;

namespace qvanalog {

std::optional<std::string> UnknownOption(const Args& args, const std::vector<std::string>& known) {
    for (const std::string& word : args.Words()) {
        if (word.rfind("--", 0) == 0 && std::find(known.begin(), known.end(), word) == known.end())
            return word;
    }
    return std::nullopt;
}

std::optional<std::string> ParseRange(const Args& args, bool optional, TimeRange& out) {
    const auto fromText = args.Option("--from"), toText = args.Option("--to");
    if (optional && !fromText && !toText) return std::nullopt;
    const auto from = ParseSigned(fromText), to = ParseSigned(toText);
    if (!from || !to) return "--from and --to need whole numbers of ns";
    if (*from >= *to) return "--from must be less than --to";
    out = {*from, *to};
    return std::nullopt;
}

std::optional<std::string> OpenPath(const Args& args, OpenedReport& opened, qvx::AnalogSettings& settings) {
    const std::vector<std::string> positionals = args.Positionals();
    if (positionals.size() != 1) return "expected one PATH argument (report folder or session file)";
    if (!OpenReportOrSession(fs::path(positionals.front()), opened)) return opened.error;
    if (opened.session) settings = opened.session->GetSettings();
    return std::nullopt;
}

}  // namespace qvanalog

namespace {

using qvanalog::OpenPath;
using qvanalog::ParseRange;
using qvanalog::TimeRange;
using qvanalog::UnknownOption;

constexpr std::array<const char*, 4> kSlopeNames{"rising", "falling", "high", "low"};

// The display-trigger settings of the search arguments, on top of `settings`.
std::optional<std::string> ParseTrigger(const qvanalog::Args& args, qvx::AnalogSettings& settings) {
    const auto channel = ParseSigned(args.Option("--channel"));
    if (!channel || *channel < 1 || *channel > 4) return "--channel needs 1, 2, 3 or 4";
    const auto slopeText = args.Option("--slope");
    const auto slope = std::find(kSlopeNames.begin(), kSlopeNames.end(), slopeText.value_or(""));
    if (slope == kSlopeNames.end()) return "--slope needs rising, falling, high or low";
    const auto level = ParseSigned(args.Option("--level-mv"));
    if (!level) return "--level-mv needs a whole number of mV";
    const auto sensitivityText = args.Option("--sensitivity");
    const auto sensitivity = sensitivityText ? ParseSigned(sensitivityText) : std::optional<std::int64_t>(1);
    if (!sensitivity || *sensitivity < 1) return "--sensitivity needs a whole number of at least 1";

    // The names are in the order of the slope codes.
    const auto slopeValue = static_cast<qvx::TriggerSlope>(slope - kSlopeNames.begin());
    const bool pulse = qvx::IsPulseSlope(slopeValue);
    const auto widthText = args.Option("--width-ns");
    const bool within = args.Flag("--within"), outside = args.Flag("--outside");
    auto& trigger = settings.displayTriggerSettings[static_cast<std::size_t>(*channel - 1)];
    if (!pulse && (widthText || within || outside))
        return "--width-ns, --within and --outside apply only to --slope high or low";
    if (pulse) {
        const auto width = ParseSigned(widthText);
        if (!width || *width < 0)
            return "--slope high and low need --width-ns with a whole number of ns (0 or more)";
        if (within == outside) return "--width-ns needs either --within or --outside";
        trigger.edgeWidthTime = *width;
        trigger.widthEdgeComparison =
            within ? QVxAnalogDisplayTriggerAnalyzer::kWithin : QVxAnalogDisplayTriggerAnalyzer::kOutside;
    }
    settings.displayTriggerSourceChannel = static_cast<std::int32_t>(*channel - 1);
    trigger.slope = slopeValue;
    trigger.voltageLevel = *level;
    trigger.sensitivityCount = *sensitivity;
    return qvx::analog::ReportEventSearch::CheckSettings(settings);
}

void PrintHits(const qvx::analog::ReportEventSearch::Result& result, bool pulse, bool json) {
    if (json) {
        nlohmann::ordered_json hits = nlohmann::ordered_json::array();
        for (const auto& hit : result.hits) {
            hits.push_back(
                {{"index", hit.index},
                 {"time", hit.timeNs},
                 {"width", pulse ? nlohmann::ordered_json(hit.widthNs) : nlohmann::ordered_json(nullptr)}});
        }
        nlohmann::ordered_json out;
        out["count"] = result.hits.size();
        out["total"] = result.hitCount;
        out["hits"] = std::move(hits);
        out["limitReached"] = result.limitReached;
        std::cout << out.dump() << "\n";
        return;
    }
    if (result.limitReached) {
        std::cout << fmt::format("{} hits, the first {} listed (the hit limit)\n", result.hitCount,
                                 result.hits.size());
    } else {
        std::cout << fmt::format("{} hits\n", result.hits.size());
    }
    std::cout << (pulse ? "index time_ns width_ns\n" : "index time_ns\n");
    for (const auto& hit : result.hits) {
        std::cout << (pulse ? fmt::format("{} {} {}\n", hit.index, hit.timeNs, hit.widthNs)
                            : fmt::format("{} {}\n", hit.index, hit.timeNs));
    }
}

int RunSearch(qvanalog::Args& args) {
    args.DeclareValueOptions(
        {"--channel", "--slope", "--level-mv", "--sensitivity", "--width-ns", "--from", "--to"});
    if (const auto unknown =
            UnknownOption(args, {"--channel", "--slope", "--level-mv", "--sensitivity", "--width-ns",
                                 "--within", "--outside", "--from", "--to", "--json"}))
        return Fail("unknown option " + *unknown);
    TimeRange range;
    if (const auto error = ParseRange(args, true, range)) return Fail(*error);
    // The trigger arguments are checked before the report is opened; the level needs the
    // channel's range, so they are applied again to the session's settings.
    qvx::AnalogSettings settings;
    if (const auto error = ParseTrigger(args, settings)) return Fail(*error);
    qvanalog::OpenedReport opened;
    if (const auto error = OpenPath(args, opened, settings)) return Fail(*error);
    if (const auto error = ParseTrigger(args, settings)) return Fail(*error);

    qvx::analog::ReportEventSearch::Result result;
    const bool searched = qvanalog::RunWithOverview(*opened.reader, [&](qvx::ReportOverview* overview) {
        qvx::analog::ReportEventSearch search(*opened.reader, overview, settings);
        result = search.FindAll({range.from, range.to}, qvx::kMaxStoredDisplayTriggerHits, {}, true);
        return result.status == qvx::analog::ReportEventSearch::Status::kDone;
    });
    if (!searched) return Fail("the report could not be read");
    const qvx::TriggerSlope slope =
        settings.displayTriggerSettings[static_cast<std::size_t>(settings.displayTriggerSourceChannel)].slope;
    PrintHits(result, slope >= QVxAnalogDisplayTriggerAnalyzer::kHighWidth, args.Flag("--json"));
    return 0;
}

// The enabled channels (1 to 4) of `settings`, as the measurement takes them.
std::vector<int> EnabledChannels(const qvx::AnalogSettings& settings) {
    std::vector<int> channels;
    const auto& tracks = settings.visualSettings.tracks;
    for (int ch = 0; ch < qvx::AnalogSettings::kChannelCount; ++ch)
        if (static_cast<std::size_t>(ch) >= tracks.size() || tracks[static_cast<std::size_t>(ch)].enabled)
            channels.push_back(ch);
    return channels;
}

nlohmann::ordered_json MeasurementJson(const qvx::analog::SpanMeasurement& m,
                                       const qvx::AnalogSettings& settings) {
    nlohmann::ordered_json channels = nlohmann::ordered_json::array();
    for (const auto& c : m.channels) {
        channels.push_back({{"channel", c.channel + 1},
                            {"records", c.records},
                            {"min", c.min},
                            {"max", c.max},
                            {"peakToPeak", c.peakToPeak},
                            {"mean", c.mean},
                            {"rms", c.rms},
                            {"frequencyHz", c.frequencyHz ? nlohmann::ordered_json(*c.frequencyHz)
                                                          : nlohmann::ordered_json(nullptr)}});
    }
    // A span without records: each enabled channel with no records and no values.
    if (m.records == 0) {
        for (int ch : EnabledChannels(settings)) {
            channels.push_back({{"channel", ch + 1},
                                {"records", 0},
                                {"min", nullptr},
                                {"max", nullptr},
                                {"peakToPeak", nullptr},
                                {"mean", nullptr},
                                {"rms", nullptr},
                                {"frequencyHz", nullptr}});
        }
    }
    nlohmann::ordered_json out;
    out["from"] = m.fromNs;
    out["to"] = m.toNs;
    out["channels"] = std::move(channels);
    return out;
}

void PrintMeasurementText(const qvx::analog::SpanMeasurement& m, const qvx::AnalogSettings& settings) {
    std::cout << fmt::format("from {} ns to {} ns: {} records\n", m.fromNs, m.toNs, m.records);
    std::cout << "channel min_V max_V p-p_V mean_V rms_V frequency_Hz\n";
    for (const auto& c : m.channels) {
        std::cout << fmt::format("CH{} {:.6g} {:.6g} {:.6g} {:.6g} {:.6g} {}\n", c.channel + 1, c.min, c.max,
                                 c.peakToPeak, c.mean, c.rms,
                                 c.frequencyHz ? fmt::format("{:.6g}", *c.frequencyHz) : std::string("-"));
    }
    if (m.records == 0)
        for (int ch : EnabledChannels(settings)) std::cout << fmt::format("CH{} - - - - - -\n", ch + 1);
}

int RunMeasure(qvanalog::Args& args) {
    args.DeclareValueOptions({"--from", "--to"});
    if (const auto unknown = UnknownOption(args, {"--from", "--to", "--json"}))
        return Fail("unknown option " + *unknown);
    TimeRange range;
    if (const auto error = ParseRange(args, false, range)) return Fail(*error);
    qvanalog::OpenedReport opened;
    qvx::AnalogSettings settings;
    if (const auto error = OpenPath(args, opened, settings)) return Fail(*error);

    qvx::analog::SpanMeasurement result;
    const bool measured = qvanalog::RunWithOverview(*opened.reader, [&](qvx::ReportOverview* overview) {
        result = qvx::analog::MeasureSpan(*opened.reader, overview, settings, range.from, range.to);
        return result.status == qvx::analog::SpanMeasurement::Status::kDone;
    });
    if (!measured) return Fail("the report could not be read");
    if (args.Flag("--json")) {
        std::cout << MeasurementJson(result, settings).dump() << "\n";
    } else {
        PrintMeasurementText(result, settings);
    }
    return 0;
}

const qvanalog::Registration kSearch{
    "search",
    "search PATH --channel 1..4 --slope rising|falling|high|low --level-mv MV [--sensitivity N]\n"
    "                   [--width-ns NS (--within|--outside)] [--from NS --to NS] [--json]"
    "  # display-trigger hits",
    &RunSearch};
const qvanalog::Registration kMeasure{
    "measure", "measure PATH --from NS --to NS [--json]  # values between two times", &RunMeasure};

}  // namespace
