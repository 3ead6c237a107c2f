// The desktop's logout (the session manager's commitDataRequest): a running trace is stopped
// with drain first; an unsaved recording is asked about as at a window close when the session
// manager lets the program interact (Cancel cancels the logout), and kept for recovery with
// its settings when it does not. With nothing unsaved the session manager is not asked.

#include "QV+Analog/QVxDesktopShutdown.h"
#include "QV+Analog/tests/app_fixture.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/Archive.h"

namespace fs = std::filesystem;
using qvx::test::AppTest;

TEST_F(AppTest, LogoutWithInteractionStopsTheTraceWithDrainThenAsksAndCancelCancelsTheLogout) {
    ASSERT_TRUE(Start());
    QVxDesktopShutdown& shutdown = *app->GetDesktopShutdown();
    int interactionAsked = 0;
    const auto allow = [&interactionAsked] { return ++interactionAsked, true; };

    // Nothing recorded: nothing to ask, the session manager is not even asked.
    EXPECT_TRUE(shutdown.CommitData(allow));
    EXPECT_EQ(interactionAsked, 0);
    EXPECT_TRUE(prompts.saveQuestions.isEmpty());

    ASSERT_TRUE(WaitConnected());
    ASSERT_TRUE(ViewModel().StartTrace());
    QTest::qWait(300);
    prompts.saveChoices.push_back(QVxSaveChoice::kCancel);
    EXPECT_FALSE(shutdown.CommitData(allow));
    EXPECT_EQ(ViewModel().GetTraceState(), QVxAnalogViewModel::kIdle);
    EXPECT_TRUE(ViewModel().WasLastReportOpened()) << "the trace ended through its drain and was finished";
    EXPECT_EQ(interactionAsked, 1);
    EXPECT_EQ(prompts.saveQuestions.size(), 1);
    EXPECT_TRUE(ViewModel().HasUnsavedRecording());

    // Save: the logout goes on with the recording saved where the user chose.
    const fs::path saved = dir.Path() / "logout" / "logout.qvxa";
    fs::create_directories(saved.parent_path());
    prompts.saveChoices.push_back(QVxSaveChoice::kSave);
    prompts.paths.push_back(QString::fromStdString(saved.string()));
    EXPECT_TRUE(shutdown.CommitData(allow));
    EXPECT_FALSE(ViewModel().HasUnsavedRecording());
    EXPECT_TRUE(fs::exists(saved));
}

TEST_F(AppTest, LogoutWithoutInteractionStopsTheTraceAndKeepsTheRecordingForRecoveryWithoutAsking) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitConnected());
    UseDemoDisplayTrigger();
    ViewModel().GetSessionSettings()->channelVoltages[2] = 5;
    ASSERT_TRUE(ViewModel().StartTrace());
    QTest::qWait(300);
    const fs::path folder = ViewModel().GetSession()->GetFolderPath();

    EXPECT_TRUE(app->GetDesktopShutdown()->CommitData([] { return false; }));
    EXPECT_TRUE(prompts.saveQuestions.isEmpty());
    EXPECT_EQ(ViewModel().GetTraceState(), QVxAnalogViewModel::kIdle);
    EXPECT_FALSE(ViewModel().HasUnsavedRecording()) << "set aside: the program records on in a new folder";

    // Listed for recovery with its settings and every record the trace took in.
    const std::vector<qvx::OrphanedRecording> recordings = ViewModel().ListOrphanedRecordings();
    ASSERT_EQ(recordings.size(), 1u);
    EXPECT_NE(recordings[0].folder, folder) << "moved out of this run's folder";
    EXPECT_TRUE(recordings[0].hasSettings);
    EXPECT_TRUE(recordings[0].readable);
    EXPECT_EQ(recordings[0].tornBytes, 0u);
    EXPECT_EQ(recordings[0].records, ViewModel().GetRecordCount());
    EXPECT_GT(recordings[0].records, 0u);
    qvx::AnalogSettings settings;
    ASSERT_TRUE(qvx::Archive::Load(settings, recordings[0].SettingsFile()));
    EXPECT_EQ(settings.channelVoltages[2], 5);

    // The window then closes without a question, and the recording stays.
    Frame().close();
    EXPECT_TRUE(prompts.saveQuestions.isEmpty());
    app.reset();
    EXPECT_TRUE(fs::exists(recordings[0].folder / "repo"));
}
