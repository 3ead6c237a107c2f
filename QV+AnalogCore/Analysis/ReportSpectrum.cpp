#include "QV+AnalogCore/Analysis/ReportSpectrum.h"

#include "QV+AnalogCore/Analysis/ReportSpanMeasurement.h"
#include "QV+AnalogCore/Export/ReportRecordWalk.h"
#include "QV+AnalogCore/Export/ReportSpan.h"
#include "QVxCore/ReportData/RecordBlockScan.h"
#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportOverviewStore.h"

#include <fftw3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <numeric>
#include <thread>
#include <utility>

namespace qvx::analog {

namespace {

// Records per read of the walk: 256 KiB, so that the records read stay in the core's cache
// while their samples are taken out.
constexpr std::uint64_t kReadRecords = 16'384;
// Samples per chunk handed to the computing thread: 512 KiB of codes.
constexpr std::uint64_t kChunkSamples = 262'144;
// Intervals looked at for the usual interval between records.
constexpr std::size_t kIntervalSample = 4096;
// Chunks in flight between the reading thread and the computing one.
constexpr std::size_t kChunksInFlight = 4;

// The per-sample loops below also get an AVX2 form, picked when the processor has it (eight
// floats or four 64-bit steps a vector; the build's baseline is SSE2). Not in sanitizer
// builds, whose run-time does not expect the resolver that picks it.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(__SANITIZE_THREAD__)
#define QVX_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define QVX_VECTOR_CLONES
#endif

// The codes of `channel` of `count` records, limited to 0x3FFF.
QVX_VECTOR_CLONES void TakeCodes(const std::uint8_t* records, std::size_t channel, std::size_t count,
                                 std::uint16_t* codes) {
    for (std::size_t r = 0; r < count; ++r)
        codes[r] = LimitedSample(RecordRawSample(records + r * kReportRecordSize, channel));
}

// out[n] = (codes[n] - centre) x weights[n].
QVX_VECTOR_CLONES void WindowCodes(const std::uint16_t* codes, const float* weights, float centre, float* out,
                                   std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = (static_cast<float>(codes[i]) - centre) * weights[i];
}

QVX_VECTOR_CLONES void InterleavePair(const float* re, const float* im, fftwf_complex* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        out[i][0] = re[i];
        out[i][1] = im[i];
    }
}

QVX_VECTOR_CLONES void SquaredMagnitudes(const fftwf_complex* z, float* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = z[i][0] * z[i][0] + z[i][1] * z[i][1];
}

// The sum of `n` codes in 32-bit parts (65,536 codes of at most 16,383 fit in one).
QVX_VECTOR_CLONES std::uint64_t SumCodes(const std::uint16_t* codes, std::size_t n) {
    constexpr std::size_t kPart = 65'536;
    std::uint64_t sum = 0;
    for (std::size_t from = 0; from < n; from += kPart) {
        std::uint32_t part = 0;
        const std::size_t to = std::min(n, from + kPart);
        for (std::size_t i = from; i < to; ++i) part += codes[i];
        sum += part;
    }
    return sum;
}

// The converter codes of one channel of a run of records, and where pieces (records without
// a gap or a jump in time between them) begin among them.
// The arrays only grow, and keep their size when the chunk is cleared for reuse, so that
// filling them again writes each element once.
struct SampleChunk {
    std::size_t count = 0;                 // samples held
    std::vector<std::uint16_t> codes;      // at least `count`
    std::vector<std::uint64_t> ticks;      // their time stamps (10 ns ticks), for a spectrogram only
    std::vector<std::size_t> pieceStarts;  // ascending positions in `codes`

    // Room for `more` samples after the `count` held.
    void Reserve(std::size_t more, bool withTicks) {
        if (codes.size() < count + more) codes.resize(count + more);
        if (withTicks && ticks.size() < count + more) ticks.resize(count + more);
    }
    void Clear() {
        count = 0;
        pieceStarts.clear();
    }
};

// Hands sample chunks from the reading thread to the computing one, with a fixed number of
// chunks that go round, so reading runs ahead of computing by at most that many.
class SampleChunkQueue {
public:
    SampleChunkQueue() {
        for (std::size_t i = 0; i < kChunksInFlight; ++i) m_free.push_back(std::make_unique<SampleChunk>());
    }

