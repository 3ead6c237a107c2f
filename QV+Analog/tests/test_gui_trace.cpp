// A whole trace driven only through the window's controls: disconnect and connect
// in the device selector, the collection settings dialog, a probe and range in
// the tracing pane, start and stop with its button, then save-as and reopen
// through the menu commands. The lists show what was recorded.

#include "QV+Analog/ConfigAnalog/CQVxConfigAnalogDlg.h"
#include "QV+Analog/DataList/AnalogDataList.h"
#include "QV+Analog/DataList/CAnalogDataListPane.h"
#include "QV+Analog/DataList/CQVxAnalogDisplayTriggerListPane.h"
#include "QV+Analog/TracingStatus/CQVxAnalogTracingStatusDlg.h"
#include "QV+Analog/tests/app_fixture.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxWinGUICommon/Device/CQVxAnalogDeviceSelector.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace fs = std::filesystem;
using qvx::test::AppTest;
using qvx::test::Child;

namespace {

using Form = CQVxAnalogTracingStatusDlg;

}  // namespace

TEST_F(AppTest, FullTraceDrivenThroughTheWindow) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitConnected());
    CQVxAnalogTracingStatusDlg* form = Frame().GetTracingStatusDlg();
    ASSERT_NE(form, nullptr);
    auto* devices = ViewModel().GetDeviceManagerViewModel();

    // Disconnect and connect again through the device selector's popup.
    auto* selector = Child<CQVxAnalogDeviceSelector>(form, Form::kConnectId);
    ASSERT_NE(selector, nullptr);
    selector->click();
    ASSERT_NE(selector->Popup(), nullptr);
    selector->Popup()->findChild<QPushButton*>("disconnect")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return devices->GetConnectedDevice() == nullptr; }, 10000));
    auto* startStop = Child<QPushButton>(form, Form::kStartStopId);
    EXPECT_FALSE(startStop->isEnabled());
    selector->click();
    selector->Popup()->findChild<QPushButton*>("connect")->click();
    ASSERT_TRUE(WaitConnected());
    QTest::qWait(50);
    EXPECT_TRUE(startStop->isEnabled());
    EXPECT_EQ(startStop->text(), QString("開始"));

    // The collection settings dialog: no trace trigger, OK.
    bool dialogSeen = false;
    QTimer::singleShot(200, [&dialogSeen] {
        auto* dialog = qobject_cast<CQVxConfigAnalogDlg*>(QApplication::activeModalWidget());
        if (!dialog) {
            ADD_FAILURE() << "modal: "
                          << (QApplication::activeModalWidget()
                                  ? QApplication::activeModalWidget()->metaObject()->className()
                                  : "none");
            return;
        }
        dialogSeen = true;
        Child<QRadioButton>(dialog, CQVxConfigAnalogDlg::kRadioNone)->click();
        Child<QPushButton>(dialog, CQVxConfigAnalogDlg::kOkButtonId)->click();
    });
    Child<QPushButton>(form, Form::kConfigId)->click();
    EXPECT_TRUE(dialogSeen);

    // CH2 with a x1 probe on its 500 mV range; 1 MS/s.
    Child<QComboBox>(form, Form::kProbeIds[1])->setCurrentIndex(0);
    Child<QComboBox>(form, Form::kRangeIds[1])->setCurrentIndex(2);
    EXPECT_EQ(Child<QComboBox>(form, Form::kRangeIds[1])->currentText(), QString("500mV"));
    Child<QComboBox>(form, Form::kSamplingFrequencyId)->setCurrentIndex(1);
    UseDemoDisplayTrigger();

    startStop->click();
    ASSERT_EQ(ViewModel().GetTraceState(), QVxAnalogViewModel::kTracing)
        << prompts.messages.join("|").toStdString();
    EXPECT_EQ(startStop->text(), QString("停止"));
    auto* triggerList = Frame().GetDisplayTriggerListPane()->GetList();
    EXPECT_TRUE(QTest::qWaitFor([&] { return triggerList->GetRealItemCount() >= 3; }, 20000));
    startStop->click();
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(ViewModel().WasLastReportOpened());
    EXPECT_EQ(startStop->text(), QString("開始"));

    const auto& reader = ViewModel().GetSession()->GetReportData();
    ASSERT_NE(reader, nullptr);
    const std::uint64_t records = reader->GetTotalRecordCount();
    AnalogDataList* dataList = Frame().GetDataListPane()->GetList();
    EXPECT_EQ(dataList->GetTotal(), records);
    EXPECT_EQ(dataList->GetColumnString(0, 0), QString("1"));
    EXPECT_EQ(dataList->GetColumnString(0, 1), QString("0"));
    dataList->setFocus();
    QTest::keyClick(dataList, Qt::Key_End);
    EXPECT_EQ(static_cast<std::uint64_t>(dataList->GetSelectedRow()), records - 1);
    EXPECT_GE(triggerList->GetRealItemCount(), 3);

    // Save as and reopen through the menu commands.
    const fs::path saved = dir.Path() / "gui" / "gui.qvxa";
    fs::create_directories(saved.parent_path());
    prompts.paths.push_back(QString::fromStdString(saved.string()));
    Frame().FindCommand(CMainFrame::kCmdSaveAs)->trigger();
    ASSERT_TRUE(fs::exists(saved));
    ASSERT_TRUE(ViewModel().NewSession(nullptr));
    prompts.paths.push_back(QString::fromStdString(saved.string()));
    Frame().FindCommand(CMainFrame::kCmdOpen)->trigger();
    const auto* session = ViewModel().GetSession();
    ASSERT_NE(session->GetReportData(), nullptr);
    EXPECT_EQ(session->GetReportData()->GetTotalRecordCount(), records);
    EXPECT_EQ(session->GetSettings().samplingFrequency, 1);
    EXPECT_EQ(session->GetSettings().channelVoltages[1], 2);
    EXPECT_EQ(session->GetSettings().visualSettings.tracks[1].probeAttenuationRatio, 0);
    EXPECT_EQ(Child<QComboBox>(form, Form::kProbeIds[1])->currentIndex(), 0);
    EXPECT_EQ(dataList->GetTotal(), records);
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("|").toStdString();
}
