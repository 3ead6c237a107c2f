#pragma once
// Helpers of the waveform tests: a log capture and a presenter whose record
// loading and reading are recorded instead of coming from a report.

#include "QVxCore/Presenters/WaveformPresenter.h"
#include "QVxCore/WaveformVisualSettings.h"
#include "QVxCore/tests/support/LogCapture.h"

#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace qvx::test {

inline WaveformVisualSettings FourTrackSettings(std::int64_t timeScale) {
    WaveformVisualSettings s;
    s.tracks.resize(4);
    s.timeScale = timeScale;
    return s;
}

// OnLoadData records its ranges and, when asked, files one point per column
// centre of the requested range; OnReadData answers time / 10 + channel.
class RecordingPresenter : public WaveformPresenter {
public:
    explicit RecordingPresenter(WaveformVisualSettings* settings) : WaveformPresenter(settings) {}

    std::vector<std::pair<std::int64_t, std::int64_t>> loads;
    bool fillOnLoad = false;

    void OnLoadData(std::int64_t begin, std::int64_t end) override {
        loads.emplace_back(begin, end);
        if (!fillOnLoad) return;
        WriteBatch batch(*this);
        const std::int64_t tpp = GetWritingRenderData().GetTimeParPixel();
        for (std::int64_t t = begin - begin % tpp + tpp / 2; t < end; t += tpp) {
            const std::int64_t v[4] = {t / tpp, -(t / tpp), 0, 1};
            batch.RenderData().AddPoints(t, v);
        }
    }
    bool OnReadData(int channel, std::int64_t time, WaveformReadMode, std::int64_t* out) override {
        if (time > lastReadable) return false;
        *out = time / 10 + channel;
        return true;
    }
    std::string OnMakeDisplayValue(int, std::int64_t raw) override { return std::to_string(raw); }
    std::string OnMakeDisplayNormalizedValue(int, double x) override { return std::to_string(x); }
    double OnGetDisplayTriggerPosition() override { return 0.5; }

    std::int64_t lastReadable = INT64_MAX;

    using WaveformPresenter::WritingRenderData;
};

}  // namespace qvx::test