    // Reading thread: an empty chunk to fill; null once the computing thread stopped.
    std::unique_ptr<SampleChunk> Acquire() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_stopped || !m_free.empty(); });
        if (m_stopped) return nullptr;
        auto chunk = std::move(m_free.back());
        m_free.pop_back();
        return chunk;
    }
    void Push(std::unique_ptr<SampleChunk> chunk) {
        const std::lock_guard lock(m_mutex);
        m_full.push_back(std::move(chunk));
        m_changed.notify_all();
    }
    // Reading thread: no more chunks come.
    void Close() {
        const std::lock_guard lock(m_mutex);
        m_closed = true;
        m_changed.notify_all();
    }

    // Computing thread: the next full chunk; null when the reading thread closed and every
    // chunk was taken.
    std::unique_ptr<SampleChunk> Pop() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_closed || !m_full.empty(); });
        if (m_full.empty()) return nullptr;
        auto chunk = std::move(m_full.front());
        m_full.pop_front();
        return chunk;
    }
    void Release(std::unique_ptr<SampleChunk> chunk) {
        const std::lock_guard lock(m_mutex);
        m_free.push_back(std::move(chunk));
        m_changed.notify_all();
    }
    // Computing thread: takes no more chunks (cancelled); the reading thread stops.
    void Stop() {
        const std::lock_guard lock(m_mutex);
        m_stopped = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<SampleChunk>> m_full;
    std::vector<std::unique_ptr<SampleChunk>> m_free;
    bool m_closed = false;
    bool m_stopped = false;
};

// Reading thread: takes the codes (limited to 0x3FFF) of one channel out of the records,
// cuts them into pieces at gaps and at jumps in time, and sums the intervals of the pieces
// for the sample rate.
class SampleExtractor {
public:
    SampleExtractor(std::size_t channel, bool keepTicks) : m_channel(channel), m_keepTicks(keepTicks) {}

    // Appends the samples of `records` to `out`.
    void Take(const RecordChunk& records, SampleChunk& out) {
        if (records.count == 0) return;
        if (!m_jumpTicks) LearnInterval(records);
        const std::size_t base = out.count;
        out.Reserve(records.count, m_keepTicks);
        out.count += records.count;
        bool startsPiece = records.afterGap || m_pieceRecords == 0;
        for (std::uint64_t r = 0; r < records.count;) {
            const std::uint64_t ticks = TicksAt(records, r);
            if (startsPiece || ticks - m_lastTicks > JumpThreshold()) {
                EndPiece();
                m_pieceFirstTicks = ticks;
                out.pieceStarts.push_back(base + r);
            }
            const std::uint64_t end = RegularRunEnd(records, r);
            CopySamples(records, r, end, out, base);
            m_pieceRecords += end - r;
            m_lastTicks = TicksAt(records, end - 1);
            startsPiece = false;
            r = end;
        }
    }

    // Once the walk ended: the intervals of every piece and their length in ticks.
    std::pair<std::uint64_t, std::uint64_t> Intervals() {
        EndPiece();
        return {m_intervals, m_intervalTicks};
    }

private:
    std::uint64_t TicksAt(const RecordChunk& records, std::uint64_t r) const {
        return RecordTimeStamp(records.records + r * kReportRecordSize, records.timeWord);
    }

    // The usual interval from the first records: the median of their first intervals; a jump
    // is more than twice that (the 10 ns stamps of a 95 ns interval alternate 90 and 100 ns).
    void LearnInterval(const RecordChunk& records) {
        if (records.count < 2) return;
        std::vector<std::uint64_t> intervals;
        const std::uint64_t n = std::min<std::uint64_t>(records.count - 1, kIntervalSample);
        for (std::uint64_t r = 0; r < n; ++r) {
            const std::uint64_t a = TicksAt(records, r), b = TicksAt(records, r + 1);
            intervals.push_back(b >= a ? b - a : 0);
        }
        std::nth_element(intervals.begin(), intervals.begin() + static_cast<std::ptrdiff_t>(n / 2),
                         intervals.end());
        m_jumpTicks = 2 * std::max<std::uint64_t>(intervals[n / 2], 1) + 1;
    }

    // A jump is a step between neighbours (ticks after - ticks before, wrapping) above this:
    // more than the usual interval allows, or backwards. Before the usual interval is known
    // (no read of two records yet), only backwards: the 48-bit stamps step back to a
    // difference of 2^63 or more.
    std::uint64_t JumpThreshold() const {
        return m_jumpTicks ? m_jumpTicks : std::numeric_limits<std::int64_t>::max();
    }

