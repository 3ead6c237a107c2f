#pragma once
// Passes over a run of consecutive 16-byte report records (a little-endian time word of
// 10 ns ticks, then CH1..CH4 as u16) for the folds of the record intake: the raw minimum
// and maximum of each channel, the statistics of the overview, the first record whose
// sample of one channel leaves a side of a level, and searches by time. One loop over
// the run, no call per record.
//
// On x86-64 the loops use SSE2, which every x86-64 processor has (the build's baseline
// target), two records per 128-bit register; elsewhere the plain loops of
// qvx::recordscan::scalar run. The scalar forms stay available on every target so that
// tests can compare both; the results are exactly equal (integers only).
//
// Pure functions on caller-owned memory; any thread.

#include "QVxCore/ReportData/RecordCodec.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#define QVX_RECORDSCAN_AVX2 1
#include <immintrin.h>
#endif

namespace qvx::recordscan {

using ChannelWords = std::array<std::uint16_t, kRecordChannelCount>;
using ChannelSums = std::array<std::uint64_t, kRecordChannelCount>;

// Raw samples as stored (not limited to 14 bits).
struct RawRange {
    ChannelWords min{};
    ChannelWords max{};
};

// Samples limited to 16383 first, as decoding does. `min` and `max` carry the values folded
// so far (16383 and 0 before the first record); the sums are added to.
struct LimitedStats {
    ChannelWords min{kRawSampleMax, kRawSampleMax, kRawSampleMax, kRawSampleMax};
    ChannelWords max{};
    ChannelSums sum{};
    ChannelSums sumOfSquares{};
};

namespace scalar {

inline RawRange RawSampleRange(const std::uint8_t* records, std::size_t count) {
    RawRange r;
    r.min.fill(0xFFFF);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = records + i * kReportRecordSize;
        for (std::size_t c = 0; c < kRecordChannelCount; ++c) {
            const std::uint16_t v = RecordRawSample(p, c);
            r.min[c] = std::min(r.min[c], v);
            r.max[c] = std::max(r.max[c], v);
        }
    }
    return r;
}

inline void FoldLimitedSamples(const std::uint8_t* records, std::size_t count, LimitedStats& s) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = records + i * kReportRecordSize;
        for (std::size_t c = 0; c < kRecordChannelCount; ++c) {
            const std::uint16_t v = LimitedSample(RecordRawSample(p, c));
            s.min[c] = std::min(s.min[c], v);
            s.max[c] = std::max(s.max[c], v);
            s.sum[c] += v;
            s.sumOfSquares[c] += std::uint64_t{v} * v;
        }
    }
}

// The first record whose sample of `channel`, limited to 16383, is at or below `level`
// (FindAtOrBelow) or at or above it (FindAtOrAbove); `count` when there is none.
inline std::size_t FindAtOrBelow(const std::uint8_t* records, std::size_t count, std::size_t channel,
                                 std::int64_t level) {
    for (std::size_t i = 0; i < count; ++i)
        if (LimitedSample(RecordRawSample(records + i * kReportRecordSize, channel)) <= level) return i;
    return count;
}
inline std::size_t FindAtOrAbove(const std::uint8_t* records, std::size_t count, std::size_t channel,
                                 std::int64_t level) {
    for (std::size_t i = 0; i < count; ++i)
        if (LimitedSample(RecordRawSample(records + i * kReportRecordSize, channel)) >= level) return i;
    return count;
}

}  // namespace scalar

