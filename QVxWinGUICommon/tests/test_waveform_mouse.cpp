// Mouse, wheel, scroll bar and context menu of the monitor window.

#include "waveform_window_support.h"

#include "QVxCore/tests/waveform_test_support.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformTrackSettingPopupDlg.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformCaption.h"

#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <spdlog/sinks/ringbuffer_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <memory>
#include <thread>

using namespace qvx;
using namespace qvx::test;

namespace {

// The number of error lines `action` logs through spdlog's default logger.
template <class F>
std::ptrdiff_t ErrorsLoggedBy(F&& action) {
    const auto previous = spdlog::default_logger();
    const auto sink = std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(64);
    spdlog::set_default_logger(std::make_shared<spdlog::logger>("errors", sink));
    action();
    spdlog::set_default_logger(previous);
    const auto lines = sink->last_raw();
    return std::count_if(lines.begin(), lines.end(),
                         [](const auto& line) { return line.level == spdlog::level::err; });
}

// Press at `from`, one move, release at `to`; the area repaints first so that the
// move is not swallowed by a pending repaint.
void Drag(QWidget* w, QPoint from, QPoint to, Qt::KeyboardModifiers mods = {}) {
    w->repaint();
    QTest::mousePress(w, Qt::LeftButton, mods, from);
    QMouseEvent move(QEvent::MouseMove, to, w->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, mods);
    QApplication::sendEvent(w, &move);
    QTest::mouseRelease(w, Qt::LeftButton, mods, to);
}

void Wheel(QWidget* w, QPoint at, int delta, Qt::KeyboardModifiers mods) {
    w->repaint();
    QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, mods, Qt::NoScrollPhase,
                  false);
    QApplication::sendEvent(w, &e);
}

TEST_F(MonitorWindowTest, AClickWithinFourPixelsSetsAMarkerAndFivePixelsPans) {
    Open();
    vm->SetViewportBeginTimeOffset(1000 * Tpp());
    const std::int64_t begin = Begin();
    const int y = Area().Track(0).GetLayout().waveform.top + 20;
    const QPoint at(Wave().left + 100, y);

    Drag(AreaWnd(), at, at + QPoint(4, -4));
    EXPECT_TRUE(Visual().markers[0].enabled);
    EXPECT_EQ(Visual().markers[0].time, begin + 100 * Tpp());  // the time under the press

    vm->SetViewportBeginTimeOffset(begin);  // the click's own 4-pixel pan undone
    Drag(AreaWnd(), at, at + QPoint(3, 0), Qt::ShiftModifier);
    EXPECT_TRUE(Visual().markers[1].enabled);
    EXPECT_EQ(Visual().markers[1].time, begin + 100 * Tpp());

    vm->SetViewportBeginTimeOffset(begin);
    Visual().markers[0].enabled = false;
    Drag(AreaWnd(), at, at + QPoint(-5, 0));
    EXPECT_FALSE(Visual().markers[0].enabled);
    EXPECT_EQ(Begin(), begin + 5 * Tpp());
}

TEST_F(MonitorWindowTest, FlagAndZeroHandleDragsMoveTheMarkerAndTheZeroLine) {
    Open();
    vm->SetMarkerTime(0, 200 * Tpp());
    const QPoint flag(Wave().left + 200, 12);
    Drag(AreaWnd(), flag, flag + QPoint(30, 40));
    EXPECT_EQ(Visual().markers[0].time, 230 * Tpp());
    EXPECT_EQ(Begin(), 0);  // a flag drag does not pan

    CQVxWaveformTrack& t = Area().Track(0);
    ASSERT_TRUE(t.HasZeroHandle());
    const int zeroRow = t.ValueToY(0);
    const auto& h = t.GetZeroHandleRect();
    const QPoint grip(h.left + 5, h.top + 15);
    Drag(AreaWnd(), grip, grip + QPoint(0, -20));
    EXPECT_NEAR(t.ValueToY(0), zeroRow - 20, 1);
    EXPECT_GT(Visual().tracks[0].verticalResolutionOffset, 0.0);
    EXPECT_DOUBLE_EQ(Visual().tracks[1].verticalResolutionOffset, 0.0);
}

