#pragma once
// The stored-report analysis as the application runs it: the search of the display
// trigger pane behind the progress dialog, and the measurement pane's values computed on a
// worker thread of their own. Each reads the report folder through a reader of its own,
// so the GUI thread's reader (not thread-safe) is never shared.

#include "QV+AnalogCore/Analysis/ReportEventSearch.h"
#include "QV+AnalogCore/Analysis/ReportSpanMeasurement.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Presenters/Signal.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>

namespace qvx {
class ProgressToken;
class ReportDataReader;
class ReportOverview;
}  // namespace qvx

namespace qvx::analog {

enum class EventSearchKind { kNext, kPrevious, kAll };

struct EventSearchRequest {
    std::filesystem::path reportFolder;
    AnalogSettings settings;  // the display trigger's settings and the channels' ranges
    EventSearchKind kind = EventSearchKind::kNext;
    ReportEventSearch::Range range;
    std::int64_t cursorNs = 0;  // next: after it; previous: before it
    std::size_t maxHits = 0;    // find all
};

// Runs `request` on the calling thread (the progress dialog's worker), reporting through
// `token` (may be null; its cancel stops the search). A folder that cannot be opened gives
// kReadError.
ReportEventSearch::Result RunEventSearch(const EventSearchRequest& request, ProgressToken* token);

// The measurement pane's computation. GUI thread, except the job, which runs on a worker
// thread and hands its result back through the main dispatcher.
class QVxAnalogMeasurementJobs {
public:
    struct Request {
        std::filesystem::path reportFolder;
        AnalogSettings settings;
        std::int64_t fromNs = 0;
        std::int64_t toNs = 0;

        bool operator==(const Request&) const = default;
    };

    QVxAnalogMeasurementJobs();
    ~QVxAnalogMeasurementJobs();  // cancels a running job and waits for it
    QVxAnalogMeasurementJobs(const QVxAnalogMeasurementJobs&) = delete;
    QVxAnalogMeasurementJobs& operator=(const QVxAnalogMeasurementJobs&) = delete;

    // Emitted on the GUI thread when a result arrived or the busy state changed.
    Signal<> Changed;

    // Measures `request` unless it equals the last one; a running job for an older
    // request is cancelled and this one follows it.
    void Measure(const Request& request);
    // Forgets the result and the report (e.g. another session was opened).
    void Clear();

    bool IsBusy() const { return m_worker.joinable(); }
    const std::optional<SpanMeasurement>& GetResult() const { return m_result; }

private:
    void Start(const Request& request);
    void OnFinished(const SpanMeasurement& result);  // GUI thread

    std::optional<Request> m_last;     // the request of the result shown or being computed
    std::optional<Request> m_pending;  // waiting for the running job to stop
    std::optional<SpanMeasurement> m_result;
    std::thread m_worker;
    std::atomic<bool> m_cancel{false};
    // The worker's reader and overview, for the folder they were opened for; used by one
    // job at a time (each job is joined before the next starts).
    struct WorkerReport;
    std::shared_ptr<WorkerReport> m_report;
    std::shared_ptr<QVxAnalogMeasurementJobs*> m_alive;
};

}  // namespace qvx::analog
