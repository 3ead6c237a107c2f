// The main frame's panes and timers in the window: the periodic device refresh while
// a unit is connected (a simulated unplug, newly plugged units), the trace pane that
// keeps its start/stop button in view while its fields scroll and whose boxes ignore
// the wheel unless focused, and the list keys that move the waveform.

#include "QV+Analog/DataList/AnalogDataList.h"
#include "QV+Analog/DataList/CAnalogDataListPane.h"
#include "QV+Analog/DataList/CQVxAnalogDisplayTriggerListPane.h"
#include "QV+Analog/QVxAnalogScopeView.h"
#include "QV+Analog/TracingStatus/CQVxAnalogTracingStatusDlg.h"
#include "QV+Analog/tests/app_fixture.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QtTest/qtestspontaneevent.h>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimeEdit>
#include <QWheelEvent>

#include <cstdlib>

using qvx::test::AppTest;
using qvx::test::Child;
using qvx::test::SaveShot;

namespace {

using Form = CQVxAnalogTracingStatusDlg;

// Whether `widget` is shown whole inside `top`: no ancestor up to `top` clips it.
bool ShownWhole(QWidget* widget, QWidget* top) {
    if (!widget->isVisible()) return false;
    QRect rect = widget->rect();
    for (QWidget* w = widget; w != top; w = w->parentWidget()) {
        rect.translate(w->pos());
        if (!w->parentWidget() || !w->parentWidget()->rect().contains(rect)) return false;
    }
    return true;
}

// A wheel notch over `widget`, delivered as the window system delivers it (a spontaneous
// event, which sendEvent would not keep): an event that `widget` ignores goes on to its
// parents.
void TurnWheel(QWidget* widget, int delta) {
    const QPointF at = QRectF(widget->rect()).center();
    QWheelEvent wheel(at, QPointF(widget->mapToGlobal(at.toPoint())), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    QApplication::instance()->notify(widget, &wheel);
}

class FramePanesTest : public AppTest {
protected:
    QVxAnalogDeviceManagerViewModel& Devices() { return *ViewModel().GetDeviceManagerViewModel(); }
    std::wstring ConnectedId() {
        const auto device = Devices().GetConnectedDevice();
        return device ? device->GetDeviceId() : std::wstring();
    }
    // The frame at a height that leaves the trace pane too short for its whole form.
    void ShowShortFrame() {
        Frame().resize(1100, 560);
        Frame().show();
        Frame().GetTracePane()->raise();
        QApplication::processEvents();
    }
    QScrollBar* FieldsBar(QWidget* field) {
        for (QWidget* w = field; w; w = w->parentWidget())
            if (auto* area = qobject_cast<QScrollArea*>(w)) return area->verticalScrollBar();
        return nullptr;
    }
};

// The 3 s refresh runs while a unit is connected: the connected unit that was
// unplugged (3 s after its trace started, the trace long over) leaves the list and is
// disconnected, another unit plugged in then is listed and connected, and a third one
// plugged in beside it is listed while the connection stays. A start then works.
TEST_F(FramePanesTest, TheDeviceRefreshNoticesAnUnplugAndNewUnitsWhileConnected) {
    ::setenv("QVPLUS_SIM_FAULTS", "unplug@3", 1);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitConnected());
    ASSERT_TRUE(ViewModel().StartTrace());
    QTest::qWait(200);
    ViewModel().StopTrace();
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(ConnectedId(), L"AN0000SIM") << "unplugged before the trace ended";
    auto* form = Frame().GetTracingStatusDlg();
    auto* startStop = Child<QPushButton>(form, Form::kStartStopId);
    EXPECT_FALSE(startStop->isHidden());

    ASSERT_TRUE(QTest::qWaitFor([&] { return Devices().GetDevices().empty(); }, 20000))
        << "the unplugged unit is still listed";
    EXPECT_EQ(Devices().GetConnectingDevice(), nullptr);
    EXPECT_FALSE(Devices().GetDeviceManager()->IsOpened());
    EXPECT_FALSE(Frame().windowTitle().contains(QStringLiteral("AN0000SIM")));
    EXPECT_EQ(Frame().findChild<QLabel*>(QStringLiteral("indicator3"))->text(),
              QVxWinGUI::LoadStringW(25045));
    EXPECT_TRUE(startStop->isHidden());  // no unit to start

    ::setenv("QVPLUS_SIM_FAULTS", "", 1);
    ::setenv("QVPLUS_SIMULATED_UNITS", "AN0001SIM", 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ConnectedId() == L"AN0001SIM"; }, 20000));
    ::setenv("QVPLUS_SIMULATED_UNITS", "AN0001SIM,AN0002SIM", 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Devices().GetDevices().size() == 2; }, 20000))
        << "a unit plugged in while another is connected is not listed";
    EXPECT_EQ(ConnectedId(), L"AN0001SIM");
    EXPECT_TRUE(Frame().windowTitle().contains(QStringLiteral("AN0001SIM")));

    UseDemoDisplayTrigger();
    form->OnBnClickedStartStop();
    EXPECT_EQ(ViewModel().GetTraceState(), QVxAnalogViewModel::kTracing);
    QTest::qWait(200);
    form->OnBnClickedStartStop();
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(ViewModel().WasLastReportOpened());
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("|").toStdString();
}