#if defined(__SSE2__)
namespace sse2 {

// The samples of two records in one register: words 0-3 the first record's CH1..CH4,
// words 4-7 the second's.
inline __m128i SamplesOfTwo(const std::uint8_t* first) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + kReportRecordSize));
    return _mm_unpackhi_epi64(a, b);
}
// One record's samples twice.
inline __m128i SamplesOfOne(const std::uint8_t* record) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(record));
    return _mm_unpackhi_epi64(a, a);
}
// Unsigned 16-bit order as signed order (SSE2 compares and limits signed words only).
inline __m128i Signed(__m128i v) {
    return _mm_xor_si128(v, _mm_set1_epi16(static_cast<short>(0x8000)));
}
// Words 0-3 of the minimum / maximum of both halves.
inline __m128i MinHalves(__m128i v) {
    return _mm_min_epi16(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
}
inline __m128i MaxHalves(__m128i v) {
    return _mm_max_epi16(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
}
inline ChannelWords LowWords(__m128i v) {
    alignas(16) std::uint16_t w[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(w), v);
    return {w[0], w[1], w[2], w[3]};
}

inline RawRange RawSampleRange(const std::uint8_t* records, std::size_t count) {
    // In signed order: 0xFFFF becomes 0x7FFF, 0 becomes -32768.
    __m128i lo0 = _mm_set1_epi16(0x7FFF), lo1 = lo0;
    __m128i hi0 = _mm_set1_epi16(static_cast<short>(0x8000)), hi1 = hi0;
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i a = Signed(SamplesOfTwo(records + i * kReportRecordSize));
        const __m128i b = Signed(SamplesOfTwo(records + (i + 2) * kReportRecordSize));
        lo0 = _mm_min_epi16(lo0, a), hi0 = _mm_max_epi16(hi0, a);
        lo1 = _mm_min_epi16(lo1, b), hi1 = _mm_max_epi16(hi1, b);
    }
    for (; i < count; ++i) {
        const __m128i a = Signed(SamplesOfOne(records + i * kReportRecordSize));
        lo0 = _mm_min_epi16(lo0, a), hi0 = _mm_max_epi16(hi0, a);
    }
    return {LowWords(Signed(MinHalves(_mm_min_epi16(lo0, lo1)))),
            LowWords(Signed(MaxHalves(_mm_max_epi16(hi0, hi1))))};
}

inline void FoldLimitedSamples(const std::uint8_t* records, std::size_t count, LimitedStats& s) {
    // Two records interleaved by channel: words 2c and 2c+1 are channel c of the two records,
    // limited to 16383 (so they are non-negative signed words). madd with itself then gives
    // each channel's sum of both squares, at most 2 x 16383^2 < 2^30, in one 32-bit lane;
    // eight such pairs still fit an unsigned 32-bit lane before they go into 64-bit sums.
    const __m128i limit = Signed(_mm_set1_epi16(static_cast<short>(kRawSampleMax)));
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i zero = _mm_setzero_si128();
    const auto pairOf = [&](const std::uint8_t* first, const std::uint8_t* second) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(second));
        return Signed(_mm_min_epi16(Signed(_mm_unpackhi_epi16(a, b)), limit));
    };
    const auto spread = [](const ChannelWords& w) {
        return _mm_setr_epi16(static_cast<short>(w[0]), static_cast<short>(w[0]), static_cast<short>(w[1]),
                              static_cast<short>(w[1]), static_cast<short>(w[2]), static_cast<short>(w[2]),
                              static_cast<short>(w[3]), static_cast<short>(w[3]));
    };
    __m128i lo = spread(s.min), hi = spread(s.max);
    __m128i sum64lo = zero, sum64hi = zero, sq64lo = zero, sq64hi = zero;
    constexpr std::size_t kPairsPerGroup = 8;
    std::size_t i = 0;
    while (i + 2 <= count) {
        __m128i sum32 = zero, sq32 = zero;
        for (std::size_t k = 0; k < kPairsPerGroup && i + 2 <= count; ++k, i += 2) {
            const std::uint8_t* p = records + i * kReportRecordSize;
            const __m128i v = pairOf(p, p + kReportRecordSize);
            lo = _mm_min_epi16(lo, v);
            hi = _mm_max_epi16(hi, v);
            sum32 = _mm_add_epi32(sum32, _mm_madd_epi16(v, ones));
            sq32 = _mm_add_epi32(sq32, _mm_madd_epi16(v, v));
        }
        sum64lo = _mm_add_epi64(sum64lo, _mm_unpacklo_epi32(sum32, zero));
        sum64hi = _mm_add_epi64(sum64hi, _mm_unpackhi_epi32(sum32, zero));
        sq64lo = _mm_add_epi64(sq64lo, _mm_unpacklo_epi32(sq32, zero));
        sq64hi = _mm_add_epi64(sq64hi, _mm_unpackhi_epi32(sq32, zero));
    }
    alignas(16) std::uint16_t los[8], his[8];
    alignas(16) std::uint64_t sums[4], squares[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(los), lo);
    _mm_store_si128(reinterpret_cast<__m128i*>(his), hi);
    _mm_store_si128(reinterpret_cast<__m128i*>(sums), sum64lo);
    _mm_store_si128(reinterpret_cast<__m128i*>(sums + 2), sum64hi);
    _mm_store_si128(reinterpret_cast<__m128i*>(squares), sq64lo);
    _mm_store_si128(reinterpret_cast<__m128i*>(squares + 2), sq64hi);
    for (std::size_t c = 0; c < kRecordChannelCount; ++c) {
        s.min[c] = std::min(los[2 * c], los[2 * c + 1]);
        s.max[c] = std::max(his[2 * c], his[2 * c + 1]);
        s.sum[c] += sums[c];
        s.sumOfSquares[c] += squares[c];
    }
    if (i < count) scalar::FoldLimitedSamples(records + i * kReportRecordSize, count - i, s);
}

