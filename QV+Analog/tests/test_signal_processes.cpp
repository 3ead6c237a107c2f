// The real QV+Analog process on the offscreen platform with the simulated unit's counter
// pattern, ended by SIGTERM, SIGHUP and SIGINT as a service manager, a closed terminal, a
// logout or Ctrl-C would: during a trace, idle with and without an unsaved recording, and a
// second signal while the trace drains. Each run must end with status 0, save its
// preferences and its frame layout, and leave its recording (every record, from the first,
// without a gap or a torn tail) listed for recovery with its settings. The waveform viewer
// ends on the same signals with status 0.

#include "QV+Analog/tests/process_test_support.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Archive.h"
#include "QVxCore/ReportData/ReportFormat.h"
#include "qvusb/tests/CounterPattern.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

// What the counter check found in a recording's report folder.
struct CounterCheck {
    std::uint64_t records = 0;
    std::string problem;  // empty when every record is the pattern's next one
};

// Reads every *.DAT of `repo` in name order and checks each record against the counter
// pattern at `rate` samples/s, from the first record of the first file on.
CounterCheck CheckCounterRecording(const fs::path& repo, std::uint64_t rate) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(repo))
        if (entry.path().extension() == ".DAT") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    CounterCheck check;
    if (files.empty()) return {0, "no report files"};
    std::uint64_t index = std::stoull(files.front().stem().string()) * qvx::kRecordsPerReportFile;
    std::vector<char> block(qvx::kReportRecordSize * 65536);
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        in.seekg(qvx::kReportHeaderSize);
        while (in) {
            in.read(block.data(), static_cast<std::streamsize>(block.size()));
            const auto got = static_cast<std::size_t>(in.gcount());
            if (got % qvx::kReportRecordSize != 0)
                return {check.records, file.string() + " ends in a torn record"};
            for (std::size_t offset = 0; offset < got;
                 offset += qvx::kReportRecordSize, ++index, ++check.records) {
                const auto* record = reinterpret_cast<const std::uint8_t*>(block.data() + offset);
                if (!qvusb::test::MatchesCounterPattern(record, index, rate))
                    return {check.records, "record " + std::to_string(index) + " differs"};
            }
        }
    }
    return check;
}

class SignalProcessesTest : public qvx::test::ProgramProcessTest {
protected:
    SignalProcessesTest() : ProgramProcessTest("signal-processes", "counter") {}

    void SetUp() override {
        ProgramProcessTest::SetUp();
        // A session whose settings differ from the defaults: the recovered recording must carry them.
        qvx::AnalogSettings settings;
        settings.samplingFrequency = 0;  // 100K
        settings.channelVoltages[1] = 4;
        ASSERT_TRUE(qvx::Archive::Save(settings, dir.Path() / "start.qvxa"));
    }

    void TearDown() override {
        if (app && app->state() != QProcess::NotRunning) {
            app->kill();
            app->waitForFinished(10000);
        }
    }

    void StartApp() {
        app = std::make_unique<QProcess>();
        app->setProcessEnvironment(env);
        app->setProcessChannelMode(QProcess::MergedChannels);
        app->start(QVX_APP_PATH, {"--simulate", Q(dir.Path() / "start.qvxa")});
        ASSERT_TRUE(app->waitForStarted(10000));
        ASSERT_TRUE(WaitForOutput("Connected unit: AN0000SIM")) << log.toStdString();
    }

    bool WaitForOutput(const QString& pattern, int ms = 30000) {
        return ProgramProcessTest::WaitForOutput(*app, log, pattern, ms);
    }

    void StartTrace() {
        auto [code, out] = Cli({"family", "trace", "start", "--pid", QString::number(app->processId())});
        ASSERT_EQ(code, 0) << out.toStdString();
        ASSERT_TRUE(WaitForOutput("Trace state: tracing")) << log.toStdString();
        QTest::qWait(1000);
    }

    void StopTraceAndWait() {
        auto [code, out] = Cli({"family", "trace", "stop", "--pid", QString::number(app->processId())});
        ASSERT_EQ(code, 0) << out.toStdString();
        ASSERT_TRUE(WaitForOutput("Trace state: idle")) << log.toStdString();
    }

    fs::path PrefsFile() const { return dir.Path() / "data" / "qmrs" / "QV+Analog" / "AnalogRCSettings.prf"; }

    // Sends the signals, waits for the end and expects a normal exit with status 0. The
    // preferences file and the frame layout are removed first: what is there afterwards
    // was written by the shutdown.
    void SendAndExpectCleanExit(std::initializer_list<int> signalNumbers) {
        fs::remove(PrefsFile());
        fs::remove(LayoutFile());
        for (const int number : signalNumbers)
            ASSERT_EQ(::kill(static_cast<pid_t>(app->processId()), number), 0);
        ASSERT_TRUE(app->waitForFinished(60000));
        log += QString::fromUtf8(app->readAll());
        EXPECT_EQ(app->exitStatus(), QProcess::NormalExit) << log.toStdString();
        EXPECT_EQ(app->exitCode(), 0) << log.toStdString();
    }

    fs::path LayoutFile() const { return dir.Path() / "config" / "OrvalenData" / "QV+Analog.conf"; }

