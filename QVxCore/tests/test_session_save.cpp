#include "test_session_support.h"

#include "support/SmallTmpfs.h"

#include <sys/stat.h>

namespace fs = std::filesystem;
using qvx::AnalogSession;
using qvx::testing::LogRecorder;
using qvx::testing::ReadText;
using qvx::testing::WriteText;

namespace {

class SessionSave : public qvx::testing::SessionTest {
protected:
    // A new session in dir/cache with two report files and two hits.
    void RecordInto(AnalogSession& session) {
        ASSERT_TRUE(session.NewInternal(dir / "cache"));
        qvx::test::ReportBuilder(dir / "cache" / "repo").AddFile(0, 300).AddFile(1, 20);
        session.GetDisplayTriggerList() = {{4, 0}, {250, 1000}};
        session.GetSettings().samplingFrequency = 2;
    }

    static std::uintmax_t ReportBytes() { return 2 * 512 + (300 + 20) * 16; }
    // The two report files, "meta" and the settings file, each in 4 KiB blocks, and the folder.
    static constexpr std::uintmax_t kRoomForTheCopy = 64 * 1024;
};

}  // namespace

TEST_F(SessionSave, NewSessionWithEmptyRepoWritesOnlyTheSettings) {
    fs::create_directories(dir / "cache");
    AnalogSession session;
    ASSERT_TRUE(session.NewInternal(dir / "cache"));
    fs::create_directories(dir / "out");
    EXPECT_EQ(session.SaveAs(dir / "out" / "a.qvxa", nullptr), AnalogSession::kSaved);
    EXPECT_EQ(Snapshot(dir / "out").size(), 1u);
    EXPECT_FALSE(fs::exists(dir / "out" / "repo"));
    EXPECT_EQ(session.GetSettingFilePath(), dir / "out" / "a.qvxa");
    EXPECT_EQ(session.GetFolderPath(), dir / "out");
    EXPECT_EQ(session.GetSettings().GetClassVersion(), 5u);
    EXPECT_TRUE(progress.empty());
}

TEST_F(SessionSave, NewSessionCopiesReportFilesAndHitsWithProgress) {
    fs::create_directories(dir / "cache");
    AnalogSession session;
    RecordInto(session);
    ASSERT_TRUE(session.OpenReportData(nullptr));
    fs::create_directories(dir / "out");
    std::vector<fs::path> asked;
    session.SetFreeSpaceQuery([&](const fs::path& folder) {
        asked.push_back(folder);
        return kRoomForTheCopy;
    });
    LogRecorder log;
    auto token = MakeToken();
    EXPECT_EQ(session.SaveAs(dir / "out" / "b.qvxa", &token), AnalogSession::kSaved);
    EXPECT_EQ(asked, std::vector<fs::path>{dir / "out"});
    EXPECT_EQ((std::vector<std::pair<std::int64_t, std::int64_t>>{{1, 2}, {2, 2}}), progress);

    const auto copied = Snapshot(dir / "out" / "repo");
    const auto original = Snapshot(dir / "cache" / "repo");
    EXPECT_EQ(copied.size(), 3u);
    EXPECT_EQ(copied.at("00000000.DAT"), original.at("00000000.DAT"));
    EXPECT_EQ(copied.at("00000001.DAT"), original.at("00000001.DAT"));
    qvx::AnalogDisplayTriggerList hits;
    ASSERT_TRUE(qvx::Archive::Load(hits, dir / "out" / "repo" / "meta"));
    EXPECT_EQ(hits, session.GetDisplayTriggerList());
    EXPECT_TRUE(log.Contains("info Metadata saved. " + (dir / "out" / "repo" / "meta").string()));

    // The saved session opens with its report.
    AnalogSession reopened;
    int code = -1;
    ASSERT_TRUE(reopened.OpenInternal(dir / "out" / "b.qvxa", nullptr, code));
    EXPECT_EQ(code, AnalogSession::kOpenedWithReport);
    EXPECT_EQ(reopened.GetSettings().samplingFrequency, 2);
    EXPECT_EQ(reopened.GetDisplayTriggerList(), hits);
    // The reader stays on the files it was opened on.
    EXPECT_EQ(session.GetReportData()->GetFiles()[0]->GetPath().parent_path(), dir / "cache" / "repo");
}

