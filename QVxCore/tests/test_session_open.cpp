#include "test_session_support.h"

namespace fs = std::filesystem;
using qvx::AnalogSession;
using qvx::testing::LogRecorder;
using qvx::testing::ReadText;
using qvx::testing::WriteText;
using Status = qvx::AnalogSession::Status;

namespace {

class SessionOpen : public qvx::testing::SessionTest {};

}  // namespace

TEST_F(SessionOpen, NewSessionHasDefaultsAndAnEmptyRepo) {
    AnalogSession session;
    session.GetSettings().samplingFrequency = 0;
    ASSERT_TRUE(session.NewInternal(dir.Path()));
    EXPECT_EQ(session.GetSettings(), qvx::AnalogSettings{});
    EXPECT_EQ(session.GetStatus(), Status::Draft);
    EXPECT_TRUE(session.GetSettingFilePath().empty());
    EXPECT_EQ(session.GetReportFolderPath(), dir / "repo");
    EXPECT_TRUE(fs::is_directory(dir / "repo"));
    EXPECT_TRUE(session.DeleteReportFiles());  // empty repo

    // An existing repo is accepted; a missing parent folder is a file-system error.
    AnalogSession again;
    EXPECT_TRUE(again.NewInternal(dir.Path()));
    AnalogSession nowhere;
    try {
        nowhere.NewInternal(dir / "missing" / "deeper");
        ADD_FAILURE() << "no exception";
    } catch (const fs::filesystem_error& e) {
        EXPECT_NE(std::string(e.what()).find("create_directory"), std::string::npos);
        EXPECT_EQ(e.path1(), dir / "missing" / "deeper" / "repo");
    }
}

TEST_F(SessionOpen, SettingsWithoutRepoOpenAsDraft) {
    WriteSettings(dir / "s.qvxa");
    AnalogSession session;
    int code = -1;
    ASSERT_TRUE(session.OpenInternal(dir / "s.qvxa", nullptr, code));
    EXPECT_EQ(code, AnalogSession::kOpenedSettingsOnly);
    EXPECT_EQ(session.GetStatus(), Status::Draft);
    EXPECT_FALSE(session.GetReportData());
    EXPECT_EQ(session.GetSettingFilePath(), dir / "s.qvxa");
    EXPECT_EQ(session.GetFolderPath(), dir.Path());
    EXPECT_EQ(session.GetSettings().GetClassVersion(), 5u);

    // New and Open only while no settings file is set.
    LogRecorder log;
    EXPECT_FALSE(session.NewInternal(dir / "x"));
    EXPECT_FALSE(session.OpenInternal(dir / "s.qvxa", nullptr, code));
    EXPECT_EQ(log.ErrorCount(), 2);
    EXPECT_EQ(session.GetSettingFilePath(), dir / "s.qvxa");
    EXPECT_FALSE(fs::exists(dir / "x"));
}

TEST_F(SessionOpen, OldSettingsBesideARepoLeaveTheReportUntouched) {
    WriteSettings(dir / "old.qvxa", 3);
    qvx::test::ReportBuilder(dir / "repo").AddFile(0, 100);
    WriteText(dir / "repo" / "meta", "not json");
    const auto before = Snapshot(dir.Path());
    AnalogSession session;
    int code = -1;
    ASSERT_TRUE(session.OpenInternal(dir / "old.qvxa", nullptr, code));
    EXPECT_EQ(code, AnalogSession::kOpenedReportTooOld);
    EXPECT_EQ(session.GetStatus(), Status::Draft);
    EXPECT_FALSE(session.GetReportData());
    EXPECT_TRUE(session.GetDisplayTriggerList().empty());
    EXPECT_EQ(session.GetSettings().GetClassVersion(), 3u);
    EXPECT_EQ(Snapshot(dir.Path()), before);
}

TEST_F(SessionOpen, CurrentSettingsOpenTheReportAndItsHitList) {
    WriteSettings(dir / "s.qvxa");
    qvx::test::ReportBuilder(dir / "repo").AddFile(0, 1000).AddFile(1, 10);
    const qvx::AnalogDisplayTriggerList hits = {{3, 0}, {700, 50}};
    ASSERT_TRUE(qvx::Archive::Save(hits, dir / "repo" / "meta"));
    LogRecorder log;
    AnalogSession session;
    int code = -1;
    auto token = MakeToken();
    ASSERT_TRUE(session.OpenInternal(dir / "s.qvxa", &token, code));
    EXPECT_EQ(code, AnalogSession::kOpenedWithReport);
    EXPECT_EQ(session.GetStatus(), Status::ReportOpened);
    ASSERT_TRUE(session.GetReportData());
    EXPECT_EQ(session.GetReportData()->GetFiles().size(), 2u);
    EXPECT_EQ(session.GetDisplayTriggerList(), hits);
    EXPECT_TRUE(log.Contains("info Metadata loaded. " + (dir / "repo" / "meta").string()));
    EXPECT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(std::int64_t{2}, std::int64_t{2}));
}

