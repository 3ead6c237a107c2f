// Orphaned recordings: folders of programs that ended without saving, found by their
// lock dying with the process, listed with their problems, claimed and discarded.

#include "QVxCore/AnalogSession.h"
#include "QVxCore/Archive.h"
#include "QVxCore/Recovery/FolderLock.h"
#include "QVxCore/Recovery/OrphanedRecordings.h"
#include "QVxCore/tests/support/FolderHolder.h"
#include "QVxCore/tests/support/ReportBuilder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace fs = std::filesystem;
using qvx::FolderLock;
using qvx::OrphanedRecording;
namespace Orphans = qvx::OrphanedRecordings;

namespace {

constexpr const char* kKilledId = "0123456789abcdef0123456789abcdef";

std::string Id(char digit) {
    return std::string(32, digit);
}

// A recording as a trace leaves it: settings file and two data files with a start time.
void WriteRecording(const fs::path& folder, std::uint64_t lastFileRecords) {
    qvx::test::ReportBuilder(folder / "repo")
        .StartTime(1'796'745'878, 819'845'798)
        .AddFile(0, 100)
        .AddFile(1, lastFileRecords);
    qvx::AnalogSettings settings;
    settings.samplingFrequency = 2;
    ASSERT_TRUE(qvx::Archive::Save(settings, folder / qvx::AnalogSession::kRecordingSettingsFileName));
}

const OrphanedRecording* Find(const std::vector<OrphanedRecording>& list, const std::string& id) {
    for (const auto& r : list)
        if (r.id == id) return &r;
    return nullptr;
}

}  // namespace

TEST(OrphanedRecordings, ARecordingIsListedOnlyOnceItsProgramIsGone) {
    qvx::test::TempDir cache("orphans-killed");
    const fs::path folder = cache.Path() / kKilledId;
    WriteRecording(folder, 20);
    const pid_t child = qvx::test::HoldFolderInChild(folder);
    ASSERT_GT(child, 0);
    EXPECT_TRUE(Orphans::List(cache.Path()).empty());
    std::string error;
    OrphanedRecording held;
    held.folder = folder;
    EXPECT_FALSE(Orphans::Discard(held, error));
    EXPECT_NE(error.find("in use"), std::string::npos) << error;
    EXPECT_TRUE(fs::exists(folder / "repo" / "00000001.DAT"));

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    const auto list = Orphans::List(cache.Path());
    ASSERT_EQ(list.size(), 1u);
    const OrphanedRecording& r = list.front();
    EXPECT_EQ(r.id, kKilledId);
    EXPECT_TRUE(r.readable);
    EXPECT_TRUE(r.hasSettings);
    EXPECT_TRUE(r.problem.empty()) << r.problem;
    EXPECT_EQ(r.records, 100u + 20u);
    EXPECT_EQ(r.bytes, 2 * 512u + 120 * 16u);
    EXPECT_EQ(r.startTimeNs, 1'796'745'878'819'845'798);
    EXPECT_EQ(r.lengthNs, static_cast<std::int64_t>(qvx::kRecordsPerReportFile + 19) * 10 * 10);

    // A claim keeps others off it until it is let go.
    auto claim = Orphans::Claim(r);
    ASSERT_TRUE(claim);
    EXPECT_TRUE(Orphans::List(cache.Path()).empty());
    claim->Unlock();
    EXPECT_TRUE(Orphans::Discard(r, error)) << error;
    EXPECT_FALSE(fs::exists(folder));
}

TEST(OrphanedRecordings, DamagedFoldersAreListedWithTheirProblemAndEmptyOnesGo) {
    qvx::test::TempDir cache("orphans-damaged");
    // A zero-length data file, a torn tail, no "repo", nothing at all, garbage for a name.
    WriteRecording(cache.Path() / Id('1'), 5);
    fs::resize_file(cache.Path() / Id('1') / "repo" / "00000001.DAT", 0);
    WriteRecording(cache.Path() / Id('2'), 5);
    std::ofstream(cache.Path() / Id('2') / "repo" / "00000001.DAT", std::ios::app | std::ios::binary)
        << "torn!";
    fs::remove(cache.Path() / Id('2') / qvx::AnalogSession::kRecordingSettingsFileName);
    fs::create_directories(cache.Path() / Id('3'));
    std::ofstream(cache.Path() / Id('3') / qvx::AnalogSession::kRecordingSettingsFileName) << "not json";
    fs::create_directories(cache.Path() / Id('4') / "repo");
    WriteRecording(cache.Path() / "not-an-instance", 5);
    std::ofstream(cache.Path() / Id('5')) << "a file, not a folder";

    const auto list = Orphans::List(cache.Path());
    EXPECT_EQ(list.size(), 3u);
    const OrphanedRecording* empty = Find(list, Id('1'));
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty->readable);
    EXPECT_EQ(empty->problemKind, OrphanedRecording::Problem::kShortDataFiles) << empty->problem;
    const OrphanedRecording* torn = Find(list, Id('2'));
    ASSERT_TRUE(torn);
    EXPECT_TRUE(torn->readable);
    EXPECT_FALSE(torn->hasSettings);
    EXPECT_EQ(torn->tornBytes, 5u);
    EXPECT_EQ(torn->records, 105u);
    EXPECT_EQ(torn->problemKind, OrphanedRecording::Problem::kTornTail);
    EXPECT_NE(torn->problem.find("5 bytes"), std::string::npos) << torn->problem;
    const OrphanedRecording* noRepo = Find(list, Id('3'));
    ASSERT_TRUE(noRepo);
    EXPECT_FALSE(noRepo->readable);
    EXPECT_EQ(noRepo->problemKind, OrphanedRecording::Problem::kNoReportFolder);
    EXPECT_FALSE(fs::exists(cache.Path() / Id('4')));  // held nothing: removed
    EXPECT_TRUE(fs::exists(cache.Path() / "not-an-instance" / "repo"));

