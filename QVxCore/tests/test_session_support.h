#pragma once
// Session test helpers: a synchronous main dispatcher so that progress updates
// arrive at once, session folders with settings files and report data.

#include "QVxCore/AnalogSession.h"
#include "QVxCore/Archive.h"
#include "QVxCore/Presenters/Interaction.h"
#include "QVxCore/TaskDispatcher.h"
#include "support/ReportBuilder.h"
#include "test_settings_support.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace qvx::testing {

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Dispatcher::AttachMain(Dispatcher::kSynchronous)); }
    void TearDown() override { Dispatcher::DestroyMain(); }

    // A progress token that records every update.
    ProgressToken MakeToken() {
        return ProgressToken(
            [this](std::int64_t current, std::int64_t total) { progress.emplace_back(current, total); }, {});
    }

    // `folder`/`name` written as a settings file of `version` (by saving defaults and
    // rewriting the class version member of the settings object).
    static void WriteSettings(const std::filesystem::path& file, std::uint32_t version = 5,
                              AnalogSettings settings = {}) {
        std::filesystem::create_directories(file.parent_path());
        ASSERT_TRUE(Archive::Save(settings, file));
        if (version != 5) {
            std::string text = ReadText(file);
            const std::string from = "\"cereal_class_version\": 5,\n        \"channelVoltages\"";
            const auto at = text.find(from);
            ASSERT_NE(at, std::string::npos);
            text.replace(
                at, from.size(),
                "\"cereal_class_version\": " + std::to_string(version) + ",\n        \"channelVoltages\"");
            WriteText(file, text);
        }
    }

    // Names and contents of the regular files in `folder`.
    static std::map<std::string, std::string> Snapshot(const std::filesystem::path& folder) {
        std::map<std::string, std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
            if (entry.is_regular_file()) {
                files[std::filesystem::relative(entry.path(), folder).string()] = ReadText(entry.path());
            }
        }
        return files;
    }

    ScratchFolder dir;
    std::vector<std::pair<std::int64_t, std::int64_t>> progress;
};

}  // namespace qvx::testing
