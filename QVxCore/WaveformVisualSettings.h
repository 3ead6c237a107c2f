#pragma once
// Visual settings of the waveform view: one entry per track, the two markers, the
// time axis. The same definitions serve the program and the GUI library.
// Member names are the keys of the session settings file.

#include "QVxCore/AnalogSettingsCodes.h"
#include "QVxCore/Color.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qvx {

struct WaveformTrackVisualSettings {
    static constexpr std::uint32_t kClassVersion = 5;

    bool enabled = true;                                    // track shown (saved from version 3)
    std::wstring name;                                      // track label, saved as UTF-8
    Color backgroundColor = Color::FromRgba32(0x00FFFFFF);  // white with alpha 0: the style's colour
    Color lineColor = Color::FromRgba32(0xFFFF00FF);        // #FFFF00FF
    double verticalScaling = 1.0;                           // vertical zoom (saved from version 5)
    double verticalResolutionOffset = 0.0;                  // offset as a fraction of the value range (4)
    std::int32_t probeAttenuationRatio = 1;                 // probe index: 0 = x1, 1 = x10 (2)

    friend bool operator==(const WaveformTrackVisualSettings&, const WaveformTrackVisualSettings&) = default;
};

struct WaveformMarkerVisualSettings {
    static constexpr std::uint32_t kClassVersion = 1;

    bool enabled = false;
    std::int64_t time = 0;              // ns from the start of the recording
    Color color = Color(0, 0, 0, 255);  // #FF000000

    friend bool operator==(const WaveformMarkerVisualSettings&,
                           const WaveformMarkerVisualSettings&) = default;
};

struct WaveformVisualSettings {
    static constexpr std::uint32_t kClassVersion = 4;
    static constexpr std::size_t kMarkerCount = 2;

    std::vector<WaveformTrackVisualSettings> tracks;                 // one per channel
    std::array<WaveformMarkerVisualSettings, kMarkerCount> markers;  // M1, M2 (saved from version 1)
    // Working list of the views, copied with the settings but never saved.
    std::vector<std::int64_t> internalList;
    TimeDisplayUnit timeUnit = TimeDisplayUnit::kMilliSecond;  // (saved from version 2)
    std::int64_t timeScale = 1'000'000;                        // ns per pixel (saved from version 3)
    std::int32_t labelAreaWidth = 250;  // track label area in pixels (saved from version 4)

    friend bool operator==(const WaveformVisualSettings&, const WaveformVisualSettings&) = default;
};

}  // namespace qvx
