#pragma once
// Decoding of an analog report record (time stamp word plus four 16-bit samples)
// into presenter units: nanoseconds and centred raw values.

#include <array>
#include <cstdint>

namespace qvx::analog {

inline constexpr int kChannelCount = 4;
inline constexpr std::uint16_t kSampleMax = 16383;  // 14-bit converter
inline constexpr std::int64_t kSampleMidScale = 8192;
inline constexpr std::int64_t kNanosecondsPerTick = 10;  // record time stamps count 10 ns

// min(s, 16383) - 8192: -8192 .. +8191. Larger samples are clamped, not masked.
constexpr std::int64_t CenteredRawValue(std::uint16_t sample) {
    return static_cast<std::int64_t>(sample < kSampleMax ? sample : kSampleMax) - kSampleMidScale;
}

// (raw + 8192) / 16383 x 2 - 1: -1.0 for -8192, +1.0 for +8191.
constexpr double NormalizedValue(std::int64_t raw) {
    return static_cast<double>(raw + kSampleMidScale) / static_cast<double>(kSampleMax) * 2.0 - 1.0;
}

struct DecodedRecord {
    std::int64_t time = 0;  // ns
    std::array<std::int64_t, kChannelCount> values{};
};

// `record` points at a 16-byte record; the time stamp is the low 48 bits of the
// little-endian 64-bit word number `timeWordIndex`, the samples follow word 0.
DecodedRecord DecodeRecord(const std::uint8_t* record, std::int32_t timeWordIndex);

// Centred raw value of one channel of a record.
std::int64_t DecodeChannel(const std::uint8_t* record, int channel);

// Every how many records stored-data loading decodes one: the zoom step's stride
// (for `timeScale` ns per column) divided by 100 at sampling frequency index 0 and
// by 10 at index 1. Values <= 1 mean every record.
std::int64_t LoadStride(std::int64_t stepStride, std::int32_t samplingFrequency);

}  // namespace qvx::analog