// Bit k of the result: word k of `v` compares true; four records per call (one bit per
// channel and record, record j's channel c at bit 4j + c).
inline unsigned WordMask(__m128i first, __m128i second) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(first, second)));
}

// The first record, among the whole groups of four, whose channel word `test` finds false;
// the index after the last whole group when there is none (the caller checks the rest).
template <typename Test>
std::size_t FindFirstFailing(const std::uint8_t* records, std::size_t count, std::size_t channel, Test test) {
    const unsigned want = 0x1111u << channel;
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const std::uint8_t* p = records + i * kReportRecordSize;
        const unsigned mask = WordMask(test(SamplesOfTwo(p)), test(SamplesOfTwo(p + 2 * kReportRecordSize)));
        const unsigned failing = ~mask & want;
        if (failing != 0) return i + static_cast<std::size_t>(__builtin_ctz(failing)) / 4;
    }
    return i;  // the caller looks at the last few records itself
}

inline std::size_t FindAtOrBelow(const std::uint8_t* records, std::size_t count, std::size_t channel,
                                 std::int64_t level) {
    if (level < 0) return count;           // every sample is 0 or more
    if (level >= kRawSampleMax) return 0;  // every limited sample is at most 16383
    // Here 0 <= level < 16383, so min(v, 16383) <= level exactly when v <= level.
    const __m128i above = Signed(_mm_set1_epi16(static_cast<short>(level)));
    const std::size_t i = FindFirstFailing(records, count, channel, [&](__m128i v) {
        return _mm_cmpgt_epi16(Signed(v), above);  // v > level
    });
    return i + scalar::FindAtOrBelow(records + i * kReportRecordSize, count - i, channel, level);
}

inline std::size_t FindAtOrAbove(const std::uint8_t* records, std::size_t count, std::size_t channel,
                                 std::int64_t level) {
    if (level > kRawSampleMax) return count;  // no limited sample reaches it
    if (level <= 0) return 0;
    // Here 0 < level <= 16383, so min(v, 16383) >= level exactly when v >= level.
    const __m128i below = Signed(_mm_set1_epi16(static_cast<short>(level)));
    const std::size_t i = FindFirstFailing(records, count, channel, [&](__m128i v) {
        return _mm_cmplt_epi16(Signed(v), below);  // v < level
    });
    return i + scalar::FindAtOrAbove(records + i * kReportRecordSize, count - i, channel, level);
}

}  // namespace sse2
#endif

#if defined(__SSE2__)
using sse2::FindAtOrAbove;
using sse2::FindAtOrBelow;
using sse2::FoldLimitedSamples;
using sse2::RawSampleRange;
#else
using scalar::FindAtOrAbove;
using scalar::FindAtOrBelow;
using scalar::FoldLimitedSamples;
using scalar::RawSampleRange;
#endif

// Whether the time stamps of the records never decrease, starting from a previous record
// at `previousNs`. A branch-free pass (one compare per record).
inline bool TimesNonDecreasing(const std::uint8_t* records, std::size_t count, std::int64_t previousNs) {
    bool backwards = false;
    std::int64_t previous = previousNs;
    for (std::size_t i = 0; i < count; ++i) {
        const std::int64_t t = RecordTimeNs(records + i * kReportRecordSize);
        backwards |= t < previous;
        previous = t;
    }
    return !backwards;
}

