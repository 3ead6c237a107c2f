// The averaged spectrum of generated reports against the tones and noise they hold, and
// against a direct DFT of the same segments; pieces at gaps and file splits; refusals; the
// spectrogram's columns.

#include "QV+AnalogCore/Analysis/ReportSpanMeasurement.h"
#include "QV+AnalogCore/Analysis/ReportSpectrum.h"
#include "QV+AnalogCore/tests/analysis_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <numeric>
#include <thread>

namespace {

using qvx::analog::ComputeSpectrum;
using qvx::analog::SpectrumRequest;
using qvx::analog::SpectrumResult;
using qvx::analog::SpectrumWindow;
using qvx::test::ReportBuilder;
using qvx::test::Samples;
using qvx::test::TempDir;

constexpr double kSampleRateHz = 10e6;  // the builder's records are 100 ns apart
constexpr double kPi = std::numbers::pi;

qvx::AnalogSettings SpectrumSettings() {
    qvx::AnalogSettings s;
    s.visualSettings.tracks.resize(4);
    s.visualSettings.tracks[3].enabled = false;
    s.channelVoltages = {0, 3, 5, 2};
    return s;
}

double VoltsPerCode(const qvx::AnalogSettings& settings, int channel) {
    return qvx::analog::RawCodeToVolts(settings, channel, 1) -
           qvx::analog::RawCodeToVolts(settings, channel, 0);
}

std::uint16_t Code(double value) {
    return static_cast<std::uint16_t>(std::clamp(std::lround(value), 0L, 16383L));
}

// A one-file report of `count` records, `signal` on CH1 (position = index).
class OneFileReport {
public:
    OneFileReport(const std::string& tag, std::uint64_t count, std::function<double(std::uint64_t)> signal,
                  ReportBuilder::TimeFn times = ReportBuilder::DefaultTime)
        : m_dir(tag), m_signal(std::move(signal)) {
        ReportBuilder builder(m_dir.Path() / "repo");
        builder.Times(std::move(times))
            .SampleValues([this](std::uint64_t i) {
                return Samples{Code(m_signal(i)), 8192, 8192, 8192};
            })
            .AddFile(0, count);
        m_reader = qvx::ReportDataReader::Open(builder.Folder());
        EXPECT_TRUE(m_reader);
    }
    qvx::ReportDataReader& Reader() { return *m_reader; }
    double CodeAt(std::uint64_t i) const { return Code(m_signal(i)); }

private:
    TempDir m_dir;
    std::function<double(std::uint64_t)> m_signal;
    qvx::ReportDataReaderPtr m_reader;
};

// |X[bin]|^2 of segment `s` of the half-overlapping segments of N = w.size() from record 0:
// a direct DFT in double precision of its volts on CH1, the mean removed or not, weighted
// by the window.
double DirectSegmentPower(const OneFileReport& report, const qvx::AnalogSettings& settings, std::uint64_t s,
                          const std::vector<double>& w, std::size_t bin, bool removeMean) {
    const std::size_t n = w.size();
    std::vector<double> volts(n);
    double mean = 0;
    for (std::size_t i = 0; i < n; ++i) {
        volts[i] = qvx::analog::RawCodeToVolts(settings, 0, report.CodeAt(s * n / 2 + i));
        mean += volts[i] / static_cast<double>(n);
    }
    std::complex<double> x;
    for (std::size_t i = 0; i < n; ++i)
        x += (volts[i] - (removeMean ? mean : 0.0)) * w[i] *
             std::polar(1.0, -2 * kPi * static_cast<double>(bin * i) / static_cast<double>(n));
    return std::norm(x);
}

SpectrumRequest Request(std::size_t nfft, SpectrumWindow window) {
    SpectrumRequest request;
    request.nfft = nfft;
    request.window = window;
    return request;
}

// Half-overlapping segments of N in a piece of `records`.
std::uint64_t SegmentsIn(std::uint64_t records, std::uint64_t nfft) {
    return records < nfft ? 0 : (records - nfft) / (nfft / 2) + 1;
}

double Db(double ratio) {
    return 20 * std::log10(ratio);
}

// A deterministic normal deviate per position (Box-Muller on two hashed uniforms).
double Gaussian(std::uint64_t p) {
    auto mix = [](std::uint64_t z) {
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    };
    const double u1 = (static_cast<double>(mix(2 * p + 1) >> 11) + 0.5) / 9007199254740992.0;
    const double u2 = (static_cast<double>(mix(2 * p + 2) >> 11) + 0.5) / 9007199254740992.0;
    return std::sqrt(-2 * std::log(u1)) * std::cos(2 * kPi * u2);
}

TEST(ReportSpectrum, SineBetweenBinsReadsItsAmplitudeAndFrequency) {
    constexpr std::size_t kN = 4096;
    constexpr double kBin = 300.37, kAmplitude = 5000;  // codes
    const double hz = kBin * kSampleRateHz / kN;
    OneFileReport report("spectrum_sine", 40'000, [&](std::uint64_t i) {
        return 8192 + kAmplitude * std::sin(2 * kPi * hz * static_cast<double>(i) / kSampleRateHz + 0.3);
    });
    const auto settings = SpectrumSettings();
    const double amplitudeVolts = kAmplitude * VoltsPerCode(settings, 0);
    for (auto window : {SpectrumWindow::kFlatTop, SpectrumWindow::kHann, SpectrumWindow::kBlackmanHarris,
                        SpectrumWindow::kRectangular}) {
        SCOPED_TRACE(std::string(qvx::analog::SpectrumWindowName(window)));
        const SpectrumResult r = ComputeSpectrum(report.Reader(), nullptr, settings, Request(kN, window));
        ASSERT_EQ(r.status, SpectrumResult::Status::kDone);
        EXPECT_DOUBLE_EQ(r.sampleRateHz, kSampleRateHz);
        EXPECT_EQ(r.segments, SegmentsIn(40'000, kN));
        ASSERT_EQ(r.power.size(), kN / 2 + 1);
        ASSERT_FALSE(r.figures.peaks.empty());
        const auto& peak = r.figures.peaks.front();
        EXPECT_EQ(peak.bin, 300u);
        EXPECT_NEAR(peak.frequencyHz / (kSampleRateHz / kN), kBin, 0.01);
        EXPECT_NEAR(peak.dbv, Db(amplitudeVolts / std::sqrt(2.0)), 0.02);
        EXPECT_NEAR(*r.figures.fundamentalHz, hz, 0.01 * kSampleRateHz / kN);
        // The flat-top's peak bin itself reads the amplitude, whatever the offset.
        if (window == SpectrumWindow::kFlatTop) {
            EXPECT_NEAR(r.Dbv(300), Db(amplitudeVolts / std::sqrt(2.0)), 0.02);
        }
    }
}

// Welch by hand for a few bins: the segments' direct DFTs in double precision, scaled as
// scipy.signal.welch with scaling "spectrum" and "density".
// Segments of up to 65,536 records are transformed in pairs, longer ones alone. Single
// precision: the weakest bins of 131,072 points (DC with the mean removed, N/2) to 0.1 %.
TEST(ReportSpectrum, BinsEqualDirectDftOfTheSegments) {
    const auto settings = SpectrumSettings();
    for (const auto& [kN, kCount] : {std::pair<std::size_t, std::uint64_t>{1024, 9000}, {131'072, 400'000}}) {
        SCOPED_TRACE(testing::Message() << "N = " << kN);
        OneFileReport report("spectrum_dft", kCount, [](std::uint64_t i) {
            return 3000 + 2000 * std::sin(0.0731 * static_cast<double>(i)) + 300 * Gaussian(i);
        });
        for (bool removeMean : {true, false}) {
            SpectrumRequest request = Request(kN, SpectrumWindow::kHann);
            request.removeMean = removeMean;
            const SpectrumResult r = ComputeSpectrum(report.Reader(), nullptr, settings, request);
            ASSERT_EQ(r.status, SpectrumResult::Status::kDone);
            const std::vector<double> w = qvx::analog::SpectrumWindowValues(SpectrumWindow::kHann, kN);
            double s1 = 0, s2 = 0;
            for (double v : w) s1 += v, s2 += v * v;
            EXPECT_NEAR(r.enbwHz, kSampleRateHz * s2 / (s1 * s1), 1e-6);
            const std::uint64_t segments = SegmentsIn(kCount, kN);
            ASSERT_EQ(r.segments, segments);
            for (std::size_t bin :
                 {std::size_t{0}, std::size_t{3}, std::size_t{12}, std::size_t{300}, kN / 2}) {
                double sum = 0;
                for (std::uint64_t s = 0; s < segments; ++s)
                    sum += DirectSegmentPower(report, settings, s, w, bin, removeMean);
                const double scale = (bin == 0 || bin == kN / 2 ? 1.0 : 2.0) / (s1 * s1);
                const double expected = sum / static_cast<double>(segments) * scale;
                SCOPED_TRACE(bin);
                const double tolerance = kN > 65'536 ? 1e-3 : 1e-5;
                EXPECT_NEAR(r.power[bin], expected, tolerance * expected + 1e-14);
                EXPECT_NEAR(r.Psd(bin), expected / r.enbwHz, tolerance * expected / r.enbwHz + 1e-20);
                EXPECT_DOUBLE_EQ(r.FrequencyHz(bin), static_cast<double>(bin) * kSampleRateHz / kN);
            }
        }
    }
}

TEST(ReportSpectrum, HarmonicsGiveTheirThd) {
    constexpr std::size_t kN = 8192;
    const double hz = 123.45 * kSampleRateHz / kN;
    // 2nd harmonic 40 dB and 3rd 50 dB below the fundamental.
    OneFileReport report("spectrum_thd", 80'000, [&](std::uint64_t i) {
        const double phase = 2 * kPi * hz * static_cast<double>(i) / kSampleRateHz;
        return 8192 + 6000 * std::sin(phase) + 60 * std::sin(2 * phase + 1) +
               6000 * std::pow(10, -2.5) * std::sin(3 * phase);
    });
    for (auto window : {SpectrumWindow::kBlackmanHarris, SpectrumWindow::kFlatTop, SpectrumWindow::kHann}) {
        SCOPED_TRACE(std::string(qvx::analog::SpectrumWindowName(window)));
        const SpectrumResult r =
            ComputeSpectrum(report.Reader(), nullptr, SpectrumSettings(), Request(kN, window));
        ASSERT_EQ(r.status, SpectrumResult::Status::kDone);
        ASSERT_TRUE(r.figures.thdDb && r.figures.snrDb && r.figures.sinadDb && r.figures.sfdrDb &&
                    r.figures.enob);
        EXPECT_NEAR(*r.figures.thdDb, 10 * std::log10(1e-4 + 1e-5), 0.1);
        EXPECT_NEAR(*r.figures.sfdrDb, 40, 0.5);
        // The noise is the rounding to whole codes (and, with Hann, the leakage of its slowly
        // falling side lobes): with the others SINAD is limited by the harmonics.
        if (window != SpectrumWindow::kHann) {
            EXPECT_GT(*r.figures.snrDb, 60);
            EXPECT_NEAR(*r.figures.sinadDb, -*r.figures.thdDb, 0.5);
        }
        EXPECT_LT(*r.figures.sinadDb, -*r.figures.thdDb);
        EXPECT_NEAR(*r.figures.enob, (*r.figures.sinadDb - 1.76) / 6.02, 1e-9);
        ASSERT_GE(r.figures.peaks.size(), 3u);
        EXPECT_NEAR(r.figures.peaks[1].frequencyHz, 2 * hz, 0.05 * kSampleRateHz / kN);
    }
}

TEST(ReportSpectrum, WhiteNoiseGivesItsDensity) {
    constexpr double kSigma = 1000;  // codes
    OneFileReport report("spectrum_noise", 300'000,
                         [](std::uint64_t i) { return 8192 + kSigma * Gaussian(i); });
    const auto settings = SpectrumSettings();
    // Rounding to whole codes adds 1/12 code^2.
    const double variance = (kSigma * kSigma + 1.0 / 12) * std::pow(VoltsPerCode(settings, 0), 2);
    for (auto window : {SpectrumWindow::kHann, SpectrumWindow::kRectangular, SpectrumWindow::kFlatTop}) {
        SCOPED_TRACE(std::string(qvx::analog::SpectrumWindowName(window)));
        const SpectrumResult r = ComputeSpectrum(report.Reader(), nullptr, settings, Request(4096, window));
        ASSERT_EQ(r.status, SpectrumResult::Status::kDone);
        double sum = 0;
        std::size_t bins = 0;
        for (std::size_t k = 10; k < r.power.size() - 1; ++k, ++bins) sum += r.Psd(k);
        EXPECT_NEAR(sum / static_cast<double>(bins), variance / (kSampleRateHz / 2),
                    0.03 * variance / (kSampleRateHz / 2));
    }
}

// File 0 ends short, so the span has a hole in its indexes while the time runs on, and
// later the time stamps jump: segments are taken from each piece, and the sample rate
// comes from the intervals inside the pieces.
TEST(ReportSpectrum, SegmentsStayInsidePiecesAtGapsAndFileSplits) {
    constexpr std::size_t kN = 1024;
    constexpr std::uint64_t kFirst = 5000, kSecond = 7000, kJumpAt = 9100;  // positions
    const auto tone = [](std::uint64_t p) {
        return Samples{Code(8192 + 3000 * std::sin(0.05 * p)), 8192, 8192, 8192};
    };
    qvx::test::TwoFileReport split("spectrum_split", kFirst, kSecond, tone);
    const auto settings = SpectrumSettings();
    SpectrumResult r =
        ComputeSpectrum(split.Reader(), split.Overview(), settings, Request(kN, SpectrumWindow::kHann));
    ASSERT_EQ(r.status, SpectrumResult::Status::kDone);
    EXPECT_EQ(r.segments, SegmentsIn(kFirst, kN) + SegmentsIn(kSecond, kN));
    EXPECT_DOUBLE_EQ(r.sampleRateHz, kSampleRateHz);

    TempDir dir("spectrum_jump");
    ReportBuilder builder(dir.Path() / "repo");
    // 100 ns apart, then 1 ms later from kJumpAt on; 8 ms later still from 11,000 on.
    builder
        .Times([](std::uint64_t i) {
            return i * 10 + (i >= kJumpAt ? 100'000 : 0) + (i >= 11'000 ? 800'000 : 0);
        })
        .SampleValues(tone)
        .AddFile(0, 14'000);
    auto reader = qvx::ReportDataReader::Open(builder.Folder());
    ASSERT_TRUE(reader);
    r = ComputeSpectrum(*reader, nullptr, settings, Request(kN, SpectrumWindow::kHann));
    ASSERT_EQ(r.status, SpectrumResult::Status::kDone);
    EXPECT_EQ(r.segments, SegmentsIn(kJumpAt, kN) + SegmentsIn(11'000 - kJumpAt, kN) + SegmentsIn(3000, kN));
    EXPECT_DOUBLE_EQ(r.sampleRateHz, kSampleRateHz);
    EXPECT_NEAR(r.figures.peaks.front().frequencyHz, 0.05 / (2 * kPi) * kSampleRateHz,
                0.05 * kSampleRateHz / kN);

    // A span from the time after the first jump: the pieces follow the times asked for.
    SpectrumRequest later = Request(256, SpectrumWindow::kHann);
    later.fromNs = (kJumpAt * 10 + 100'000) * 10;
    later.toNs = (10'000 * 10 + 100'000) * 10;
    r = ComputeSpectrum(*reader, nullptr, settings, later);
    ASSERT_EQ(r.status, SpectrumResult::Status::kDone);
    EXPECT_EQ(r.records, 10'000 - kJumpAt);
    EXPECT_EQ(r.segments, SegmentsIn(10'000 - kJumpAt, 256));
}

TEST(ReportSpectrum, RefusesWhatItCannotCompute) {
    OneFileReport report(
        "spectrum_refusals", 3000, [](std::uint64_t i) { return 8192 + 100 * std::sin(0.1 * i); },
        [](std::uint64_t i) { return i * 10 + (i >= 1500 ? 50'000 : 0); });
    const auto settings = SpectrumSettings();
    const auto status = [&](SpectrumRequest request) {
        return ComputeSpectrum(report.Reader(), nullptr, settings, request).status;
    };
    SpectrumRequest request = Request(1024, SpectrumWindow::kHann);
    request.channel = 3;  // off
    EXPECT_EQ(status(request), SpectrumResult::Status::kChannelOff);
    for (std::size_t nfft : {std::size_t{1000}, std::size_t{128}, std::size_t{2'097'152}})
        EXPECT_EQ(status(Request(nfft, SpectrumWindow::kHann)), SpectrumResult::Status::kBadNfft) << nfft;
    request = Request(512, SpectrumWindow::kHann);
    request.fromNs = 0;
    request.toNs = 500 * 100;  // 500 records
    EXPECT_EQ(status(request), SpectrumResult::Status::kTooFewRecords);
    // 3000 records, but each piece on either side of the jump holds only 1500.
    EXPECT_EQ(status(Request(2048, SpectrumWindow::kHann)), SpectrumResult::Status::kTooFewRecords);
    EXPECT_EQ(status(Request(1024, SpectrumWindow::kHann)), SpectrumResult::Status::kDone);

    EXPECT_EQ(qvx::analog::DefaultSpectrumNfft(1'000'000'000), 65'536u);
    EXPECT_EQ(qvx::analog::DefaultSpectrumNfft(9 * 1024 / 2), 1024u);
    EXPECT_EQ(qvx::analog::DefaultSpectrumNfft(9 * 1024 / 2 - 1), 512u);
    EXPECT_EQ(qvx::analog::DefaultSpectrumNfft(10), 256u);
}

// The tone moves from bin 40 to bin 200 halfway: the spectrogram's columns show each in its
// half; there are never more columns than the limit or the segments.
TEST(ReportSpectrum, SpectrogramFollowsTheToneInTime) {
    constexpr std::size_t kN = 512;
    constexpr std::uint64_t kCount = 64'000;
    OneFileReport report("spectrum_image", kCount, [](std::uint64_t i) {
        const double bin = i < kCount / 2 ? 40 : 200;
        return 8192 + 4000 * std::sin(2 * kPi * bin * static_cast<double>(i) / kN);
    });
    SpectrumRequest request = Request(kN, SpectrumWindow::kHann);
    request.columns = 10;
    const SpectrumResult r = ComputeSpectrum(report.Reader(), nullptr, SpectrumSettings(), request);
    ASSERT_EQ(r.status, SpectrumResult::Status::kDone);
    ASSERT_TRUE(r.spectrogram);
    const auto& image = *r.spectrogram;
    ASSERT_EQ(image.columns, 10u);
    ASSERT_EQ(image.rows, kN / 2 + 1);
    EXPECT_EQ(image.fromNs, 0);
    EXPECT_EQ(image.toNs, static_cast<std::int64_t>(kCount - 1) * 100 + 10);  // a tick after the last
    for (std::size_t c = 0; c < image.columns; ++c) {
        if (c == 4 || c == 5) continue;  // may hold segments across the change
        std::size_t loudest = 0;
        for (std::size_t row = 1; row < image.rows; ++row)
            if (image.At(c, row) > image.At(c, loudest)) loudest = row;
        EXPECT_EQ(loudest, c < 5 ? 40u : 200u) << "column " << c;
    }

    request.columns = 5000;
    request.nfft = 256;
    const SpectrumResult wide = ComputeSpectrum(report.Reader(), nullptr, SpectrumSettings(), request);
    ASSERT_TRUE(wide.spectrogram);
    const std::uint64_t segments = (kCount - 256) / 128 + 1;
    EXPECT_EQ(wide.segments, segments);
    EXPECT_EQ(wide.spectrogram->columns, segments);
    // One segment per column: none is left empty.
    for (float v : wide.spectrogram->dbv) ASSERT_FALSE(std::isnan(v));
    EXPECT_EQ(wide.spectrogram->dbv.size(), wide.spectrogram->columns * wide.spectrogram->rows);
    // Segments are transformed in pairs, as the real and the imaginary part of one input:
    // each column still holds its own segment's levels, the last segment (odd, alone) too.
    // A tone whose amplitude grows gives every segment levels of its own.
    constexpr std::uint64_t kRampCount = 5120;  // 39 segments of 256
    OneFileReport ramp("spectrum_image_ramp", kRampCount, [](std::uint64_t i) {
        const auto x = static_cast<double>(i);
        return 8192 + (500 + 1.2 * x) * std::sin(2 * kPi * 20 * x / 256);
    });
    request.columns = 39;
    const SpectrumResult each = ComputeSpectrum(ramp.Reader(), nullptr, SpectrumSettings(), request);
    ASSERT_TRUE(each.spectrogram);
    ASSERT_EQ(each.spectrogram->columns, 39u);
    const std::vector<double> w = qvx::analog::SpectrumWindowValues(SpectrumWindow::kHann, 256);
    const double windowSum = std::accumulate(w.begin(), w.end(), 0.0);
    for (const std::uint64_t s : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{37}, std::uint64_t{38}}) {
        for (const std::size_t bin : {19, 20, 21}) {
            const double power = DirectSegmentPower(ramp, SpectrumSettings(), s, w, bin, true);
            SCOPED_TRACE(testing::Message() << "segment " << s << ", bin " << bin);
            EXPECT_NEAR(each.spectrogram->At(s, bin), 10 * std::log10(2 * power / (windowSum * windowSum)),
                        0.01);
        }
    }
}

// The records are read on a thread of their own that runs a few chunks ahead: a cancel from
// the progress call-back stops it (also when it waits for a free chunk), and the progress
// counts every record of a finished computation on the calling thread.
TEST(ReportSpectrum, ProgressCountsTheRecordsAndACancelStopsTheReading) {
    constexpr std::uint64_t kCount = 2'000'000;  // 8 chunks of 262,144 records
    OneFileReport report("spectrum_cancel", kCount, [](std::uint64_t i) { return 8192 + (i * 7919) % 1000; });
    const auto caller = std::this_thread::get_id();
    std::uint64_t calls = 0, last = 0;
    SpectrumResult r =
        ComputeSpectrum(report.Reader(), nullptr, SpectrumSettings(), Request(4096, SpectrumWindow::kHann),
                        [&](std::uint64_t done, std::uint64_t total) {
                            EXPECT_EQ(std::this_thread::get_id(), caller);
                            EXPECT_EQ(total, kCount);
                            EXPECT_GT(done, last);
                            last = done;
                            ++calls;
                            return true;
                        });
    EXPECT_EQ(r.status, SpectrumResult::Status::kDone);
    EXPECT_EQ(last, kCount);
    EXPECT_EQ(calls, 8u);

    calls = 0;
    r = ComputeSpectrum(report.Reader(), nullptr, SpectrumSettings(), Request(4096, SpectrumWindow::kHann),
                        [&](std::uint64_t, std::uint64_t) {
                            ++calls;
                            return false;
                        });
    EXPECT_EQ(r.status, SpectrumResult::Status::kCancelled);
    EXPECT_EQ(calls, 1u);
    // The reader serves the next computation as before.
    EXPECT_EQ(
        ComputeSpectrum(report.Reader(), nullptr, SpectrumSettings(), Request(4096, SpectrumWindow::kHann))
            .status,
        SpectrumResult::Status::kDone);
}

}  // namespace
