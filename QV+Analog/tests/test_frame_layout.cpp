// The waveform view's layout in the frame: switching "fit to window" repaints the whole
// track area, tracks that do not fit (fixed heights, or a window too low for readable
// fitted tracks) are reached through the view's vertical scroll bar, and a small window
// keeps readable tracks whose settings buttons stay off the footer.

#include "QV+Analog/MainFrm.h"
#include "QV+Analog/QVxAnalogScopeView.h"
#include "QV+Analog/tests/app_fixture.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformDisplayTriggerDlg.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformTrackSettingPopupDlg.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformCaption.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackArea.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackAreaWnd.h"
#include "QVxWinGUICommon/WaveformMonitor/TrackAreaGeometry.h"
#include "QVxWinGUICommon/tests/text_fit_support.h"

#include <QAction>
#include <QDockWidget>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <cstdlib>

using qvx::test::AppTest;
using qvx::test::SaveShot;

namespace {

// The union of the regions `watched` is painted in.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QWidget* watched) { watched->installEventFilter(this); }
    QRegion painted;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

class FrameLayoutTest : public AppTest {
protected:
    CQVxWaveformTrackAreaWnd* AreaWnd() { return Frame().GetView()->GetMonitorWnd()->GetTrackAreaWnd(); }
    QScrollBar* ViewBar() { return Frame().GetView()->GetMonitorScroll()->verticalScrollBar(); }
    QAction* Fit() { return Frame().FindCommand(CMainFrame::kCmdFitTracks); }
    // The frame at `width` x `height` (a first start shows it maximised), or maximised
    // with 0 x 0.
    void ShowFrame(int width, int height) {
        if (width == 0) {
            Frame().showMaximized();
        } else {
            Frame().showNormal();
            Frame().resize(width, height);
        }
        QApplication::processEvents();
        QApplication::processEvents();
    }
    // Each shown track's settings button lies inside its track, above the footer.
    void ExpectButtonsInsideTheirTracks() {
        CQVxWaveformTrackArea& area = *AreaWnd()->GetGraphArea();
        const auto& layout = area.GetLayout();
        for (std::size_t i = 0; i < area.TrackCount(); ++i) {
            auto* button = AreaWnd()->findChild<QWidget*>(
                QVxWinGUI::ControlName(QVxWaveformCaption::kSettingsButtonIdBase + static_cast<int>(i)));
            ASSERT_NE(button, nullptr);
            if (!button->isVisible()) continue;
            const auto& track = layout.tracks[i];
            EXPECT_GE(button->geometry().top(), track.top) << "CH" << i + 1;
            EXPECT_LE(button->geometry().bottom(), track.bottom - 1) << "CH" << i + 1;
            EXPECT_LE(button->geometry().bottom(), layout.footer.top - 1) << "CH" << i + 1;
        }
    }
};

// Switching fit to window paints the whole area at once (it painted only where the
// settings buttons moved away from); with it off the fixed 150-pixel tracks and the
// footer are below the view, and its scroll bar reaches them.
TEST_F(FrameLayoutTest, FitToWindowRepaintsAndFixedTracksScroll) {
    ASSERT_TRUE(Start());
    ShowFrame(0, 0);
    ASSERT_TRUE(Fit()->isChecked());
    // Connected first: the border colour's change repaints the whole window.
    ASSERT_TRUE(WaitConnected());
    QTest::qWait(100);
    SaveShot(&Frame(), "i31frame2-fit-maximised");

    for (bool fit : {false, true, false}) {
        QApplication::processEvents();
        PaintRecorder recorder(AreaWnd());
        Fit()->setChecked(fit);
        QApplication::processEvents();
        EXPECT_TRUE(recorder.painted.contains(AreaWnd()->rect()))
            << "fit " << fit << ": painted " << recorder.painted.boundingRect().width() << "x"
            << recorder.painted.boundingRect().height() << " of " << AreaWnd()->width() << "x"
            << AreaWnd()->height();
    }
    ASSERT_FALSE(Fit()->isChecked());
    ShowFrame(1366, 740);
    const int needed = AreaWnd()->GetNeededHeight();
    EXPECT_EQ(needed, qvx::trackarea::kRulerHeight + 4 * CMainFrame::kDefaultTrackHeight +
                          qvx::trackarea::kFooterHeight + AreaWnd()->HorizontalScrollBar()->height());
    EXPECT_GE(AreaWnd()->height(), needed) << "CH4 or the footer is cut";
    EXPECT_GT(ViewBar()->maximum(), 0);
    EXPECT_TRUE(ViewBar()->isVisible());
    SaveShot(&Frame(), "i31frame2-fixed-1366x740");
    ViewBar()->setValue(ViewBar()->maximum());
    QApplication::processEvents();
    // Scrolled to the end, the footer's bottom is in view.
    const QPoint footerEnd = AreaWnd()->mapTo(Frame().GetView(), QPoint(0, AreaWnd()->height() - 1));
    EXPECT_LT(footerEnd.y(), Frame().GetView()->height());
    SaveShot(&Frame(), "i31frame2-fixed-1366x740-scrolled");
    ExpectButtonsInsideTheirTracks();
}

// Fitted tracks in low windows keep the readable height (the scale labels "5.000V" and
// "-5.000V" overlapped in 60-pixel tracks, at 640 x 480 no track was left and a settings
// button lay over the footer); the view scrolls to the rest.
TEST_F(FrameLayoutTest, SmallWindowsKeepReadableTracksAndScroll) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Fit()->isChecked());
    for (const QSize size : {QSize(1366, 740), QSize(640, 480)}) {
        ShowFrame(size.width(), size.height());
        const auto& layout = AreaWnd()->GetGraphArea()->GetLayout();
        EXPECT_GE(layout.trackHeight, qvx::trackarea::kMinFitTrackHeight) << size.width();
        EXPECT_GE(AreaWnd()->height(), AreaWnd()->GetNeededHeight()) << size.width();
        EXPECT_GT(ViewBar()->maximum(), 0) << size.width();
        ExpectButtonsInsideTheirTracks();
        SaveShot(&Frame(), QStringLiteral("i31frame2-fit-%1x%2").arg(size.width()).arg(size.height()));
    }
}

