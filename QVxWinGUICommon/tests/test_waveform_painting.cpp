// Painting of the monitor window checked on rendered images: themes, the track
// lines at their rows, markers at their times, no tracks without enabled channels,
// the clock-time ruler and read-outs, the clipboard copy.

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

// 2023-11-14 22:13:20.123456789 UTC: 6,789 ns past a multiple of 25,000 ns since 1970.
constexpr std::int64_t kClockOrigin = 1'700'000'000'123'456'789;

// In clock time the ruler's major lines (every 25,000 ns at 100 ns per pixel) sit on round
// times of day, not on multiples of 25,000 ns since the start.
TEST_F(MonitorWindowTest, ClockTimeRulerLinesSitOnRoundTimesOfDay) {
    Open();
    vm->clockOrigin = kClockOrigin;
    wnd->Redraw();
    const QImage image = Grab();
    const QColor grid = Rgb(WaveformStyle::GetColor(0, WaveformStyle::kSlotGrid));
    const int y = Wave().top - 5;  // only the major lines reach above the waveform
    // The first round time of day after the start is 25,000 - 6,789 = 18,211 ns after it.
    for (const std::int64_t t : {18'211, 43'211, 68'211})
        EXPECT_EQ(image.pixelColor(Wave().left + static_cast<int>(t / Tpp()), y), grid) << t;
    for (const int x : {250, 500}) EXPECT_NE(image.pixelColor(Wave().left + x, y), grid) << x;

    vm->clockOrigin.reset();  // time since the start: multiples of 25,000 ns again
    wnd->Redraw();
    const QImage sinceStart = Grab();
    EXPECT_EQ(sinceStart.pixelColor(Wave().left + 250, y), grid);
    EXPECT_NE(sinceStart.pixelColor(Wave().left + 182, y), grid);
}

// "ReportData LastTime" tells the newest record's own time: the same text at every zoom.
TEST_F(MonitorWindowTest, TheLastTimeReadoutIsTheLastRecordsOwnTimeAtEveryZoom) {
    Open();  // the newest record is at 499,900 ns
    vm->clockOrigin = kClockOrigin;
    vm->SetOption(WaveformPresenter::kOptionLastTimeReadout, 1);
    const auto& f = Area().GetLayout().footer;
    const QRect lastTimeRow(f.left, f.top + 22, f.Width(), 20);
    wnd->Redraw();
    const QImage fine = Grab().copy(lastTimeRow);
    for (const std::int64_t tpp : {200, 1000}) {  // columns that end before the newest record
        vm->ResetViewportScale(tpp);
        wnd->Redraw();
        EXPECT_EQ(Grab().copy(lastTimeRow), fine) << tpp;
    }
}

}  // namespace