    // One without settings gets the defaults when it is recovered.
    std::string error;
    ASSERT_TRUE(Orphans::EnsureSettingsFile(*torn, error)) << error;
    qvx::AnalogSettings settings;
    EXPECT_TRUE(qvx::Archive::Load(settings, torn->SettingsFile()));
}

TEST(OrphanedRecordings, ADamagedSettingsFileIsAProblemAndIsReplacedByTheDefaultsButKept) {
    qvx::test::TempDir cache("orphans-settings");
    const fs::path folder = cache.Path() / Id('6');
    WriteRecording(folder, 5);
    const fs::path settingsFile = folder / qvx::AnalogSession::kRecordingSettingsFileName;
    const std::string damaged = R"({"value0": {"cereal_class_version": 5, "channelVoltages": [9]}})";
    std::ofstream(settingsFile, std::ios::trunc) << damaged;

    const auto list = Orphans::List(cache.Path());
    ASSERT_EQ(list.size(), 1u);
    const OrphanedRecording& r = list.front();
    EXPECT_TRUE(r.readable);
    EXPECT_FALSE(r.hasSettings);
    EXPECT_EQ(r.problemKind, OrphanedRecording::Problem::kDamagedSettings);
    EXPECT_EQ(r.problem, "the settings file is damaged; the default settings are used");

    std::string error;
    fs::path kept;
    ASSERT_TRUE(Orphans::EnsureSettingsFile(r, error, &kept)) << error;
    EXPECT_EQ(kept, r.DamagedSettingsFile());
    std::ifstream in(kept);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), damaged);
    qvx::AnalogSettings settings;
    ASSERT_TRUE(qvx::Archive::Load(settings, settingsFile));
    EXPECT_EQ(settings.samplingFrequency, qvx::AnalogSettings{}.samplingFrequency);
    const auto again = Orphans::List(cache.Path());
    ASSERT_EQ(again.size(), 1u);
    EXPECT_TRUE(again.front().hasSettings);
    EXPECT_TRUE(again.front().problem.empty()) << again.front().problem;
    // A good settings file is left as it is.
    kept.clear();
    ASSERT_TRUE(Orphans::EnsureSettingsFile(again.front(), error, &kept)) << error;
    EXPECT_TRUE(kept.empty());
}

TEST(OrphanedRecordings, ThisRunsFolderIsHeldFromTheMomentItExists) {
    qvx::test::TempDir cache("orphans-own");
    const fs::path own = cache.Path() / Id('7');
    ASSERT_TRUE(qvx::InstanceFolders::Hold(own));
    EXPECT_TRUE(qvx::InstanceFolders::IsHeld(own));
    EXPECT_TRUE(fs::is_directory(own));
    for (const auto& entry : fs::directory_iterator(cache.Path())) EXPECT_EQ(entry.path(), own);
    WriteRecording(own, 5);
    FolderLock other;
    EXPECT_FALSE(other.TryLock(own));
    EXPECT_TRUE(Orphans::List(cache.Path()).empty());
    qvx::InstanceFolders::Release(own);
    EXPECT_FALSE(qvx::InstanceFolders::IsHeld(own));
    EXPECT_EQ(Orphans::List(cache.Path()).size(), 1u);
}
