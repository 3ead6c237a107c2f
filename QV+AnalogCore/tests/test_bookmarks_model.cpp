// The bookmarks as the window and the pane edit them: add, rename, recolour, hide, move
// (also by a flag drag), delete and the next/previous jump, the checks that refuse bad
// input without a change, the mirror into the mark list and the changed flag that makes
// the session unsaved; a recording never saved writes its "meta" at once.

#include "list_test_support.h"

#include "QV+AnalogCore/Presenters/QVxAnalogBookmarks.h"
#include "QVxCore/Archive.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using qvx::AnalogBookmark;

namespace {

class BookmarksModel : public ::testing::Test {
protected:
    qvx::test::TempDir dir{"bookmarks"};
    qvx::test::ListOwner owner{dir.Path()};
    qvx::WaveformDisplayTriggerPresenter marks;
    QVxAnalogBookmarks bookmarks{marks};
    int changes = 0;
    std::shared_ptr<qvx::SignalConnection> connection = bookmarks.Changed.Connect([this] { ++changes; });

    // 1000 records 100 ns apart: the recording ends at 99,900 ns.
    void SetUp() override {
        qvx::test::ReportBuilder(dir.Path() / "repo").AddFile(0, 1000);
        ASSERT_TRUE(owner.OpenReport());
        bookmarks.Bind(owner.session.get());
    }
    void TearDown() override { connection->Disconnect(); }
    std::int32_t AddAt(std::int64_t time) {
        std::int32_t id = 0;
        EXPECT_FALSE(bookmarks.Add(time, {}, {}, &id));
        return id;
    }
};

TEST_F(BookmarksModel, EditsReachTheSessionAndTheMarkListAndMarkItChanged) {
    EXPECT_EQ(bookmarks.LastTime(), 99'900);
    EXPECT_EQ(AddAt(500), 1);
    EXPECT_EQ(AddAt(0), 2);
    EXPECT_EQ(AddAt(99'900), 3);
    EXPECT_EQ(bookmarks.List()[1].name, "B2");
    EXPECT_EQ(bookmarks.GetSelected(), 3);  // a new bookmark is selected
    EXPECT_TRUE(owner.session->HaveBookmarksChanged());

    EXPECT_FALSE(bookmarks.Rename(1, "立ち上がり"));
    EXPECT_FALSE(bookmarks.SetNote(1, "ポンプ起動"));
    EXPECT_FALSE(bookmarks.SetColor(2, qvx::Color(1, 2, 3)));
    EXPECT_FALSE(bookmarks.SetVisible(3, false));
    EXPECT_FALSE(bookmarks.Move(2, 700));
    const AnalogBookmark& first = owner.session->GetBookmarks()[0];
    EXPECT_EQ(first.name, "立ち上がり");
    EXPECT_EQ(first.note, "ポンプ起動");
    EXPECT_FALSE(bookmarks.Rename(1, ""));  // an empty name goes back to the default
    EXPECT_EQ(first.name, "B1");

    const std::vector<qvx::WaveformMark> expected = {
        {1, true, QVxAnalogBookmarks::kDefaultColor, 500, "B1\nポンプ起動"},  // name and note on the flag
        {2, true, qvx::Color(1, 2, 3), 700, "B2"},
        {3, false, QVxAnalogBookmarks::kDefaultColor, 99'900, "B3"},
    };
    EXPECT_EQ(marks.GetMarkList(), expected);

    // A flag dragged in the window moves its bookmark when the drag ends.
    marks.SetMarkTime(1, 1'200);
    marks.FinishMarkMove(1);
    EXPECT_EQ(bookmarks.Find(1)->timeNSec, 1'200);

    EXPECT_TRUE(bookmarks.DeleteSelected());
    EXPECT_EQ(bookmarks.List().size(), 2u);
    EXPECT_EQ(bookmarks.GetSelected(), 0);
    EXPECT_FALSE(bookmarks.DeleteSelected());
    EXPECT_FALSE(bookmarks.Delete(2));
    EXPECT_EQ(marks.GetMarkList().size(), 1u);
    EXPECT_GT(changes, 10);
}

TEST_F(BookmarksModel, BadInputIsRefusedWithAReasonAndChangesNothing) {
    AddAt(500);
    owner.session->SaveMetadata();  // the session as saved
    const auto before = bookmarks.List();
    const int changesBefore = changes;

    const auto outside = bookmarks.Add(99'901);
    ASSERT_TRUE(outside);
    EXPECT_EQ(*outside, "the time 99901 ns lies outside the recording (0 to 99900 ns)");
    EXPECT_TRUE(bookmarks.Add(-1));
    EXPECT_TRUE(bookmarks.Add(10, std::string(1001, 'n')));
    EXPECT_TRUE(bookmarks.Add(10, "ok", std::string(1001, 'n')));
    EXPECT_TRUE(bookmarks.Rename(1, std::string(1001, 'n')));
    EXPECT_TRUE(bookmarks.SetNote(1, "\xFF"));
    EXPECT_TRUE(bookmarks.Move(1, 100'000));
    EXPECT_EQ(*bookmarks.Rename(9, "x"), "no bookmark has the id 9");
    EXPECT_TRUE(bookmarks.Delete(9));
    // A flag dragged to where the bookmark cannot go returns to it.
    marks.SetMarkTime(1, 200'000);
    marks.FinishMarkMove(1);
    EXPECT_EQ(marks.FindMark(1)->time, 500);

    EXPECT_EQ(bookmarks.List(), before);
    EXPECT_FALSE(owner.session->HaveBookmarksChanged());
    EXPECT_EQ(changes, changesBefore);

    // Without report data nothing can be bookmarked.
    bookmarks.Bind(nullptr);
    EXPECT_TRUE(bookmarks.Add(0));
    EXPECT_TRUE(marks.GetMarkList().empty());
}

TEST_F(BookmarksModel, NextAndPreviousGoByTimeFromTheCursor) {
    AddAt(5'000);
    AddAt(1'000);
    AddAt(9'000);
    AddAt(5'000);
    EXPECT_EQ(bookmarks.Next(0)->id, 2);
    EXPECT_EQ(bookmarks.Next(1'000)->id, 1);  // ties in time go by id
    EXPECT_EQ(bookmarks.Next(5'000)->id, 3);
    EXPECT_FALSE(bookmarks.Next(9'000));
    EXPECT_EQ(bookmarks.Previous(9'000)->id, 4);
    EXPECT_EQ(bookmarks.Previous(5'000)->id, 2);
    EXPECT_FALSE(bookmarks.Previous(1'000));
}

TEST_F(BookmarksModel, ARecordingNeverSavedKeepsItsBookmarksInItsMetaAtOnce) {
    bool unsavedRecording = false;
    bookmarks.SetWriteThroughQuery([&] { return unsavedRecording; });
    AddAt(100);
    EXPECT_FALSE(fs::exists(dir.Path() / "repo" / "meta"));
    unsavedRecording = true;
    AddAt(200);
    qvx::AnalogBookmarkList onDisk;
    ASSERT_TRUE(qvx::Archive::LoadBookmarks(onDisk, dir.Path() / "repo" / "meta"));
    EXPECT_EQ(onDisk, bookmarks.List());
    EXPECT_TRUE(owner.session->HaveBookmarksChanged());  // still to be saved with the session
}

}  // namespace
