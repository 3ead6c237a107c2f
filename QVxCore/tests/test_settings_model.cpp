#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Color.h"
#include "QVxCore/Utils.h"
#include "test_settings_support.h"

#include <gtest/gtest.h>

using qvx::AnalogSettings;
using qvx::Color;

namespace {

AnalogSettings WithRange(int probe, int range) {
    AnalogSettings s;
    s.channelVoltages[2] = range;
    s.visualSettings.tracks[2].probeAttenuationRatio = probe;
    return s;
}

}  // namespace

TEST(SettingsModel, DefaultsDescribeFourChannelsTwoMarkersAndFourTriggerSettings) {
    const AnalogSettings s;
    EXPECT_EQ(s.GetClassVersion(), 0u);
    ASSERT_EQ(s.visualSettings.tracks.size(), 4u);
    EXPECT_EQ(s.visualSettings.tracks[0].name, L"Channel 1");
    EXPECT_EQ(s.visualSettings.tracks[3].name, L"Channel 4");
    EXPECT_EQ(s.visualSettings.tracks[0].lineColor.ToText(), "#FFEF5350");
    EXPECT_EQ(s.visualSettings.tracks[1].lineColor.ToText(), "#FF66BB6A");
    EXPECT_EQ(s.visualSettings.tracks[2].lineColor.ToText(), "#FF42A5F5");
    EXPECT_EQ(s.visualSettings.tracks[3].lineColor.ToText(), "#FFFFEE58");
    EXPECT_EQ(s.visualSettings.tracks[0].backgroundColor.ToText(), "#00FFFFFF");
    EXPECT_FALSE(s.visualSettings.tracks[0].backgroundColor.IsSet());
    for (const auto& marker : s.visualSettings.markers) EXPECT_EQ(marker.color.ToRgba32(), 0u);
    EXPECT_EQ(s.displayTriggerSettings[3].voltageLevel, 5000);
    EXPECT_EQ(s.displayTriggerSettings[3].edgeWidthTime, 1'000'000);
    EXPECT_EQ(s.reportFileRotationTimeS, AnalogSettings::GetFileRotationMaxSeconds(1));

    // A bare track and a bare marker keep their own colours.
    EXPECT_EQ(qvx::WaveformTrackVisualSettings{}.lineColor.ToText(), "#FFFF00FF");
    EXPECT_TRUE(qvx::WaveformTrackVisualSettings{}.name.empty());
    EXPECT_EQ(qvx::WaveformMarkerVisualSettings{}.color.ToText(), "#FF000000");
}

TEST(SettingsModel, CopyAssignmentCopiesTheUnsavedListAndTheVersion) {
    AnalogSettings edited;
    edited.visualSettings.internalList = {7, 8, 9};
    edited.SetClassVersion(4);
    edited.visualSettings.tracks[1].name = L"電圧";
    AnalogSettings target;
    target = edited;
    EXPECT_EQ(target.visualSettings.internalList, (std::vector<std::int64_t>{7, 8, 9}));
    EXPECT_EQ(target.GetClassVersion(), 4u);
    EXPECT_EQ(target, edited);
}

TEST(SettingsModel, DisplayTextForEveryProbeAndRange) {
    const char* halfScale[2][6] = {{"50.0mV", "100.0mV", "250.0mV", "0.500V", "1.000V", "2.000V"},
                                   {"0.500V", "1.000V", "2.500V", "5.00V", "10.00V", "20.00V"}};
    const char* negativeFull[2][6] = {{"-100.0mV", "-200.0mV", "-500.0mV", "-1.000V", "-2.000V", "-4.000V"},
                                      {"-1.000V", "-2.000V", "-5.000V", "-10.00V", "-20.00V", "-40.00V"}};
    // Rounding down, not toward zero: the smallest negative value shows one step below 0.
    const char* tinyNegative[2][6] = {{"-0.1mV", "-0.1mV", "-0.1mV", "-0.001V", "-0.001V", "-0.001V"},
                                      {"-0.001V", "-0.001V", "-0.001V", "-0.01V", "-0.01V", "-0.01V"}};
    const char* tinyPositive[2][6] = {{"0.0mV", "0.0mV", "0.0mV", "0.000V", "0.000V", "0.000V"},
                                      {"0.000V", "0.000V", "0.000V", "0.00V", "0.00V", "0.00V"}};
    for (int p = 0; p < 2; ++p) {
        for (int r = 0; r < 6; ++r) {
            SCOPED_TRACE(testing::Message() << "probe " << p << " range " << r);
            const AnalogSettings s = WithRange(p, r);
            EXPECT_EQ(s.MakeDisplayTextFromNormalizedValue(2, 0.5), halfScale[p][r]);
            EXPECT_EQ(s.MakeDisplayTextFromNormalizedValue(2, -1.0), negativeFull[p][r]);
            EXPECT_EQ(s.MakeDisplayTextFromNormalizedValue(2, -0.0001), tinyNegative[p][r]);
            EXPECT_EQ(s.MakeDisplayTextFromNormalizedValue(2, 0.0001), tinyPositive[p][r]);
        }
    }
    const AnalogSettings s = WithRange(0, 0);
    EXPECT_EQ(s.MakeDisplayTextFromNormalizedValue(2, -0.12345), "-12.4mV");
    EXPECT_EQ(s.MakeDisplayTextFromNormalizedValue(2, 0.12345), "12.3mV");
    EXPECT_EQ(s.MakeDisplayTextFromNormalizedValue(2, -0.0), "0.0mV");
}

