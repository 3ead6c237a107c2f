// Bookmarks in the window: added with the key B at the cursor, listed in the bookmarks
// pane by time, jumped to by a click and by Ctrl+B / Ctrl+Shift+B, renamed in place,
// hidden, deleted with Delete, exported as CSV, and saved with the session when the
// window closes after the question.

#include "QV+Analog/DataList/CQVxAnalogDisplayTriggerListPane.h"
#include "QV+Analog/DataList/CQVxBookmarksPane.h"
#include "QV+Analog/QVxAnalogScopeView.h"
#include "QV+Analog/tests/app_fixture.h"
#include "QVxCore/Archive.h"
#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"

#include <QMenu>

#include <fstream>

namespace fs = std::filesystem;
using qvx::test::AppTest;

namespace {

class BookmarksGui : public AppTest {
protected:
    // A recording of the demo signal, saved as dir/s/s.qvxa.
    void RecordAndSave() {
        ASSERT_TRUE(Start());
        RecordTrace(300);
        fs::create_directories(dir.Path() / "s");
        ASSERT_TRUE(ViewModel().SaveAsSession(dir.Path() / "s" / "s.qvxa"));
    }
    CQVxWaveformMonitorWnd* Monitor() { return Frame().GetView()->GetMonitorWnd(); }
    CQVxBookmarksPane* Pane() { return Frame().GetBookmarksPane(); }
    QVxAnalogBookmarks& Bookmarks() { return ViewModel().GetBookmarks(); }
    std::int64_t Cursor() { return ViewModel().GetOscilloGraphViewModel()->GetCursorTime(); }
    void AddWithKeyAt(std::int64_t time) {
        ViewModel().GetOscilloGraphViewModel()->UpdateCursorTime(time);
        QTest::keyClick(Monitor(), Qt::Key_B);
    }
    QAction* PaneAction(QMenu& menu, const char* name) { return menu.findChild<QAction*>(name); }
};

TEST_F(BookmarksGui, KeysThePaneAndTheClosingQuestionWorkOnTheSessionsBookmarks) {
    RecordAndSave();
    const std::int64_t last = *Bookmarks().LastTime();
    AddWithKeyAt(last / 2);
    AddWithKeyAt(last / 4);
    AddWithKeyAt(last / 4 * 3);
    ASSERT_EQ(Bookmarks().List().size(), 3u);
    EXPECT_EQ(Pane()->GetList()->GetRealItemCount(), 3);
    // Rows by time: B2 (1/4), B1 (1/2), B3 (3/4); the newest is selected.
    EXPECT_EQ(Pane()->GetList()->GetColumnString(0, QVxAnalogBookmarkListModel::kNameColumn), "B2");
    EXPECT_EQ(Pane()->GetList()->GetSelectedRow(), 2);
    EXPECT_TRUE(Frame().windowTitle().startsWith("s.qvxa*"));

    // Ctrl+B and Ctrl+Shift+B go from the cursor (at B3 now) to the neighbours by time.
    QAction* next = Frame().FindCommand(CMainFrame::kCmdNextBookmark);
    QAction* previous = Frame().FindCommand(CMainFrame::kCmdPreviousBookmark);
    ASSERT_TRUE(next && previous);
    EXPECT_EQ(next->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_B));
    EXPECT_EQ(previous->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B));
    previous->trigger();
    EXPECT_EQ(Bookmarks().GetSelected(), 1);
    EXPECT_NEAR(static_cast<double>(Cursor()), static_cast<double>(last / 2), 10.0);
    previous->trigger();
    EXPECT_EQ(Bookmarks().GetSelected(), 2);
    previous->trigger();  // none before B2
    EXPECT_EQ(Bookmarks().GetSelected(), 2);
    next->trigger();
    EXPECT_EQ(Bookmarks().GetSelected(), 1);

    // A click on a row goes there; a rename in place reaches the session.
    const QRect row = Pane()->GetList()->visualRect(Pane()->GetList()->model()->index(2, 0));
    QTest::mouseClick(Pane()->GetList()->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(Bookmarks().GetSelected(), 3);
    EXPECT_NEAR(static_cast<double>(Cursor()), static_cast<double>(last / 4 * 3), 10.0);
    Pane()->GetList()->SetColumnString(2, QVxAnalogBookmarkListModel::kNameColumn, "立ち上がり");
    EXPECT_EQ(Bookmarks().Find(3)->name, "立ち上がり");
    Pane()->GetList()->SetColumnString(2, QVxAnalogBookmarkListModel::kNoteColumn, QString(1001, 'x'));
    EXPECT_EQ(prompts.messages.size(), 1);  // refused with a message, nothing changed
    EXPECT_EQ(Bookmarks().Find(3)->note, "");

    // The context menu hides the selected one; Delete in the pane removes it.
    std::unique_ptr<QMenu> menu(Pane()->CreateContextMenu(Pane()));
    PaneAction(*menu, "showBookmark")->trigger();
    EXPECT_FALSE(Bookmarks().Find(3)->visible);
    EXPECT_FALSE(ViewModel().GetDisplayTriggerPresenter().FindMark(3)->visible);
    QTest::keyClick(Pane()->GetList(), Qt::Key_Delete);
    EXPECT_EQ(Bookmarks().Find(3), nullptr);
    ASSERT_EQ(Bookmarks().List().size(), 2u);

    // CSV export: header and one quoted line per bookmark.
    const fs::path csv = dir.Path() / "bookmarks.csv";
    ASSERT_TRUE(Pane()->ExportCsv(csv));
    std::ifstream in(csv);
    std::string header, first;
    std::getline(in, header);
    std::getline(in, first);
    EXPECT_EQ(header, "\xEF\xBB\xBF時間[ns],名前,メモ,CH1,CH2,CH3,CH4");
    EXPECT_EQ(first.substr(first.find("\",\"") + 3, 4), "B2\",");

    // Closing asks; Save writes them into the session's "meta" in place.
    const qvx::AnalogBookmarkList kept = Bookmarks().List();
    prompts.saveChoices.push_back(QVxSaveChoice::kSave);
    Frame().close();
    EXPECT_EQ(prompts.saveQuestions.size(), 1);
    EXPECT_FALSE(Frame().isVisible());
    qvx::AnalogBookmarkList saved;
    ASSERT_TRUE(qvx::Archive::LoadBookmarks(saved, dir.Path() / "s" / "repo" / "meta"));
    EXPECT_EQ(saved, kept);
}

