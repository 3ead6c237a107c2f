#pragma once
// The cycle pane's computation: every cycle of one channel of a stored report, measured on
// a worker thread of its own with a reader of its own (the GUI thread's reader is not
// thread-safe), its result handed back through the main dispatcher. A new request cancels
// the running one, which is followed by it. GUI thread, except the job and GetProgress.

#include "QV+AnalogCore/Analysis/ReportCycleMeasurement.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Presenters/Signal.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace qvx::analog {

class QVxAnalogCycleJobs {
public:
    struct Request {
        std::filesystem::path reportFolder;
        AnalogSettings settings;  // the channels' ranges and probes
        CycleRequest cycles;
    };

    // Every cycle is counted, judged and in the statistics; the list and the histogram keep
    // the first kMaxKeptCycles (88 bytes each, about 180 MB), so that a long recording of a
    // fast clock (an hour of 1 MHz is 3.6 G cycles) cannot exhaust the memory.
    static constexpr std::size_t kMaxKeptCycles = 2'000'000;

    struct Result {
        Request request;
        CycleResult result;
        std::vector<Cycle> cycles;  // the first kept cycles, in number order
    };

    QVxAnalogCycleJobs();
    ~QVxAnalogCycleJobs();  // cancels a running job and waits for it
    QVxAnalogCycleJobs(const QVxAnalogCycleJobs&) = delete;
    QVxAnalogCycleJobs& operator=(const QVxAnalogCycleJobs&) = delete;

    // Emitted on the GUI thread when a result arrived or the busy state changed.
    Signal<> Changed;

    void Measure(const Request& request);
    // Cancels the running job (its result is dropped); the last result stays.
    void Cancel();
    // Forgets the result (e.g. another session was opened) and cancels a running job.
    void Clear();

    // Another limit to the cycles kept for the next jobs (tests).
    void SetMaxKeptCycles(std::size_t count) { m_maxKept = count; }

    bool IsBusy() const { return m_worker.joinable(); }
    // (records done, records of the span) of the running job; any thread.
    std::pair<std::uint64_t, std::uint64_t> GetProgress() const { return {m_done.load(), m_total.load()}; }
    const std::shared_ptr<const Result>& GetResult() const { return m_result; }
    // Whether the last job ended because the report could not be read.
    bool Failed() const { return m_failed; }

private:
    void Start(const Request& request);
    void OnFinished(std::shared_ptr<const Result> result);  // GUI thread

    std::size_t m_maxKept = kMaxKeptCycles;
    std::optional<Request> m_pending;  // waiting for the running job to stop
    std::shared_ptr<const Result> m_result;
    bool m_failed = false;
    std::thread m_worker;
    std::atomic<bool> m_cancel{false};
    std::atomic<std::uint64_t> m_done{0};
    std::atomic<std::uint64_t> m_total{0};
    std::shared_ptr<QVxAnalogCycleJobs*> m_alive;
};

}  // namespace qvx::analog