TEST_F(MonitorWindowTest, MarkerClicksNeedMarkersEnabledInTheProps) {
    Open(CQVxWaveformMonitorWndProps{false});
    const QPoint at(Wave().left + 100, Area().Track(0).GetLayout().waveform.top + 20);
    Drag(AreaWnd(), at, at);
    EXPECT_FALSE(Visual().markers[0].enabled);
}

TEST_F(MonitorWindowTest, TheSplitterDragIsClampedToZeroAndFourHundred) {
    Open();
    QSignalSpy changed(AreaWnd(), &CQVxWaveformTrackAreaWnd::VisualSettingsChanged);
    const int y = Area().Track(1).GetLayout().track.top + 50;
    Drag(AreaWnd(), QPoint(Visual().labelAreaWidth + 7, y), QPoint(-60, y));
    EXPECT_EQ(Visual().labelAreaWidth, 0);
    EXPECT_EQ(Wave().left, 16);
    Drag(AreaWnd(), QPoint(7, y), QPoint(900, y));
    EXPECT_EQ(Visual().labelAreaWidth, 400);
    EXPECT_EQ(changed.count(), 2);
}

// A track's height is dragged by its lower border's handle in the label column only: near
// the border over the waveform a press still pans or sets a marker, and a click on the
// handle that does not move it keeps the tracks fitted to the window.
TEST_F(MonitorWindowTest, ATrackBorderIsDraggedOnlyByItsHandle) {
    Open();
    vm->SetOption(WaveformPresenter::kOptionFitToHeight, 1);
    AreaWnd()->Layout();
    QSignalSpy dragged(AreaWnd(), &CQVxWaveformTrackAreaWnd::TrackHeightDragged);
    const int fitted = Area().GetLayout().trackHeight;
    const int border = Area().Track(0).GetLayout().track.bottom;

    const QPoint nearBorder(Wave().left + 100, border - 2);
    Drag(AreaWnd(), nearBorder, nearBorder);
    EXPECT_TRUE(Visual().markers[0].enabled);
    EXPECT_EQ(Visual().markers[0].time, 100 * Tpp());
    Drag(AreaWnd(), nearBorder + QPoint(0, 3), nearBorder + QPoint(-20, 13));
    EXPECT_EQ(Begin(), 20 * Tpp());
    EXPECT_EQ(Area().GetLayout().trackHeight, fitted);
    EXPECT_EQ(dragged.count(), 0);
    EXPECT_NE(vm->GetOption(WaveformPresenter::kOptionFitToHeight), 0);

    const QPoint handle(Visual().labelAreaWidth / 2, border + 1);
    Drag(AreaWnd(), handle, handle);
    EXPECT_EQ(dragged.count(), 0);
    EXPECT_NE(vm->GetOption(WaveformPresenter::kOptionFitToHeight), 0);
    EXPECT_EQ(Area().GetLayout().trackHeight, fitted);

    Drag(AreaWnd(), handle, handle + QPoint(0, -20));
    EXPECT_EQ(dragged.count(), 1);
    EXPECT_EQ(Area().GetLayout().trackHeight, fitted - 20);
    EXPECT_EQ(vm->GetOption(WaveformPresenter::kOptionFitToHeight), 0);
}

