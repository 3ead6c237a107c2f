// A recording is never lost without a question: closing, a new trace and a peer's
// trace start with an unsaved recording, and the recordings that killed runs left,
// offered at start-up. The window around it: its title and the tracks' fit.

#include "QV+Analog/DataList/CAnalogDataListPane.h"
#include "QV+Analog/QVxAnalogScopeView.h"
#include "QV+Analog/tests/app_fixture.h"
#include "QVxCore/AnalogEnvData.h"
#include "QVxCore/Archive.h"
#include "QVxCore/tests/support/FolderHolder.h"
#include "QVxCore/tests/support/TimeZone.h"
#include "QVxWinCommon/QVxClockTime.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackArea.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackAreaWnd.h"

#include <QAction>
#include <QScrollBar>
#include "QVxCore/ReportData/ReportData.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using qvx::test::AppTest;

namespace {

ino_t InodeOf(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// A killed run's recording at 1M samples/s (the default settings otherwise).
fs::path LeaveOrphanedRecording(const std::string& id, std::uint64_t records) {
    qvx::AnalogSettings settings;
    settings.samplingFrequency = 1;
    return qvx::test::LeaveKilledRunsRecording(id, records, settings);
}

}  // namespace

TEST_F(AppTest, ClosingWithAnUnsavedRecordingAsksAndCancelSaveAndDiscardDoWhatTheySay) {
    ASSERT_TRUE(Start());
    RecordTrace(300);
    const fs::path folder = ViewModel().GetSession()->GetFolderPath();
    const fs::path firstFile = folder / "repo" / "00000000.DAT";
    const ino_t inode = InodeOf(firstFile);
    ASSERT_TRUE(ViewModel().HasUnsavedRecording());
    EXPECT_EQ(Frame().windowTitle(), QString("無題* - QV+Analog [AN0000SIM]"));
    EXPECT_TRUE(fs::exists(folder / qvx::AnalogSession::kRecordingSettingsFileName));

    // Cancel: the window stays, with the recording.
    prompts.saveChoices.push_back(QVxSaveChoice::kCancel);
    Frame().close();
    EXPECT_EQ(prompts.saveQuestions.size(), 1);
    EXPECT_TRUE(Frame().isVisible());
    EXPECT_TRUE(ViewModel().HasUnsavedRecording());
    EXPECT_TRUE(fs::exists(firstFile));

    // Save with a cancelled file dialog: still nothing lost, still open.
    prompts.saveChoices.push_back(QVxSaveChoice::kSave);
    Frame().close();
    EXPECT_TRUE(Frame().isVisible());
    EXPECT_TRUE(fs::exists(firstFile));

    // Save: the files move into the session (same volume), then the window closes.
    const fs::path saved = dir.Path() / "kept" / "kept.qvxa";
    fs::create_directories(saved.parent_path());
    prompts.saveChoices.push_back(QVxSaveChoice::kSave);
    prompts.paths.push_back(QString::fromStdString(saved.string()));
    Frame().close();
    EXPECT_FALSE(Frame().isVisible());
    EXPECT_TRUE(fs::exists(saved));
    EXPECT_EQ(InodeOf(saved.parent_path() / "repo" / "00000000.DAT"), inode);
    app.reset();
    EXPECT_FALSE(fs::exists(folder));

    // Discard: the run's folder goes with the recording.
    ASSERT_TRUE(Start());
    RecordTrace(300);
    const fs::path second = ViewModel().GetSession()->GetFolderPath();
    prompts.saveChoices.push_back(QVxSaveChoice::kDiscard);
    Frame().close();
    EXPECT_FALSE(Frame().isVisible());
    app.reset();
    EXPECT_FALSE(fs::exists(second));

    // Closing during a trace: Save ends the trace first and saves all of it.
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitConnected());
    ASSERT_TRUE(ViewModel().StartTrace());
    QTest::qWait(300);
    const fs::path during = dir.Path() / "during" / "during.qvxa";
    fs::create_directories(during.parent_path());
    prompts.saveChoices.push_back(QVxSaveChoice::kSave);
    prompts.paths.push_back(QString::fromStdString(during.string()));
    Frame().close();
    EXPECT_FALSE(Frame().isVisible());
    app.reset();
    qvx::AnalogSession reopened;
    int code = -1;
    ASSERT_TRUE(reopened.OpenInternal(during, nullptr, code));
    EXPECT_GT(reopened.GetReportData()->GetTotalRecordCount(), 0u);
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("|").toStdString();
}

