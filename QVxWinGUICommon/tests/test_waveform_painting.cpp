// Painting of the monitor window checked on rendered images: themes, the track
// lines at their rows, markers at their times, no tracks without enabled channels,
// the clipboard copy.

#include "waveform_window_support.h"

#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformMarkerSettingDlg.h"
#include "QVxWinGUICommon/WaveformMonitor/TrackAreaGeometry.h"

#include <QClipboard>
#include <QScrollBar>
#include <QTest>

using namespace qvx;
using namespace qvx::test;

namespace {

TEST_F(MonitorWindowTest, ThemesColourTheTrackBackgroundAndTheTintedLabelColumn) {
    Open();
    const CQVxWaveformTrack& t0 = Area().Track(0);
    const QPoint background(Wave().left + 25, t0.GetLayout().waveform.top + 5);
    const QPoint label(60, t0.GetLayout().track.bottom - 10);
    const Color line = Visual().tracks[0].lineColor;
    QImage image = Grab();
    EXPECT_EQ(image.pixelColor(background), QColor(Qt::white));
    EXPECT_EQ(
        image.pixelColor(label),
        Rgb(trackarea::Tint(line, WaveformStyle::GetColor(0, WaveformStyle::kSlotRulerBackground), 28, 227)));

    vm->GetStyle().SetThemeIndex(1);
    wnd->Redraw();
    image = Grab();
    EXPECT_EQ(image.pixelColor(background), QColor(0x21, 0x21, 0x21));
    EXPECT_EQ(
        image.pixelColor(label),
        Rgb(trackarea::Tint(line, WaveformStyle::GetColor(1, WaveformStyle::kSlotRulerBackground), 28, 227)));
}

TEST_F(MonitorWindowTest, TrackLinesRunInTheChannelColourAtTheValueRows) {
    Open();
    const QImage image = Grab();
    for (std::size_t i : {0u, 1u}) {
        const CQVxWaveformTrack& t = Area().Track(i);
        const int y = t.ValueToY(i == 0 ? 4096 : -4096);
        const QColor colour = Rgb(Visual().tracks[i].lineColor);
        for (int x : {Wave().left + 30, Wave().left + 333, Wave().right - 20}) {
            // The 2-pixel pen covers the row or the one next to it.
            const bool hit = image.pixelColor(x, y) == colour || image.pixelColor(x, y - 1) == colour ||
                             image.pixelColor(x, y + 1) == colour;
            EXPECT_TRUE(hit) << "track " << i << " x " << x << " y " << y;
        }
        EXPECT_NE(image.pixelColor(Wave().left + 333, y - 20), colour);
    }
}

TEST_F(MonitorWindowTest, MarkersAreDrawnAtTheirTimesInTheirColours) {
    Open();
    Visual().markers[0].color = Color(0, 0, 0, 0);  // not set: the palette's M1 colour
    Visual().markers[1].color = Color(200, 10, 10);
    vm->SetMarkerTime(0, 107 * Tpp());
    vm->SetMarkerTime(1, 333 * Tpp());
    const QImage image = Grab();
    const int y = Area().Track(2).GetLayout().waveform.top + 10;
    EXPECT_EQ(image.pixelColor(Wave().left + 107, y),
              Rgb(WaveformStyle::GetColor(0, WaveformStyle::kSlotMarker1)));
    EXPECT_EQ(image.pixelColor(Wave().left + 333, y), QColor(200, 10, 10));
    EXPECT_NE(image.pixelColor(Wave().left + 200, y), QColor(200, 10, 10));
    EXPECT_EQ(image.pixelColor(Wave().left + 200, 37),
              Rgb(WaveformStyle::GetColor(0, WaveformStyle::kSlotSecondaryText)));  // link line
}

TEST_F(MonitorWindowTest, NoEnabledChannelPaintsNoTrackAndDividesByOne) {
    for (auto& t : visual.tracks) t.enabled = false;
    vm.reset();
    Open();
    const auto& layout = Area().GetLayout();
    EXPECT_EQ(layout.trackHeight, 600);  // the whole fixed room of 4 x 150 over max(1, 0)
    const QImage image = Grab();
    for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3) {
            for (const auto& t : Visual().tracks)
                ASSERT_NE(image.pixelColor(x, y), Rgb(t.lineColor)) << x << "," << y;
        }
    }
}

// The copy is the window as it is shown: frame, marker strip, settings buttons and scroll
// bar included, not a fresh paint of the tracks alone.
TEST_F(MonitorWindowTest, CtrlCCopiesTheWindowAsShown) {
    Open();
    QApplication::clipboard()->clear();
    QTest::keyClick(wnd.get(), Qt::Key_C, Qt::ControlModifier);
    const QImage copied = QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
    const QImage shown = wnd->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(copied.size(), wnd->size());
    EXPECT_EQ(copied, shown);
    // The parts the tracks' own paint does not draw are in it.
    const QPoint areaOrigin = AreaWnd()->mapTo(wnd.get(), QPoint(0, 0));
    QWidget* strip = AreaWnd()->GetMarkerSettingsDlg();
    ASSERT_TRUE(strip->isVisible());
    const QRect bar = AreaWnd()->HorizontalScrollBar()->geometry().translated(areaOrigin);
    EXPECT_EQ(copied.copy(bar), AreaWnd()->HorizontalScrollBar()->grab().toImage().convertToFormat(
                                    QImage::Format_RGB32));
    EXPECT_EQ(copied.copy(strip->geometry().translated(areaOrigin)),
              strip->grab().toImage().convertToFormat(QImage::Format_RGB32));
}

TEST(MonitorWindowWithoutPresenter, CopiesTheEmptyWindowAndShowsNoMenu) {
    CQVxWaveformMonitorWnd wnd(CQVxWaveformMonitorWndProps{true});
    wnd.resize(300, 200);
    wnd.show();
    EXPECT_TRUE(wnd.BmpCopyToClipboard());
    EXPECT_EQ(QApplication::clipboard()->image().size(), QSize(300, 200));
    EXPECT_EQ(wnd.MakeContextMenu(), nullptr);
}

}  // namespace
