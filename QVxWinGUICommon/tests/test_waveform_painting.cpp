// Painting of the monitor window checked on rendered images: themes, the track
// lines at their rows, markers at their times, no tracks without enabled channels,
// clock-time ruler and read-outs, captions and the marker strip, the clipboard copy.

#include "waveform_window_support.h"

#include "QVxWinGUICommon/Common/CQVxIconButton.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/IQVxWaveformExtension.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformMarkerSettingDlg.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformCaption.h"
#include "QVxWinGUICommon/WaveformMonitor/TrackAreaGeometry.h"
#include "text_fit_support.h"

#include <QClipboard>
#include <QFontMetrics>
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
    EXPECT_EQ(copied.copy(bar),
              AreaWnd()->HorizontalScrollBar()->grab().toImage().convertToFormat(QImage::Format_RGB32));
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

// The value at the cursor in a track's caption band keeps clear of the settings button over
// the band's right end.
TEST_F(MonitorWindowTest, TheCursorValueIsNotCoveredByTheSettingsButton) {
    Open();
    const CQVxWaveformTrack& t0 = Area().Track(0);
    QWidget* button = t0.GetCaption()->GetButton();
    ASSERT_TRUE(button->isVisible());
    const QRect band(Wave().left, t0.GetLayout().track.top, Wave().Width(), 20);
    const int x = button->x() - 20;  // "4096" 4 pixels right of it would run under the button
    AreaWnd()->repaint();
    const QImage without = Grab();
    QTest::mouseMove(AreaWnd(), QPoint(x, Area().Track(2).GetLayout().waveform.top + 20));
    const QImage with = Grab();
    // Drawn left of the cursor line ...
    const QRect left(x - 40, band.top(), 38, band.height());
    EXPECT_NE(with.copy(left), without.copy(left));
    // ... and nothing between the line and the button.
    const QRect right(x + 2, band.top(), button->x() - x - 2, band.height());
    EXPECT_EQ(with.copy(right), without.copy(right));
}

// An extension that fills a rectangle of the area (where an application draws its marks).
struct FillingExtension : IQVxWaveformExtension {
    QRect fill;
    void OnPaintArea(CQVxWaveformTrackArea*, QPainter& p, const QRect&, const QRect&) override {
        p.fillRect(fill, Qt::magenta);
    }
    void OnPaintTrack(CQVxWaveformTrack*, QPainter&, const QRect&) override {}
    void OnPaintCaption(QVxWaveformCaption*, QPainter&, std::int64_t, const QRect&, const QRect&) override {}
};

// The cursor's time in the ruler is drawn over the extension's marks, not under them.
TEST_F(MonitorWindowTest, TheCursorTimeIsNotCoveredByTheExtensionsMarks) {
    Open();
    FillingExtension extension;
    wnd->SetExtension(&extension);
    const int x = Wave().left + 100;
    extension.fill = QRect(x + 4, trackarea::kRulerBand + 1, 60, trackarea::kRulerBand - 2);
    AreaWnd()->repaint();
    QTest::mouseMove(AreaWnd(), QPoint(x, Area().Track(1).GetLayout().waveform.top + 20));
    const QImage image = Grab();
    wnd->SetExtension(nullptr);
    EXPECT_EQ(image.pixelColor(x + 5, 30),
              Rgb(WaveformStyle::GetColor(0, WaveformStyle::kSlotRulerBackground)));
    EXPECT_EQ(image.pixelColor(x + 62, 30), QColor(Qt::magenta));  // beyond the time's text
}

// The marker strip shows both times and their difference whole in the label column, also
// in clock time, where the times are longer.
TEST_F(MonitorWindowTest, TheMarkerStripShowsTheTimesAndTheirDifferenceWhole) {
    Open();
    vm->SetMarkerTime(0, 1'700'000);
    vm->SetMarkerTime(1, 2'000'000);
    QWidget* strip = AreaWnd()->GetMarkerSettingsDlg();
    ASSERT_EQ(strip->width(), Visual().labelAreaWidth);
    for (const bool clock : {false, true}) {
        vm->clockOrigin = clock ? std::optional<std::int64_t>(kClockOrigin) : std::nullopt;
        vm->ViewportChanged.Emit();
        QApplication::processEvents();
        bool differenceShown = false;
        for (const QWidget* w : strip->findChildren<QWidget*>()) {
            const QString text = text_fit::TextOf(w);
            if (!w->isVisibleTo(strip) || text.isEmpty()) continue;
            differenceShown |= text.contains(QStringLiteral("M2-M1: 300 us"));
            EXPECT_LE(w->x() + w->sizeHint().width(), strip->width()) << text.toStdString();
            EXPECT_LE(w->y() + w->height(), strip->height()) << text.toStdString();
            EXPECT_GE(w->height(), w->fontMetrics().height()) << text.toStdString();
        }
        EXPECT_TRUE(differenceShown) << clock;
    }
}

