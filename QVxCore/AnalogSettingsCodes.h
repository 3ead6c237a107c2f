#pragma once
// The codes of the measurement settings (AnalogSettings, AnalogDisplayTriggerSettings,
// WaveformVisualSettings).
// Each enum has the type of the member it fills, and cereal writes an enum as that
// underlying integer, so the settings file holds the same numbers as before the codes
// had names. A file may hold any number: code that indexes or switches on one of these
// checks its range first.

#include <cstdint>

namespace qvx {

// Acquisition trigger of TRG1/TRG2 (start and stop) and of the external clock edge (TRG3).
enum class TriggerChannelMode : std::int32_t {
    kOff = 0,
    kHigh = 1,  // the signal going high (rising)
    kLow = 2,   // the signal going low (falling)
};

// How the start (or stop) triggers of TRG1 and TRG2 combine.
enum class TriggerCondition : std::int32_t {
    kOr = 0,
    kAnd = 1,
};

// Display trigger: off, stop at the first hit, or follow every hit.
enum class DisplayTriggerMode : std::int32_t {
    kNone = 0,
    kSingle = 1,
    kRepeat = 2,
};
inline constexpr std::int32_t kDisplayTriggerModeCount = 3;

// What the display trigger looks for on its source channel.
enum class TriggerSlope : std::int32_t {
    kRising = 0,     // an edge upwards through the level
    kFalling = 1,    // an edge downwards through the level
    kHighWidth = 2,  // a pulse above the level, judged by its width
    kLowWidth = 3,   // a pulse below the level, judged by its width
};
inline constexpr std::int32_t kTriggerSlopeCount = 4;

// Whether a pulse hits when its width is within the limit (<=) or outside it (>).
enum class WidthComparison : std::int32_t {
    kWithin = 0,
    kOutside = 1,
};

// Unit the trigger level is shown in.
enum class VoltageDisplayUnit : std::uint8_t {
    kVolt = 0,
    kMilliVolt = 1,
};

// Unit a time is shown in: the pulse width, the time axis.
enum class TimeDisplayUnit : std::uint8_t {
    kSecond = 0,
    kMilliSecond = 1,
    kMicroSecond = 2,
    kNanoSecond = 3,
};

// Whether a trigger slope is one of the two pulse-width slopes.
constexpr bool IsPulseSlope(TriggerSlope slope) {
    return slope == TriggerSlope::kHighWidth || slope == TriggerSlope::kLowWidth;
}

// Whether a code read from a file is one this program knows.
constexpr bool IsValid(TriggerChannelMode mode) {
    return mode == TriggerChannelMode::kOff || mode == TriggerChannelMode::kHigh ||
           mode == TriggerChannelMode::kLow;
}
constexpr bool IsValid(TriggerCondition condition) {
    return condition == TriggerCondition::kOr || condition == TriggerCondition::kAnd;
}
constexpr bool IsValid(DisplayTriggerMode mode) {
    return mode == DisplayTriggerMode::kNone || mode == DisplayTriggerMode::kSingle ||
           mode == DisplayTriggerMode::kRepeat;
}
constexpr bool IsValid(TriggerSlope slope) {
    return slope >= TriggerSlope::kRising && slope <= TriggerSlope::kLowWidth;
}
constexpr bool IsValid(WidthComparison comparison) {
    return comparison == WidthComparison::kWithin || comparison == WidthComparison::kOutside;
}
constexpr bool IsValid(VoltageDisplayUnit unit) {
    return unit <= VoltageDisplayUnit::kMilliVolt;
}
constexpr bool IsValid(TimeDisplayUnit unit) {
    return unit <= TimeDisplayUnit::kNanoSecond;
}

}  // namespace qvx
