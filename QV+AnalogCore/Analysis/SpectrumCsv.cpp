#include "QV+AnalogCore/Analysis/SpectrumCsv.h"

#include "QV+AnalogCore/Analysis/ReportSpectrum.h"
#include "QV+AnalogCore/Export/QVxCsvFileWriter.h"

#include <fmt/format.h>

#include <cmath>

namespace qvx::analog {

bool WriteSpectrumCsv(const SpectrumResult& result, const std::filesystem::path& path) {
    QVxCsvFileWriter out;
    if (!out.Open(path)) return false;
    out.Append("frequency_Hz,vrms_V,dBV,psd_V2_per_Hz\n");
    for (std::size_t k = 0; k < result.power.size(); ++k) {
        const double dbv = result.Dbv(k);
        // An empty dBV cell for a bin without power (its level is minus infinity).
        out.Append(std::isfinite(dbv) ? fmt::format("{:.9g},{:.9g},{:.6f},{:.9g}\n", result.FrequencyHz(k),
                                                    result.Vrms(k), dbv, result.Psd(k))
                                      : fmt::format("{:.9g},0,,0\n", result.FrequencyHz(k)));
        if (!out.FlushIfFull()) break;
    }
    return out.Close();
}

}  // namespace qvx::analog
