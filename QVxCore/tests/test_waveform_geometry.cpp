// Column arithmetic, zoom steps, point filing and value-to-row.

#include "QVxCore/Presenters/WaveformGeometry.h"
#include "QVxCore/Presenters/WaveformScalingList.h"
#include "waveform_test_support.h"

#include <gtest/gtest.h>

using namespace qvx;
using namespace qvx::waveform;

TEST(WaveformScalingList, FindIndexPicksTheLastStepAtOrBelowAndClampsAtBothEnds) {
    const WaveformScalingList list;
    ASSERT_EQ(list.Size(), 26u);
    EXPECT_EQ(list[18].timeParPixel, 1'000'000);
    EXPECT_EQ(list[18].stride, 10);
    EXPECT_EQ(list[17].stride, 0);
    EXPECT_EQ(list[25].stride, 2000);

    EXPECT_EQ(list.FindIndex(3), 1u);
    EXPECT_EQ(list.FindIndex(0), 0u);
    EXPECT_EQ(list.FindIndex(-5), 0u);
    EXPECT_EQ(list.FindIndex(500'000'000), 25u);
    EXPECT_EQ(list.FindIndex(200'000'000), 25u);
    EXPECT_EQ(list.FindIndex(1'000'000), 18u);
    EXPECT_EQ(list.FindIndex(1'999'999), 18u);
    for (std::size_t i = 0; i < list.Size(); ++i) EXPECT_EQ(list.FindIndex(list[i].timeParPixel), i);
}

TEST(WaveformScalingList, WheelStepsStopAtBothEnds) {
    const WaveformScalingList list;
    EXPECT_EQ(list.StepTimeParPixel(1000, +1), 2000);
    EXPECT_EQ(list.StepTimeParPixel(1000, -1), 400);
    EXPECT_EQ(list.StepTimeParPixel(1500, -1), 1000);  // between steps: to the finer neighbour
    EXPECT_EQ(list.StepTimeParPixel(1500, +1), 2000);
    EXPECT_EQ(list.StepTimeParPixel(1, -1), 1);
    EXPECT_EQ(list.StepTimeParPixel(200'000'000, +1), 200'000'000);
}

TEST(WaveformScalingList, EmptyListLogsAndGivesMinusOne) {
    test::LogCapture log;
    const WaveformScalingList empty(std::vector<WaveformScalingItem>{});
    EXPECT_EQ(empty.FindIndex(1000), static_cast<std::size_t>(-1));
    EXPECT_EQ(log.ErrorCount(), 1);
}