TEST_F(SessionSave, SavingOntoItsOwnSettingsFileCopiesNothing) {
    fs::create_directories(dir / "cache");
    AnalogSession session;
    RecordInto(session);
    fs::create_directories(dir / "out");
    ASSERT_EQ(session.SaveAs(dir / "out" / "b.qvxa", nullptr), AnalogSession::kSaved);
    fs::remove(dir / "out" / "repo" / "meta");
    const auto before = Snapshot(dir / "out" / "repo");

    session.GetSettings().trigger1ChThreshold = 1234;
    session.GetDisplayTriggerList().push_back({9, 9});
    int spaceQueries = 0;
    session.SetFreeSpaceQuery([&](const fs::path&) {
        ++spaceQueries;
        return std::uintmax_t{0};
    });
    // Same file, spelled differently.
    EXPECT_EQ(session.SaveAs(dir / "out" / "." / "b.qvxa", nullptr), AnalogSession::kSaved);
    EXPECT_EQ(spaceQueries, 0);
    EXPECT_EQ(Snapshot(dir / "out" / "repo"), before);  // no copy, no "meta" rewrite
    qvx::AnalogSettings saved;
    ASSERT_TRUE(qvx::Archive::Load(saved, dir / "out" / "b.qvxa"));
    EXPECT_EQ(saved.trigger1ChThreshold, 1234);

    // Another settings file in the same folder shares the repo that is already there.
    EXPECT_EQ(session.SaveAs(dir / "out" / "c.qvxa", nullptr), AnalogSession::kSaved);
    EXPECT_EQ(Snapshot(dir / "out" / "repo"), before);
    EXPECT_TRUE(fs::exists(dir / "out" / "c.qvxa"));
}

TEST_F(SessionSave, NotEnoughSpaceWritesNothing) {
    fs::create_directories(dir / "cache");
    AnalogSession session;
    RecordInto(session);
    fs::create_directories(dir / "out");
    session.SetFreeSpaceQuery([](const fs::path&) { return ReportBytes() - 1; });
    auto token = MakeToken();
    EXPECT_EQ(session.SaveAs(dir / "out" / "b.qvxa", &token), AnalogSession::kNotEnoughSpace);
    EXPECT_TRUE(fs::is_empty(dir / "out"));
    EXPECT_TRUE(progress.empty());
    EXPECT_TRUE(session.GetSettingFilePath().empty());
    EXPECT_EQ(session.GetFolderPath(), dir / "cache");
    EXPECT_EQ(session.GetSettings().GetClassVersion(), 0u);

    // A failing query counts as no space.
    LogRecorder log;
    EXPECT_EQ(AnalogSession::GetCurrentFreeSpace(dir / "no" / "such" / "folder"), 0u);
    EXPECT_TRUE(log.Contains("error Failed GetDiskFreeSpaceExW."));
    EXPECT_GT(AnalogSession::GetCurrentFreeSpace(dir.Path()), 0u);
}

TEST_F(SessionSave, InterruptedSettingsSaveKeepsThePreviousFile) {
    WriteSettings(dir / "s.qvxa");
    const std::string before = ReadText(dir / "s.qvxa");
    AnalogSession session;
    int code = -1;
    ASSERT_TRUE(session.OpenInternal(dir / "s.qvxa", nullptr, code));
    session.GetSettings().channelVoltages[0] = 5;
    qvx::Archive::SetWriteFaultHookForTesting([](const fs::path&, std::uintmax_t) { return false; });
    const int result = session.SaveAs(dir / "s.qvxa", nullptr);
    qvx::Archive::SetWriteFaultHookForTesting({});
    EXPECT_EQ(result, AnalogSession::kSaveFailed);
    EXPECT_EQ(ReadText(dir / "s.qvxa"), before);
    EXPECT_EQ(Snapshot(dir.Path()).size(), 1u);
}

TEST_F(SessionSave, CopyConflictsAndBadArgumentsAreReported) {
    fs::create_directories(dir / "cache");
    AnalogSession session;
    RecordInto(session);
    LogRecorder log;
    EXPECT_EQ(session.SaveAs({}, nullptr), AnalogSession::kSaveFailed);
    EXPECT_EQ(log.ErrorCount(), 1);

    // Report data already at the destination is refused before anything is copied
    // into it: the two reports would mix.
    qvx::test::ReportBuilder(dir / "out" / "repo").AddFile(1, 5);
    const auto before = Snapshot(dir / "out");
    EXPECT_EQ(session.SaveAs(dir / "out" / "b.qvxa", nullptr), AnalogSession::kSaveFailed);
    EXPECT_TRUE(log.Contains("already holds report data"));
    EXPECT_EQ(Snapshot(dir / "out"), before);
}

