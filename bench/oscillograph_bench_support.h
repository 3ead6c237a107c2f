#pragma once
// What the waveform benchmarks share: an owner that hands the oscillograph view model its
// settings, and a stored-data window of `columns` centred on one time.

#include "QV+AnalogCore/Presenters/IQVxAnalogOscilloGraphOwner.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/ReportData/ReportData.h"

#include <cstdint>

namespace qvx::bench {

class OscilloGraphOwner : public IQVxAnalogOscilloGraphOwner {
public:
    qvx::AnalogSettings settings;
    qvx::AnalogSettings* GetSessionSettings() const override {
        return const_cast<qvx::AnalogSettings*>(&settings);
    }
    bool IsDarkLook() const override { return false; }
};

// Binds `vm` to `reader` with `columns` columns of `tpp` ns, centred on `middleNs` (ns since
// the start), with the cursor there; the window is settled (clamped to the data).
inline void CentreStoredWindow(QVxAnalogOscilloGraphViewModel& vm, const qvx::ReportDataReaderPtr& reader,
                               std::int64_t columns, std::int64_t tpp, std::int64_t middleNs) {
    vm.ResetViewportWidth(columns);
    vm.SetupForStoredData(reader);
    vm.SetViewportBeginTimeOffset(middleNs - columns / 2 * tpp);
    vm.UpdateCursorTime(middleNs);
    vm.ResetViewportScale(tpp);
}

}  // namespace qvx::bench
