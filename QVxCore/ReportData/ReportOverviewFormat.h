#pragma once
// The overview file (".OVW") of one report data file: per-block minimum, maximum, sum and
// sum of squares of each channel and the time of each block's first record, at three block
// sizes. All values little-endian. Layout (version 1):
//
//   header (128 bytes, see the kOvwOffset* constants)
//   level 0 entries: one per 64 records                    (written in record order)
//   group checksums: one u64 per level-1 block, over the level-0 entries of that block
//   level 1 entries: one per 8,192 records (the reader's block size)
//   level 2 entries: one per 262,144 records
//
// An entry (88 bytes): u64 time of the block's first record (10 ns ticks), u16 min[4],
// u16 max[4], u64 sum[4], u64 sumOfSquares[4]; samples are limited to 16383 first, as
// decoding does. The header checksum covers the header's first 112 bytes and everything
// after the level-0 entries; the level-0 entries are checked one level-1 group at a time
// when first used.

#include "QVxCore/ReportData/RecordBlockScan.h"
#include "QVxCore/ReportData/ReportFormat.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qvx::overview {

inline constexpr std::string_view kMagic = "QVOVERVW";  // 8 bytes, no terminator
inline constexpr std::uint32_t kVersion = 1;
inline constexpr std::size_t kHeaderBytes = 128;
inline constexpr std::size_t kEntryBytes = 88;
inline constexpr std::size_t kLevelCount = 3;
// Records per block at each level. Level 1 equals the reader's 8192-record block, so the
// reader's block table comes straight from it; every report file (2^25 records) is a
// whole number of level-2 blocks, so blocks never cross files.
inline constexpr std::array<std::uint64_t, kLevelCount> kBlockRecords{64, 8192, 262144};
inline constexpr std::uint64_t kLevel0Records = kBlockRecords[0];
inline constexpr std::uint64_t kLevel0PerLevel1 = kBlockRecords[1] / kBlockRecords[0];  // 128
inline constexpr std::uint64_t kLevel1PerLevel2 = kBlockRecords[2] / kBlockRecords[1];  // 32
static_assert(kRecordsPerReportFile % kBlockRecords[2] == 0);

inline constexpr std::size_t kOvwOffsetMagic = 0;
inline constexpr std::size_t kOvwOffsetVersion = 8;        // u32
inline constexpr std::size_t kOvwOffsetHeaderBytes = 12;   // u32
inline constexpr std::size_t kOvwOffsetDataFileSize = 16;  // u64, bytes of the ".DAT" file
inline constexpr std::size_t kOvwOffsetRecordCount = 24;   // u64, records of the ".DAT" file
inline constexpr std::size_t kOvwOffsetFirstTime = 32;     // u64, ticks of the first record (0 if none)
inline constexpr std::size_t kOvwOffsetLastTime = 40;      // u64, ticks of the last record (0 if none)
inline constexpr std::size_t kOvwOffsetLevelCount = 48;    // u32, 3
inline constexpr std::size_t kOvwOffsetEntryBytes = 52;    // u32, 88
inline constexpr std::size_t kOvwOffsetBlockRecords = 56;  // u32 x 3: 64, 8192, 262144
inline constexpr std::size_t kOvwOffsetBlockCounts = 72;   // u64 x 3: entries of each level
inline constexpr std::size_t kOvwOffsetTailOffset = 96;    // u64, offset of the group checksums
inline constexpr std::size_t kOvwOffsetFileSize = 104;     // u64, size of the whole overview file
inline constexpr std::size_t kOvwOffsetChecksum = 112;     // u64
inline constexpr std::size_t kOvwChecksummedHeaderBytes = 112;

// Folded statistics of a run of records, raw samples limited to 16383.
struct BlockStats {
    std::array<std::uint16_t, kRecordChannelCount> min{};
    std::array<std::uint16_t, kRecordChannelCount> max{};
    std::array<std::uint64_t, kRecordChannelCount> sum{};
    std::array<std::uint64_t, kRecordChannelCount> sumOfSquares{};
    bool empty = true;

