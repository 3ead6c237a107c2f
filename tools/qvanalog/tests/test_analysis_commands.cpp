// qvanalog search and measure, run as the built program: on a recording of the simulated
// unit made with a display trigger in repeat mode, and on generated reports.

#include "QVxCore/AnalogSettings.h"
#include "QVxCore/QVxAnalogDisplayTriggerAnalyzer.h"
#include "QVxCore/tests/support/ReportBuilder.h"

#include "tools/qvanalog/tests/QvanalogRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;
using qvanalog_test::Result;
using qvanalog_test::RunQvanalog;
using qvanalog_test::Slurp;
using qvx::test::ReportBuilder;
using qvx::test::TempDir;

namespace {

// CH4 level half-way up the demo signal's pulses (its noise never crosses it), in mV on
// the default range.
std::int64_t DemoPulseLevelMilliVolts() {
    qvx::AnalogSettings s;
    std::int64_t mv = 0;
    while (qvx::QVxAnalogDisplayTriggerAnalyzer::MakeRawTriggerLevel(s, 3, mv) < 8192 + 3000) mv += 10;
    return mv;
}

TEST(SearchCommand, FindsExactlyTheHitsAListedDuringARepeatTrace) {
    TempDir dir("search-cli");
    fs::create_directories(dir.Path() / "app");
    ::setenv("QVPLUS_TEMP_DIR", (dir.Path() / "app").c_str(), 1);
    ::unsetenv("QVPLUS_SIMULATED_UNITS");
    ::setenv("QVPLUS_SIM_SIGNAL", "demo", 1);
    const fs::path settingsFile = dir.Path() / "trigger.qvxa";
    ASSERT_EQ(RunQvanalog({"settings", "init", settingsFile.string()}).status, 0);
    auto settings = nlohmann::json::parse(Slurp(settingsFile));
    auto& v = settings.at("value0");
    const std::int64_t level = DemoPulseLevelMilliVolts();
    v["samplingFrequency"] = 1;
    v["displayTriggerMode"] = 2;  // repeat: every hit is listed
    v["displayTriggerSourceChannel"] = 3;
    auto& trigger = v["displayTriggerSettings"][3];
    trigger["slope"] = 2;
    trigger["widthEdgeComparison"] = 0;
    trigger["edgeWidthTime"] = 300'000;
    trigger["sensitivityCount"] = 1;
    trigger["voltageLevel"] = level;
    std::ofstream(settingsFile) << settings.dump(4);

    const std::string session = (dir.Path() / "out" / "rec.qvxa").string();
    fs::create_directories(dir.Path() / "out");
    const Result recorded = RunQvanalog(
        {"record", "--out", session, "--settings", settingsFile.string(), "--duration", "1", "--simulate"},
        120);
    ::unsetenv("QVPLUS_TEMP_DIR");
    ASSERT_EQ(recorded.status, 0) << recorded.err;
    const Result info = RunQvanalog({"info", session, "--json"});
    ASSERT_EQ(info.status, 0) << info.err;
    const auto live = nlohmann::json::parse(info.out).at("displayTriggerList");
    ASSERT_GT(live.size(), 3u) << "the demo signal's pulses should have been listed";

    const Result searched =
        RunQvanalog({"search", session, "--channel", "4", "--slope", "high", "--level-mv",
                     std::to_string(level), "--width-ns", "300000", "--within", "--json"});
    ASSERT_EQ(searched.status, 0) << searched.err;
    const auto found = nlohmann::json::parse(searched.out);
    ASSERT_EQ(found.at("count"), live.size());
    for (std::size_t k = 0; k < live.size(); ++k) {
        EXPECT_EQ(found["hits"][k]["index"], live[k]["dataIndex"]) << "hit " << k;
        EXPECT_EQ(found["hits"][k]["width"], live[k]["widthNSec"]) << "hit " << k;
    }
    // The same on the report folder alone (default ranges, as the session's).
    const Result folder =
        RunQvanalog({"search", (dir.Path() / "out" / "repo").string(), "--channel", "4", "--slope", "high",
                     "--level-mv", std::to_string(level), "--width-ns", "300000", "--within", "--json"});
    ASSERT_EQ(folder.status, 0) << folder.err;
    EXPECT_EQ(nlohmann::json::parse(folder.out), found);
}

// 1,000 records 100 ns apart: CH1 steps up by one code per record from 8000; CH2 a square
// wave of 100 records per period (100 kHz) between 4000 and 12000.
class GeneratedReportCommands : public ::testing::Test {
protected:
    void SetUp() override {
        ReportBuilder(repo)
            .SampleValues([](std::uint64_t i) {
                return qvx::test::Samples{static_cast<std::uint16_t>(8000 + i),
                                          static_cast<std::uint16_t>(i % 100 < 50 ? 4000 : 12000), 8192,
                                          8192};
            })
            .AddFile(0, 1'000);
    }
    TempDir dir{"analysis-cli"};
    fs::path repo = dir.Path() / "repo";
};

TEST_F(GeneratedReportCommands, SearchAndMeasureCountRecordsFromFromUpToTo) {
    // A rising edge of CH2 at every record 100 k + 50 (time (100 k + 50) x 100 ns).
    const Result all = RunQvanalog(
        {"search", repo.string(), "--channel", "2", "--slope", "rising", "--level-mv", "0", "--json"});
    ASSERT_EQ(all.status, 0) << all.err;
    const auto hits = nlohmann::json::parse(all.out);
    ASSERT_EQ(hits.at("count"), 10);
    EXPECT_EQ(hits.at("total"), 10);  // every hit is listed below the limit
    EXPECT_EQ(hits["hits"][0], (nlohmann::json{{"index", 50}, {"time", 5'000}, {"width", nullptr}}));
    // The analysis starts afresh at --from: a record there has no record before it, so it
    // makes no edge; the record at --to is outside.
    const auto countFrom = [&](const char* from) {
        const Result span = RunQvanalog({"search", repo.string(), "--channel", "2", "--slope", "rising",
                                         "--level-mv", "0", "--from", from, "--to", "25000", "--json"});
        EXPECT_EQ(span.status, 0) << span.err;
        return nlohmann::json::parse(span.out).at("count").get<int>();
    };
    EXPECT_EQ(countFrom("4900"), 2);
    EXPECT_EQ(countFrom("5000"), 1);

    const Result measured =
        RunQvanalog({"measure", repo.string(), "--from", "1000", "--to", "21000", "--json"});
    ASSERT_EQ(measured.status, 0) << measured.err;
    const auto m = nlohmann::json::parse(measured.out);
    EXPECT_EQ(m.at("from"), 1000);
    EXPECT_EQ(m.at("to"), 21000);
    ASSERT_EQ(m.at("channels").size(), 4u);
    const auto& ch1 = m["channels"][0];
    EXPECT_EQ(ch1.at("channel"), 1);
    EXPECT_EQ(ch1.at("records"), 200);  // records 10 to 209
    // The default range and probe: volts = (code - 8191.5) x 2F / 16383.
    const double voltsPerCode = 2.0 * qvx::AnalogSettings::GetRangeMilliVolts(2, 1) / 1000.0 / 16383;
    EXPECT_NEAR(ch1.at("min").get<double>(), (8010 - 8191.5) * voltsPerCode, 1e-12);
    EXPECT_NEAR(ch1.at("max").get<double>(), (8209 - 8191.5) * voltsPerCode, 1e-12);
    EXPECT_NEAR(ch1.at("peakToPeak").get<double>(), 199 * voltsPerCode, 1e-12);
    EXPECT_NEAR(ch1.at("mean").get<double>(), (8109.5 - 8191.5) * voltsPerCode, 1e-12);
    EXPECT_TRUE(ch1.at("frequencyHz").is_null()) << "a ramp crosses its midpoint once";
    EXPECT_NEAR(m["channels"][1].at("frequencyHz").get<double>(), 100'000.0, 1e-6);
    EXPECT_TRUE(m["channels"][2].at("frequencyHz").is_null());

    // A span after the last record: each enabled channel, without records or values.
    const Result empty =
        RunQvanalog({"measure", repo.string(), "--from", "900000", "--to", "1000000", "--json"});
    ASSERT_EQ(empty.status, 0) << empty.err;
    const auto none = nlohmann::json::parse(empty.out);
    ASSERT_EQ(none.at("channels").size(), 4u);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(none["channels"][c].at("channel"), c + 1);
        EXPECT_EQ(none["channels"][c].at("records"), 0);
        EXPECT_TRUE(none["channels"][c].at("rms").is_null());
    }
}

TEST_F(GeneratedReportCommands, BadArgumentsAreRefusedWithAReason) {
    const std::string r = repo.string();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"search", r, "--slope", "rising", "--level-mv", "0"}, "--channel"},
        {{"search", r, "--channel", "5", "--slope", "rising", "--level-mv", "0"}, "--channel"},
        {{"search", r, "--channel", "1", "--slope", "up", "--level-mv", "0"}, "--slope"},
        {{"search", r, "--channel", "1", "--slope", "rising", "--level-mv", "1.5"}, "--level-mv"},
        {{"search", r, "--channel", "1", "--slope", "rising", "--level-mv", "0", "--sensitivity", "0"},
         "--sensitivity"},
        {{"search", r, "--channel", "1", "--slope", "high", "--level-mv", "0"}, "--width-ns"},
        {{"search", r, "--channel", "1", "--slope", "high", "--level-mv", "0", "--width-ns", "5"},
         "--within"},
        {{"search", r, "--channel", "1", "--slope", "low", "--level-mv", "0", "--width-ns", "5", "--within",
          "--outside"},
         "--within"},
        {{"search", r, "--channel", "1", "--slope", "rising", "--level-mv", "0", "--width-ns", "5"}, "only"},
        {{"search", r, "--channel", "1", "--slope", "rising", "--level-mv", "0", "--from", "5"}, "--from"},
        {{"search", r, "--channel", "1", "--slope", "rising", "--level-mv", "0", "--jsn"}, "unknown option"},
        {{"search", (dir.Path() / "none").string(), "--channel", "1", "--slope", "rising", "--level-mv", "0"},
         "cannot open"},
        {{"measure", r, "--from", "10"}, "--from and --to"},
        {{"measure", r, "--from", "10", "--to", "10"}, "less than"},
        {{"measure", "--from", "10", "--to", "20"}, "PATH"},
    };
    for (const auto& [args, reason] : cases) {
        const Result result = RunQvanalog(args);
        EXPECT_EQ(result.status, 1) << args[2];
        EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
        EXPECT_TRUE(result.out.empty());
    }
}

}  // namespace
