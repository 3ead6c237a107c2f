#include "QVxCore/ReportData/ReportOverviewRecorder.h"

#include "QVxCore/ReportData/ReportOverviewStore.h"

#include <fmt/format.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>

namespace qvx {

ReportOverviewRecorder::ReportOverviewRecorder(std::filesystem::path reportFolder,
                                               std::uint64_t recordsPerFile)
    : m_reportFolder(std::move(reportFolder)), m_recordsPerFile(recordsPerFile) {}

ReportOverviewRecorder::~ReportOverviewRecorder() {
    {
        std::lock_guard lock(m_mutex);
        m_exit = true;
    }
    m_queued.notify_one();
    if (m_storeThread.joinable()) m_storeThread.join();
}

void ReportOverviewRecorder::Append(const std::uint8_t* records, std::uint64_t count) {
    while (count > 0) {
        const std::uint64_t n = std::min(count, m_recordsPerFile - m_builder.GetRecordCount());
        m_builder.Append(records, n);
        m_stored = false;
        records += n * kReportRecordSize;
        count -= n;
        if (m_builder.GetRecordCount() == m_recordsPerFile) QueueFullFile();
    }
}

void ReportOverviewRecorder::Finish() {
    if (!m_stored) Store(DataFile(), m_builder);
    m_stored = true;
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_queue.empty() && !m_storing; });
}

std::filesystem::path ReportOverviewRecorder::DataFile() const {
    return m_reportFolder / fmt::format("{:08d}.DAT", m_fileNumber);
}

// The writer opens the next file only when records for it arrive; the builder starts it
// empty (in the memory of a stored file's builder, once one came back), and the full one goes
// to the store thread.
void ReportOverviewRecorder::QueueFullFile() {
    FullFile full{DataFile(), std::move(m_builder)};
    ++m_fileNumber;
    m_stored = true;
    {
        std::lock_guard lock(m_mutex);
        m_builder = m_spare ? std::move(*m_spare) : ReportOverviewBuilder{};
        m_spare.reset();
        m_queue.push_back(std::move(full));
        if (!m_storeThread.joinable()) m_storeThread = std::thread([this] { StoreLoop(); });
    }
    m_builder.Reset();
    m_queued.notify_one();
}

// The store thread. It starts from the real-time delivery thread and would inherit its
// scheduling, so it puts itself back to the normal policy first.
void ReportOverviewRecorder::StoreLoop() {
    const sched_param normal{};
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal);
    std::unique_lock lock(m_mutex);
    while (true) {
        m_queued.wait(lock, [this] { return m_exit || !m_queue.empty(); });
        if (m_queue.empty()) return;  // the end was asked for and nothing is left
        FullFile full = std::move(m_queue.front());
        m_queue.pop_front();
        m_storing = true;
        lock.unlock();
        Store(full.dataFile, full.builder);
        lock.lock();
        m_spare = std::move(full.builder);
        m_storing = false;
        if (m_queue.empty()) m_idle.notify_all();
    }
}

void ReportOverviewRecorder::Store(const std::filesystem::path& dataFile,
                                   const ReportOverviewBuilder& builder) {
    const std::uint64_t dataFileSize = kReportHeaderSize + builder.GetRecordCount() * kReportRecordSize;
    // A failure is logged; the overview is then built when the report is opened.
    ReportOverviewStore::Write(dataFile, builder.Serialize(dataFileSize));
    // Rotation may have removed the data file while its overview was being stored: it removes
    // the data file first, then the overview, so an overview written after that is removed
    // here, and none is left behind.
    std::error_code ec;
    if (!std::filesystem::exists(dataFile, ec) && !ec) ReportOverviewStore::Remove(dataFile);
}

}  // namespace qvx
