#include "QV+AnalogCore/Analysis/ReportSpectrum.h"

#include "QV+AnalogCore/Analysis/ReportSpanMeasurement.h"
#include "QV+AnalogCore/Export/ReportRecordWalk.h"
#include "QV+AnalogCore/Export/ReportSpan.h"
#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportOverviewStore.h"

#include <fftw3.h>
#include <unistd.h>

#include <algorithm>
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

// Records per read of the walk: 4 MiB.
constexpr std::uint64_t kChunkRecords = 262'144;
// Intervals looked at for the usual interval between records.
constexpr std::size_t kIntervalSample = 4096;
// Chunks in flight between the reading thread and the computing one: 4 x 2.5 MiB.
constexpr std::size_t kChunksInFlight = 4;

// The time stamps (10 ns ticks) and converter codes of one channel of a chunk of records.
struct SampleChunk {
    std::vector<std::uint64_t> ticks;
    std::vector<std::uint16_t> codes;
    std::uint64_t count = 0;
    bool afterGap = false;  // records just before it are missing
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

// Reading thread: the channel's time stamps and codes (limited to 0x3FFF) of `records`.
void ExtractSamples(const RecordChunk& records, std::size_t channel, SampleChunk& out) {
    out.count = records.count;
    out.afterGap = records.afterGap;
    out.ticks.resize(records.count);
    out.codes.resize(records.count);
    for (std::uint64_t r = 0; r < records.count; ++r) {
        const std::uint8_t* record = records.records + r * kReportRecordSize;
        out.ticks[r] = RecordTimeStamp(record, records.timeWord);
        out.codes[r] = LimitedSample(RecordRawSample(record, channel));
    }
}

struct FftwFree {
    void operator()(void* p) const { fftwf_free(p); }
};
using FloatBuffer = std::unique_ptr<float[], FftwFree>;
using ComplexBuffer = std::unique_ptr<fftwf_complex[], FftwFree>;

// Up to this N the plan is measured (FFTW_MEASURE: about 1 s for 65,536 points, and then
// about 1.6 times as fast as an estimated plan); above it, measuring takes many seconds
// (15 s for 1,048,576), so the plan is estimated.
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

// The real-to-complex plan for `n` points, made once per process: FFTW's planner is not
// thread-safe, so plans are made under a lock; executing a plan on new arrays
// (fftwf_execute_dft_r2c) is, from any thread.
fftwf_plan PlanFor(std::size_t n) {
    static std::mutex mutex;
    static std::map<std::size_t, fftwf_plan> plans;
    static bool wisdomLoaded = false;
    const std::lock_guard lock(mutex);
    auto& plan = plans[n];
    if (!plan) {
        const bool measured = n <= kLargestMeasuredPlan;
        if (measured && !std::exchange(wisdomLoaded, true)) LoadWisdom();
        FloatBuffer in(fftwf_alloc_real(n));
        ComplexBuffer out(fftwf_alloc_complex(n / 2 + 1));
        // With wisdom for this size and these flags, planning returns at once and the
        // arrays are left as they are; only a plan that was measured now is saved.
        const std::uint64_t before = WisdomSize();
        plan = fftwf_plan_dft_r2c_1d(static_cast<int>(n), in.get(), out.get(),
                                     measured ? FFTW_MEASURE : FFTW_ESTIMATE);
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

// Accumulates the segments of one channel: cuts the records into pieces at gaps, fills
// half-overlapping segments, transforms them and sums their power per bin, overall and per
// spectrogram column. The walking thread.
class WelchAccumulator {
public:
    WelchAccumulator(const AnalogSettings& settings, const SpectrumRequest& request, std::size_t nfft)
        : m_channel(static_cast<std::size_t>(request.channel)),
          m_nfft(nfft),
          m_bins(nfft / 2 + 1),
          m_removeMean(request.removeMean),
          m_plan(PlanFor(nfft)),
          m_in(fftwf_alloc_real(nfft)),
          m_out(fftwf_alloc_complex(m_bins)),
          m_codes(nfft),
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

    void Take(const SampleChunk& chunk) {
        if (chunk.afterGap) EndPiece();
        if (!m_jumpTicks) LearnInterval(chunk);
        std::uint64_t r = 0;
        while (r < chunk.count) {
            if (m_pieceRecords > 0 && IsJump(m_lastTicks, TicksOf(chunk, r))) EndPiece();
            const std::uint64_t end = RegularRunEnd(chunk, r);
            AppendRun(chunk, r, end);
            r = end;
        }
    }

    // Closes the last piece and scales the sums into `out`.
    void Finish(SpectrumResult& out) {
        EndPiece();
        FinishColumn();
        out.segments = m_segments;
        out.sampleRateHz = m_intervalTicks > 0
                               ? static_cast<double>(m_intervals) * 1e9 /
                                     (static_cast<double>(m_intervalTicks) * kNanosecondsPerTick)
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

    // The usual interval from the first chunk: the median of its first intervals; a jump is
    // more than twice that (the 10 ns stamps of a 95 ns interval alternate 90 and 100 ns).
    void LearnInterval(const SampleChunk& chunk) {
        if (chunk.count < 2) return;
        std::vector<std::uint64_t> intervals;
        const std::uint64_t n = std::min<std::uint64_t>(chunk.count - 1, kIntervalSample);
        for (std::uint64_t r = 0; r < n; ++r) {
            const std::uint64_t a = chunk.ticks[r], b = chunk.ticks[r + 1];
            intervals.push_back(b >= a ? b - a : 0);
        }
        std::nth_element(intervals.begin(), intervals.begin() + static_cast<std::ptrdiff_t>(n / 2),
                         intervals.end());
        m_jumpTicks = 2 * std::max<std::uint64_t>(intervals[n / 2], 1) + 1;
    }

    static std::uint64_t TicksOf(const SampleChunk& chunk, std::uint64_t r) { return chunk.ticks[r]; }

    // A jump: more than the usual interval allows, or backwards (the difference wraps).
    // Before the usual interval is known (no chunk of two records yet), only backwards.
    bool IsJump(std::uint64_t before, std::uint64_t after) const {
        return m_jumpTicks ? after - before > m_jumpTicks : after < before;
    }

    // One past the last record of the run from `first` without a jump between neighbours.
    // Blocks of records are checked without branching first, so the common case (no jump)
    // runs as a vector loop.
    std::uint64_t RegularRunEnd(const SampleChunk& chunk, std::uint64_t first) const {
        constexpr std::uint64_t kBlock = 256;
        std::uint64_t r = first + 1;
        while (r + kBlock <= chunk.count) {
            bool jump = false;
            for (std::uint64_t i = r; i < r + kBlock; ++i)
                jump |= IsJump(TicksOf(chunk, i - 1), TicksOf(chunk, i));
            if (jump) break;
            r += kBlock;
        }
        while (r < chunk.count && !IsJump(TicksOf(chunk, r - 1), TicksOf(chunk, r))) ++r;
        return r;
    }

    // Adds the records [first, end) of one run of the current piece to the segments.
    void AppendRun(const SampleChunk& chunk, std::uint64_t first, std::uint64_t end) {
        if (first == end) return;
        if (m_pieceRecords == 0) m_pieceFirstTicks = TicksOf(chunk, first);
        m_pieceRecords += end - first;
        m_lastTicks = TicksOf(chunk, end - 1);
        for (std::uint64_t r = first; r < end;) {
            const std::uint64_t take = std::min<std::uint64_t>(end - r, m_nfft - m_fill);
            const std::size_t middle = m_nfft / 2;
            if (m_fill <= middle && middle < m_fill + take)
                m_middleTicks = TicksOf(chunk, r + (middle - m_fill));
            std::copy_n(chunk.codes.begin() + static_cast<std::ptrdiff_t>(r), take,
                        m_codes.begin() + static_cast<std::ptrdiff_t>(m_fill));
            m_fill += take;
            r += take;
            if (m_fill == m_nfft) TransformSegment();
        }
    }

    void EndPiece() {
        if (m_pieceRecords >= 2) {
            m_intervals += m_pieceRecords - 1;
            m_intervalTicks += m_lastTicks - m_pieceFirstTicks;
        }
        m_pieceRecords = 0;
        m_fill = 0;
    }

    void TransformSegment() {
        const double centre =
            m_removeMean
                ? static_cast<double>(std::accumulate(m_codes.begin(), m_codes.end(), std::uint64_t{0})) /
                      static_cast<double>(m_nfft)
                : m_zeroVoltCode;
        const auto c = static_cast<float>(centre);
        for (std::size_t n = 0; n < m_nfft; ++n)
            m_in[n] = (static_cast<float>(m_codes[n]) - c) * m_weights[n];
        fftwf_execute_dft_r2c(m_plan, m_in.get(), m_out.get());
        const std::size_t column = ColumnOf(m_middleTicks);
        if (m_columns && column != m_column) {
            FinishColumn();
            m_column = column;
        }
        for (std::size_t k = 0; k < m_bins; ++k) {
            const double p = static_cast<double>(m_out[k][0]) * m_out[k][0] +
                             static_cast<double>(m_out[k][1]) * m_out[k][1];
            m_power[k] += p;
            if (m_columns) m_columnPower[k] += p;
        }
        ++m_columnSegments;
        ++m_segments;
        // The second half starts the next segment.
        std::copy(m_codes.begin() + static_cast<std::ptrdiff_t>(m_nfft / 2), m_codes.end(), m_codes.begin());
        m_fill = m_nfft / 2;
    }

    std::size_t ColumnOf(std::uint64_t ticks) const {
        if (!m_columns) return 0;
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

    std::size_t m_channel;
    std::size_t m_nfft;
    std::size_t m_bins;
    bool m_removeMean;
    fftwf_plan m_plan;
    FloatBuffer m_in;
    ComplexBuffer m_out;
    std::vector<std::uint16_t> m_codes;  // the segment being filled, converter codes
    std::vector<float> m_weights;        // window x volts per code
    std::vector<double> m_power;
    double m_voltsPerCode = 0;
    double m_zeroVoltCode = 0;
    double m_windowSum = 0;
    double m_windowSquares = 0;
    std::size_t m_fill = 0;
    std::uint64_t m_segments = 0;

    // The current piece (10 ns ticks) and the intervals of the finished ones.
    std::uint64_t m_jumpTicks = 0;  // 0 until learnt: no jump is seen before
    std::uint64_t m_pieceRecords = 0;
    std::uint64_t m_pieceFirstTicks = 0;
    std::uint64_t m_lastTicks = 0;
    std::uint64_t m_middleTicks = 0;
    std::uint64_t m_intervals = 0;
    std::uint64_t m_intervalTicks = 0;

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
    std::thread readingThread(
        [&reader, &queue, &walked, &span, channel = static_cast<std::size_t>(request.channel)] {
            ReportRecordWalk walk(reader, kChunkRecords, ReportRecordWalk::Unreadable::kChunk);
            walked = walk.Walk(*span, [&](const RecordChunk& records) {
                auto chunk = queue.Acquire();
                if (!chunk) return false;
                ExtractSamples(records, channel, *chunk);
                queue.Push(std::move(chunk));
                return true;
            });
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
    welch.Finish(out);
    if (out.segments == 0) {
        out.status = SpectrumResult::Status::kTooFewRecords;
        return out;
    }
    out.figures = ComputeSpectrumFigures(out.power, out.nfft, out.sampleRateHz, out.window);
    return out;
}

}  // namespace qvx::analog
