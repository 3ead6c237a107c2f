// qvx-waveform-viewer PATH: a waveform monitor window bound to a report folder
// (".DAT" files) or a session settings file (".qvxa"), to try and screenshot the
// widget on its own. Not the application.
//
//   qvx-waveform-viewer REPO_OR_SESSION [--dark] [--scale NS_PER_PIXEL] [--size WxH]
//                       [--markers] [--cursor X,Y] [--screenshot FILE.png]
// The texts follow the locale (LC_ALL, LC_MESSAGES, LANG), as in the program.

#include "QV+AnalogCore/Presenters/IQVxAnalogOscilloGraphOwner.h"
#include "QVxWinCommon/QVxGuiStrings.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QStatusBar>
#include <QStringList>
#include <QTimer>
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxCore/WaveformVisualSettings.h"
#include "QVxWinCommon/QVxTerminationSignals.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackArea.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackAreaWnd.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

namespace {

class ViewerOwner : public IQVxAnalogOscilloGraphOwner {
public:
    qvx::AnalogSettings* settings = nullptr;
    bool dark = false;
    qvx::AnalogSettings* GetSessionSettings() const override { return settings; }
    bool IsDarkLook() const override { return dark; }
};

int Fail(const std::string& text) {
    std::cerr << "qvx-waveform-viewer: " << text << "\n";
    return 2;
}

// The value after option `name` on the command line; empty when absent.
QString OptionValue(const QStringList& args, const QString& name) {
    const int i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args[i + 1] : QString();
}

// What the window shows: a report folder, or a session file with its report and settings.
struct Source {
    qvx::AnalogSession session;
    qvx::AnalogSettings folderSettings;
    qvx::ReportDataReaderPtr reader;
    qvx::AnalogSettings* settings = nullptr;
};

// Opens `path` into `source`; the reason when it cannot be shown.
std::optional<std::string> OpenSource(const std::filesystem::path& path, Source& source) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        source.reader = qvx::ReportDataReader::Open(path);
        source.settings = &source.folderSettings;
    } else if (std::filesystem::is_regular_file(path, ec)) {
        int code = 0;
        try {
            if (!source.session.OpenInternal(path, nullptr, code))
                return "cannot open the session " + path.string();
        } catch (const std::exception& e) {
            return std::string("cannot open the session: ") + e.what();
        }
        source.reader = source.session.GetReportData();
        source.settings = &source.session.GetSettings();
    } else {
        return "no such report folder or session file: " + path.string();
    }
    if (!source.reader) return "no report data in " + path.string();
    return std::nullopt;
}

// --scale NS_PER_PIXEL into `settings` and --size WxH into `size`; the reason when refused.
std::optional<std::string> ReadScaleAndSize(const QStringList& args, qvx::AnalogSettings& settings,
                                            QSize& size) {
    if (const QString scale = OptionValue(args, "--scale"); !scale.isEmpty()) {
        bool ok = false;
        const qlonglong tpp = scale.toLongLong(&ok);
        if (!ok || tpp <= 0) return "--scale needs a positive number of ns per pixel";
        settings.visualSettings.timeScale = tpp;
    }
    if (const QString text = OptionValue(args, "--size"); !text.isEmpty()) {
        const QStringList wh = text.split('x');
        if (wh.size() != 2 || wh[0].toInt() <= 0 || wh[1].toInt() <= 0) return "--size needs WxH";
        size = QSize(wh[0].toInt(), wh[1].toInt());
    }
    return std::nullopt;
}

// The frame around the monitor window: title, size, and a status bar with the copy
// command's text (as the application's frame shows it) and the background indexing.
CQVxWaveformMonitorWnd& BuildFrame(QMainWindow& frame, QVxAnalogOscilloGraphViewModel& presenter,
                                   const std::filesystem::path& path, QSize size,
                                   std::shared_ptr<qvx::SignalConnection>& indexingConnection) {
    auto* monitor = new CQVxWaveformMonitorWnd(CQVxWaveformMonitorWndProps{true});
    frame.setCentralWidget(monitor);
    frame.setWindowTitle(QString::fromStdString("qvx-waveform-viewer - " + path.filename().string()));
    frame.resize(size);
    frame.setFont(QVxWinGUI::GuiFont(10));
    frame.statusBar()->addWidget(
        new QLabel(QVxWinGUI::LoadStringW(kGuiStringCopyGraphPrompt).section('\n', 0, 0) + " (Ctrl+C)  |  " +
                   QString::fromStdString(path.string())));
    auto* indexing = new QLabel;
    frame.statusBar()->addPermanentWidget(indexing);
    indexingConnection =
        presenter.IndexingProgress.Connect([indexing](std::uint64_t done, std::uint64_t total) {
            indexing->setText(
                total == 0 ? QString()
                           : QVxWinGUI::LoadStringW(kGuiStringBuildingOverview).arg(done * 100 / total));
        });
    return *monitor;
}

