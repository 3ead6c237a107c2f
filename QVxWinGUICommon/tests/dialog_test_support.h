#pragma once
// A waveform presenter without data for the dialog tests and screenshots: four
// named tracks, analog usage, no records.

#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Presenters/WaveformPresenter.h"

#include <string>

namespace qvx::test {

class EmptyWaveformPresenter : public WaveformPresenter {
public:
    explicit EmptyWaveformPresenter(WaveformVisualSettings* settings,
                                    WaveformUsage usage = WaveformUsage::kAnalog)
        : WaveformPresenter(settings, {}, usage) {}
    void OnLoadData(std::int64_t, std::int64_t) override {}
    bool OnReadData(int, std::int64_t, qvx::WaveformReadMode, std::int64_t*) override { return false; }
    std::string OnMakeDisplayValue(int, std::int64_t raw) override { return std::to_string(raw); }
    std::string OnMakeDisplayNormalizedValue(int, double x) override { return std::to_string(x); }
    double OnGetDisplayTriggerPosition() override { return 0.5; }
};

}  // namespace qvx::test