TEST(SettingsModel, RawScaleConversionMatchesTheRangeTable) {
    for (int p = 0; p < 2; ++p) {
        for (int r = 0; r < 6; ++r) {
            const AnalogSettings s = WithRange(p, r);
            const std::int64_t fullScale = AnalogSettings::GetRangeMilliVolts(r, p);
            EXPECT_DOUBLE_EQ(s.GetDataRangeMilliVolts(2, fullScale), 16383.5);
            EXPECT_DOUBLE_EQ(s.GetDataRangeMilliVolts(2, -fullScale), 0.5);
            EXPECT_DOUBLE_EQ(s.GetDataRangeMilliVolts(2, 0), 8192.0);
        }
    }
    // Default: range index 2 with the x10 probe, full scale 5000 mV.
    EXPECT_DOUBLE_EQ(AnalogSettings{}.GetDataRangeMilliVolts(0, 5000), 16383.5);
    EXPECT_EQ(AnalogSettings::GetRangeMilliVolts(0, 0), 100);
    EXPECT_EQ(AnalogSettings::GetRangeMilliVolts(5, 1), 40000);
}

TEST(SettingsModel, SamplingFrequencyAndRotation) {
    AnalogSettings s;
    const std::int32_t expected[] = {102'400, 1'048'576, 10'485'760};
    for (int i = 0; i < 3; ++i) {
        s.samplingFrequency = i;
        EXPECT_EQ(s.GetSamplingFrequency(), expected[i]);
    }
    EXPECT_EQ(AnalogSettings::GetFileRotationMaxSeconds(0), 14400u);
    EXPECT_EQ(AnalogSettings::GetFileRotationMaxSeconds(1), 1200u);
    EXPECT_EQ(AnalogSettings::GetFileRotationMaxSeconds(2), 120u);

    s.samplingFrequency = 1;
    EXPECT_EQ(s.GetRotationFileCount(1200), 39);  // floor(1200 x 1,048,576 / 33,554,432) + 2
    EXPECT_EQ(s.GetRotationFileCount(0), 2);
    s.samplingFrequency = 0;
    EXPECT_EQ(s.GetRotationFileCount(14400), 45);  // 43.9 files of data
    s.samplingFrequency = 2;
    EXPECT_EQ(s.GetRotationFileCount(120), 39);  // 37.5
    // The largest accepted seconds never overflow.
    EXPECT_EQ(s.GetRotationFileCount(0xFFFFFFFFu), 4294967295LL * 10'485'760 / 33'554'432 + 2);
}

TEST(SettingsModel, IndicesOutsideTheTablesAreUnreachable) {
    qvx::testing::LogRecorder log;
    AnalogSettings s;
    s.samplingFrequency = 3;
    EXPECT_THROW(s.GetSamplingFrequency(), qvx::UnreachableError);
    EXPECT_THROW(s.GetRotationFileCount(10), qvx::UnreachableError);
    EXPECT_THROW(AnalogSettings::GetFileRotationMaxSeconds(-1), qvx::UnreachableError);
    EXPECT_THROW(AnalogSettings::GetFileRotationMaxSeconds(3), qvx::UnreachableError);
    EXPECT_THROW(WithRange(2, 0).MakeDisplayTextFromNormalizedValue(2, 0.0), qvx::UnreachableError);
    EXPECT_THROW(WithRange(-1, 0).GetDataRangeMilliVolts(2, 0), qvx::UnreachableError);
    EXPECT_THROW(WithRange(0, 6).MakeDisplayTextFromNormalizedValue(2, 0.0), qvx::UnreachableError);
    EXPECT_THROW(WithRange(1, -1).GetDataRangeMilliVolts(2, 0), qvx::UnreachableError);
    EXPECT_THROW(AnalogSettings{}.MakeDisplayTextFromNormalizedValue(4, 0.0), qvx::UnreachableError);
    EXPECT_TRUE(log.Contains("critical Uneachable code."));
    try {
        s.GetSamplingFrequency();
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "QVX_UNREACHABLE");
    }
}

TEST(SettingsModel, ChannelWithoutTrackUsesTheDefaultProbe) {
    AnalogSettings s;
    s.visualSettings.tracks.resize(1);  // a settings file may carry fewer tracks
    EXPECT_EQ(s.MakeDisplayTextFromNormalizedValue(3, 0.5), "2.500V");
}

TEST(Color, TextFormsReadAndWritten) {
    bool ok = false;
    EXPECT_EQ(Color::FromText("#80FF0102", &ok), Color(0xFF, 0x01, 0x02, 0x80));
    EXPECT_TRUE(ok);
    EXPECT_EQ(Color::FromText("#ff0000", &ok), Color(255, 0, 0, 255));
    EXPECT_EQ(Color::FromText("#F00", &ok), Color(255, 0, 0, 255));
    EXPECT_EQ(Color::FromText("#8F0a", &ok), Color(0xFF, 0x00, 0xAA, 0x88));
    EXPECT_TRUE(ok);
    // A non-hexadecimal character counts as 0 and is no error.
    EXPECT_EQ(Color::FromText("#FFzz00FF", &ok), Color(0x00, 0x00, 0xFF, 0xFF));
    EXPECT_TRUE(ok);
    for (const char* bad : {"red", "", "#", "#12345678A", "FF00FF00F", "#12"}) {
        EXPECT_EQ(Color::FromText(bad, &ok).ToRgba32(), 0xFFFFFFFFu) << bad;
        EXPECT_FALSE(ok) << bad;
    }
    EXPECT_EQ(Color(0x12, 0xAB, 0x0C, 0x0D).ToText(), "#0D12AB0C");
    EXPECT_EQ(Color::FromRgba32(0x44332211), Color(0x11, 0x22, 0x33, 0x44));
    EXPECT_EQ(Color(0x11, 0x22, 0x33, 0x44).ToRgba32(), 0x44332211u);
    EXPECT_EQ(Color::FromText(Color(1, 2, 3, 4).ToText()), Color(1, 2, 3, 4));
}
