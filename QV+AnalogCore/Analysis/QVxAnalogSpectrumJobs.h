#pragma once
// The spectrum pane's computation: the averaged spectrum (and, when asked, the spectrogram)
// of one channel over a span, on a worker thread of its own with a report reader of its
// own, so the GUI thread's reader (not thread-safe) is never shared. GUI thread, except the
// job, which runs on the worker and hands its result back through the main dispatcher.

#include "QV+AnalogCore/Analysis/ReportSpectrum.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Presenters/Signal.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>

namespace qvx::analog {

class QVxAnalogSpectrumJobs {
public:
    struct Request {
        std::filesystem::path reportFolder;
        AnalogSettings settings;  // the channels' ranges, probes and which are on
        SpectrumRequest spectrum;

        bool operator==(const Request&) const = default;
    };

    QVxAnalogSpectrumJobs();
    ~QVxAnalogSpectrumJobs();  // cancels a running job and waits for it
    QVxAnalogSpectrumJobs(const QVxAnalogSpectrumJobs&) = delete;
    QVxAnalogSpectrumJobs& operator=(const QVxAnalogSpectrumJobs&) = delete;

    // Emitted on the GUI thread when a result arrived or the busy state changed.
    Signal<> Changed;

    // Computes `request` unless it equals the last one; a running job for an older request
    // is cancelled and this one follows it.
    void Compute(const Request& request);
    // Forgets the result and the report (e.g. another session was opened).
    void Clear();

    bool IsBusy() const { return m_worker.joinable(); }
    // The result of the last request, when it finished (refusals included).
    const std::shared_ptr<const SpectrumResult>& GetResult() const { return m_result; }

private:
    void Start(const Request& request);
    void OnFinished(std::shared_ptr<const SpectrumResult> result);  // GUI thread

    std::optional<Request> m_last;     // the request of the result shown or being computed
    std::optional<Request> m_pending;  // waiting for the running job to stop
    std::shared_ptr<const SpectrumResult> m_result;
    std::thread m_worker;
    std::atomic<bool> m_cancel{false};
    // The worker's reader and overview, for the folder they were opened for; used by one
    // job at a time (each job is joined before the next starts).
    struct WorkerReport;
    std::shared_ptr<WorkerReport> m_report;
    std::shared_ptr<QVxAnalogSpectrumJobs*> m_alive;
};

}  // namespace qvx::analog
