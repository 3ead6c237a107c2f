#pragma once
// A session with a generated report and the two owner interfaces the list models
// and the oscillograph view model need, for the list tests.

#include "QV+AnalogCore/Presenters/IQVxAnalogListOwner.h"
#include "QV+AnalogCore/Presenters/IQVxAnalogOscilloGraphOwner.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/tests/support/ReportBuilder.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

namespace qvx::test {

class ListOwner : public IQVxAnalogListOwner, public IQVxAnalogOscilloGraphOwner {
public:
    // A draft session in `folder` whose four channels show the 500 mV range (x1
    // probe), so that a sample of 12288 reads "250.0mV".
    explicit ListOwner(const std::filesystem::path& folder) : session(std::make_unique<AnalogSession>()) {
        std::filesystem::create_directories(folder);
        session->NewInternal(folder);
        AnalogSettings& settings = session->GetSettings();
        settings.visualSettings.tracks.resize(AnalogSettings::kChannelCount);
        for (int c = 0; c < AnalogSettings::kChannelCount; ++c) {
            settings.channelVoltages[static_cast<std::size_t>(c)] = 2;
            settings.visualSettings.tracks[static_cast<std::size_t>(c)].probeAttenuationRatio = 0;
        }
    }

    // Opens the report written into the session's "repo" and creates the graph view model.
    bool OpenReport() {
        if (!session->OpenReportData(nullptr)) return false;
        graph = std::make_unique<QVxAnalogOscilloGraphViewModel>(this);
        return true;
    }

    AnalogSession* GetCurrentSession() const override { return session.get(); }
    QVxAnalogOscilloGraphViewModel* GetCurrentOscilloGraphViewModel() const override { return graph.get(); }
    AnalogSettings* GetSessionSettings() const override {
        return session ? &session->GetSettings() : nullptr;
    }
    bool IsDarkLook() const override { return false; }
    std::optional<std::int64_t> GetClockTimeOrigin() const override { return clockOrigin; }

    std::unique_ptr<AnalogSession> session;
    std::optional<std::int64_t> clockOrigin;  // set: the lists show clock times
    std::unique_ptr<QVxAnalogOscilloGraphViewModel> graph;
};

inline std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::size_t CountLines(const std::string& text) {
    std::size_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

// A different range and probe per channel; CH4 hidden and named in Japanese; 10M samples/s.
inline void UseMixedChannelSettings(AnalogSettings& settings) {
    const int ranges[] = {0, 5, 2, 5};
    const int probes[] = {0, 0, 1, 1};
    for (std::size_t c = 0; c < 4; ++c) {
        settings.channelVoltages[c] = ranges[c];
        settings.visualSettings.tracks[c].probeAttenuationRatio = probes[c];
    }
    settings.visualSettings.tracks[3].enabled = false;
    settings.visualSettings.tracks[3].name = L"ポンプ電流";
    settings.samplingFrequency = 2;
}

}  // namespace qvx::test
