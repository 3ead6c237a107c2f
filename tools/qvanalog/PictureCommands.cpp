// image and report: the monitor window's picture (PNG, SVG) and a PDF report of a stored
// recording, made headless: the window is laid out off screen (the offscreen platform
// unless QT_QPA_PLATFORM names another) and painted by the same code as on screen.
// Everything runs on the main thread, which owns the reader, the overview and the window.

#include "Command.h"
#include "OverviewSupport.h"
#include "SessionSupport.h"

#include "QV+Analog/Pictures/QVxPictureFile.h"
#include "QV+Analog/Pictures/QVxRecordingView.h"
#include "QV+Analog/Pictures/QVxReport.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformPicture.h"

#include <QApplication>
#include <QDateTime>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using qvanalog::Fail;
using qvanalog::ParseSigned;

namespace {

constexpr QSize kDefaultSize(1280, 800);  // layout pixels of the window

std::optional<std::string> UnknownOption(const qvanalog::Args& args, const std::vector<std::string>& known) {
    for (const std::string& word : args.Words()) {
        if (word.rfind("--", 0) == 0 && std::find(known.begin(), known.end(), word) == known.end())
            return word;
    }
    return std::nullopt;
}

struct Span {
    std::int64_t from = 0;
    std::int64_t to = 0;
};

// --from and --to (ns from the recording's start): both or neither.
std::optional<std::string> ParseSpan(const qvanalog::Args& args, std::optional<Span>& out) {
    const auto fromText = args.Option("--from"), toText = args.Option("--to");
    if (!fromText && !toText) return std::nullopt;
    const auto from = ParseSigned(fromText), to = ParseSigned(toText);
    if (!from || !to) return "--from and --to need whole numbers of ns, both of them";
    if (*from < 0) return "--from must be 0 or more";
    if (*from >= *to) return "--from must be less than --to";
    out = Span{*from, *to};
    return std::nullopt;
}

// --width and --height (pixels): both or neither.
std::optional<std::string> ParseSize(const qvanalog::Args& args, QSize& out) {
    const auto widthText = args.Option("--width"), heightText = args.Option("--height");
    if (!widthText && !heightText) return std::nullopt;
    const auto width = ParseSigned(widthText), height = ParseSigned(heightText);
    const std::int64_t max = CQVxWaveformPicture::kMaxSide;
    if (!width || !height || *width < 200 || *height < 150 || *width > max || *height > max)
        return "--width and --height need whole numbers of pixels, both of them, from 200 x 150 to " +
               std::to_string(max) + " x " + std::to_string(max);
    out = QSize(static_cast<int>(*width), static_cast<int>(*height));
    return std::nullopt;
}

// --markers M1NS,M2NS.
std::optional<std::string> ParseMarkers(const qvanalog::Args& args, std::optional<Span>& out) {
    const auto text = args.Option("--markers");
    if (!text) return std::nullopt;
    const auto comma = text->find(',');
    const auto m1 = comma == std::string::npos ? std::nullopt : ParseSigned(text->substr(0, comma));
    const auto m2 = comma == std::string::npos ? std::nullopt : ParseSigned(text->substr(comma + 1));
    if (!m1 || !m2 || *m1 < 0 || *m2 < 0)
        return "--markers needs M1NS,M2NS: two whole numbers of ns (0 or more)";
    out = Span{*m1, *m2};
    return std::nullopt;
}

// --out with an extension of `allowed` (lower case, with the dot).
std::optional<std::string> ParseOut(const qvanalog::Args& args, const std::vector<std::string>& allowed,
                                    fs::path& out) {
    const auto text = args.Option("--out");
    if (!text || text->empty()) return "--out FILE is required";
    out = fs::path(*text);
    std::string extension = out.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
    if (std::find(allowed.begin(), allowed.end(), extension) == allowed.end()) {
        std::string names;
        for (const auto& a : allowed) names += (names.empty() ? "" : " or ") + a;
        return "--out must name a " + names + " file";
    }
    std::error_code ec;
    const fs::path folder = out.has_parent_path() ? out.parent_path() : fs::path(".");
    if (!fs::is_directory(folder, ec)) return "--out: no such folder " + folder.string();
    if (fs::is_directory(out, ec)) return "--out names a folder: " + out.string();
    return std::nullopt;
}

// The widgets' application on the offscreen platform (unless another one is asked for),
// and the main dispatcher on this thread; both only when the program has none yet.
class HeadlessGui {
public:
    HeadlessGui() {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int s_argc = 1;
        static char s_name[] = "qvanalog";
        static char* s_argv[] = {s_name, nullptr};
        if (!QCoreApplication::instance()) m_app = std::make_unique<QApplication>(s_argc, s_argv);
        m_ownDispatcher = !qvx::Dispatcher::GetMainInstance();
        if (m_ownDispatcher) qvx::Dispatcher::AttachMain(qvx::Dispatcher::kQtEventLoop);
    }
    ~HeadlessGui() {
        if (m_ownDispatcher) qvx::Dispatcher::DestroyMain();
    }
    HeadlessGui(const HeadlessGui&) = delete;
    HeadlessGui& operator=(const HeadlessGui&) = delete;

private:
    std::unique_ptr<QApplication> m_app;
    bool m_ownDispatcher = false;
};

// An opened recording: its reader, the session (when PATH named one) and the settings.
struct Recording {
    qvanalog::OpenedReport opened;
    qvx::AnalogSettings settings;
    fs::path path;
    QString name;
};

std::optional<std::string> OpenRecording(const qvanalog::Args& args, Recording& out) {
    const std::vector<std::string> positionals = args.Positionals();
    if (positionals.size() != 1) return "expected one PATH argument (report folder or session file)";
    out.path = fs::absolute(fs::path(positionals.front()));
    if (!qvanalog::OpenReportOrSession(out.path, out.opened)) return out.opened.error;
    if (out.opened.session) out.settings = out.opened.session->GetSettings();
    const fs::path named = out.path.filename().empty() ? out.path.parent_path() : out.path;
    out.name = QString::fromStdString(out.opened.session ? named.stem().string() : named.filename().string());
    return std::nullopt;
}

int RunImage(qvanalog::Args& args) {
    args.DeclareValueOptions({"--from", "--to", "--width", "--height", "--markers", "--out"});
    if (const auto unknown =
            UnknownOption(args, {"--from", "--to", "--width", "--height", "--dark", "--markers", "--out"}))
        return Fail("unknown option " + *unknown);
    std::optional<Span> span, markers;
    QSize size = kDefaultSize;
    fs::path out;
    if (const auto error = ParseSpan(args, span)) return Fail(*error);
    if (const auto error = ParseSize(args, size)) return Fail(*error);
    if (const auto error = ParseMarkers(args, markers)) return Fail(*error);
    if (const auto error = ParseOut(args, {".png", ".svg"}, out)) return Fail(*error);
    Recording recording;
    if (const auto error = OpenRecording(args, recording)) return Fail(*error);

    const HeadlessGui gui;
    // The overview is built first where missing, so a zoomed-out window loads from it.
    const auto overview = qvanalog::OverviewFor(*recording.opened.reader);
    QVxRecordingView view(recording.opened.reader, recording.settings, args.Flag("--dark"), size);
    if (span) {
        view.ShowSpan(span->from, span->to);
    } else {
        view.ShowWhole();
    }
    if (markers) view.SetMarkers(markers->from, markers->to);
    if (const auto failure = QVxSavePicture(view.Window(), out, {}, recording.name))
        return Fail(failure->toStdString());
    std::cout << "saved " << out.string() << "\n";
    return 0;
}

int RunReport(qvanalog::Args& args) {
    args.DeclareValueOptions({"--from", "--to", "--out"});
    if (const auto unknown = UnknownOption(args, {"--from", "--to", "--out"}))
        return Fail("unknown option " + *unknown);
    std::optional<Span> span;
    fs::path out;
    if (const auto error = ParseSpan(args, span)) return Fail(*error);
    if (const auto error = ParseOut(args, {".pdf"}, out)) return Fail(*error);
    Recording recording;
    if (const auto error = OpenRecording(args, recording)) return Fail(*error);

    const HeadlessGui gui;
    const auto overview = qvanalog::OverviewFor(*recording.opened.reader);
    QVxRecordingView view(recording.opened.reader, recording.settings, false, kDefaultSize);
    if (span) {
        view.ShowSpan(span->from, span->to);
    } else {
        view.ShowWhole();
    }
    const std::int64_t viewBegin = span ? span->from : 0;
    const std::int64_t viewEnd = span ? span->to : view.LastTimeNs() + 1;
    const QVxReportSpan measured = QVxChooseReportSpan(recording.settings, viewBegin, viewEnd);
    QVxReportSource source;
    source.sessionName = recording.name;
    source.sessionPath = recording.path;
    source.reader = recording.opened.reader.get();
    source.overview = overview.get();
    source.settings = &recording.settings;
    source.hits = recording.opened.session ? &recording.opened.session->GetDisplayTriggerList() : nullptr;
    source.fromNs = measured.fromNs;
    source.toNs = measured.toNs;
    source.spanFromMarkers = measured.fromMarkers;
    const QVxReportContent content = QVxGatherReportContent(source);
    if (content.measurement.status != qvx::analog::SpanMeasurement::Status::kDone)
        return Fail("the report could not be read");

    CQVxWaveformMonitorWnd& window = view.Window();
    QVxReport report = QVxReport::Standard(window.size(), [&window](QPainter& painter) {
        CQVxWaveformPicture::PaintVectors(window, painter, QRectF(QPointF(0, 0), window.size()));
    });
    if (const auto failure = report.Write(out, content, QDateTime::currentDateTime()))
        return Fail(failure->toStdString());
    std::cout << "saved " << out.string() << " (" << report.PageCount() << " pages)\n";
    return 0;
}

const qvanalog::Registration kImage{
    "image",
    "image PATH [--from NS --to NS] [--width PX --height PX] [--dark] [--markers M1NS,M2NS]\n"
    "                   --out FILE.png|FILE.svg  # picture of the monitor window",
    &RunImage};
const qvanalog::Registration kReport{
    "report", "report PATH [--from NS --to NS] --out FILE.pdf  # PDF report of a recording", &RunReport};

}  // namespace
