#pragma once
// The window functions of the spectrum: rectangular, Hann, 4-term Blackman-Harris (-92 dB)
// and 5-term flat-top, each periodic (DFT-even: w[n] = sum_k (-1)^k a_k cos(2 pi k n / N),
// n = 0 .. N-1), with the coefficients scipy.signal.get_window uses for "boxcar", "hann",
// "blackmanharris" and "flattop". Plain functions, callable from any thread.

#include <complex>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace qvx::analog {

enum class SpectrumWindow { kRectangular, kHann, kBlackmanHarris, kFlatTop };

// "rect", "hann", "blackman-harris", "flattop": the names the command line takes.
std::string_view SpectrumWindowName(SpectrumWindow window);
std::optional<SpectrumWindow> SpectrumWindowFromName(std::string_view name);

// The cosine coefficients a_k of the window.
std::span<const double> SpectrumWindowCoefficients(SpectrumWindow window);

// The N values of the periodic window.
std::vector<double> SpectrumWindowValues(SpectrumWindow window, std::size_t n);

// Half width L of the main lobe in bins: a tone's power is the sum of bins k0 - L .. k0 + L.
// 1 (rectangular), 2 (Hann), 4 (Blackman-Harris), 5 (flat-top).
int SpectrumWindowMainLobeBins(SpectrumWindow window);

// |W(delta)| / |W(0)|: the window's response to a tone `delta` bins (any real number) from
// a bin, for N points; exact for the periodic cosine-sum windows (sum of Dirichlet kernels).
double SpectrumWindowGain(SpectrumWindow window, std::size_t n, double delta);

}  // namespace qvx::analog