TEST_F(MonitorWindowTest, WheelStepsTheZoomAndCtrlWheelScalesATrackOnlyWithTheOption) {
    Open();
    const QPoint at(Wave().left + 50, Area().Track(0).GetLayout().waveform.top + 20);
    Wheel(AreaWnd(), at, -120, Qt::NoModifier);  // toward the user: coarser
    EXPECT_EQ(Tpp(), 200);
    Wheel(AreaWnd(), at, 120, Qt::NoModifier);
    EXPECT_EQ(Tpp(), 100);

    vm->SetOption(qvx::WaveformPresenter::kOptionVerticalMouseScaling, 0);
    Wheel(AreaWnd(), at, 120, Qt::ControlModifier);
    EXPECT_EQ(Tpp(), 40);  // time zoom, not the track
    EXPECT_DOUBLE_EQ(Visual().tracks[0].verticalScaling, 1.0);

    vm->SetOption(qvx::WaveformPresenter::kOptionVerticalMouseScaling, 1);
    Wheel(AreaWnd(), at, 120, Qt::ControlModifier);
    EXPECT_EQ(Tpp(), 40);
    EXPECT_DOUBLE_EQ(Visual().tracks[0].verticalScaling, 2.0);
    Wheel(AreaWnd(), at, -120, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(Visual().tracks[0].verticalScaling, 1.0);
}

TEST_F(MonitorWindowTest, MouseMovesSetTheCursorAndTheDoubleClickTellsItsTime) {
    Open();
    QSignalSpy clicked(wnd.get(), &CQVxWaveformMonitorWnd::DoubleClickedAtTime);
    const QPoint at(Wave().left + 123, Area().Track(0).GetLayout().waveform.top + 20);
    AreaWnd()->repaint();
    QTest::mouseMove(AreaWnd(), at);
    EXPECT_EQ(vm->GetCursorTime(), 123 * Tpp());
    EXPECT_EQ(Area().GetMousePoint(), at);
    QTest::mouseDClick(AreaWnd(), Qt::LeftButton, {}, at);
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked.at(0).at(0).toULongLong(), 123u * static_cast<unsigned>(Tpp()));
}

// A presenter without data of its own: only the viewport matters.
class EmptyPresenter : public WaveformPresenter {
public:
    explicit EmptyPresenter(WaveformVisualSettings* s) : WaveformPresenter(s) {}
    void OnLoadData(std::int64_t, std::int64_t) override {}
    bool OnReadData(int, std::int64_t, qvx::WaveformReadMode, std::int64_t*) override { return false; }
    std::string OnMakeDisplayValue(int, std::int64_t v) override { return std::to_string(v); }
    std::string OnMakeDisplayNormalizedValue(int, double v) override { return std::to_string(v); }
    double OnGetDisplayTriggerPosition() override { return 0.5; }
};

