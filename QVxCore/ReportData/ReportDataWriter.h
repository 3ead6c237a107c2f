#pragma once
// Appends captured records to the numbered report data files of a trace.
// Used only from the device library's delivery thread between the collector's
// Start and the end of the trace.

#include "QVxCore/ReportData/ReportFormat.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>

namespace qvx {

class ReportDataWriter {
public:
    static constexpr std::size_t kHeaderBytes = kReportHeaderSize;
    static constexpr std::int64_t kMaxRecordsPerFile = static_cast<std::int64_t>(kRecordsPerReportFile);
    using Header = ReportHeader;

    ReportDataWriter(std::filesystem::path reportFolder, const Header& header,
                     std::int64_t maxRecordsPerFile = kMaxRecordsPerFile);
    ~ReportDataWriter();
    ReportDataWriter(const ReportDataWriter&) = delete;
    ReportDataWriter& operator=(const ReportDataWriter&) = delete;

    // Closes the current file (header rewritten) and opens the next "%08d.DAT".
    bool CreateReportFile();
    // Writes the header template at offset 0 of the open file.
    bool WriteHeader();
    // Appends `count` records of 16 bytes straight from `records`: one write per
    // block, two when the block crosses a file boundary. False on any failed or
    // short write (the caller stops the trace).
    bool WriteRecord(const std::uint8_t* records, std::int64_t count);
    // Rewrites the header and closes the open file.
    void Close();
    // Puts the trace's start time (UTC seconds and nanoseconds of the start command)
    // into the header template and rewrites the open file's header, so that every
    // file carries it from the moment it exists. False when the rewrite failed.
    bool SetStartTime(std::int64_t seconds, std::int32_t nanoseconds);

    std::int32_t GetFileCount() const { return m_fileCount; }
    std::int64_t GetRecordsInFile() const { return m_recordsInFile; }
    const std::filesystem::path& GetReportFolder() const { return m_reportFolder; }

    // Whether finished ranges are handed to write-back and dropped from the page
    // cache as the file grows (keeps a 167 MB/s stream from building up gigabytes of
    // dirty pages that the kernel then throttles the writer on). On by default.
    void SetStreamingWriteBack(bool on) { m_streamingWriteBack = on; }

    // At most this much record time (by the wall clock of the writing thread) is
    // written between two points at which the data and the file size are forced to
    // the disk, so a power cut loses at most about this much of the trace.
    static constexpr std::chrono::milliseconds kDurabilityInterval{1000};
    // Another interval (benchmarks); zero never forces the data out.
    void SetDurabilityInterval(std::chrono::milliseconds interval) { m_durabilityInterval = interval; }

private:
    bool WriteAll(const std::uint8_t* data, std::size_t bytes);
    void StartWriteBack(std::int64_t endOffset);
    void MakeDurableIfDue();
    void SyncFolder();

    int m_file = -1;
    std::int64_t m_maxRecordsPerFile;
    Header m_header;
    std::int64_t m_recordsInFile = 0;
    std::filesystem::path m_reportFolder;
    std::int32_t m_fileCount = 0;
    bool m_streamingWriteBack = true;
    std::int64_t m_writeBackStarted = 0;  // bytes of the open file handed to write-back
    std::int64_t m_writeBackDropped = 0;  // bytes of the open file dropped from the cache
    std::chrono::milliseconds m_durabilityInterval = kDurabilityInterval;
    std::chrono::steady_clock::time_point m_nextDurableAt{};
};

}  // namespace qvx
