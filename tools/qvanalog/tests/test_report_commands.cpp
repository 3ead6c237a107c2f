// qvanalog info / read / find / make-demo-report, run as the built program.

#include "QVxCore/tests/support/ReportBuilder.h"

#include "tools/qvanalog/tests/QvanalogRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>
#include <map>
#include <random>
#include <sstream>

namespace fs = std::filesystem;
using qvanalog_test::Result;
using qvanalog_test::RunQvanalog;
using qvanalog_test::Slurp;
using qvx::kRecordsPerReportFile;
using qvx::test::ReportBuilder;

namespace {

// Names, sizes and modification times of everything in a folder.
std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> Snapshot(const fs::path& folder) {
    std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> out;
    for (const auto& e : fs::directory_iterator(folder)) {
        std::error_code ec;
        const std::uintmax_t size = e.is_regular_file(ec) ? e.file_size(ec) : 0;
        out[e.path().filename().string()] = {size,
                                             fs::symlink_status(e.path()).type() == fs::file_type::regular
                                                 ? fs::last_write_time(e.path())
                                                 : fs::file_time_type{}};
    }
    return out;
}

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(gen());
    return out;
}

}  // namespace

TEST(ReportCommands, BadFoldersFailWithTheReadersMessageAndStayUntouched) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> make;
        const char* message;  // expected on stderr
    };
    const Case cases[] = {
        {"random bytes",
         [](const fs::path& d) {
             // Format word 0 so the random part reaches the size check.
             auto bytes = RandomBytes(512 + 16 * 40 + 9, 1);
             std::fill(bytes.begin() + 32, bytes.begin() + 36, 0);
             qvx::test::WriteBytes(d / "00000000.DAT", bytes);
         },
         "Invalid report format."},
        {"random names",
         [](const fs::path& d) {
             qvx::test::WriteBytes(d / "x7.DAT", RandomBytes(4096, 3));
             qvx::test::WriteBytes(d / "00000000.DAT", RandomBytes(4096, 4));
         },
         ""},
        {"truncated header",
         [](const fs::path& d) { qvx::test::WriteBytes(d / "00000000.DAT", RandomBytes(300, 5)); },
         "Invalid file header size."},
        {"directory named like a report file",
         [](const fs::path& d) { fs::create_directory(d / "00000001.DAT"); }, ".DAT file not found."},
        {"dangling link", [](const fs::path& d) { fs::create_symlink(d / "gone", d / "00000000.DAT"); },
         "File access error."},
        {"fifo", [](const fs::path& d) { ASSERT_EQ(::mkfifo((d / "00000000.DAT").c_str(), 0644), 0); },
         "File access error."},
        {"gap after the first file",
         [](const fs::path& d) {
             ReportBuilder(d).AddFile(0, kRecordsPerReportFile, ReportBuilder::kSparse).AddFile(2, 3);
         },
         "Invalid DAT files."},
    };
    for (const Case& c : cases) {
        qvx::test::TempDir dir("qvanalog-bad");
        c.make(dir.Path());
        const auto before = Snapshot(dir.Path());
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"info", dir.Path().string(), "--json"},
              std::vector<std::string>{"read", dir.Path().string(), "--index", "0"},
              std::vector<std::string>{"find", dir.Path().string(), "--time", "0", "--json"}}) {
            const Result r = RunQvanalog(args);
            EXPECT_EQ(r.status, 1) << c.name << " / " << args[0] << ": " << r.err;
            EXPECT_EQ(r.out, "") << c.name << " / " << args[0];
            EXPECT_NE(r.err.find(c.message), std::string::npos)
                << c.name << " / " << args[0] << ": " << r.err;
            EXPECT_NE(r.err.find("qvanalog: cannot open report folder"), std::string::npos) << c.name;
            // Under the sanitizers a finding also ends the program with status 1.
            EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
        }
        EXPECT_EQ(Snapshot(dir.Path()), before) << c.name << ": the folder was changed";
    }
}

TEST(ReportCommands, ATornLastRecordIsReportedAndEveryWholeRecordReads) {
    qvx::test::TempDir dir("qvanalog-torn");
    ReportBuilder(dir.Path()).AddFile(0, 10);
    fs::resize_file(dir.Path() / "00000000.DAT", 512 + 9 * 16 + 11);
    const auto before = Snapshot(dir.Path());
    const Result info = RunQvanalog({"info", dir.Path().string(), "--json"});
    ASSERT_EQ(info.status, 0) << info.err;
    const auto json = nlohmann::json::parse(info.out);
    EXPECT_EQ(json["totalRecordCount"], 9);
    EXPECT_EQ(json["files"][0]["tornBytes"], 11);
    const Result read = RunQvanalog({"read", dir.Path().string(), "--index", "8"});
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(Snapshot(dir.Path()), before) << "the report was changed";
}

TEST(ReportCommands, BadArgumentsAreRefused) {
    qvx::test::TempDir dir("qvanalog-args");
    ReportBuilder(dir.Path()).AddFile(0, 10);
    const std::string folder = dir.Path().string();
    const std::vector<std::vector<std::string>> cases = {
        {"read", folder},
        {"read", folder, "--index", "12x"},
        {"read", folder, "--index", "-1"},
        {"read", folder, "--index", "99999999999999999999999"},
        {"read", folder, "--index", "10"},
        {"find", folder, "--time", ""},
        {"info"},
        {"info", folder, folder},
        {"make-demo-report", folder},  // not empty
        {"make-demo-report", (dir.Path() / "00000000.DAT").string()},
    };
    for (const auto& args : cases) {
        const Result r = RunQvanalog(args);
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_EQ(r.status, 1) << joined << r.err;
        EXPECT_NE(r.err.find("qvanalog: "), std::string::npos) << joined << r.err;
        EXPECT_EQ(r.out, "") << joined;
    }
    EXPECT_EQ(fs::file_size(dir.Path() / "00000000.DAT"), 512u + 160u);
}

