#include "QV+AnalogCore/Analysis/SpectrumFigures.h"

#include <algorithm>
#include <cmath>

namespace qvx::analog {

namespace {

constexpr int kLastHarmonic = 10;

double Db(double powerRatio) {
    return 10 * std::log10(powerRatio);
}

// Offset (0 .. 0.5 bins) of a tone from its peak bin towards the larger neighbour, from the
// ratio of their amplitudes: the window's response falls from the peak bin and rises towards
// the neighbour as the tone moves between them, so their ratio grows monotonically.
double OffsetFromRatio(SpectrumWindow window, std::size_t nfft, double ratio) {
    double low = 0, high = 0.5;
    for (int i = 0; i < 50; ++i) {
        const double mid = (low + high) / 2;
        const double r = SpectrumWindowGain(window, nfft, 1 - mid) / SpectrumWindowGain(window, nfft, mid);
        (r < ratio ? low : high) = mid;
    }
    return (low + high) / 2;
}

SpectrumPeak RefinePeak(std::span<const double> power, std::size_t bin, std::size_t nfft, double binHz,
                        SpectrumWindow window) {
    SpectrumPeak peak;
    peak.bin = bin;
    const double left = bin > 0 ? power[bin - 1] : 0.0;
    const double right = bin + 1 < power.size() ? power[bin + 1] : 0.0;
    const double side = right >= left ? 1.0 : -1.0;
    const double ratio = power[bin] > 0 ? std::sqrt(std::max(left, right) / power[bin]) : 0.0;
    const double offset = OffsetFromRatio(window, nfft, std::min(ratio, 1.0));
    peak.frequencyHz = (static_cast<double>(bin) + side * offset) * binHz;
    peak.vrms = std::sqrt(power[bin]) / SpectrumWindowGain(window, nfft, offset);
    peak.dbv = 20 * std::log10(peak.vrms);
    return peak;
}

// Local maxima above DC, largest first, none within a main lobe of a larger one.
std::vector<std::size_t> PeakBins(std::span<const double> power, std::size_t lobe) {
    std::vector<std::size_t> candidates;
    for (std::size_t k = lobe + 1; k < power.size(); ++k) {
        const bool aboveLeft = power[k] >= power[k - 1];
        const bool aboveRight = k + 1 == power.size() || power[k] > power[k + 1];
        if (aboveLeft && aboveRight && power[k] > 0) candidates.push_back(k);
    }
    std::sort(candidates.begin(), candidates.end(),
              [&](std::size_t a, std::size_t b) { return power[a] > power[b]; });
    std::vector<std::size_t> chosen;
    for (std::size_t k : candidates) {
        const bool apart = std::none_of(chosen.begin(), chosen.end(),
                                        [&](std::size_t c) { return (k > c ? k - c : c - k) <= lobe; });
        if (apart) chosen.push_back(k);
        if (chosen.size() == SpectrumFigures::kMaxPeaks) break;
    }
    return chosen;
}

// Sums the bins center - lobe .. center + lobe not yet taken, and marks them taken.
double TakeTone(std::span<const double> power, std::vector<bool>& taken, std::size_t center,
                std::size_t lobe) {
    double sum = 0;
    const std::size_t first = center > lobe ? center - lobe : 0;
    const std::size_t last = std::min(center + lobe, power.size() - 1);
    for (std::size_t k = first; k <= last; ++k) {
        if (taken[k]) continue;
        taken[k] = true;
        sum += power[k];
    }
    return sum;
}

// The frequency of harmonic `h` of `f0` after sampling at `fs`: folded into 0 .. fs / 2.
double AliasedHz(double f0, int h, double fs) {
    const double f = std::fmod(f0 * h, fs);
    return f > fs / 2 ? fs - f : f;
}

}  // namespace

SpectrumFigures ComputeSpectrumFigures(std::span<const double> power, std::size_t nfft, double sampleRateHz,
                                       SpectrumWindow window) {
    SpectrumFigures out;
    if (power.size() < 3 || sampleRateHz <= 0) return out;
    const double binHz = sampleRateHz / static_cast<double>(nfft);
    const auto lobe = static_cast<std::size_t>(SpectrumWindowMainLobeBins(window));
    for (std::size_t bin : PeakBins(power, lobe))
        out.peaks.push_back(RefinePeak(power, bin, nfft, binHz, window));
    if (out.peaks.empty()) return out;

    const SpectrumPeak& fundamental = out.peaks.front();
    out.fundamentalHz = fundamental.frequencyHz;
    std::vector<bool> taken(power.size(), false);
    for (std::size_t k = 0; k <= std::min(lobe, power.size() - 1); ++k) taken[k] = true;  // DC
    const double signal = TakeTone(power, taken, fundamental.bin, lobe);
    double harmonics = 0;
    for (int h = 2; h <= kLastHarmonic; ++h) {
        const auto bin = static_cast<std::size_t>(
            std::llround(AliasedHz(fundamental.frequencyHz, h, sampleRateHz) / binHz));
        if (bin <= lobe || bin >= power.size()) continue;
        harmonics += TakeTone(power, taken, bin, lobe);
    }
    double noise = 0;
    for (std::size_t k = 0; k < power.size(); ++k)
        if (!taken[k]) noise += power[k];
    if (signal <= 0) return out;
    if (harmonics > 0) out.thdDb = Db(harmonics / signal);
    if (noise > 0) out.snrDb = Db(signal / noise);
    if (noise + harmonics > 0) {
        out.sinadDb = Db(signal / (noise + harmonics));
        out.enob = (*out.sinadDb - 1.76) / 6.02;
    }
    // The largest other peak, harmonic or spur, both amplitudes refined between bins.
    if (out.peaks.size() > 1) out.sfdrDb = fundamental.dbv - out.peaks[1].dbv;
    return out;
}

}  // namespace qvx::analog
