// Recordings are never lost by a slip: the start-up list of unsaved recordings deletes
// nothing on Enter and asks before it discards; opening a session that does not open
// leaves the unsaved recording alone; a discarded recording leaves the view; a recording
// whose files are gone is not "saved"; the display-trigger hits of a trace are on disk
// when it ends, so a recovered recording keeps them. Each step checks the files on disk.

#include "QV+Analog/Environment/CQVxRecoveryDlg.h"
#include "QV+Analog/tests/app_fixture.h"
#include "QV+AnalogCore/QVxAppStrings.h"
#include "QVxCore/AnalogEnvData.h"
#include "QVxCore/Archive.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/tests/support/FolderHolder.h"

#include <QPushButton>
#include <QTimer>

#include <signal.h>
#include <sys/wait.h>

#include <fstream>
#include <functional>

namespace fs = std::filesystem;
using qvx::test::AppTest;

namespace {

QString AppText(int id) {
    const std::string_view text = QVxLoadAppString(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QPushButton* ButtonOf(QDialog& dialog, int textId) {
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->text() == AppText(textId)) return button;
    }
    return nullptr;
}

// Shows the real start-up dialog on the list; `act` works it once it is up, and whatever
// is still open after that is closed with Escape ("later").
std::function<QVxRecoveryAnswer(QWidget*, const std::vector<qvx::OrphanedRecording>&)> RealDialog(
    std::function<void(CQVxRecoveryDlg&)> act) {
    return [act](QWidget* parent, const std::vector<qvx::OrphanedRecording>& list) {
        CQVxRecoveryDlg dialog(list, parent);
        QTimer::singleShot(0, &dialog, [&dialog, act] {
            act(dialog);
            if (dialog.isVisible()) QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        dialog.exec();
        return dialog.Answer();
    };
}

void PressEnter(QDialog& dialog) {
    QWidget* focus = dialog.focusWidget();
    QTest::keyClick(focus ? focus : &dialog, Qt::Key_Return);
}

bool HoldsDataFiles(const fs::path& repo) {
    return !qvx::ReportDataReader::CollectDATFiles(repo).empty();
}

}  // namespace

TEST_F(AppTest, TheUnsavedRecordingsDialogDeletesNothingOnEnterAndDiscardsOnlyAfterAYes) {
    const std::string id = "0123456789abcdef0123456789abcdef";
    const fs::path orphan = qvx::test::LeaveKilledRunsRecording(id, 5000);
    ASSERT_FALSE(orphan.empty());

    // Enter: "later" is the default button; nothing is opened, nothing deleted.
    bool laterIsDefault = false, discardIsDefault = true;
    prompts.recoveryRunner = RealDialog([&](CQVxRecoveryDlg& dialog) {
        laterIsDefault = ButtonOf(dialog, kAppStringLaterButton)->isDefault();
        discardIsDefault = ButtonOf(dialog, kAppStringDiscardButton)->isDefault();
        PressEnter(dialog);
    });
    ASSERT_TRUE(Start());
    EXPECT_TRUE(laterIsDefault);
    EXPECT_FALSE(discardIsDefault);
    EXPECT_TRUE(HoldsDataFiles(orphan / "repo"));
    EXPECT_FALSE(ViewModel().HasUnsavedRecording());  // not opened either
    app.reset();

    // Discard answered No: the recording stays listed; Enter then keeps it.
    prompts.answers.push_back(false);
    bool stillListed = false;
    prompts.recoveryRunner = RealDialog([&](CQVxRecoveryDlg& dialog) {
        ButtonOf(dialog, kAppStringDiscardButton)->click();
        stillListed = dialog.isVisible();
        PressEnter(dialog);
    });
    ASSERT_TRUE(Start());
    EXPECT_EQ(prompts.questions, QStringList{AppText(kAppStringRecoveryDiscardQuestion)});
    EXPECT_TRUE(stillListed);
    EXPECT_TRUE(HoldsDataFiles(orphan / "repo"));
    app.reset();

    // Discard answered Yes: gone from the disk.
    prompts.answers.push_back(true);
    prompts.recoveryRunner =
        RealDialog([](CQVxRecoveryDlg& dialog) { ButtonOf(dialog, kAppStringDiscardButton)->click(); });
    ASSERT_TRUE(Start());
    EXPECT_EQ(prompts.questions.size(), 2);
    EXPECT_FALSE(fs::exists(orphan));
    EXPECT_TRUE(ViewModel().ListOrphanedRecordings().empty());
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("|").toStdString();
}

TEST_F(AppTest, AnUnsavedRecordingSurvivesASessionThatDoesNotOpenAndADiscardedOneLeavesTheView) {
    ASSERT_TRUE(Start());
    RecordTrace(300);
    const fs::path folder = ViewModel().GetSession()->GetFolderPath();
    const fs::path repo = folder / "repo";
    const std::uint64_t records = ViewModel().GetSession()->GetReportData()->GetTotalRecordCount();
    ASSERT_TRUE(HoldsDataFiles(repo));

    // A truncated settings file, and a settings file beside a damaged report.
    const fs::path truncated = dir.Path() / "truncated" / "t.qvxa";
    const fs::path damaged = dir.Path() / "damaged" / "d.qvxa";
    for (const fs::path& file : {truncated, damaged}) {
        fs::create_directories(file.parent_path());
        qvx::AnalogSettings settings;
        ASSERT_TRUE(qvx::Archive::Save(settings, file));
    }
    fs::resize_file(truncated, fs::file_size(truncated) / 2);
    fs::create_directories(damaged.parent_path() / "repo");
    std::ofstream(damaged.parent_path() / "repo" / "00000000.DAT") << "not a report";

    for (const fs::path& file : {truncated, damaged}) {
        SCOPED_TRACE(file.string());
        prompts.messages.clear();
        prompts.saveChoices.push_back(QVxSaveChoice::kDiscard);
        prompts.paths.push_back(QString::fromStdString(file.string()));
        EXPECT_FALSE(Frame().OpenSession());
        prompts.saveChoices.clear();
        // Not asked, nothing deleted, still shown.
        EXPECT_TRUE(prompts.saveQuestions.isEmpty());
        EXPECT_EQ(
            prompts.messages,
            QStringList{AppText(kAppStringOpenSessionFailed).arg(QString::fromStdString(file.string()))});
        EXPECT_TRUE(HoldsDataFiles(repo));
        EXPECT_TRUE(fs::exists(folder / qvx::AnalogSession::kRecordingSettingsFileName));
        EXPECT_TRUE(ViewModel().HasUnsavedRecording());
        ASSERT_NE(ViewModel().GetSession()->GetReportData(), nullptr);
        EXPECT_EQ(ViewModel().GetSession()->GetReportData()->GetTotalRecordCount(), records);
    }

    // "Don't save": the files go, and so does the recording from the window.
    prompts.saveChoices.push_back(QVxSaveChoice::kDiscard);
    EXPECT_TRUE(Frame().AskToSaveRecording());
    EXPECT_FALSE(HoldsDataFiles(repo));
    EXPECT_FALSE(fs::exists(folder / qvx::AnalogSession::kRecordingSettingsFileName));
    EXPECT_FALSE(ViewModel().HasUnsavedRecording());
    EXPECT_EQ(ViewModel().GetSession()->GetReportData(), nullptr);
    EXPECT_EQ(ViewModel().GetOscilloGraphViewModel()->GetWritingRenderData().GetLastTime(), 0);
    EXPECT_EQ(Frame().windowTitle(), QString("無題 - QV+Analog [AN0000SIM]"));

    // A recording whose files someone else deleted is not "saved" as settings alone.
    RecordTrace(300);
    const fs::path second = ViewModel().GetSession()->GetReportFolderPath();
    for (const fs::path& file : qvx::ReportDataReader::CollectDATFiles(second)) fs::remove(file);
    const fs::path target = dir.Path() / "lost" / "lost.qvxa";
    fs::create_directories(target.parent_path());
    prompts.messages.clear();
    prompts.paths.push_back(QString::fromStdString(target.string()));
    const int dialogs = prompts.dialogFilters.size();
    EXPECT_FALSE(Frame().SaveSessionAs());
    EXPECT_EQ(prompts.dialogFilters.size(), dialogs);  // refused before the file dialog
    EXPECT_EQ(prompts.messages, QStringList{AppText(kAppStringNoRecordingToSave)});
    EXPECT_FALSE(ViewModel().SaveAsSession(target));
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(fs::exists(target.parent_path() / "repo"));
    prompts.paths.clear();
}

TEST_F(AppTest, TheHitsOfATraceAreOnDiskWhenItEndsAndComeBackWithItsRecovery) {
    ASSERT_TRUE(Start());
    RecordTrace(600);
    const qvx::AnalogDisplayTriggerList hits = ViewModel().GetSession()->GetDisplayTriggerList();
    ASSERT_FALSE(hits.empty());
    const fs::path folder = ViewModel().GetSession()->GetFolderPath();
    qvx::AnalogDisplayTriggerList onDisk;
    ASSERT_TRUE(qvx::Archive::Load(onDisk, folder / "repo" / "meta"));
    EXPECT_EQ(onDisk, hits);

    // The run ends without a decision (as a killed run would); its folder is then another
    // run's orphan, offered at the next start and opened with its hits.
    app.reset();
    ASSERT_TRUE(fs::exists(folder / "repo" / "meta"));
    const fs::path orphan = folder.parent_path() / std::string(32, 'e');
    fs::rename(folder, orphan);
    prompts.recoveries.push_back(QVxRecoveryAnswer{0, {}});
    ASSERT_TRUE(Start());
    ASSERT_EQ(prompts.recoveryLists.size(), 1u);
    ASSERT_TRUE(ViewModel().HasUnsavedRecording());
    EXPECT_EQ(ViewModel().GetSession()->GetDisplayTriggerList(), hits);
    EXPECT_EQ(ViewModel().GetSession()->GetFolderPath(), orphan);
}
