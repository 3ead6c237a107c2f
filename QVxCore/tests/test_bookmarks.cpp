// Bookmarks in the report metadata file "meta": written beside the hit list, read entry by
// entry (a malformed one is left out with a warning naming it, the rest still loads), and
// carried by the session through open, save-as, saving in place and the save of a
// recording left unsaved.

#include "QVxCore/Bookmarks.h"

#include "test_session_support.h"

namespace fs = std::filesystem;
using qvx::AnalogBookmark;
using qvx::AnalogBookmarkList;
using qvx::AnalogSession;
using qvx::testing::LogRecorder;
using qvx::testing::ReadText;
using qvx::testing::WriteText;

namespace {

AnalogBookmarkList FiveBookmarks() {
    return {
        {1, 0, "B1", "", qvx::Color(), true},
        {2, 1'500, "立ち上がり", "ポンプ起動\n2行目 \"引用\"", qvx::Color(255, 0, 0), true},
        {4, 9'000'000'000, "B4", "hidden", qvx::Color(0, 128, 255, 200), false},
        {7, 42, std::string(qvx::kMaxBookmarkTextLength, 'n'), std::string(qvx::kMaxBookmarkTextLength, 'x'),
         qvx::Color(), true},
        {8, 43, "\\back\\slash", "tab\tand \u00e9", qvx::Color(1, 2, 3), true},
    };
}

// "meta" with a member "bookmarks" of the given JSON text.
std::string MetaWith(const std::string& bookmarksJson) {
    return "{\n    \"value0\": {\n        \"displayTriggerList\": [{\"dataIndex\": 4, \"widthNSec\": 0}],\n"
           "        \"bookmarks\": " +
           bookmarksJson + "\n    }\n}\n";
}

class Bookmarks : public qvx::testing::SessionTest {
protected:
    // A new session in dir/cache with report data, two hits and five bookmarks.
    void RecordInto(AnalogSession& session) {
        ASSERT_TRUE(session.NewInternal(dir / "cache"));
        qvx::test::ReportBuilder(dir / "cache" / "repo").AddFile(0, 300);
        session.GetDisplayTriggerList() = {{4, 0}, {250, 1000}};
        session.GetBookmarks() = FiveBookmarks();
        session.MarkBookmarksChanged();
    }

    static AnalogBookmarkList LoadFrom(const fs::path& meta, std::vector<std::string>* problems = nullptr) {
        AnalogBookmarkList list;
        EXPECT_TRUE(qvx::Archive::LoadBookmarks(list, meta, problems));
        return list;
    }
};

}  // namespace

TEST(BookmarkRules, TextLengthCountsCharactersAndTimeMustLieInTheRecording) {
    EXPECT_FALSE(qvx::CheckBookmarkText(std::string(1000, 'a'), "name"));
    std::string japanese;
    for (int i = 0; i < 1000; ++i) japanese += "あ";  // 3000 bytes, 1000 characters
    EXPECT_FALSE(qvx::CheckBookmarkText(japanese, "note"));
    const auto tooLong = qvx::CheckBookmarkText(japanese + "a", "note");
    ASSERT_TRUE(tooLong);
    EXPECT_EQ(*tooLong, "the note has 1001 characters; at most 1000 are allowed");
    EXPECT_TRUE(qvx::CheckBookmarkText("\xE3\x81", "name"));      // cut short
    EXPECT_TRUE(qvx::CheckBookmarkText("\xC0\xAF", "name"));      // overlong '/'
    EXPECT_TRUE(qvx::CheckBookmarkText("\xED\xA0\x80", "name"));  // a surrogate

    EXPECT_FALSE(qvx::CheckBookmarkTime(0, 100));
    EXPECT_FALSE(qvx::CheckBookmarkTime(100, 100));
    EXPECT_TRUE(qvx::CheckBookmarkTime(-1, 100));
    EXPECT_TRUE(qvx::CheckBookmarkTime(101, 100));
}

TEST_F(Bookmarks, MetaKeepsThemBesideTheHitsAndReadersOfHitsAloneStillLoad) {
    const fs::path meta = dir / "meta";
    const qvx::AnalogDisplayTriggerList hits = {{4, 0}, {250, 1000}};
    ASSERT_TRUE(qvx::Archive::SaveMetadata(hits, FiveBookmarks(), meta));
    EXPECT_EQ(LoadFrom(meta), FiveBookmarks());
    qvx::AnalogDisplayTriggerList loadedHits;
    ASSERT_TRUE(qvx::Archive::Load(loadedHits, meta));  // the reader that knows only hits
    EXPECT_EQ(loadedHits, hits);

    // Without bookmarks the file is the one the hit list alone gives; such a file loads
    // with none.
    ASSERT_TRUE(qvx::Archive::SaveMetadata(hits, {}, meta));
    ASSERT_TRUE(qvx::Archive::Save(hits, dir / "hits-only"));
    EXPECT_EQ(ReadText(meta), ReadText(dir / "hits-only"));
    AnalogBookmarkList list = FiveBookmarks();
    ASSERT_TRUE(qvx::Archive::LoadBookmarks(list, meta));
    EXPECT_TRUE(list.empty());
}

TEST_F(Bookmarks, MalformedEntriesAreLeftOutWithAWarningNamingThem) {
    const fs::path meta = dir / "meta";
    WriteText(meta, MetaWith(R"([
        {"id": 1, "timeNSec": 10, "name": "good", "note": "", "color": "#FF00FF00", "visible": true},
        {"id": 1, "timeNSec": 20, "name": "same id", "note": "", "color": "", "visible": true},
        {"id": 2, "timeNSec": -5, "name": "before", "note": "", "color": "", "visible": true},
        {"id": 3, "timeNSec": 30, "name": 7, "note": "", "color": "", "visible": true},
        {"id": 4, "timeNSec": 40, "name": "no note", "color": "", "visible": true},
        "text",
        {"id": 6, "timeNSec": 60, "name": "bad colour", "note": "", "color": "red", "visible": false}
    ])"));
    std::vector<std::string> problems;
    LogRecorder log;
    const AnalogBookmarkList list = LoadFrom(meta, &problems);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, "good");
    EXPECT_EQ(list[0].color, qvx::Color(0, 255, 0));
    EXPECT_EQ(list[1].name, "bad colour");
    EXPECT_FALSE(list[1].color.IsSet());
    EXPECT_FALSE(list[1].visible);
    ASSERT_EQ(problems.size(), 6u);
    EXPECT_EQ(problems[0], "bookmarks[1].id: 1 is used by an earlier bookmark; this bookmark is not loaded");
    EXPECT_NE(problems[1].find("bookmarks[2].timeNSec"), std::string::npos);
    EXPECT_NE(problems[2].find("bookmarks[3].name"), std::string::npos);
    EXPECT_NE(problems[3].find("bookmarks[4].note"), std::string::npos);
    EXPECT_NE(problems[4].find("bookmarks[5]: not an object"), std::string::npos);
    EXPECT_NE(problems[5].find("bookmarks[6].color"), std::string::npos);
    EXPECT_TRUE(log.Contains("warning Metadata " + meta.string() + ": bookmarks[2].timeNSec"));

    // Over-long texts and a member that is no array.
    WriteText(meta, MetaWith(R"([{"id": 1, "timeNSec": 1, "name": ")" + std::string(1001, 'a') +
                             R"(", "note": "", "color": "", "visible": true}])"));
    problems.clear();
    EXPECT_TRUE(LoadFrom(meta, &problems).empty());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("bookmarks[0].name: the name has 1001 characters"), std::string::npos);
    WriteText(meta, MetaWith(R"({"id": 1})"));
    problems.clear();
    EXPECT_TRUE(LoadFrom(meta, &problems).empty());
    EXPECT_EQ(problems, std::vector<std::string>{"bookmarks: not an array; no bookmark is loaded"});
    qvx::AnalogDisplayTriggerList hits;
    EXPECT_TRUE(qvx::Archive::Load(hits, meta));  // the hits do not depend on the bookmarks
    EXPECT_EQ(hits.size(), 1u);

    // A file that is no JSON leaves the list as it was.
    WriteText(meta, "{\"value0\": ");
    AnalogBookmarkList kept = FiveBookmarks();
    EXPECT_FALSE(qvx::Archive::LoadBookmarks(kept, meta));
    EXPECT_EQ(kept, FiveBookmarks());
}

