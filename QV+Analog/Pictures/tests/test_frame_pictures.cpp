// The main frame's "Save Image..." and "Report..." on a recording of the simulated unit's
// demo signal: the saved PNG is the monitor window as shown, a chosen size and scale give
// an SVG of that size, the report carries the session's hits and the measured span, and a
// report without a stored recording is refused with a message.

#include "QV+Analog/MainFrm.h"
#include "QV+Analog/Pictures/QVxFramePictures.h"
#include "QV+Analog/QVxAnalogScopeView.h"
#include "QV+Analog/tests/app_fixture.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/AnalogSession.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"

#include <QAction>
#include <QProcess>
#include <QSvgRenderer>

namespace {

using qvx::test::AppTest;

class FramePictures : public AppTest {
protected:
    CQVxWaveformMonitorWnd& Monitor() { return *Frame().GetView()->GetMonitorWnd(); }
    QString PathOf(const char* name) { return QString::fromStdString((dir.Path() / name).string()); }
};

TEST_F(FramePictures, ImageAndReportOfTheWindowAsShown) {
    ASSERT_TRUE(Start());
    Frame().resize(1300, 900);
    Frame().show();
    RecordTrace(600);
    auto& presenter = *ViewModel().GetOscilloGraphViewModel();
    const auto& data = presenter.GetWritingRenderData();
    const std::int64_t begin = data.GetViewportBeginTimeOffset();
    presenter.SetMarkerTime(0, begin + data.ViewportWidthTime() / 5);
    presenter.SetMarkerTime(1, begin + data.ViewportWidthTime() / 2);
    presenter.SetMarkerEnabled(0, true);
    presenter.SetMarkerEnabled(1, true);
    QApplication::processEvents();

    ASSERT_TRUE(QVxFramePictures::SaveImage(&Frame(), Monitor(), ViewModel(), PathOf("shown.png"), {}));
    const QImage shown = Monitor().grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(QImage(PathOf("shown.png")).convertToFormat(QImage::Format_RGB32), shown);
    const QString outDir = qEnvironmentVariable("QVX_SCREENSHOT_DIR");
    if (!outDir.isEmpty()) shown.save(outDir + QStringLiteral("/frame-save-image.png"));

    ASSERT_TRUE(QVxFramePictures::SaveImage(&Frame(), Monitor(), ViewModel(), PathOf("print.svg"),
                                            {QSize(1200, 800), 3.125}));
    QSvgRenderer svg(PathOf("print.svg"));
    ASSERT_TRUE(svg.isValid());
    EXPECT_EQ(svg.viewBox(), QRect(0, 0, 3750, 2500));
    EXPECT_EQ(Monitor().grab().toImage().convertToFormat(QImage::Format_RGB32).size(), shown.size())
        << "the window is laid out at its own size again";

    prompts.paths.push_back(PathOf("report.pdf"));
    Frame().FindCommand(CMainFrame::kCmdReport)->trigger();
    ASSERT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join('\n').toStdString();
    QProcess text;
    text.start(QStringLiteral("pdftotext"),
               {QStringLiteral("-layout"), PathOf("report.pdf"), QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(60000));
    const QString out = QString::fromUtf8(text.readAllStandardOutput());
    const std::size_t hits = ViewModel().GetSession()->GetDisplayTriggerList().size();
    EXPECT_TRUE(out.contains(QStringLiteral("M1-M2:"))) << "the measured span is the markers'";
    EXPECT_TRUE(out.contains(QStringLiteral("ヒット数: %1").arg(hits))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("QV+Analog " QVX_APP_VERSION)));
}

TEST_F(FramePictures, ReportWithoutAStoredRecordingIsRefused) {
    ASSERT_TRUE(Start());
    EXPECT_FALSE(QVxFramePictures::SaveReport(&Frame(), Monitor(), ViewModel(), PathOf("none.pdf")));
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "none.pdf"));
    EXPECT_FALSE(QVxFramePictures::SaveImage(&Frame(), Monitor(), ViewModel(), PathOf("x.gif"), {}));
    EXPECT_EQ(prompts.messages.size(), 2);
}

}  // namespace
