// The mark flags of the track area: drawn from the mark list after M1 and M2 (a line in
// the mark's colour, the flag, the selected one outlined in the highlight colour),
// hit-tested after M1 and M2, dragged along the time axis and selected by a press, and
// the bookmark commands of the context menu and keys.

#include "waveform_window_support.h"

#include "QVxCore/Presenters/WaveformDisplayTriggerPresenter.h"
#include "QVxCore/Presenters/WaveformStyle.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QMenu>
#include <QSignalSpy>
#include <QTest>

using namespace qvx;
using namespace qvx::test;

namespace {

constexpr Color kRed{220, 0, 0};
constexpr Color kBlue{0, 0, 220};

class MarkFlagTest : public MonitorWindowTest {
protected:
    WaveformDisplayTriggerPresenter marks;

    // Two marks at pixel columns 100 and 300 of the waveform, and a hidden one at 500.
    void OpenWithMarks() {
        Open();
        wnd->SetMarkPresenter(&marks);
        marks.SetMarkList({{1, true, kRed, 100 * Tpp(), "first"},
                           {2, true, kBlue, 300 * Tpp(), "second\nwith a note"},
                           {3, false, kRed, 500 * Tpp(), "hidden"}});
        AreaWnd()->repaint();
    }
    QPoint FlagAt(int column) const { return QPoint(Wave().left + column, 12); }
    QColor Pixel(const QImage& image, int x, int y) const { return image.pixelColor(x, y); }
};

TEST_F(MarkFlagTest, FlagsAreDrawnInTheirColoursAndTheSelectedOneIsOutlined) {
    OpenWithMarks();
    const QImage before = Grab();
    const int lineY = Area().Track(0).GetLayout().waveform.top + 3;  // above the trace, in a track
    EXPECT_EQ(Pixel(before, Wave().left + 100, lineY), Rgb(kRed));
    EXPECT_EQ(Pixel(before, Wave().left + 300, lineY), Rgb(kBlue));
    EXPECT_NE(Pixel(before, Wave().left + 500, lineY), Rgb(kRed));  // hidden
    const QColor highlight = Rgb(WaveformStyle::kSelectedMarkHighlight);
    const QPoint outline(Wave().left + 300 - 10, 10);  // the flag's left edge
    EXPECT_NE(Pixel(before, outline.x(), outline.y()), highlight);

    marks.SetSelectedMark(2);
    AreaWnd()->repaint();
    const QImage selected = Grab();
    EXPECT_EQ(Pixel(selected, outline.x(), outline.y()), highlight);
    EXPECT_NE(Pixel(selected, Wave().left + 100 - 10, 10), highlight);
    EXPECT_EQ(AreaWnd()->property(CQVxWaveformTrackAreaWnd::kSelectedMarkerProperty).toInt(), 2);

    // No mark presenter, or an empty list: the ruler is as without marks.
    marks.SetMarkList({});
    AreaWnd()->repaint();
    const QImage none = Grab();
    wnd->SetMarkPresenter(nullptr);
    AreaWnd()->repaint();
    EXPECT_EQ(Grab(), none);
}

TEST_F(MarkFlagTest, APressSelectsAndADragMovesTheMarkWithinTheRecording) {
    OpenWithMarks();
    std::vector<std::pair<int, std::int64_t>> moved;
    auto connection = marks.MarkMoved.Connect([&](int id, std::int64_t t) { moved.emplace_back(id, t); });
    EXPECT_EQ(Area().HitMarkFlag(FlagAt(100)), 1);
    EXPECT_EQ(Area().HitMarkFlag(FlagAt(500)), 0);  // hidden marks are not hit
    EXPECT_EQ(Area().HitMarkFlag(FlagAt(100) + QPoint(0, 40)), 0);
    // Resting on a flag shows its label.
    const auto hover = [&](QPoint at) {
        AreaWnd()->repaint();
        QMouseEvent e(QEvent::MouseMove, at, AreaWnd()->mapToGlobal(at), Qt::NoButton, Qt::NoButton, {});
        QApplication::sendEvent(AreaWnd(), &e);
        return AreaWnd()->toolTip();
    };
    EXPECT_EQ(hover(FlagAt(300)), "second\nwith a note");
    EXPECT_EQ(hover(FlagAt(200)), "");

    AreaWnd()->repaint();
    QTest::mousePress(AreaWnd(), Qt::LeftButton, {}, FlagAt(300));
    EXPECT_EQ(marks.GetSelectedMark(), 2);
    QMouseEvent move(QEvent::MouseMove, FlagAt(340), AreaWnd()->mapToGlobal(FlagAt(340)), Qt::NoButton,
                     Qt::LeftButton, {});
    QApplication::sendEvent(AreaWnd(), &move);
    EXPECT_EQ(marks.FindMark(2)->time, 340 * Tpp());
    QTest::mouseRelease(AreaWnd(), Qt::LeftButton, {}, FlagAt(340));
    EXPECT_EQ(moved, (std::vector<std::pair<int, std::int64_t>>{{2, 340 * Tpp()}}));
    EXPECT_EQ(Begin(), 0);                      // not a pan
    EXPECT_FALSE(Visual().markers[0].enabled);  // not a marker click

    // Dragged far before the start, the mark stops at 0; a press without a move moves nothing.
    AreaWnd()->repaint();
    QTest::mousePress(AreaWnd(), Qt::LeftButton, {}, FlagAt(100));
    QMouseEvent back(QEvent::MouseMove, FlagAt(-400), AreaWnd()->mapToGlobal(FlagAt(-400)), Qt::NoButton,
                     Qt::LeftButton, {});
    QApplication::sendEvent(AreaWnd(), &back);
    QTest::mouseRelease(AreaWnd(), Qt::LeftButton, {}, FlagAt(-400));
    EXPECT_EQ(marks.FindMark(1)->time, 0);
    AreaWnd()->repaint();
    QTest::mouseClick(AreaWnd(), Qt::LeftButton, {}, FlagAt(340));
    EXPECT_EQ(moved.size(), 2u);
    EXPECT_EQ(marks.GetSelectedMark(), 2);
    connection->Disconnect();
}

TEST_F(MarkFlagTest, MarkersAreHitBeforeMarksAndTheKeysAndMenuCarryTheBookmarkCommands) {
    OpenWithMarks();
    vm->SetMarkerTime(0, 100 * Tpp());  // M1 on mark 1
    AreaWnd()->repaint();
    EXPECT_EQ(Area().HitMarkerFlag(FlagAt(100)), 0);
    QTest::mousePress(AreaWnd(), Qt::LeftButton, {}, FlagAt(100));
    QTest::mouseRelease(AreaWnd(), Qt::LeftButton, {}, FlagAt(100));
    EXPECT_EQ(marks.GetSelectedMark(), 0);

    QSignalSpy commands(wnd.get(), &CQVxWaveformMonitorWnd::CommandTriggered);
    QTest::keyClick(wnd.get(), Qt::Key_Delete);  // nothing selected: no command
    QTest::keyClick(wnd.get(), Qt::Key_B);
    marks.SetSelectedMark(2);
    QTest::keyClick(wnd.get(), Qt::Key_Delete);
    ASSERT_EQ(commands.count(), 2);
    EXPECT_EQ(commands[0][0].toInt(), CQVxWaveformMonitorWnd::kAddBookmarkCommand);
    EXPECT_EQ(commands[1][0].toInt(), CQVxWaveformMonitorWnd::kDeleteBookmarkCommand);

    const std::unique_ptr<QMenu> menu = wnd->MakeContextMenu();
    QStringList names;
    for (QAction* a : menu->actions()) names << a->objectName();
    EXPECT_TRUE(names.contains(QVxWinGUI::CommandName(CQVxWaveformMonitorWnd::kAddBookmarkCommand)));
    EXPECT_TRUE(names.contains(QVxWinGUI::CommandName(CQVxWaveformMonitorWnd::kDeleteBookmarkCommand)));
}

}  // namespace
