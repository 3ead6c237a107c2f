// Export commands: the data list (as CSV or HDF5) and the display-trigger list of a
// saved session, through the same list models the application's panes use.
//
//   qvanalog export SESSION.qvxa --out FILE [--format csv|hdf5] [--deflate 0-9]
//                   [--from-ns NS --to-ns NS | --from ROW --to ROW] [--clock-time]
//   qvanalog export-triggers SESSION.qvxa --out FILE.csv [--clock-time]
//
// --clock-time writes the CSV time column as ISO 8601 local clock times (the report's
// start time plus each record's time, with ns and the UTC offset).
//
// Opening the session and the data list export run on a worker thread; this
// thread drains their progress updates and, when stderr is a terminal, draws a
// progress bar. Ctrl-C cancels the export; the CSV rows written so far stay, a
// cancelled HDF5 file is not written at all.

#include "Command.h"

#include "QV+AnalogCore/Presenters/IQVxAnalogListOwner.h"
#include "QV+AnalogCore/Presenters/IQVxAnalogOscilloGraphOwner.h"
#include "QV+AnalogCore/Presenters/QVxAnalogDataListViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogDisplayTriggerListModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/QVxAppStrings.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/Presenters/InteractionTaskRunner.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxWinCommon/QVxGuiStrings.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

namespace fs = std::filesystem;

namespace {

std::atomic<bool> s_interrupted{false};

void OnInterrupt(int) {
    s_interrupted.store(true);
}

// The session and its oscillograph view model, standing in for the analog view
// model that owns them in the application. Main thread.
class ExportSession : public IQVxAnalogListOwner, public IQVxAnalogOscilloGraphOwner {
public:
    qvx::AnalogSession* GetCurrentSession() const override { return m_session.get(); }
    QVxAnalogOscilloGraphViewModel* GetCurrentOscilloGraphViewModel() const override { return m_graph.get(); }
    qvx::AnalogSettings* GetSessionSettings() const override {
        return m_session ? &m_session->GetSettings() : nullptr;
    }
    bool IsDarkLook() const override { return false; }
    std::optional<std::int64_t> GetClockTimeOrigin() const override { return m_clockOrigin; }

    std::unique_ptr<qvx::AnalogSession> m_session;
    std::optional<std::int64_t> m_clockOrigin;  // set by --clock-time
    std::unique_ptr<QVxAnalogOscilloGraphViewModel> m_graph;
};

// Runs `task` on a worker thread. With a terminal on stderr, a bar
// "caption [#####.....]  45% current/total" is redrawn at most every 100 ms.
// Ctrl-C requests the task's cancel. Returns false after a cancel or when the
// task threw (logged).
bool RunWithProgressBar(const std::string& caption, const qvx::InteractionTask& task) {
    const bool ownDispatcher = !qvx::Dispatcher::GetMainInstance();
    if (ownDispatcher) qvx::Dispatcher::AttachMain(qvx::Dispatcher::kHostMessageQueue);
    const bool terminal = ::isatty(STDERR_FILENO) != 0;

    std::int64_t current = 0;
    std::int64_t total = 0;
    bool drawn = false;
    auto lastDraw = std::chrono::steady_clock::time_point{};
    auto draw = [&](bool force) {
        if (!terminal || total <= 0) return;
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - lastDraw < std::chrono::milliseconds(100)) return;
        lastDraw = now;
        constexpr int kWidth = 30;
        const int filled = static_cast<int>(current * kWidth / total);
        std::fprintf(stderr, "\r%s [%s%s] %3lld%% %lld/%lld", caption.c_str(),
                     std::string(filled, '#').c_str(), std::string(kWidth - filled, '.').c_str(),
                     static_cast<long long>(current * 100 / total), static_cast<long long>(current),
                     static_cast<long long>(total));
        std::fflush(stderr);
        drawn = true;
    };

