#include "QVxCore/Archive.h"
#include "QVxCore/QVxAnalogDisplayTriggerAnalyzer.h"
#include "test_settings_fixtures.h"
#include "test_settings_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace fs = std::filesystem;
using qvx::AnalogSettings;
using qvx::Color;
using qvx::testing::LogRecorder;
using qvx::testing::ReadText;
using qvx::testing::ScratchFolder;
using qvx::testing::WriteText;

namespace {

AnalogSettings NonDefaultSettings() {
    AnalogSettings s;
    s.channelVoltages = {0, 5, 3, 1};
    s.samplingFrequency = 2;
    s.trigger2ChThreshold = 3999;
    s.stopElapsedTimeMS = 4'000'000'000u;
    s.visualSettings.tracks[1].name = L"電圧 ch2";
    s.visualSettings.tracks[2].lineColor = Color(1, 2, 3, 4);
    s.visualSettings.tracks[3].verticalScaling = 2.5;
    s.visualSettings.markers[1] = {true, -9'007'199'254'740'993, Color(9, 8, 7, 6)};
    s.visualSettings.timeScale = 9'007'199'254'740'993;
    s.displayTriggerSettings[2].voltageLevel = -40'000;
    s.displayTriggerSettings[2].edgeWidthTimeDisplayUnit = qvx::TimeDisplayUnit::kNanoSecond;
    s.displayTriggerPosition = 0.1 + 0.2;  // needs all 17 digits
    s.reportFileRotationTimeS = 120;
    return s;
}

// Every JSON array of the fixed-size members rewritten as {"value0": ..., "value1": ...}.
nlohmann::json ToObjectForm(const nlohmann::json& array) {
    nlohmann::json object = nlohmann::json::object();
    for (std::size_t i = 0; i < array.size(); ++i) object["value" + std::to_string(i)] = array[i];
    return object;
}

// Loads `text` as a settings file; the object starts from defaults.
bool LoadText(const ScratchFolder& dir, const std::string& text, AnalogSettings& out) {
    const fs::path file = dir / "fixture.qvxa";
    WriteText(file, text);
    return qvx::Archive::Load(out, file);
}

}  // namespace

TEST(SettingsArchive, DefaultFileHasTheExactLayoutAndLoadsEqual) {
    ScratchFolder dir;
    AnalogSettings saved;
    ASSERT_TRUE(qvx::Archive::Save(saved, dir / "Settings.qvxa"));
    EXPECT_EQ(saved.GetClassVersion(), 5u);
    EXPECT_EQ(ReadText(dir / "Settings.qvxa"), qvx::testing::kDefaultSettingsFile);
    EXPECT_EQ(*qvx::Archive::ToText(AnalogSettings{}), qvx::testing::kDefaultSettingsFile);

    AnalogSettings loaded;
    ASSERT_TRUE(qvx::Archive::Load(loaded, dir / "Settings.qvxa"));
    EXPECT_EQ(loaded.GetClassVersion(), 5u);
    EXPECT_EQ(loaded, saved);
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(SettingsArchive, NonDefaultValuesRoundTripAtFullPrecision) {
    ScratchFolder dir;
    AnalogSettings saved = NonDefaultSettings();
    ASSERT_TRUE(qvx::Archive::Save(saved, dir / "a.qvxa"));
    const std::string text = ReadText(dir / "a.qvxa");
    // 17 significant digits; the exact value comes back below.
    EXPECT_NE(text.find("\"displayTriggerPosition\": 0.300000000000000"), std::string::npos);
    EXPECT_NE(text.find("\"name\": \"\xE9\x9B\xBB\xE5\x9C\xA7 ch2\""), std::string::npos);  // UTF-8
    EXPECT_NE(text.find("\"color\": \"#06090807\""), std::string::npos);
    AnalogSettings loaded;
    ASSERT_TRUE(qvx::Archive::Load(loaded, dir / "a.qvxa"));
    EXPECT_EQ(loaded, saved);
}

// Every code of the settings is written as its number, and comes back as the same code.
// A number no code has (a damaged or foreign file) loads as it is, for the code's users to
// refuse: the analyzer finds nothing with an unknown slope or comparison.
TEST(SettingsArchive, CodesAreWrittenAsTheirNumbersAndUnknownNumbersLoadAsTheyAre) {
    using namespace qvx;
    ScratchFolder dir;
    for (int mode = 0; mode < 3; ++mode) {
        SCOPED_TRACE(mode);
        AnalogSettings saved;
        saved.displayTriggerMode = static_cast<DisplayTriggerMode>(mode);
        saved.trigger1ChStartMode = static_cast<TriggerChannelMode>(mode);
        saved.trigger1ChStopMode = static_cast<TriggerChannelMode>((mode + 1) % 3);
        saved.trigger2ChStartMode = static_cast<TriggerChannelMode>((mode + 2) % 3);
        saved.trigger2ChStopMode = static_cast<TriggerChannelMode>(mode);
        saved.trigger3ChMode = static_cast<TriggerChannelMode>((mode + 1) % 3);
        saved.triggerStartCondition = static_cast<TriggerCondition>(mode % 2);
        saved.triggerStopCondition = static_cast<TriggerCondition>((mode + 1) % 2);
        saved.visualSettings.timeUnit = static_cast<TimeDisplayUnit>((mode + 3) % 4);
        for (int channel = 0; channel < AnalogSettings::kChannelCount; ++channel) {
            auto& t = saved.displayTriggerSettings[static_cast<std::size_t>(channel)];
            t.slope = static_cast<TriggerSlope>((channel + mode) % 4);
            t.widthEdgeComparison = static_cast<WidthComparison>((channel + mode) % 2);
            t.voltageLevelDisplayUnit = static_cast<VoltageDisplayUnit>((channel + mode + 1) % 2);
            t.edgeWidthTimeDisplayUnit = static_cast<TimeDisplayUnit>((channel + mode + 2) % 4);
        }
        ASSERT_TRUE(Archive::Save(saved, dir / "codes.qvxa"));
        const std::string text = ReadText(dir / "codes.qvxa");
        const nlohmann::json root = nlohmann::json::parse(text)["value0"];
        EXPECT_EQ(root["displayTriggerMode"], mode);
        EXPECT_EQ(root["trigger1ChStartMode"], mode);
        EXPECT_EQ(root["trigger1ChStopMode"], (mode + 1) % 3);
        EXPECT_EQ(root["trigger2ChStartMode"], (mode + 2) % 3);
        EXPECT_EQ(root["trigger2ChStopMode"], mode);
        EXPECT_EQ(root["trigger3ChMode"], (mode + 1) % 3);
        EXPECT_EQ(root["triggerStartCondition"], mode % 2);
        EXPECT_EQ(root["triggerStopCondition"], (mode + 1) % 2);
        EXPECT_EQ(root["visualSettings"]["timeUnit"], (mode + 3) % 4);
        for (int channel = 0; channel < AnalogSettings::kChannelCount; ++channel) {
            const nlohmann::json& t = root["displayTriggerSettings"][static_cast<std::size_t>(channel)];
            EXPECT_EQ(t["slope"], (channel + mode) % 4);
            EXPECT_EQ(t["widthEdgeComparison"], (channel + mode) % 2);
            EXPECT_EQ(t["voltageLevelDisplayUnit"], (channel + mode + 1) % 2);
            EXPECT_EQ(t["edgeWidthTimeDisplayUnit"], (channel + mode + 2) % 4);
        }
        AnalogSettings loaded;
        ASSERT_TRUE(Archive::Load(loaded, dir / "codes.qvxa"));
        EXPECT_EQ(loaded, saved);
    }

    nlohmann::json odd = nlohmann::json::parse(qvx::testing::kDefaultSettingsFile);
    nlohmann::json& root = odd["value0"];
    root["displayTriggerMode"] = 7;
    root["trigger3ChMode"] = -1;
    root["triggerStopCondition"] = 2;
    root["displayTriggerSettings"][0]["slope"] = 9;
    root["displayTriggerSettings"][1]["widthEdgeComparison"] = 5;
    root["displayTriggerSettings"][2]["voltageLevelDisplayUnit"] = 200;
    root["displayTriggerSettings"][3]["edgeWidthTimeDisplayUnit"] = 4;
    root["visualSettings"]["timeUnit"] = 9;
    AnalogSettings loaded;
    ASSERT_TRUE(LoadText(dir, odd.dump(4), loaded));
    EXPECT_EQ(static_cast<int>(loaded.displayTriggerMode), 7);
    EXPECT_EQ(static_cast<int>(loaded.trigger3ChMode), -1);
    EXPECT_EQ(static_cast<int>(loaded.triggerStopCondition), 2);
    EXPECT_EQ(static_cast<int>(loaded.displayTriggerSettings[0].slope), 9);
    EXPECT_EQ(static_cast<int>(loaded.displayTriggerSettings[1].widthEdgeComparison), 5);
    EXPECT_EQ(static_cast<int>(loaded.displayTriggerSettings[2].voltageLevelDisplayUnit), 200);
    EXPECT_EQ(static_cast<int>(loaded.displayTriggerSettings[3].edgeWidthTimeDisplayUnit), 4);
    EXPECT_EQ(static_cast<int>(loaded.visualSettings.timeUnit), 9);
    EXPECT_FALSE(IsValid(loaded.displayTriggerMode));
    EXPECT_FALSE(IsValid(loaded.trigger3ChMode));
    EXPECT_FALSE(IsValid(loaded.triggerStopCondition));
    EXPECT_FALSE(IsValid(loaded.displayTriggerSettings[2].voltageLevelDisplayUnit));
    EXPECT_FALSE(IsValid(loaded.displayTriggerSettings[3].edgeWidthTimeDisplayUnit));
    EXPECT_FALSE(IsValid(loaded.visualSettings.timeUnit));
    for (int channel : {0, 1}) {
        SCOPED_TRACE(channel);
        AnalogSettings source = loaded;
        source.displayTriggerMode = DisplayTriggerMode::kRepeat;
        source.displayTriggerSourceChannel = channel;
        LogRecorder log;
        QVxAnalogDisplayTriggerAnalyzer analyzer;
        analyzer.Reset(&source, nullptr);
        EXPECT_FALSE(analyzer.ShouldAnalyze());
    }
}

TEST(SettingsArchive, OlderClassVersionsLoadWithNewerMembersAtDefaults) {
    ScratchFolder dir;
    LogRecorder log;
    const AnalogSettings defaults;

    AnalogSettings v1;
    ASSERT_TRUE(LoadText(dir, qvx::testing::kSettingsVersion1, v1));
    EXPECT_EQ(v1.GetClassVersion(), 1u);
    EXPECT_EQ(v1.channelVoltages, (std::array<std::int32_t, 4>{0, 1, 4, 5}));
    EXPECT_EQ(v1.samplingFrequency, 2);
    EXPECT_EQ(v1.trigger1ChThreshold, 1500);
    EXPECT_TRUE(v1.trigger4ChEnabled);
    EXPECT_EQ(v1.splitDataSizeMB, defaults.splitDataSizeMB);
    EXPECT_EQ(v1.stopElapsedTimeMS, defaults.stopElapsedTimeMS);
    EXPECT_EQ(v1.enableReportFileRotation, defaults.enableReportFileRotation);
    EXPECT_EQ(v1.displayTriggerSettings, defaults.displayTriggerSettings);
    EXPECT_EQ(v1.displayTriggerPosition, 0.5);
    // The number of tracks follows the file; track members of later versions keep defaults.
    ASSERT_EQ(v1.visualSettings.tracks.size(), 2u);
    EXPECT_EQ(v1.visualSettings.tracks[0].name, L"A");
    EXPECT_EQ(v1.visualSettings.tracks[0].lineColor, Color(255, 0, 0, 255));  // #F00
    EXPECT_EQ(v1.visualSettings.tracks[1].lineColor, Color(255, 0, 0, 255));  // #ff0000
    EXPECT_EQ(v1.visualSettings.tracks[1].probeAttenuationRatio, 1);
    EXPECT_TRUE(v1.visualSettings.tracks[1].enabled);
    EXPECT_EQ(v1.visualSettings.markers[0].time, 123456789012);
    EXPECT_EQ(v1.visualSettings.markers[1].color.ToRgba32(), 0xFFFFFFFFu);  // "red"
    EXPECT_TRUE(log.Contains("warning color code description"));
    EXPECT_EQ(v1.visualSettings.timeScale, 1'000'000);
    EXPECT_EQ(v1.visualSettings.labelAreaWidth, 250);

    AnalogSettings v3;
    ASSERT_TRUE(LoadText(dir, qvx::testing::kSettingsVersion3, v3));
    EXPECT_EQ(v3.GetClassVersion(), 3u);
    EXPECT_TRUE(v3.enableStopDataSize);
    EXPECT_EQ(v3.stopDataSizeMB, 64);
    EXPECT_EQ(v3.displayTriggerMode, qvx::DisplayTriggerMode::kRepeat);
    EXPECT_EQ(v3.displayTriggerSettings[0].voltageLevel, -250);
    EXPECT_EQ(v3.displayTriggerSettings[0].widthEdgeComparison, qvx::WidthComparison::kOutside);
    EXPECT_EQ(v3.displayTriggerSourceChannel, 1);
    EXPECT_EQ(v3.reportFileRotationTimeS, defaults.reportFileRotationTimeS);
    // Later tracks without a class version are read at the first track's version 4.
    ASSERT_EQ(v3.visualSettings.tracks.size(), 4u);
    EXPECT_FALSE(v3.visualSettings.tracks[0].enabled);
    EXPECT_EQ(v3.visualSettings.tracks[1].verticalResolutionOffset, -0.5);
    EXPECT_EQ(v3.visualSettings.tracks[1].verticalScaling, 1.0);
    EXPECT_EQ(v3.visualSettings.timeUnit, qvx::TimeDisplayUnit::kMicroSecond);
    EXPECT_EQ(v3.visualSettings.labelAreaWidth, 250);  // visual settings version 3

    AnalogSettings v4;
    ASSERT_TRUE(LoadText(dir, qvx::testing::kSettingsVersion4, v4));
    EXPECT_EQ(v4.GetClassVersion(), 4u);
    EXPECT_FALSE(v4.enableReportFileRotation);
    EXPECT_EQ(v4.reportFileRotationTimeS, 600u);
    EXPECT_EQ(v4.visualSettings.labelAreaWidth, 180);
    EXPECT_EQ(v4.visualSettings.tracks.size(), 1u);
    EXPECT_EQ(v4.visualSettings.markers[1].time, -5);
    EXPECT_EQ(v4.visualSettings.markers[1].color, Color(0, 0, 0xFF, 0xFF));

    // Saving again writes the current versions.
    ASSERT_TRUE(qvx::Archive::Save(v3, dir / "v3-resaved.qvxa"));
    EXPECT_EQ(v3.GetClassVersion(), 5u);
    EXPECT_NE(ReadText(dir / "v3-resaved.qvxa").find("\"reportFileRotationTimeS\": 1200"), std::string::npos);
}

TEST(SettingsArchive, ShuffledMembersAndObjectFormArraysLoad) {
    ScratchFolder dir;
    const AnalogSettings original = [] {
        AnalogSettings s = NonDefaultSettings();
        s.SetClassVersion(5);
        return s;
    }();
    const std::string text = *qvx::Archive::ToText(original);
    // nlohmann's object keeps keys sorted: every member, class versions included,
    // moves away from the written order.
    nlohmann::json shuffled = nlohmann::json::parse(text);
    AnalogSettings loaded;
    ASSERT_TRUE(LoadText(dir, shuffled.dump(2), loaded));
    EXPECT_EQ(loaded, original);

    nlohmann::json& root = shuffled["value0"];
    root["channelVoltages"] = ToObjectForm(root["channelVoltages"]);
    root["displayTriggerSettings"] = ToObjectForm(root["displayTriggerSettings"]);
    root["visualSettings"]["markers"] = ToObjectForm(root["visualSettings"]["markers"]);
    AnalogSettings fromObjects;
    ASSERT_TRUE(LoadText(dir, shuffled.dump(4), fromObjects));
    EXPECT_EQ(fromObjects, original);
}

TEST(SettingsArchive, MissingOrMistypedMembersFailWithTheMessageAndChangeNothing) {
    ScratchFolder dir;
    const nlohmann::json good = nlohmann::json::parse(qvx::testing::kDefaultSettingsFile);
    struct Case {
        const char* what;
        std::function<void(nlohmann::json&)> damage;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"missing member", [](nlohmann::json& j) { j["value0"].erase("samplingFrequency"); },
         "JSON Parsing failed - provided NVP (samplingFrequency) not found"},
        {"missing root",
         [](nlohmann::json& j) {
             j = nlohmann::json{{"value1", j["value0"]}};
         },
         "provided NVP (value0) not found"},
        {"missing first class version",
         [](nlohmann::json& j) { j["value0"]["visualSettings"]["tracks"][0].erase("cereal_class_version"); },
         "provided NVP (cereal_class_version) not found"},
        {"bool as number", [](nlohmann::json& j) { j["value0"]["trigger4ChEnabled"] = 1; }, "IsBool"},
        {"tracks as object",
         [](nlohmann::json& j) {
             j["value0"]["visualSettings"]["tracks"] = {{"a", 1}};
         },
         "IsArray"},
        {"colour as number",
         [](nlohmann::json& j) { j["value0"]["visualSettings"]["tracks"][1]["lineColor"] = 5; }, "IsString"},
        {"int64 as text", [](nlohmann::json& j) { j["value0"]["visualSettings"]["timeScale"] = "1"; },
         "kInt64Flag"},
        {"negative unsigned", [](nlohmann::json& j) { j["value0"]["stopElapsedTimeMS"] = -1; }, "kUintFlag"},
        {"three channels", [](nlohmann::json& j) { j["value0"]["channelVoltages"].erase(3); },
         "No more objects in input"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        nlohmann::json damaged = good;
        c.damage(damaged);
        const fs::path file = dir / "bad.qvxa";
        const std::string text = damaged.dump(4);
        WriteText(file, text);
        LogRecorder log;
        AnalogSettings target = NonDefaultSettings();
        const AnalogSettings before = target;
        EXPECT_FALSE(qvx::Archive::Load(target, file));
        EXPECT_TRUE(log.Contains("error Deserialization error: " + file.string())) << log.Text();
        EXPECT_TRUE(log.Contains(c.message)) << log.Text();
        EXPECT_EQ(target, before);
        EXPECT_EQ(ReadText(file), text);
    }
}

TEST(SettingsArchive, UnreadableFilesFail) {
    ScratchFolder dir;
    AnalogSettings target;
    {
        LogRecorder log;
        EXPECT_FALSE(qvx::Archive::Load(target, dir / "absent.qvxa"));
        EXPECT_TRUE(log.Contains("error File access error."));
    }
    {
        LogRecorder log;
        EXPECT_FALSE(qvx::Archive::Load(target, dir.Path()));
        EXPECT_TRUE(log.Contains("error File access error."));
    }
    for (const std::string text : {"", "{", "{\"value0\": {}} trailing", "[1, 2]", "nul"}) {
        LogRecorder log;
        EXPECT_FALSE(LoadText(dir, text, target)) << text;
        EXPECT_TRUE(log.Contains("Deserialization error: ")) << text;
    }
    // A byte-order mark in front is tolerated.
    EXPECT_TRUE(LoadText(dir, std::string("\xEF\xBB\xBF") + qvx::testing::kDefaultSettingsFile, target));
}

TEST(SettingsArchive, HostileJsonIsRefusedBeforeTheParserCanMisreadIt) {
    ScratchFolder dir;
    AnalogSettings target;
    const AnalogSettings before = target;
    // Nesting a recursive parser cannot survive, and the numbers the system's JSON library
    // turns into garbage or reads outside its tables for: zeros with an exponent or more than
    // 19 digits, more than 19 significant digits, and hundreds of leading fraction zeros.
    const std::string deep = std::string(200'000, '[') + std::string(200'000, ']');
    const std::string kDefault = qvx::testing::kDefaultSettingsFile;
    std::string zeroExponent = kDefault;
    const std::size_t colon = zeroExponent.find(':', zeroExponent.find("\"samplingFrequency\""));
    ASSERT_NE(colon, std::string::npos);
    zeroExponent.insert(colon + 1, " 0e308,\"ignored\":");
    const std::string nested = "{\"value0\": " + std::string(40, '[') + std::string(40, ']') + "}";
    for (const std::string& text : {deep, zeroExponent, nested, std::string("{\"value0\": 0.000E-400}"),
                                    std::string("{\"value0\": {\"x\": -184467440737095516155.5}}"),
                                    std::string("{\"value0\": [0.000001844674407370955161573709551615]}"),
                                    "{\"value0\": {\"t\": [0." + std::string(30, '0') + "]}}",
                                    "{\"value0\": {\"t\": 0." + std::string(330, '0') + "1}}",
                                    "{\"value0\": {\"t\": 0." + std::string(600, '0') + "1}}",
                                    "{\"value0\": {\"t\": 0." + std::string(40, '0') + "1e-300}}"}) {
        LogRecorder log;
        EXPECT_FALSE(LoadText(dir, text, target)) << text.substr(0, 60);
        EXPECT_TRUE(log.Contains("Deserialization error: ")) << log.Text();
        EXPECT_EQ(target, before);
    }
    EXPECT_TRUE(LoadText(dir, kDefault, target));
}

TEST(SettingsArchive, FailedOrInterruptedSaveKeepsThePreviousFile) {
    ScratchFolder dir;
    const fs::path file = dir / "keep.qvxa";
    AnalogSettings first;
    ASSERT_TRUE(qvx::Archive::Save(first, file));
    const std::string before = ReadText(file);

    // A large hit list takes several chunks; the write breaks in the middle.
    qvx::AnalogDisplayTriggerList hits(5000, qvx::AnalogDisplayTriggerItem{123456789, 42});
    ASSERT_TRUE(qvx::Archive::Save(hits, dir / "meta"));
    const std::string metaBefore = ReadText(dir / "meta");
    hits.push_back({1, 2});

    std::vector<std::uintmax_t> offsets;
    qvx::Archive::SetWriteFaultHookForTesting([&](const fs::path&, std::uintmax_t offset) {
        offsets.push_back(offset);
        return offset == 0;
    });
    AnalogSettings changed = NonDefaultSettings();
    changed.SetClassVersion(3);
    {
        LogRecorder log;
        EXPECT_FALSE(qvx::Archive::Save(hits, dir / "meta"));
        EXPECT_TRUE(log.Contains("error File access error."));
    }
    qvx::Archive::SetWriteFaultHookForTesting([](const fs::path&, std::uintmax_t) { return false; });
    EXPECT_FALSE(qvx::Archive::Save(changed, file));
    qvx::Archive::SetWriteFaultHookForTesting({});

    ASSERT_GE(offsets.size(), 2u);
    EXPECT_GT(offsets[1], 0u);
    EXPECT_EQ(changed.GetClassVersion(), 3u);  // not saved, so not at the current version
    EXPECT_EQ(ReadText(file), before);
    EXPECT_EQ(ReadText(dir / "meta"), metaBefore);
    // No temporary file is left behind.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"keep.qvxa", "meta"}));

    // Through a symbolic link the linked file is replaced and the link stays.
    fs::create_symlink(file, dir / "link.qvxa");
    ASSERT_TRUE(qvx::Archive::Save(changed, dir / "link.qvxa"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.qvxa"));
    EXPECT_NE(ReadText(file), before);

    LogRecorder log;
    EXPECT_FALSE(qvx::Archive::Save(changed, dir / "no-such-folder" / "x.qvxa"));
    EXPECT_TRUE(log.Contains("error File access error."));
}

TEST(MetadataArchive, HitListLayoutAndRoundTrip) {
    ScratchFolder dir;
    const qvx::AnalogDisplayTriggerList hits = {{5, 0}, {9'000'000'000, 1250}};
    ASSERT_TRUE(qvx::Archive::Save(hits, dir / "meta"));
    EXPECT_EQ(ReadText(dir / "meta"), R"({
    "value0": {
        "displayTriggerList": [
            {
                "dataIndex": 5,
                "widthNSec": 0
            },
            {
                "dataIndex": 9000000000,
                "widthNSec": 1250
            }
        ]
    }
})");
    qvx::AnalogDisplayTriggerList loaded{{1, 1}};
    ASSERT_TRUE(qvx::Archive::Load(loaded, dir / "meta"));
    EXPECT_EQ(loaded, hits);

    ASSERT_TRUE(qvx::Archive::Save(qvx::AnalogDisplayTriggerList{}, dir / "empty"));
    ASSERT_TRUE(qvx::Archive::Load(loaded, dir / "empty"));
    EXPECT_TRUE(loaded.empty());

    // Members in another order; a damaged file leaves the list as it was.
    WriteText(dir / "other", R"({"value0": {"displayTriggerList": [{"widthNSec": 3, "dataIndex": 4}]}})");
    ASSERT_TRUE(qvx::Archive::Load(loaded, dir / "other"));
    EXPECT_EQ(loaded, (qvx::AnalogDisplayTriggerList{{4, 3}}));
    WriteText(dir / "bad", R"({"value0": {"displayTriggerList": [{"dataIndex": 4}]}})");
    LogRecorder log;
    EXPECT_FALSE(qvx::Archive::Load(loaded, dir / "bad"));
    EXPECT_TRUE(log.Contains("provided NVP (widthNSec) not found"));
    EXPECT_EQ(loaded, (qvx::AnalogDisplayTriggerList{{4, 3}}));
}
