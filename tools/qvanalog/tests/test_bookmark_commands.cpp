// qvanalog bookmarks: listing, --add and --delete in place, and the refusals that leave
// "meta" as it was (bad input, a malformed "meta", a folder another program holds).

#include "QVxCore/Archive.h"
#include "QVxCore/Recovery/FolderLock.h"
#include "QVxCore/tests/support/ReportBuilder.h"

#include "tools/qvanalog/tests/QvanalogRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>

namespace fs = std::filesystem;
using qvanalog_test::Result;
using qvanalog_test::RunQvanalog;
using qvanalog_test::Slurp;
using qvx::test::ReportBuilder;
using qvx::test::TempDir;

namespace {

// A session folder with a settings file and 1000 records 100 ns apart (to 99,900 ns),
// whose "meta" holds two hits.
class BookmarkCommands : public ::testing::Test {
protected:
    TempDir dir{"bookmarks-cli"};
    fs::path repo = dir.Path() / "repo";
    std::string session = (dir.Path() / "s.qvxa").string();

    void SetUp() override {
        ReportBuilder(repo).AddFile(0, 1000);
        qvx::AnalogSettings settings;
        ASSERT_TRUE(qvx::Archive::Save(settings, session));
        ASSERT_TRUE(qvx::Archive::Save(qvx::AnalogDisplayTriggerList{{4, 0}, {9, 100}}, repo / "meta"));
    }
    Result Run(std::vector<std::string> args) {
        args.insert(args.begin(), "bookmarks");
        return RunQvanalog(args);
    }
    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(repo)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(BookmarkCommands, AddListAndDeleteInPlaceKeepTheHits) {
    EXPECT_EQ(Run({session}).out, "no bookmarks\n");
    const auto entries = FolderEntries();

    Result added = Run({session, "--add", "1500", "--name", "立ち上がり", "--note", "ポンプ起動"});
    ASSERT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(added.out, "1\n");
    EXPECT_EQ(Run({repo.string(), "--add", "99900"}).out, "2\n");    // the report folder works too
    EXPECT_EQ(Run({dir.Path().string(), "--add", "0"}).out, "3\n");  // and the session folder
    EXPECT_EQ(FolderEntries(), entries);                             // no temporary file left

    const Result listed = Run({session, "--json"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    const auto json = nlohmann::json::parse(listed.out);
    ASSERT_EQ(json["bookmarks"].size(), 3u);
    EXPECT_EQ(json["bookmarks"][0]["name"], "立ち上がり");
    EXPECT_EQ(json["bookmarks"][0]["note"], "ポンプ起動");
    EXPECT_EQ(json["bookmarks"][0]["timeNSec"], 1500);
    EXPECT_EQ(json["bookmarks"][1]["name"], "B2");
    EXPECT_EQ(json["bookmarks"][2]["visible"], true);
    EXPECT_NE(Run({session}).out.find("1\t1500 ns\t立ち上がり\tポンプ起動\n"), std::string::npos);

    ASSERT_EQ(Run({session, "--delete", "2"}).status, 0);
    qvx::AnalogBookmarkList left;
    ASSERT_TRUE(qvx::Archive::LoadBookmarks(left, repo / "meta"));
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[1].id, 3);
    qvx::AnalogDisplayTriggerList hits;
    ASSERT_TRUE(qvx::Archive::Load(hits, repo / "meta"));
    EXPECT_EQ(hits, (qvx::AnalogDisplayTriggerList{{4, 0}, {9, 100}}));
}

TEST_F(BookmarkCommands, BadInputIsRefusedAndMetaStaysAsItWas) {
    const std::string before = Slurp(repo / "meta");
    const auto refused = [&](std::vector<std::string> args, const std::string& message) {
        const Result r = Run(args);
        EXPECT_EQ(r.status, 1) << args[1];
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(Slurp(repo / "meta"), before);
    };
    refused({session, "--add", "99901"}, "lies outside the recording (0 to 99900 ns)");
    refused({session, "--add", "-1"}, "lies outside the recording");
    refused({session, "--add", "12abc"}, "--add takes a time in ns");
    refused({session, "--add", "5", "--name", std::string(1001, 'n')}, "the name has 1001 characters");
    refused({session, "--add", "5", "--note", std::string(1001, 'x')}, "the note has 1001 characters");
    refused({session, "--delete", "7"}, "no bookmark has the id 7");
    refused({session, "--add", "5", "--delete", "1"}, "cannot be given together");
    refused({session, "--name", "x"}, "--name and --note go with --add");
    refused({(dir.Path() / "none").string()}, "no report folder");

    // A "meta" whose bookmarks do not all load is listed with a warning but not rewritten.
    std::ofstream(repo / "meta") << R"({"value0": {"displayTriggerList": [], "bookmarks": [
        {"id": 1, "timeNSec": 5, "name": "ok", "note": "", "color": "#FF000000", "visible": true},
        {"id": 2, "timeNSec": 6, "name": 3, "note": "", "color": "#FF000000", "visible": true}]}})";
    const std::string malformed = Slurp(repo / "meta");
    const Result listed = Run({session});
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(listed.out.find("ok"), std::string::npos);
    EXPECT_NE(listed.err.find("bookmarks[1].name"), std::string::npos);
    const Result add = Run({session, "--add", "5"});
    EXPECT_EQ(add.status, 1);
    EXPECT_NE(add.err.find("bookmarks[1].name"), std::string::npos);
    EXPECT_EQ(Slurp(repo / "meta"), malformed);
}

TEST_F(BookmarkCommands, ChangesAreRefusedWhileAnotherProgramHoldsTheRecordingFolder) {
    const std::string before = Slurp(repo / "meta");
    {
        qvx::FolderLock lock;  // as a running application holds its recording or session
        ASSERT_TRUE(lock.TryLock(dir.Path()));
        const Result r = Run({session, "--add", "5"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("is held by another program"), std::string::npos) << r.err;
        EXPECT_EQ(Slurp(repo / "meta"), before);
        EXPECT_EQ(Run({session}).status, 0);  // listing reads only
    }
    EXPECT_EQ(Run({session, "--add", "5"}).status, 0);
}

}  // namespace
