// qvanalog envelope, run as the built program: refused arguments, and the JSON compared
// with a brute-force fold of every record.

#include "QVxCore/ReportData/ReportOverviewStore.h"
#include "QVxCore/tests/support/BruteEnvelope.h"

#include "tools/qvanalog/tests/QvanalogRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace fs = std::filesystem;
using qvanalog_test::RunQvanalog;
using qvx::test::ReportBuilder;
using qvx::test::TempDir;

namespace {

qvx::test::Samples Spikes(std::uint64_t i) {
    const bool spike = i == 1 || i == 4097 || i == 99'999;
    return {static_cast<std::uint16_t>(i % 5000), static_cast<std::uint16_t>(spike ? 16383 : 100),
            static_cast<std::uint16_t>(spike ? 0 : 9000), static_cast<std::uint16_t>(i == 77 ? 40000 : 8192)};
}

nlohmann::json ExpectedJson(const std::vector<qvx::envelope::Column>& cols, std::int64_t from,
                            std::int64_t to) {
    nlohmann::json first = nlohmann::json::array(), last = nlohmann::json::array(),
                   channels = nlohmann::json::array();
    for (const auto& c : cols) {
        first.push_back(c.empty ? nlohmann::json(nullptr) : nlohmann::json(c.first));
        last.push_back(c.empty ? nlohmann::json(nullptr) : nlohmann::json(c.last));
    }
    for (std::size_t ch = 0; ch < 4; ++ch) {
        nlohmann::json mins = nlohmann::json::array(), maxs = nlohmann::json::array();
        for (const auto& c : cols) {
            mins.push_back(c.empty ? nlohmann::json(nullptr) : nlohmann::json(c.stats.min[ch]));
            maxs.push_back(c.empty ? nlohmann::json(nullptr) : nlohmann::json(c.stats.max[ch]));
        }
        channels.push_back({{"min", mins}, {"max", maxs}});
    }
    return {{"columns", cols.size()}, {"from", from}, {"to", to},
            {"first", first},         {"last", last}, {"channels", channels}};
}

}  // namespace

TEST(EnvelopeCommandTest, RefusesBadWindowsAndColumnCounts) {
    TempDir dir("envelope-args");
    ReportBuilder(dir.Path() / "repo").AddFile(0, 100);
    const std::string repo = (dir.Path() / "repo").string();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"envelope", repo, "--from", "10", "--to", "10", "--columns", "1"},
             {"envelope", repo, "--from", "11", "--to", "10", "--columns", "1"},
             {"envelope", repo, "--from", "0", "--to", "10", "--columns", "0"},
             {"envelope", repo, "--from", "0", "--to", "10", "--columns", "100001"},
             {"envelope", repo, "--from", "x", "--to", "10", "--columns", "1"},
             {"envelope", repo, "--to", "10", "--columns", "1"},
             {"envelope", (dir.Path() / "none").string(), "--from", "0", "--to", "10", "--columns", "1"}}) {
        const auto r = RunQvanalog(args);
        EXPECT_EQ(r.status, 1) << args[3] << " " << args[5];
        EXPECT_NE(r.err.find("qvanalog: "), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    const auto r =
        RunQvanalog({"envelope", repo, "--from", "0", "--to", "10", "--columns", "100000", "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(EnvelopeCommandTest, JsonMatchesEveryRecordAndIndexesTheReportOnce) {
    TempDir dir("envelope-json");
    const fs::path repo = dir.Path() / "repo";
    ReportBuilder report(repo);
    report.Times([](std::uint64_t i) { return 500 + i * 3; }).SampleValues(&Spikes).AddFile(0, 100'000);
    const std::int64_t last = static_cast<std::int64_t>(report.TimeAt(99'999)) * 10;
    for (const auto& [from, to, n] : std::vector<std::tuple<std::int64_t, std::int64_t, std::int64_t>>{
             {0, last + 10, 1920}, {-7, last * 2, 13}, {5000, 5000 + 30 * 40, 40}, {last, last + 1, 1}}) {
        const auto r = RunQvanalog({"envelope", repo.string(), "--from", std::to_string(from), "--to",
                                    std::to_string(to), "--columns", std::to_string(n), "--json"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(nlohmann::json::parse(r.out),
                  ExpectedJson(qvx::test::BruteEnvelope(report, {{0, 100'000}}, from, to, n), from, to))
            << from << " " << to << " " << n;
    }
    // The first run built the overview beside the report, not inside it.
    EXPECT_TRUE(fs::is_regular_file(dir.Path() / "repo.overview" / "00000000.OVW"));
    EXPECT_EQ(std::distance(fs::directory_iterator(repo), fs::directory_iterator()), 1);
}
