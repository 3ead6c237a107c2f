// Report folder commands: info, read, find (read-only on the folder) and make-demo-report.

#include "Command.h"
#include "SessionSupport.h"

#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportDataWriter.h"

#include <spdlog/spdlog.h>
#include <nlohmann/json.hpp>

#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::optional<std::uint64_t> ParseUnsigned(const std::string& text) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
    return value;
}

// The single REPO_FOLDER argument, or an error message.
std::optional<fs::path> FolderArgument(qvanalog::Args& args, const std::vector<std::string>& valueOptions,
                                       std::string& error) {
    args.DeclareValueOptions(valueOptions);
    const std::vector<std::string> positionals = args.Positionals();
    if (positionals.size() != 1) {
        error = "expected one REPO_FOLDER argument";
        return std::nullopt;
    }
    return fs::path(positionals.front());
}

std::optional<std::uint64_t> RequiredNumber(const qvanalog::Args& args, const std::string& option,
                                            std::string& error) {
    const std::optional<std::string> text = args.Option(option);
    if (!text) {
        error = option + " is required";
        return std::nullopt;
    }
    const std::optional<std::uint64_t> value = ParseUnsigned(*text);
    if (!value) error = option + " needs a non-negative decimal number, not \"" + *text + "\"";
    return value;
}

// A report folder, or a session settings file whose "repo" is reported on.
qvx::ReportDataReaderPtr OpenReport(const fs::path& path, qvanalog::OpenedReport& opened) {
    qvanalog::OpenReportOrSession(path, opened);
    return opened.reader;
}

int CannotOpen(const qvanalog::OpenedReport& opened) {
    return qvanalog::Fail(opened.error);
}

std::string UtcText(std::int64_t seconds, std::int32_t nanoseconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (!::gmtime_r(&t, &tm)) return "?";
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    char frac[16];
    std::snprintf(frac, sizeof frac, ".%09d", nanoseconds);
    return std::string(text) + frac + " UTC";
}

// Ticks of 10 ns as seconds, for the text output.
std::string TickSeconds(std::uint64_t ticks) {
    char text[48];
    std::snprintf(text, sizeof text, "%llu.%08llu s", static_cast<unsigned long long>(ticks / 100'000'000),
                  static_cast<unsigned long long>(ticks % 100'000'000));
    return text;
}

int RunInfo(qvanalog::Args& args) {
    std::string error;
    const std::optional<fs::path> folder = FolderArgument(args, {}, error);
    if (!folder) return qvanalog::Fail(error);
    qvanalog::OpenedReport opened;
    const qvx::ReportDataReaderPtr reader = OpenReport(*folder, opened);
    if (!reader)
        return opened.session ? qvanalog::PrintDraftSession(opened, args.Flag("--json")) : CannotOpen(opened);

    const auto& files = reader->GetFiles();
    const qvx::ReportFile& first = *files[static_cast<std::size_t>(reader->GetFirstFileIndex())];
    const qvx::ReportFile& last = *files.back();
    if (args.Flag("--json")) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (std::size_t n = 0; n < files.size(); ++n) {
            const qvx::ReportFile& f = *files[n];
            list.push_back({{"number", n},
                            {"placeholder", f.IsPlaceholder()},
                            {"recordCount", f.GetRecordCount()},
                            {"tornBytes", f.GetTornBytes()},
                            {"firstIndex", f.GetFirstIndex()},
                            {"lastIndex", f.GetLastIndex()},
                            {"startTime", f.GetStartTime()},
                            {"endTime", f.GetEndTime()}});
        }
        nlohmann::ordered_json out = {{"totalRecordCount", reader->GetTotalRecordCount()},
                                      {"firstFileIndex", reader->GetFirstFileIndex()},
                                      {"firstIndex", first.GetFirstIndex()},
                                      {"lastIndex", last.GetLastIndex()},
                                      {"lastTime", reader->GetLastTime()},
                                      {"startSeconds", reader->GetStartSeconds()},
                                      {"startNanoseconds", reader->GetStartNanoseconds()},
                                      {"files", std::move(list)}};
        qvanalog::AddSessionInfo(out, opened);
        std::cout << out.dump() << "\n";
        return 0;
    }

    const bool anyStored = reader->GetTotalRecordCount() > first.GetFirstIndex();
    const std::string present = anyStored ? "indexes " + std::to_string(first.GetFirstIndex()) + " to " +
                                                std::to_string(last.GetLastIndex()) + " present"
                                          : "none present";
    std::cout << "report folder     " << folder->string() << "\n"
              << "records           " << reader->GetTotalRecordCount() << " (" << present << ")\n"
              << "first file        " << reader->GetFirstFileIndex() << "\n"
              << "last time         " << reader->GetLastTime() << " ticks ("
              << TickSeconds(reader->GetLastTime()) << ")\n"
              << "start             " << UtcText(reader->GetStartSeconds(), reader->GetStartNanoseconds())
              << "\n"
              << "files (times in 10 ns ticks)\n";
    if (reader->GetFirstFileIndex() > 0) {
        std::cout << "  0-" << reader->GetFirstFileIndex() - 1 << "  deleted by rotation\n";
    }
    for (std::size_t n = static_cast<std::size_t>(reader->GetFirstFileIndex()); n < files.size(); ++n) {
        const qvx::ReportFile& f = *files[n];
        std::cout << "  " << f.GetPath().filename().string() << "  records " << f.GetRecordCount();
        if (f.GetRecordCount() == 0) {
            std::cout << "  no records\n";  // a header alone: no index or time belongs to it
            continue;
        }
        std::cout << "  indexes " << f.GetFirstIndex() << "-" << f.GetLastIndex() << "  time "
                  << f.GetStartTime() << "-" << f.GetEndTime() << "\n";
    }
    return 0;
}

