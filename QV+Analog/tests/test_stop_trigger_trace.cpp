// A trace that the unit ends by itself on a stop trigger of the settings: the window's trace
// ends with it, without a stop, and the session holds every record up to the trigger's edge.

#include "QV+Analog/DataList/AnalogDataList.h"
#include "QV+Analog/DataList/CAnalogDataListPane.h"
#include "QV+Analog/TracingStatus/CQVxAnalogTracingStatusDlg.h"
#include "QV+Analog/tests/app_fixture.h"
#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QPushButton>

#include <chrono>

namespace fs = std::filesystem;
using qvx::test::AppTest;

// TRG1 of the simulated unit rises 0.5 s after the start command: 524,288 records at the
// tracing pane's 1,048,576 records/s, the counter pattern's CH1 counting them.
TEST_F(AppTest, AStopTriggerEndsTheTraceAndTheSessionHoldsEveryRecordUpToTheEdge) {
    ::setenv("QVPLUS_SIM_SIGNAL", "counter", 1);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitConnected());
    qvx::AnalogSettings& settings = *ViewModel().GetSessionSettings();
    settings.trigger1ChStopMode = qvx::TriggerChannelMode::kHigh;

    // Started as a peer of the family starts it; nobody stops it.
    Frame().OnQVxSyncTrace(0);
    ASSERT_EQ(ViewModel().GetTraceState(), QVxAnalogViewModel::kTracing);
    ASSERT_TRUE(WaitIdle(30000)) << "the trace did not end with the unit's capture";
    ASSERT_TRUE(ViewModel().WasLastReportOpened());
    const QVPlusStatus status = ViewModel().GetDeviceManager()->GetStatus();
    EXPECT_GE(status.elapsedMs, 500u);
    EXPECT_LT(status.elapsedMs, 1500u) << "the trace should end within a second of the edge";
    EXPECT_EQ(ViewModel().GetLastAbortType(), QVxAbortType::None);

    const auto& reader = ViewModel().GetSession()->GetReportData();
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->GetTotalRecordCount(), 524'288u);
    EXPECT_EQ(reader->GetLastTime(), 524'287ull * 100'000'000 / 1'048'576);
    const std::uint8_t* last = reader->ReadRecordByIndex(524'287);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(qvx::RecordRawSample(last, 0), 524'287 % 16384);
    AnalogDataList* dataList = Frame().GetDataListPane()->GetList();
    EXPECT_EQ(dataList->GetTotal(), 524'288u);
    auto* startStop = Frame().GetTracingStatusDlg()->findChild<QPushButton*>(
        QVxWinGUI::ControlName(CQVxAnalogTracingStatusDlg::kStartStopId));
    ASSERT_NE(startStop, nullptr);
    EXPECT_EQ(startStop->text(), QString("開始"));

    // Saved as a session: every record goes along.
    const fs::path saved = dir.Path() / "saved" / "stop.qvxa";
    fs::create_directories(saved.parent_path());
    prompts.paths.push_back(QString::fromStdString(saved.string()));
    Frame().FindCommand(CMainFrame::kCmdSaveAs)->trigger();
    ASSERT_TRUE(fs::exists(saved));
    const auto savedReader = qvx::ReportDataReader::Open(saved.parent_path() / "repo");
    ASSERT_TRUE(savedReader);
    EXPECT_EQ(savedReader->GetTotalRecordCount(), 524'288u);
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("|").toStdString();
}
