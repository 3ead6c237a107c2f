#pragma once
// A whole application on the offscreen platform: its own temporary application
// data folder, family folder and frame settings, the simulated analog unit,
// recorded message boxes, and helpers that wait in the event loop.

#include "QV+Analog/QVxAnalogScopeApp.h"
#include "QV+Analog/tests/app_test_support.h"
#include "QV+AnalogCore/tests/demo_trigger_support.h"
#include "QVxCore/QVxAnalogDisplayTriggerAnalyzer.h"
#include "QVxCore/tests/support/ReportBuilder.h"

#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace qvx::test {

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QVPLUS_TEMP_DIR", (dir.Path() / "data").c_str(), 1);
        ::setenv("QVPLUS_FAMILY_DIR", (dir.Path() / "family").c_str(), 1);
        ::setenv("QVPLUS_SIMULATED_UNITS", "AN0000SIM", 1);
        ::setenv("QVPLUS_SIM_SIGNAL", "demo", 1);
        ::setenv("QVPLUS_SIM_SPEED", "", 1);
        ::setenv("QVPLUS_SIM_FAULTS", "", 1);
        settingsFile = QString::fromStdString((dir.Path() / "frame.ini").string());
    }

    void TearDown() override {
        app.reset();
        ::unsetenv("QVPLUS_TEMP_DIR");
        ::unsetenv("QVPLUS_FAMILY_DIR");
        ::unsetenv("QVPLUS_SIMULATED_UNITS");
    }

    CQVxAnalogScopeApp::Options MakeOptions(QStringList arguments = {}) {
        CQVxAnalogScopeApp::Options options;
        options.arguments = std::move(arguments);
        options.settingsFile = settingsFile;
        options.bitStreamPath = QVX_TEST_BITSTREAM;
        options.notification = &prompts;
        return options;
    }

    bool Start(QStringList arguments = {}) {
        app = std::make_unique<CQVxAnalogScopeApp>(MakeOptions(std::move(arguments)));
        return app->InitInstance();
    }

    CMainFrame& Frame() { return *app->GetMainFrame(); }
    QVxAnalogViewModel& ViewModel() { return app->GetViewModel(); }

    bool WaitConnected() {
        return QTest::qWaitFor(
            [this] { return ViewModel().GetDeviceManagerViewModel()->GetConnectedDevice() != nullptr; },
            20000);
    }
    bool WaitIdle(int ms = 60000) {
        return QTest::qWaitFor([this] { return ViewModel().GetTraceState() == QVxAnalogViewModel::kIdle; },
                               ms);
    }

    // Repeat display trigger on CH4's demo pulses (a few hits per 100 ms).
    void UseDemoDisplayTrigger() {
        qvx::test::UseDemoPulseTrigger(*ViewModel().GetSessionSettings(),
                                       qvx::QVxAnalogDisplayTriggerAnalyzer::kModeRepeat);
    }

    // Connects, records about `ms` of the demo signal and waits for the stored report.
    void RecordTrace(int ms) {
        ASSERT_TRUE(WaitConnected());
        UseDemoDisplayTrigger();
        ASSERT_TRUE(ViewModel().StartTrace());
        QTest::qWait(ms);
        ViewModel().StopTrace();
        ASSERT_TRUE(WaitIdle());
        ASSERT_TRUE(ViewModel().WasLastReportOpened());
    }

    TempDir dir{"app"};
    QString settingsFile;
    RecordingPrompts prompts;
    ScopedPrompts scopedPrompts{prompts};
    std::unique_ptr<CQVxAnalogScopeApp> app;
};

}  // namespace qvx::test