int RunRead(qvanalog::Args& args) {
    std::string error;
    const std::optional<fs::path> folder = FolderArgument(args, {"--index"}, error);
    if (!folder) return qvanalog::Fail(error);
    const std::optional<std::uint64_t> index = RequiredNumber(args, "--index", error);
    if (!index) return qvanalog::Fail(error);
    qvanalog::OpenedReport opened;
    const qvx::ReportDataReaderPtr reader = OpenReport(*folder, opened);
    if (!reader) return CannotOpen(opened);

    const std::uint8_t* record = reader->ReadRecordByIndex(*index);
    if (!record) return qvanalog::Fail("no record with index " + std::to_string(*index));
    const std::uint64_t time = reader->GetRecordAccessor().GetTime(record);
    if (args.Flag("--json")) {
        nlohmann::ordered_json samples = nlohmann::ordered_json::array();
        for (std::size_t c = 0; c < qvx::kRecordChannelCount; ++c)
            samples.push_back(qvx::RecordRawSample(record, c));
        nlohmann::ordered_json out{{"index", *index}, {"timeStamp", time}, {"samples", std::move(samples)}};
        if (opened.session) out["values"] = qvanalog::SessionValues(*opened.session, record);
        std::cout << out.dump() << "\n";
        return 0;
    }
    std::cout << "index " << *index << "  time " << time << " ticks (" << TickSeconds(time) << ")\n";
    for (std::size_t c = 0; c < qvx::kRecordChannelCount; ++c) {
        const std::uint16_t raw = qvx::RecordRawSample(record, c);
        std::cout << "  CH" << c + 1 << "  raw " << raw << "  value " << qvx::CentredSample(raw) << "\n";
    }
    return 0;
}

int RunFind(qvanalog::Args& args) {
    std::string error;
    const std::optional<fs::path> folder = FolderArgument(args, {"--time"}, error);
    if (!folder) return qvanalog::Fail(error);
    const std::optional<std::uint64_t> ticks = RequiredNumber(args, "--time", error);
    if (!ticks) return qvanalog::Fail(error);
    qvanalog::OpenedReport opened;
    const qvx::ReportDataReaderPtr reader = OpenReport(*folder, opened);
    if (!reader) return CannotOpen(opened);

    std::uint64_t index = 0;
    std::uint64_t foundTime = 0;
    const bool found = reader->FindIndexByTime(*ticks, index, foundTime);
    std::optional<std::uint64_t> stamp;
    if (found) {
        const std::uint8_t* record = reader->ReadRecordByIndex(index);
        if (!record) return qvanalog::Fail("found index " + std::to_string(index) + " cannot be read");
        stamp = reader->GetRecordAccessor().GetTime(record);
    }
    if (args.Flag("--json")) {
        nlohmann::ordered_json out = {{"found", found}, {"index", nullptr}, {"timeStamp", nullptr}};
        if (found) {
            out["index"] = index;
            out["timeStamp"] = *stamp;
        }
        std::cout << out.dump() << "\n";
        return 0;
    }
    if (!found) {
        std::cout << "no record at or before " << *ticks << " ticks\n";
    } else {
        std::cout << "index " << index << "  time " << *stamp << " ticks (" << TickSeconds(*stamp) << ")\n";
    }
    return 0;
}