TEST(WaveformGeometry, ZoomKeepsTheCursorColumnUnlessTheWindowWouldLeaveTheData) {
    const std::int64_t n = 1920;
    // Zoom in 1000 -> 400 ns per column, cursor in column 100 of a window at 1 ms.
    const std::int64_t begin = 1'000'000;
    const std::int64_t cursor = begin + 100 * 1000 + 500;
    const std::int64_t zoomed = ZoomedViewportBegin(cursor, begin, 1000, 400, n, 10'000'000'000);
    EXPECT_EQ(zoomed, 1'060'400);
    EXPECT_EQ(zoomed % 400, 0);
    EXPECT_EQ((cursor - zoomed) / 400, 100);

    // Zooming out near time 0 would start the window before 0.
    EXPECT_EQ(ZoomedViewportBegin(100 * 400, 0, 400, 1000, n, 10'000'000'000), 0);
    // Zooming out near the end would run past lastTime: the window ends at lastTime.
    EXPECT_EQ(ZoomedViewportBegin(1'900'000, 1'800'000, 400, 1000, n, 2'000'000), 80'000);
    // ... and starts at 0 when the data is shorter than the window.
    EXPECT_EQ(ZoomedViewportBegin(100'000, 90'000, 400, 1000, n, 500'000), 0);
    // A cursor outside the window counts as its nearest edge column.
    EXPECT_EQ(ZoomedViewportBegin(begin - 5000, begin, 1000, 400, n, 10'000'000'000),
              begin - 5000 - (begin - 5000) % 400);
    EXPECT_EQ(ZoomedViewportBegin(begin + 5'000'000, begin, 1000, 400, n, 10'000'000'000),
              AlignToColumn(begin + 5'000'000 - n * 400, 400));
}

TEST(WaveformGeometry, ColumnShiftAndLoadedRangeAfterScrolling) {
    EXPECT_EQ(ColumnShift(1999, 1000, 1000), 0);  // less than a column: nothing
    EXPECT_EQ(ColumnShift(4500, 1000, 1000), 3);
    EXPECT_EQ(ColumnShift(0, 3000, 1000), -3);

    const std::int64_t n = 10;
    EXPECT_EQ(ShiftLoadedRange({0, n}, n, 3), (LoadedRange{0, 7}));
    EXPECT_EQ(ShiftLoadedRange({0, n}, n, -3), (LoadedRange{3, 10}));
    // Full width or more in either direction: everything must load.
    EXPECT_EQ(ShiftLoadedRange({0, n}, n, 10), (LoadedRange{0, 0}));
    EXPECT_EQ(ShiftLoadedRange({0, n}, n, -12), (LoadedRange{10, 10}));
    // A range that was to be loaded entirely stays so instead of becoming two
    // overlapping partial loads.
    const LoadedRange all = ShiftLoadedRange({n, n}, n, -3);
    EXPECT_EQ(all.first, all.end);
    const LoadedRange all2 = ShiftLoadedRange({4, 4}, n, 2);
    EXPECT_EQ(all2.first, all2.end);
}

TEST(WaveformGeometry, FilePointFollowsTheWindowAndTheNewestData) {
    // Window [1000, 11000) of 10 columns, data up to 5000.
    EXPECT_EQ(FilePoint(999, 1000, 1000, 10, 5000).place, PointPlace::kBeforeColumn);
    EXPECT_EQ(FilePoint(1000, 1000, 1000, 10, 5000).column, 0);
    EXPECT_EQ(FilePoint(1999, 1000, 1000, 10, 5000).column, 0);
    EXPECT_EQ(FilePoint(2000, 1000, 1000, 10, 5000).column, 1);
    EXPECT_EQ(FilePoint(5999, 1000, 1000, 10, 5000).column, 4);  // the lastTime column itself
    EXPECT_EQ(FilePoint(6000, 1000, 1000, 10, 5000).place, PointPlace::kPastLastTime);
    EXPECT_EQ(FilePoint(11000, 1000, 1000, 10, 5000).place, PointPlace::kAfterColumn);
    EXPECT_EQ(FilePoint(5, 0, 1000, 0, 5000).place, PointPlace::kAfterColumn);  // no columns
}

TEST(WaveformGeometry, ValueToRowForTheThreePlacementModes) {
    TrackGeometry g;
    g.height = 101;
    g.rangeLow = -8192;
    g.rangeHigh = 8192;
    g.pixelScale = 101.0 / 16384.0;
    // Centred: 0 on the middle row, the range ends at the edges.
    EXPECT_EQ(ValueToRow(0, g), 50);
    EXPECT_EQ(ValueToRow(8192, g), 0);
    EXPECT_EQ(ValueToRow(-8192, g), 101);
    // Zoom and offset act around the middle row.
    g.verticalScaling = 2.0;
    EXPECT_EQ(ValueToRow(4096, g), 0);
    g.verticalScaling = 1.0;
    g.verticalResolutionOffset = 0.25;  // 4096 values up
    EXPECT_EQ(ValueToRow(-4096, g), 50);
    g.verticalResolutionOffset = 0.0;
    // Mode 2 measures from range low; mode 1 from row height - 1.
    g.placementMode = TrackPlacement::kFromRangeLow;
    EXPECT_EQ(ValueToRow(-8192, g), 100);
    EXPECT_EQ(ValueToRow(0, g), 50);
    g.placementMode = TrackPlacement::kUnsigned;
    EXPECT_EQ(ValueToRow(0, g), 100);
}
