// Golden files of the core: the settings file (".qvxa"), the report metadata file ("meta"),
// the preferences file, a report data file as the application's writer leaves it and the
// overview file built for it, each written by the real code path from fixed input and
// compared byte for byte with a small checked-in copy in golden/. They guard refactors that
// must keep every stored file as it was; a change of format is an intended edit of the golden
// (QVX_UPDATE_GOLDEN=1, see support/GoldenFile.h).

#include "QVxCore/AnalogEnvData.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Archive.h"
#include "QVxCore/ReportData/ReportDataWriter.h"
#include "QVxCore/ReportData/ReportFormat.h"
#include "QVxCore/ReportData/ReportOverviewRecorder.h"
#include "QVxCore/ReportData/ReportOverviewStore.h"
#include "QVxCore/tests/support/GoldenFile.h"
#include "QVxCore/tests/support/ReportBuilder.h"

#include <gtest/gtest.h>

#include <vector>

namespace fs = std::filesystem;
using qvx::test::ExpectFileMatchesGolden;
using qvx::test::TempDir;

namespace {

const fs::path kGoldenDir = QVX_GOLDEN_DIR;

// Settings that differ from the defaults in every group the file holds: ranges, rate,
// start/stop triggers, split and stop sizes, rotation, tracks (a Japanese name, a hidden
// track, a x10 probe), markers, the time axis and the display trigger.
qvx::AnalogSettings NonDefaultSettings() {
    qvx::AnalogSettings s;
    s.channelVoltages = {0, 3, 5, 1};
    s.samplingFrequency = 2;
    s.trigger1ChStartMode = qvx::TriggerChannelMode::kHigh;
    s.trigger1ChStopMode = qvx::TriggerChannelMode::kLow;
    s.trigger1ChThreshold = 1234;
    s.trigger2ChStartMode = qvx::TriggerChannelMode::kLow;
    s.trigger2ChThreshold = -500;
    s.triggerStartCondition = qvx::TriggerCondition::kAnd;
    s.trigger3ChMode = qvx::TriggerChannelMode::kHigh;
    s.trigger3ChThreshold = 3000;
    s.trigger4ChEnabled = true;
    s.splitDataSizeMB = 250;
    s.enableStopDataSize = true;
    s.stopDataSizeMB = 42;
    s.enableStopElapsedTime = true;
    s.stopElapsedTimeMS = 12'345;
    s.enableReportFileRotation = false;
    s.reportFileRotationTimeS = 60;
    s.visualSettings.tracks[1].name = L"ポンプ電流";
    s.visualSettings.tracks[2].enabled = false;
    s.visualSettings.tracks[3].probeAttenuationRatio = 1;
    s.visualSettings.markers[0].enabled = true;
    s.visualSettings.markers[0].time = 1'500'000;
    s.visualSettings.markers[1].time = 9'000'000'000;
    s.visualSettings.internalList = {3, -7, 11};
    s.visualSettings.timeUnit = qvx::TimeDisplayUnit::kMicroSecond;
    s.visualSettings.timeScale = 2'500;
    s.visualSettings.labelAreaWidth = 180;
    s.displayTriggerMode = qvx::DisplayTriggerMode::kRepeat;
    s.displayTriggerSourceChannel = 3;
    s.displayTriggerPosition = 0.25;
    auto& trigger = s.displayTriggerSettings[3];
    trigger.voltageLevel = -1250;
    trigger.voltageLevelDisplayUnit = qvx::VoltageDisplayUnit::kMilliVolt;
    trigger.sensitivityCount = 4;
    trigger.slope = qvx::TriggerSlope::kHighWidth;
    trigger.edgeWidthTime = 95'000;
    trigger.edgeWidthTimeDisplayUnit = qvx::TimeDisplayUnit::kMicroSecond;
    trigger.widthEdgeComparison = qvx::WidthComparison::kOutside;
    return s;
}

class GoldenFiles : public ::testing::Test {
protected:
    TempDir dir{"golden"};
};

TEST_F(GoldenFiles, SettingsFileOfDefaultAndOfChangedSettings) {
    qvx::AnalogSettings defaults;
    ASSERT_TRUE(qvx::Archive::Save(defaults, dir.Path() / "default.qvxa"));
    ExpectFileMatchesGolden(kGoldenDir, "default.qvxa", dir.Path() / "default.qvxa");

    qvx::AnalogSettings changed = NonDefaultSettings();
    ASSERT_TRUE(qvx::Archive::Save(changed, dir.Path() / "changed.qvxa"));
    ExpectFileMatchesGolden(kGoldenDir, "changed.qvxa", dir.Path() / "changed.qvxa");
    // The text a save would write is the file itself.
    const auto text = qvx::Archive::ToText(changed);
    ASSERT_TRUE(text);
    qvx::test::ExpectMatchesGolden(kGoldenDir, "changed.qvxa", *text);
}

TEST_F(GoldenFiles, MetadataFileOfEmptyAndOfEdgeAndPulseHits) {
    ASSERT_TRUE(qvx::Archive::Save(qvx::AnalogDisplayTriggerList{}, dir.Path() / "meta-empty"));
    ExpectFileMatchesGolden(kGoldenDir, "meta-empty", dir.Path() / "meta-empty");

    const qvx::AnalogDisplayTriggerList hits = {{4, 0}, {250, 1000}, {1'073'741'823, 95'000}};
    ASSERT_TRUE(qvx::Archive::Save(hits, dir.Path() / "meta"));
    ExpectFileMatchesGolden(kGoldenDir, "meta", dir.Path() / "meta");
}

TEST_F(GoldenFiles, MetadataFileWithBookmarks) {
    const qvx::AnalogDisplayTriggerList hits = {{4, 0}};
    const qvx::AnalogBookmarkList bookmarks = {
        {1, 1'500'000, "B1", "", qvx::Color(), true},
        {3, 9'000'000'000, "立ち上がり", "ポンプ起動 \"2回目\"\n次の行", qvx::Color(255, 128, 0), false},
    };
    ASSERT_TRUE(qvx::Archive::SaveMetadata(hits, bookmarks, dir.Path() / "meta-bookmarks"));
    ExpectFileMatchesGolden(kGoldenDir, "meta-bookmarks", dir.Path() / "meta-bookmarks");
    qvx::AnalogBookmarkList loaded;
    ASSERT_TRUE(qvx::Archive::LoadBookmarks(loaded, kGoldenDir / "meta-bookmarks"));
    EXPECT_EQ(loaded, bookmarks);
}

TEST_F(GoldenFiles, PreferencesFileWithAJapaneseCacheFolder) {
    qvx::AnalogEnvData prefs;
    prefs.SetCacheFolderPath("/data/キャッシュ/QV+Analog \"cache\"");
    ASSERT_TRUE(prefs.SavePrefs(dir.Path() / qvx::AnalogEnvData::kPrefsFileName));
    ExpectFileMatchesGolden(kGoldenDir, qvx::AnalogEnvData::kPrefsFileName,
                            dir.Path() / qvx::AnalogEnvData::kPrefsFileName);
}

// Five counter-pattern records (time = index x 10 ticks) in a report data file written by the
// application's writer with a start time, then its overview, rebuilt and recorded.
TEST_F(GoldenFiles, ApplicationReportDataFileAndItsOverview) {
    const fs::path repo = dir.Path() / "repo";
    fs::create_directories(repo);
    std::vector<std::uint8_t> records;
    for (std::uint64_t i = 0; i < 5; ++i) {
        const auto record = qvx::test::MakeRecord(qvx::test::ReportBuilder::DefaultTime(i),
                                                  qvx::test::ReportBuilder::DefaultSamples(i));
        records.insert(records.end(), record.begin(), record.end());
    }
    {
        qvx::ReportDataWriter writer(repo, qvx::MakeApplicationReportHeader());
        ASSERT_TRUE(writer.CreateReportFile());
        ASSERT_TRUE(writer.WriteHeader());
        ASSERT_TRUE(writer.SetStartTime(1'796'724'157, 5));
        ASSERT_TRUE(writer.WriteRecord(records.data(), 5));
        writer.Close();
    }
    const fs::path dat = repo / "00000000.DAT";
    ExpectFileMatchesGolden(kGoldenDir, "application-report.DAT", dat);

    ASSERT_TRUE(qvx::ReportOverviewStore::Build(dat));
    ExpectFileMatchesGolden(kGoldenDir, "application-report.OVW", qvx::ReportOverviewStore::SiblingPath(dat));

    // The overview recorded while the trace writes is the same file as the one rebuilt.
    fs::remove(qvx::ReportOverviewStore::SiblingPath(dat));
    qvx::ReportOverviewRecorder recorder(repo);
    recorder.Append(records.data(), 5);
    recorder.Finish();
    ExpectFileMatchesGolden(kGoldenDir, "application-report.OVW", qvx::ReportOverviewStore::SiblingPath(dat));
}

}  // namespace