// A short trace pane scrolls its fields; the header with the connect and start/stop
// buttons stays, and the last field can be scrolled into view.
TEST_F(FramePanesTest, TheStartStopButtonStaysInViewWhileTheTracePaneScrolls) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitConnected());
    ShowShortFrame();
    QDockWidget* pane = Frame().GetTracePane();
    QWidget* form = Frame().GetTracingStatusDlg();
    auto* startStop = Child<QPushButton>(form, Form::kStartStopId);
    QWidget* connect = Child(form, Form::kConnectId);
    QWidget* last = Child(form, Form::kRotationTimeId);
    ASSERT_TRUE(startStop && connect && last);
    EXPECT_TRUE(ShownWhole(startStop, pane));
    SaveShot(pane, "trace-pane-short");

    QScrollBar* bar = FieldsBar(last);
    ASSERT_NE(bar, nullptr);
    ASSERT_GT(bar->maximum(), 0) << "the pane is tall enough for the whole form";
    bar->setValue(bar->maximum());
    QApplication::processEvents();
    EXPECT_TRUE(ShownWhole(startStop, pane)) << "the start/stop button scrolled away";
    EXPECT_TRUE(ShownWhole(connect, pane));
    EXPECT_TRUE(ShownWhole(last, pane));
    SaveShot(pane, "trace-pane-scrolled-to-the-end");
    SaveShot(&Frame(), "frame-trace-pane-scrolled");
}

