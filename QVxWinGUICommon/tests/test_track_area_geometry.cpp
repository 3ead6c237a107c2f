// Pure geometry of the track area: layout, time grid, scroll-bar scaling over a
// 64-bit range, the track polyline, tints and divisions, read-out places and the
// border handle.

#include "QVxCore/Presenters/WaveformLine.h"
#include "QVxWinGUICommon/WaveformMonitor/TrackAreaGeometry.h"

#include <gtest/gtest.h>

using namespace qvx;
using namespace qvx::trackarea;

namespace {

AreaLayoutInput Input(std::vector<bool> enabled, bool fit) {
    AreaLayoutInput in;
    in.clientWidth = 1000;
    in.clientHeight = 820;
    in.scrollBarHeight = 20;
    in.labelWidth = 250;
    in.fitToHeight = fit;
    in.sharedTrackHeight = 150;
    in.trackEnabled = std::move(enabled);
    return in;
}

TEST(TrackAreaLayout, FitToHeightSharesTheRegionAmongShownTracks) {
    const AreaLayout l = LayoutArea(Input({true, false, true, true}, true));
    EXPECT_EQ(l.area, (PixRect{0, 0, 1000, 800}));
    EXPECT_EQ(l.ruler, (PixRect{0, 0, 1000, 50}));
    // Region 50..700 = 650 pixels over 3 tracks: 216, even.
    EXPECT_EQ(l.trackHeight, 216);
    EXPECT_EQ(l.tracks[0], (PixRect{0, 50, 1000, 266}));
    EXPECT_EQ(l.tracks[1].top, 266);  // hidden: keeps a rectangle, takes no room
    EXPECT_EQ(l.tracks[2], (PixRect{0, 266, 1000, 482}));
    EXPECT_EQ(l.tracks[3], (PixRect{0, 482, 1000, 698}));
    EXPECT_EQ(l.waveform, (PixRect{266, 51, 999, 699}));
    EXPECT_EQ(l.footer, (PixRect{0, 700, 1000, 800}));
}

TEST(TrackAreaLayout, FixedHeightGivesHiddenRoomToShownTracksAndNoTrackDividesByOne) {
    AreaLayout l = LayoutArea(Input({true, true, false, false}, false));
    EXPECT_EQ(l.trackHeight, 300);  // 4 x 150 / 2
    EXPECT_EQ(l.tracksRegion.bottom, 650);
    EXPECT_EQ(l.footer.top, 650);
    l = LayoutArea(Input({false, false, false, false}, true));
    EXPECT_EQ(l.trackHeight, 650);  // divided by 1, not 0
    l = LayoutArea(Input({}, false));
    EXPECT_EQ(l.trackHeight, 0);
    EXPECT_TRUE(l.tracks.empty());
}

TEST(TrackAreaLayout, TrackRectanglesByUsageAndZeroHandle) {
    const PixRect track{0, 50, 1000, 250};
    TrackLayout t = LayoutTrack(track, 250, true, false);
    EXPECT_EQ(t.splitter, (PixRect{250, 50, 265, 250}));
    EXPECT_EQ(t.waveform, (PixRect{265, 81, 1000, 231}));
    EXPECT_EQ(t.settingsButton, (PixRect{970, 50, 1000, 80}));
    t = LayoutTrack(track, 250, false, true);
    EXPECT_EQ(t.waveform, (PixRect{265, 76, 1000, 244}));
    EXPECT_EQ(t.settingsButton.left, 900);
    EXPECT_EQ(ZeroHandleRect(PixRect{265, 81, 1000, 231}, 75), (PixRect{265, 141, 285, 171}));
}

TEST(TrackAreaGrid, DivisionsOfFiftyPixelsWithEveryFifthMajor) {
    // 10 ns per pixel: one division is 500 ns; the window starts at 1,234 ns.
    const TimeGrid g = MakeTimeGrid(1234, 10, 100, 400);
    EXPECT_EQ(g.division, 500);
    ASSERT_EQ(g.lines.size(), 6u);  // 300 / 50 + 1 considered, all left of the right edge
    EXPECT_EQ(g.lines[0].time, 1500);
    EXPECT_EQ(g.lines[0].x, 100 + 26);
    EXPECT_TRUE(g.lines[2].major);  // 2500
    EXPECT_FALSE(g.lines[3].major);
    EXPECT_EQ(g.leadingMajorTime, 0);
    const TimeGrid late = MakeTimeGrid(2600, 10, 0, 100);
    EXPECT_EQ(late.leadingMajorTime, 2500);
    EXPECT_EQ(late.leadingMajorX, -10);
    EXPECT_EQ(ChooseTimeUnit(true, 20, 1), 2);  // 1000 ns per division: us
    EXPECT_EQ(ChooseTimeUnit(true, 19, 1), 3);
    EXPECT_EQ(ChooseTimeUnit(true, 20000, 3), 1);
    EXPECT_EQ(ChooseTimeUnit(true, 20000000, 3), 0);
    EXPECT_EQ(ChooseTimeUnit(false, 20000000, 3), 3);
}

TEST(TrackAreaGrid, LinesCountedFromAnOriginSitOnItsMultiples) {
    // Clock time 1,000,000,000,000,000,700 ns at time 0: the 500-ns divisions fall on 300 ns
    // plus multiples of 500 ns, the major ones (2,500 ns) on 1,800 ns plus multiples of 2,500.
    const std::int64_t origin = 1'000'000'000'000'000'700;
    const TimeGrid g = MakeTimeGrid(1234, 10, 100, 400, origin);
    ASSERT_EQ(g.lines.size(), 6u);
    EXPECT_EQ(g.lines[0].time, 1300);
    EXPECT_EQ(g.lines[0].x, 100 + 6);
    EXPECT_TRUE(g.lines[1].major);  // 1,800
    EXPECT_FALSE(g.lines[2].major);
    EXPECT_EQ(g.lines[5].time, 3800);
    EXPECT_EQ(g.leadingMajorTime, -700);  // before the start: no label
    const TimeGrid late = MakeTimeGrid(2600, 10, 0, 100, origin);
    EXPECT_EQ(late.leadingMajorTime, 1800);
    EXPECT_EQ(late.leadingMajorX, -80);
    // Without an origin the grid is the one counted from the start.
    EXPECT_EQ(MakeTimeGrid(1234, 10, 100, 400, 0).lines[0].time, 1500);
}

TEST(TrackAreaReadout, KeepsClearOfAButtonOverItsRow) {
    // Anchor 400, text 30 wide, band 300..600, button 420..450.
    EXPECT_EQ(ReadoutXClearOf(400, 30, 300, 600, 420, 450), 366);  // left of the anchor
    EXPECT_EQ(ReadoutXClearOf(380, 30, 300, 600, 420, 450), 384);  // right of it, before the button
    EXPECT_EQ(ReadoutXClearOf(455, 30, 300, 600, 420, 450), 459);  // right of the button
    EXPECT_EQ(ReadoutXClearOf(430, 30, 300, 600, 420, 450), 454);  // under it: beside it
    EXPECT_EQ(ReadoutXClearOf(590, 30, 300, 600, 420, 450), 556);  // at the right edge
    EXPECT_EQ(ReadoutXClearOf(400, 30, 300, 600, 0, 0), 404);      // no button
    // Nowhere clear: where ReadoutX puts it.
    EXPECT_EQ(ReadoutXClearOf(310, 30, 300, 350, 300, 350), ReadoutX(310, 30, 350));
}

TEST(TrackAreaBorderHandle, TheBordersPartInTheLabelColumn) {
    const TrackLayout t = LayoutTrack({0, 50, 1000, 200}, 250, true, false);
    const PixRect handle = TrackBorderHandle(t);
    EXPECT_EQ(handle, (PixRect{0, 197, 250, 204}));
    EXPECT_FALSE(handle.Contains(t.splitter.left + 1, 200));  // the splitter keeps its own drag
    EXPECT_FALSE(handle.Contains(t.waveform.left + 10, 200));
}

TEST(TrackAreaScrollBar, A64BitTotalIsScaledAndReachesBothEnds) {
    const std::uint64_t total = 5'000'000'000;  // pixels: 5 s at 1 ns per pixel
    const std::uint64_t page = 1000;
    const ScrollBarState s = ToScrollBar(true, total, page, total / 2);
    EXPECT_TRUE(s.scaled);
    EXPECT_EQ(s.page, 429);  // 1000 / total x 2147483647, truncated
    EXPECT_EQ(s.maximum, 2147483647 - 429);
    EXPECT_NEAR(s.position, 1073741823, 1);
    EXPECT_EQ(ToScrollBar(true, total, page, total - page).position, s.maximum);
    EXPECT_EQ(FromScrollBar(s, 0, total - page), 0u);
    EXPECT_EQ(FromScrollBar(s, s.maximum, total - page), total - page);
    EXPECT_NEAR(static_cast<double>(FromScrollBar(s, s.position, total - page)), total / 2.0, 5.0);

    const ScrollBarState small = ToScrollBar(true, 5000, 1000, 1234);
    EXPECT_FALSE(small.scaled);
    EXPECT_EQ(small.maximum, 4000);
    EXPECT_EQ(small.position, 1234);
    EXPECT_EQ(FromScrollBar(small, 1234, 4000), 1234u);
    EXPECT_FALSE(ToScrollBar(true, 1000, 1000, 0).enabled);  // nothing to scroll
    EXPECT_FALSE(ToScrollBar(false, 5000, 1000, 0).enabled);
}

TEST(TrackPolyline, ColumnsAreJoinedStrokesFromTheBeforeBinToLastTime) {
    WaveformLine line(nullptr, nullptr, 4);
    // before-column value 0; column 1 spans 10..20 ending at 12; column 2 holds 5.
    line.AddPoint({waveform::PointPlace::kBeforeColumn, -1}, 5, 0);
    line.AddPoint({waveform::PointPlace::kColumn, 1}, 110, 10);
    line.AddPoint({waveform::PointPlace::kColumn, 1}, 120, 20);
    line.AddPoint({waveform::PointPlace::kColumn, 1}, 130, 12);
    line.AddPoint({waveform::PointPlace::kColumn, 2}, 210, 5);
    std::vector<PolyPoint> pts;
    auto y = [](std::int64_t v) { return static_cast<int>(100 - v); };
    BuildTrackPolyline(line, 10, 14, 350, 0, 100, y, pts);
    const std::vector<PolyPoint> expected{{9, 100}, {11, 100}, {11, 80}, {11, 100}, {11, 88},
                                          {12, 88}, {12, 88},  {12, 95}, {12, 95},  {13, 95}};
    EXPECT_EQ(pts, expected);  // runs on to x of lastTime 350 = 13

    WaveformLine empty(nullptr, nullptr, 4);
    BuildTrackPolyline(empty, 10, 14, 350, 0, 100, y, pts);
    EXPECT_TRUE(pts.empty());
}

TEST(TrackAreaColours, TintsReadoutsAndDivisions) {
    const Color base(0xFA, 0xFA, 0xFA);
    EXPECT_EQ(Tint(Color(255, 0, 0), base, 28, 227), Color(250, 222, 222));
    EXPECT_EQ(Tint(Color(255, 0, 0, 0), base, 28, 227), base);  // not set
    EXPECT_EQ(ReadoutX(100, 50, 200), 104);
    EXPECT_EQ(ReadoutX(180, 50, 200), 126);
    const auto d = VerticalDivisions(0, 250, 0.0, 1.0);
    ASSERT_EQ(d.size(), 11u);
    EXPECT_EQ(d[0].y, 30);
    EXPECT_EQ(d[1].y, 50);
    EXPECT_EQ(d[0].number, -5);
    EXPECT_EQ(d[10].number, 5);
    EXPECT_EQ(VerticalDivisions(0, 50, 0.1, 1.0).size(), 0u);  // too low: no division by zero
    EXPECT_DOUBLE_EQ(OffsetAfterDrag(0.0, -10, 0.01, 1.0, -8192, 8192), 10.0 / 163.84);
}

}  // namespace
