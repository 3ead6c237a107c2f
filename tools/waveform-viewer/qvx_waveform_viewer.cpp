// qvx-waveform-viewer PATH: a waveform monitor window bound to a report folder
// (".DAT" files) or a session settings file (".qvxa"), to try and screenshot the
// widget on its own. Not the application.
//
//   qvx-waveform-viewer REPO_OR_SESSION [--dark] [--scale NS_PER_PIXEL] [--size WxH]
//                       [--markers] [--cursor X,Y] [--screenshot FILE.png]

#include "QV+AnalogCore/Presenters/IQVxAnalogOscilloGraphOwner.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxCore/WaveformVisualSettings.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackArea.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackAreaWnd.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QStatusBar>
#include <QStringList>
#include <QTimer>

#include <filesystem>
#include <iostream>
#include <memory>

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
    auto option = [&](const QString& name) -> QString {
        const int i = args.indexOf(name);
        return i >= 0 && i + 1 < args.size() ? args[i + 1] : QString();
    };
    if (!qvx::Dispatcher::AttachMain(qvx::Dispatcher::kQtEventLoop) || !QVxWinGUI::Init())
        return Fail("cannot attach the dispatcher");

    qvx::AnalogSession session;
    qvx::AnalogSettings folderSettings;
    ViewerOwner owner;
    owner.dark = args.contains("--dark");
    qvx::ReportDataReaderPtr reader;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        reader = qvx::ReportDataReader::Open(path);
        owner.settings = &folderSettings;
    } else if (std::filesystem::is_regular_file(path, ec)) {
        int code = 0;
        try {
            if (!session.OpenInternal(path, nullptr, code))
                return Fail("cannot open the session " + path.string());
        } catch (const std::exception& e) {
            return Fail(std::string("cannot open the session: ") + e.what());
        }
        reader = session.GetReportData();
        owner.settings = &session.GetSettings();
    } else {
        return Fail("no such report folder or session file: " + path.string());
    }
    if (!reader) return Fail("no report data in " + path.string());
    if (const QString scale = option("--scale"); !scale.isEmpty()) {
        bool ok = false;
        const qlonglong tpp = scale.toLongLong(&ok);
        if (!ok || tpp <= 0) return Fail("--scale needs a positive number of ns per pixel");
        owner.settings->visualSettings.timeScale = tpp;
    }
    int width = 1280, height = 860;
    if (const QString size = option("--size"); !size.isEmpty()) {
        const QStringList wh = size.split('x');
        if (wh.size() != 2 || wh[0].toInt() <= 0 || wh[1].toInt() <= 0) return Fail("--size needs WxH");
        width = wh[0].toInt();
        height = wh[1].toInt();
    }

    QVxAnalogOscilloGraphViewModel presenter(&owner);
    presenter.SetOption(2, 1);
    QMainWindow frame;
    auto* monitor = new CQVxWaveformMonitorWnd(CQVxWaveformMonitorWndProps{true});
    CQVxWaveformMonitorWnd& window = *monitor;
    frame.setCentralWidget(monitor);
    frame.setWindowTitle(QString::fromStdString("qvx-waveform-viewer - " + path.filename().string()));
    frame.resize(width, height);
    frame.setFont(QVxWinGUI::GuiFont(10));
    // The copy command's status-bar text, as the application's frame shows it.
    frame.statusBar()->addWidget(new QLabel(QVxWinGUI::LoadStringW(17001).section('\n', 0, 0) +
                                            " (Ctrl+C)  |  " + QString::fromStdString(path.string())));
    // A report without an overview is indexed in the background, with its progress here.
    auto* indexing = new QLabel;
    frame.statusBar()->addPermanentWidget(indexing);
    auto indexingConnection = presenter.IndexingProgress.Connect([indexing](std::uint64_t done,
                                                                            std::uint64_t total) {
        indexing->setText(total == 0 ? QString() : QStringLiteral("概要作成中 %1%").arg(done * 100 / total));
    });
    presenter.EnableBackgroundIndexing(true);
    window.Setup(&presenter);
    presenter.SetupForStoredData(reader);
    frame.show();

    if (args.contains("--markers")) {
        const auto& d = presenter.GetWritingRenderData();
        presenter.SetMarkerTime(0, d.GetViewportBeginTimeOffset() + d.ViewportWidthTime() / 4);
        presenter.SetMarkerTime(1, d.GetViewportBeginTimeOffset() + d.ViewportWidthTime() * 3 / 5);
    }
    if (const QString cursor = option("--cursor"); !cursor.isEmpty()) {
        const QStringList xy = cursor.split(',');
        if (xy.size() != 2) return Fail("--cursor needs X,Y");
        QTimer::singleShot(100, &window, [&window, xy] {
            QWidget* area = window.GetTrackAreaWnd();
            const QPointF pt(xy[0].toInt(), xy[1].toInt());
            QMouseEvent move(QEvent::MouseMove, pt, area->mapToGlobal(pt), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QApplication::sendEvent(area, &move);
        });
    }
    if (const QString shot = option("--screenshot"); !shot.isEmpty()) {
        // Taken once indexing (if any) has finished and the window reloaded.
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
    const int rc = app.exec();
    window.Setup(nullptr);
    QVxWinGUI::Exit();
    qvx::Dispatcher::DestroyMain();
    return rc;
}
