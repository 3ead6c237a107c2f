#pragma once
// Figures of an averaged power spectrum: the largest peaks, with their frequency refined
// between bins through the window's response, and the fundamental's THD, SNR, SINAD, SFDR
// and ENOB as IEEE Std 1241 defines them. A tone's power is the sum of the bins of its main
// lobe, k0 - L .. k0 + L (L from the window); DC is bins 0 .. L and never counts; noise is
// every bin that is neither DC, nor the fundamental, nor one of harmonics 2 to 10 (aliased
// harmonics fold back below half the sample rate). Plain functions, any thread.

#include "QV+AnalogCore/Analysis/SpectrumWindow.h"

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace qvx::analog {

struct SpectrumPeak {
    std::size_t bin = 0;     // the local maximum
    double frequencyHz = 0;  // refined between bins
    double vrms = 0;         // the tone's RMS, corrected for where it lies between bins
    double dbv = 0;          // 20 log10(vrms)
};

struct SpectrumFigures {
    std::vector<SpectrumPeak> peaks;  // largest first, at most kMaxPeaks
    // From the fundamental (the largest peak above DC); none without one.
    std::optional<double> fundamentalHz;
    std::optional<double> thdDb;  // harmonics 2 to 10 over the fundamental
    std::optional<double> snrDb;
    std::optional<double> sinadDb;
    std::optional<double> sfdrDb;  // fundamental over the largest other peak, dB
    std::optional<double> enob;    // (SINAD - 1.76) / 6.02

    static constexpr std::size_t kMaxPeaks = 10;
};

// `power`: N/2 + 1 bins of mean power per bin (V^2, one-sided), of segments of `nfft`
// records at `sampleRateHz` taken with `window`.
SpectrumFigures ComputeSpectrumFigures(std::span<const double> power, std::size_t nfft, double sampleRateHz,
                                       SpectrumWindow window);

}  // namespace qvx::analog
