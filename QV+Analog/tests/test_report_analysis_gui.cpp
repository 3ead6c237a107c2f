// The stored-report analysis in the window: the display trigger pane's search commands
// and keys, the measurement pane, the marker strip and the "marker here" keys, on a
// recording of the simulated unit's demo signal.

#include "QV+Analog/Analysis/CQVxCycleHistogram.h"
#include "QV+Analog/Analysis/CQVxCycleListModel.h"
#include "QV+Analog/Analysis/CQVxCyclePane.h"
#include "QV+Analog/Analysis/CQVxEventSearchPanel.h"
#include "QV+Analog/Analysis/CQVxMeasurementPane.h"
#include "QV+Analog/DataList/CQVxAnalogDisplayTriggerListPane.h"
#include "QV+Analog/MainFrm.h"
#include "QV+Analog/QVxAnalogScopeView.h"
#include "QV+Analog/tests/app_fixture.h"
#include "QV+AnalogCore/Analysis/ReportCycleMeasurement.h"
#include "QV+AnalogCore/Analysis/ReportSpanMeasurement.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/WaveformVisualSettings.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformMarkerSettingDlg.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackArea.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackAreaWnd.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTableWidget>
#include <QWheelEvent>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

using qvx::test::AppTest;

class ReportAnalysisGui : public AppTest {
protected:
    qvx::WaveformPresenter& Presenter() { return *ViewModel().GetOscilloGraphViewModel(); }
    std::int64_t TimeOf(std::int64_t index) {
        const std::uint8_t* record =
            ViewModel().GetSession()->GetReportData()->ReadRecordByIndex(static_cast<std::uint64_t>(index));
        return static_cast<std::int64_t>(qvx::LoadLE64(record) & qvx::kRecordTimeMask) * 10;
    }
    // The frame at 1400 x 900 with the measurement pane in front.
    CQVxMeasurementPane* ShowMeasurementPane() {
        Frame().resize(1400, 900);
        Frame().show();
        auto* pane = Frame().GetMeasurementPane();
        pane->raise();
        return pane;
    }
    // The cycle pane in front of a 1400 x 900 frame, measuring CH4's demo pulses at half
    // their height over the whole recording.
    CQVxCyclePane* ShowCyclePane() {
        Frame().resize(1400, 900);
        Frame().show();
        auto* pane = Frame().GetCyclePane();
        pane->raise();
        pane->GetChannelBox()->setCurrentIndex(3);
        const double mvPerCode =
            2.0 * ViewModel().GetSessionSettings()->GetChannelRangeMilliVolts(3) / 16383.0;
        pane->GetLevelBox()->setValue((8192 + 3000 - 8191.5) * mvPerCode);
        return pane;
    }
    void Screenshot(QWidget& widget, const char* name) {
        const QString outDir = qEnvironmentVariable("QVX_SCREENSHOT_DIR");
        if (outDir.isEmpty()) return;
        EXPECT_TRUE(widget.grab().save(outDir + "/" + name));
    }
};

