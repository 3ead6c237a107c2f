#include "QV+AnalogCore/Analysis/SpectrumWindow.h"

#include <array>
#include <cmath>
#include <numbers>

namespace qvx::analog {

namespace {

constexpr std::array<double, 1> kRectangular{1.0};
constexpr std::array<double, 2> kHann{0.5, 0.5};
constexpr std::array<double, 4> kBlackmanHarris{0.35875, 0.48829, 0.14128, 0.01168};
constexpr std::array<double, 5> kFlatTop{0.21557895, 0.41663158, 0.277263158, 0.083578947, 0.006947368};

struct NamedWindow {
    SpectrumWindow window;
    std::string_view name;
};
constexpr std::array<NamedWindow, 4> kNames{{{SpectrumWindow::kRectangular, "rect"},
                                             {SpectrumWindow::kHann, "hann"},
                                             {SpectrumWindow::kBlackmanHarris, "blackman-harris"},
                                             {SpectrumWindow::kFlatTop, "flattop"}}};

// sum_{n=0}^{N-1} exp(-2 pi i x n / N): the DTFT of N ones at x bins.
std::complex<double> Dirichlet(std::size_t n, double x) {
    const double nd = static_cast<double>(n);
    const double s = std::sin(std::numbers::pi * x / nd);
    const double nearestWhole = std::round(x);
    // At whole multiples of N the sum is N; at other whole numbers it is 0.
    if (std::abs(s) < 1e-15) return {std::fmod(std::abs(nearestWhole), nd) == 0 ? nd : 0.0, 0.0};
    const double magnitude = std::sin(std::numbers::pi * x) / s;
    const double phase = -std::numbers::pi * x * (nd - 1) / nd;
    return std::polar(magnitude, phase);
}

std::complex<double> Response(SpectrumWindow window, std::size_t n, double delta) {
    const auto a = SpectrumWindowCoefficients(window);
    std::complex<double> sum = a[0] * Dirichlet(n, delta);
    double sign = -1;
    for (std::size_t k = 1; k < a.size(); ++k, sign = -sign) {
        const double kd = static_cast<double>(k);
        sum += sign * a[k] / 2 * (Dirichlet(n, delta - kd) + Dirichlet(n, delta + kd));
    }
    return sum;
}

}  // namespace

std::string_view SpectrumWindowName(SpectrumWindow window) {
    for (const auto& named : kNames)
        if (named.window == window) return named.name;
    return kNames.front().name;
}

std::optional<SpectrumWindow> SpectrumWindowFromName(std::string_view name) {
    for (const auto& named : kNames)
        if (named.name == name) return named.window;
    return std::nullopt;
}

std::span<const double> SpectrumWindowCoefficients(SpectrumWindow window) {
    switch (window) {
        case SpectrumWindow::kRectangular:
            return kRectangular;
        case SpectrumWindow::kHann:
            return kHann;
        case SpectrumWindow::kBlackmanHarris:
            return kBlackmanHarris;
        case SpectrumWindow::kFlatTop:
            break;
    }
    return kFlatTop;
}

std::vector<double> SpectrumWindowValues(SpectrumWindow window, std::size_t n) {
    const auto a = SpectrumWindowCoefficients(window);
    std::vector<double> values(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double phase = 2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n);
        double w = 0, sign = 1;
        for (std::size_t k = 0; k < a.size(); ++k, sign = -sign)
            w += sign * a[k] * std::cos(phase * static_cast<double>(k));
        values[i] = w;
    }
    return values;
}

int SpectrumWindowMainLobeBins(SpectrumWindow window) {
    switch (window) {
        case SpectrumWindow::kRectangular:
            return 1;
        case SpectrumWindow::kHann:
            return 2;
        case SpectrumWindow::kBlackmanHarris:
            return 4;
        case SpectrumWindow::kFlatTop:
            break;
    }
    return 5;
}

double SpectrumWindowGain(SpectrumWindow window, std::size_t n, double delta) {
    return std::abs(Response(window, n, delta)) / std::abs(Response(window, n, 0.0));
}

}  // namespace qvx::analog
