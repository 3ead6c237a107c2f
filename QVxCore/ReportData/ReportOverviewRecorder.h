#pragma once
// Builds the overviews of a report while it is recorded, from the same blocks the report
// writer appends, without reading the data again. It follows the writer's numbering:
// file k ("%08d.DAT") holds records [k x per-file, (k + 1) x per-file). A file's overview
// is stored as soon as the file is full, the last one by Finish.
//
// Used from the thread that writes the report (the device library's delivery thread),
// and Finish after the writing ended.

#include "QVxCore/ReportData/ReportOverviewBuilder.h"

#include <cstdint>
#include <filesystem>

namespace qvx {

class ReportOverviewRecorder {
public:
    explicit ReportOverviewRecorder(std::filesystem::path reportFolder,
                                    std::uint64_t recordsPerFile = kRecordsPerReportFile);

    // Folds `count` records that were just appended to the report.
    void Append(const std::uint8_t* records, std::uint64_t count);
    // Stores the overview of the file being written. Call once after the last Append.
    void Finish();

private:
    void StoreCurrent();

    std::filesystem::path m_reportFolder;
    std::uint64_t m_recordsPerFile;
    std::int64_t m_fileNumber = 0;
    bool m_stored = false;  // the current file's overview is stored and no record came since
    ReportOverviewBuilder m_builder;
};

}  // namespace qvx
