// qvanalog cycles, run as the built program on a generated square wave with planted
// violations: the verdict and its exit status, the counts and list of violations, the CSV
// rows, and refusals that name the option and leave an existing CSV file as it was.

#include "QVxCore/AnalogSettings.h"
#include "QVxCore/tests/support/ReportBuilder.h"

#include "tools/qvanalog/tests/QvanalogRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>

namespace fs = std::filesystem;
using qvanalog_test::Result;
using qvanalog_test::RunQvanalog;
using qvanalog_test::Slurp;
using qvx::test::ReportBuilder;
using qvx::test::TempDir;

namespace {

constexpr std::uint64_t kRecords = 200'000;     // 100 ns apart
constexpr std::uint64_t kCycleRecords = 1'000;  // 100 us, 10 kHz
// Cycle 50 is 300 records longer; cycle 120 reaches only half as high.
constexpr std::uint64_t kLongCycle = 50;
constexpr std::uint64_t kLowCycle = 120;

// CH1: a 10 kHz square wave, 50 % duty, 8192 +- 4000 codes, with the two planted cycles.
std::uint16_t Sample(std::uint64_t index) {
    std::uint64_t at = index;
    if (at >= (kLongCycle + 1) * kCycleRecords) {
        at -= 300;
    } else if (at >= kLongCycle * kCycleRecords + 500) {
        return 8192 + 4000;  // the long cycle's high part goes on
    }
    const std::uint64_t cycle = at / kCycleRecords;
    const bool high = at % kCycleRecords < 500;
    if (!high) return 8192 - 4000;
    return cycle == kLowCycle ? 8192 + 2000 : 8192 + 4000;
}

class CyclesCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ReportBuilder builder(m_dir.Path() / "repo");
        builder.SampleValues([](std::uint64_t i) {
                   return qvx::test::Samples{Sample(i), 8192, 8192, 8192};
               })
            .AddFile(0, kRecords);
        m_repo = builder.Folder().string();
    }

    static std::string Mv(int codes) {
        const qvx::AnalogSettings settings;
        return std::to_string(codes * 2.0 * settings.GetChannelRangeMilliVolts(0) / 16383.0);
    }

    TempDir m_dir{"cycles-cli"};
    std::string m_repo;
};

TEST_F(CyclesCommand, PlantedViolationsFailWithTheirCountsListAndExitStatus) {
    const Result pass = RunQvanalog({"cycles", m_repo, "--channel", "1", "--level-mv", "0", "--json"});
    ASSERT_EQ(pass.status, 0) << pass.err;
    const auto all = nlohmann::json::parse(pass.out);
    const std::uint64_t cycles = all.at("cycles");
    EXPECT_EQ(cycles, kRecords / kCycleRecords - 2);  // the wave starts high; the last cycle is open
    EXPECT_EQ(all.at("verdict"), "pass");
    EXPECT_NEAR(all.at("stats").at("period-ns").at("max").get<double>(), 130'000.0, 1e-6);
    EXPECT_EQ(all.at("stats").at("period-ns").at("maxCycle"), kLongCycle - 1);
    EXPECT_NEAR(all.at("stats").at("duty-percent").at("mean").get<double>(), 50.0, 0.2);

    const Result fail =
        RunQvanalog({"cycles", m_repo, "--channel", "1", "--level-mv", "0", "--limit", "period-ns=:100500",
                     "--limit", "amplitude-mv=" + Mv(7000) + ":", "--json"});
    ASSERT_EQ(fail.status, 3) << fail.err;
    const auto out = nlohmann::json::parse(fail.out);
    EXPECT_EQ(out.at("verdict"), "fail");
    EXPECT_EQ(out.at("violations").at("count"), 2);
    EXPECT_EQ(out.at("violations").at("byParameter").at("period-ns"), 1);
    EXPECT_EQ(out.at("violations").at("byParameter").at("amplitude-mv"), 1);
    const auto& first = out.at("violations").at("first");
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].at("cycle"), kLongCycle - 1);
    EXPECT_EQ(first[0].at("parameter"), "period-ns");
    EXPECT_NEAR(first[0].at("value").get<double>(), 130'000.0, 1e-6);
    EXPECT_EQ(first[1].at("cycle"), kLowCycle - 1);
    EXPECT_EQ(first[1].at("parameter"), "amplitude-mv");
    EXPECT_NEAR(first[1].at("start").get<double>(), kLowCycle * kCycleRecords * 100.0 + 300 * 100.0, 100.0);

    // Text output carries the verdict too.
    const Result text =
        RunQvanalog({"cycles", m_repo, "--channel", "1", "--level-mv", "0", "--limit", "period-ns=:100500"});
    EXPECT_EQ(text.status, 3);
    EXPECT_NE(text.out.find("verdict fail"), std::string::npos);
}

TEST_F(CyclesCommand, CsvHasAHeaderWithUnitsAndOneRowPerCycle) {
    const fs::path csv = m_dir.Path() / "cycles.csv";
    const Result r = RunQvanalog({"cycles", m_repo, "--channel", "1", "--level-mv", "0", "--from", "0",
                                  "--to", "5000000", "--csv", csv.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    std::ifstream in(csv);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line,
              "cycle,start_ns,period_ns,frequency_hz,high_ns,low_ns,duty_percent,min_mv,max_mv,amplitude_mv,"
              "rise_ns,fall_ns\r");
    int rows = 0;
    while (std::getline(in, line)) ++rows;
    EXPECT_EQ(rows, 48);  // cycles 0..47 start and end within the first 5 ms
}

TEST_F(CyclesCommand, RefusalsNameTheOptionAndLeaveAnExistingCsvAlone) {
    const fs::path csv = m_dir.Path() / "keep.csv";
    std::ofstream(csv) << "precious\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--channel", "5", "--level-mv", "0"}, "--channel"},
        {{"--channel", "1"}, "--level-mv"},
        {{"--channel", "1", "--level-mv", "x"}, "--level-mv"},
        {{"--channel", "1", "--level-mv", "0", "--hysteresis-mv", "-1"}, "--hysteresis-mv"},
        {{"--channel", "1", "--level-mv", "0", "--limit", "width=1:2"}, "--limit"},
        {{"--channel", "1", "--level-mv", "0", "--limit", "period-ns=5:4"}, "--limit"},
        {{"--channel", "1", "--level-mv", "0", "--limit", "period-ns=:"}, "--limit"},
        {{"--channel", "1", "--level-mv", "0", "--limit", "period-ns=1:", "--limit", "period-ns=:9"},
         "--limit"},
        {{"--channel", "1", "--level-mv", "0", "--from", "10"}, "--from"},
        {{"--channel", "1", "--level-mv", "0", "--json"}, "--csv"},
    };
    for (const auto& [options, named] : cases) {
        std::vector<std::string> args{"cycles", m_repo};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {"--csv", csv.string()});
        const Result r = RunQvanalog(args);
        EXPECT_EQ(r.status, 1) << options.back();
        EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
        EXPECT_EQ(Slurp(csv), "precious\n");
    }
    const Result missing =
        RunQvanalog({"cycles", (m_dir.Path() / "none").string(), "--channel", "1", "--level-mv", "0"});
    EXPECT_EQ(missing.status, 1);
}

}  // namespace