    void Merge(const BlockStats& other) {
        if (other.empty) return;
        for (std::size_t c = 0; c < kRecordChannelCount; ++c) {
            min[c] = empty ? other.min[c] : std::min(min[c], other.min[c]);
            max[c] = empty ? other.max[c] : std::max(max[c], other.max[c]);
            sum[c] += other.sum[c];
            sumOfSquares[c] += other.sumOfSquares[c];
        }
        empty = false;
    }
    bool operator==(const BlockStats&) const = default;
};

struct Entry {
    std::uint64_t firstTime = 0;  // 10 ns ticks
    BlockStats stats;
};

// Folds the samples of `count` consecutive 16-byte records into `s`: one pass, no call
// per record (two records per SSE2 register on x86-64, see RecordBlockScan.h).
inline void FoldRecordSamples(const std::uint8_t* records, std::uint64_t count, BlockStats& s) {
    if (count == 0) return;
    recordscan::LimitedStats folded;
    if (!s.empty) {
        folded.min = s.min;
        folded.max = s.max;
    }
    recordscan::FoldLimitedSamples(records, static_cast<std::size_t>(count), folded);
    for (std::size_t c = 0; c < kRecordChannelCount; ++c) {
        s.min[c] = folded.min[c];
        s.max[c] = folded.max[c];
        s.sum[c] += folded.sum[c];
        s.sumOfSquares[c] += folded.sumOfSquares[c];
    }
    s.empty = false;
}

inline std::uint64_t BlockCount(std::uint64_t records, std::size_t level) {
    return (records + kBlockRecords[level] - 1) / kBlockRecords[level];
}

// Byte sizes of an overview of a file with `records` records.
struct Layout {
    std::array<std::uint64_t, kLevelCount> counts{};
    std::uint64_t tailOffset = 0;  // group checksums
    std::uint64_t level1Offset = 0;
    std::uint64_t level2Offset = 0;
    std::uint64_t fileSize = 0;
};

inline Layout LayoutFor(std::uint64_t records) {
    Layout l;
    for (std::size_t i = 0; i < kLevelCount; ++i) l.counts[i] = BlockCount(records, i);
    l.tailOffset = kHeaderBytes + l.counts[0] * kEntryBytes;
    l.level1Offset = l.tailOffset + l.counts[1] * 8;
    l.level2Offset = l.level1Offset + l.counts[1] * kEntryBytes;
    l.fileSize = l.level2Offset + l.counts[2] * kEntryBytes;
    return l;
}

inline void StoreEntry(std::uint8_t* p, const Entry& e) {
    StoreLE64(p, e.firstTime);
    for (std::size_t c = 0; c < kRecordChannelCount; ++c) {
        StoreLE16(p + 8 + 2 * c, e.stats.min[c]);
        StoreLE16(p + 16 + 2 * c, e.stats.max[c]);
        StoreLE64(p + 24 + 8 * c, e.stats.sum[c]);
        StoreLE64(p + 56 + 8 * c, e.stats.sumOfSquares[c]);
    }
}

inline Entry LoadEntry(const std::uint8_t* p) {
    Entry e;
    e.firstTime = LoadLE64(p);
    for (std::size_t c = 0; c < kRecordChannelCount; ++c) {
        e.stats.min[c] = LoadLE16(p + 8 + 2 * c);
        e.stats.max[c] = LoadLE16(p + 16 + 2 * c);
        e.stats.sum[c] = LoadLE64(p + 24 + 8 * c);
        e.stats.sumOfSquares[c] = LoadLE64(p + 56 + 8 * c);
    }
    e.stats.empty = false;
    return e;
}

// 64-bit FNV-1a over little-endian 64-bit words (`bytes` is a multiple of 8), continued
// from `hash`. Fast enough to check a 11 KiB level-0 group in about a microsecond.
inline constexpr std::uint64_t kChecksumSeed = 0xcbf29ce484222325ULL;
inline std::uint64_t Checksum(const std::uint8_t* p, std::size_t bytes, std::uint64_t hash = kChecksumSeed) {
    for (std::size_t i = 0; i + 8 <= bytes; i += 8) {
        hash ^= LoadLE64(p + i);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

}  // namespace qvx::overview
