// Two real QV+Analog processes with the simulated unit on the offscreen platform,
// driven from outside as a family peer would: qvanalog family list, trace
// start/stop, sync-time and check-report, a burst of sync times and malformed
// lines written straight to an instance's socket.

#include "QV+Analog/tests/process_test_support.h"
#include "QVxCore/ReportData/ReportData.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;

namespace {

class FamilyProcessesTest : public qvx::test::ProgramProcessTest {
protected:
    FamilyProcessesTest() : ProgramProcessTest("family-processes", "demo") {}

    void TearDown() override {
        for (auto& app : apps) {
            app->terminate();
            if (!app->waitForFinished(10000)) app->kill();
        }
    }

    QProcess& StartApp() {
        apps.push_back(std::make_unique<QProcess>());
        QProcess& app = *apps.back();
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::MergedChannels);
        app.start(QVX_APP_PATH, {"--simulate"});
        EXPECT_TRUE(app.waitForStarted(10000));
        return app;
    }

    // The report folder holding .DAT files (the only trace of this test).
    fs::path FindReportFolder() const {
        for (const auto& entry : fs::recursive_directory_iterator(dir.Path() / "data"))
            if (entry.is_directory() && entry.path().filename() == "repo" && !fs::is_empty(entry.path()))
                return entry.path();
        return {};
    }

    // Writes `lines` on one connection to the instance `pid`.
    bool WriteToInstance(qint64 pid, const QByteArray& lines) {
        QLocalSocket socket;
        socket.connectToServer(Q(dir.Path() / "family" / std::to_string(pid)));
        if (!socket.waitForConnected(3000)) return false;
        socket.write(lines);
        const bool written = socket.waitForBytesWritten(3000);
        socket.disconnectFromServer();
        return written;
    }

    std::vector<std::unique_ptr<QProcess>> apps;
};

QByteArray SyncLine(std::int64_t absNs) {
    return QByteArray(R"({"message": "WM_QVX_SYNC_TO_TIME", "absNs": )") + QByteArray::number(absNs) + "}\n";
}

}  // namespace

TEST_F(FamilyProcessesTest, TwoInstancesFollowTraceRequestsSyncTimesAndReportChecks) {
    // The first instance connects the only unit by itself; the second sees it and does not.
    QProcess& first = StartApp();
    QString firstLog, secondLog;
    ASSERT_TRUE(WaitForOutput(first, firstLog, "Connected unit: AN0000SIM")) << firstLog.toStdString();
    QProcess& second = StartApp();
    ASSERT_TRUE(WaitForOutput(second, secondLog, "listening on")) << secondLog.toStdString();
    const QString firstPid = QString::number(first.processId());

    auto [listCode, list] = Cli({"family", "list"});
    ASSERT_EQ(listCode, 0) << list.toStdString();
    EXPECT_TRUE(list.contains(firstPid)) << list.toStdString();
    EXPECT_TRUE(list.contains(QString::number(second.processId()))) << list.toStdString();

    // Trace start and stop through the family.
    auto [startCode, started] = Cli({"family", "trace", "start", "--pid", firstPid});
    ASSERT_EQ(startCode, 0) << started.toStdString();
    ASSERT_TRUE(WaitForOutput(first, firstLog, "Trace state: tracing")) << firstLog.toStdString();
    QTest::qWait(1500);
    auto [stopCode, stopped] = Cli({"family", "trace", "stop", "--pid", firstPid});
    ASSERT_EQ(stopCode, 0) << stopped.toStdString();
    ASSERT_TRUE(WaitForOutput(first, firstLog, "Trace state: idle")) << firstLog.toStdString();
    const fs::path repo = FindReportFolder();
    ASSERT_FALSE(repo.empty());
    const auto reader = qvx::ReportDataReader::Open(repo);
    ASSERT_NE(reader, nullptr);
    const std::int64_t start = reader->GetStartTimeNs();
    const std::int64_t lastNs = static_cast<std::int64_t>(reader->GetLastTime()) * 10;
    ASSERT_GT(lastNs, 100'000'000);

    // One sync time moves the cursor.
    const std::int64_t rel = lastNs / 3;
    auto [syncCode, synced] = Cli({"family", "sync-time", QString::number(start + rel)});
    ASSERT_EQ(syncCode, 0) << synced.toStdString();
    ASSERT_TRUE(WaitForOutput(first, firstLog, QString("cursor moved to %1 ns").arg(rel)))
        << firstLog.toStdString();

    // A burst of five moves it once, to the last of them.
    QByteArray burst;
    for (int i = 1; i <= 5; ++i) burst += SyncLine(start + rel + i * 1000);
    firstLog.clear();
    ASSERT_TRUE(WriteToInstance(first.processId(), burst));
    ASSERT_TRUE(WaitForOutput(first, firstLog, QString("cursor moved to %1 ns").arg(rel + 5000)))
        << firstLog.toStdString();
    QTest::qWait(500);
    firstLog += QString::fromUtf8(first.readAll());
    EXPECT_EQ(firstLog.count("cursor moved to"), 1) << firstLog.toStdString();

    // Malformed and unknown lines are ignored; the instance still answers.
    ASSERT_TRUE(WriteToInstance(first.processId(), "not json\n{\"message\": \"WM_QVX_NOPE\"}\n[1,2]\n"));
    const fs::path query = dir.Path() / "query.json";
    const fs::path answer = dir.Path() / "answer.json";
    QJsonObject q;
    q["reportFullPath"] = Q(repo);
    q["commandResultFilePath"] = Q(answer);
    std::ofstream(query) << QJsonDocument(q).toJson().toStdString();
    auto [checkCode, checked] = Cli({"family", "check-report", Q(query), "--pid", firstPid});
    ASSERT_EQ(checkCode, 0) << checked.toStdString();
    EXPECT_TRUE(checked.contains("\"result\": 1") || checked.contains("\"result\":1"))
        << checked.toStdString();
    std::ifstream in(answer);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(QJsonDocument::fromJson(QByteArray::fromStdString(text)).object()["isReportOpen"].toBool())
        << text;
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(second.state(), QProcess::Running);
}
