#pragma once
// The complete description of one measurement: acquisition parameters sent to the
// unit when a trace starts, report-file rotation, display-trigger search parameters
// and the waveform view's visual settings. Saved as the session settings file
// (".qvxa") by qvx::Archive. Member names are the keys of that file.

#include "QVxCore/AnalogSettingsCodes.h"
#include "QVxCore/ReportData/ReportFormat.h"
#include "QVxCore/WaveformVisualSettings.h"

#include <array>
#include <cstdint>
#include <string>

namespace qvx {

// Per-channel display-trigger parameters; the analyzer interprets them.
struct AnalogDisplayTriggerSettings {
    static constexpr std::uint32_t kClassVersion = 1;

    std::int64_t voltageLevel = 5000;  // mV
    VoltageDisplayUnit voltageLevelDisplayUnit = VoltageDisplayUnit::kVolt;
    std::int32_t sensitivityCount = 1;  // samples
    TriggerSlope slope = TriggerSlope::kRising;
    std::int64_t edgeWidthTime = 1'000'000;  // ns
    TimeDisplayUnit edgeWidthTimeDisplayUnit = TimeDisplayUnit::kMilliSecond;
    WidthComparison widthEdgeComparison = WidthComparison::kWithin;

    friend bool operator==(const AnalogDisplayTriggerSettings&,
                           const AnalogDisplayTriggerSettings&) = default;
};

class AnalogSettings {
public:
    static constexpr std::uint32_t kClassVersion = 5;
    static constexpr int kChannelCount = static_cast<int>(kRecordChannelCount);  // CH1..CH4

    // Defaults: four named tracks with the channel colours, two markers with unset
    // colours, four display-trigger settings.
    AnalogSettings();

    // Version the object was last loaded with or saved as; 0 when constructed.
    std::uint32_t GetClassVersion() const { return m_classVersion; }
    void SetClassVersion(std::uint32_t version) { m_classVersion = version; }

    // What each sampling frequency index (`samplingFrequency`, 0..2) stands for.
    struct SamplingFrequencyRow {
        std::int32_t samplesPerSecond;     // the unit's rate: 102,400, 1,048,576 or 10,485,760
        std::uint32_t nominalRate;         // the rate a trace records: 100,000, 1,000,000 or 10,000,000
        std::uint32_t rotationMaxSeconds;  // longest report-file rotation time accepted
    };
    // Any other index is unreachable (throws qvx::UnreachableError).
    static const SamplingFrequencyRow& GetSamplingFrequencyRow(std::int32_t samplingFrequencyIndex);

    // Samples per second of `samplingFrequency`; unreachable for an index outside 0..2.
    std::int32_t GetSamplingFrequency() const;

    // Millivolts on the raw converter scale of `channel`: mV / (2 F) x 16383 + 8192,
    // F being the channel's full-scale range for its range index and probe.
    double GetDataRangeMilliVolts(int channel, std::int64_t milliVolts) const;

    // Display text of a normalised value (-1..+1) of `channel`, rounded down to the
    // range's decimals, unit directly behind ("250.0mV", "-1.250V").
    std::string MakeDisplayTextFromNormalizedValue(int channel, double normalized) const;

    // Largest report-file rotation time in s accepted for a sampling frequency index.
    static std::uint32_t GetFileRotationMaxSeconds(std::int32_t samplingFrequencyIndex);

    // Report files kept when rotating with `seconds` of data: at least 2.
    std::int64_t GetRotationFileCount(std::uint32_t seconds) const;

    // Full-scale amplitude in mV for a range index (0..5) and probe index (0 = x1, 1 = x10).
    static std::int32_t GetRangeMilliVolts(std::int32_t rangeIndex, std::int32_t probeIndex);
    // The same for `channel` with its range and its track's probe (a missing track counts as
    // a default one). Unreachable (throws) for a channel outside 0..3.
    std::int32_t GetChannelRangeMilliVolts(int channel) const;

    friend bool operator==(const AnalogSettings&, const AnalogSettings&) = default;

private:
    std::uint32_t m_classVersion = 0;

public:
    std::array<std::int32_t, kChannelCount> channelVoltages{2, 2, 2, 2};  // range index per channel
    std::int32_t samplingFrequency = 1;  // 0 = 102,400, 1 = 1,048,576, 2 = 10,485,760 samples/s
    TriggerChannelMode trigger1ChStartMode = TriggerChannelMode::kOff;
    TriggerChannelMode trigger1ChStopMode = TriggerChannelMode::kOff;
    std::int32_t trigger1ChThreshold = 2047;  // mV
    TriggerChannelMode trigger2ChStartMode = TriggerChannelMode::kOff;
    TriggerChannelMode trigger2ChStopMode = TriggerChannelMode::kOff;
    std::int32_t trigger2ChThreshold = 2047;  // mV
    TriggerCondition triggerStartCondition = TriggerCondition::kOr;
    TriggerCondition triggerStopCondition = TriggerCondition::kOr;
    TriggerChannelMode trigger3ChMode = TriggerChannelMode::kOff;  // external clock edge
    std::int32_t trigger3ChThreshold = 2047;                       // mV
    bool trigger4ChEnabled = false;  // sampling synchronised with the NAVO+ trace
    // Saved from version 2.
    std::int32_t splitDataSizeMB = 500;  // MiB
    bool enableStopDataSize = false;
    std::int32_t stopDataSizeMB = 100;  // MiB
    bool enableStopElapsedTime = false;
    std::uint32_t stopElapsedTimeMS = 600'000;
    // Saved from version 4.
    bool enableReportFileRotation = true;
    std::uint32_t reportFileRotationTimeS = 1200;
    WaveformVisualSettings visualSettings;
    // Saved from version 3.
    DisplayTriggerMode displayTriggerMode = DisplayTriggerMode::kNone;
    std::array<AnalogDisplayTriggerSettings, kChannelCount> displayTriggerSettings;
    std::int32_t displayTriggerSourceChannel = 0;
    double displayTriggerPosition = 0.5;  // fraction of the view width
};

}  // namespace qvx
