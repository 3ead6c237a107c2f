#pragma once
// The CSV of a spectrum: a title row, then per bin its frequency (Hz), level (V RMS, dBV)
// and power spectral density (V^2/Hz). Written through QVxCsvFileWriter, so the file
// replaces the target only when complete. The calling thread (a worker or the command).

#include <filesystem>

namespace qvx::analog {

struct SpectrumResult;

// False (logged) when the file cannot be written.
bool WriteSpectrumCsv(const SpectrumResult& result, const std::filesystem::path& path);

}  // namespace qvx::analog