// --cursor X,Y: a mouse move over the track area once the window is shown.
bool ScheduleCursor(const QString& cursor, CQVxWaveformMonitorWnd& window) {
    const QStringList xy = cursor.split(',');
    if (xy.size() != 2) return false;
    QTimer::singleShot(100, &window, [&window, xy] {
        QWidget* area = window.GetTrackAreaWnd();
        const QPointF pt(xy[0].toInt(), xy[1].toInt());
        QMouseEvent move(QEvent::MouseMove, pt, area->mapToGlobal(pt), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(area, &move);
    });
    return true;
}

// --screenshot FILE.png: taken once indexing (if any) has finished and the window reloaded;
// then the program ends.
void ScheduleScreenshot(const QString& shot, QMainWindow& frame, QVxAnalogOscilloGraphViewModel& presenter) {
    auto* poll = new QTimer(&frame);
    QObject::connect(poll, &QTimer::timeout, &frame, [&frame, &presenter, shot, poll] {
        if (presenter.IsIndexing()) return;
        poll->stop();
        QTimer::singleShot(800, &frame, [&frame, shot] {
            const bool saved = frame.grab().save(shot, "PNG");
            std::cout << (saved ? "saved " : "cannot save ") << shot.toStdString() << "\n";
            QApplication::exit(saved ? 0 : 1);
        });
    });
    poll->start(100);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    if (args.isEmpty() || args.front().startsWith("--")) {
        return Fail(
            "usage: qvx-waveform-viewer REPO_OR_SESSION [--dark] [--scale NS] [--size WxH] [--markers] "
            "[--cursor X,Y] [--screenshot FILE.png]");
    }
    const std::filesystem::path path = args.takeFirst().toStdString();
    if (!qvx::Dispatcher::AttachMain(qvx::Dispatcher::kQtEventLoop))
        return Fail("cannot attach the dispatcher");
    QVxSetLanguage(QVxLanguageOfEnvironment());
    // SIGTERM, SIGHUP and SIGINT end the viewer through its normal teardown (a background
    // indexing is cancelled, the window and the presenter let go), with status 0.
    const QVxTerminationSignals terminationSignals([](int) { QApplication::exit(0); });

    Source source;
    if (const auto failure = OpenSource(path, source)) return Fail(*failure);
    QSize size(1280, 860);
    if (const auto failure = ReadScaleAndSize(args, *source.settings, size)) return Fail(*failure);
    ViewerOwner owner;
    owner.settings = source.settings;
    owner.dark = args.contains("--dark");

    QVxAnalogOscilloGraphViewModel presenter(&owner);
    presenter.SetOption(qvx::WaveformPresenter::kOptionVerticalDivisions, 1);
    QMainWindow frame;
    std::shared_ptr<qvx::SignalConnection> indexingConnection;
    CQVxWaveformMonitorWnd& window = BuildFrame(frame, presenter, path, size, indexingConnection);
    // A report without an overview is indexed in the background, with its progress shown.
    presenter.EnableBackgroundIndexing(true);
    window.Setup(&presenter);
    presenter.SetupForStoredData(source.reader);
    frame.show();

    if (args.contains("--markers")) {
        const auto& d = presenter.GetWritingRenderData();
        presenter.SetMarkerTime(0, d.GetViewportBeginTimeOffset() + d.ViewportWidthTime() / 4);
        presenter.SetMarkerTime(1, d.GetViewportBeginTimeOffset() + d.ViewportWidthTime() * 3 / 5);
    }
    if (const QString cursor = OptionValue(args, "--cursor");
        !cursor.isEmpty() && !ScheduleCursor(cursor, window))
        return Fail("--cursor needs X,Y");
    if (const QString shot = OptionValue(args, "--screenshot"); !shot.isEmpty())
        ScheduleScreenshot(shot, frame, presenter);
    const int rc = app.exec();
    window.Setup(nullptr);
    qvx::Dispatcher::DestroyMain();
    return rc;
}