TEST_F(ReportAnalysisGui, SearchCommandsFindTheLiveHitsMoveTheCursorAndFillTheList) {
    ASSERT_TRUE(Start());
    RecordTrace(700);
    // Copied under the intake's lock: the trace's threads wrote the list.
    const qvx::AnalogDisplayTriggerList live = ViewModel().CopyDisplayTriggerHits(0);
    ASSERT_GE(live.size(), 3u);
    CQVxEventSearchPanel& panel = *Frame().GetSearchPanel();
    ASSERT_TRUE(panel.CanSearch());

    // Next from a cursor on a hit goes to the following one (F3), previous comes back (Shift+F3).
    Presenter().UpdateCursorTime(TimeOf(live[0].dataIndex));
    Frame().FindCommand(CMainFrame::kCmdSearchNext)->trigger();
    EXPECT_EQ(Presenter().GetCursorTime(), TimeOf(live[1].dataIndex));
    Frame().FindCommand(CMainFrame::kCmdSearchPrevious)->trigger();
    EXPECT_EQ(Presenter().GetCursorTime(), TimeOf(live[0].dataIndex));
    EXPECT_FALSE(panel.FindPrevious()) << "nothing before the first hit";
    EXPECT_FALSE(prompts.messages.empty());

    // Find all replaces the list with the same hits, shown by the list pane.
    ViewModel().GetSession()->GetDisplayTriggerList().clear();
    ASSERT_TRUE(panel.FindAll());
    EXPECT_EQ(ViewModel().GetSession()->GetDisplayTriggerList(), live);
    EXPECT_EQ(Frame().GetDisplayTriggerListPane()->GetList()->GetRealItemCount(),
              static_cast<int>(live.size()));

    // Between M1 and M2: only the hits from M1 up to M2 (the analysis starts at M1, so a
    // pulse counts when it opens after M1).
    Presenter().SetMarkerTime(0, TimeOf(live[0].dataIndex) + 10);
    Presenter().SetMarkerTime(1, TimeOf(live[2].dataIndex) + 10);
    panel.GetRangeBox()->setCurrentIndex(CQVxEventSearchPanel::kRangeMarkers);
    ASSERT_TRUE(panel.FindAll());
    EXPECT_EQ(panel.GetLastHits().size(), 2u);
    Presenter().SetMarkerEnabled(1, false);
    EXPECT_FALSE(panel.FindAll()) << "the range needs both markers";
}

TEST_F(ReportAnalysisGui, MeasurementPaneFollowsTheMarkersAndTheStripShowsThem) {
    ASSERT_TRUE(Start());
    RecordTrace(500);
    auto* pane = ShowMeasurementPane();
    const std::int64_t m1 = 100'000'000, m2 = 300'000'000;  // ns
    Presenter().SetMarkerTime(0, m2);
    Presenter().SetMarkerTime(1, m1);  // the span is ordered whatever the markers' order
    const auto done = [&] {
        const auto& r = pane->GetJobs().GetResult();
        return !pane->GetJobs().IsBusy() && r && r->fromNs == m1 && r->toNs == m2;
    };
    ASSERT_TRUE(QTest::qWaitFor(done, 30000));
    auto& reader = *ViewModel().GetSession()->GetReportData();
    const auto expected =
        qvx::analog::MeasureSpan(reader, nullptr, *ViewModel().GetSessionSettings(), m1, m2);
    const auto& got = *pane->GetJobs().GetResult();
    ASSERT_EQ(got.channels.size(), expected.channels.size());
    for (std::size_t c = 0; c < got.channels.size(); ++c) {
        EXPECT_EQ(got.channels[c].records, expected.channels[c].records);
        EXPECT_DOUBLE_EQ(got.channels[c].rms, expected.channels[c].rms);
        EXPECT_EQ(got.channels[c].frequencyHz, expected.channels[c].frequencyHz);
    }
    EXPECT_EQ(pane->GetTable()->rowCount(), static_cast<int>(got.channels.size()));
    EXPECT_TRUE(pane->GetSpanLabel()->text().startsWith(QStringLiteral("M1-M2")));

    // The strip: both markers on, with their difference; a box hides a marker and keeps its time.
    auto* track = Frame().GetView()->GetMonitorWnd()->GetTrackAreaWnd();
    auto* strip = track->GetMarkerSettingsDlg();
    ASSERT_TRUE(strip->isVisible());
    auto boxes = strip->findChildren<QCheckBox*>();
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_TRUE(boxes[0]->isChecked() && boxes[1]->isChecked());
    auto* difference =
        strip->findChild<QLabel*>(QVxWinGUI::ControlName(QVxWaveformMarkerSettingDlg::kDifferenceLabelId));
    ASSERT_NE(difference, nullptr);
    EXPECT_TRUE(difference->text().startsWith(QStringLiteral("(M2-M1: ")));
    QApplication::processEvents();
    Screenshot(Frame(), "analysis_frame.png");
    Screenshot(*pane, "measurement_pane.png");
    Screenshot(*track, "marker_strip_track_area.png");
    Frame().GetDisplayTriggerPane()->raise();
    QApplication::processEvents();
    Screenshot(*Frame().GetDisplayTriggerPane(), "display_trigger_pane.png");

    boxes[0]->click();
    const auto& markers = ViewModel().GetSessionSettings()->visualSettings.markers;
    EXPECT_FALSE(markers[0].enabled);
    EXPECT_EQ(markers[0].time, m2);
    EXPECT_TRUE(difference->text().isEmpty());
    // With a marker off the pane measures the visible window.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return pane->GetSpanLabel()->text().startsWith(QStringLiteral("表示範囲")); }, 30000));

    // "Marker here": M and Shift+M put M1 and M2 at the cursor.
    auto* monitor = Frame().GetView()->GetMonitorWnd();
    Presenter().UpdateCursorTime(123'456'780);
    QTest::keyClick(monitor, Qt::Key_M);
    EXPECT_TRUE(markers[0].enabled);
    EXPECT_EQ(markers[0].time, Presenter().GetCursorTime());
    Presenter().UpdateCursorTime(223'456'780);
    QTest::keyClick(monitor, Qt::Key_M, Qt::ShiftModifier);
    EXPECT_EQ(markers[1].time, Presenter().GetCursorTime());
}

