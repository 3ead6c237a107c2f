// The main frame's "Save Image..." and "Report..." on a recording of the simulated unit's
// demo signal: the saved PNG is the monitor window as shown, a chosen size and scale give
// an SVG of that size, the report carries the session's hits, the measured span and the
// analysis panes' spectrum and cycles, and a report without a stored recording is refused
// with a message.

#include "QV+Analog/Analysis/CQVxCyclePane.h"
#include "QV+Analog/Analysis/CQVxFrequencyPane.h"
#include "QV+Analog/MainFrm.h"
#include "QV+Analog/Pictures/QVxFramePictures.h"
#include "QV+Analog/QVxAnalogScopeView.h"
#include "QV+Analog/tests/app_fixture.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/AnalogSession.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"

#include <QAction>
#include <QFile>
#include <QProcess>
#include <QSvgRenderer>
#include <QTest>

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

    // The analysis panes' results go into the report: the spectrum and the cycles.
    CQVxFrequencyPane& spectrum = *Frame().GetSpectrumPane();
    spectrum.show();
    spectrum.raise();
    spectrum.ComputeNow();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !spectrum.GetJobs().IsBusy() && spectrum.GetJobs().GetResult(); }, 60000));
    ASSERT_EQ(spectrum.GetJobs().GetResult()->status, qvx::analog::SpectrumResult::Status::kDone);
    CQVxCyclePane& cycles = *Frame().GetCyclePane();
    ASSERT_TRUE(cycles.Run());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !cycles.GetJobs().IsBusy() && cycles.GetJobs().GetResult(); }, 60000));
    const std::uint64_t cycleCount = cycles.GetJobs().GetResult()->result.cycles;

    prompts.paths.push_back(PathOf("report.pdf"));
    Frame().FindCommand(CMainFrame::kCmdReport)->trigger();
    ASSERT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join('\n').toStdString();
    if (!outDir.isEmpty()) QFile::copy(PathOf("report.pdf"), outDir + QStringLiteral("/frame-report.pdf"));
    QProcess text;
    text.start(QStringLiteral("pdftotext"),
               {QStringLiteral("-layout"), PathOf("report.pdf"), QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(60000));
    const QString out = QString::fromUtf8(text.readAllStandardOutput());
    const std::size_t hits = ViewModel().GetSession()->GetDisplayTriggerList().size();
    EXPECT_TRUE(out.contains(QStringLiteral("M1-M2:"))) << "the measured span is the markers'";
    EXPECT_TRUE(out.contains(QStringLiteral("ヒット数: %1").arg(hits))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("QV+Analog " QVX_APP_VERSION)));
    EXPECT_TRUE(
        out.contains(QStringLiteral("スペクトル: CH%1").arg(spectrum.GetJobs().GetResult()->channel + 1)))
        << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("SINAD")));
    EXPECT_TRUE(out.contains(
        QStringLiteral("サイクル: CH%1").arg(cycles.GetJobs().GetResult()->request.cycles.channel + 1)));
    EXPECT_TRUE(out.contains(QStringLiteral("%1 サイクル").arg(cycleCount))) << out.toStdString();
    EXPECT_LT(out.indexOf(QStringLiteral("サイクル: CH")),
              out.indexOf(QStringLiteral("（全 %1 件中").arg(hits)))
        << "the analyses come before the display-trigger list";
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
