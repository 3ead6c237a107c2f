#include "QV+AnalogCore/DataClasses/QVxAnalogLogCollector.h"

#include "QVxCore/AnalogSession.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportOverviewStore.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxCore/Utils.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::optional<std::uintmax_t> QueryFreeSpace(const fs::path& folder) {
    std::error_code ec;
    const auto info = fs::space(folder, ec);
    if (ec) return std::nullopt;
    return info.available;
}

}  // namespace

QVxAnalogLogCollector::QVxAnalogLogCollector(IQVxLogCollectorHost* host)
    : m_host(host),
      m_freeSpaceQuery(&QueryFreeSpace),
      m_alive(std::make_shared<QVxAnalogLogCollector*>(this)) {}

QVxAnalogLogCollector::~QVxAnalogLogCollector() = default;

bool QVxAnalogLogCollector::Start(const qvx::AnalogSession& session) {
    const auto& settings = session.GetSettings();
    m_keepFileCount =
        settings.enableReportFileRotation
            ? static_cast<std::int32_t>(settings.GetRotationFileCount(settings.reportFileRotationTimeS))
            : 0;
    m_reportFolder = session.GetReportFolderPath();
    m_rotationRequestedAtFileCount = 0;
    m_nextRotationRetry = {};
    m_rotationFailed = false;
    m_removedFileCount = 0;
    m_rotationFailureLogged = false;
    m_startTimePending = false;

    auto writer = std::make_unique<qvx::ReportDataWriter>(m_reportFolder, qvx::MakeApplicationReportHeader());
    if (!writer->CreateReportFile()) writer.reset();
    m_writer = std::move(writer);  // the previous writer, if any, closes its file here
    m_overview = m_writer ? std::make_unique<qvx::ReportOverviewRecorder>(m_reportFolder) : nullptr;
    return m_writer != nullptr;
}

void QVxAnalogLogCollector::SetStartTime(std::int64_t seconds, std::int32_t nanoseconds) {
    std::lock_guard lock(m_startTimeMutex);
    m_startSeconds = seconds;
    m_startNanoseconds = nanoseconds;
    m_startTimePending = true;
}

// The thread that owns the writer: the delivery thread during the trace, the GUI
// thread at close.
void QVxAnalogLogCollector::ApplyStartTime() {
    if (!m_writer || !m_startTimePending.exchange(false)) return;
    std::lock_guard lock(m_startTimeMutex);
    m_writer->SetStartTime(m_startSeconds, m_startNanoseconds);
}

QVxAbortType QVxAnalogLogCollector::TakeAbortType() {
    m_captureEnded = false;
    return QVxLogCollect::TakeAbortType();
}

void QVxAnalogLogCollector::OnTraceStarted() {
    // Gives the unit time to settle before the caller reads its status again.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
}

// Delivery thread.
void QVxAnalogLogCollector::OnData(const void* buffer, std::size_t elementSize, std::size_t elementCount,
                                   std::uint32_t flags) {
    const std::int64_t records =
        static_cast<std::int64_t>(elementSize * elementCount / qvx::kReportRecordSize);
    if (!m_captureEnded && records > 0) {
        const auto* data = static_cast<const std::uint8_t*>(buffer);
        ApplyStartTime();
        if (m_writer && m_writer->WriteRecord(data, records)) {
            m_overview->Append(data, static_cast<std::uint64_t>(records));
            m_host->Broadcast(data, records);
            RequestRotationIfDue();
        } else {
            if (m_writer) SetAbortTypeIfNone(QVxAbortType::WriteFailed);
            OnAbort();
        }
    }
    if (flags & 1u) {
        m_captureEnded = true;
        if (m_onCaptureEnded) m_onCaptureEnded();
    }
    CheckFreeSpace();
}

void QVxAnalogLogCollector::CheckFreeSpace() {
    if (GetAbortType() != QVxAbortType::None || m_host->IsStoppingTrace() || m_freeSpaceFolder.empty())
        return;
    const auto available = m_freeSpaceQuery(m_freeSpaceFolder);
    if (available && *available <= kMinFreeBytes && SetAbortTypeIfNone(QVxAbortType::LowDiskSpace)) {
        OnAbort();
    }
}

// Delivery thread. Asks the GUI thread for a rotation pass once the writer has
// opened more files than are kept, again for each further file, and every
// kRotationRetryInterval while the last pass failed. At most one pass is queued.
void QVxAnalogLogCollector::RequestRotationIfDue() {
    if (m_keepFileCount < 1) return;
    const std::int32_t files = m_writer->GetFileCount();
    const auto now = std::chrono::steady_clock::now();
    const bool newFile = files > m_keepFileCount && files != m_rotationRequestedAtFileCount;
    const bool retry = m_rotationFailed && now >= m_nextRotationRetry;
    if (!newFile && !retry) return;
    if (m_rotationQueued.exchange(true)) return;
    m_rotationRequestedAtFileCount = files;
    m_nextRotationRetry = now + kRotationRetryInterval;
    PostToGui(&QVxAnalogLogCollector::RotateOnGuiThread);
}

void QVxAnalogLogCollector::RotateOnGuiThread() {
    m_rotationQueued = false;
    RotateFiles();
}

// Any thread. A posted action that runs after the collector is gone does nothing.
void QVxAnalogLogCollector::PostToGui(void (QVxAnalogLogCollector::*step)()) {
    std::weak_ptr<QVxAnalogLogCollector*> alive = m_alive;
    qvx::Dispatcher::PostToMain([alive, step] {
        if (auto self = alive.lock()) ((*self)->*step)();
    });
}

void QVxAnalogLogCollector::OnAbort() {
    PostToGui(&QVxAnalogLogCollector::StopTraceOnGuiThread);
}

void QVxAnalogLogCollector::StopTraceOnGuiThread() {
    m_host->StopTrace();
}

// Watch thread: everything else happens on the GUI thread.
void QVxAnalogLogCollector::OnTraceFinished() {
    PostToGui(&QVxAnalogLogCollector::FinishOnGuiThread);
}

void QVxAnalogLogCollector::FinishOnGuiThread() {
    CloseWriter();
    RotateFiles();
    m_host->OnTraceEnded(GetAbortType());
}

void QVxAnalogLogCollector::CloseWriter() {
    ApplyStartTime();
    m_writer.reset();
    if (m_overview) m_overview->Finish();
    m_overview.reset();
}

bool QVxAnalogLogCollector::RotateFiles() {
    if (m_keepFileCount < 1) return true;
    fs::path failedPath = m_reportFolder;
    try {
        // Only the numbered data files rotate: anything else in the folder is kept.
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(m_reportFolder)) {
            if (!entry.is_directory() && qvx::IsReportDataFileName(entry.path()))
                files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        const std::size_t keep = static_cast<std::size_t>(m_keepFileCount);
        for (std::size_t i = 0; i + keep < files.size(); ++i) {
            failedPath = files[i];
            if (m_remover.Remove(files[i])) ++m_removedFileCount;
            qvx::ReportOverviewStore::Remove(files[i], &m_remover);  // its overview goes with it
        }
    } catch (const fs::filesystem_error& error) {
        m_rotationFailed = true;
        if (!m_rotationFailureLogged) {
            m_rotationFailureLogged = true;
            spdlog::warn("File rotation failed, tried again while the trace runs: {} ({})",
                         failedPath.string(), error.code().message());
        }
        return false;
    }
    m_rotationFailed = false;
    return true;
}
