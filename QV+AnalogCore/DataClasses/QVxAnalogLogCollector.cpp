#include "QV+AnalogCore/DataClasses/QVxAnalogLogCollector.h"

#include "QVxCore/AnalogSession.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxCore/Utils.h"

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

    auto writer = std::make_unique<qvx::ReportDataWriter>(m_reportFolder, qvx::MakeApplicationReportHeader());
    if (!writer->CreateReportFile()) writer.reset();
    m_writer = std::move(writer);  // the previous writer, if any, closes its file here
    m_overview = m_writer ? std::make_unique<qvx::ReportOverviewRecorder>(m_reportFolder) : nullptr;
    return m_writer != nullptr;
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
        static_cast<std::int64_t>(elementSize * elementCount / qvx::ReportDataWriter::kRecordBytes);
    if (!m_captureEnded && records > 0) {
        const auto* data = static_cast<const std::uint8_t*>(buffer);
        if (m_writer && m_writer->WriteRecord(data, records)) {
            m_overview->Append(data, static_cast<std::uint64_t>(records));
            m_host->Broadcast(data, records);
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
    m_writer.reset();
    if (m_overview) m_overview->Finish();
    m_overview.reset();
}

void QVxAnalogLogCollector::RotateFiles() {
    if (m_keepFileCount < 1) return;
    try {
        std::vector<fs::path> entries;
        for (const auto& entry : fs::directory_iterator(m_reportFolder)) entries.push_back(entry.path());
        std::sort(entries.begin(), entries.end());
        const std::size_t keep = static_cast<std::size_t>(m_keepFileCount);
        for (std::size_t i = 0; i + keep < entries.size(); ++i) fs::remove(entries[i]);
    } catch (const fs::filesystem_error&) {
        // The next timer tick tries again.
    }
}