// A wheel zoom changes the visible window as a drag does: the pane measures the new window.
TEST_F(ReportAnalysisGui, MeasurementPaneFollowsAWheelZoom) {
    ASSERT_TRUE(Start());
    RecordTrace(500);
    auto* pane = ShowMeasurementPane();
    const auto& shown = Presenter().GetWritingRenderData();
    const auto measuresTheWindow = [&] {
        const auto& r = pane->GetJobs().GetResult();
        return !pane->GetJobs().IsBusy() && r && r->fromNs == shown.GetViewportBeginTimeOffset() &&
               r->toNs == shown.GetViewportBeginTimeOffset() + shown.ViewportWidthTime();
    };
    ASSERT_TRUE(QTest::qWaitFor(measuresTheWindow, 30000));
    const std::int64_t before = pane->GetJobs().GetResult()->toNs - pane->GetJobs().GetResult()->fromNs;

    auto* area = Frame().GetView()->GetMonitorWnd()->GetTrackAreaWnd();
    QApplication::processEvents();  // the last repaint, which a wheel step waits for
    const QPointF at = QRectF(area->rect()).center();
    QWheelEvent wheel(at, QPointF(area->mapToGlobal(at.toPoint())), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(area, &wheel);
    ASSERT_LT(shown.ViewportWidthTime(), before) << "the wheel did not zoom in";
    ASSERT_TRUE(QTest::qWaitFor(measuresTheWindow, 30000)) << "the pane still measures the old window";
    EXPECT_LT(pane->GetJobs().GetResult()->toNs - pane->GetJobs().GetResult()->fromNs, before);
}

// The cycle pane: the same cycles as a direct measurement, the verdict of planted limits in
// colour, the violations-only list, a click moving the views, the histogram's counts, and
// cancel and a newer request replacing an older one.
TEST_F(ReportAnalysisGui, CyclePaneMeasuresJudgesListsAndMovesTheViews) {
    ASSERT_TRUE(Start());
    RecordTrace(700);
    auto* pane = ShowCyclePane();
    const auto finished = [&] { return !pane->GetJobs().IsBusy() && pane->GetJobs().GetResult(); };
    ASSERT_TRUE(pane->Run());
    ASSERT_TRUE(QTest::qWaitFor(finished, 30000));
    const auto first = pane->GetJobs().GetResult();
    qvx::analog::CycleRequest request = first->request.cycles;
    const auto direct = qvx::analog::MeasureCycles(*ViewModel().GetSession()->GetReportData(), nullptr,
                                                   *ViewModel().GetSessionSettings(), request);
    ASSERT_GE(direct.cycles, 3u) << "the demo pulses repeat";
    EXPECT_EQ(first->result.cycles, direct.cycles);
    EXPECT_EQ(first->cycles.size(), direct.cycles);
    const auto period = static_cast<std::size_t>(qvx::analog::CycleParameter::kPeriod);
    EXPECT_DOUBLE_EQ(first->result.stats[period].mean, direct.stats[period].mean);
    EXPECT_TRUE(pane->GetVerdictLabel()->text().startsWith(QStringLiteral("合格")));

    // An upper period limit below the longest period: those cycles fail, in red.
    const double limit = (direct.stats[period].min + direct.stats[period].max) / 2;
    std::uint64_t over = 0;
    for (const auto& c : first->cycles) over += c.Value(qvx::analog::CycleParameter::kPeriod) > limit;
    pane->GetStatsTable()
        ->item(static_cast<int>(period), CQVxCyclePane::kUpper)
        ->setText(QString::number(limit, 'f', 3));
    ASSERT_TRUE(pane->Run());
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished() && pane->GetJobs().GetResult() != first; }, 30000));
    const auto& judged = *pane->GetJobs().GetResult();
    ASSERT_GT(over, 0u);
    EXPECT_FALSE(judged.result.Pass());
    EXPECT_EQ(judged.result.violationCount, over);
    EXPECT_TRUE(pane->GetVerdictLabel()->text().startsWith(QStringLiteral("不合格")));
    EXPECT_TRUE(pane->GetVerdictLabel()->styleSheet().contains(QStringLiteral("#c62828")));
    EXPECT_EQ(pane->GetStatsTable()->item(static_cast<int>(period), CQVxCyclePane::kViolations)->text(),
              QString::number(over));

    // The filter lists only the violating cycles; a click on one moves the cursor to its start.
    pane->GetViolationsOnlyBox()->setChecked(true);
    ASSERT_EQ(pane->GetCycleModel()->rowCount(), static_cast<int>(over));
    const qvx::analog::Cycle* picked = pane->GetCycleModel()->CycleOfRow(0);
    ASSERT_NE(picked, nullptr);
    EXPECT_GT(picked->Value(qvx::analog::CycleParameter::kPeriod), limit);
    QTableView* list = pane->GetCycleList();
    QApplication::processEvents();
    const QRect cell = list->visualRect(pane->GetCycleModel()->index(0, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_NEAR(static_cast<double>(Presenter().GetCursorTime()), picked->startNs, 2'000.0);

    // The histogram counts every cycle's period.
    pane->GetHistogramBox()->setCurrentIndex(static_cast<int>(period));
    const auto* histogram = pane->findChild<CQVxCycleHistogram*>();
    ASSERT_NE(histogram, nullptr);
    std::uint64_t counted = 0;
    for (auto n : histogram->GetBins()) counted += n;
    EXPECT_EQ(counted, judged.cycles.size());
    QApplication::processEvents();
    Screenshot(Frame(), "cycles_frame_ja.png");
    Screenshot(*pane, "cycles_pane_ja.png");

    // Cancel keeps the last result; a newer request replaces a running one.
    ASSERT_TRUE(pane->Run());
    pane->CancelRun();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !pane->GetJobs().IsBusy(); }, 30000));
    EXPECT_EQ(pane->GetJobs().GetResult()->result.violationCount, over);
    pane->GetChannelBox()->setCurrentIndex(0);
    ASSERT_TRUE(pane->Run());
    pane->GetChannelBox()->setCurrentIndex(3);
    pane->GetStatsTable()->item(static_cast<int>(period), CQVxCyclePane::kUpper)->setText(QString());
    ASSERT_TRUE(pane->Run());
    ASSERT_TRUE(QTest::qWaitFor(finished, 30000));
    EXPECT_EQ(pane->GetJobs().GetResult()->request.cycles.channel, 3);
    EXPECT_TRUE(pane->GetJobs().GetResult()->result.Pass());

    // Kept cycles capped below those found: the statistics and the verdict still cover every
    // cycle, the list and the histogram the kept ones, and the pane says so.
    pane->GetJobs().SetMaxKeptCycles(2);
    const auto uncapped = pane->GetJobs().GetResult();
    ASSERT_GT(uncapped->result.cycles, 2u);
    ASSERT_TRUE(pane->Run());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return finished() && pane->GetJobs().GetResult() != uncapped; }, 30000));
    const auto& capped = *pane->GetJobs().GetResult();
    EXPECT_EQ(capped.cycles.size(), 2u);
    EXPECT_EQ(capped.result.cycles, uncapped->result.cycles);
    pane->GetViolationsOnlyBox()->setChecked(false);
    EXPECT_EQ(pane->GetCycleModel()->rowCount(), 2);
    EXPECT_TRUE(pane->GetStatusLabel()->text().contains(QString::number(capped.result.cycles)))
        << pane->GetStatusLabel()->text().toStdString();
    pane->GetJobs().SetMaxKeptCycles(qvx::analog::QVxAnalogCycleJobs::kMaxKeptCycles);

    // Bad fields are refused with the reason, and nothing runs.
    pane->GetStatsTable()->item(0, CQVxCyclePane::kLower)->setText(QStringLiteral("abc"));
    EXPECT_FALSE(pane->Run());
    pane->GetStatsTable()->item(0, CQVxCyclePane::kLower)->setText(QString());
    pane->GetHysteresisEdit()->setText(QStringLiteral("-3"));
    EXPECT_FALSE(pane->Run());
    EXPECT_FALSE(pane->GetJobs().IsBusy());
}

}  // namespace

