// Record decoding, value texts, single-value reads and the construction of the
// oscillograph view model.

#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogRecordDecoding.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/Utils.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "oscillograph_test_support.h"

#include <gtest/gtest.h>

using namespace qvx;

TEST(AnalogRecordDecoding, SamplesAreClampedToFourteenBitsAndCentred) {
    EXPECT_EQ(CentredSample(0), -8192);
    EXPECT_EQ(CentredSample(8192), 0);
    EXPECT_EQ(CentredSample(16383), 8191);
    EXPECT_EQ(CentredSample(16384), 8191);  // clamped, not masked to 0
    EXPECT_EQ(CentredSample(65535), 8191);
    EXPECT_DOUBLE_EQ(NormalizedFromCentred(-8192), -1.0);
    EXPECT_DOUBLE_EQ(NormalizedFromCentred(8191), 1.0);

    const auto record = test::MakeRecord(0x123456789ABC, {0, 8192, 0xFFFF, 100}, 0xBEEF);
    const analog::DecodedRecord d = analog::DecodeRecord(record.data(), 0);
    EXPECT_EQ(d.time, 0x123456789ABC * 10);  // bits 48..63 ignored, ticks to ns
    EXPECT_EQ(d.values, (std::array<std::int64_t, 4>{-8192, 0, 8191, 100 - 8192}));
}

TEST(AnalogRecordDecoding, StrideFollowsTheSamplingFrequency) {
    EXPECT_EQ(analog::LoadStride(2000, 0), 20);
    EXPECT_EQ(analog::LoadStride(2000, 1), 200);
    EXPECT_EQ(analog::LoadStride(2000, 2), 2000);
    EXPECT_EQ(analog::LoadStride(10, 0), 0);
    EXPECT_EQ(analog::LoadStride(0, 2), 0);
}

TEST(OscilloGraphViewModel, ConstructionSetsTheTracksOptionsAndTheme) {
    test::FakeOwner owner;
    owner.dark = true;
    owner.settings.visualSettings.timeScale = 4000;
    QVxAnalogOscilloGraphViewModel vm(&owner);
    EXPECT_EQ(vm.GetVisualSettings(), &owner.settings.visualSettings);
    EXPECT_EQ(vm.GetWritingRenderData().GetTimeParPixel(), 4000);
    EXPECT_EQ(vm.GetUsage(), WaveformUsage::kAnalog);
    EXPECT_EQ(vm.GetOption(qvx::WaveformPresenter::kOptionVerticalDivisions), 1);
    EXPECT_EQ(vm.GetStyle().GetThemeIndex(), 1);
    ASSERT_EQ(vm.TrackCount(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(vm.Track(i).GetPlacementMode(), qvx::waveform::TrackPlacement::kCentred);
        EXPECT_EQ(vm.Track(i).GetRangeLow(), -8192);
        EXPECT_EQ(vm.Track(i).GetRangeHigh(), 8192);
    }
    EXPECT_EQ(vm.Track(3).GetTrackName(), "Channel 4");

    owner.dark = false;
    QVxAnalogOscilloGraphViewModel light(&owner);
    EXPECT_EQ(light.GetStyle().GetThemeIndex(), 0);
}

TEST(OscilloGraphViewModel, DisplayTextsNeedAnOpenSession) {
    test::FakeOwner owner;
    owner.settings.channelVoltages[0] = 0;
    owner.settings.visualSettings.tracks[0].probeAttenuationRatio = 0;  // the 100 mV range
    owner.settings.displayTriggerPosition = 0.25;
    QVxAnalogOscilloGraphViewModel vm(&owner);
    EXPECT_EQ(vm.OnMakeDisplayValue(0, -8192), "-100.0mV");
    EXPECT_EQ(vm.OnMakeDisplayValue(0, 8191), "100.0mV");
    EXPECT_EQ(vm.OnMakeDisplayNormalizedValue(0, 0.5), "50.0mV");
    EXPECT_DOUBLE_EQ(vm.OnGetDisplayTriggerPosition(), 0.25);

    owner.sessionOpen = false;
    EXPECT_THROW(vm.OnMakeDisplayValue(0, 0), UnreachableError);
    EXPECT_THROW(vm.OnMakeDisplayNormalizedValue(0, 0.0), UnreachableError);
}

TEST(OscilloGraphViewModel, ReadDataGivesTheRecordAtOrBeforeTheTime) {
    test::TempDir dir("oscillograph-read");
    test::ReportBuilder(dir.Path()).Times([](std::uint64_t i) { return 1000 + i * 10; }).AddFile(0, 100);
    test::FakeOwner owner;
    owner.settings.visualSettings.timeScale = 100;
    QVxAnalogOscilloGraphViewModel vm(&owner);
    std::int64_t v = 0;
    constexpr auto kAtTime = qvx::WaveformReadMode::kRecordAtTime;
    EXPECT_FALSE(vm.OnReadData(0, 10'000, kAtTime, &v));  // no report yet

    vm.SetupForStoredData(ReportDataReader::Open(dir.Path()));
    EXPECT_FALSE(vm.OnReadData(0, 9'990, kAtTime, &v));  // before the first record
    ASSERT_TRUE(vm.OnReadData(0, 10'150, kAtTime, &v));  // between records 1 and 2
    EXPECT_EQ(v, 1 - 8192);
    ASSERT_TRUE(vm.OnReadData(1, 10'200, kAtTime, &v));  // exactly record 2, CH2 = 16383 - 2
    EXPECT_EQ(v, 8191 - 2);
    ASSERT_TRUE(vm.OnReadData(0, 5'000'000, kAtTime, &v));  // after the last record
    EXPECT_EQ(v, 99 - 8192);

    test::LogCapture log;
    EXPECT_FALSE(vm.OnReadData(0, 10'000, kAtTime, nullptr));
    EXPECT_EQ(log.ErrorCount(), 1);
    EXPECT_FALSE(vm.OnReadData(4, 10'000, kAtTime, &v));
    EXPECT_FALSE(vm.OnReadData(0, -10, kAtTime, &v));
    EXPECT_THROW(vm.OnReadData(0, 10'000, qvx::WaveformReadMode::kReserved, &v), NotImplementedError);
    EXPECT_THROW(vm.OnReadData(0, 10'000, static_cast<qvx::WaveformReadMode>(7), &v), UnreachableError);

    // The cursor read-out goes through the same read.
    vm.UpdateCursorTime(10'150);
    EXPECT_EQ(vm.Track(0).GetCursorValue(), 1 - 8192);
    EXPECT_EQ(vm.Track(2).GetCursorValue(), 0);
}