// --help and --version answer on stdout with status 0 (the man page and the shell completion
// are checked against this text); a missing or unknown command, or --help next to other
// words, prints the usage on stderr with status 2.
TEST(ReportCommands, HelpAndVersionOnStdoutUsageErrorsOnStderr) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"-h"}, {"--lang", "en", "--help"}}) {
        const Result r = RunQvanalog(args);
        EXPECT_EQ(r.status, 0) << args.front();
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out.rfind("usage: qvanalog [--lang ja|en] COMMAND ...\n", 0), 0u) << r.out;
        for (const char* command :
             {"\n  qvanalog info ", "\n  qvanalog settings init ", "\n  qvanalog family trace "})
            EXPECT_NE(r.out.find(command), std::string::npos) << command;
    }
    const Result version = RunQvanalog({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "qvanalog " QVX_PROJECT_VERSION "\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"no-such-command"}, {"--help", "info"}, {"settings"}}) {
        const Result r = RunQvanalog(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args.front());
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("usage: qvanalog", 0), 0u) << r.err;
    }
}

TEST(ReportCommands, InfoOnAnEmptyReportSaysNoneArePresent) {
    qvx::test::TempDir dir("qvanalog-empty");
    ReportBuilder(dir.Path()).AddFile(0, 0);
    const Result r = RunQvanalog({"info", dir.Path().string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("records           0 (none present)\n"), std::string::npos) << r.out;
    // A file that is a header alone has no indexes or times to show.
    EXPECT_NE(r.out.find("  00000000.DAT  records 0  no records\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("indexes 0-0"), std::string::npos) << r.out;
}

TEST(ReportCommands, JsonOutputOfARotatedReport) {
    qvx::test::TempDir dir("qvanalog-json");
    ReportBuilder builder(dir.Path());
    builder.StartTime(1'765'000'000, 5)
        .AddFile(1, kRecordsPerReportFile, ReportBuilder::kSparse)
        .AddFile(2, 20);
    const std::string folder = dir.Path().string();
    const std::uint64_t full = kRecordsPerReportFile;

    Result r = RunQvanalog({"info", folder, "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto info = nlohmann::json::parse(r.out);
    EXPECT_EQ(info["totalRecordCount"], 2 * full + 20);
    EXPECT_EQ(info["firstFileIndex"], 1);
    EXPECT_EQ(info["firstIndex"], full);
    EXPECT_EQ(info["lastIndex"], 2 * full + 19);
    EXPECT_EQ(info["lastTime"], builder.TimeAt(2 * full + 19));
    EXPECT_EQ(info["startSeconds"], 1'765'000'000);
    EXPECT_EQ(info["startNanoseconds"], 5);
    ASSERT_EQ(info["files"].size(), 3u);
    EXPECT_EQ(info["files"][0]["placeholder"], true);
    EXPECT_EQ(info["files"][0]["recordCount"], full);
    EXPECT_EQ(info["files"][2]["number"], 2);
    EXPECT_EQ(info["files"][2]["startTime"], builder.TimeAt(2 * full));
    EXPECT_EQ(info["files"][2]["endTime"], builder.TimeAt(2 * full + 19));

    r = RunQvanalog({"read", folder, "--index", std::to_string(2 * full + 3), "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto record = nlohmann::json::parse(r.out);
    EXPECT_EQ(record["timeStamp"], builder.TimeAt(2 * full + 3));
    const qvx::test::Samples samples = builder.SamplesAt(2 * full + 3);
    EXPECT_EQ(record["samples"], nlohmann::json(samples));

    // Records deleted by rotation cannot be read.
    r = RunQvanalog({"read", folder, "--index", "0"});
    EXPECT_EQ(r.status, 1);

    r = RunQvanalog({"find", folder, "--time", std::to_string(builder.TimeAt(2 * full + 7) + 3), "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto found = nlohmann::json::parse(r.out);
    EXPECT_EQ(found["found"], true);
    EXPECT_EQ(found["index"], 2 * full + 7);
    EXPECT_EQ(found["timeStamp"], builder.TimeAt(2 * full + 7));

    r = RunQvanalog({"find", folder, "--time", "5", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["found"], false);
}

TEST(ReportCommands, DemoReportReadsBack) {
    qvx::test::TempDir dir("qvanalog-demo");
    const std::string folder = (dir.Path() / "demo").string();
    Result r = RunQvanalog({"make-demo-report", folder, "--records", "20000"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunQvanalog({"info", folder, "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto info = nlohmann::json::parse(r.out);
    EXPECT_EQ(info["totalRecordCount"], 20000);
    EXPECT_EQ(info["lastTime"], 199990);  // one record every 10 ticks
    EXPECT_GT(info["startSeconds"].get<std::int64_t>(), 1'600'000'000);
    r = RunQvanalog({"read", folder, "--index", "19999"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("CH4"), std::string::npos) << r.out;
}
