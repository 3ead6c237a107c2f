#pragma once
// A waveform presenter for the monitor window tests: a recording made up in
// memory, with a record every 100 ns and fixed centred values per channel. It
// behaves towards the window like an application's presenter (analog usage,
// tracks on the centred 14-bit scale) without any report file. GUI thread only.

#include "QVxCore/Presenters/WaveformPresenter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace qvx::test {

class TestWaveformPresenter : public WaveformPresenter {
public:
    static constexpr std::int64_t kRecordSpacingNs = 100;
    static constexpr std::int64_t kRangeLow = -8192;
    static constexpr std::int64_t kRangeHigh = 8192;
    // Centred values of CH1..CH4 in every record.
    static constexpr std::array<std::int64_t, kTrackCount> kValues{4096, -4096, 0, 0};

    explicit TestWaveformPresenter(WaveformVisualSettings* visualSettings)
        : WaveformPresenter(visualSettings, {}, WaveformUsage::kAnalog) {
        for (std::size_t i = 0; i < TrackCount(); ++i) {
            Track(i).SetPlacementMode(qvx::waveform::TrackPlacement::kCentred);
            Track(i).SetRange(kRangeLow, kRangeHigh);
        }
    }

    // Shows a stored recording of `records` records from time 0.
    void SetupForRecords(std::int64_t records) {
        m_records = records;
        UpdateLastTime(LastTime());
        SetupForStoredData();
    }

    // Every record of [beginTime, endTime] ns plus one on each side.
    void OnLoadData(std::int64_t beginTime, std::int64_t endTime) override {
        if (m_records <= 0) return;
        const std::int64_t first = std::max<std::int64_t>(0, beginTime / kRecordSpacingNs - 1);
        const std::int64_t last = std::min(m_records - 1, endTime / kRecordSpacingNs + 1);
        WriteBatch batch(*this);
        for (std::int64_t i = first; i <= last; ++i)
            batch.RenderData().AddPoints(i * kRecordSpacingNs, kValues);
    }
    bool OnReadData(int channel, std::int64_t time, qvx::WaveformReadMode, std::int64_t* outValue) override {
        if (m_records <= 0 || time < 0 || channel < 0 || channel >= kTrackCount) return false;
        *outValue = kValues[static_cast<std::size_t>(channel)];
        return true;
    }
    std::string OnMakeDisplayValue(int, std::int64_t rawValue) override { return std::to_string(rawValue); }
    std::string OnMakeDisplayNormalizedValue(int, double value) override { return std::to_string(value); }
    double OnGetDisplayTriggerPosition() override { return 0.5; }
    std::optional<std::int64_t> OnGetClockOrigin() const override { return clockOrigin; }

    // The clock time of time 0 (ns since 1970) while the view shows clock time.
    std::optional<std::int64_t> clockOrigin;

private:
    std::int64_t LastTime() const { return (m_records - 1) * kRecordSpacingNs; }

    std::int64_t m_records = 0;
};

}  // namespace qvx::test
