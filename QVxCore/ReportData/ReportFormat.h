#pragma once
// The report data file (".DAT") layout shared by the reader and the writers:
// a 512-byte header followed by 16-byte records, all values little-endian.

#include "qvusb/qvusb_report_header.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace qvx {

// File header: the layout the device library writes too.
using namespace qvusb::report;

// Records (report format 6).
inline constexpr std::size_t kReportRecordSize = 16;
inline constexpr std::size_t kRecordChannelCount = 4;
inline constexpr std::size_t kRecordOffsetSamples = 8;              // CH1..CH4, u16 each
inline constexpr std::uint64_t kRecordTimeMask = 0xFFFF'FFFF'FFFF;  // 48-bit time stamp, 10 ns ticks
inline constexpr std::uint64_t kRecordsPerReportFile = 0x200'0000;  // 33,554,432 (512 MiB of records)

// Raw 14-bit converter codes.
inline constexpr std::uint16_t kRawSampleMax = 0x3FFF;
inline constexpr int kRawSampleMidScale = 8192;

// File numbers of one report: 2^20 files of 2^25 records hold more records than a 48-bit
// 10 ns clock spans at the fastest sampling (10,485,760 records/s), so no valid report
// numbers a file above this bound.
inline constexpr std::int64_t kMaxReportFileNumber = (std::int64_t{1} << 20) - 1;

// Little-endian field access on byte buffers (alignment-free). On a little-endian host the
// fixed-width forms are one unaligned load or store (the intake reads every record's time
// word and samples through them).
inline std::uint64_t LoadLE(const std::uint8_t* p, std::size_t bytes) {
    std::uint64_t v = 0;
    for (std::size_t i = bytes; i-- > 0;) v = (v << 8) | p[i];
    return v;
}
template <typename T>
inline T LoadLEFixed(const std::uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
        T v;
        std::memcpy(&v, p, sizeof v);
        return v;
    } else {
        return static_cast<T>(LoadLE(p, sizeof(T)));
    }
}
inline std::uint16_t LoadLE16(const std::uint8_t* p) {
    return LoadLEFixed<std::uint16_t>(p);
}
inline std::uint32_t LoadLE32(const std::uint8_t* p) {
    return LoadLEFixed<std::uint32_t>(p);
}
inline std::uint64_t LoadLE64(const std::uint8_t* p) {
    return LoadLEFixed<std::uint64_t>(p);
}

inline void StoreLE(std::uint8_t* p, std::uint64_t v, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i, v >>= 8) p[i] = static_cast<std::uint8_t>(v & 0xFF);
}
template <typename T>
inline void StoreLEFixed(std::uint8_t* p, T v) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &v, sizeof v);
    } else {
        StoreLE(p, v, sizeof(T));
    }
}
inline void StoreLE16(std::uint8_t* p, std::uint16_t v) {
    StoreLEFixed(p, v);
}
inline void StoreLE32(std::uint8_t* p, std::uint32_t v) {
    StoreLEFixed(p, v);
}
inline void StoreLE64(std::uint8_t* p, std::uint64_t v) {
    StoreLEFixed(p, v);
}

using ReportHeader = std::array<std::uint8_t, kReportHeaderSize>;

// The header every application-written file starts with (start time 0 until updated).
inline ReportHeader MakeApplicationReportHeader() {
    ReportHeader h{};
    std::copy(kReportMagic.begin(), kReportMagic.end(), h.begin() + kHeaderOffsetMagic);
    StoreLE32(h.data() + kHeaderOffsetFixedWord, kReportFixedWord);
    StoreLE32(h.data() + kHeaderOffsetWriterId, kApplicationWriterId);
    StoreLE32(h.data() + kHeaderOffsetReportFormat, kReportFormatAnalog);
    StoreLE32(h.data() + kHeaderOffsetWriterSubId, kApplicationWriterSubId);
    StoreLE64(h.data() + kHeaderOffsetContentFlags, kContentFlagAnalog);
    return h;
}

// Raw stored sample of channel 0..3 (CH1..CH4) of a format-6 record.
inline std::uint16_t RecordRawSample(const std::uint8_t* record, std::size_t channel) {
    return LoadLE16(record + kRecordOffsetSamples + 2 * channel);
}

// Centred sample: min(raw, 0x3FFF) - 8192, range -8192..+8191.
inline int CentredSample(std::uint16_t raw) {
    return static_cast<int>(std::min(raw, kRawSampleMax)) - kRawSampleMidScale;
}

// Normalised sample: -1.0 (raw 0) .. +1.0 (raw 0x3FFF and above).
inline double NormalizedSample(std::uint16_t raw) {
    return (CentredSample(raw) + kRawSampleMidScale) / double{kRawSampleMax} * 2.0 - 1.0;
}

}  // namespace qvx