// The display trigger pane shows its captions whole ("トリガー感度(サンプル数)" lost its
// closing parenthesis), also when the pane is made as narrow as it goes.
TEST_F(FrameLayoutTest, TheDisplayTriggerPaneCutsNoCaption) {
    ASSERT_TRUE(Start());
    ShowFrame(1366, 740);
    QDockWidget* pane = Frame().GetDisplayTriggerPane();
    pane->raise();
    QApplication::processEvents();
    auto* dialog = pane->findChild<CQVxWaveformDisplayTriggerDlg*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(text_fit::ClippedTexts(*dialog).join("; ").toStdString(), "");
    SaveShot(pane, "i31frame2-display-trigger-pane");
    Frame().resizeDocks({pane}, {1}, Qt::Horizontal);
    QApplication::processEvents();
    EXPECT_EQ(text_fit::ClippedTexts(*dialog).join("; ").toStdString(), "") << "pane " << pane->width();
    SaveShot(pane, "i31frame2-display-trigger-pane-narrow");
}

// In the maximised window CH1's settings button is at the screen's right edge: its popup
// opens left of the button, on the screen, and Escape closes it.
TEST_F(FrameLayoutTest, CH1sSettingsPopupOpensOnTheScreenOfTheMaximisedWindow) {
    ASSERT_TRUE(Start());
    ShowFrame(0, 0);
    auto* button =
        AreaWnd()->findChild<QWidget*>(QVxWinGUI::ControlName(QVxWaveformCaption::kSettingsButtonIdBase));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    QApplication::processEvents();
    auto* popup = AreaWnd()->GetTrackSettingsDlg();
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(popup->isVisible());
    const QRect screen = Frame().screen()->availableGeometry();
    const QRect shown(popup->pos(), popup->size());
    EXPECT_TRUE(screen.contains(shown)) << shown.x() << "+" << shown.width() << " on " << screen.width();
    if (const char* shots = std::getenv("QVX_APP_SHOTS")) {
        // The window with the popup drawn where it is on the screen.
        QImage picture = Frame().grab().toImage();
        QPainter(&picture).drawPixmap(shown.topLeft() - Frame().geometry().topLeft(), popup->grab());
        picture.save(QString::fromLocal8Bit(shots) + "/i31frame2-ch1-popup-maximised.png");
    }
    QTest::keyClick(AreaWnd(), Qt::Key_Escape);
    EXPECT_FALSE(popup->isVisible());
}

}  // namespace