// In records [from, to) whose times never decrease: the first whose time (ns) is at or after
// `ns`, `to` when there is none. Steps 1, 2, 4, ... from `from`, then halves the last step,
// so a run of n records costs about 2 log2(n) looks at times however long the whole range is.
inline std::size_t FindTimeAtOrAfter(const std::uint8_t* records, std::size_t from, std::size_t to,
                                     std::int64_t ns) {
    const auto at = [records](std::size_t i) { return RecordTimeNs(records + i * kReportRecordSize); };
    if (from >= to || at(from) >= ns) return from;
    // Invariant: at(low) < ns; the answer lies in (low, high].
    std::size_t low = from, step = 1, high = to;
    while (step < to - low) {
        if (at(low + step) >= ns) {
            high = low + step;
            break;
        }
        low += step;
        step *= 2;
    }
    while (high - low > 1) {
        const std::size_t mid = low + (high - low) / 2;
        if (at(mid) >= ns)
            high = mid;
        else
            low = mid;
    }
    return high;
}

// Whether a step between neighbouring time stamps (10 ns ticks) of the `count` records, the
// first of them stepping from a record stamped `previous`, is above `threshold`. Steps are
// unsigned differences, so a step back is above any threshold below 2^63.
namespace scalar {
inline bool AnyTimeStepAbove(const std::uint8_t* records, std::size_t timeWord, std::uint64_t previous,
                             std::size_t count, std::uint64_t threshold) {
    bool above = false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t t = RecordTimeStamp(records + i * kReportRecordSize, timeWord);
        above |= t - previous > threshold;
        previous = t;
    }
    return above;
}
}  // namespace scalar

#if defined(QVX_RECORDSCAN_AVX2)
namespace avx2 {
// Four records a turn: two 32-byte loads hold their stamps, which are put in order, each
// compared with the one before (the last of the previous turn, then its neighbours) as
// unsigned 64-bit numbers (biased by 2^63 for the signed compare). Only on processors with
// AVX2 (see AnyTimeStepAbove below).
__attribute__((target("avx2"))) inline bool AnyTimeStepAbove(const std::uint8_t* records,
                                                             std::size_t timeWord, std::uint64_t previous,
                                                             std::size_t count, std::uint64_t threshold) {
    const __m256i mask = _mm256_set1_epi64x(static_cast<long long>(kRecordTimeMask));
    const __m256i bias = _mm256_set1_epi64x(static_cast<long long>(std::uint64_t{1} << 63));
    const __m256i limit = _mm256_xor_si256(_mm256_set1_epi64x(static_cast<long long>(threshold)), bias);
    __m256i last = _mm256_set1_epi64x(static_cast<long long>(previous));  // its lane 3 counts
    __m256i above = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const std::uint8_t* p = records + i * kReportRecordSize;
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));       // records 0, 1
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));  // records 2, 3
        // Words in the order 0, 2, 1, 3, then 0, 1, 2, 3.
        const __m256i words = timeWord ? _mm256_unpackhi_epi64(a, b) : _mm256_unpacklo_epi64(a, b);
        const __m256i stamps = _mm256_and_si256(_mm256_permute4x64_epi64(words, 0xD8), mask);
        const __m256i before = _mm256_blend_epi32(_mm256_permute4x64_epi64(stamps, 0x90),
                                                  _mm256_permute4x64_epi64(last, 0xFF), 0x03);
        const __m256i steps = _mm256_sub_epi64(stamps, before);
        above = _mm256_or_si256(above, _mm256_cmpgt_epi64(_mm256_xor_si256(steps, bias), limit));
        last = stamps;
    }
    const auto tailPrevious = static_cast<std::uint64_t>(_mm256_extract_epi64(last, 3));
    return !_mm256_testz_si256(above, above) ||
           scalar::AnyTimeStepAbove(records + i * kReportRecordSize, timeWord, tailPrevious, count - i,
                                    threshold);
}
}  // namespace avx2
#endif

// The same, four records a turn where the processor has AVX2 (the build's baseline is SSE2,
// which has no 64-bit compare).
inline bool AnyTimeStepAbove(const std::uint8_t* records, std::size_t timeWord, std::uint64_t previous,
                             std::size_t count, std::uint64_t threshold) {
#if defined(QVX_RECORDSCAN_AVX2)
    static const bool hasAvx2 = __builtin_cpu_supports("avx2");
    if (hasAvx2) return avx2::AnyTimeStepAbove(records, timeWord, previous, count, threshold);
#endif
    return scalar::AnyTimeStepAbove(records, timeWord, previous, count, threshold);
}

}  // namespace qvx::recordscan
