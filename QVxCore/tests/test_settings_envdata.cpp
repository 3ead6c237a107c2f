#include "QVxCore/AnalogEnvData.h"
#include "test_settings_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

namespace fs = std::filesystem;
using qvx::AnalogEnvData;
using qvx::testing::LogRecorder;
using qvx::testing::ReadText;
using qvx::testing::ScratchFolder;
using qvx::testing::WriteText;

namespace {

// Points QVPLUS_TEMP_DIR (and the XDG data home) at test folders for one test.
class ScopedEnvironment {
public:
    ScopedEnvironment(const std::optional<std::string>& tempDir, const fs::path& dataHome) {
        Remember("QVPLUS_TEMP_DIR");
        Remember("XDG_DATA_HOME");
        if (tempDir) {
            ::setenv("QVPLUS_TEMP_DIR", tempDir->c_str(), 1);
        } else {
            ::unsetenv("QVPLUS_TEMP_DIR");
        }
        ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    }
    ~ScopedEnvironment() {
        for (const auto& [name, value] : m_saved) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }

private:
    void Remember(const std::string& name) {
        const char* value = std::getenv(name.c_str());
        m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

}  // namespace

TEST(EnvData, BaseFolderFromTempDirOrDataHome) {
    ScratchFolder dir;
    {
        // A trailing separator gives no second one before "qmrs".
        ScopedEnvironment env(dir.Path().string() + "/", dir / "xdg");
        AnalogEnvData::PathOptions options;
        options.instanceId = "";
        EXPECT_EQ(AnalogEnvData::BuildAppDataPath("x.prf", options)->string(),
                  dir.Path().string() + "/qmrs/QV+Analog/x.prf");
    }
    {
        ScopedEnvironment env(std::string(1023, 'a'), dir / "xdg");  // too long: ignored
        EXPECT_EQ(AnalogEnvData::GetBaseFolder(), dir / "xdg");
    }
    {
        ScopedEnvironment env(std::string(""), dir / "xdg");  // empty: ignored
        EXPECT_EQ(AnalogEnvData::GetBaseFolder(), dir / "xdg");
    }
    {
        const std::string longest = "/" + std::string(1021, 'b');
        ScopedEnvironment env(longest, dir / "xdg");
        EXPECT_EQ(AnalogEnvData::GetBaseFolder(), fs::path(longest));
    }
    {
        ScopedEnvironment env(std::nullopt, dir / "xdg");
        EXPECT_EQ(*AnalogEnvData::GetDefaultCacheFolder(false), dir / "xdg" / "qmrs" / "QV+Analog");
        EXPECT_EQ(*AnalogEnvData::GetPrefsFilePath(false),
                  dir / "xdg" / "qmrs" / "QV+Analog" / "AnalogRCSettings.prf");
        EXPECT_FALSE(fs::exists(dir / "xdg"));
    }
}

TEST(EnvData, InstanceFoldersAndCreation) {
    ScratchFolder dir;
    ScopedEnvironment env(dir.Path().string(), dir / "xdg");
    const std::string id = AnalogEnvData::MakeInstanceId();
    EXPECT_TRUE(std::regex_match(id, std::regex("[0-9a-f]{32}"))) << id;
    EXPECT_NE(id, AnalogEnvData::MakeInstanceId());
    EXPECT_EQ(AnalogEnvData::GetInstanceId(), AnalogEnvData::GetInstanceId());

    AnalogEnvData::PathOptions options;
    options.instanceFolder = true;
    options.create = true;
    options.nameIsFolder = true;
    options.instanceId = id;
    const auto folder = AnalogEnvData::BuildAppDataPath("work", options);
    ASSERT_TRUE(folder);
    EXPECT_EQ(*folder, dir / "qmrs" / "QV+Analog" / id / "work");
    EXPECT_TRUE(fs::is_directory(*folder));

    // A file name is not created as a folder; without an identifier no instance folder.
    options.nameIsFolder = false;
    options.instanceId = "";
    const auto file = AnalogEnvData::BuildAppDataPath("f.txt", options);
    EXPECT_EQ(*file, dir / "qmrs" / "QV+Analog" / "f.txt");
    EXPECT_FALSE(fs::exists(*file));

    // A file where a folder must go makes the function fail.
    WriteText(dir / "qmrs" / "QV+Analog" / "blocked", "x");
    options.instanceId = "blocked";
    options.instanceFolder = true;
    LogRecorder log;
    EXPECT_FALSE(AnalogEnvData::BuildAppDataPath("f.txt", options));
}

TEST(EnvData, TwoInstancesGetDifferentSessionFoldersUnderOneCacheFolder) {
    ScratchFolder dir;
    AnalogEnvData first, second;
    first.SetCacheFolderPath(dir / "cache");
    second.SetCacheFolderPath(dir / "cache");
    const auto a = first.GetSessionFolder(AnalogEnvData::MakeInstanceId());
    const auto b = second.GetSessionFolder(AnalogEnvData::MakeInstanceId());
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b);
    EXPECT_EQ(a->parent_path(), dir / "cache");
    EXPECT_EQ(b->parent_path(), dir / "cache");
    EXPECT_TRUE(fs::is_directory(*a) && fs::is_directory(*b));
    // Without an identifier the cache folder itself is used.
    EXPECT_EQ(*first.GetSessionFolder(""), dir / "cache");