// Scrolling the trace pane with the pointer over its boxes scrolls the pane and
// changes no probe, range, frequency or time; a box the user clicked into takes the wheel.
TEST_F(FramePanesTest, TheWheelOverTheTracePaneBoxesScrollsThePaneUnlessABoxIsFocused) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitConnected());
    ShowShortFrame();
    Frame().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Frame()));
    QWidget* form = Frame().GetTracingStatusDlg();
    auto* probe = Child<QComboBox>(form, Form::kProbeIds[0]);
    auto* range = Child<QComboBox>(form, Form::kRangeIds[1]);
    auto* frequency = Child<QComboBox>(form, Form::kSamplingFrequencyId);
    auto* stopTime = Child<QTimeEdit>(form, Form::kStopTimeId);
    ASSERT_TRUE(probe && range && frequency && stopTime);
    for (QWidget* box : std::initializer_list<QWidget*>{probe, range, frequency, stopTime})
        EXPECT_EQ(box->focusPolicy(), Qt::StrongFocus) << box->objectName().toStdString();
    Frame().GetView()->setFocus();
    const int probeIndex = probe->currentIndex(), rangeIndex = range->currentIndex();
    const int frequencyIndex = frequency->currentIndex();
    const QTime time = stopTime->time();

    QScrollBar* bar = FieldsBar(probe);
    ASSERT_NE(bar, nullptr);
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(0);
    // Down over the first box, up again over the others (each notch scrolls the pane).
    TurnWheel(probe, -120);
    const int scrolled = bar->value();
    EXPECT_GT(scrolled, 0) << "the pane did not scroll";
    TurnWheel(range, -120);
    TurnWheel(frequency, 120);
    TurnWheel(stopTime, 120);
    EXPECT_EQ(probe->currentIndex(), probeIndex);
    EXPECT_EQ(range->currentIndex(), rangeIndex);
    EXPECT_EQ(frequency->currentIndex(), frequencyIndex);
    EXPECT_EQ(stopTime->time(), time);
    EXPECT_FALSE(probe->hasFocus() || range->hasFocus() || frequency->hasFocus() || stopTime->hasFocus())
        << "the wheel gave a box the focus";

    probe->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(probe->hasFocus());
    TurnWheel(probe, probeIndex == 0 ? -120 : 120);
    EXPECT_NE(probe->currentIndex(), probeIndex) << "a focused box keeps the wheel";

    // The display trigger pane scrolls as well: its boxes (enabled with a display trigger
    // on) are guarded the same way.
    UseDemoDisplayTrigger();
    ViewModel().SessionChanged.Emit();
    Frame().GetDisplayTriggerPane()->raise();
    QApplication::processEvents();
    Frame().GetView()->setFocus();
    const auto boxes = Frame().GetDisplayTriggerPane()->findChildren<QComboBox*>();
    int tried = 0;
    for (QComboBox* box : boxes) {
        if (!box->isVisible() || !box->isEnabled() || box->count() < 2) continue;
        SCOPED_TRACE(box->objectName().toStdString());
        const int index = box->currentIndex();
        TurnWheel(box, index == 0 ? -120 : 120);
        EXPECT_EQ(box->currentIndex(), index);
        ++tried;
    }
    EXPECT_GE(tried, 2);
}

// Keys in the lists move the waveform as a click does: Down and End in the trigger list
// put the cursor on the hit's record, End in the data list on the last record.
TEST_F(FramePanesTest, ListKeysMoveTheWaveformToTheSelectedRecord) {
    ASSERT_TRUE(Start());
    RecordTrace(600);
    Frame().resize(1400, 900);
    Frame().show();
    QApplication::processEvents();
    const auto& hits = ViewModel().GetSession()->GetDisplayTriggerList();
    ASSERT_GE(hits.size(), 2u);
    auto& reader = *ViewModel().GetSession()->GetReportData();
    auto timeOf = [&](std::uint64_t index) {
        return static_cast<std::int64_t>(qvx::LoadLE64(reader.ReadRecordByIndex(index)) &
                                         qvx::kRecordTimeMask) *
               10;
    };
    auto cursor = [&] { return ViewModel().GetOscilloGraphViewModel()->GetCursorTime(); };
    // The cursor stops at the start of the last column, which holds the newest records; a
    // hit the trace found in that column puts the cursor there too.
    const std::int64_t lastColumn =
        ViewModel().GetOscilloGraphViewModel()->GetWritingRenderData().GetLastTime();
    auto shown = [&](std::int64_t time) { return std::min(time, lastColumn); };

    CQVxAnalogDisplayTriggerList* list = Frame().GetDisplayTriggerListPane()->GetList();
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(cursor(), shown(timeOf(static_cast<std::uint64_t>(hits[0].dataIndex))));
    QTest::keyClick(list, Qt::Key_End);
    EXPECT_EQ(list->GetSelectedRow(), static_cast<int>(hits.size()) - 1);
    EXPECT_EQ(cursor(), shown(timeOf(static_cast<std::uint64_t>(hits.back().dataIndex))));
    QTest::keyClick(list, Qt::Key_Home);
    EXPECT_EQ(cursor(), shown(timeOf(static_cast<std::uint64_t>(hits[0].dataIndex))));

    CAnalogDataListPane* dataPane = Frame().GetDataListPane();
    AnalogDataList* rows = dataPane->GetList();
    QTest::keyClick(rows, Qt::Key_End);
    const std::int64_t last = timeOf(dataPane->GetDataListViewModel().GetFirstIndex() + rows->GetTotal() - 1);
    EXPECT_EQ(cursor(), shown(last));
    EXPECT_GT(cursor(), timeOf(static_cast<std::uint64_t>(hits[0].dataIndex)));
}

}  // namespace
