#include "QVxCore/AnalogSettings.h"

#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/Utils.h"

#include <fmt/format.h>

#include <cmath>
#include <iterator>

namespace qvx {

namespace {

constexpr int kRangeCount = 6;

// Full-scale amplitude in mV per [probe][range].
constexpr std::int32_t kRangeMilliVolts[2][kRangeCount] = {
    {100, 200, 500, 1000, 2000, 4000},
    {1000, 2000, 5000, 10000, 20000, 40000},
};

// How a normalised value is shown per [probe][range]: full scale in the shown
// unit, the unit, decimals and the matching step (10^decimals).
struct DisplayRange {
    double value;
    const char* unit;
    int decimals;
    double steps;
};

constexpr DisplayRange kDisplayRanges[2][kRangeCount] = {
    {{100, "mV", 1, 10},
     {200, "mV", 1, 10},
     {500, "mV", 1, 10},
     {1, "V", 3, 1000},
     {2, "V", 3, 1000},
     {4, "V", 3, 1000}},
    {{1, "V", 3, 1000},
     {2, "V", 3, 1000},
     {5, "V", 3, 1000},
     {10, "V", 2, 100},
     {20, "V", 2, 100},
     {40, "V", 2, 100}},
};

// Material Design 400 shades: red, green, blue, yellow.
constexpr std::uint32_t kChannelLineColors[AnalogSettings::kChannelCount] = {0xFFEF5350, 0xFF66BB6A,
                                                                             0xFF42A5F5, 0xFFFFEE58};

}  // namespace

AnalogSettings::AnalogSettings() {
    visualSettings.tracks.resize(kChannelCount);
    for (int c = 0; c < kChannelCount; ++c) {
        auto& track = visualSettings.tracks[static_cast<std::size_t>(c)];
        track.name = L"Channel " + std::to_wstring(c + 1);
        track.lineColor = Color::FromArgb32(kChannelLineColors[c]);
    }
    for (auto& marker : visualSettings.markers) marker.color = Color::FromRgba32(0x00000000);
}

const AnalogSettings::SamplingFrequencyRow& AnalogSettings::GetSamplingFrequencyRow(
    std::int32_t samplingFrequencyIndex) {
    static constexpr SamplingFrequencyRow kRows[] = {
        {102'400, 100'000, 14'400},
        {1'048'576, 1'000'000, 1'200},
        {10'485'760, 10'000'000, 120},
    };
    if (samplingFrequencyIndex < 0 || samplingFrequencyIndex >= static_cast<std::int32_t>(std::size(kRows)))
        QVX_UNREACHABLE();
    return kRows[samplingFrequencyIndex];
}

std::int32_t AnalogSettings::GetSamplingFrequency() const {
    return GetSamplingFrequencyRow(samplingFrequency).samplesPerSecond;
}

std::int32_t AnalogSettings::GetRangeMilliVolts(std::int32_t rangeIndex, std::int32_t probeIndex) {
    if (probeIndex < 0 || probeIndex > 1 || rangeIndex < 0 || rangeIndex >= kRangeCount) QVX_UNREACHABLE();
    return kRangeMilliVolts[probeIndex][rangeIndex];
}

namespace {

// Probe index of `channel`; a settings file may hold fewer tracks than channels,
// and a missing track counts as a default track.
std::int32_t ProbeIndexOf(const WaveformVisualSettings& visual, int channel) {
    const auto index = static_cast<std::size_t>(channel);
    return index < visual.tracks.size() ? visual.tracks[index].probeAttenuationRatio
                                        : WaveformTrackVisualSettings{}.probeAttenuationRatio;
}

}  // namespace

std::int32_t AnalogSettings::GetChannelRangeMilliVolts(int channel) const {
    if (channel < 0 || channel >= kChannelCount) QVX_UNREACHABLE();
    return GetRangeMilliVolts(channelVoltages[static_cast<std::size_t>(channel)],
                              ProbeIndexOf(visualSettings, channel));
}

double AnalogSettings::GetDataRangeMilliVolts(int channel, std::int64_t milliVolts) const {
    const double fullScale = GetChannelRangeMilliVolts(channel);
    return AmplitudeToCode(static_cast<double>(milliVolts), fullScale);
}

std::string AnalogSettings::MakeDisplayTextFromNormalizedValue(int channel, double normalized) const {
    if (channel < 0 || channel >= kChannelCount) QVX_UNREACHABLE();
    const std::int32_t probe = ProbeIndexOf(visualSettings, channel);
    const std::int32_t range = channelVoltages[static_cast<std::size_t>(channel)];
    if (probe < 0 || probe > 1 || range < 0 || range >= kRangeCount) QVX_UNREACHABLE();
    const DisplayRange& row = kDisplayRanges[probe][range];
    // Round down (towards minus infinity) to a multiple of 1/steps; "+ 0.0" turns a
    // negative zero into zero so that no "-0.0mV" is shown.
    const double shown = std::floor(normalized * row.value * row.steps) / row.steps + 0.0;
    return fmt::format("{:.{}f}{}", shown, row.decimals, row.unit);
}

std::uint32_t AnalogSettings::GetFileRotationMaxSeconds(std::int32_t samplingFrequencyIndex) {
    return GetSamplingFrequencyRow(samplingFrequencyIndex).rotationMaxSeconds;
}

std::int64_t AnalogSettings::GetRotationFileCount(std::uint32_t seconds) const {
    return static_cast<std::int64_t>(seconds) * GetSamplingFrequency() /
               static_cast<std::int64_t>(kRecordsPerReportFile) +
           2;
}

}  // namespace qvx