    // One past the last record of the run from `first` without a jump between neighbours.
    // Blocks of records are checked without branching first, so the common case (no jump)
    // runs without a branch per record.
    std::uint64_t RegularRunEnd(const RecordChunk& records, std::uint64_t first) const {
        constexpr std::uint64_t kBlock = 64;
        const std::uint64_t threshold = JumpThreshold();
        std::uint64_t previous = TicksAt(records, first);
        std::uint64_t r = first + 1;
        while (r + kBlock <= records.count) {
            if (recordscan::AnyTimeStepAbove(records.records + r * kReportRecordSize, records.timeWord,
                                             previous, kBlock, threshold))
                break;
            previous = TicksAt(records, r + kBlock - 1);
            r += kBlock;
        }
        for (; r < records.count; ++r) {
            const std::uint64_t ticks = TicksAt(records, r);
            if (ticks - previous > threshold) break;
            previous = ticks;
        }
        return r;
    }

    void CopySamples(const RecordChunk& records, std::uint64_t first, std::uint64_t end, SampleChunk& out,
                     std::size_t base) const {
        TakeCodes(records.records + first * kReportRecordSize, m_channel, end - first,
                  out.codes.data() + base + first);
        if (!m_keepTicks) return;
        std::uint64_t* ticks = out.ticks.data() + base;
        for (std::uint64_t r = first; r < end; ++r) ticks[r] = TicksAt(records, r);
    }

    void EndPiece() {
        if (m_pieceRecords >= 2) {
            m_intervals += m_pieceRecords - 1;
            m_intervalTicks += m_lastTicks - m_pieceFirstTicks;
        }
        m_pieceRecords = 0;
    }

    std::size_t m_channel;
    bool m_keepTicks;
    std::uint64_t m_jumpTicks = 0;  // 0 until learnt: only backward steps are jumps before
    std::uint64_t m_pieceRecords = 0;
    std::uint64_t m_pieceFirstTicks = 0;
    std::uint64_t m_lastTicks = 0;
    std::uint64_t m_intervals = 0;
    std::uint64_t m_intervalTicks = 0;
};

struct FftwFree {
    void operator()(void* p) const { fftwf_free(p); }
};
using ComplexBuffer = std::unique_ptr<fftwf_complex[], FftwFree>;

// Up to this N the plan is measured (FFTW_MEASURE: about 1 s for 65,536 points, and then
// about twice as fast as an estimated plan); above it, measuring takes many seconds, so the
// plan is estimated.
constexpr std::size_t kLargestMeasuredPlan = 65'536;

// What FFTW learnt measuring plans ("wisdom") is kept in the cache folder, so that only the
// first process on a machine spends the second a measured plan takes. Named by the host: a
// plan measured on one machine is not the fastest on another that shares the home folder.
std::filesystem::path WisdomPath() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || !*host) std::strcpy(host, "host");
    return ReportOverviewStore::GetCacheRoot() / (std::string("fftw-wisdom-float-") + host);
}

// Under the planner's lock. The length of FFTW's wisdom as text, which grows when a plan is
// measured.
std::uint64_t WisdomSize() {
    std::uint64_t size = 0;
    fftwf_export_wisdom([](char, void* counter) { ++*static_cast<std::uint64_t*>(counter); }, &size);
    return size;
}

// Under the planner's lock. A missing or unreadable file only means measuring again.
void LoadWisdom() {
    fftwf_import_wisdom_from_filename(WisdomPath().c_str());
}

// Under the planner's lock. Written aside and renamed, so that a reader never sees half a file.
void SaveWisdom() {
    const std::filesystem::path path = WisdomPath();
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    const std::string aside = path.string() + "." + std::to_string(::getpid());
    if (fftwf_export_wisdom_to_filename(aside.c_str())) std::filesystem::rename(aside, path, ec);
    if (ec || std::filesystem::exists(aside)) std::filesystem::remove(aside, ec);
}

// Segments are transformed in pairs (one complex transform) where the plan is measured; an
// estimated complex plan of 262,144 points or more takes longer than two real ones, so
// longer segments are transformed alone.
bool TransformsInPairs(std::size_t n) {
    return n <= kLargestMeasuredPlan;
}

