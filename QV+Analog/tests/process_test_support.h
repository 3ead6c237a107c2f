#pragma once
// The real programs (QV+Analog, qvanalog) as processes on the offscreen platform, each test
// in folders of its own (data, family, configuration), with the simulated unit's `signal`
// ("demo" or "counter") and no simulated-unit list, faults or family match of the caller.

#include "QVxCore/tests/support/ReportBuilder.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

namespace qvx::test {

class ProgramProcessTest : public ::testing::Test {
protected:
    ProgramProcessTest(const std::string& tag, const QString& signal) : dir(tag), m_signal(signal) {}

    void SetUp() override {
        env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QVPLUS_TEMP_DIR", Q(dir.Path() / "data"));
        env.insert("QVPLUS_FAMILY_DIR", Q(dir.Path() / "family"));
        env.insert("XDG_CONFIG_HOME", Q(dir.Path() / "config"));
        env.insert("XDG_DATA_HOME", Q(dir.Path() / "xdg"));
        env.insert("QVPLUS_SIM_SIGNAL", m_signal);
        env.remove("QVPLUS_SIMULATED_UNITS");
        env.remove("QVPLUS_SIM_SPEED");
        env.remove("QVPLUS_SIM_FAULTS");
        env.remove("QVPLUS_FAMILY_EXE_MATCH");
    }

    static QString Q(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

    // Runs qvanalog with `arguments`; its exit code and output (standard output alone when
    // `mode` is SeparateChannels).
    std::pair<int, QString> Cli(const QStringList& arguments,
                                QProcess::ProcessChannelMode mode = QProcess::MergedChannels) {
        QProcess cli;
        cli.setProcessEnvironment(env);
        cli.setProcessChannelMode(mode);
        cli.start(QVX_CLI_PATH, arguments);
        cli.waitForFinished(30000);
        return {cli.exitCode(), QString::fromUtf8(cli.readAllStandardOutput())};
    }

    // Reads the app's output into `log` until `pattern` matches, or `ms` passed.
    static bool WaitForOutput(QProcess& app, QString& log, const QString& pattern, int ms = 30000) {
        const QRegularExpression re(pattern);
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            app.waitForReadyRead(100);
            log += QString::fromUtf8(app.readAll());
            if (re.match(log).hasMatch()) return true;
            if (app.state() != QProcess::Running) return false;
        }
        return false;
    }

    TempDir dir;
    QProcessEnvironment env;

private:
    QString m_signal;
};

}  // namespace qvx::test
