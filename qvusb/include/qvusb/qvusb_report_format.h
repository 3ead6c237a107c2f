#pragma once
// The report data file (".DAT") format: a 512-byte header, then 16-byte records, all values
// little-endian. This header is the one place that declares the format's numbers and builds
// the header, for the device library (its own report files and its simulated unit's records)
// and for the application's reader and writer above it. Header-only, C++ only, standard
// library only, so that the library and the application share it without either linking
// the other.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace qvusb::report {

// ---- File header ---------------------------------------------------------------------------

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

// ---- Records (report format 6) -------------------------------------------------------------

inline constexpr std::size_t kReportRecordSize = 16;                // bytes
inline constexpr std::size_t kRecordChannelCount = 4;               // CH1..CH4
inline constexpr std::size_t kRecordOffsetSamples = 8;              // CH1..CH4, u16 each
inline constexpr std::uint64_t kRecordTimeMask = 0xFFFF'FFFF'FFFF;  // 48-bit time stamp in word 0
inline constexpr std::int64_t kNanosecondsPerTick = 10;             // time stamps count 10 ns ticks

// Samples are 14-bit converter codes: 0x3FFF is full scale (larger stored values count as it),
// 8192 is mid-scale (0 V).
inline constexpr std::uint16_t kRawSampleMax = 0x3FFF;  // 16383
inline constexpr std::uint16_t kRawSampleMidScale = 8192;

// ---- Little-endian stores and the header builder -------------------------------------------

// Stores the low `bytes` bytes of `v` at `p`, least significant first (alignment-free).
inline void StoreLE(std::uint8_t* p, std::uint64_t v, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i, v >>= 8) p[i] = static_cast<std::uint8_t>(v & 0xFF);
}

// Fills the kReportHeaderSize bytes at `header`: the magic, the fixed word, the writer's
// identification words, the analog report format and content flag, `startSeconds` at offset
// 48 (8 bytes as given; the library passes the low 32 bits of its seconds since 1970, the
// application 0 until the start-time update) and zeros everywhere else, so the data length
// and the nanosecond part start as 0.
inline void BuildReportHeader(std::uint8_t* header, std::uint32_t writerId, std::uint32_t writerSubId,
                              std::uint64_t startSeconds) {
    std::memset(header, 0, kReportHeaderSize);
    std::memcpy(header + kHeaderOffsetMagic, kReportMagic.data(), kReportMagic.size());
    StoreLE(header + kHeaderOffsetFixedWord, kReportFixedWord, 4);
    StoreLE(header + kHeaderOffsetWriterId, writerId, 4);
    StoreLE(header + kHeaderOffsetReportFormat, kReportFormatAnalog, 4);
    StoreLE(header + kHeaderOffsetWriterSubId, writerSubId, 4);
    StoreLE(header + kHeaderOffsetContentFlags, kContentFlagAnalog, 8);
    StoreLE(header + kHeaderOffsetStartSeconds, startSeconds, 8);
}

}  // namespace qvusb::report