// The forward plan for `n` points, complex for pairs and real-to-complex otherwise, made
// once per process: FFTW's planner is not thread-safe, so plans are made under a lock;
// executing a plan on new arrays (fftwf_execute_dft, fftwf_execute_dft_r2c) is, from any
// thread.
fftwf_plan PlanFor(std::size_t n) {
    static std::mutex mutex;
    static std::map<std::size_t, fftwf_plan> plans;
    static bool wisdomLoaded = false;
    const std::lock_guard lock(mutex);
    auto& plan = plans[n];
    if (!plan) {
        const bool measured = n <= kLargestMeasuredPlan;
        if (measured && !std::exchange(wisdomLoaded, true)) LoadWisdom();
        ComplexBuffer in(fftwf_alloc_complex(n));
        ComplexBuffer out(fftwf_alloc_complex(n));
        // With wisdom for this size and these flags, planning returns at once and the
        // arrays are left as they are; only a plan that was measured now is saved.
        const std::uint64_t before = WisdomSize();
        const unsigned flags = measured ? FFTW_MEASURE : FFTW_ESTIMATE;
        plan = TransformsInPairs(n)
                   ? fftwf_plan_dft_1d(static_cast<int>(n), in.get(), out.get(), FFTW_FORWARD, flags)
                   : fftwf_plan_dft_r2c_1d(static_cast<int>(n), in[0], out.get(), flags);
        if (measured && WisdomSize() != before) SaveWisdom();
    }
    return plan;
}

bool ChannelEnabled(const AnalogSettings& settings, int channel) {
    const auto& tracks = settings.visualSettings.tracks;
    const auto c = static_cast<std::size_t>(channel);
    return c >= tracks.size() || tracks[c].enabled;
}

// Time stamps (10 ns ticks) of the first and last stored records of `span`.
std::optional<std::pair<std::uint64_t, std::uint64_t>> StoredTimes(ReportDataReader& reader,
                                                                   const ReportSpan& span) {
    std::uint64_t first = span.first, last = span.end - 1;
    if (!span.gaps.empty() && span.gaps.front().first == first) first = span.gaps.front().end;
    if (!span.gaps.empty() && span.gaps.back().end == span.end) last = span.gaps.back().first - 1;
    const std::uint8_t* record = reader.ReadRecordByIndex(first);
    if (!record) return std::nullopt;
    const std::uint64_t firstTicks =
        RecordTimeStamp(record, static_cast<std::size_t>(reader.GetTimeWordIndex()));
    record = reader.ReadRecordByIndex(last);
    if (!record) return std::nullopt;
    return std::pair{firstTicks,
                     RecordTimeStamp(record, static_cast<std::size_t>(reader.GetTimeWordIndex()))};
}

// Accumulates the segments of one channel: fills half-overlapping segments inside each piece,
// transforms them and sums their power per bin, overall and per spectrogram column. The
// computing thread.
//
// Segments of up to 65,536 records are transformed two at a time, as the real and the
// imaginary part of one complex transform: for Z = FFT(x + iy), X[k] = (Z[k] + conj Z[N-k]) / 2
// and Y[k] = (Z[k] - conj Z[N-k]) / 2i. One complex transform of N points takes about 0.6 to
// 0.8 of the time of two real ones.
class WelchAccumulator {
public:
    WelchAccumulator(const AnalogSettings& settings, const SpectrumRequest& request, std::size_t nfft)
        : m_nfft(nfft),
          m_bins(nfft / 2 + 1),
          m_removeMean(request.removeMean),
          m_paired(TransformsInPairs(nfft)),
          m_plan(PlanFor(nfft)),
          m_pair(fftwf_alloc_complex(nfft)),
          m_spectrum(fftwf_alloc_complex(nfft)),
          m_codes(nfft),
          m_windowed{std::vector<float>(m_paired ? nfft : 0), std::vector<float>(m_paired ? nfft : 0)},
          m_magnitude(m_paired ? nfft : 0),
          m_segmentPower{std::vector<double>(m_bins), std::vector<double>(m_bins)},
          m_power(m_bins, 0.0) {
        // Volts are linear in the code: v = (code - 8191.5) x 2F / 16383; the FFT takes
        // (code - centre) x (volts per code) x w[n], with the centre the segment's mean
        // when it is removed.
        m_voltsPerCode =
            RawCodeToVolts(settings, request.channel, 1.0) - RawCodeToVolts(settings, request.channel, 0.0);
        m_zeroVoltCode = -RawCodeToVolts(settings, request.channel, 0.0) / m_voltsPerCode;
        const std::vector<double> window = SpectrumWindowValues(request.window, nfft);
        m_weights.resize(nfft);
        for (std::size_t n = 0; n < nfft; ++n) m_weights[n] = static_cast<float>(window[n] * m_voltsPerCode);
        m_windowSum = std::accumulate(window.begin(), window.end(), 0.0);
        m_windowSquares = std::inner_product(window.begin(), window.end(), window.begin(), 0.0);
    }