TEST_F(AppTest, ANewTraceAsksFirstAndAPeersStartKeepsTheRecordingForLater) {
    ASSERT_TRUE(Start());
    RecordTrace(300);
    const std::uint64_t records = ViewModel().GetSession()->GetReportData()->GetTotalRecordCount();

    prompts.saveChoices.push_back(QVxSaveChoice::kCancel);
    EXPECT_FALSE(ViewModel().StartTrace());
    EXPECT_EQ(prompts.saveQuestions.size(), 1);
    EXPECT_EQ(ViewModel().GetTraceState(), QVxAnalogViewModel::kIdle);
    ASSERT_NE(ViewModel().GetSession()->GetReportData(), nullptr);
    EXPECT_EQ(ViewModel().GetSession()->GetReportData()->GetTotalRecordCount(), records);

    const fs::path saved = dir.Path() / "first" / "first.qvxa";
    fs::create_directories(saved.parent_path());
    prompts.saveChoices.push_back(QVxSaveChoice::kSave);
    prompts.paths.push_back(QString::fromStdString(saved.string()));
    ASSERT_TRUE(ViewModel().StartTrace());
    ViewModel().StopTrace();
    ASSERT_TRUE(WaitIdle());
    qvx::AnalogSession first;
    int code = -1;
    ASSERT_TRUE(first.OpenInternal(saved, nullptr, code));
    EXPECT_EQ(first.GetReportData()->GetTotalRecordCount(), records);

    // A peer's start cannot wait for an answer: the recording is set aside, not deleted.
    ASSERT_TRUE(ViewModel().HasUnsavedRecording());
    const std::uint64_t secondRecords = ViewModel().GetSession()->GetReportData()->GetTotalRecordCount();
    const int questions = prompts.saveQuestions.size();
    Frame().OnQVxSyncTrace(0);
    EXPECT_EQ(ViewModel().GetTraceState(), QVxAnalogViewModel::kTracing);
    EXPECT_EQ(prompts.saveQuestions.size(), questions);
    const auto orphans = ViewModel().ListOrphanedRecordings();
    ASSERT_EQ(orphans.size(), 1u);
    EXPECT_EQ(orphans.front().records, secondRecords);
    EXPECT_TRUE(orphans.front().hasSettings);
    Frame().OnQVxSyncTrace(1);
    ASSERT_TRUE(WaitIdle());
}

TEST_F(AppTest, StartUpOffersTheRecordingOfAKilledRunAndOpensItUnsaved) {
    const std::string id = "00112233445566778899aabbccddeeff";
    const fs::path orphan = LeaveOrphanedRecording(id, 5000);
    ASSERT_FALSE(orphan.empty());
    prompts.recoveries.push_back(QVxRecoveryAnswer{0, {}});
    ASSERT_TRUE(Start());
    ASSERT_EQ(prompts.recoveryLists.size(), 1u);
    ASSERT_EQ(prompts.recoveryLists[0].size(), 1u);
    EXPECT_EQ(prompts.recoveryLists[0][0].id, id);
    EXPECT_EQ(prompts.recoveryLists[0][0].records, 5000u);

    const qvx::AnalogSession* session = ViewModel().GetSession();
    ASSERT_NE(session->GetReportData(), nullptr);
    EXPECT_EQ(session->GetReportData()->GetTotalRecordCount(), 5000u);
    EXPECT_EQ(session->GetSettings().samplingFrequency, 1);
    EXPECT_TRUE(ViewModel().HasUnsavedRecording());
    EXPECT_TRUE(ViewModel().ListOrphanedRecordings().empty());  // held while it is open

    // Saved at close: moved, and its old folder goes.
    const fs::path saved = dir.Path() / "recovered" / "r.qvxa";
    fs::create_directories(saved.parent_path());
    prompts.saveChoices.push_back(QVxSaveChoice::kSave);
    prompts.paths.push_back(QString::fromStdString(saved.string()));
    Frame().close();
    app.reset();
    EXPECT_TRUE(fs::exists(saved.parent_path() / "repo" / "00000000.DAT"));
    EXPECT_FALSE(fs::exists(orphan));

    // An orphan kept for later is offered again; one discarded is gone.
    LeaveOrphanedRecording(id, 10);
    ASSERT_TRUE(Start());
    app.reset();
    prompts.recoveries.push_back(QVxRecoveryAnswer{std::nullopt, {0}});
    ASSERT_TRUE(Start());
    EXPECT_EQ(prompts.recoveryLists.size(), 3u);
    EXPECT_FALSE(fs::exists(orphan));
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("|").toStdString();
}

