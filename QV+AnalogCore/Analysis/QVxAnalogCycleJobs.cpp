#include "QV+AnalogCore/Analysis/QVxAnalogCycleJobs.h"

#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportOverview.h"
#include "QVxCore/TaskDispatcher.h"

#include <spdlog/spdlog.h>

namespace qvx::analog {

QVxAnalogCycleJobs::QVxAnalogCycleJobs() : m_alive(std::make_shared<QVxAnalogCycleJobs*>(this)) {}

QVxAnalogCycleJobs::~QVxAnalogCycleJobs() {
    m_alive.reset();
    m_cancel = true;
    if (m_worker.joinable()) m_worker.join();
}

void QVxAnalogCycleJobs::Measure(const Request& request) {
    if (IsBusy()) {
        m_pending = request;
        m_cancel = true;
        Changed.Emit();
        return;
    }
    Start(request);
}

void QVxAnalogCycleJobs::Cancel() {
    m_pending.reset();
    if (IsBusy()) m_cancel = true;
}

void QVxAnalogCycleJobs::Clear() {
    Cancel();
    m_result.reset();
    m_failed = false;
    Changed.Emit();
}

void QVxAnalogCycleJobs::Start(const Request& request) {
    m_cancel = false;
    m_done = 0;
    m_total = 0;
    std::weak_ptr<QVxAnalogCycleJobs*> alive = m_alive;
    // Worker thread: only its own reader, the request copy and the atomics are touched.
    m_worker = std::thread(
        [request, maxKept = m_maxKept, cancel = &m_cancel, done = &m_done, total = &m_total, alive] {
            auto result = std::make_shared<Result>();
            result->request = request;
            const ReportDataReaderPtr reader = ReportDataReader::Open(request.reportFolder);
            if (!reader) {
                result->result.status = CycleResult::Status::kReadError;
            } else {
                const std::shared_ptr<ReportOverview> overview = ReportOverview::Open(*reader);
                result->result = MeasureCycles(
                    *reader, overview.get(), request.settings, request.cycles,
                    [&](std::uint64_t d, std::uint64_t t) {
                        done->store(d);
                        total->store(t);
                        return !cancel->load();
                    },
                    [&](std::uint64_t, const Cycle& c) {
                        if (result->cycles.size() < maxKept) result->cycles.push_back(c);
                        return !cancel->load();
                    });
            }
            Dispatcher::PostToMain([alive, result] {
                if (auto self = alive.lock()) (*self)->OnFinished(result);
            });
        });
    Changed.Emit();
}

void QVxAnalogCycleJobs::OnFinished(std::shared_ptr<const Result> result) {
    m_worker.join();  // it has posted this and returns
    const auto status = result->result.status;
    if (status == CycleResult::Status::kReadError)
        spdlog::warn("The cycles of {} could not be measured: the report could not be read.",
                     result->request.reportFolder.string());
    if (status != CycleResult::Status::kCancelled) {
        m_failed = status == CycleResult::Status::kReadError;
        if (!m_failed) m_result = std::move(result);
    }
    if (m_pending) {
        const Request next = *m_pending;
        m_pending.reset();
        Start(next);
        return;
    }
    Changed.Emit();
}

}  // namespace qvx::analog