    // The picture spans [firstTicks, lastTicks] (10 ns ticks) of `records` records. A
    // segment's column is found from its middle record's place between the first and the
    // last middle a gapless span would have, so that each column of a gapless span takes its
    // share of the segments.
    void SetColumns(std::size_t columns, std::uint64_t firstTicks, std::uint64_t lastTicks,
                    std::uint64_t records) {
        m_columns = columns;
        m_imageFirstTicks = firstTicks;
        m_imageEndTicks = lastTicks + 1;
        const double ticksPerRecord =
            records > 1 ? static_cast<double>(lastTicks - firstTicks) / static_cast<double>(records - 1)
                        : 0.0;
        const std::uint64_t hop = m_nfft / 2;
        const std::uint64_t segments = records >= m_nfft ? (records - m_nfft) / hop + 1 : 1;
        m_columnFirstTicks =
            firstTicks + static_cast<std::uint64_t>(ticksPerRecord * static_cast<double>(hop));
        m_columnSpanTicks = std::max<std::uint64_t>(
            1, static_cast<std::uint64_t>(ticksPerRecord * static_cast<double>((segments - 1) * hop)));
        m_columnPower.assign(m_bins, 0.0);
        m_rows = std::min(m_bins, SpectrumRequest::kMaxSpectrogramRows);
        m_binsPerRow = (m_bins + m_rows - 1) / m_rows;
        m_rows = (m_bins + m_binsPerRow - 1) / m_binsPerRow;
        m_image.assign(columns * m_rows, std::numeric_limits<float>::quiet_NaN());
    }

    // A segment never takes samples from two pieces: a piece's start drops the samples of
    // the segment being filled.
    void Take(const SampleChunk& chunk) {
        std::size_t from = 0;
        auto start = chunk.pieceStarts.begin();
        while (from < chunk.count) {
            if (start != chunk.pieceStarts.end() && *start == from) {
                m_fill = 0;
                m_firstHalfSum.reset();
                ++start;
            }
            const std::size_t to = start != chunk.pieceStarts.end() ? *start : chunk.count;
            AppendRun(chunk, from, to);
            from = to;
        }
    }

    // Transforms a segment still waiting for its pair and scales the sums into `out`, with
    // the sample rate from `intervals` intervals between records spanning `intervalTicks`.
    void Finish(SpectrumResult& out, std::uint64_t intervals, std::uint64_t intervalTicks) {
        if (m_waiting) TransformPair(1);
        FinishColumn();
        out.segments = m_segments;
        out.sampleRateHz = intervalTicks > 0 ? static_cast<double>(intervals) * 1e9 /
                                                   (static_cast<double>(intervalTicks) * kNanosecondsPerTick)
                                             : 0.0;
        out.enbwHz = out.sampleRateHz * m_windowSquares / (m_windowSum * m_windowSum);
        out.power.resize(m_bins);
        for (std::size_t k = 0; k < m_bins; ++k)
            out.power[k] = m_segments ? m_power[k] * OneSidedScale(k) / static_cast<double>(m_segments) : 0.0;
        if (m_columns) {
            Spectrogram image;
            image.columns = m_columns;
            image.rows = m_rows;
            image.binsPerRow = m_binsPerRow;
            image.fromNs = TicksToNs(m_imageFirstTicks);
            image.toNs = TicksToNs(m_imageEndTicks);
            image.dbv = std::move(m_image);
            out.spectrogram = std::move(image);
        }
    }

private:
    // 1 / (sum w)^2, doubled for the bins between DC and N/2 (one-sided).
    double OneSidedScale(std::size_t k) const {
        const double scale = 1.0 / (m_windowSum * m_windowSum);
        return k == 0 || k == m_nfft / 2 ? scale : 2 * scale;
    }