// The default layout at common window sizes: all four tracks and the footer fit in the view,
// a dragged track height is kept (and remembered) until "fit to window" is chosen again.
TEST_F(AppTest, TracksFitTheViewAndADraggedHeightIsKeptUntilFitIsChosenAgain) {
    ASSERT_TRUE(Start());
    Frame().showNormal();
    CQVxWaveformTrackAreaWnd* areaWnd = Frame().GetView()->GetMonitorWnd()->GetTrackAreaWnd();
    for (const QSize size : {QSize(1400, 900), QSize(1920, 1080)}) {
        Frame().resize(size);
        QTest::qWait(100);
        const auto& layout = areaWnd->GetGraphArea()->GetLayout();
        ASSERT_EQ(layout.tracks.size(), 4u);
        EXPECT_LE(layout.footer.bottom, areaWnd->height() - areaWnd->HorizontalScrollBar()->height())
            << size.width() << "x" << size.height();
        EXPECT_GE(layout.trackHeight, 60) << size.width() << "x" << size.height();
        const QString shot =
            QString::fromStdString((dir.Path() / "fit").string()) + QString::number(size.width());
        Frame().grab().save(shot + ".png");
    }

    // Dragging the first track's lower border by its handle in the label column sets the
    // shared height and turns fitting off.
    const auto first = areaWnd->GetGraphArea()->GetLayout().tracks[0];
    const int before = areaWnd->GetGraphArea()->GetLayout().trackHeight;
    const QPoint grip(first.left + 20, first.bottom);
    QTest::mousePress(areaWnd, Qt::LeftButton, {}, grip);
    QTest::mouseMove(areaWnd, grip + QPoint(0, -30));
    QTest::mouseRelease(areaWnd, Qt::LeftButton, {}, grip + QPoint(0, -30));
    EXPECT_EQ(areaWnd->GetGraphArea()->GetLayout().trackHeight, before - 30);
    QAction* fit = Frame().FindCommand(CMainFrame::kCmdFitTracks);
    ASSERT_NE(fit, nullptr);
    EXPECT_FALSE(fit->isChecked());
    EXPECT_EQ(app->GetSettings().value("View/FitTracks").toBool(), false);

    // Kept by the next session, then fitting again from the menu.
    ASSERT_TRUE(ViewModel().NewSession(nullptr));
    EXPECT_EQ(areaWnd->GetGraphArea()->GetLayout().trackHeight, before - 30);
    fit->trigger();
    EXPECT_EQ(areaWnd->GetGraphArea()->GetLayout().trackHeight, before);
}

TEST_F(AppTest, ACursorSetFromAListIsDrawnUntilTheMouseMovesOverTheWaveform) {
    ASSERT_TRUE(Start());
    RecordTrace(300);
    CQVxWaveformTrackAreaWnd* areaWnd = Frame().GetView()->GetMonitorWnd()->GetTrackAreaWnd();
    CQVxWaveformTrackArea* area = areaWnd->GetGraphArea();
    EXPECT_EQ(area->CrossX(), -1);
    // What a click on a row in the middle of the data list does.
    const std::uint64_t total = ViewModel().GetSession()->GetReportData()->GetTotalRecordCount();
    ViewModel().SyncViewsToDataIndex(total / 2, nullptr, 0);
    QTest::qWait(50);
    EXPECT_TRUE(area->IsSyncedCursorShown());
    const auto& waveform = area->GetWaveformRect();
    const int x = area->CrossX();
    EXPECT_NEAR(x, (waveform.left + waveform.right) / 2, 2);  // centred on the record
    const QImage image = areaWnd->RenderImage();
    EXPECT_EQ(image.pixelColor(x, waveform.bottom - 2), QColor(160, 0, 0));  // the cursor line

    QTest::mouseMove(areaWnd, QPoint(waveform.left + 10, waveform.top + 40));
    QTest::qWait(50);
    EXPECT_FALSE(area->IsSyncedCursorShown());
    EXPECT_EQ(area->CrossX(), waveform.left + 10);
}

TEST_F(AppTest, ClockTimeFromTheViewMenuIsRememberedAndReachesTheListsAndTheRuler) {
    ASSERT_TRUE(Start());
    RecordTrace(300);
    qvx::test::TimeZone tokyo("Asia/Tokyo");
    QAction* clock = Frame().FindCommand(CMainFrame::kCmdClockTime);
    ASSERT_NE(clock, nullptr);
    EXPECT_FALSE(clock->isChecked());
    EXPECT_EQ(ViewModel().GetClockTimeOrigin(), std::nullopt);
    const auto& reader = ViewModel().GetSession()->GetReportData();
    ASSERT_NE(reader->GetStartSeconds(), 0);
    QVxAnalogDataListViewModel& list = Frame().GetDataListPane()->GetDataListViewModel();
    std::string sinceStart = list.GetText(1, 1);  // ns with "," groups
    std::erase(sinceStart, ',');

    clock->trigger();
    EXPECT_EQ(app->GetSettings().value("View/ClockTime").toBool(), true);
    EXPECT_EQ(ViewModel().GetClockTimeOrigin(), reader->GetStartTimeNs());
    EXPECT_EQ(list.GetColumnText(1), "Time");
    EXPECT_EQ(list.GetText(1, 1),
              QVxClockTime::TimeOfDay(reader->GetStartTimeNs() + std::stoll(sinceStart), 9));
    if (const char* shots = std::getenv("QVX_SHOT_DIR"))
        Frame().grab().save(QString::fromUtf8(shots) + "/clock-time.png");

    clock->trigger();
    EXPECT_EQ(app->GetSettings().value("View/ClockTime").toBool(), false);
    EXPECT_EQ(list.GetColumnText(1), "Time[ns]");
}