TEST_F(BookmarksGui, AnUnsavedRecordingKeepsItsBookmarksBesideItAndSaveAsCarriesThem) {
    ASSERT_TRUE(Start());
    RecordTrace(300);
    const fs::path repo = ViewModel().GetSession()->GetReportFolderPath();
    AddWithKeyAt(*Bookmarks().LastTime() / 2);
    qvx::AnalogBookmarkList beside;
    ASSERT_TRUE(qvx::Archive::LoadBookmarks(beside, repo / "meta"));  // for a recovery after a crash
    EXPECT_EQ(beside.size(), 1u);
    EXPECT_FALSE(ViewModel().HasUnsavedBookmarks());  // the recording itself is what is unsaved

    fs::create_directories(dir.Path() / "t");
    ASSERT_TRUE(ViewModel().SaveAsSession(dir.Path() / "t" / "t.qvxa"));
    EXPECT_FALSE(ViewModel().HasUnsavedBookmarks());
    qvx::AnalogBookmarkList saved;
    ASSERT_TRUE(qvx::Archive::LoadBookmarks(saved, dir.Path() / "t" / "repo" / "meta"));
    EXPECT_EQ(saved, beside);
    Frame().close();
    EXPECT_TRUE(prompts.saveQuestions.isEmpty());
}

}  // namespace