    // Adds the samples [first, end) of one piece to the segments.
    void AppendRun(const SampleChunk& chunk, std::size_t first, std::size_t end) {
        for (std::size_t r = first; r < end;) {
            const std::size_t take = std::min(end - r, m_nfft - m_fill);
            const std::size_t middle = m_nfft / 2;
            if (m_columns && m_fill <= middle && middle < m_fill + take)
                m_middleTicks = chunk.ticks[r + (middle - m_fill)];
            std::copy_n(chunk.codes.begin() + static_cast<std::ptrdiff_t>(r), take,
                        m_codes.begin() + static_cast<std::ptrdiff_t>(m_fill));
            m_fill += take;
            r += take;
            if (m_fill == m_nfft) AddSegment();
        }
    }

    // The full segment goes into the real (first of a pair) or the imaginary part (second)
    // of the transform's input; the second transforms both.
    void AddSegment() {
        const std::size_t half = m_nfft / 2;
        const std::uint64_t secondHalfSum = m_removeMean ? SumOfCodes(half, m_nfft) : 0;
        const double centre =
            m_removeMean ? static_cast<double>((m_firstHalfSum ? *m_firstHalfSum : SumOfCodes(0, half)) +
                                               secondHalfSum) /
                               static_cast<double>(m_nfft)
                         : m_zeroVoltCode;
        const auto c = static_cast<float>(centre);
        const std::size_t part = m_waiting ? 1 : 0;
        float* windowed = m_paired ? m_windowed[part].data() : reinterpret_cast<float*>(m_pair.get());
        WindowCodes(m_codes.data(), m_weights.data(), c, windowed, m_nfft);
        m_pairMiddleTicks[part] = m_middleTicks;
        if (!m_paired) {
            TransformAlone();
        } else if (m_waiting) {
            TransformPair(2);
        } else {
            m_waiting = true;
        }
        // The second half starts the next segment.
        std::copy(m_codes.begin() + static_cast<std::ptrdiff_t>(half), m_codes.end(), m_codes.begin());
        m_fill = half;
        m_firstHalfSum = secondHalfSum;
    }

    // The sum of the codes [first, end) of the segment being filled, in 32-bit parts (65,536
    // codes of at most 16,383 fit), which the vector unit adds in parallel lanes.
    std::uint64_t SumOfCodes(std::size_t first, std::size_t end) const {
        return SumCodes(m_codes.data() + first, end - first);
    }

    // Transforms the waiting segment and, when `segments` is 2, the one in the imaginary
    // part; a lone segment has its imaginary part cleared.
    void TransformPair(std::size_t segments) {
        if (segments == 1) std::fill(m_windowed[1].begin(), m_windowed[1].end(), 0.0F);
        InterleavePair(m_windowed[0].data(), m_windowed[1].data(), m_pair.get(), m_nfft);
        fftwf_execute_dft(m_plan, m_pair.get(), m_spectrum.get());
        m_waiting = false;
        const fftwf_complex* z = m_spectrum.get();
        SquaredMagnitudes(z, m_magnitude.data(), m_nfft);
        if (!m_columns) {
            // Only the sum over segments is kept: |X[k]|^2 + |Y[k]|^2 = (|Z[k]|^2 + |Z[N-k]|^2) / 2,
            // and for a lone segment (Y = 0) the same.
            m_power[0] += m_magnitude[0];
            for (std::size_t k = 1; k < m_bins; ++k)
                m_power[k] += 0.5 * (m_magnitude[k] + m_magnitude[m_nfft - k]);
            m_segments += segments;
            return;
        }
        for (std::size_t k = 0; k < m_bins; ++k) {
            const std::size_t mirror = k == 0 ? 0 : m_nfft - k;
            const double a = z[k][0], b = z[k][1], c = z[mirror][0], d = z[mirror][1];
            m_segmentPower[0][k] = ((a + c) * (a + c) + (b - d) * (b - d)) / 4;
            m_segmentPower[1][k] = ((a - c) * (a - c) + (b + d) * (b + d)) / 4;
        }
        for (std::size_t part = 0; part < segments; ++part)
            AddToColumn(m_segmentPower[part], m_pairMiddleTicks[part]);
    }

    // Transforms the segment windowed into the start of m_pair, as real numbers.
    void TransformAlone() {
        fftwf_execute_dft_r2c(m_plan, reinterpret_cast<float*>(m_pair.get()), m_spectrum.get());
        const fftwf_complex* x = m_spectrum.get();
        if (!m_columns) {
            for (std::size_t k = 0; k < m_bins; ++k) m_power[k] += x[k][0] * x[k][0] + x[k][1] * x[k][1];
            ++m_segments;
            return;
        }
        for (std::size_t k = 0; k < m_bins; ++k) m_segmentPower[0][k] = x[k][0] * x[k][0] + x[k][1] * x[k][1];
        AddToColumn(m_segmentPower[0], m_middleTicks);
    }