    LogRecorder log;
    AnalogEnvData unset;
    EXPECT_FALSE(unset.GetSessionFolder("x"));
    WriteText(dir / "file", "x");
    first.SetCacheFolderPath(dir / "file");
    EXPECT_FALSE(first.GetSessionFolder("x"));
}

TEST(EnvData, FirstStartUsesTheDefaultCacheFolderAndSavesIt) {
    ScratchFolder dir;
    ScopedEnvironment env(dir.Path().string(), dir / "xdg");
    AnalogEnvData prefs;
    {
        LogRecorder log;
        bool asked = false;
        ASSERT_TRUE(prefs.LoadPrefsAndRepair(AnalogEnvData::MakeCacheFolderRepair([&](const fs::path&) {
            asked = true;
            return std::nullopt;
        })));
        EXPECT_FALSE(asked);
        // No file yet is no error at the first start.
        EXPECT_EQ(log.ErrorCount(), 0) << log.Text();
        EXPECT_FALSE(log.Contains("Failed to load preferences file.")) << log.Text();
        EXPECT_TRUE(log.Contains("info No preferences file")) << log.Text();
    }
    EXPECT_EQ(prefs.GetCacheFolderPath(), dir / "qmrs" / "QV+Analog");
    const auto session = prefs.GetSessionFolder("0123456789abcdef0123456789abcdef");
    EXPECT_EQ(*session, dir / "qmrs" / "QV+Analog" / "0123456789abcdef0123456789abcdef");

    ASSERT_TRUE(prefs.SavePrefs());
    const fs::path file = dir / "qmrs" / "QV+Analog" / "AnalogRCSettings.prf";
    EXPECT_EQ(ReadText(file),
              "{\n    \"m_cacheFolderPath\": \"" + (dir / "qmrs" / "QV+Analog").string() + "\"\n}");
    AnalogEnvData again;
    ASSERT_TRUE(again.LoadPrefs());
    EXPECT_EQ(again.GetCacheFolderPath(), prefs.GetCacheFolderPath());

    // A damaged file still is an error.
    WriteText(file, "{\"m_cacheFolderPath\": ");
    LogRecorder log;
    AnalogEnvData damaged;
    EXPECT_FALSE(damaged.LoadPrefs());
    EXPECT_TRUE(log.Contains("error Failed to load preferences file."));
}

TEST(EnvData, DeletedCacheFolderAsksTheUser) {
    ScratchFolder dir;
    ScopedEnvironment env(dir.Path().string(), dir / "xdg");
    AnalogEnvData saved;
    saved.SetCacheFolderPath(dir / "gone");
    ASSERT_TRUE(saved.SavePrefs());

    fs::path offered;
    AnalogEnvData prefs;
    ASSERT_TRUE(prefs.LoadPrefsAndRepair(AnalogEnvData::MakeCacheFolderRepair([&](const fs::path& old) {
        offered = old;
        return std::optional<fs::path>(dir / "chosen");
    })));
    EXPECT_EQ(offered, dir / "gone");
    EXPECT_EQ(prefs.GetCacheFolderPath(), dir / "chosen");

    // Ending the application ends start-up.
    AnalogEnvData refused;
    EXPECT_FALSE(refused.LoadPrefsAndRepair(
        AnalogEnvData::MakeCacheFolderRepair([](const fs::path&) { return std::optional<fs::path>(); })));

    // An existing folder needs no repair.
    fs::create_directories(dir / "gone");
    AnalogEnvData fine;
    EXPECT_TRUE(fine.LoadPrefsAndRepair([](AnalogEnvData&) { return false; }));
    EXPECT_EQ(fine.GetCacheFolderPath(), dir / "gone");
}

TEST(EnvData, PreferencesFileVariants) {
    ScratchFolder dir;
    const fs::path file = dir / "AnalogRCSettings.prf";
    struct Case {
        std::string text;
        bool loads;
        std::string folder;
    };
    const std::vector<Case> cases = {
        {"\xEF\xBB\xBF{\"m_cacheFolderPath\": \"/data/\xE3\x82\xAD\"}", true, "/data/\xE3\x82\xAD"},
        {"{\"other\": 1, \"m_cacheFolderPath\": \"/x\"}", true, "/x"},
        {"{\"other\": 1}", true, ""},
        {"{\"m_cacheFolderPath\": 5}", false, ""},
        {"[\"m_cacheFolderPath\"]", false, ""},
        {"{\"m_cacheFolderPath\": \"/x\"", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        WriteText(file, c.text);
        LogRecorder log;
        AnalogEnvData prefs;
        EXPECT_EQ(prefs.LoadPrefs(file), c.loads);
        EXPECT_EQ(prefs.GetCacheFolderPath().string(), c.folder);
        EXPECT_EQ(log.Contains("error Failed to load preferences file."), !c.loads);
    }

    // A path that is not valid UTF-8 cannot be serialised; the old file stays.
    AnalogEnvData broken;
    broken.SetCacheFolderPath("/data/\xFF\xFE");
    LogRecorder log;
    EXPECT_FALSE(broken.SavePrefs(file));
    EXPECT_TRUE(log.Contains("error Failed to serialize preferences."));
    EXPECT_EQ(ReadText(file), cases.back().text);
    AnalogEnvData unwritable;
    EXPECT_FALSE(unwritable.SavePrefs(dir / "missing" / "AnalogRCSettings.prf"));
    EXPECT_TRUE(log.Contains("error Failed to save preferences file."));
}
