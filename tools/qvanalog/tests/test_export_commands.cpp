// qvanalog export and export-triggers, run as the built program on a session whose
// first report file was deleted by rotation (row numbers start at 33,554,433).

#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Archive.h"
#include "QVxCore/DisplayTriggerList.h"
#include "QVxCore/tests/support/GoldenFile.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "QVxCore/tests/support/TimeZone.h"

#include "tools/qvanalog/tests/QvanalogRunner.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using qvanalog_test::Result;
using qvanalog_test::RunQvanalog;
using qvanalog_test::Slurp;
using qvx::test::TempDir;

namespace {

class ExportCommands : public ::testing::Test {
protected:
    void SetUp() override {
        qvx::AnalogSettings settings;
        ASSERT_TRUE(qvx::Archive::Save(settings, session));
        qvx::test::ReportBuilder(dir.Path() / "repo").AddFile(1, 5);
        qvx::AnalogDisplayTriggerList hits{{static_cast<std::int64_t>(qvx::kRecordsPerReportFile) + 1, 0}};
        ASSERT_TRUE(qvx::Archive::Save(hits, dir.Path() / "repo" / "meta"));
    }

    TempDir dir{"export-cli"};
    std::string session = (dir.Path() / "s.qvxa").string();
    std::string csv = (dir.Path() / "out.csv").string();
};

TEST_F(ExportCommands, RowNumbersFollowTheHashColumn) {
    ASSERT_EQ(RunQvanalog({"export", session, "--out", csv}).status, 0);
    const std::string all = Slurp(csv);
    EXPECT_EQ(all.substr(0, all.find('\n') + 1), "#,Time[ns],CH1,CH2,CH3,CH4\n");
    EXPECT_NE(all.find("\n33554433,\""), std::string::npos);
    EXPECT_NE(all.find("\n33554437,\""), std::string::npos);
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 6);

    ASSERT_EQ(RunQvanalog({"export", session, "--out", csv, "--from", "33554434", "--to", "33554435"}).status,
              0);
    const std::string two = Slurp(csv);
    EXPECT_EQ(std::count(two.begin(), two.end(), '\n'), 3);
    EXPECT_NE(two.find("\n33554434,\""), std::string::npos);
    EXPECT_NE(two.find("\n33554435,\""), std::string::npos);
}