TEST_F(SessionSave, DestinationProblemsAreFoundBeforeCopyingAndALateFailureRemovesTheCopy) {
    fs::create_directories(dir / "cache");
    AnalogSession session;
    RecordInto(session);
    LogRecorder log;

    // A folder given as the settings file name, and a missing folder.
    fs::create_directories(dir / "out" / "z.qvxa");
    EXPECT_EQ(session.SaveAs(dir / "out" / "z.qvxa", nullptr), AnalogSession::kSaveFailed);
    EXPECT_TRUE(log.Contains("is a folder"));
    EXPECT_EQ(session.SaveAs(dir / "none" / "z.qvxa", nullptr), AnalogSession::kSaveFailed);
    EXPECT_TRUE(log.Contains("no folder"));
    EXPECT_FALSE(fs::exists(dir / "out" / "repo"));
    EXPECT_FALSE(fs::exists(dir / "none"));

    // The settings file fails after the report was copied: the copy goes again, so a
    // retry is not refused for the "repo" it left.
    qvx::Archive::SetWriteFaultHookForTesting(
        [](const fs::path& target, std::uintmax_t) { return target.extension() != ".qvxa"; });
    const int failed = session.SaveAs(dir / "out" / "b.qvxa", nullptr);
    qvx::Archive::SetWriteFaultHookForTesting({});
    EXPECT_EQ(failed, AnalogSession::kSaveFailed);
    EXPECT_FALSE(fs::exists(dir / "out" / "repo"));
    EXPECT_FALSE(fs::exists(dir / "out" / "b.qvxa"));
    EXPECT_TRUE(session.GetSettingFilePath().empty());
    EXPECT_EQ(session.SaveAs(dir / "out" / "b.qvxa", nullptr), AnalogSession::kSaved);
    EXPECT_EQ(Snapshot(dir / "out" / "repo").size(), 3u);
}

TEST_F(SessionSave, ASmallVolumeIsMeasuredForTheDataAndTheSettingsFile) {
    qvx::test::SmallTmpfs disk(dir / "small", "size=256k");
    if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
    const std::uintmax_t available = fs::space(disk.Path()).available;
    ASSERT_GT(available, 64u * 1024);

    // A report that fills the volume but for one 4 KiB block: room for the data and
    // "meta", none for the settings file. Refused before anything is written.
    fs::create_directories(dir / "cache");
    AnalogSession session;
    ASSERT_TRUE(session.NewInternal(dir / "cache"));
    const std::uint64_t records = (available - 4096 - qvx::kReportHeaderSize) / qvx::kReportRecordSize;
    qvx::test::ReportBuilder(dir / "cache" / "repo").AddFile(0, records);
    fs::create_directories(disk.Path() / "c");
    EXPECT_EQ(session.SaveAs(disk.Path() / "c" / "z.qvxa", nullptr), AnalogSession::kNotEnoughSpace);
    EXPECT_TRUE(fs::is_empty(disk.Path() / "c"));

    // Half of that fits with everything else.
    AnalogSession smaller;
    fs::create_directories(dir / "cache2");
    ASSERT_TRUE(smaller.NewInternal(dir / "cache2"));
    qvx::test::ReportBuilder(dir / "cache2" / "repo").AddFile(0, records / 2);
    smaller.GetDisplayTriggerList() = {{1, 0}};
    EXPECT_EQ(smaller.SaveAs(disk.Path() / "c" / "z.qvxa", nullptr), AnalogSession::kSaved);
    AnalogSession reopened;
    int code = -1;
    ASSERT_TRUE(reopened.OpenInternal(disk.Path() / "c" / "z.qvxa", nullptr, code));
    EXPECT_EQ(reopened.GetReportData()->GetTotalRecordCount(), records / 2);
    EXPECT_EQ(reopened.GetDisplayTriggerList().size(), 1u);
}

TEST_F(SessionSave, OldReportDataStaysBehind) {
    // A version-3 session keeps its report where it is and saves settings only.
    WriteSettings(dir / "old" / "s.qvxa", 3);
    qvx::test::ReportBuilder(dir / "old" / "repo").AddFile(0, 10);
    AnalogSession session;
    int code = -1;
    ASSERT_TRUE(session.OpenInternal(dir / "old" / "s.qvxa", nullptr, code));
    ASSERT_EQ(code, AnalogSession::kOpenedReportTooOld);
    fs::create_directories(dir / "new");
    EXPECT_EQ(session.SaveAs(dir / "new" / "s.qvxa", nullptr), AnalogSession::kSaved);
    EXPECT_FALSE(fs::exists(dir / "new" / "repo"));
    EXPECT_EQ(session.GetSettings().GetClassVersion(), 5u);
}

