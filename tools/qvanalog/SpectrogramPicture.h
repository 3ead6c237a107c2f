#pragma once
// The spectrogram as a PNG: time across, frequency up (linear or logarithmic), colour for
// dBV, with labelled axes and a colour scale. Drawn with Qt Gui on the offscreen platform
// (a command line needs no display). The command's main thread.

#include <filesystem>

namespace qvx::analog {
struct SpectrumResult;
}

namespace qvanalog {

// Writes the picture of `result.spectrogram` to `path`, replacing it only when complete.
// False (logged) on failure.
bool WriteSpectrogramPng(const qvx::analog::SpectrumResult& result, bool logFrequency,
                         const std::filesystem::path& path);

}  // namespace qvanalog
