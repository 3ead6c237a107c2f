#pragma once
// The averaged spectrum (Welch's method) of one channel of a stored report between two
// times, and its spectrogram: the same segments folded into time columns.
//
// Segments of N records (a power of two, 256 .. 1,048,576) overlap by half; each has its
// mean removed (unless asked not to), is weighted by the window and transformed with FFTW
// (single precision, one plan per N for the process). Samples are in volts with the
// session's range and probe of the channel (RawCodeToVolts). The span is cut where records
// are missing (a rotated-out file) or the time stamps jump (more than twice the usual
// interval, or backwards), and segments are taken from each piece, so none spans a gap.
// The sample rate comes from the record times of the pieces.
//
// Power per bin k (V^2) is scaled as scipy.signal.welch with scaling="spectrum": the mean
// over the segments of |X[k]|^2 / (sum w)^2, doubled for 0 < k < N/2. The PSD (V^2/Hz) is
// that divided by the equivalent noise bandwidth, fs x sum w^2 / (sum w)^2.
//
// Runs on the calling thread, which must own the reader; the records are read through the
// record walk in reads of 256 KiB on a thread of its own, which has the reader until the
// computation returns, takes the channel's codes out and runs a few chunks of them ahead of
// the transforms. Progress is reported on the calling thread.

#include "QV+AnalogCore/Analysis/SpectrumFigures.h"
#include "QV+AnalogCore/Analysis/SpectrumWindow.h"
#include "QVxCore/AnalogSettings.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

namespace qvx {
class ReportDataReader;
class ReportOverview;
}  // namespace qvx

namespace qvx::analog {

struct SpectrumRequest {
    int channel = 0;  // 0 to 3
    std::int64_t fromNs = 0;
    std::int64_t toNs = std::numeric_limits<std::int64_t>::max();
    std::size_t nfft = 0;  // records per segment; 0: 65,536, or the largest giving 8 segments
    SpectrumWindow window = SpectrumWindow::kHann;
    bool removeMean = true;
    std::size_t columns = 0;  // spectrogram columns (at most kMaxSpectrogramColumns); 0: none

    static constexpr std::size_t kMinNfft = 256;
    static constexpr std::size_t kMaxNfft = 1'048'576;
    static constexpr std::size_t kDefaultNfft = 65'536;
    static constexpr std::size_t kMaxSpectrogramColumns = 2000;
    static constexpr std::size_t kMaxSpectrogramRows = 1024;

    bool operator==(const SpectrumRequest&) const = default;
};

// The picture spans the times from the span's first stored record to a tick (10 ns) after
// its last, in `columns` equal columns. A segment belongs to the column of its middle
// record's place between the first and the last middle a gapless span has; there are no more
// columns than such a span has segments. Rows are groups
// of `binsPerRow` neighbouring bins, each the largest of its bins. Values in dBV, NaN for a
// column without segments.
struct Spectrogram {
    std::size_t columns = 0;
    std::size_t rows = 0;
    std::size_t binsPerRow = 1;
    std::int64_t fromNs = 0;
    std::int64_t toNs = 0;
    std::vector<float> dbv;  // columns x rows, column by column, row 0 = DC

    float At(std::size_t column, std::size_t row) const { return dbv[column * rows + row]; }
};

struct SpectrumResult {
    enum class Status {
        kDone,
        kCancelled,
        kReadError,
        kChannelOff,     // the channel is not recorded
        kBadNfft,        // not a power of two from 256 to 1,048,576
        kTooFewRecords,  // no piece of the span holds N records
    };
    Status status = Status::kDone;
    int channel = 0;
    std::int64_t fromNs = 0;
    std::int64_t toNs = 0;
    std::uint64_t records = 0;  // records of the span
    double sampleRateHz = 0;
    std::size_t nfft = 0;
    SpectrumWindow window = SpectrumWindow::kHann;
    std::uint64_t segments = 0;
    double enbwHz = 0;
    std::vector<double> power;  // N/2 + 1 bins, V^2
    SpectrumFigures figures;
    std::optional<Spectrogram> spectrogram;

    double FrequencyHz(std::size_t bin) const;
    double Vrms(std::size_t bin) const;
    double Dbv(std::size_t bin) const;  // 20 log10(V RMS); -inf for 0
    double Psd(std::size_t bin) const;  // V^2/Hz
};

// (records done, records of the span); false cancels.
using SpectrumProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// True for a power of two from 256 to 1,048,576.
bool IsValidSpectrumNfft(std::size_t nfft);

// N for `records` records when none is asked: 65,536, or the largest power of two that gives
// at least 8 half-overlapping segments, but at least 256.
std::size_t DefaultSpectrumNfft(std::uint64_t records);

// `overview` (may be null) only speeds up finding the span.
SpectrumResult ComputeSpectrum(ReportDataReader& reader, ReportOverview* overview,
                               const AnalogSettings& settings, const SpectrumRequest& request,
                               const SpectrumProgress& progress = {});

}  // namespace qvx::analog