    qvx::InteractionTaskRunner runner(
        [&](std::int64_t c, std::int64_t t) {
            current = c;
            total = t;
            draw(false);
        },
        {});
    s_interrupted.store(false);
    const auto previous = std::signal(SIGINT, &OnInterrupt);
    runner.Start(task);
    runner.WaitFinished([&] {
        if (s_interrupted.load() && !runner.IsCancelRequested()) runner.RequestCancel();
        if (auto main = qvx::Dispatcher::GetMainInstance()) {
            while (main->ProcessInvoke()) {
            }
        }
    });
    const bool ok = runner.Join();
    std::signal(SIGINT, previous);
    if (auto main = qvx::Dispatcher::GetMainInstance()) {
        while (main->ProcessInvoke()) {
        }
    }
    if (drawn) {
        if (ok) current = total;  // the last update may have been dropped while one was queued
        draw(true);
        std::fputc('\n', stderr);
    }
    if (ownDispatcher) qvx::Dispatcher::DestroyMain();
    return ok;
}

// Opens the settings file `path` with its report data. An error text when it fails.
std::optional<std::string> OpenSession(const fs::path& path, ExportSession& out) {
    std::error_code ec;
    if (!fs::exists(path, ec)) return path.string() + ": not found";
    if (!fs::is_regular_file(path, ec)) return path.string() + " is not a session settings file (.qvxa)";
    out.m_session = std::make_unique<qvx::AnalogSession>();
    bool opened = false;
    int code = -1;
    std::string failure;
    RunWithProgressBar("opening", [&](qvx::ProgressToken* token) {
        try {
            opened = out.m_session->OpenInternal(path, token, code);
        } catch (const std::exception& e) {
            failure = e.what();
        }
    });
    if (!opened) {
        return std::string(QVxLoadAppString(kAppStringOpenSettingsFailed)) + " (" + path.string() + ")" +
               (failure.empty() ? "" : ": " + failure);
    }
    out.m_graph = std::make_unique<QVxAnalogOscilloGraphViewModel>(&out);
    return std::nullopt;
}

// A whole number >= `minimum`, nothing else in the text.
std::optional<std::int64_t> ParseWholeNumber(const std::string& text, std::int64_t minimum) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < minimum) return std::nullopt;
    return value;
}

// A row number of the export dialog: a whole number >= 1.
std::optional<std::int64_t> ParseRowNumber(const std::string& text) {
    return ParseWholeNumber(text, 1);
}

// SESSION.qvxa and --out FILE.csv, or an error text.
std::optional<std::string> SessionAndOutput(qvanalog::Args& args, fs::path& session, fs::path& out) {
    const auto positionals = args.Positionals();
    if (positionals.size() != 1) return "expected one SESSION.qvxa argument";
    const auto outOption = args.Option("--out");
    if (!outOption || outOption->empty()) return "--out FILE.csv is required";
    session = positionals.front();
    out = *outOption;
    return std::nullopt;
}

// The export's output must not be one of the session's own files (its settings file,
// a report file or "meta"): it would be truncated while it is read. An error text then.
std::optional<std::string> RefuseSessionFile(const ExportSession& owner, const fs::path& session,
                                             const fs::path& out) {
    if (!owner.m_session->IsOwnFile(out)) return std::nullopt;
    return out.string() + " is a file of the session " + session.string() + "; choose another output file";
}

