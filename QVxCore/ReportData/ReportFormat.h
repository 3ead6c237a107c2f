#pragma once
// The report data file (".DAT") layout as the application's reader and writers see it: the
// format's numbers and its header builder come from the device library's header-only format
// definition (one declaration of each); this adds the application writer's file split and the
// little-endian loads. Records are decoded by RecordCodec.h.

#include "qvusb/qvusb_report_format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace qvx {

// The header and record layout, the header builder and StoreLE, shared with the device library.
using namespace qvusb::report;

// Records per file of the application writer (the library writer splits by its caller's size).
inline constexpr std::uint64_t kRecordsPerReportFile = 0x200'0000;  // 33,554,432 (512 MiB of records)

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
    BuildReportHeader(h.data(), kApplicationWriterId, kApplicationWriterSubId, 0);
    return h;
}

}  // namespace qvx
