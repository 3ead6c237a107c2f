#include "QV+AnalogCore/Analysis/SpectrumPlotSupport.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace qvx::analog {

std::vector<double> LinearTicks(double low, double high, int count) {
    std::vector<double> ticks;
    if (!(high > low) || count < 1) return ticks;
    const double rough = (high - low) / count;
    const double magnitude = std::pow(10, std::floor(std::log10(rough)));
    double step = magnitude;
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * magnitude;
        if (step >= rough) break;
    }
    for (double t = std::ceil(low / step) * step; t <= high + step * 1e-9; t += step)
        ticks.push_back(std::abs(t) < step * 1e-9 ? 0.0 : t);
    return ticks;
}

std::vector<double> DecadeTicks(double low, double high) {
    std::vector<double> ticks;
    if (!(low > 0) || !(high > low)) return ticks;
    for (double t = std::pow(10, std::ceil(std::log10(low) - 1e-9)); t <= high * (1 + 1e-9); t *= 10)
        ticks.push_back(t);
    return ticks;
}

std::string FrequencyText(double hz) {
    const double a = std::abs(hz);
    if (a >= 1e6) return fmt::format("{:g} MHz", hz / 1e6);
    if (a >= 1e3) return fmt::format("{:g} kHz", hz / 1e3);
    return fmt::format("{:g} Hz", hz);
}

FrequencyAxis FrequencyAxis::Of(const SpectrumResult& result, bool logarithmic) {
    FrequencyAxis axis;
    axis.logarithmic = logarithmic;
    axis.highHz = std::max(result.sampleRateHz / 2, 1e-9);
    axis.lowHz = logarithmic ? std::max(result.FrequencyHz(1), axis.highHz * 1e-9) : 0.0;
    return axis;
}

double FrequencyAxis::HzAt(double fraction) const {
    if (logarithmic) return lowHz * std::pow(highHz / lowHz, fraction);
    return lowHz + (highHz - lowHz) * fraction;
}

double FrequencyAxis::FractionOf(double hz) const {
    if (logarithmic) return hz > 0 ? std::log(hz / lowHz) / std::log(highHz / lowHz) : -1.0;
    return (hz - lowHz) / (highHz - lowHz);
}

std::array<std::uint8_t, 3> SpectrogramColor(double fraction) {
    // Control points, evenly spaced from 0 to 1.
    static constexpr std::array<std::array<double, 3>, 6> kStops{
        {{0, 0, 4}, {40, 11, 84}, {101, 21, 110}, {187, 55, 84}, {249, 142, 9}, {252, 255, 164}}};
    const double f = std::clamp(std::isnan(fraction) ? 0.0 : fraction, 0.0, 1.0) * (kStops.size() - 1);
    const auto i = std::min(static_cast<std::size_t>(f), kStops.size() - 2);
    const double w = f - static_cast<double>(i);
    std::array<std::uint8_t, 3> rgb{};
    for (std::size_t c = 0; c < 3; ++c)
        rgb[c] = static_cast<std::uint8_t>(std::lround(kStops[i][c] * (1 - w) + kStops[i + 1][c] * w));
    return rgb;
}

std::array<double, 2> SpectrogramLevelRange(const Spectrogram& image, double depthDb) {
    double low = INFINITY, high = -INFINITY;
    for (float v : image.dbv) {
        if (!std::isfinite(v)) continue;
        low = std::min<double>(low, v);
        high = std::max<double>(high, v);
    }
    if (!std::isfinite(low)) return {0, 1};
    low = std::max(low, high - depthDb);
    if (high - low < 1) low = high - 1;
    return {low, high};
}

}  // namespace qvx::analog