namespace {

TEST_F(BookmarksGui, AHitOfTheDisplayTriggerListIsBookmarkedFromItsContextMenu) {
    RecordAndSave();
    CQVxAnalogDisplayTriggerListPane* triggers = Frame().GetDisplayTriggerListPane();
    const auto& hits = ViewModel().GetSession()->GetDisplayTriggerList();
    ASSERT_GE(hits.size(), 2u);
    {
        std::unique_ptr<QMenu> menu(triggers->CreateContextMenu(triggers));
        EXPECT_FALSE(menu->findChild<QAction*>("addBookmark")->isEnabled());  // no row selected
    }
    triggers->GetList()->SelectRow(1);
    std::unique_ptr<QMenu> menu(triggers->CreateContextMenu(triggers));
    menu->findChild<QAction*>("addBookmark")->trigger();
    ASSERT_EQ(Bookmarks().List().size(), 1u);
    const std::uint8_t* record = ViewModel().GetSession()->GetReportData()->ReadRecordByIndex(
        static_cast<std::uint64_t>(hits[1].dataIndex));
    EXPECT_EQ(Bookmarks().List()[0].timeNSec, qvx::RecordTimeNs(record));
    EXPECT_EQ(Pane()->GetList()->GetRealItemCount(), 1);
}

}  // namespace

namespace {

TEST_F(BookmarksGui, ASessionWhoseBookmarksDoNotAllLoadOpensWithTheRestAndSaysWhich) {
    RecordAndSave();
    const fs::path session = dir.Path() / "s" / "s.qvxa";
    const fs::path meta = dir.Path() / "s" / "repo" / "meta";
    ViewModel().NewSession(nullptr);  // the saved session is let go
    const std::string text =
        R"({"value0": {"displayTriggerList": [{"dataIndex": 4, "widthNSec": 0}], "bookmarks": [
        {"id": 1, "timeNSec": 5, "name": "ok", "note": "", "color": "#FF000000", "visible": true},
        {"id": 2, "timeNSec": 6, "name": "bad", "note": "", "color": "#FF000000", "visible": "yes"}]}})";
    std::ofstream(meta) << text;
    prompts.messages.clear();
    ASSERT_TRUE(Frame().OpenSession(QString::fromStdString(session.string())));
    ASSERT_EQ(Bookmarks().List().size(), 1u);
    EXPECT_EQ(ViewModel().GetSession()->GetDisplayTriggerList().size(), 1u);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].contains("bookmarks[1].visible")) << prompts.messages[0].toStdString();
    EXPECT_EQ(Pane()->GetList()->GetRealItemCount(), 1);
}

}  // namespace

namespace {

TEST_F(BookmarksGui, OpeningAnotherSessionOverChangedBookmarksAsksFirst) {
    RecordAndSave();
    // Another session: settings alone.
    fs::create_directories(dir.Path() / "other");
    qvx::AnalogSettings settings;
    ASSERT_TRUE(qvx::Archive::Save(settings, dir.Path() / "other" / "o.qvxa"));
    const QString session = QString::fromStdString((dir.Path() / "other" / "o.qvxa").string());
    AddWithKeyAt(*Bookmarks().LastTime() / 2);
    ASSERT_TRUE(ViewModel().HasUnsavedBookmarks());
    prompts.saveChoices.push_back(QVxSaveChoice::kCancel);
    EXPECT_FALSE(Frame().OpenSession(session));
    EXPECT_EQ(prompts.saveQuestions.size(), 1);
    EXPECT_EQ(Bookmarks().List().size(), 1u);  // cancelled: all as it was

    prompts.saveChoices.push_back(QVxSaveChoice::kSave);
    ASSERT_TRUE(Frame().OpenSession(session));  // saved in place first, then replaced
    EXPECT_EQ(prompts.saveQuestions.size(), 2);
    EXPECT_TRUE(Bookmarks().List().empty());
    qvx::AnalogBookmarkList saved;
    ASSERT_TRUE(qvx::Archive::LoadBookmarks(saved, dir.Path() / "s" / "repo" / "meta"));
    EXPECT_EQ(saved.size(), 1u);
}

}  // namespace