TEST_F(Bookmarks, SessionOpensSavesAsAndSavesInPlaceWithThem) {
    fs::create_directories(dir / "cache");
    AnalogSession session;
    RecordInto(session);
    ASSERT_TRUE(session.OpenReportData(nullptr));
    fs::create_directories(dir / "out");
    session.SetFreeSpaceQuery([](const fs::path&) { return std::uintmax_t{1} << 30; });
    ASSERT_EQ(session.SaveAs(dir / "out" / "a.qvxa", nullptr), AnalogSession::kSaved);
    EXPECT_FALSE(session.HaveBookmarksChanged());

    AnalogSession reopened;
    int code = -1;
    ASSERT_TRUE(reopened.OpenInternal(dir / "out" / "a.qvxa", nullptr, code));
    EXPECT_EQ(reopened.GetBookmarks(), FiveBookmarks());
    EXPECT_EQ(reopened.GetDisplayTriggerList(), session.GetDisplayTriggerList());

    // Unchanged bookmarks: saving in place leaves "meta" alone; changed ones are written.
    const std::string before = ReadText(dir / "out" / "repo" / "meta");
    WriteText(dir / "out" / "repo" / "meta", before + " ");
    ASSERT_EQ(reopened.SaveAs(dir / "out" / "a.qvxa", nullptr), AnalogSession::kSaved);
    EXPECT_EQ(ReadText(dir / "out" / "repo" / "meta"), before + " ");
    reopened.GetBookmarks().erase(reopened.GetBookmarks().begin());
    reopened.MarkBookmarksChanged();
    ASSERT_EQ(reopened.SaveAs(dir / "out" / "a.qvxa", nullptr), AnalogSession::kSaved);
    EXPECT_FALSE(reopened.HaveBookmarksChanged());
    EXPECT_EQ(LoadFrom(dir / "out" / "repo" / "meta").size(), 4u);

    // A session opened from a file of a version without bookmarks has none.
    ASSERT_TRUE(qvx::Archive::Save(session.GetDisplayTriggerList(), dir / "out" / "repo" / "meta"));
    AnalogSession older;
    ASSERT_TRUE(older.OpenInternal(dir / "out" / "a.qvxa", nullptr, code));
    EXPECT_TRUE(older.GetBookmarks().empty());
    EXPECT_EQ(older.GetDisplayTriggerList().size(), 2u);
}