    // The preferences file and the frame layout were written by the shutdown.
    void ExpectPreferencesSaved() {
        EXPECT_TRUE(fs::exists(PrefsFile())) << log.toStdString();
        QSettings layout(Q(LayoutFile()), QSettings::IniFormat);
        EXPECT_TRUE(layout.contains("MainFrame/geometry")) << log.toStdString();
    }

    // The recordings `qvanalog recover --json` lists.
    QJsonArray ListRecoverable() {
        auto [code, out] = Cli({"recover", "--json"}, QProcess::SeparateChannels);
        EXPECT_EQ(code, 0) << out.toStdString();
        return QJsonDocument::fromJson(out.toUtf8()).object()["recordings"].toArray();
    }

    // Exactly one recording is listed, with its settings and every record of the pattern.
    void ExpectOneCompleteRecordingForRecovery() {
        const QJsonArray list = ListRecoverable();
        ASSERT_EQ(list.size(), 1) << log.toStdString();
        const QJsonObject recording = list[0].toObject();
        EXPECT_TRUE(recording["hasSettings"].toBool());
        EXPECT_TRUE(recording["readable"].toBool());
        EXPECT_EQ(recording["tornBytes"].toInteger(), 0);
        EXPECT_EQ(recording["problem"].toString(), QString());
        const fs::path folder = recording["folder"].toString().toStdString();
        EXPECT_TRUE(log.contains(QString::fromStdString(folder.filename().string())))
            << "the log names where the recording is\n"
            << log.toStdString();
        qvx::AnalogSettings settings;
        ASSERT_TRUE(qvx::Archive::Load(settings, folder / "recording.qvxa"));
        EXPECT_EQ(settings.samplingFrequency, 0);
        EXPECT_EQ(settings.channelVoltages[1], 4);
        const CounterCheck check = CheckCounterRecording(
            folder / "repo", static_cast<std::uint64_t>(settings.GetSamplingFrequency()));
        EXPECT_EQ(check.problem, "");
        EXPECT_GT(check.records, 10'000u);
        EXPECT_EQ(static_cast<qint64>(check.records), recording["records"].toInteger());
    }

    std::unique_ptr<QProcess> app;
    QString log;
};

}  // namespace

TEST_F(SignalProcessesTest, EachSignalDuringATraceDrainsItAndKeepsTheRecordingForRecovery) {
    for (const int number : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(number);
        fs::remove_all(dir.Path() / "data");
        log.clear();
        StartApp();
        StartTrace();
        SendAndExpectCleanExit({number});
        EXPECT_TRUE(log.contains("once the trace has stopped with drain")) << log.toStdString();
        EXPECT_TRUE(log.contains("Trace state: idle")) << "the trace ended by its drain\n"
                                                       << log.toStdString();
        ExpectPreferencesSaved();
        ExpectOneCompleteRecordingForRecovery();
    }
}

TEST_F(SignalProcessesTest, IdleTheProgramEndsAndKeepsOnlyAnUnsavedRecording) {
    // Nothing recorded: nothing is left for recovery.
    StartApp();
    SendAndExpectCleanExit({SIGTERM});
    ExpectPreferencesSaved();
    EXPECT_TRUE(ListRecoverable().isEmpty()) << log.toStdString();

    // A finished trace nobody saved: kept, not asked about.
    log.clear();
    StartApp();
    StartTrace();
    StopTraceAndWait();
    SendAndExpectCleanExit({SIGHUP});
    ExpectPreferencesSaved();
    ExpectOneCompleteRecordingForRecovery();
}

TEST_F(SignalProcessesTest, ASecondSignalWhileDrainingEndsAtOnceKeepingEveryWrittenRecord) {
    StartApp();
    StartTrace();
    // Both arrive before the drain can end (it takes at least the unit's 100 ms stop turn).
    SendAndExpectCleanExit({SIGINT, SIGTERM});
    EXPECT_TRUE(log.contains("received again while the trace drains")) << log.toStdString();
    ExpectPreferencesSaved();
    ExpectOneCompleteRecordingForRecovery();
}

TEST_F(SignalProcessesTest, TheWaveformViewerEndsOnEachSignalThroughItsTeardown) {
    auto [made, out] = Cli({"make-demo-report", Q(dir.Path() / "demo"), "--records", "200000"});
    ASSERT_EQ(made, 0) << out.toStdString();
    for (const int number : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(number);
        QProcess viewer;
        viewer.setProcessEnvironment(env);
        viewer.setProcessChannelMode(QProcess::MergedChannels);
        viewer.start(QVX_VIEWER_PATH, {Q(dir.Path() / "demo")});
        ASSERT_TRUE(viewer.waitForStarted(10000));
        QTest::qWait(1500);  // the window is up and its event loop runs
        ASSERT_EQ(viewer.state(), QProcess::Running) << viewer.readAll().toStdString();
        ASSERT_EQ(::kill(static_cast<pid_t>(viewer.processId()), number), 0);
        ASSERT_TRUE(viewer.waitForFinished(30000));
        EXPECT_EQ(viewer.exitStatus(), QProcess::NormalExit) << viewer.readAll().toStdString();
        EXPECT_EQ(viewer.exitCode(), 0);
    }
}