// With QVX_SCREENSHOT_DIR set, the cycle pane in English with a violation selected.
TEST_F(ReportAnalysisGui, CyclePaneInEnglishForALook) {
    const QString outDir = qEnvironmentVariable("QVX_SCREENSHOT_DIR");
    if (outDir.isEmpty()) GTEST_SKIP() << "QVX_SCREENSHOT_DIR not set";
    ASSERT_TRUE(Start({QStringLiteral("--lang"), QStringLiteral("en")}));
    RecordTrace(700);
    auto* pane = ShowCyclePane();
    const auto period = static_cast<int>(qvx::analog::CycleParameter::kPeriod);
    ASSERT_TRUE(pane->Run());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !pane->GetJobs().IsBusy() && pane->GetJobs().GetResult(); }, 30000));
    const auto& stats = pane->GetJobs().GetResult()->result.stats[static_cast<std::size_t>(period)];
    pane->GetStatsTable()
        ->item(period, CQVxCyclePane::kUpper)
        ->setText(QString::number((stats.min + stats.max) / 2, 'f', 1));
    ASSERT_TRUE(pane->Run());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !pane->GetJobs().IsBusy() && !pane->GetJobs().GetResult()->result.Pass(); }, 30000));
    pane->GetViolationsOnlyBox()->setChecked(true);
    pane->GetHistogramBox()->setCurrentIndex(period);
    pane->GetCycleList()->selectRow(0);
    QApplication::processEvents();
    EXPECT_TRUE(Frame().grab().save(outDir + "/cycles_frame_en.png"));
    EXPECT_TRUE(pane->grab().save(outDir + "/cycles_pane_en.png"));
}

