#pragma once
// The header of a report data file (".DAT"): 512 bytes before the 16-byte records, all values
// little-endian. The device library writes it for the files it makes; the application's
// reader and writer use the same layout. Header-only, C++ only, standard library only.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qvusb::report {

inline constexpr std::size_t kReportHeaderSize = 512;
inline constexpr std::string_view kReportMagic = "QMRS-QV-DATA.   ";  // 16 bytes, no terminator

// Byte offsets of the header fields.
inline constexpr std::size_t kHeaderOffsetMagic = 0;
inline constexpr std::size_t kHeaderOffsetDataBytes = 16;         // u64: 0 while written, then the length
inline constexpr std::size_t kHeaderOffsetFixedWord = 24;         // u32, always 1
inline constexpr std::size_t kHeaderOffsetWriterId = 28;          // u32
inline constexpr std::size_t kHeaderOffsetReportFormat = 32;      // u32, record layout
inline constexpr std::size_t kHeaderOffsetWriterSubId = 36;       // u32
inline constexpr std::size_t kHeaderOffsetContentFlags = 40;      // u64 bit set
inline constexpr std::size_t kHeaderOffsetStartSeconds = 48;      // i64, seconds since 1970 UTC
inline constexpr std::size_t kHeaderOffsetStartNanoseconds = 64;  // i64 (0..999,999,999)

// Field values.
inline constexpr std::uint32_t kReportFixedWord = 1;
inline constexpr std::uint32_t kApplicationWriterId = 1040;  // 0x410
inline constexpr std::uint32_t kApplicationWriterSubId = 3;
inline constexpr std::uint32_t kLibraryWriterId = 1024;  // 0x400
inline constexpr std::uint32_t kLibraryWriterSubId = 2;
inline constexpr std::uint32_t kReportFormatAnalog = 6;  // four 14-bit channels + time stamp
inline constexpr std::uint64_t kContentFlagAnalog = 8;   // bit 3

}  // namespace qvusb::report
