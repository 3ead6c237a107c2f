// The monitor window when its presenter is replaced or changed while it is shown:
// the screen (the offscreen platform's backing store) shows the new state without
// any input event, and an open track popup lets go of the replaced track presenter.

#include "waveform_window_support.h"

#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformTrackSettingPopupDlg.h"

#include <QLineEdit>
#include <QScreen>
#include <QTest>

#include <cstdlib>

using namespace qvx;
using namespace qvx::test;

namespace {

class MonitorRebindTest : public MonitorWindowTest {
protected:
    // What the screen shows of the track area now (the backing store, without
    // painting anything).
    QImage OnScreen() const {
        const QPoint at = AreaWnd()->mapTo(wnd.get(), QPoint(0, 0));
        return wnd->screen()
            ->grabWindow(wnd->winId(), at.x(), at.y(), AreaWnd()->width(), AreaWnd()->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }
    // The track area painted afresh from the current presenter.
    QImage Fresh() const { return AreaWnd()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    // Lets queued paints run; no input event is sent.
    static void Settle() {
        for (int i = 0; i < 3; ++i) {
            QApplication::processEvents();
            QTest::qWait(20);
        }
    }

    void ExpectScreenIsCurrent(const char* what) {
        Settle();
        const QImage screen = OnScreen();
        const QImage fresh = Fresh();
        ASSERT_EQ(screen.size(), fresh.size()) << what;
        int differing = 0;
        for (int y = 0; y < screen.height(); ++y)
            for (int x = 0; x < screen.width(); ++x) differing += screen.pixel(x, y) != fresh.pixel(x, y);
        EXPECT_EQ(differing, 0) << what << ": the screen still shows an older picture";
        if (const char* shots = std::getenv("QVX_REBIND_SHOTS")) {
            screen.save(QString::fromLocal8Bit(shots) + "/" + what + ".png");
        }
    }
};

TEST_F(MonitorRebindTest, ASessionChangeATrackChangeAndALookChangeReachTheScreenWithoutInput) {
    Open();
    Settle();
    const QImage first = OnScreen();

    // Another session: other names, another scale, a marker, another set of tracks.
    WaveformVisualSettings other = FourTracks(1000);
    other.tracks[0].name = L"Other CH1";
    other.tracks[3].enabled = false;
    other.markers[0] = {true, 200'000, {}};
    auto next = std::make_unique<TestWaveformPresenter>(&other);
    next->SetupForRecords(5000);
    wnd->Setup(next.get());
    vm = std::move(next);
    ExpectScreenIsCurrent("session-change");
    EXPECT_NE(OnScreen(), first);

    // A channel switched off, applied as the application does (the view binds again).
    other.tracks[1].enabled = false;
    wnd->Setup(vm.get());
    ExpectScreenIsCurrent("track-change");

    // The dark look on the same presenter.
    vm->GetStyle().SetThemeIndex(1);
    wnd->Setup(vm.get());
    ExpectScreenIsCurrent("look-change");
}

TEST_F(MonitorRebindTest, AnOpenTrackPopupLetsGoOfTheTrackWhenThePresenterIsReplaced) {
    Open();
    AreaWnd()->ShowTrackSettingsDlg(0, QRect(10, 10, 20, 20));
    QVxWaveformTrackSettingPopupDlg* popup = AreaWnd()->GetTrackSettingsDlg();
    ASSERT_NE(popup, nullptr);
    ASSERT_EQ(popup->GetTrack(), &vm->Track(0));
    auto* name =
        popup->findChild<QLineEdit*>(QVxWinGUI::ControlName(QVxWaveformTrackSettingPopupDlg::kNameId));
    ASSERT_NE(name, nullptr);

    // The owner replaces the presenter (destroying the old one) and binds the new one.
    WaveformVisualSettings other = FourTracks(100);
    auto next = std::make_unique<TestWaveformPresenter>(&other);
    wnd->Setup(next.get());
    vm = std::move(next);  // the old presenter and its track presenters are gone
    EXPECT_EQ(popup->GetTrack(), nullptr);
    EXPECT_FALSE(popup->isVisible());

    // Typing into the name field (still focused in the user's case) changes nothing.
    const std::wstring before = other.tracks[0].name;
    QTest::keyClicks(name, "abc");
    EXPECT_EQ(other.tracks[0].name, before);

    // Opened again, it edits the new presenter's track.
    AreaWnd()->ShowTrackSettingsDlg(0, QRect(10, 10, 20, 20));
    EXPECT_EQ(popup->GetTrack(), &vm->Track(0));
    name->clear();
    QTest::keyClicks(name, "N");
    EXPECT_EQ(other.tracks[0].name, L"N");
}

// Without a window manager no activation change follows a click elsewhere: the
// press itself closes the popup, a press inside it does not.
TEST_F(MonitorRebindTest, APressOutsideTheTrackPopupClosesIt) {
    Open();
    AreaWnd()->ShowTrackSettingsDlg(1, QRect(10, 10, 20, 20));
    QVxWaveformTrackSettingPopupDlg* popup = AreaWnd()->GetTrackSettingsDlg();
    ASSERT_TRUE(popup->isVisible());
    QTest::mouseClick(
        popup->findChild<QLineEdit*>(QVxWinGUI::ControlName(QVxWaveformTrackSettingPopupDlg::kNameId)),
        Qt::LeftButton);
    EXPECT_TRUE(popup->isVisible());
    QTest::mouseClick(AreaWnd(), Qt::LeftButton, {}, QPoint(Wave().left + 50, Wave().top + 50));
    EXPECT_FALSE(popup->isVisible());
}

}  // namespace