TEST_F(Bookmarks, EntriesThatDidNotLoadAreKeptAsideBeforeMetaIsRewritten) {
    fs::create_directories(dir / "cache");
    AnalogSession session;
    RecordInto(session);
    ASSERT_TRUE(session.SaveMetadata());
    fs::create_directories(dir / "out");
    session.SetFreeSpaceQuery([](const fs::path&) { return std::uintmax_t{1} << 30; });
    ASSERT_EQ(session.SaveAs(dir / "out" / "a.qvxa", nullptr), AnalogSession::kSaved);
    const fs::path meta = dir / "out" / "repo" / "meta";
    const std::string damaged = MetaWith(
        R"([{"id": 1, "timeNSec": 5, "name": "ok", "note": "", "color": "#FF000000", "visible": true},
                     {"id": 2, "timeNSec": 6, "name": "lost?", "note": "", "color": "", "visible": "yes"}])");
    WriteText(meta, damaged);

    AnalogSession reopened;
    int code = -1;
    ASSERT_TRUE(reopened.OpenInternal(dir / "out" / "a.qvxa", nullptr, code));
    EXPECT_EQ(reopened.GetBookmarks().size(), 1u);
    EXPECT_EQ(reopened.GetDisplayTriggerList().size(), 1u);  // the rest of "meta" loaded
    ASSERT_EQ(reopened.GetBookmarkProblems().size(), 1u);
    EXPECT_NE(reopened.GetBookmarkProblems()[0].find("bookmarks[1].visible"), std::string::npos);

    reopened.GetBookmarks()[0].name = "renamed";
    reopened.MarkBookmarksChanged();
    ASSERT_EQ(reopened.SaveAs(dir / "out" / "a.qvxa", nullptr), AnalogSession::kSaved);
    EXPECT_EQ(ReadText(fs::path(meta).concat(".unreadable")), damaged);
    EXPECT_EQ(LoadFrom(meta)[0].name, "renamed");
}

TEST_F(Bookmarks, ARecordingLeftUnsavedOpensWithItsBookmarksAndKeepsThemWhenSaved) {
    // What a run that ended without saving leaves: its settings and "repo" with "meta".
    const fs::path folder = dir / "cache" / "orphan";
    WriteSettings(folder / AnalogSession::kRecordingSettingsFileName);
    qvx::test::ReportBuilder(folder / "repo").AddFile(0, 300);
    ASSERT_TRUE(qvx::Archive::SaveMetadata({{4, 0}}, FiveBookmarks(), folder / "repo" / "meta"));

    AnalogSession recovered;
    int code = -1;
    ASSERT_TRUE(recovered.OpenInternal(folder / AnalogSession::kRecordingSettingsFileName, nullptr, code));
    EXPECT_EQ(recovered.GetBookmarks(), FiveBookmarks());
    recovered.SetFreshRecording(true);
    fs::create_directories(dir / "out");
    recovered.SetFreeSpaceQuery([](const fs::path&) { return std::uintmax_t{1} << 30; });
    ASSERT_EQ(recovered.SaveAs(dir / "out" / "r.qvxa", nullptr), AnalogSession::kSaved);
    EXPECT_EQ(LoadFrom(dir / "out" / "repo" / "meta"), FiveBookmarks());
}
