#pragma once
// What the pictures of a spectrum share, in the window and in the command line's PNG: the
// ticks of the axes, the frequency at a height of a linear or logarithmic axis and the
// colours of the spectrogram's levels. Plain functions, any thread.

#include "QV+AnalogCore/Analysis/ReportSpectrum.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qvx::analog {

// Round values (1, 2 or 5 x 10^n) from `low` to `high`, about `count` of them.
std::vector<double> LinearTicks(double low, double high, int count);
// Powers of ten from `low` to `high` (both > 0).
std::vector<double> DecadeTicks(double low, double high);

// "1.5 kHz", "20 Hz", "3 MHz".
std::string FrequencyText(double hz);

// The frequency axis of a picture: 0 .. fs/2, or from the first bin above DC to fs/2 when
// logarithmic. `fraction` 0 is the bottom, 1 the top.
struct FrequencyAxis {
    double lowHz = 0;
    double highHz = 1;
    bool logarithmic = false;

    static FrequencyAxis Of(const SpectrumResult& result, bool logarithmic);
    double HzAt(double fraction) const;
    double FractionOf(double hz) const;  // may lie outside 0 .. 1
};

// Red, green, blue of level `fraction` (0 = the lowest shown, 1 = the highest): dark blue
// through purple, red and orange to pale yellow.
std::array<std::uint8_t, 3> SpectrogramColor(double fraction);

// The dBV range the spectrogram's colours span: from the largest level down by at most
// `depthDb`, no lower than the smallest level. {0, 1} without any level.
std::array<double, 2> SpectrogramLevelRange(const Spectrogram& image, double depthDb = 120);

}  // namespace qvx::analog
