#pragma once
// A monitor window on a stored recording without the main frame, for pictures and reports
// made from the command line: the oscillograph view model on the report's reader with the
// session's settings, and the GUI library's monitor window bound to it, laid out at a
// given size and never shown. Records are loaded on the calling thread (the GUI thread,
// which owns the reader), from the overview where there is one. GUI thread only.

#include "QV+AnalogCore/Presenters/IQVxAnalogOscilloGraphOwner.h"

#include <QSize>

#include <cstdint>
#include <memory>

class CQVxWaveformMonitorWnd;
class QVxAnalogOscilloGraphViewModel;

namespace qvx {
class AnalogSettings;
class ReportDataReader;
}  // namespace qvx

class QVxRecordingView : private IQVxAnalogOscilloGraphOwner {
public:
    // `settings` (the session's, or defaults for a bare report folder) must outlive the
    // view; its visual settings follow the window (time scale, markers).
    QVxRecordingView(std::shared_ptr<qvx::ReportDataReader> reader, qvx::AnalogSettings& settings, bool dark,
                     QSize size);
    ~QVxRecordingView() override;
    QVxRecordingView(const QVxRecordingView&) = delete;
    QVxRecordingView& operator=(const QVxRecordingView&) = delete;

    // Shows [fromNs, toNs) (ns from the recording's start) across the waveform's columns.
    void ShowSpan(std::int64_t fromNs, std::int64_t toNs);
    // Shows the whole recording, zoomed out to fit.
    void ShowWhole();
    // Sets M1 and M2 (ns) and switches both on.
    void SetMarkers(std::int64_t m1Ns, std::int64_t m2Ns);

    CQVxWaveformMonitorWnd& Window() { return *m_window; }
    QVxAnalogOscilloGraphViewModel& Presenter() { return *m_presenter; }
    // The recording's last record time in ns.
    std::int64_t LastTimeNs() const;

private:
    qvx::AnalogSettings* GetSessionSettings() const override { return &m_settings; }
    bool IsDarkLook() const override { return m_dark; }
    int WaveformColumns() const;

    qvx::AnalogSettings& m_settings;
    bool m_dark;
    std::unique_ptr<QVxAnalogOscilloGraphViewModel> m_presenter;
    std::unique_ptr<CQVxWaveformMonitorWnd> m_window;
};