namespace {

ino_t InodeOf(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

}  // namespace

TEST_F(SessionSave, AFreshRecordingIsMovedOnItsVolumeAndTheReaderFollowsIt) {
    fs::create_directories(dir / "cache");
    AnalogSession session;
    RecordInto(session);
    session.SetFreshRecording(true);
    ASSERT_TRUE(session.SaveRecordingSettings());
    ASSERT_TRUE(session.OpenReportData(nullptr));
    fs::create_directories(dir / "cache" / "repo.overview");
    const ino_t first = InodeOf(dir / "cache" / "repo" / "00000000.DAT");
    const auto original = Snapshot(dir / "cache" / "repo");
    // A move needs no room: the free-space check is for copies only.
    session.SetFreeSpaceQuery([](const fs::path&) { return std::uintmax_t{0}; });
    fs::create_directories(dir / "out");
    ASSERT_TRUE(session.WillMoveReportTo(dir / "out" / "m.qvxa"));
    EXPECT_EQ(session.SaveAs(dir / "out" / "m.qvxa", nullptr), AnalogSession::kSaved);

    EXPECT_EQ(InodeOf(dir / "out" / "repo" / "00000000.DAT"), first);
    EXPECT_FALSE(fs::exists(dir / "cache" / "repo"));
    EXPECT_TRUE(fs::exists(dir / "out" / "repo.overview"));
    EXPECT_FALSE(fs::exists(dir / "cache" / AnalogSession::kRecordingSettingsFileName));
    const auto moved = Snapshot(dir / "out" / "repo");
    EXPECT_EQ(moved.at("00000000.DAT"), original.at("00000000.DAT"));
    EXPECT_EQ(moved.at("00000001.DAT"), original.at("00000001.DAT"));
    qvx::AnalogDisplayTriggerList hits;
    ASSERT_TRUE(qvx::Archive::Load(hits, dir / "out" / "repo" / "meta"));
    EXPECT_EQ(hits, session.GetDisplayTriggerList());
    // The open reader reads from the new place, also files it had not opened yet.
    const auto& reader = session.GetReportData();
    EXPECT_EQ(reader->GetFiles()[1]->GetPath(), dir / "out" / "repo" / "00000001.DAT");
    ASSERT_NE(reader->ReadRecordByIndex(qvx::kRecordsPerReportFile + 19), nullptr);

    // Saved once, it is no longer fresh: a second save-as copies.
    EXPECT_FALSE(session.IsFreshRecording());
    fs::create_directories(dir / "again");
    EXPECT_FALSE(session.WillMoveReportTo(dir / "again" / "a.qvxa"));
    session.SetFreeSpaceQuery([](const fs::path&) { return kRoomForTheCopy; });
    EXPECT_EQ(session.SaveAs(dir / "again" / "a.qvxa", nullptr), AnalogSession::kSaved);
    EXPECT_TRUE(fs::exists(dir / "out" / "repo" / "00000000.DAT"));
    EXPECT_NE(InodeOf(dir / "again" / "repo" / "00000000.DAT"), first);
}

TEST_F(SessionSave, AFreshRecordingIsCopiedToAnotherVolumeAndARefusedMoveChangesNothing) {
    fs::create_directories(dir / "cache");
    AnalogSession session;
    RecordInto(session);
    session.SetFreshRecording(true);
    // A destination that already holds a "repo" is refused before anything moves.
    fs::create_directories(dir / "taken" / "repo");
    EXPECT_EQ(session.SaveAs(dir / "taken" / "t.qvxa", nullptr), AnalogSession::kSaveFailed);
    EXPECT_TRUE(fs::exists(dir / "cache" / "repo" / "00000001.DAT"));
    EXPECT_TRUE(fs::is_empty(dir / "taken" / "repo"));

    qvx::test::SmallTmpfs disk(dir / "other", "size=1m");
    if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
    EXPECT_FALSE(session.WillMoveReportTo(disk.Path() / "o.qvxa"));
    session.SetFreeSpaceQuery([](const fs::path&) { return kRoomForTheCopy; });
    EXPECT_EQ(session.SaveAs(disk.Path() / "o.qvxa", nullptr), AnalogSession::kSaved);
    EXPECT_TRUE(fs::exists(dir / "cache" / "repo" / "00000001.DAT"));  // copied, not moved
    EXPECT_EQ(fs::file_size(disk.Path() / "repo" / "00000001.DAT"), 512u + 20 * 16);
}
