#include "QV+AnalogCore/Presenters/QVxAnalogStartParams.h"

#include "QVxCore/Utils.h"
#include "QVxWinCommon/DataClasses/QVxDeviceManager.h"

#include <algorithm>

namespace {

constexpr std::int64_t kBytesPerMiB = 1'048'576;
constexpr std::int32_t kMaxThreshold = 4095;

std::uint8_t RangeCode(std::int32_t rangeIndex) {
    static constexpr std::uint8_t kCodes[] = {0, 6, 14, 20, 26, 32};
    if (rangeIndex < 0 || rangeIndex > 5) QVX_UNREACHABLE();
    return kCodes[rangeIndex];
}

// Trigger mode off, High (the unit's slope 1, rising) or Low (slope 0, falling): adds
// `flags` and sets the slope when the trigger is used.
void ApplyTriggerMode(qvx::TriggerChannelMode mode, std::uint8_t flags, QVPlusStartParams& out,
                      std::uint8_t& slope) {
    switch (mode) {
        case qvx::TriggerChannelMode::kOff:
            return;
        case qvx::TriggerChannelMode::kHigh:
        case qvx::TriggerChannelMode::kLow:
            out.triggerFlags |= flags;
            slope = mode == qvx::TriggerChannelMode::kHigh ? 1 : 0;
            return;
    }
    QVX_UNREACHABLE();  // a number from a file that is no mode
}

// The unit's condition code: 0 OR, 1 AND, the numbers of the settings.
std::uint8_t Condition(qvx::TriggerCondition condition) {
    if (!qvx::IsValid(condition)) QVX_UNREACHABLE();
    return static_cast<std::uint8_t>(condition);
}

std::uint16_t Threshold(std::int32_t value) {
    return static_cast<std::uint16_t>(std::clamp(value, 0, kMaxThreshold));
}

}  // namespace

std::uint32_t QVxFillStartParams(const qvx::AnalogSettings& s, QVPlusStartParams& out) {
    static const char kEmptyPrefix[] = "";
    out = QVPlusStartParams{};
    out.kind = 1;
    out.optionFlags = 0;
    out.optionWord = 0;
    for (int channel = 0; channel < 4; ++channel)
        out.rangeCodes[channel] = RangeCode(s.channelVoltages[channel]);
    const std::uint32_t rate = qvx::AnalogSettings::GetSamplingFrequencyRow(s.samplingFrequency).nominalRate;
    out.samplingCode = static_cast<std::uint8_t>(s.samplingFrequency);

    ApplyTriggerMode(s.trigger1ChStartMode, QVPLUS_TRG_CH1_USED | QVPLUS_TRG_CH1_START, out,
                     out.ch1StartSlope);
    ApplyTriggerMode(s.trigger1ChStopMode, QVPLUS_TRG_CH1_USED | QVPLUS_TRG_CH1_STOP, out, out.ch1StopSlope);
    ApplyTriggerMode(s.trigger2ChStartMode, QVPLUS_TRG_CH2_USED | QVPLUS_TRG_CH2_START, out,
                     out.ch2StartSlope);
    ApplyTriggerMode(s.trigger2ChStopMode, QVPLUS_TRG_CH2_USED | QVPLUS_TRG_CH2_STOP, out, out.ch2StopSlope);
    ApplyTriggerMode(s.trigger3ChMode, QVPLUS_TRG_CH3_USED, out, out.ch3Slope);
    if (s.trigger4ChEnabled) out.triggerFlags |= QVPLUS_TRG_CH4_ENABLED;
    out.startCondition = Condition(s.triggerStartCondition);
    out.stopCondition = Condition(s.triggerStopCondition);
    out.threshold1 = Threshold(s.trigger1ChThreshold);
    out.threshold2 = Threshold(s.trigger2ChThreshold);
    out.threshold3 = Threshold(s.trigger3ChThreshold);

    out.splitSize = std::int64_t{s.splitDataSizeMB} * kBytesPerMiB;
    out.stopSize = s.enableStopDataSize ? std::int64_t{s.stopDataSizeMB} * kBytesPerMiB : 0;
    out.stopTimeMs = s.enableStopElapsedTime ? s.stopElapsedTimeMS : 0;
    out.filePrefix = kEmptyPrefix;
    out.outputFolder = nullptr;
    out.dataCallback = &QVxDeviceManager::DataCallback;
    return rate;
}
