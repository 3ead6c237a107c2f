// spectrum and spectrogram: the averaged spectrum of one channel of a stored report and
// its spectrogram, through the analysis class the application's spectrum pane uses. A
// session file gives the channels' ranges and probes (and which channels are on); a bare
// report folder is read with the default settings.

#include "Command.h"
#include "OverviewSupport.h"
#include "SessionSupport.h"
#include "SpectrogramPicture.h"

#include "QV+AnalogCore/Analysis/ReportSpectrum.h"
#include "QV+AnalogCore/Analysis/SpectrumCsv.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/ReportData/ReportData.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <iostream>

namespace fs = std::filesystem;
using qvanalog::Fail;
using qvanalog::ParseSigned;
using qvx::analog::SpectrumRequest;
using qvx::analog::SpectrumResult;

namespace {

const std::vector<std::string> kValueOptions{"--channel", "--from",   "--to",
                                             "--nfft",    "--window", "--detrend"};

// The first "--word" that is neither a value option nor one of `flags`.
std::optional<std::string> UnknownOption(const qvanalog::Args& args,
                                         const std::vector<std::string>& extraValues,
                                         const std::vector<std::string>& flags) {
    for (const std::string& word : args.Words()) {
        if (word.rfind("--", 0) != 0) continue;
        const auto known = [&](const std::vector<std::string>& names) {
            return std::find(names.begin(), names.end(), word) != names.end();
        };
        if (!known(kValueOptions) && !known(extraValues) && !known(flags)) return word;
    }
    return std::nullopt;
}

// The request of the options shared by both commands. An error text naming the option
// when refused.
std::optional<std::string> ParseRequest(const qvanalog::Args& args, SpectrumRequest& request) {
    const auto channel = ParseSigned(args.Option("--channel"));
    if (!channel || *channel < 1 || *channel > 4) return "--channel needs 1, 2, 3 or 4";
    request.channel = static_cast<int>(*channel - 1);
    const auto fromText = args.Option("--from"), toText = args.Option("--to");
    if (fromText || toText) {
        const auto from = ParseSigned(fromText), to = ParseSigned(toText);
        if (!from || !to) return "--from and --to need whole numbers of ns, both of them";
        if (*from >= *to) return "--from must be less than --to";
        request.fromNs = *from;
        request.toNs = *to;
    }
    if (const auto nfftText = args.Option("--nfft")) {
        const auto nfft = ParseSigned(nfftText);
        if (!nfft || *nfft <= 0 || !qvx::analog::IsValidSpectrumNfft(static_cast<std::size_t>(*nfft)))
            return "--nfft needs a power of two from 256 to 1048576";
        request.nfft = static_cast<std::size_t>(*nfft);
    }
    if (const auto windowText = args.Option("--window")) {
        const auto window = qvx::analog::SpectrumWindowFromName(*windowText);
        if (!window) return "--window needs rect, hann, blackman-harris or flattop";
        request.window = *window;
    }
    if (const auto detrend = args.Option("--detrend")) {
        if (*detrend != "mean" && *detrend != "none") return "--detrend needs mean or none";
        request.removeMean = *detrend == "mean";
    }
    return std::nullopt;
}

// Opens PATH, computes and turns a refusal into its message (exit status 1).
std::optional<std::string> Compute(const qvanalog::Args& args, const SpectrumRequest& request,
                                   qvanalog::OpenedReport& opened, SpectrumResult& result) {
    const std::vector<std::string> positionals = args.Positionals();
    if (positionals.size() != 1) return "expected one PATH argument (report folder or session file)";
    if (!qvanalog::OpenReportOrSession(fs::path(positionals.front()), opened)) return opened.error;
    qvx::AnalogSettings settings;
    if (opened.session) settings = opened.session->GetSettings();
    const bool read = qvanalog::RunWithOverview(*opened.reader, [&](qvx::ReportOverview* overview) {
        result = qvx::analog::ComputeSpectrum(*opened.reader, overview, settings, request);
        return result.status != SpectrumResult::Status::kReadError;
    });
    if (!read) return "the report could not be read";
    switch (result.status) {
        case SpectrumResult::Status::kChannelOff:
            return fmt::format("--channel {}: the channel is off in the session", request.channel + 1);
        case SpectrumResult::Status::kBadNfft:
            return "--nfft needs a power of two from 256 to 1048576";
        case SpectrumResult::Status::kTooFewRecords:
            return fmt::format(
                "the span holds no {} records without a gap ({} records in all): widen --from/--to or lower "
                "--nfft",
                result.nfft, result.records);
        case SpectrumResult::Status::kDone:
            break;
        case SpectrumResult::Status::kCancelled:
        case SpectrumResult::Status::kReadError:
            return "the report could not be read";
    }
    // Without --from/--to the span is the whole report: its times are those of its records.
    if (!args.Option("--from")) {
        result.fromNs = 0;
        result.toNs = qvx::TicksToNs(opened.reader->GetLastTime() + 1);
    }
    return std::nullopt;
}

nlohmann::ordered_json OrNull(const std::optional<double>& value) {
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json SpectrumJson(const SpectrumResult& r) {
    nlohmann::ordered_json out;
    out["channel"] = r.channel + 1;
    out["from"] = r.fromNs;
    out["to"] = r.toNs;
    out["sampleRateHz"] = r.sampleRateHz;
    out["nfft"] = r.nfft;
    out["window"] = qvx::analog::SpectrumWindowName(r.window);
    out["segments"] = r.segments;
    out["enbwHz"] = r.enbwHz;
    auto frequency = nlohmann::ordered_json::array(), vrms = frequency, dbv = frequency, psd = frequency;
    for (std::size_t k = 0; k < r.power.size(); ++k) {
        frequency.push_back(r.FrequencyHz(k));
        vrms.push_back(r.Vrms(k));
        const double level = r.Dbv(k);
        dbv.push_back(std::isfinite(level) ? nlohmann::ordered_json(level) : nlohmann::ordered_json(nullptr));
        psd.push_back(r.Psd(k));
    }
    out["frequencyHz"] = std::move(frequency);
    out["vrms"] = std::move(vrms);
    out["dbv"] = std::move(dbv);
    out["psd"] = std::move(psd);
    auto peaks = nlohmann::ordered_json::array();
    for (const auto& p : r.figures.peaks)
        peaks.push_back({{"frequencyHz", p.frequencyHz}, {"vrms", p.vrms}, {"dbv", p.dbv}});
    out["peaks"] = std::move(peaks);
    out["fundamentalHz"] = OrNull(r.figures.fundamentalHz);
    out["thdDb"] = OrNull(r.figures.thdDb);
    out["snrDb"] = OrNull(r.figures.snrDb);
    out["sinadDb"] = OrNull(r.figures.sinadDb);
    out["sfdrDb"] = OrNull(r.figures.sfdrDb);
    out["enob"] = OrNull(r.figures.enob);
    return out;
}

std::string Figure(const std::optional<double>& value, const char* format = "{:.2f}") {
    return value ? fmt::format(fmt::runtime(format), *value) : std::string("-");
}

void PrintSummary(const SpectrumResult& r) {
    std::cout << fmt::format("CH{} from {} ns to {} ns: {} records, {:.6g} Hz sample rate\n", r.channel + 1,
                             r.fromNs, r.toNs, r.records, r.sampleRateHz);
    std::cout << fmt::format("nfft {}, {} window, {} segments, ENBW {:.6g} Hz\n", r.nfft,
                             qvx::analog::SpectrumWindowName(r.window), r.segments, r.enbwHz);
    const auto& f = r.figures;
    std::cout << "fundamental_Hz THD_dB SNR_dB SINAD_dB SFDR_dB ENOB\n";
    std::cout << fmt::format("{} {} {} {} {} {}\n", Figure(f.fundamentalHz, "{:.6g}"), Figure(f.thdDb),
                             Figure(f.snrDb), Figure(f.sinadDb), Figure(f.sfdrDb), Figure(f.enob));
    std::cout << "peak frequency_Hz vrms_V dBV\n";
    for (std::size_t i = 0; i < f.peaks.size(); ++i)
        std::cout << fmt::format("{} {:.6g} {:.6g} {:.2f}\n", i + 1, f.peaks[i].frequencyHz, f.peaks[i].vrms,
                                 f.peaks[i].dbv);
}

// A file the command writes must not be one of the session's own.
std::optional<std::string> CheckOutput(const qvanalog::OpenedReport& opened, const std::string& option,
                                       const fs::path& path) {
    if (opened.session && opened.session->IsOwnFile(path))
        return option + ": " + path.string() + " is a file of the session";
    return std::nullopt;
}

int RunSpectrum(qvanalog::Args& args) {
    std::vector<std::string> values = kValueOptions;
    values.push_back("--csv");
    args.DeclareValueOptions(values);
    if (const auto unknown = UnknownOption(args, {"--csv"}, {"--json"}))
        return Fail("unknown option " + *unknown);
    if (const auto repeated = args.RepeatedOption()) return Fail(*repeated + " is given more than once");
    SpectrumRequest request;
    if (const auto error = ParseRequest(args, request)) return Fail(*error);
    const auto csv = args.Option("--csv");
    if (csv && args.Flag("--json")) return Fail("--json and --csv exclude each other");
    if (args.Flag("--csv") && !csv) return Fail("--csv needs a FILE");
    qvanalog::OpenedReport opened;
    SpectrumResult result;
    if (const auto error = Compute(args, request, opened, result)) return Fail(*error);
    if (csv) {
        if (const auto error = CheckOutput(opened, "--csv", *csv)) return Fail(*error);
        if (!qvx::analog::WriteSpectrumCsv(result, *csv))
            return Fail("--csv: " + *csv + " could not be written");
        PrintSummary(result);
    } else if (args.Flag("--json")) {
        std::cout << SpectrumJson(result).dump() << "\n";
    } else {
        PrintSummary(result);
    }
    return 0;
}

int RunSpectrogram(qvanalog::Args& args) {
    std::vector<std::string> values = kValueOptions;
    values.insert(values.end(), {"--columns", "--png"});
    args.DeclareValueOptions(values);
    if (const auto unknown = UnknownOption(args, {"--columns", "--png"}, {"--log-frequency"}))
        return Fail("unknown option " + *unknown);
    if (const auto repeated = args.RepeatedOption()) return Fail(*repeated + " is given more than once");
    SpectrumRequest request;
    if (const auto error = ParseRequest(args, request)) return Fail(*error);
    request.columns = SpectrumRequest::kMaxSpectrogramColumns;
    if (const auto columnsText = args.Option("--columns")) {
        const auto columns = ParseSigned(columnsText);
        if (!columns || *columns < 1 ||
            *columns > static_cast<std::int64_t>(SpectrumRequest::kMaxSpectrogramColumns))
            return Fail(fmt::format("--columns needs a whole number from 1 to {}",
                                    SpectrumRequest::kMaxSpectrogramColumns));
        request.columns = static_cast<std::size_t>(*columns);
    }
    const auto png = args.Option("--png");
    if (!png) return Fail("--png needs the FILE to write the picture to");
    qvanalog::OpenedReport opened;
    SpectrumResult result;
    if (const auto error = Compute(args, request, opened, result)) return Fail(*error);
    if (const auto error = CheckOutput(opened, "--png", *png)) return Fail(*error);
    if (!qvanalog::WriteSpectrogramPng(result, args.Flag("--log-frequency"), *png))
        return Fail("--png: " + *png + " could not be written");
    const auto& image = *result.spectrogram;
    std::cout << fmt::format("CH{}: {} columns x {} rows, {} segments of {} records, {:.6g} Hz sample rate\n",
                             result.channel + 1, image.columns, image.rows, result.segments, result.nfft,
                             result.sampleRateHz);
    return 0;
}

const qvanalog::Registration kSpectrum{"spectrum",
                                       "spectrum PATH --channel 1..4 [--from NS --to NS] [--nfft N]\n"
                                       "                   [--window rect|hann|blackman-harris|flattop] "
                                       "[--detrend mean|none] [--json | --csv FILE]"
                                       "  # averaged spectrum",
                                       &RunSpectrum};
const qvanalog::Registration kSpectrogram{
    "spectrogram",
    "spectrogram PATH --channel 1..4 --png FILE [--columns N] [--log-frequency] [--from NS --to NS]\n"
    "                   [--nfft N] [--window W] [--detrend mean|none]  # spectrum over time as a picture",
    &RunSpectrogram};

}  // namespace