TEST_F(ExportCommands, BadRangesAndArgumentsAreRefused) {
    const Result outside = RunQvanalog({"export", session, "--out", csv, "--from", "1", "--to", "2"});
    EXPECT_EQ(outside.status, 1);
    EXPECT_NE(outside.err.find("範囲指定が異常です。"), std::string::npos);
    EXPECT_EQ(RunQvanalog({"export", session, "--out", csv, "--from", "33554435", "--to", "33554434"}).status,
              1);
    EXPECT_EQ(RunQvanalog({"export", session, "--out", csv, "--from", "33554434"}).status, 1);
    EXPECT_EQ(RunQvanalog({"export", session, "--out", csv, "--from", "x", "--to", "3"}).status, 1);
    EXPECT_EQ(RunQvanalog({"export", session}).status, 1);
    EXPECT_EQ(RunQvanalog({"export", (dir.Path() / "repo").string(), "--out", csv}).status, 1);
    const std::string missing = (dir.Path() / "missing" / "s.qvxa").string();
    const Result notFound = RunQvanalog({"export", missing, "--out", csv});
    EXPECT_EQ(notFound.status, 1);
    EXPECT_NE(notFound.err.find(missing + ": not found"), std::string::npos) << notFound.err;
    EXPECT_FALSE(fs::exists(csv));

    const Result full = RunQvanalog({"export", session, "--out", "/dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("No space left on device"), std::string::npos);
}

TEST_F(ExportCommands, TimeRangesAndTheFormatByExtensionOrOption) {
    // Records 33554432.. have times index x 100 ns: 3,355,443,200 ns on.
    const std::string h5 = (dir.Path() / "out.h5").string();
    const Result r =
        RunQvanalog({"export", session, "--out", h5, "--from-ns", "3355443300", "--to-ns", "3355443450"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("rows 33554434 to 33554435 (2 rows)"), std::string::npos) << r.out;
    EXPECT_EQ(Slurp(h5).substr(0, 8), "\x89HDF\r\n\x1a\n");

    ASSERT_EQ(RunQvanalog({"export", session, "--out", h5, "--format", "csv", "--from-ns", "3355443300",
                           "--to-ns", "3355443300"})
                  .status,
              0);
    EXPECT_EQ(Slurp(h5).substr(0, 27), "#,Time[ns],CH1,CH2,CH3,CH4\n");
    ASSERT_EQ(RunQvanalog({"export", session, "--out", csv, "--format", "hdf5", "--deflate", "0"}).status, 0);
    EXPECT_EQ(Slurp(csv).substr(0, 4), "\x89HDF");
}

TEST_F(ExportCommands, BadTimeRangesFormatsAndTargetsLeaveTheOutputAsItWas) {
    const std::string h5 = (dir.Path() / "out.h5").string();
    { std::ofstream(h5) << "kept"; }
    const auto refused = [&](std::vector<std::string> extra, const std::string& message) {
        std::vector<std::string> words{"export", session, "--out", h5};
        words.insert(words.end(), extra.begin(), extra.end());
        const Result r = RunQvanalog(words);
        EXPECT_EQ(r.status, 1) << extra.front();
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    };
    refused({"--from-ns", "3355443400", "--to-ns", "3355443300"}, "範囲指定が異常です。");
    refused({"--from-ns", "0", "--to-ns", "3355443199"}, "no record lies between 0 ns and 3355443199 ns");
    refused({"--from-ns", "-5", "--to-ns", "3355443300"}, "--from-ns and --to-ns take times");
    refused({"--from-ns", "3355443300"}, "--from-ns and --to-ns go together");
    refused({"--from-ns", "0", "--to-ns", "1", "--from", "33554433", "--to", "33554433"}, "not both");
    refused({"--format", "xml"}, "--format takes csv or hdf5");
    refused({"--deflate", "10"}, "--deflate takes a level");
    refused({"--format", "csv", "--deflate", "1"}, "HDF5 exports only");
    EXPECT_EQ(Slurp(h5), "kept");

    const Result missing = RunQvanalog({"export", session, "--out", (dir.Path() / "no" / "x.h5").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot create"), std::string::npos) << missing.err;
    EXPECT_EQ(RunQvanalog({"export", session, "--out", "/dev/full", "--format", "hdf5"}).status, 1);
}

TEST_F(ExportCommands, TheSessionsOwnFilesAreRefusedAsOutputsAndStayIntact) {
    const fs::path repo = dir.Path() / "repo";
    fs::create_symlink(repo, dir.Path() / "alias");
    const std::string dat = Slurp(repo / "00000001.DAT");
    const std::string meta = Slurp(repo / "meta");
    const std::string settings = Slurp(session);
    for (const fs::path& target : {repo / "00000001.DAT", repo / "meta", fs::path(session), repo / "new.csv",
                                   dir.Path() / "alias" / "00000001.DAT", repo / ".." / "s.qvxa"}) {
        for (const char* command : {"export", "export-triggers"}) {
            const Result r = RunQvanalog({command, session, "--out", target.string()});
            EXPECT_EQ(r.status, 1) << command << " " << target;
            EXPECT_NE(r.err.find("is a file of the session"), std::string::npos) << r.err;
        }
    }
    EXPECT_EQ(Slurp(repo / "00000001.DAT"), dat);
    EXPECT_EQ(Slurp(repo / "meta"), meta);
    EXPECT_EQ(Slurp(session), settings);
    EXPECT_FALSE(fs::exists(repo / "new.csv"));
}

TEST_F(ExportCommands, ARepeatedOptionIsRefused) {
    const Result r = RunQvanalog(
        {"export", session, "--out", csv, "--from", "33554433", "--to", "33554434", "--from", "33554435"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--from is given more than once"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(csv));
}

TEST_F(ExportCommands, ClockTimeColumnsFromTheReportsStartTime) {
    // Without a start time in the headers there is no clock to show.
    Result r = RunQvanalog({"export", session, "--out", csv, "--clock-time"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--clock-time needs the report's start time"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(csv));

    fs::remove_all(dir.Path() / "repo");
    qvx::test::ReportBuilder(dir.Path() / "repo").StartTime(1'796'724'157, 5).AddFile(1, 5);
    qvx::AnalogDisplayTriggerList hits{{static_cast<std::int64_t>(qvx::kRecordsPerReportFile) + 1, 0}};
    ASSERT_TRUE(qvx::Archive::Save(hits, dir.Path() / "repo" / "meta"));
    qvx::test::TimeZone tokyo("Asia/Tokyo");  // inherited by the program run below
    r = RunQvanalog(
        {"export", session, "--out", csv, "--clock-time", "--from", "33554434", "--to", "33554434"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Record 33554433 (0-based) is 3,355,443,300 ns after the start: 19:02:40.355443305 in Tokyo.
    const std::string expected = "#,Time,CH1,CH2,CH3,CH4\n33554434,2026-12-08T19:02:40.355443305+09:00,";
    EXPECT_EQ(Slurp(csv).substr(0, expected.size()), expected);
    r = RunQvanalog({"export-triggers", session, "--out", csv, "--clock-time"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(Slurp(csv).find(",\"2026-12-08T19:02:40.355443305+09:00\","), std::string::npos);
    r = RunQvanalog({"export", session, "--out", (dir.Path() / "x.h5").string(), "--clock-time"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--clock-time applies to CSV exports only"), std::string::npos) << r.err;
}

TEST_F(ExportCommands, TriggerListFromTheSessionMetadata) {
    const Result r = RunQvanalog({"export-triggers", session, "--out", csv});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = Slurp(csv);
    ASSERT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
    // Default report content: time = index x 100 ns.
    EXPECT_NE(text.find("\n1,\"33554434\",\"3,355,443,300\",\"-\",\""), std::string::npos) << text;
    EXPECT_EQ(RunQvanalog({"export-triggers", session, "--out", "/dev/full"}).status, 1);
}

// The files the commands write for the whole session, against golden copies (golden/): the
// data list and the hit list as CSV, and the HDF5 export as `h5dump -p` shows it, with the
// session's temp folder (in the "source_session" attribute) written as DIR.
TEST_F(ExportCommands, ExportedFilesMatchTheirGoldenCopies) {
    ASSERT_EQ(RunQvanalog({"export", session, "--out", csv}).status, 0);
    qvx::test::ExpectFileMatchesGolden(QVX_GOLDEN_DIR, "export.csv", csv);
    const std::string hits = (dir.Path() / "hits.csv").string();
    ASSERT_EQ(RunQvanalog({"export-triggers", session, "--out", hits}).status, 0);
    qvx::test::ExpectFileMatchesGolden(QVX_GOLDEN_DIR, "export-triggers.csv", hits);

    ASSERT_EQ(RunQvanalog({"export", session, "--out", (dir.Path() / "out.h5").string()}).status, 0);
    std::string text;
    const std::string command = "cd '" + dir.Path().string() + "' && '" QVX_H5DUMP "' -p out.h5 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    ASSERT_EQ(::pclose(pipe), 0) << text;
    for (auto at = text.find(dir.Path().string()); at != std::string::npos;
         at = text.find(dir.Path().string()))
        text.replace(at, dir.Path().string().size(), "DIR");
    qvx::test::ExpectMatchesGolden(QVX_GOLDEN_DIR, "export.h5dump", text);
}

}  // namespace
