#pragma once
// A report record decoded into presenter units (ns and centred values) through the record
// codec, and the stride of stored-data loading.

#include "QVxCore/ReportData/RecordCodec.h"

#include <array>
#include <cstdint>

namespace qvx::analog {

struct DecodedRecord {
    std::int64_t time = 0;  // ns
    std::array<std::int64_t, kRecordChannelCount> values{};
};

// `record` points at a 16-byte record; the time stamp is the low 48 bits of the
// little-endian 64-bit word number `timeWordIndex`, the samples follow word 0.
DecodedRecord DecodeRecord(const std::uint8_t* record, std::int32_t timeWordIndex);

// What a list cell shows for a record that cannot be read (its file removed or damaged).
inline constexpr const char* kUnreadableCell = "-";

// Centred value of one channel (0..3) of a record.
inline std::int64_t DecodeChannel(const std::uint8_t* record, int channel) {
    return CentredSample(RecordRawSample(record, static_cast<std::size_t>(channel)));
}

// Every how many records stored-data loading decodes one: the zoom step's stride
// (for `timeScale` ns per column) divided by 100 at sampling frequency index 0 and
// by 10 at index 1. Values <= 1 mean every record.
std::int64_t LoadStride(std::int64_t stepStride, std::int32_t samplingFrequency);

}  // namespace qvx::analog