std::uintmax_t FileSize(const fs::path& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

// "csv" or "hdf5": --format when given, else by the extension (.h5, .hdf5, .hdf, .he5
// are HDF5). An error text for any other --format.
std::optional<std::string> ExportFormat(const qvanalog::Args& args, const fs::path& out,
                                        std::string& format) {
    if (const auto given = args.Option("--format")) {
        if (*given != "csv" && *given != "hdf5") return "--format takes csv or hdf5";
        format = *given;
        return std::nullopt;
    }
    std::string extension = out.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    const bool hdf5 =
        extension == ".h5" || extension == ".hdf5" || extension == ".hdf" || extension == ".he5";
    format = hdf5 ? "hdf5" : "csv";
    return std::nullopt;
}

// A whole number >= 0 (ns, or a deflate level).
std::optional<std::int64_t> ParseCount(const std::string& text) {
    return ParseWholeNumber(text, 0);
}

struct ExportRows {
    std::int64_t firstRow = -1;  // 0-based rows of the data list; both -1: all rows
    std::int64_t lastRow = -1;
};

// The rows --from/--to (row numbers) or --from-ns/--to-ns (ns from the trace start, both
// included) select, or every row; an error text for a bad or empty range.
std::optional<std::string> SelectRows(const qvanalog::Args& args, const QVxAnalogDataListViewModel& model,
                                      ExportRows& out) {
    const auto fromText = args.Option("--from");
    const auto toText = args.Option("--to");
    const auto fromNsText = args.Option("--from-ns");
    const auto toNsText = args.Option("--to-ns");
    if (fromText.has_value() != toText.has_value()) return "--from and --to go together";
    if (fromNsText.has_value() != toNsText.has_value()) return "--from-ns and --to-ns go together";
    if (fromText && fromNsText)
        return "give either --from/--to (rows) or --from-ns/--to-ns (times), not both";
    const auto firstIndex = static_cast<std::int64_t>(model.GetFirstIndex());
    const auto rowCount = static_cast<std::int64_t>(model.GetRowCount());
    const std::string invalid(QVxLoadGuiString(kGuiStringRangeInvalid));

    if (fromNsText) {
        const auto fromNs = ParseCount(*fromNsText);
        const auto toNs = ParseCount(*toNsText);
        if (!fromNs || !toNs) return "--from-ns and --to-ns take times in ns from 0";
        const auto rows = model.RowsOfTimeRange(*fromNs, *toNs);
        if (!rows) return invalid + " (--to-ns is before --from-ns)";
        if (rows->first == rows->second)
            return invalid + " (no record lies between " + *fromNsText + " ns and " + *toNsText + " ns)";
        out.firstRow = static_cast<std::int64_t>(rows->first);
        out.lastRow = static_cast<std::int64_t>(rows->second) - 1;
        return std::nullopt;
    }
    if (!fromText) return std::nullopt;
    // --from and --to are the numbers of the "#" column: the export dialog's check, both
    // between the first and the last record's number, and to not before from.
    const auto from = ParseRowNumber(*fromText);
    const auto to = ParseRowNumber(*toText);
    if (!from || !to) return "--from and --to take row numbers from 1";
    const std::int64_t minimum = firstIndex + 1;
    const std::int64_t maximum = firstIndex + rowCount;
    if (*from < minimum || *from > maximum || *to < minimum || *to > maximum || *to < *from)
        return invalid + " (rows " + std::to_string(minimum) + " to " + std::to_string(maximum) + ")";
    out.firstRow = *from - firstIndex - 1;
    out.lastRow = *to - firstIndex - 1;
    return std::nullopt;
}

// --clock-time: the report's start time becomes the clock origin of `owner`. An error text
// when the report has none (its headers hold 0).
std::optional<std::string> TakeClockTime(const qvanalog::Args& args, ExportSession& owner) {
    if (!args.Flag("--clock-time")) return std::nullopt;
    const qvx::ReportDataReader* reader = owner.m_session->GetReportData().get();
    if (!reader || (reader->GetStartSeconds() == 0 && reader->GetStartNanoseconds() == 0))
        return "--clock-time needs the report's start time, and this report has none";
    owner.m_clockOrigin = reader->GetStartTimeNs();
    return std::nullopt;
}

int RunExport(qvanalog::Args& args) {
    args.DeclareValueOptions({"--out", "--from", "--to", "--from-ns", "--to-ns", "--format", "--deflate"});
    fs::path sessionPath;
    fs::path outPath;
    if (auto error = SessionAndOutput(args, sessionPath, outPath)) return qvanalog::Fail(*error);
    std::string format;
    if (auto error = ExportFormat(args, outPath, format)) return qvanalog::Fail(*error);
    QVxAnalogHdf5Layout layout;
    if (const auto deflate = args.Option("--deflate")) {
        const auto level = ParseCount(*deflate);
        if (!level || *level > 9) return qvanalog::Fail("--deflate takes a level from 0 (none) to 9");
        if (format != "hdf5") return qvanalog::Fail("--deflate applies to HDF5 exports only");
        layout.deflateLevel = static_cast<int>(*level);
    }

    ExportSession owner;
    if (auto error = OpenSession(sessionPath, owner)) return qvanalog::Fail(*error);
    if (!owner.m_session->GetReportData()) {
        return qvanalog::Fail("the session " + sessionPath.string() + " holds no report data to export");
    }
    if (auto error = RefuseSessionFile(owner, sessionPath, outPath)) return qvanalog::Fail(*error);
    if (args.Flag("--clock-time") && format == "hdf5")
        return qvanalog::Fail("--clock-time applies to CSV exports only (HDF5 files keep the start time)");
    if (auto error = TakeClockTime(args, owner)) return qvanalog::Fail(*error);
    QVxAnalogDataListViewModel model(&owner);
    const auto firstIndex = static_cast<std::int64_t>(model.GetFirstIndex());
    const auto rowCount = static_cast<std::int64_t>(model.GetRowCount());
    ExportRows selected;
    if (auto error = SelectRows(args, model, selected)) return qvanalog::Fail(*error);
    const auto [firstRow, lastRow] = selected;

    QVxRowExportRequest request = QVxRowExportRequest::ForRows(
        outPath, format == "hdf5" ? QVxRowExportRequest::Format::kHdf5 : QVxRowExportRequest::Format::kCsv,
        firstRow, lastRow);
    request.clockOriginNs = owner.GetClockTimeOrigin();
    request.hdf5Layout = layout;
    QVxExportResult result;
    const auto started = std::chrono::steady_clock::now();
    const bool finished = RunWithProgressBar(
        "exporting", [&](qvx::ProgressToken* token) { result = model.Export(request, token); });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const bool cancelled = !finished || result.outcome == QVxExportResult::Outcome::kCancelled;
    if (result.Failed() && result.unreadableRow != 0) {
        return qvanalog::Fail("the record of row " + std::to_string(result.unreadableRow) +
                              " cannot be read; " +
                              (format == "hdf5" ? outPath.string() + " was not written"
                                                : outPath.string() + " keeps the rows before it"));
    }
    if (result.Failed()) return qvanalog::Fail("cannot write " + outPath.string() + ": " + result.error);
    if (cancelled && format == "hdf5")
        return qvanalog::Fail("export cancelled; " + outPath.string() + " was not written");
    const auto [start, stop] =
        QVxAnalogDataListViewModel::ExportRowRange(firstRow, lastRow, static_cast<std::uint64_t>(rowCount));
    if (cancelled) {
        return qvanalog::Fail("export cancelled; " + outPath.string() + " keeps the " +
                              std::to_string(FileSize(outPath)) + " bytes written so far");
    }
    std::printf("%s: rows %llu to %llu (%llu rows), %ju bytes, %.2f s\n", outPath.string().c_str(),
                static_cast<unsigned long long>(firstIndex + 1 + static_cast<std::int64_t>(start)),
                static_cast<unsigned long long>(firstIndex + static_cast<std::int64_t>(stop)),
                static_cast<unsigned long long>(stop - start), FileSize(outPath), seconds);
    return 0;
}

int RunExportTriggers(qvanalog::Args& args) {
    args.DeclareValueOptions({"--out"});
    fs::path sessionPath;
    fs::path outPath;
    if (auto error = SessionAndOutput(args, sessionPath, outPath)) return qvanalog::Fail(*error);

    ExportSession owner;
    if (auto error = OpenSession(sessionPath, owner)) return qvanalog::Fail(*error);
    if (auto error = RefuseSessionFile(owner, sessionPath, outPath)) return qvanalog::Fail(*error);
    if (owner.m_session->GetReportData()) {
        if (auto error = TakeClockTime(args, owner)) return qvanalog::Fail(*error);
    } else if (args.Flag("--clock-time")) {
        return qvanalog::Fail("--clock-time needs the session's report data, and this session has none");
    }
    QVxAnalogDisplayTriggerListModel model(&owner);
    if (!model.ExportCsv(outPath)) {
        return qvanalog::Fail("cannot write " + outPath.string() + " (see the messages above)");
    }
    std::printf("%s: %zu display trigger hits, %ju bytes\n", outPath.string().c_str(), model.GetRowCount(),
                FileSize(outPath));
    return 0;
}

const qvanalog::Registration s_export{"export",
                                      "export SESSION.qvxa --out FILE [--format csv|hdf5] [--deflate 0-9] "
                                      "[--from-ns NS --to-ns NS | --from ROW "
                                      "--to ROW] [--clock-time]",
                                      &RunExport};
const qvanalog::Registration s_exportTriggers{
    "export-triggers", "export-triggers SESSION.qvxa --out FILE.csv [--clock-time]", &RunExportTriggers};

}  // namespace
