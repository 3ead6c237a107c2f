#include "QV+AnalogCore/Analysis/QVxAnalogSpectrumJobs.h"

#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportOverview.h"
#include "QVxCore/TaskDispatcher.h"

#include <spdlog/spdlog.h>

namespace qvx::analog {

struct QVxAnalogSpectrumJobs::WorkerReport {
    std::filesystem::path folder;
    ReportDataReaderPtr reader;
    std::shared_ptr<ReportOverview> overview;  // null when missing or stale
};

QVxAnalogSpectrumJobs::QVxAnalogSpectrumJobs()
    : m_report(std::make_shared<WorkerReport>()), m_alive(std::make_shared<QVxAnalogSpectrumJobs*>(this)) {}

QVxAnalogSpectrumJobs::~QVxAnalogSpectrumJobs() {
    m_alive.reset();
    m_cancel = true;
    if (m_worker.joinable()) m_worker.join();
}

void QVxAnalogSpectrumJobs::Compute(const Request& request) {
    if (m_pending ? *m_pending == request : (m_last && *m_last == request)) return;
    if (IsBusy()) {
        m_pending = request;
        m_cancel = true;
        return;
    }
    Start(request);
}

void QVxAnalogSpectrumJobs::Clear() {
    m_pending.reset();
    m_last.reset();
    m_result.reset();
    if (IsBusy()) m_cancel = true;
    Changed.Emit();
}

void QVxAnalogSpectrumJobs::Start(const Request& request) {
    m_last = request;
    m_cancel = false;
    std::weak_ptr<QVxAnalogSpectrumJobs*> alive = m_alive;
    // Worker thread: only the worker report and the request copy are touched.
    m_worker = std::thread([request, report = m_report, cancel = &m_cancel, alive] {
        if (report->folder != request.reportFolder || !report->reader) {
            report->reader = ReportDataReader::Open(request.reportFolder);
            report->overview = report->reader ? ReportOverview::Open(*report->reader) : nullptr;
            report->folder = request.reportFolder;
        }
        auto result = std::make_shared<SpectrumResult>();
        if (!report->reader) {
            result->status = SpectrumResult::Status::kReadError;
        } else {
            *result =
                ComputeSpectrum(*report->reader, report->overview.get(), request.settings, request.spectrum,
                                [cancel](std::uint64_t, std::uint64_t) { return !cancel->load(); });
            // A damaged overview is dropped; the next job finds its span without it.
            if (report->overview && report->overview->IsDamaged()) report->overview.reset();
        }
        Dispatcher::PostToMain([alive, result = std::shared_ptr<const SpectrumResult>(std::move(result))] {
            if (auto self = alive.lock()) (*self)->OnFinished(result);
        });
    });
    Changed.Emit();
}

void QVxAnalogSpectrumJobs::OnFinished(std::shared_ptr<const SpectrumResult> result) {
    m_worker.join();  // it has posted this and returns
    if (result->status == SpectrumResult::Status::kReadError)
        spdlog::warn("The spectrum of {} ns to {} ns could not read the report.", result->fromNs,
                     result->toNs);
    // A cancelled job, or one for a request since forgotten, leaves the result as it was.
    if (result->status != SpectrumResult::Status::kCancelled && m_last && !m_pending)
        m_result = std::move(result);
    if (m_pending) {
        const Request next = *m_pending;
        m_pending.reset();
        Start(next);
        return;
    }
    Changed.Emit();
}

}  // namespace qvx::analog