TEST(MonitorScrollBar, FiveSecondsAtOneNanosecondPerPixelScrollEndToEnd) {
    WaveformVisualSettings settings = FourTrackSettings(1);
    EmptyPresenter presenter(&settings);
    CQVxWaveformMonitorWnd wnd(CQVxWaveformMonitorWndProps{true});
    wnd.resize(1000, 800);
    wnd.Setup(&presenter);
    wnd.show();
    presenter.SetupForStoredData();
    presenter.UpdateLastTime(5'000'000'000);
    CQVxWaveformTrackArea& area = *wnd.GetTrackAreaWnd()->GetGraphArea();
    area.Refresh();
    QScrollBar* bar = wnd.GetTrackAreaWnd()->findChild<QScrollBar*>(
        QVxWinGUI::ControlName(CQVxWaveformTrackAreaWnd::kHorizontalScrollBarId));
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(bar->isEnabled());
    EXPECT_LT(bar->maximum(), 2147483647);
    EXPECT_GT(bar->maximum(), 2147483000);

    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(area.GetHorizontalPosition(), area.GetHorizontalMaximum());
    EXPECT_EQ(presenter.GetWritingRenderData().GetViewportBeginTimeOffset(),
              static_cast<std::int64_t>(area.GetHorizontalMaximum()));
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(area.GetHorizontalPosition(), 0u);

    bar->setSliderPosition(bar->maximum() / 2);  // a thumb drag to the middle
    EXPECT_NEAR(static_cast<double>(area.GetHorizontalPosition()), 2.5e9, 1e4);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_NEAR(static_cast<double>(area.GetHorizontalPosition()), 2.5e9 + area.GetHorizontalPage(), 1e4);
    wnd.Setup(nullptr);
}

using Wnd = CQVxWaveformMonitorWnd;

QString Cmd(int id) {
    return QVxWinGUI::CommandName(id);
}

std::vector<QString> MenuNames(QMenu& menu) {
    std::vector<QString> names;
    for (QAction* a : menu.actions()) {
        names.push_back(a->isSeparator() ? "-"
                        : a->menu()      ? "sub:" + a->menu()->actions().value(0)->objectName()
                                         : a->objectName());
    }
    return names;
}

TEST_F(MonitorWindowTest, TheAnalogContextMenuKeepsMarkerItemsTheMarkedRangeExportAndCopy) {
    Open();
    auto menu = wnd->MakeContextMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(
        MenuNames(*menu),
        (std::vector<QString>{Cmd(Wnd::kMarkerToCursorCommands[0]), Cmd(Wnd::kMarkerToCursorCommands[1]),
                              Cmd(Wnd::kExportMarkedRangeCommand), "-", Cmd(Wnd::kCopyCommand)}));
    // The marked-range export needs both markers.
    QAction* exportRange = menu->findChild<QAction*>(Cmd(Wnd::kExportMarkedRangeCommand));
    EXPECT_EQ(exportRange->text(), "M1-M2 をエクスポート...");
    Visual().markers[0].enabled = true;
    Visual().markers[1].enabled = false;
    EXPECT_FALSE(
        wnd->MakeContextMenu()->findChild<QAction*>(Cmd(Wnd::kExportMarkedRangeCommand))->isEnabled());
    Visual().markers[1].enabled = true;
    menu = wnd->MakeContextMenu();
    exportRange = menu->findChild<QAction*>(Cmd(Wnd::kExportMarkedRangeCommand));
    ASSERT_TRUE(exportRange->isEnabled());
    // With QVX_SCREENSHOT_DIR set, the menu is saved there for a look.
    if (const QString shots = qEnvironmentVariable("QVX_SCREENSHOT_DIR"); !shots.isEmpty()) {
        menu->popup(QPoint(0, 0));
        QApplication::processEvents();
        EXPECT_TRUE(menu->grab().save(shots + "/waveform_context_menu.png"));
        menu->hide();
    }
    {
        QSignalSpy exports(wnd.get(), &CQVxWaveformMonitorWnd::CommandTriggered);
        exportRange->trigger();
        ASSERT_EQ(exports.count(), 1);
        EXPECT_EQ(exports.at(0).at(0).toInt(), CQVxWaveformMonitorWnd::kExportMarkedRangeCommand);
    }
    QAction* copy = menu->findChild<QAction*>(Cmd(Wnd::kCopyCommand));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->text(), "コピー");
    EXPECT_EQ(copy->statusTip(), "グラフをクリップボードにコピー");
    QSignalSpy commands(wnd.get(), &CQVxWaveformMonitorWnd::CommandTriggered);
    copy->trigger();
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands.at(0).at(0).toInt(), CQVxWaveformMonitorWnd::kCopyCommand);

    CQVxWaveformMonitorWnd noMarkers(CQVxWaveformMonitorWndProps{false});
    noMarkers.Setup(vm.get());
    EXPECT_EQ(MenuNames(*noMarkers.MakeContextMenu()), (std::vector<QString>{Cmd(Wnd::kCopyCommand)}));
    noMarkers.Setup(nullptr);
}

TEST(MonitorContextMenu, TheGenericUsageHasTheTimeUnitAndChannelSubmenus) {
    WaveformVisualSettings settings = FourTrackSettings(1000);
    EmptyPresenter presenter(&settings);
    CQVxWaveformMonitorWnd wnd(CQVxWaveformMonitorWndProps{false});
    wnd.Setup(&presenter);
    auto menu = wnd.MakeContextMenu();
    EXPECT_EQ(MenuNames(*menu),
              (std::vector<QString>{"sub:" + Cmd(Wnd::kTimeUnitNsCommand), "-",
                                    "sub:" + Cmd(Wnd::kFirstChannelCommand), "-", Cmd(Wnd::kCopyCommand)}));
    EXPECT_NE(menu->findChild<QAction*>(Cmd(Wnd::kLastChannelCommand)), nullptr);
    EXPECT_EQ(menu->findChild<QAction*>(Cmd(Wnd::kTimeUnitSecondsCommand))->text(), "秒[s]");
    wnd.Setup(nullptr);
}

TEST_F(MonitorWindowTest, RedrawOnAnotherThreadSkipsTheFetchAfterLoggingTheCheck) {
    Open();
    vm->SetupForAdhocData();
    EXPECT_EQ(ErrorsLoggedBy([&] { std::thread([&] { wnd->Redraw(); }).join(); }), 1);
    QApplication::processEvents();  // the queued repaint runs here
}

