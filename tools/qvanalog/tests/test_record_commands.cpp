// qvanalog record and query, run as the built program against the simulated unit.

#include "QVxCore/tests/support/ReportBuilder.h"

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
using qvx::test::TempDir;

namespace {

// A recording connects to the simulated unit first: allow it more time.
Result RunRecordTool(const std::vector<std::string>& args) {
    return qvanalog_test::RunQvanalog(args, 120);
}

class RecordCommand : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir.Path() / "app");
        fs::create_directories(dir.Path() / "out");
        ::setenv("QVPLUS_TEMP_DIR", (dir.Path() / "app").c_str(), 1);
        ::unsetenv("QVPLUS_SIMULATED_UNITS");
        ::setenv("QVPLUS_SIM_FAULTS", "", 1);
        ::setenv("QVPLUS_SIM_SIGNAL", "demo", 1);
        ::setenv("QVPLUS_SIM_SPEED", "", 1);
    }
    void TearDown() override { ::unsetenv("QVPLUS_TEMP_DIR"); }

    std::string Out(const char* name) const { return (dir.Path() / "out" / name).string(); }

    TempDir dir{"record-cli"};
};

TEST_F(RecordCommand, RecordsSavesAndAnswersQueriesAboutTheSavedSession) {
    EXPECT_EQ(RunRecordTool({"record", "--out", Out("a.qvxa"), "--rate", "5M", "--simulate"}).status, 1);
    ::setenv("QVPLUS_SIMULATED_UNITS", "AN0001,AN0002", 1);
    const Result two = RunRecordTool({"record", "--out", Out("a.qvxa"), "--duration", "1"});
    EXPECT_NE(two.err.find("--device"), std::string::npos) << two.err;
    ::unsetenv("QVPLUS_SIMULATED_UNITS");

    const Result r = RunRecordTool(
        {"record", "--out", Out("rec.qvxa"), "--rate", "1M", "--duration", "1", "--simulate", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto summary = nlohmann::json::parse(r.out);  // stdout holds the object alone
    const auto records = summary.at("records").get<std::uint64_t>();
    EXPECT_GT(records, 500'000u);
    EXPECT_EQ(summary.at("bytes").get<std::uint64_t>(), records * 16);
    EXPECT_EQ(summary.at("files"), 1);
    EXPECT_EQ(summary.at("abortType"), 0);
    EXPECT_EQ(summary.at("timeWentBackwards"), false);
    EXPECT_GE(summary.at("elapsedMs").get<std::uint32_t>(), 1000u);
    EXPECT_EQ(fs::file_size(dir.Path() / "out" / "repo" / "00000000.DAT"), 512 + records * 16);
    EXPECT_TRUE(fs::exists(dir.Path() / "out" / "repo" / "meta"));
    // The run's own instance folder is gone; only the preferences stay.
    for (const auto& entry : fs::recursive_directory_iterator(dir.Path() / "app"))
        EXPECT_FALSE(entry.path().extension() == ".DAT") << entry.path();

    const fs::path query = dir.Path() / "q.json";
    const fs::path result = dir.Path() / "r.json";
    std::ofstream(query) << nlohmann::json{
        {"reportFullPath", (dir.Path() / "out" / "repo").string()},
        {"commandResultFilePath",
         result.string()}}.dump();
    ASSERT_EQ(RunRecordTool({"query", query.string(), "--session", Out("rec.qvxa")}).status, 0);
    EXPECT_EQ(nlohmann::json::parse(Slurp(result)), (nlohmann::json{{"isReportOpen", true}}));
    ASSERT_EQ(RunRecordTool({"query", query.string()}).status, 0);  // the cache session only
    EXPECT_EQ(nlohmann::json::parse(Slurp(result)), (nlohmann::json{{"isReportOpen", false}}));
    std::ofstream(query) << "{";
    EXPECT_EQ(RunRecordTool({"query", query.string()}).status, 1);

    // A second recording into the same folder would mix two reports.
    EXPECT_EQ(RunRecordTool({"record", "--out", Out("again.qvxa"), "--duration", "1", "--simulate"}).status,
              1);
}

TEST_F(RecordCommand, RotationRemovesOldFilesDuringTheTraceAndCountsThem) {
    ::setenv("QVPLUS_SIM_SIGNAL", "counter", 1);
    ::setenv("QVPLUS_SIM_SPEED", "max", 1);
    const fs::path settingsFile = dir.Path() / "rotating.qvxa";
    ASSERT_EQ(RunRecordTool({"settings", "init", settingsFile.string()}).status, 0);
    auto settings = nlohmann::json::parse(Slurp(settingsFile));
    settings.at("value0")["enableReportFileRotation"] = true;
    settings.at("value0")["reportFileRotationTimeS"] = 1;  // 2 files kept at 10 MS/s
    std::ofstream(settingsFile) << settings.dump(4);

    const Result r = RunRecordTool({"record", "--out", Out("rot.qvxa"), "--settings", settingsFile.string(),
                                    "--rate", "10M", "--size", "1600", "--simulate", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto summary = nlohmann::json::parse(r.out);
    const std::uint64_t records = 1600ull * 1'048'576 / 16;  // files 0 to 3
    EXPECT_EQ(summary.at("records").get<std::uint64_t>(), records);
    EXPECT_EQ(summary.at("removedFiles"), 2);
    EXPECT_EQ(summary.at("files"), 2);
    EXPECT_EQ(summary.at("bytes").get<std::uint64_t>(), records * 16 - 2 * 33'554'432ull * 16);
    EXPECT_FALSE(fs::exists(dir.Path() / "out" / "repo" / "00000001.DAT"));
    EXPECT_TRUE(fs::exists(dir.Path() / "out" / "repo" / "00000002.DAT"));
    EXPECT_TRUE(fs::exists(dir.Path() / "out" / "repo" / "00000003.DAT"));
}

}  // namespace
