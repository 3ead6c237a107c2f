// qvanalog record and query, run as the built program against the simulated unit.

#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Archive.h"
#include "QVxCore/ReportData/ReportFormat.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "QVxCore/tests/support/SmallTmpfs.h"

#include "tools/qvanalog/tests/QvanalogRunner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <future>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

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

// The .DAT files of the instance folders below `app` (the runs' cache folders).
std::vector<fs::path> InstanceReportFiles(const fs::path& app) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(app))
        if (entry.path().extension() == ".DAT") files.push_back(entry.path());
    return files;
}

// `qvanalog record` started in the background, its output in files.
class BackgroundRecord {
public:
    BackgroundRecord(const std::vector<std::string>& args, const fs::path& outputBase)
        : m_out(outputBase.string() + ".out"), m_err(outputBase.string() + ".err") {
        m_pid = ::fork();
        if (m_pid == 0) {
            ::freopen(m_out.c_str(), "w", stdout);
            ::freopen(m_err.c_str(), "w", stderr);
            std::vector<char*> argv{const_cast<char*>(QVANALOG_PATH)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(QVANALOG_PATH, argv.data());
            ::_exit(127);
        }
    }
    ~BackgroundRecord() {
        if (m_pid > 0 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    void Signal(int signal) const { ::kill(m_pid, signal); }
    // Exit status, or -1 after a signal or when it did not end within `limit`.
    int Wait(std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        int raw = 0;
        while (::waitpid(m_pid, &raw, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        m_reaped = true;
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    std::string Out() const { return Slurp(m_out); }
    std::string Err() const { return Slurp(m_err); }

private:
    pid_t m_pid = -1;
    bool m_reaped = false;
    std::string m_out;
    std::string m_err;
};

TEST_F(RecordCommand, TheOutFolderIsCheckedAndLockedBeforeTheTrace) {
    // Another recording holds the folder.
    const int held = ::open((dir.Path() / "out").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    const Result busy = RunRecordTool({"record", "--out", Out("a.qvxa"), "--duration", "0.1", "--simulate"});
    ::close(held);
    EXPECT_EQ(busy.status, 1);
    EXPECT_NE(busy.err.find("another qvanalog record is writing into"), std::string::npos) << busy.err;

    // Options given twice are refused, not decided by the first one.
    const Result twice = RunRecordTool({"record", "--out", Out("a.qvxa"), "--rate", "1M", "--duration", "0.1",
                                        "--rate", "5M", "--simulate"});
    EXPECT_EQ(twice.status, 1);
    EXPECT_NE(twice.err.find("--rate is given more than once"), std::string::npos) << twice.err;

    // A unit that is not listed is refused without connecting another one.
    ::setenv("QVPLUS_SIMULATED_UNITS", "AN0001,TR0002", 1);
    const Result other = RunRecordTool({"record", "--out", Out("a.qvxa"), "--device", "TR0002"});
    ::unsetenv("QVPLUS_SIMULATED_UNITS");
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.err.find("no analog unit with the serial number TR0002"), std::string::npos) << other.err;
    EXPECT_EQ(other.out, "");
    EXPECT_EQ(other.err.find("USB Connect OK"), std::string::npos) << other.err;

    // A read-only folder.
    qvx::test::SmallTmpfs readOnly(dir.Path() / "ro", "size=64k", MS_RDONLY);
    if (!readOnly.Mounted()) GTEST_SKIP() << readOnly.Reason();
    const Result ro = RunRecordTool(
        {"record", "--out", (readOnly.Path() / "a.qvxa").string(), "--duration", "0.1", "--simulate"});
    EXPECT_EQ(ro.status, 1);
    EXPECT_NE(ro.err.find("cannot create files in"), std::string::npos) << ro.err;
    EXPECT_TRUE(InstanceReportFiles(dir.Path() / "app").empty());
}

TEST_F(RecordCommand, AFailedSaveKeepsTheRecordingAndSaysHowToSaveIt) {
    // 0.3 s at 100K is about 490 KB: more than the output volume holds.
    qvx::test::SmallTmpfs disk(dir.Path() / "small", "size=256k");
    if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
    fs::create_directories(disk.Path() / "o");
    const std::string out = (disk.Path() / "o" / "s.qvxa").string();
    const Result r = RunRecordTool(
        {"record", "--out", out, "--rate", "100K", "--duration", "0.3", "--simulate", "--json"});
    EXPECT_EQ(r.status, 1);
    const auto summary = nlohmann::json::parse(r.out);
    const auto records = summary.at("records").get<std::uint64_t>();
    EXPECT_GT(records, 20'000u);
    EXPECT_EQ(summary.at("bytes").get<std::uint64_t>(), records * 16);  // the kept files
    EXPECT_NE(r.err.find("保存先のディスク容量が不足しています。"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(disk.Path() / "o" / "repo"));

    // The printed command saves the kept recording.
    std::smatch match;
    ASSERT_TRUE(std::regex_search(
        r.err, match, std::regex("save it with: qvanalog recover ([0-9a-f]{32}) --out '([^']+)'")))
        << r.err;
    EXPECT_EQ(match[2].str(), out);
    const std::string again = Out("again.qvxa");
    const Result saved = RunQvanalog({"recover", match[1].str(), "--out", again});
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(fs::file_size(dir.Path() / "out" / "repo" / "00000000.DAT"), 512 + records * 16);
    EXPECT_TRUE(fs::exists(dir.Path() / "out" / "repo" / "meta"));
}

TEST_F(RecordCommand, DurationCountsTheRecordsOwnTimeFromTheStart) {
    ::setenv("QVPLUS_SIM_SIGNAL", "counter", 1);
    // Longer than the unit's start-up wait, whose records arrive as the first block.
    const Result r = RunRecordTool(
        {"record", "--out", Out("d.qvxa"), "--rate", "100K", "--duration", "1", "--simulate", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto records = nlohmann::json::parse(r.out).at("records").get<std::uint64_t>();
    constexpr std::uint64_t kWanted = 102'400;  // 1 s at 102,400 records/s
    EXPECT_GE(records, kWanted);
    EXPECT_LT(records, kWanted + 102'400 / 10) << "more than 0.1 s past the duration";
    EXPECT_EQ(nlohmann::json::parse(r.out).at("storedDisplayTriggers"), 0);
}

TEST_F(RecordCommand, TerminationAndHangUpStopLikeCtrlCAndLaterSignalsWaitForTheSave) {
    for (const int first : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(first);
        const fs::path folder = dir.Path() / ("sig" + std::to_string(first));
        fs::create_directories(folder);
        BackgroundRecord run(
            {"record", "--out", (folder / "s.qvxa").string(), "--rate", "100K", "--simulate", "--json"},
            dir.Path() / ("sig" + std::to_string(first)));
        // Wait until records reach the instance folder's report file.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        auto recording = [&] {
            for (const fs::path& file : InstanceReportFiles(dir.Path() / "app"))
                if (fs::file_size(file) > 512) return true;
            return false;
        };
        while (!recording() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(recording()) << run.Err();
        run.Signal(first);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        run.Signal(SIGINT);
        run.Signal(SIGTERM);
        ASSERT_EQ(run.Wait(std::chrono::seconds(60)), 0) << run.Err();
        const auto records = nlohmann::json::parse(run.Out()).at("records").get<std::uint64_t>();
        EXPECT_GT(records, 0u);
        EXPECT_EQ(fs::file_size(folder / "repo" / "00000000.DAT"), 512 + records * 16);
        EXPECT_TRUE(fs::exists(folder / "s.qvxa"));
        EXPECT_NE(run.Err().find("the signal is ignored until that is done"), std::string::npos) << run.Err();
        EXPECT_TRUE(InstanceReportFiles(dir.Path() / "app").empty());
    }
}

// The records of the data files of `repo`, in order, checked against the counter pattern
// (record i holds i & 0x3FFF, (i >> 14) & 0x3FFF, 7i & 0x3FFF, 0x3FFF - (i & 0x3FFF)). The
// number of records, or the first index that differs.
struct CounterCheck {
    std::uint64_t records = 0;
    std::optional<std::uint64_t> firstBad;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> starts;  // each header's start s, ns
};

CounterCheck CheckCounterRecords(const fs::path& repo) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(repo))
        if (entry.path().extension() == ".DAT") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    CounterCheck check;
    std::vector<std::uint8_t> buffer(16 << 20);
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::uint8_t header[512];
        in.read(reinterpret_cast<char*>(header), sizeof header);
        check.starts.emplace_back(qvx::LoadLE64(header + qvx::kHeaderOffsetStartSeconds),
                                  qvx::LoadLE64(header + qvx::kHeaderOffsetStartNanoseconds));
        while (in) {
            in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
            const std::size_t whole = static_cast<std::size_t>(in.gcount()) / 16;
            for (std::size_t n = 0; n < whole; ++n, ++check.records) {
                const std::uint8_t* r = buffer.data() + n * 16 + 8;
                const std::uint64_t i = check.records;
                const bool ok = qvx::LoadLE16(r) == (i & 0x3FFF) &&
                                qvx::LoadLE16(r + 2) == ((i >> 14) & 0x3FFF) &&
                                qvx::LoadLE16(r + 4) == ((7 * i) & 0x3FFF) &&
                                qvx::LoadLE16(r + 6) == 0x3FFF - (i & 0x3FFF);
                if (!ok && !check.firstBad) check.firstBad = i;
            }
        }
    }
    return check;
}

TEST_F(RecordCommand, AKilledRecordingIsRecoveredWithEveryRecordItsStartTimeAndItsSettings) {
    ::setenv("QVPLUS_SIM_SIGNAL", "counter", 1);
    const fs::path settingsFile = dir.Path() / "trace.qvxa";
    ASSERT_EQ(RunQvanalog({"settings", "init", settingsFile.string()}).status, 0);
    auto settings = nlohmann::json::parse(Slurp(settingsFile));
    settings.at("value0")["samplingFrequency"] = 2;  // 10M
    settings.at("value0")["trigger3ChThreshold"] = 1234;
    settings.at("value0")["channelVoltages"][2] = 5;
    std::ofstream(settingsFile) << settings.dump(4);

    const auto before = std::chrono::system_clock::now();
    BackgroundRecord run(
        {"record", "--out", Out("never.qvxa"), "--settings", settingsFile.string(), "--simulate"},
        dir.Path() / "killed");
    // Killed once the second data file has records: both headers must carry the start time.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    auto secondFileWritten = [&] {
        for (const fs::path& file : InstanceReportFiles(dir.Path() / "app"))
            if (file.filename() == "00000001.DAT" && fs::file_size(file) > 512 + 16 * 1024 * 1024)
                return true;
        return false;
    };
    while (!secondFileWritten() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(secondFileWritten()) << run.Err();
    run.Signal(SIGKILL);
    EXPECT_EQ(run.Wait(std::chrono::seconds(10)), -1);

    const Result listed = RunQvanalog({"recover", "--json"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    const auto recordings = nlohmann::json::parse(listed.out).at("recordings");
    ASSERT_EQ(recordings.size(), 1u) << listed.out;
    const auto& orphan = recordings.front();
    const fs::path orphanRepo = fs::path(orphan.at("folder").get<std::string>()) / "repo";
    const CounterCheck onDisk = CheckCounterRecords(orphanRepo);
    EXPECT_EQ(orphan.at("records").get<std::uint64_t>(), onDisk.records);
    EXPECT_GT(onDisk.records, qvx::kRecordsPerReportFile);
    EXPECT_EQ(orphan.at("tornBytes"), 0);
    EXPECT_TRUE(orphan.at("readable").get<bool>());
    const auto startNs = orphan.at("startTimeNs").get<std::int64_t>();
    const auto beforeNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(before.time_since_epoch()).count();
    EXPECT_GE(startNs, beforeNs);
    EXPECT_LT(startNs, beforeNs + 120'000'000'000);

    const std::string saved = Out("recovered.qvxa");
    const Result recovered = RunQvanalog({"recover", orphan.at("id").get<std::string>(), "--out", saved});
    ASSERT_EQ(recovered.status, 0) << recovered.err;
    EXPECT_FALSE(fs::exists(orphanRepo.parent_path()));
    EXPECT_EQ(nlohmann::json::parse(RunQvanalog({"recover", "--json"}).out).at("recordings").size(), 0u);

    // Every record from 0 to the last whole one, unchanged, and the same start time in every header.
    const CounterCheck savedCheck = CheckCounterRecords(dir.Path() / "out" / "repo");
    EXPECT_EQ(savedCheck.records, onDisk.records);
    EXPECT_FALSE(savedCheck.firstBad) << "first differing record " << *savedCheck.firstBad;
    ASSERT_EQ(savedCheck.starts.size(), 2u);
    for (const auto& [seconds, nanoseconds] : savedCheck.starts)
        EXPECT_EQ(static_cast<std::int64_t>(seconds * 1'000'000'000 + nanoseconds), startNs);
    const Result info = RunQvanalog({"info", saved, "--json"});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(nlohmann::json::parse(info.out).at("totalRecordCount").get<std::uint64_t>(), onDisk.records);
    // The trace's settings.
    auto savedSettings = nlohmann::json::parse(Slurp(saved)).at("value0");
    auto traceSettings = settings.at("value0");
    savedSettings.erase("cereal_class_version");
    traceSettings.erase("cereal_class_version");
    EXPECT_EQ(savedSettings, traceSettings);
}

// The simulated trigger inputs: TRG1 rises 0.5 s after the start command and falls at 1.0 s,
// TRG2 rises at 0.25 s and falls at 0.75 s; TRG3 is a 10 kHz clock. A stop trigger ends the
// capture on the unit, and then the trace: the command ends by itself, within a second of the
// last record, and the session holds every record up to the edge.
TEST_F(RecordCommand, StopTriggersEndTheTraceAndTheSessionHoldsEveryRecordUpToTheEdge) {
    ::setenv("QVPLUS_SIM_SIGNAL", "counter", 1);
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, int>> settings;
        std::uint64_t records;
        std::int64_t lastTimeNs;  // of the last record
        std::uint32_t edgeMs;     // the stop edge, after the start command
    };
    // At 102,400 records/s record i lies i x 1e9 / 102,400 ns after the first record.
    const auto at = [](std::uint64_t i) {
        return static_cast<std::int64_t>(i * 1'000'000'000 / 102'400) / 10 * 10;
    };
    const std::vector<Case> cases{
        {"trg1-high", {{"trigger1ChStopMode", 1}}, 51'200, at(51'199), 500},
        {"trg1-low", {{"trigger1ChStopMode", 2}}, 102'400, at(102'399), 1000},
        {"trg2-high", {{"trigger2ChStopMode", 1}}, 25'600, at(25'599), 250},
        {"trg2-low", {{"trigger2ChStopMode", 2}}, 76'800, at(76'799), 750},
        {"or", {{"trigger1ChStopMode", 1}, {"trigger2ChStopMode", 1}}, 25'600, at(25'599), 250},
        {"and",
         {{"trigger1ChStopMode", 1}, {"trigger2ChStopMode", 1}, {"triggerStopCondition", 1}},
         51'200,
         at(51'199),
         500},
        // Held until TRG2 rises (0.25 s), stopped when TRG1 rises (0.5 s); the records' times
        // count from the start command.
        {"start-stop",
         {{"trigger2ChStartMode", 1}, {"trigger1ChStopMode", 1}},
         25'600,
         250'000'000 + at(25'599),
         500},
        // One record per rising TRG3 edge (every 100 us from 0) until TRG1 rises.
        {"trg3-stop", {{"trigger3ChMode", 1}, {"trigger1ChStopMode", 1}}, 5'000, 4'999 * 100'000, 500},
    };
    std::vector<std::future<Result>> runs;
    for (const Case& c : cases) {
        const fs::path settingsFile = dir.Path() / (std::string(c.name) + ".qvxa");
        ASSERT_EQ(RunQvanalog({"settings", "init", settingsFile.string()}).status, 0);
        auto settings = nlohmann::json::parse(Slurp(settingsFile));
        settings.at("value0")["samplingFrequency"] = 0;
        for (const auto& [key, value] : c.settings) settings.at("value0")[key] = value;
        std::ofstream(settingsFile) << settings.dump(4);
        fs::create_directories(dir.Path() / "out" / c.name);
        const std::string out = (dir.Path() / "out" / c.name / "s.qvxa").string();
        // No --duration: only the stop trigger can end these; a hang runs into the time limit.
        runs.push_back(std::async(std::launch::async, [out, settingsFile] {
            return qvanalog_test::RunQvanalog(
                {"record", "--out", out, "--settings", settingsFile.string(), "--simulate", "--json"}, 60);
        }));
    }
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const Case& c = cases[k];
        SCOPED_TRACE(c.name);
        const Result r = runs[k].get();
        ASSERT_EQ(r.status, 0) << r.err;
        const auto summary = nlohmann::json::parse(r.out);
        EXPECT_EQ(summary.at("records").get<std::uint64_t>(), c.records);
        EXPECT_EQ(summary.at("bytes").get<std::uint64_t>(), c.records * 16);
        EXPECT_EQ(summary.at("abortType"), 0);
        const auto elapsedMs = summary.at("elapsedMs").get<std::uint32_t>();
        EXPECT_GE(elapsedMs, c.edgeMs);
        EXPECT_LT(elapsedMs, c.edgeMs + 1000) << "the trace should end within a second of the edge";
        const std::string session = (dir.Path() / "out" / c.name / "s.qvxa").string();
        const Result info = RunQvanalog({"info", session, "--json"});
        ASSERT_EQ(info.status, 0) << info.err;
        const auto report = nlohmann::json::parse(info.out);
        EXPECT_EQ(report.at("totalRecordCount").get<std::uint64_t>(), c.records);
        EXPECT_EQ(report.at("lastTime").get<std::int64_t>() * 10, c.lastTimeNs);
        const Result last =
            RunQvanalog({"read", session, "--index", std::to_string(c.records - 1), "--json"});
        ASSERT_EQ(last.status, 0) << last.err;
        EXPECT_EQ(nlohmann::json::parse(last.out).at("samples")[0], (c.records - 1) % 16384);
    }
}

// Two units that report the same serial number: the first one is recorded, as the device
// library opens the first unit with the serial number asked for.
TEST_F(RecordCommand, TwoUnitsWithOneSerialNumberRecordTheFirstOfThem) {
    ::setenv("QVPLUS_SIMULATED_UNITS", "AN0001,AN0001", 1);
    const Result ask = RunRecordTool({"record", "--out", Out("dup.qvxa"), "--duration", "0.2"});
    EXPECT_EQ(ask.status, 1);
    EXPECT_NE(ask.err.find("several analog units attached (AN0001, AN0001); choose one with --device ID"),
              std::string::npos)
        << ask.err;
    const Result r = RunRecordTool({"record", "--out", Out("dup.qvxa"), "--device", "AN0001", "--rate",
                                    "100K", "--duration", "0.2", "--json"});
    ::unsetenv("QVPLUS_SIMULATED_UNITS");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_GT(nlohmann::json::parse(r.out).at("records").get<std::uint64_t>(), 0u);
    EXPECT_TRUE(fs::exists(dir.Path() / "out" / "repo" / "00000000.DAT"));
}

// A first start (no preferences file yet) prints nothing about the preferences; a damaged
// preferences file is still reported.
TEST_F(RecordCommand, AFirstStartSaysNothingOfTheMissingPreferencesButADamagedFileIsReported) {
    const Result first = RunQvanalog({"recover", "--json"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.err.find("preferences"), std::string::npos) << first.err;
    const fs::path prefs = dir.Path() / "app" / "qmrs" / "QV+Analog" / "AnalogRCSettings.prf";
    fs::create_directories(prefs.parent_path());
    std::ofstream(prefs) << "{\"m_cacheFolderPath\": ";
    const Result damaged = RunQvanalog({"recover", "--json"});
    EXPECT_NE(damaged.err.find("Failed to load preferences file."), std::string::npos) << damaged.err;
}

// An orphaned recording whose settings file is damaged: listed with that problem, and saved
// with the default settings as one without a settings file is; the damaged file is kept.
TEST_F(RecordCommand, AnOrphanWithADamagedSettingsFileIsListedAndRecoveredWithTheDefaults) {
    ASSERT_EQ(RunQvanalog({"recover", "--json"}).status, 0);  // makes the preferences and cache folder
    const fs::path cache = dir.Path() / "app" / "qmrs" / "QV+Analog";
    const std::string id(32, 'd');
    qvx::test::ReportBuilder(cache / id / "repo").AddFile(0, 300);
    std::ofstream(cache / id / "recording.qvxa") << R"({"value0": {"cereal_class_version": 5}})";

    const Result listed = RunQvanalog({"recover", "--json"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    const auto recordings = nlohmann::json::parse(listed.out).at("recordings");
    ASSERT_EQ(recordings.size(), 1u) << listed.out;
    EXPECT_EQ(recordings[0].at("hasSettings"), false);
    EXPECT_EQ(recordings[0].at("readable"), true);
    EXPECT_EQ(recordings[0].at("problem"), "the settings file is damaged; the default settings are used");

    const std::string saved = Out("recovered.qvxa");
    const Result recovered = RunQvanalog({"recover", id, "--out", saved});
    ASSERT_EQ(recovered.status, 0) << recovered.err;
    EXPECT_NE(recovered.err.find("kept as " + saved + ".damaged"), std::string::npos) << recovered.err;
    EXPECT_EQ(Slurp(saved + ".damaged"), R"({"value0": {"cereal_class_version": 5}})");
    qvx::AnalogSettings defaults, loaded;
    ASSERT_TRUE(qvx::Archive::Load(loaded, saved));
    EXPECT_EQ(*qvx::Archive::ToText(loaded), *qvx::Archive::ToText(defaults));
    const Result info = RunQvanalog({"info", saved, "--json"});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(nlohmann::json::parse(info.out).at("totalRecordCount"), 300);
    EXPECT_FALSE(fs::exists(cache / id));
}

}  // namespace