// With QVX_SCREENSHOT_DIR set, the read-outs of an 800-pixel wide window for a look: both
// markers with their difference in the strip and the captions, the cursor near the right
// edge, in clock time and in the time since the start, at two window heights.
TEST_F(ReportAnalysisGui, ReadoutsOfANarrowWindowForALook) {
    const QString outDir = qEnvironmentVariable("QVX_SCREENSHOT_DIR");
    if (outDir.isEmpty()) GTEST_SKIP() << "QVX_SCREENSHOT_DIR not set";
    ASSERT_TRUE(Start());
    RecordTrace(400);
    Frame().showNormal();
    Presenter().SetMarkerTime(0, 100'000'000);
    Presenter().SetMarkerTime(1, 100'300'000);
    CQVxWaveformTrackAreaWnd* area = Frame().GetView()->GetMonitorWnd()->GetTrackAreaWnd();
    for (const bool clock : {true, false}) {
        if (Frame().FindCommand(CMainFrame::kCmdClockTime)->isChecked() != clock)
            Frame().FindCommand(CMainFrame::kCmdClockTime)->trigger();
        for (const int height : {900, 760}) {
            Frame().resize(800, height);
            QTest::qWait(100);
            const auto& layout = area->GetGraphArea()->GetLayout();
            const QPoint at(layout.waveform.right - 95, layout.tracks[1].top + 60);
            area->repaint();
            QTest::mouseMove(area, at);
            QTest::qWait(50);
            const QString name =
                QStringLiteral("/readouts-%1-%2").arg(clock ? "clock" : "since-start").arg(height);
            EXPECT_TRUE(Frame().grab().save(outDir + name + "-frame.png"));
            EXPECT_TRUE(area->grab().save(outDir + name + "-area.png"));
        }
    }
}
