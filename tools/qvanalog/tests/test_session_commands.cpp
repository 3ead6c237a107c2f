// qvanalog settings init|show and save-as, run as the built program.

#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Archive.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "QVxCore/tests/support/SmallTmpfs.h"

#include "tools/qvanalog/tests/QvanalogRunner.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using qvanalog_test::Result;
using qvanalog_test::RunQvanalog;
using qvanalog_test::Slurp;
using qvx::test::ReportBuilder;
using qvx::test::TempDir;

namespace {}  // namespace

TEST(SessionCommands, SettingsInitAndShow) {
    TempDir dir("session-cli");
    const std::string file = (dir.Path() / "s.qvxa").string();
    EXPECT_EQ(RunQvanalog({"settings", "init", file}).status, 0);
    EXPECT_EQ(RunQvanalog({"settings", "init", file}).status, 1);  // never replaced silently
    EXPECT_EQ(RunQvanalog({"settings", "init", file, "--force"}).status, 0);

    qvx::AnalogSettings defaults;
    const Result shown = RunQvanalog({"settings", "show", file});
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.out, *qvx::Archive::ToText(defaults) + "\n");
    EXPECT_EQ(Slurp(file), *qvx::Archive::ToText(defaults));

    // An old file is shown at the current class versions.
    std::ofstream(dir.Path() / "old.qvxa") << R"({"value0": {"cereal_class_version": 0,
        "channelVoltages": [1, 1, 1, 1], "samplingFrequency": 0, "trigger1ChStartMode": 0,
        "trigger1ChStopMode": 0, "trigger1ChThreshold": 2047, "trigger2ChStartMode": 0,
        "trigger2ChStopMode": 0, "trigger2ChThreshold": 2047, "triggerStartCondition": 0,
        "triggerStopCondition": 0, "trigger3ChMode": 0, "trigger3ChThreshold": 2047,
        "trigger4ChEnabled": false,
        "visualSettings": {"cereal_class_version": 0, "tracks": []}}})";
    const Result old = RunQvanalog({"settings", "show", (dir.Path() / "old.qvxa").string()});
    ASSERT_EQ(old.status, 0) << old.err;
    const auto json = nlohmann::json::parse(old.out);
    EXPECT_EQ(json["value0"]["cereal_class_version"], 5);
    EXPECT_EQ(json["value0"]["channelVoltages"], nlohmann::json({1, 1, 1, 1}));
    EXPECT_EQ(json["value0"]["reportFileRotationTimeS"], 1200);

    std::ofstream(dir.Path() / "bad.qvxa") << R"({"value0": {"cereal_class_version": 5}})";
    const Result bad = RunQvanalog({"settings", "show", (dir.Path() / "bad.qvxa").string()});
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(bad.out.empty());
    EXPECT_NE(bad.err.find("Deserialization error: "), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("provided NVP (channelVoltages) not found"), std::string::npos) << bad.err;
    EXPECT_EQ(RunQvanalog({"settings", "show"}).status, 1);
}

// settings init never writes over a recording: not its report data files, not "meta", nothing
// among them, not the settings file that its data is read with, and no name but "*.qvxa";
// through a symbolic link the place it leads to counts.
TEST(SessionCommands, SettingsInitRefusesTheFilesOfARecording) {
    TempDir dir("settings-init");
    const fs::path session = dir.Path() / "S";
    fs::create_directories(session);
    qvx::AnalogSettings defaults;
    ASSERT_TRUE(qvx::Archive::Save(defaults, session / "s.qvxa"));
    ReportBuilder(session / "repo").AddFile(0, 100);
    ASSERT_TRUE(qvx::Archive::Save(qvx::AnalogDisplayTriggerList{{7, 0}}, session / "repo" / "meta"));
    fs::create_symlink(session / "repo" / "00000000.DAT", dir.Path() / "link.qvxa");
    const std::string data = Slurp(session / "repo" / "00000000.DAT");
    const std::string meta = Slurp(session / "repo" / "meta");
    const std::string settings = Slurp(session / "s.qvxa");

    const std::vector<std::pair<fs::path, std::string>> refused{
        {session / "repo" / "00000000.DAT", "ends in .qvxa"},
        {session / "repo" / "meta", "ends in .qvxa"},
        {session / "repo" / "new.qvxa", "among the report data"},
        {session / "s.qvxa", "settings file of the recording"},
        {dir.Path() / "link.qvxa", "not a settings file name"},
        {dir.Path() / "notes.txt", "ends in .qvxa"},
    };
    for (const auto& [file, reason] : refused) {
        const Result r = RunQvanalog({"settings", "init", file.string(), "--force"});
        EXPECT_EQ(r.status, 1) << file;
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
    }
    EXPECT_EQ(Slurp(session / "repo" / "00000000.DAT"), data);
    EXPECT_EQ(Slurp(session / "repo" / "meta"), meta);
    EXPECT_EQ(Slurp(session / "s.qvxa"), settings);
    EXPECT_FALSE(fs::exists(session / "repo" / "new.qvxa"));
    EXPECT_FALSE(fs::exists(dir.Path() / "notes.txt"));
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "link.qvxa"));
    // A settings file of its own is still replaced with --force.
    EXPECT_EQ(RunQvanalog({"settings", "init", (dir.Path() / "own.qvxa").string()}).status, 0);
    EXPECT_EQ(RunQvanalog({"settings", "init", (dir.Path() / "own.qvxa").string(), "--force"}).status, 0);
}