    void AddToColumn(const std::vector<double>& power, std::uint64_t middleTicks) {
        const std::size_t column = ColumnOf(middleTicks);
        if (column != m_column) {
            FinishColumn();
            m_column = column;
        }
        for (std::size_t k = 0; k < m_bins; ++k) {
            m_power[k] += power[k];
            m_columnPower[k] += power[k];
        }
        ++m_columnSegments;
        ++m_segments;
    }

    std::size_t ColumnOf(std::uint64_t ticks) const {
        const std::uint64_t offset = ticks > m_columnFirstTicks ? ticks - m_columnFirstTicks : 0;
        const auto column =
            static_cast<std::size_t>(static_cast<double>(offset) / static_cast<double>(m_columnSpanTicks) *
                                     static_cast<double>(m_columns));
        return std::min(column, m_columns - 1);
    }

    // The column's mean power per bin, the largest of each row's bins, in dBV.
    void FinishColumn() {
        if (!m_columns || m_columnSegments == 0) return;
        for (std::size_t row = 0; row < m_rows; ++row) {
            double largest = 0;
            const std::size_t end = std::min(m_bins, (row + 1) * m_binsPerRow);
            for (std::size_t k = row * m_binsPerRow; k < end; ++k)
                largest = std::max(largest, m_columnPower[k] * OneSidedScale(k));
            const double meanPower = largest / static_cast<double>(m_columnSegments);
            m_image[m_column * m_rows + row] = static_cast<float>(10 * std::log10(meanPower));
        }
        std::fill(m_columnPower.begin(), m_columnPower.end(), 0.0);
        m_columnSegments = 0;
    }

    std::size_t m_nfft;
    std::size_t m_bins;
    bool m_removeMean;
    bool m_paired;  // segments are transformed two at a time
    fftwf_plan m_plan;
    ComplexBuffer m_pair;      // m_windowed[0] + i m_windowed[1], or a lone segment's reals
    ComplexBuffer m_spectrum;  // the transform of m_pair
    bool m_waiting = false;    // the real part holds a segment
    std::array<std::uint64_t, 2> m_pairMiddleTicks{};
    std::vector<std::uint16_t> m_codes;                 // the segment being filled, converter codes
    std::optional<std::uint64_t> m_firstHalfSum;        // of its first half, known from the last segment
    std::vector<float> m_weights;                       // window x volts per code
    std::array<std::vector<float>, 2> m_windowed;       // the pair's segments, windowed, in volts
    std::vector<float> m_magnitude;                     // |Z[j]|^2 of the last transform
    std::array<std::vector<double>, 2> m_segmentPower;  // |X[k]|^2 and |Y[k]|^2, for columns
    std::vector<double> m_power;
    double m_voltsPerCode = 0;
    double m_zeroVoltCode = 0;
    double m_windowSum = 0;
    double m_windowSquares = 0;
    std::size_t m_fill = 0;
    std::uint64_t m_segments = 0;
    std::uint64_t m_middleTicks = 0;  // of the segment being filled, for a spectrogram

    // Spectrogram.
    std::size_t m_columns = 0;
    std::uint64_t m_imageFirstTicks = 0;
    std::uint64_t m_imageEndTicks = 1;
    std::uint64_t m_columnFirstTicks = 0;
    std::uint64_t m_columnSpanTicks = 1;
    std::size_t m_rows = 0;
    std::size_t m_binsPerRow = 1;
    std::size_t m_column = 0;
    std::uint64_t m_columnSegments = 0;
    std::vector<double> m_columnPower;
    std::vector<float> m_image;
};

}  // namespace

double SpectrumResult::FrequencyHz(std::size_t bin) const {
    return nfft ? static_cast<double>(bin) * sampleRateHz / static_cast<double>(nfft) : 0.0;
}

double SpectrumResult::Vrms(std::size_t bin) const {
    return std::sqrt(power[bin]);
}

double SpectrumResult::Dbv(std::size_t bin) const {
    return 10 * std::log10(power[bin]);
}

double SpectrumResult::Psd(std::size_t bin) const {
    return enbwHz > 0 ? power[bin] / enbwHz : 0.0;
}