TEST_F(MonitorWindowTest, TheConfigPopupFlagShowsTheButtonsOfEnabledChannels) {
    Visual().tracks[3].enabled = false;
    Open();
    // The settings button of `channel`.
    auto button = [&](int channel) {
        return AreaWnd()->findChild<QWidget*>(
            QVxWinGUI::ControlName(QVxWaveformCaption::kSettingsButtonIdBase + channel));
    };
    ASSERT_NE(button(0), nullptr);
    EXPECT_TRUE(button(0)->isVisible());
    EXPECT_FALSE(button(3)->isVisible());
    QSignalSpy requested(AreaWnd(), &CQVxWaveformTrackAreaWnd::TrackSettingsRequested);
    QTest::mouseClick(button(1), Qt::LeftButton);
    ASSERT_EQ(requested.count(), 1);
    EXPECT_EQ(requested.at(0).at(0).toInt(), 1);
    EXPECT_EQ(requested.at(0).at(1).toRect(), button(1)->geometry());
    wnd->SetConfigPopupEnabled(false);
    EXPECT_FALSE(button(0)->isVisible());
}

}  // namespace

// A button at the right edge of the screen (CH1's in a maximised window) or at its
// bottom opens the popup within the screen; Escape closes it wherever the keyboard
// focus is.
TEST_F(MonitorWindowTest, TheTrackSettingsPopupStaysOnTheScreenAndEscapeClosesIt) {
    Open();
    const QRect screen = wnd->screen()->availableGeometry();
    wnd->resize(std::min(600, screen.width()), std::min(500, screen.height()));
    wnd->move(screen.right() - wnd->width() + 1, screen.top());
    QApplication::processEvents();
    const QPoint origin = AreaWnd()->mapToGlobal(QPoint(0, 0));
    const QPoint topRight = AreaWnd()->mapFromGlobal(QPoint(screen.right(), screen.top()));
    const QPoint bottomLeft = AreaWnd()->mapFromGlobal(QPoint(origin.x(), screen.bottom()));
    for (const QRect at : {QRect(topRight.x() - 30, 40, 30, 30), QRect(10, bottomLeft.y() - 30, 30, 30)}) {
        Q_EMIT AreaWnd()->TrackSettingsRequested(0, at);
        auto* popup = AreaWnd()->GetTrackSettingsDlg();
        ASSERT_NE(popup, nullptr);
        EXPECT_TRUE(popup->isVisible());
        const QRect shown(popup->pos(), popup->size());
        EXPECT_TRUE(screen.contains(shown))
            << shown.x() << "," << shown.y() << " " << shown.width() << "x" << shown.height();
        QTest::keyClick(AreaWnd(), Qt::Key_Escape);
        EXPECT_FALSE(popup->isVisible());
    }
}

TEST_F(MonitorWindowTest, ATrackSettingsButtonOpensThePopupOnThatTrackAndItsChangesRedraw) {
    Open();
    EXPECT_EQ(AreaWnd()->GetTrackSettingsDlg(), nullptr);
    Q_EMIT AreaWnd()->TrackSettingsRequested(2, QRect(100, 40, 20, 20));
    auto* popup = AreaWnd()->GetTrackSettingsDlg();
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(popup->isVisible());
    EXPECT_EQ(popup->GetTrack(), &vm->Track(2));

    QSignalSpy changed(AreaWnd(), &CQVxWaveformTrackAreaWnd::VisualSettingsChanged);
    Q_EMIT popup->TrackSettingsChanged();
    EXPECT_EQ(changed.count(), 1);

    Q_EMIT AreaWnd()->TrackSettingsRequested(0, QRect(100, 40, 20, 20));
    EXPECT_EQ(AreaWnd()->GetTrackSettingsDlg(), popup);  // one popup, reloaded
    EXPECT_EQ(popup->GetTrack(), &vm->Track(0));
    Q_EMIT AreaWnd()->TrackSettingsRequested(7, QRect());  // no such track: nothing changes
    EXPECT_EQ(popup->GetTrack(), &vm->Track(0));
}