TEST(SessionCommands, SaveAsCopiesTheSessionAndRefusesAFolderWithReportData) {
    TempDir dir("session-cli");
    fs::create_directories(dir.Path() / "a");
    fs::create_directories(dir.Path() / "b");
    qvx::AnalogSettings settings;
    settings.trigger3ChMode = qvx::TriggerChannelMode::kLow;
    ASSERT_TRUE(qvx::Archive::Save(settings, dir.Path() / "a" / "s.qvxa"));
    ReportBuilder(dir.Path() / "a" / "repo").AddFile(0, 1000).AddFile(1, 10);
    ASSERT_TRUE(
        qvx::Archive::Save(qvx::AnalogDisplayTriggerList{{7, 0}}, dir.Path() / "a" / "repo" / "meta"));

    const Result saved = RunQvanalog(
        {"save-as", (dir.Path() / "a" / "s.qvxa").string(), (dir.Path() / "b" / "n.qvxa").string()});
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(Slurp(dir.Path() / "b" / "repo" / "00000001.DAT"),
              Slurp(dir.Path() / "a" / "repo" / "00000001.DAT"));
    EXPECT_EQ(Slurp(dir.Path() / "b" / "repo" / "meta"), Slurp(dir.Path() / "a" / "repo" / "meta"));
    qvx::AnalogSettings copy;
    ASSERT_TRUE(qvx::Archive::Load(copy, dir.Path() / "b" / "n.qvxa"));
    EXPECT_EQ(copy.trigger3ChMode, qvx::TriggerChannelMode::kLow);

    const Result refused = RunQvanalog(
        {"save-as", (dir.Path() / "a" / "s.qvxa").string(), (dir.Path() / "b" / "other.qvxa").string()});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("このフォルダには以前のレポートデータが保存されているため"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(dir.Path() / "b" / "other.qvxa"));

    const Result missing =
        RunQvanalog({"save-as", (dir.Path() / "none.qvxa").string(), (dir.Path() / "c.qvxa").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("指定された設定ファイルを開けませんでした。"), std::string::npos);
    EXPECT_EQ(RunQvanalog({"save-as", "only-one.qvxa"}).status, 1);
    // A missing source is the mistake reported, also when the destination is wrong too.
    const std::string none = (dir.Path() / "none.qvxa").string();
    const Result both = RunQvanalog({"save-as", none, (dir.Path() / "r1" / "x.qvxa").string()});
    EXPECT_EQ(both.status, 1);
    EXPECT_NE(both.err.find(none + ": not found"), std::string::npos) << both.err;
    EXPECT_EQ(both.err.find("no folder"), std::string::npos) << both.err;

    // The same messages in English, chosen by --lang (anywhere on the line) or by the locale.
    const Result english = RunQvanalog({"save-as", (dir.Path() / "a" / "s.qvxa").string(),
                                        (dir.Path() / "b" / "other.qvxa").string(), "--lang", "en"});
    EXPECT_EQ(english.status, 1);
    EXPECT_NE(english.err.find("This folder holds earlier report data"), std::string::npos) << english.err;
    const char* locale = std::getenv("LC_ALL");
    const std::string savedLocale = locale ? locale : "";
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    const Result byLocale =
        RunQvanalog({"save-as", (dir.Path() / "none.qvxa").string(), (dir.Path() / "c.qvxa").string()});
    const Result overridden = RunQvanalog(
        {"--lang", "ja", "save-as", (dir.Path() / "none.qvxa").string(), (dir.Path() / "c.qvxa").string()});
    ::setenv("LC_ALL", savedLocale.c_str(), 1);
    EXPECT_NE(byLocale.err.find("Could not open the given settings file."), std::string::npos)
        << byLocale.err;
    EXPECT_NE(overridden.err.find("指定された設定ファイルを開けませんでした。"), std::string::npos);
    EXPECT_EQ(RunQvanalog({"--lang", "de", "save-as", "a.qvxa", "b.qvxa"}).status, 1);
}

TEST(SessionCommands, ReportCommandsAcceptASettingsFile) {
    TempDir dir("session-cli");
    qvx::AnalogSettings settings;
    settings.channelVoltages[0] = 0;  // CH1 +-100 mV with the x1 probe
    settings.visualSettings.tracks[0].probeAttenuationRatio = 0;
    ASSERT_TRUE(qvx::Archive::Save(settings, dir.Path() / "s.qvxa"));
    ReportBuilder(dir.Path() / "repo").AddFile(0, 100);
    ASSERT_TRUE(qvx::Archive::Save(qvx::AnalogDisplayTriggerList{{7, 250}}, dir.Path() / "repo" / "meta"));
    const std::string file = (dir.Path() / "s.qvxa").string();

    const Result info = RunQvanalog({"info", file, "--json"});
    ASSERT_EQ(info.status, 0) << info.err;
    const auto json = nlohmann::json::parse(info.out);
    EXPECT_EQ(json["totalRecordCount"], 100);
    EXPECT_EQ(json["status"], "reportOpened");
    EXPECT_EQ(json["openCode"], 0);
    EXPECT_EQ(json["displayTriggerList"], nlohmann::json::parse(R"([{"dataIndex": 7, "widthNSec": 250}])"));

    // Record 0: CH1 raw 0 (-100 mV on its range), CH2 raw 16383, CH3 8192, CH4 0 (default ranges).
    const Result read = RunQvanalog({"read", file, "--index", "0", "--json"});
    ASSERT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(nlohmann::json::parse(read.out)["values"],
              nlohmann::json({"-100.0mV", "5.000V", "0.000V", "-5.000V"}));
    EXPECT_EQ(RunQvanalog({"find", file, "--time", "50"}).status, 0);

    // Without "repo" the session opens as a draft: info reports it, read has nothing to read.
    fs::rename(dir.Path() / "repo", dir.Path() / "moved");
    const Result draft = RunQvanalog({"info", file, "--json"});
    ASSERT_EQ(draft.status, 0) << draft.err;
    EXPECT_EQ(nlohmann::json::parse(draft.out),
              nlohmann::json::parse(R"({"status": "draft", "openCode": 1, "displayTriggerList": []})"));
    EXPECT_EQ(RunQvanalog({"read", file, "--index", "0"}).status, 1);
}

TEST(SessionCommands, SaveAsChecksTheDestinationBeforeCopyingAndLeavesNothingOnFailure) {
    TempDir dir("save-as-checks");
    const fs::path source = dir.Path() / "src" / "s.qvxa";
    qvx::AnalogSettings settings;
    fs::create_directories(source.parent_path());
    ASSERT_TRUE(qvx::Archive::Save(settings, source));
    constexpr std::uint64_t kRecords = 20'000;  // 320,512 bytes: 79 blocks of 4 KiB
    ReportBuilder(dir.Path() / "src" / "repo").AddFile(0, kRecords);

    // A folder given as the new settings file: refused, nothing copied, a retry works.
    fs::create_directories(dir.Path() / "dst" / "z.qvxa");
    const Result folder = RunQvanalog({"save-as", source.string(), (dir.Path() / "dst" / "z.qvxa").string()});
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("is a folder"), std::string::npos) << folder.err;
    EXPECT_FALSE(fs::exists(dir.Path() / "dst" / "repo"));
    EXPECT_EQ(RunQvanalog({"save-as", source.string(), (dir.Path() / "dst" / "y.qvxa").string()}).status, 0);
    EXPECT_EQ(fs::file_size(dir.Path() / "dst" / "repo" / "00000000.DAT"), 512 + kRecords * 16);

    // A volume with room for the data and "meta" but not the settings file.
    qvx::test::SmallTmpfs disk(dir.Path() / "m", "size=" + std::to_string(80 * 4096));
    if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
    fs::create_directories(disk.Path() / "c");
    const Result small = RunQvanalog({"save-as", source.string(), (disk.Path() / "c" / "z.qvxa").string()});
    EXPECT_EQ(small.status, 1);
    EXPECT_NE(small.err.find("保存先のディスク容量が不足しています。"), std::string::npos) << small.err;
    EXPECT_TRUE(fs::is_empty(disk.Path() / "c"));
}