bool IsValidSpectrumNfft(std::size_t nfft) {
    return std::has_single_bit(nfft) && nfft >= SpectrumRequest::kMinNfft &&
           nfft <= SpectrumRequest::kMaxNfft;
}

std::size_t DefaultSpectrumNfft(std::uint64_t records) {
    std::size_t nfft = SpectrumRequest::kDefaultNfft;
    // 8 half-overlapping segments of N need 9 N / 2 records.
    while (nfft > SpectrumRequest::kMinNfft && records < 9 * static_cast<std::uint64_t>(nfft) / 2) nfft /= 2;
    return nfft;
}

SpectrumResult ComputeSpectrum(ReportDataReader& reader, ReportOverview* overview,
                               const AnalogSettings& settings, const SpectrumRequest& request,
                               const SpectrumProgress& progress) {
    SpectrumResult out;
    out.channel = request.channel;
    out.fromNs = request.fromNs;
    out.toNs = request.toNs;
    out.window = request.window;
    if (request.channel < 0 || request.channel >= AnalogSettings::kChannelCount ||
        !ChannelEnabled(settings, request.channel)) {
        out.status = SpectrumResult::Status::kChannelOff;
        return out;
    }
    if (request.nfft != 0 && !IsValidSpectrumNfft(request.nfft)) {
        out.status = SpectrumResult::Status::kBadNfft;
        return out;
    }
    const std::optional<ReportSpan> span = SpanOfTimes(reader, overview, request.fromNs, request.toNs);
    if (!span) {
        out.status = SpectrumResult::Status::kReadError;
        return out;
    }
    out.records = span->records;
    out.nfft = request.nfft ? request.nfft : DefaultSpectrumNfft(span->records);
    if (span->records < out.nfft) {
        out.status = SpectrumResult::Status::kTooFewRecords;
        return out;
    }

    WelchAccumulator welch(settings, request, out.nfft);
    if (request.columns) {
        const auto times = StoredTimes(reader, *span);
        if (!times) {
            out.status = SpectrumResult::Status::kReadError;
            return out;
        }
        // No more columns than segments a gapless span gives, so that columns are not left empty.
        const std::uint64_t mostSegments = (span->records - out.nfft) / (out.nfft / 2) + 1;
        welch.SetColumns(std::clamp<std::uint64_t>(std::min<std::uint64_t>(request.columns, mostSegments), 1,
                                                   SpectrumRequest::kMaxSpectrogramColumns),
                         times->first, times->second, span->records);
    }
    // The records are read on a thread of their own, which runs ahead of the transforms by
    // a few chunks: reading (cold, from the disk) and computing overlap. The reader is used
    // only by that thread until it is joined.
    SampleChunkQueue queue;
    WalkResult walked;
    SampleExtractor extractor(static_cast<std::size_t>(request.channel), request.columns > 0);
    std::thread readingThread([&reader, &queue, &walked, &span, &extractor] {
        ReportRecordWalk walk(reader, kReadRecords, ReportRecordWalk::Unreadable::kChunk);
        std::unique_ptr<SampleChunk> chunk;
        walked = walk.Walk(*span, [&](const RecordChunk& records) {
            if (!chunk && !(chunk = queue.Acquire())) return false;
            extractor.Take(records, *chunk);
            if (chunk->count >= kChunkSamples) queue.Push(std::move(chunk));
            return true;
        });
        if (chunk) queue.Push(std::move(chunk));
        queue.Close();
    });
    bool cancelled = false;
    std::uint64_t done = 0;
    while (auto chunk = queue.Pop()) {
        if (!cancelled) {
            welch.Take(*chunk);
            done += chunk->count;
            if (progress && !progress(done, span->records)) {
                cancelled = true;
                queue.Stop();
            }
        }
        chunk->Clear();
        queue.Release(std::move(chunk));
    }
    readingThread.join();
    if (cancelled) {
        out.status = SpectrumResult::Status::kCancelled;
        return out;
    }
    if (walked.outcome != WalkOutcome::kDone) {
        out.status = SpectrumResult::Status::kReadError;
        return out;
    }
    const auto [intervals, intervalTicks] = extractor.Intervals();
    welch.Finish(out, intervals, intervalTicks);
    if (out.segments == 0) {
        out.status = SpectrumResult::Status::kTooFewRecords;
        return out;
    }
    out.figures = ComputeSpectrumFigures(out.power, out.nfft, out.sampleRateHz, out.window);
    return out;
}

}  // namespace qvx::analog