// Demo content at 10 MS/s (one record every 10 ticks): CH1 a 1 kHz sine, CH2 a 2 kHz square,
// CH3 a 500 Hz triangle, CH4 noise around mid-scale. Codes are 14-bit, mid-scale 8192.
void FillDemoRecords(std::uint64_t first, std::uint64_t count, std::uint32_t& noiseState,
                     std::vector<std::uint8_t>& out) {
    constexpr double kPi = 3.14159265358979323846;
    constexpr std::uint64_t kRecordsPerSecond = 10'000'000;
    out.resize(count * qvx::kReportRecordSize);
    for (std::uint64_t k = 0; k < count; ++k) {
        const std::uint64_t i = first + k;
        const double seconds = static_cast<double>(i) / kRecordsPerSecond;
        const double sine = std::sin(2 * kPi * 1000 * seconds);
        const double square = std::fmod(seconds * 2000, 1.0) < 0.5 ? 0.8 : -0.8;
        const double phase = std::fmod(seconds * 500, 1.0);
        const double triangle = phase < 0.5 ? 4 * phase - 1 : 3 - 4 * phase;
        noiseState = noiseState * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(noiseState >> 8) / (1u << 24) - 0.5) * 0.2;
        auto code = [](double v) {
            return static_cast<std::uint16_t>(std::lround(8191.5 + v * 8191.5 * 0.9));
        };
        std::uint8_t* r = out.data() + k * qvx::kReportRecordSize;
        qvx::StoreLE64(r, i * 10);
        qvx::StoreLE16(r + 8, code(0.9 * sine));
        qvx::StoreLE16(r + 10, code(square));
        qvx::StoreLE16(r + 12, code(0.7 * triangle));
        qvx::StoreLE16(r + 14, code(noise));
    }
}

int RunMakeDemoReport(qvanalog::Args& args) {
    std::string error;
    const std::optional<fs::path> folder = FolderArgument(args, {"--records"}, error);
    if (!folder) return qvanalog::Fail(error);
    std::uint64_t records = 1'000'000;
    if (args.Option("--records")) {
        const std::optional<std::uint64_t> n = RequiredNumber(args, "--records", error);
        if (!n) return qvanalog::Fail(error);
        // 4 full files: enough for any demonstration, and a bound on what a typo can fill.
        if (*n > 4 * qvx::kRecordsPerReportFile) return qvanalog::Fail("--records is limited to 134217728");
        records = *n;
    }

    // Never mixes with or overwrites existing files: the folder must be new or empty.
    std::error_code ec;
    if (fs::exists(*folder, ec)) {
        if (!fs::is_directory(*folder, ec) || !fs::is_empty(*folder, ec) || ec) {
            return qvanalog::Fail(folder->string() + " exists and is not an empty folder");
        }
    } else if (!fs::create_directories(*folder, ec) || ec) {
        return qvanalog::Fail("cannot create " + folder->string() + ": " + ec.message());
    }

    qvx::ReportDataWriter writer(*folder, qvx::MakeApplicationReportHeader());
    if (!writer.CreateReportFile())
        return qvanalog::Fail("cannot create a report file in " + folder->string());
    std::vector<std::uint8_t> chunk;
    std::uint32_t noiseState = 12345;
    constexpr std::uint64_t kChunkRecords = 65536;
    for (std::uint64_t done = 0; done < records; done += kChunkRecords) {
        const std::uint64_t n = std::min(kChunkRecords, records - done);
        FillDemoRecords(done, n, noiseState, chunk);
        if (!writer.WriteRecord(chunk.data(), static_cast<std::int64_t>(n))) {
            return qvanalog::Fail("writing the demo report failed");
        }
    }
    writer.Close();

    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now);
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(now - seconds);
    if (!qvx::ReportDataReader::UpdateHeader(*folder, seconds.count(),
                                             static_cast<std::int32_t>(nanoseconds.count()))) {
        return qvanalog::Fail("cannot set the start time of the demo report");
    }
    const qvx::ReportDataReaderPtr check = qvx::ReportDataReader::Open(*folder);
    if (!check || check->GetTotalRecordCount() != records)
        return qvanalog::Fail("the demo report did not read back");
    std::cout << folder->string() << "\n";
    return 0;
}

const qvanalog::Registration s_info{"info", "info REPO_FOLDER|SESSION.qvxa [--json]", &RunInfo};
const qvanalog::Registration s_read{"read", "read REPO_FOLDER|SESSION.qvxa --index N [--json]", &RunRead};
const qvanalog::Registration s_find{"find", "find REPO_FOLDER|SESSION.qvxa --time TICKS [--json]", &RunFind};
const qvanalog::Registration s_makeDemo{"make-demo-report", "make-demo-report DIR [--records N]",
                                        &RunMakeDemoReport};

}  // namespace
