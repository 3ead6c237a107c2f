#include "QVxCore/ReportData/ReportOverviewRecorder.h"

#include "QVxCore/ReportData/ReportOverviewStore.h"

#include <fmt/format.h>

#include <algorithm>

namespace qvx {

ReportOverviewRecorder::ReportOverviewRecorder(std::filesystem::path reportFolder,
                                               std::uint64_t recordsPerFile)
    : m_reportFolder(std::move(reportFolder)), m_recordsPerFile(recordsPerFile) {}

void ReportOverviewRecorder::Append(const std::uint8_t* records, std::uint64_t count) {
    while (count > 0) {
        if (m_builder.GetRecordCount() == m_recordsPerFile) {
            // The writer opens the next file only when records for it arrive; so does this.
            m_builder.Reset();
            ++m_fileNumber;
        }
        const std::uint64_t n = std::min(count, m_recordsPerFile - m_builder.GetRecordCount());
        m_builder.Append(records, n);
        m_stored = false;
        records += n * kReportRecordSize;
        count -= n;
        if (m_builder.GetRecordCount() == m_recordsPerFile) StoreCurrent();
    }
}

void ReportOverviewRecorder::Finish() {
    if (!m_stored) StoreCurrent();
}

void ReportOverviewRecorder::StoreCurrent() {
    const std::filesystem::path dataFile = m_reportFolder / fmt::format("{:08d}.DAT", m_fileNumber);
    const std::uint64_t dataFileSize = kReportHeaderSize + m_builder.GetRecordCount() * kReportRecordSize;
    // A failure is logged; the overview is then built when the report is opened.
    ReportOverviewStore::Write(dataFile, m_builder.Serialize(dataFileSize));
    m_stored = true;
}

}  // namespace qvx
