// Stored and ad-hoc data modes, the construction-thread check, cursor, markers,
// time unit and the waveform style.

#include "QVxCore/Presenters/WaveformPresenter.h"
#include "QVxCore/Utils.h"
#include "waveform_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace qvx;

namespace {

class Modes : public ::testing::Test {
protected:
    WaveformVisualSettings settings = test::FourTrackSettings(1000);
    test::RecordingPresenter p{&settings};
    void SetUp() override {
        p.UpdateLastTime(1'000'000);
        p.ResetViewportWidth(10);
    }
};

}  // namespace

TEST_F(Modes, CallsFromAnotherThreadAreRefusedAndChangeNothing) {
    test::LogCapture log;
    int signals = 0;
    auto c1 = p.ViewportChanged.Connect([&] { ++signals; });
    auto c2 = p.ScaleChanged.Connect([&] { ++signals; });
    p.loads.clear();
    std::thread([&] {
        p.SetViewportBeginTimeOffset(5000);
        p.ResetViewportScale(400);
        p.ResetViewportWidth(20);
        p.UpdateLastTime(7);
        p.UpdateCursorTime(500);
        p.SetMarkerTime(0, 100);
        p.SetTimeUnit(qvx::TimeDisplayUnit::kNanoSecond);
        p.SetupForAdhocData();
        p.FetchRenderData();
    }).join();
    EXPECT_EQ(log.ErrorCount(), 9);  // one refused thread check per call
    const auto& rd = p.GetWritingRenderData();
    EXPECT_EQ(rd.GetViewportBeginTimeOffset(), 0);
    EXPECT_EQ(rd.GetTimeParPixel(), 1000);
    EXPECT_EQ(rd.ColumnCount(), 10);
    EXPECT_EQ(rd.GetLastTime(), 1'000'000);
    EXPECT_EQ(settings.timeScale, 1000);
    EXPECT_EQ(settings.timeUnit, qvx::TimeDisplayUnit::kMilliSecond);
    EXPECT_FALSE(settings.markers[0].enabled);
    EXPECT_EQ(p.GetCursorTime(), 0);
    EXPECT_TRUE(p.IsStoredData());
    EXPECT_TRUE(p.loads.empty());
    EXPECT_EQ(signals, 0);
    // Nothing was queued either: the next stored-mode call applies only itself.
    p.UpdateLastTime(2'000'000);
    EXPECT_EQ(rd.GetViewportBeginTimeOffset(), 0);
    EXPECT_EQ(rd.ColumnCount(), 10);
}

