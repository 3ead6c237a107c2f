// qvanalog family commands against a family instance in this test process. The
// program runs as a child process while this process keeps its event loop going,
// so the instance here can answer.

#include "QVxWinCommon/DataClasses/QVxAppIntegration.h"
#include "QVxWinCommon/tests/family_test_support.h"

#include <QProcess>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using qvx::test::RunUntil;

namespace {

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

ProgramRun RunQvanalog(const QStringList& args) {
    QProcess process;
    process.start(QStringLiteral(QVANALOG_PATH), args);
    ProgramRun run;
    if (!process.waitForStarted(10000)) return run;
    if (!RunUntil([&] { return process.state() == QProcess::NotRunning; }, 60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    if (process.exitStatus() == QProcess::NormalExit) run.status = process.exitCode();
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

class FamilyCommands : public qvx::test::FamilyFolderTest {
protected:
    void SetUp() override {
        FamilyFolderTest::SetUp();
        m_instance.SetSyncTimeHandler([this](std::int64_t absNs) { m_times.push_back(absNs); });
        m_instance.SetSyncTraceHandler([this](int wParam) { m_traces.push_back(wParam); });
        m_instance.SetReportCheckHandler([this](const std::string& path) {
            m_checks.push_back(path);
            return true;
        });
        ASSERT_TRUE(m_instance.Start());
    }

    QVxAppIntegration m_instance;
    std::vector<std::int64_t> m_times;
    std::vector<int> m_traces;
    std::vector<std::string> m_checks;
};

TEST_F(FamilyCommands, ListSyncTraceAndCheckReachTheInstance) {
    const std::string pid = std::to_string(::getpid());
    const ProgramRun list = RunQvanalog({"family", "list"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out.rfind(pid + "\t", 0), 0u) << list.out;

    const ProgramRun sync = RunQvanalog({"family", "sync-time", "1700000000000000001"});
    EXPECT_EQ(sync.status, 0) << sync.err;
    ASSERT_TRUE(RunUntil([&] { return !m_times.empty(); }));
    EXPECT_EQ(m_times, std::vector<std::int64_t>{1700000000000000001});

    EXPECT_EQ(RunQvanalog({"family", "trace", "start", "--pid", QString::fromStdString(pid)}).status, 0);
    EXPECT_EQ(RunQvanalog({"family", "trace", "stop"}).status, 0);
    ASSERT_TRUE(RunUntil([&] { return m_traces.size() == 2; }));
    EXPECT_EQ(m_traces, (std::vector<int>{0, 1}));

    const fs::path query = m_folder / "query.json";
    std::ofstream(query) << R"({"reportFullPath": "/r", "commandResultFilePath": "/r.json"})";
    const ProgramRun check = RunQvanalog({"family", "check-report", QString::fromStdString(query.string())});
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_EQ(nlohmann::json::parse(check.out), (nlohmann::json{{"pid", ::getpid()}, {"result", 1}}));
    EXPECT_EQ(m_checks, std::vector<std::string>{query.string()});
}

TEST_F(FamilyCommands, BadArgumentsAndMissingPeersFailClearly) {
    const ProgramRun badTime = RunQvanalog({"family", "sync-time", "-5"});
    EXPECT_EQ(badTime.status, 1);
    EXPECT_NE(badTime.err.find("ABS_NS"), std::string::npos) << badTime.err;
    EXPECT_EQ(RunQvanalog({"family", "trace", "pause"}).status, 1);
    EXPECT_EQ(RunQvanalog({"family", "check-report", (m_folder / "none.json").c_str()}).status, 1);

    const ProgramRun otherPid = RunQvanalog({"family", "trace", "start", "--pid", "999999999"});
    EXPECT_EQ(otherPid.status, 1);
    EXPECT_NE(otherPid.err.find("no family instance with pid 999999999"), std::string::npos) << otherPid.err;

    ::setenv("QVPLUS_FAMILY_EXE_MATCH", "no-such-program", 1);
    const ProgramRun none = RunQvanalog({"family", "list"});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("no family instance found"), std::string::npos) << none.err;
    EXPECT_TRUE(m_traces.empty());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