TEST(CaptionReadoutLines, SharedLineSeparatorFollowsANonEmptyM1AndTheDifferenceKeepsItsLine) {
    using Caption = QVxWaveformCaption;
    EXPECT_EQ(Caption::MarkerReadoutLines("M1: 1", "M2: 3", "M2-M1: 2", true),
              (QStringList{"M1: 1, M2: 3", "M2-M1: 2"}));
    EXPECT_EQ(Caption::MarkerReadoutLines("M1: 1", "", "", true), (QStringList{"M1: 1, "}));
    EXPECT_EQ(Caption::MarkerReadoutLines("", "M2: 3", "", true), (QStringList{"M2: 3"}));
    EXPECT_EQ(Caption::MarkerReadoutLines("M1: 1", "M2: 3", "M2-M1: 2", false),
              (QStringList{"M1: 1", "M2: 3", "M2-M1: 2"}));
    EXPECT_EQ(Caption::MarkerReadoutLines("", "M2: 3", "", false), (QStringList{"", "M2: 3"}));
}

// Rows of the label column's text area (x 44 to 4 pixels before its right) that hold ink,
// counted as bands of consecutive rows: one band per line of text.
int TextLinesInCaption(const QImage& image, const CQVxWaveformTrack& track, int labelWidth) {
    const auto& r = track.GetLayout().track;
    const QColor background = image.pixelColor(labelWidth - 2, r.top + 2);
    int bands = 0;
    bool inBand = false;
    for (int y = r.top; y < r.bottom - 3; ++y) {
        bool ink = false;
        for (int x = 44; x < labelWidth - 4 && !ink; ++x) ink = image.pixelColor(x, y) != background;
        if (ink && !inBand) ++bands;
        inBand = ink;
    }
    return bands;
}

// The caption's read-outs: M1, M2 and M2-M1 under the name, M1 and M2 sharing a line in a
// track lower than 5 line heights, where M2-M1 still gets its line.
TEST_F(MonitorWindowTest, CaptionsShowM2MinusM1AlsoInLowTracks) {
    Open();
    vm->SetMarkerTime(0, 100 * Tpp());
    vm->SetMarkerTime(1, 300 * Tpp());
    const int labelWidth = Visual().labelAreaWidth;
    AreaWnd()->repaint();
    EXPECT_EQ(TextLinesInCaption(Grab(), Area().Track(0), labelWidth), 4);  // 150 pixels high

    // A track of 3 lines and 8 pixels: room for the name, M1 and M2 together, and M2-M1.
    const int h = QFontMetrics(QVxWinGUI::GuiFont(10)).height();
    int height = 3 * h + 8;
    height += height % 2;
    vm->SetOption(WaveformPresenter::kOptionFitToHeight, 1);
    const int bar = AreaWnd()->HorizontalScrollBar()->sizeHint().height();
    wnd->resize(1000, 4 * height + trackarea::kRulerHeight + trackarea::kFooterHeight + bar +
                          2 * CQVxWaveformMonitorWnd::kBorderWidth);
    QApplication::processEvents();
    ASSERT_EQ(Area().GetLayout().trackHeight, height);
    ASSERT_LT(height, 5 * h);
    AreaWnd()->repaint();
    EXPECT_EQ(TextLinesInCaption(Grab(), Area().Track(0), labelWidth), 3);
    Visual().markers[1].enabled = false;
    AreaWnd()->repaint();
    EXPECT_EQ(TextLinesInCaption(Grab(), Area().Track(0), labelWidth), 2);  // M1 alone, no M2-M1
}
}  // namespace