TEST_F(SessionOpen, RepoWithoutOrWithDamagedMetaGivesAnEmptyHitList) {
    WriteSettings(dir / "s.qvxa");
    qvx::test::ReportBuilder(dir / "repo").AddFile(0, 10);
    {
        LogRecorder log;
        AnalogSession session;
        int code = -1;
        ASSERT_TRUE(session.OpenInternal(dir / "s.qvxa", nullptr, code));
        EXPECT_EQ(code, AnalogSession::kOpenedWithReport);
        EXPECT_TRUE(session.GetDisplayTriggerList().empty());
        EXPECT_EQ(log.ErrorCount(), 0);
    }
    WriteText(dir / "repo" / "meta", R"({"value0": {"displayTriggerList": [{"dataIndex": "x"}]}})");
    LogRecorder log;
    AnalogSession session;
    int code = -1;
    ASSERT_TRUE(session.OpenInternal(dir / "s.qvxa", nullptr, code));
    EXPECT_TRUE(session.GetDisplayTriggerList().empty());
    EXPECT_TRUE(log.Contains("Deserialization error: "));
    EXPECT_FALSE(log.Contains("Metadata loaded."));
}

TEST_F(SessionOpen, UnreadableSettingsOrReportFail) {
    AnalogSession missing;
    int code = -1;
    LogRecorder log;
    EXPECT_FALSE(missing.OpenInternal(dir / "absent.qvxa", nullptr, code));
    EXPECT_TRUE(log.Contains("File access error."));

    WriteSettings(dir / "s.qvxa");
    fs::create_directories(dir / "repo");  // a repo without report files
    AnalogSession empty;
    EXPECT_FALSE(empty.OpenInternal(dir / "s.qvxa", nullptr, code));
    EXPECT_FALSE(empty.GetReportData());
}

TEST_F(SessionOpen, ReportDataOfADraftOpensOnce) {
    AnalogSession session;
    ASSERT_TRUE(session.NewInternal(dir.Path()));
    qvx::test::ReportBuilder(dir / "repo").AddFile(0, 100);
    session.UpdateTestStartTime(1'700'000'000, 123'456'789);
    ASSERT_TRUE(session.OpenReportData(nullptr));
    EXPECT_EQ(session.GetStatus(), Status::ReportOpened);
    ASSERT_TRUE(session.GetReportData());
    EXPECT_EQ(session.GetReportData()->GetStartSeconds(), 1'700'000'000);
    EXPECT_EQ(session.GetReportData()->GetStartNanoseconds(), 123'456'789);

    LogRecorder log;
    EXPECT_FALSE(session.OpenReportData(nullptr));
    session.UpdateTestStartTime(1, 2);
    EXPECT_EQ(log.ErrorCount(), 2);
    EXPECT_EQ(session.GetStatus(), Status::ReportOpened);
    EXPECT_EQ(qvx::ReportDataReader::Open(dir / "repo")->GetStartSeconds(), 1'700'000'000);
}

TEST_F(SessionOpen, ReportDataWithoutRepoIsNotFound) {
    AnalogSession session;
    ASSERT_TRUE(session.NewInternal(dir.Path()));
    fs::remove(dir / "repo");
    session.UpdateTestStartTime(1, 2);  // nothing to do
    LogRecorder log;
    EXPECT_FALSE(session.OpenReportData(nullptr));
    EXPECT_TRUE(log.Contains("error File not found: " + (dir / "repo").string()));
    EXPECT_EQ(session.GetStatus(), Status::Draft);
    EXPECT_FALSE(session.DeleteReportFiles());
    EXPECT_EQ(log.ErrorCount(), 2);
}

TEST_F(SessionOpen, DeleteReportFilesEmptiesTheRepo) {
    AnalogSession session;
    ASSERT_TRUE(session.NewInternal(dir.Path()));
    qvx::test::ReportBuilder(dir / "repo").AddFile(0, 10).AddFile(1, 10);
    WriteText(dir / "repo" / "meta", "{}");
    EXPECT_TRUE(session.DeleteReportFiles());
    EXPECT_TRUE(fs::is_empty(dir / "repo"));

    // A folder that is not empty stops the removal with an error.
    fs::create_directories(dir / "repo" / "sub");
    WriteText(dir / "repo" / "sub" / "x", "x");
    LogRecorder log;
    EXPECT_FALSE(session.DeleteReportFiles());
    EXPECT_EQ(log.ErrorCount(), 1);
    EXPECT_TRUE(fs::exists(dir / "repo" / "sub" / "x"));
}