TEST_F(Modes, AdhocScrollIsAppliedOnlyWithTheNextBatch) {
    settings.markers[1] = {true, 777, Color()};
    settings.timeScale = 2000;
    p.SetupForAdhocData();
    EXPECT_FALSE(p.IsStoredData());
    ASSERT_TRUE(p.HasAdhocRenderData());
    const auto& w = p.GetWritingRenderData();
    EXPECT_EQ(w.GetTimeParPixel(), 2000);
    EXPECT_EQ(w.GetLastTime(), 0);
    EXPECT_FALSE(settings.markers[1].enabled);
    EXPECT_EQ(settings.markers[1].time, 0);

    p.loads.clear();
    p.SetViewportBeginTimeOffset(6000);
    p.ResetViewportWidth(8);
    EXPECT_EQ(w.GetViewportBeginTimeOffset(), 0);  // only queued
    EXPECT_EQ(w.ColumnCount(), 10);

    {
        WaveformPresenter::WriteBatch batch(p);
        EXPECT_EQ(w.GetViewportBeginTimeOffset(), 6000);  // applied under the lock
        EXPECT_EQ(w.ColumnCount(), 8);
        batch.RenderData().UpdateLastTime(30'000);
        const std::int64_t v[4] = {5, 6, 7, 8};
        batch.RenderData().AddPoints(9000, v);
        batch.PublishAdhoc();
    }
    EXPECT_TRUE(p.loads.empty());  // ad-hoc data is never loaded on demand
    // Published but not fetched yet: the reading side is still the old window.
    EXPECT_EQ(p.GetReadingRenderData().ColumnCount(), 10);
    EXPECT_EQ(p.GetReadingRenderData().GetViewportBeginTimeOffset(), 0);
    p.FetchRenderData();
    const auto& r = p.GetPaintRenderData();
    EXPECT_EQ(&r, &p.GetReadingRenderData());
    EXPECT_EQ(r.GetViewportBeginTimeOffset(), 6000);
    EXPECT_EQ(r.GetLastTime(), 30'000);
    EXPECT_EQ(r.Line(3).Columns()[1].maxValue, 8);

    // Back to stored data: the ad-hoc copy goes, the whole window loads.
    p.SetupForStoredData();
    EXPECT_TRUE(p.IsStoredData());
    EXPECT_FALSE(p.HasAdhocRenderData());
    EXPECT_EQ(p.loads, (std::vector<std::pair<std::int64_t, std::int64_t>>{{6000, 22'000}}));
    EXPECT_EQ(&p.GetPaintRenderData(), &p.GetWritingRenderData());
}

TEST_F(Modes, ConcurrentBatchesAndPaintCopiesStayConsistent) {
    p.SetupForAdhocData();
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (std::int64_t b = 1; b <= 300; ++b) {
            WaveformPresenter::WriteBatch batch(p);
            WaveformRenderData& w = batch.RenderData();
            w.UpdateLastTime(b * 1000);
            w.MoveTimeOffsetToLast();
            const std::int64_t v[4] = {b, b, b, b};
            w.AddPoints(b * 1000 - 1, v);
            batch.PublishAdhoc();
        }
        done = true;
    });
    std::int64_t widths = 10;
    while (!done) {
        p.FetchRenderData();
        const auto& r = p.GetReadingRenderData();
        EXPECT_EQ(static_cast<std::size_t>(r.ColumnCount()), r.Line(0).Columns().size());
        p.ResetViewportWidth(widths = widths == 10 ? 12 : 10);
    }
    writer.join();
    p.FetchRenderData();
    const auto& r = p.GetReadingRenderData();
    EXPECT_EQ(r.GetLastTime(), 300'000);
    EXPECT_EQ(r.Columns().back().end, 300'000);
}

// Publishing is lazy (the writing side stands in for the ad-hoc copy until a batch
// changes it): the GUI still fetches exactly the last published state, also when later
// batches write without publishing (a held display) and when a viewport change is queued
// in between, with and without the promise to publish.
TEST_F(Modes, TheGuiFetchesTheLastPublishedStateWhateverFollowsIt) {
    p.SetupForAdhocData();
    const auto batchAt = [&](std::int64_t t, bool publish, bool promise) {
        WaveformPresenter::WriteBatch batch(p, promise);
        WaveformRenderData& w = batch.RenderData();
        w.UpdateLastTime(t);
        w.MoveTimeOffsetToLast();
        const std::int64_t v[4] = {t, t, t, t};
        w.AddPoints(t - 1, v);
        if (publish) batch.PublishAdhoc();
    };
    const auto fetched = [&] {
        p.FetchRenderData();
        const auto& r = p.GetReadingRenderData();
        return std::pair{r.GetLastTime(), r.Line(0).Columns().back().maxValue};
    };
    batchAt(10'000, true, true);
    EXPECT_EQ(fetched(), (std::pair<std::int64_t, std::int64_t>{10'000, 10'000}));
    batchAt(11'000, true, true);
    batchAt(12'000, false, false);  // held: the GUI keeps 11 us
    EXPECT_EQ(fetched(), (std::pair<std::int64_t, std::int64_t>{11'000, 11'000}));
    batchAt(13'000, false, false);
    EXPECT_EQ(fetched(), (std::pair<std::int64_t, std::int64_t>{11'000, 11'000}));
    // A width queued after a publish applies to the published copy too, as before.
    batchAt(14'000, true, true);
    p.ResetViewportWidth(6);
    batchAt(15'000, false, false);
    p.FetchRenderData();
    EXPECT_EQ(p.GetReadingRenderData().ColumnCount(), 6);
    EXPECT_EQ(p.GetReadingRenderData().GetLastTime(), 14'000);
    batchAt(16'000, true, true);
    EXPECT_EQ(fetched(), (std::pair<std::int64_t, std::int64_t>{16'000, 16'000}));
}

TEST_F(Modes, CursorAndMarkersReadTheChannelValues) {
    test::LogCapture log;
    p.UpdateCursorTime(-1);
    EXPECT_EQ(log.ErrorCount(), 1);
    EXPECT_EQ(p.GetCursorTime(), 0);

    p.lastReadable = 500'000;
    p.UpdateCursorTime(2'000'000);  // clamped to lastTime, which has no value
    EXPECT_EQ(p.GetCursorTime(), 1'000'000);
    EXPECT_FALSE(p.Track(0).HasCursorValue());
    p.UpdateCursorTime(4000);
    EXPECT_EQ(p.Track(2).GetCursorValue(), 402);

    int viewportSignals = 0;
    auto c = p.ViewportChanged.Connect([&] { ++viewportSignals; });
    p.SetMarkerTime(1, 8000);
    EXPECT_TRUE(settings.markers[1].enabled);
    EXPECT_EQ(settings.markers[1].time, 8000);
    EXPECT_EQ(p.GetMarkerValueCache().values[1][3], 803);
    EXPECT_TRUE(p.GetMarkerValueCache().valid[1][3]);
    p.SetMarkerEnabled(1, false);
    EXPECT_FALSE(settings.markers[1].enabled);
    EXPECT_EQ(viewportSignals, 2);
    p.SetMarkerTime(2, 1);
    EXPECT_EQ(log.ErrorCount(), 2);
    EXPECT_EQ(viewportSignals, 2);

    // Ad-hoc data has no cursor read-out.
    p.SetupForAdhocData();
    p.UpdateCursorTime(100);
    EXPECT_EQ(p.GetCursorTime(), 4000);
}

TEST_F(Modes, TimeUnitChangesAreAnnouncedOnce) {
    std::vector<std::uint64_t> units;
    int viewportSignals = 0;
    auto c1 = p.TimeUnitChanged.Connect([&](std::uint64_t u) { units.push_back(u); });
    auto c2 = p.ViewportChanged.Connect([&] { ++viewportSignals; });
    p.SetTimeUnit(qvx::TimeDisplayUnit::kNanoSecond);
    p.SetTimeUnit(qvx::TimeDisplayUnit::kNanoSecond);
    EXPECT_EQ(units, std::vector<std::uint64_t>{3});
    EXPECT_EQ(viewportSignals, 1);
    EXPECT_EQ(settings.timeUnit, qvx::TimeDisplayUnit::kNanoSecond);
    test::LogCapture log;
    p.SetTimeUnit(static_cast<qvx::TimeDisplayUnit>(4));
    EXPECT_EQ(settings.timeUnit, qvx::TimeDisplayUnit::kNanoSecond);
    EXPECT_EQ(log.ErrorCount(), 1);
    EXPECT_EQ(units, std::vector<std::uint64_t>{3});
}

TEST_F(Modes, TracksAndOptionsAtConstruction) {
    settings.tracks[2].name = L"Vout \u96FB\u5727";
    EXPECT_EQ(p.TrackCount(), 4u);
    EXPECT_EQ(p.Track(2).GetTrackName(), "Vout \xE9\x9B\xBB\xE5\x9C\xA7");
    EXPECT_EQ(p.Track(1).GetHeight(), -1);
    EXPECT_EQ(p.Track(1).GetRangeLow(), -1);
    EXPECT_EQ(p.GetOption(WaveformPresenter::kOptionFitToHeight), 0);
    EXPECT_EQ(p.GetOption(WaveformPresenter::kOptionVerticalMouseScaling), 1);
    EXPECT_EQ(p.GetOption(WaveformPresenter::kOptionLastTimeReadout), 1);
    // Vertical zoom is clamped; the offset follows the change ratio.
    settings.tracks[0].verticalResolutionOffset = 0.5;
    p.Track(0).SetVerticalScaling(1000.0);
    EXPECT_EQ(settings.tracks[0].verticalScaling, 64.0);
    EXPECT_DOUBLE_EQ(settings.tracks[0].verticalResolutionOffset, 0.5 / 64.0);
}

TEST(WaveformStyle, PaletteThemesAndMarkerColours) {
    WaveformVisualSettings settings = test::FourTrackSettings(1000);
    test::RecordingPresenter p{&settings};
    WaveformStyle& style = p.GetStyle();
    EXPECT_EQ(style.GetThemeIndex(), 0);
    EXPECT_EQ(style.GetColor(WaveformStyle::kSlotLabelBackground), Color(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(WaveformStyle::GetColor(1, WaveformStyle::kSlotText), Color(0xF5, 0xF5, 0xF5));
    EXPECT_EQ(WaveformStyle::GetColor(0, WaveformStyle::kSlotMarker2), Color(0x26, 0xA6, 0x9A));
    EXPECT_EQ(WaveformStyle::ToColorRef(Color(0x5C, 0x6B, 0xC0)), 0xC06B5Cu);

    // An unset marker colour (alpha 0) takes the palette's, a set one its own.
    settings.markers[0].color = Color(10, 20, 30, 0);
    EXPECT_EQ(style.GetMarkerColor(0), Color(0x5C, 0x6B, 0xC0));
    settings.markers[0].color = Color(10, 20, 30, 1);
    EXPECT_EQ(style.GetMarkerColor(0), Color(10, 20, 30, 1));

    // The dark look changes the label background and the marker defaults.
    settings.markers[1].color = Color();
    style.SetThemeIndex(1);
    EXPECT_EQ(style.GetColor(WaveformStyle::kSlotLabelBackground), Color(0x21, 0x21, 0x21));
    EXPECT_EQ(style.GetMarkerColor(1), Color(0x80, 0xCB, 0xC4));

    test::LogCapture log;
    style.SetThemeIndex(2);
    EXPECT_EQ(style.GetThemeIndex(), 1);
    EXPECT_EQ(WaveformStyle::GetColor(0, WaveformStyle::kSlotCount), Color());
    EXPECT_EQ(log.ErrorCount(), 2);  // the theme and the slot
    EXPECT_THROW(
        {
            try {
                style.GetMarkerColor(2);
            } catch (const std::exception& e) {
                EXPECT_STREQ(e.what(), "QVX_UNREACHABLE");
                throw;
            }
        },
        UnreachableError);
}
