#include "QV+AnalogCore/Analysis/QVxAnalogReportAnalysisTasks.h"

#include "QVxCore/Presenters/Interaction.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportOverview.h"
#include "QVxCore/TaskDispatcher.h"

#include <spdlog/spdlog.h>

namespace qvx::analog {

namespace {

// A reader of `folder` and its overview (null when missing or stale: every record is then
// read). Calling thread.
struct OpenedReport {
    ReportDataReaderPtr reader;
    std::shared_ptr<ReportOverview> overview;
};

OpenedReport OpenReport(const std::filesystem::path& folder) {
    OpenedReport out;
    out.reader = ReportDataReader::Open(folder);
    if (out.reader) out.overview = ReportOverview::Open(*out.reader);
    return out;
}

}  // namespace

ReportEventSearch::Result RunEventSearch(const EventSearchRequest& request, ProgressToken* token) {
    const OpenedReport report = OpenReport(request.reportFolder);
    if (!report.reader) {
        ReportEventSearch::Result failed;
        failed.status = ReportEventSearch::Status::kReadError;
        return failed;
    }
    ReportEventSearch search(*report.reader, report.overview.get(), request.settings);
    const auto progress = [token](std::uint64_t done, std::uint64_t total) {
        return !token ||
               token->SetProgress(static_cast<std::int64_t>(done), static_cast<std::int64_t>(total));
    };
    switch (request.kind) {
        case EventSearchKind::kNext:
            return search.FindNext(request.range, request.cursorNs, progress);
        case EventSearchKind::kPrevious:
            return search.FindPrevious(request.range, request.cursorNs, progress);
        case EventSearchKind::kAll:
            break;
    }
    return search.FindAll(request.range, request.maxHits, progress);
}

struct QVxAnalogMeasurementJobs::WorkerReport {
    std::filesystem::path folder;
    OpenedReport opened;
};

QVxAnalogMeasurementJobs::QVxAnalogMeasurementJobs()
    : m_report(std::make_shared<WorkerReport>()),
      m_alive(std::make_shared<QVxAnalogMeasurementJobs*>(this)) {}

QVxAnalogMeasurementJobs::~QVxAnalogMeasurementJobs() {
    m_alive.reset();
    m_cancel = true;
    if (m_worker.joinable()) m_worker.join();
}

void QVxAnalogMeasurementJobs::Measure(const Request& request) {
    if (m_pending ? *m_pending == request : (m_last && *m_last == request)) return;
    if (IsBusy()) {
        m_pending = request;
        m_cancel = true;
        return;
    }
    Start(request);
}

void QVxAnalogMeasurementJobs::Clear() {
    m_pending.reset();
    m_last.reset();
    m_result.reset();
    if (IsBusy()) m_cancel = true;
    Changed.Emit();
}

void QVxAnalogMeasurementJobs::Start(const Request& request) {
    m_last = request;
    m_cancel = false;
    std::weak_ptr<QVxAnalogMeasurementJobs*> alive = m_alive;
    // Worker thread: only the worker report and the request copy are touched.
    m_worker = std::thread([request, report = m_report, cancel = &m_cancel, alive] {
        if (report->folder != request.reportFolder || !report->opened.reader) {
            report->opened = OpenReport(request.reportFolder);
            report->folder = request.reportFolder;
        }
        SpanMeasurement result;
        if (!report->opened.reader) {
            result.status = SpanMeasurement::Status::kReadError;
        } else {
            result = MeasureSpan(*report->opened.reader, report->opened.overview.get(), request.settings,
                                 request.fromNs, request.toNs,
                                 [cancel](std::uint64_t, std::uint64_t) { return !cancel->load(); });
            // A damaged overview is dropped; the next job reads the records instead.
            if (report->opened.overview && report->opened.overview->IsDamaged())
                report->opened.overview.reset();
        }
        Dispatcher::PostToMain([alive, result] {
            if (auto self = alive.lock()) (*self)->OnFinished(result);
        });
    });
    Changed.Emit();
}

void QVxAnalogMeasurementJobs::OnFinished(const SpanMeasurement& result) {
    m_worker.join();  // it has posted this and returns
    if (result.status == SpanMeasurement::Status::kReadError)
        spdlog::warn("The measurement of {} ns to {} ns could not read the report.", result.fromNs,
                     result.toNs);
    if (result.status != SpanMeasurement::Status::kCancelled && m_last && result.fromNs == m_last->fromNs &&
        result.toNs == m_last->toNs)
        m_result = result;
    if (m_pending) {
        const Request next = *m_pending;
        m_pending.reset();
        Start(next);
        return;
    }
    Changed.Emit();
}

}  // namespace qvx::analog
