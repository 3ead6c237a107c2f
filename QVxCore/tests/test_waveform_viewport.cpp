// Scrolling, zooming and resizing the viewport of a presenter in stored mode:
// which columns reload and where the bins go.

#include "QVxCore/Presenters/WaveformPresenter.h"
#include "waveform_test_support.h"

#include <gtest/gtest.h>

using namespace qvx;
using Loads = std::vector<std::pair<std::int64_t, std::int64_t>>;

namespace {

// Ten columns of 1000 ns over data that runs far to the right. After every load a
// column holds one point whose channel-0 value is its absolute column number.
class Viewport : public ::testing::Test {
protected:
    WaveformVisualSettings settings = test::FourTrackSettings(1000);
    test::RecordingPresenter p{&settings};

    void SetUp() override {
        p.fillOnLoad = true;
        p.UpdateLastTime(1'000'000'000);
        p.ResetViewportWidth(10);
        p.loads.clear();
    }
    const WaveformRenderData& rd() const { return p.GetWritingRenderData(); }
    const WaveformLine& line0() const { return rd().Line(0); }
    // Channel-0 values of the ten columns (-1 for an invalid bin).
    std::vector<std::int64_t> Values() const {
        std::vector<std::int64_t> v;
        for (const auto& bin : line0().Columns()) v.push_back(bin.valid ? bin.minValue : -1);
        return v;
    }
    static std::vector<std::int64_t> Range(std::int64_t first) {
        std::vector<std::int64_t> v;
        for (std::int64_t i = 0; i < 10; ++i) v.push_back(first + i);
        return v;
    }
};

}  // namespace

TEST_F(Viewport, FirstLayoutLoadsTheWholeWindow) {
    test::RecordingPresenter fresh{&settings};
    fresh.fillOnLoad = true;
    fresh.UpdateLastTime(1'000'000'000);
    fresh.ResetViewportWidth(10);
    EXPECT_EQ(fresh.loads, (Loads{{0, 10'000}}));
    EXPECT_EQ(fresh.GetWritingRenderData().Columns()[9], (WaveformColumn{9000, 10'000}));
    EXPECT_EQ(fresh.GetWritingRenderData().GetLoadedRange(), (waveform::LoadedRange{0, 10}));
    // The same width again changes nothing.
    fresh.loads.clear();
    fresh.ResetViewportWidth(10);
    EXPECT_TRUE(fresh.loads.empty());
}

TEST_F(Viewport, ScrollByLessThanAColumnChangesNothing) {
    int viewportSignals = 0;
    auto c = p.ViewportChanged.Connect([&] { ++viewportSignals; });
    p.SetViewportBeginTimeOffset(999);
    EXPECT_EQ(rd().GetViewportBeginTimeOffset(), 0);
    EXPECT_TRUE(p.loads.empty());
    EXPECT_EQ(Values(), Range(0));
    EXPECT_EQ(viewportSignals, 1);
}

TEST_F(Viewport, ScrollRightMovesBinsAndLoadsOnlyTheNewColumns) {
    p.SetViewportBeginTimeOffset(3500);  // three columns right, rounded down to 3000
    EXPECT_EQ(rd().GetViewportBeginTimeOffset(), 3000);
    EXPECT_EQ(rd().Columns().front(), (WaveformColumn{3000, 4000}));
    EXPECT_EQ(p.loads, (Loads{{10'000, 13'000}}));
    EXPECT_EQ(Values(), Range(3));
    // The newest column that left on the left is now the before-column.
    ASSERT_TRUE(line0().BeforeColumn().valid);
    EXPECT_EQ(line0().BeforeColumn().minValue, 2);
    EXPECT_EQ(line0().BeforeColumn().last.time, 2500);
    EXPECT_FALSE(line0().AfterColumn().valid);
}

TEST_F(Viewport, ScrollLeftMovesBinsAndLoadsOnlyTheNewColumns) {
    p.SetViewportBeginTimeOffset(3000);
    p.loads.clear();
    p.SetViewportBeginTimeOffset(0);
    // Columns 0..2 came into view; the load runs to the end of column 3.
    EXPECT_EQ(p.loads, (Loads{{0, 4000}}));
    EXPECT_EQ(Values(), Range(0));
    // The oldest column that left on the right is now the after-column.
    ASSERT_TRUE(line0().AfterColumn().valid);
    EXPECT_EQ(line0().AfterColumn().minValue, 10);
    EXPECT_FALSE(line0().BeforeColumn().valid);
    // Column 3 got the same point a second time: its bin is unchanged.
    EXPECT_EQ(line0().Columns()[3].first, (WaveformPoint{3500, 3}));
    EXPECT_EQ(line0().Columns()[3].last, (WaveformPoint{3500, 3}));
}

TEST_F(Viewport, ScrollByTheFullWidthOrMoreReloadsEverything) {
    p.SetViewportBeginTimeOffset(10'000);
    EXPECT_EQ(p.loads, (Loads{{10'000, 20'000}}));
    EXPECT_EQ(Values(), Range(10));
    EXPECT_FALSE(line0().BeforeColumn().valid);

    p.loads.clear();
    p.SetViewportBeginTimeOffset(35'000);  // 25 columns further right
    EXPECT_EQ(p.loads, (Loads{{35'000, 45'000}}));
    EXPECT_EQ(Values(), Range(35));

    p.loads.clear();
    p.SetViewportBeginTimeOffset(2'000);  // 33 columns back left
    EXPECT_EQ(p.loads, (Loads{{2'000, 12'000}}));
    EXPECT_EQ(Values(), Range(2));
}

TEST_F(Viewport, WidthChangeReloadsEveryColumn) {
    p.SetViewportBeginTimeOffset(4000);
    p.loads.clear();
    p.ResetViewportWidth(12);
    EXPECT_EQ(p.loads, (Loads{{4000, 16'000}}));
    ASSERT_EQ(line0().Columns().size(), 12u);
    EXPECT_EQ(line0().Columns()[11].minValue, 15);
    EXPECT_EQ(rd().ViewportWidthTime(), 12'000);

    test::LogCapture log;
    p.ResetViewportWidth(-1);
    EXPECT_EQ(log.ErrorCount(), 1);
    EXPECT_EQ(rd().ColumnCount(), 12);
}

TEST_F(Viewport, ZoomAroundTheCursorReloadsTheWindowAndKeepsTheCursorColumn) {
    p.ResetViewportWidth(1920);
    p.SetViewportBeginTimeOffset(1'000'000);
    p.UpdateCursorTime(1'100'500);  // column 100
    int scaleSignals = 0;
    auto c = p.ScaleChanged.Connect([&] { ++scaleSignals; });
    p.loads.clear();

    p.ResetViewportScale(400);
    EXPECT_EQ(scaleSignals, 1);
    EXPECT_EQ(settings.timeScale, 400);
    EXPECT_EQ(rd().GetTimeParPixel(), 400);
    EXPECT_EQ(rd().GetViewportBeginTimeOffset(), 1'060'400);
    const auto& col100 = rd().Columns()[100];
    EXPECT_TRUE(col100.start <= 1'100'500 && 1'100'500 < col100.end);
    EXPECT_EQ(p.loads, (Loads{{1'060'400, 1'060'400 + 1920 * 400}}));

    // Zooming out at the start of the data clamps the window to 0 ...
    p.SetViewportBeginTimeOffset(0);
    p.UpdateCursorTime(100 * 400);
    p.ResetViewportScale(1000);
    EXPECT_EQ(rd().GetViewportBeginTimeOffset(), 0);
    // ... and near lastTime the window ends at lastTime.
    p.UpdateLastTime(5'000'000);
    p.SetViewportBeginTimeOffset(3'000'000);
    p.UpdateCursorTime(3'100'000);
    p.ResetViewportScale(2000);
    EXPECT_EQ(rd().GetViewportBeginTimeOffset(), 5'000'000 - 1920 * 2000 - (5'000'000 - 1920 * 2000) % 2000);

    test::LogCapture log;
    p.ResetViewportScale(0);
    EXPECT_EQ(log.ErrorCount(), 1);
    EXPECT_EQ(rd().GetTimeParPixel(), 2000);
    EXPECT_EQ(scaleSignals, 3);
}

TEST_F(Viewport, LastTimeIsRoundedToTheColumnAndReRoundedAfterAZoomIn) {
    p.UpdateLastTime(12'345);
    EXPECT_EQ(rd().GetLastTime(), 12'000);
    // Points beyond lastTime's column are counted but not filed.
    WaveformRenderData& w = p.WritingRenderData();
    w.SetViewportBeginTimeOffset(10'000);
    w.AddPoint(0, 12'999, 7);
    const std::int64_t counted = line0().PointCount();
    w.AddPoint(0, 13'000, 8);
    EXPECT_EQ(line0().Columns()[2].last, (WaveformPoint{12'999, 7}));
    EXPECT_FALSE(line0().Columns()[3].valid);
    EXPECT_EQ(line0().PointCount(), counted + 1);

    // After zooming in to 1 ns per column the newest record at 12,345 ns is still
    // inside the data: lastTime is re-rounded from the unrounded value.
    p.UpdateCursorTime(12'000);
    p.ResetViewportScale(1);
    EXPECT_EQ(rd().GetLastTime(), 12'345);
}

TEST_F(Viewport, LoadsAreRefusedWhileRecordsAreBeingWritten) {
    test::LogCapture log;
    {
        WaveformPresenter::WriteBatch batch(p);
        EXPECT_TRUE(p.IsWritableLocked());
        p.SetViewportBeginTimeOffset(20'000);
    }
    EXPECT_FALSE(p.IsWritableLocked());
    EXPECT_GE(log.ErrorCount(), 1);  // the load inside the batch was refused
    EXPECT_TRUE(p.loads.empty());
}

TEST_F(Viewport, TheReadingSideRefusesWrites) {
    test::LogCapture log;
    WaveformRenderData reading(&p, false, 1000);
    reading.AddLine(&p.Track(0));
    reading.ResetViewportWidth(5);
    reading.AddPoint(0, 10, 1);
    EXPECT_EQ(log.ErrorCount(), 2);  // the width and the point
    EXPECT_EQ(reading.ColumnCount(), 0);
    EXPECT_EQ(reading.Line(0).PointCount(), 0);
    // Copying into it is allowed: that is how it gets its data.
    reading.CopyFrom(rd());
    EXPECT_EQ(reading.ColumnCount(), 10);
    EXPECT_EQ(reading.Line(0).Columns()[4].minValue, 4);
}
