#pragma once
// Builds the overviews of a report while it is recorded, from the same blocks the report
// writer appends, without reading the data again. It follows the writer's numbering:
// file k ("%08d.DAT") holds records [k x per-file, (k + 1) x per-file). A file's overview
// is stored as soon as the file is full, the last one by Finish.
//
// Used from the thread that writes the report (the device library's delivery thread),
// and Finish after the writing ended. A full file's overview (46 MB for 512 MiB of records,
// about 200 ms to serialize and write) is stored on a thread of its own at normal priority:
// the delivery thread runs real-time, and holding a core that long every 3 s at 10M kept the
// window from running.

#include "QVxCore/ReportData/ReportOverviewBuilder.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

namespace qvx {

class ReportOverviewRecorder {
public:
    explicit ReportOverviewRecorder(std::filesystem::path reportFolder,
                                    std::uint64_t recordsPerFile = kRecordsPerReportFile);
    // Waits for the overviews still being stored.
    ~ReportOverviewRecorder();
    ReportOverviewRecorder(const ReportOverviewRecorder&) = delete;
    ReportOverviewRecorder& operator=(const ReportOverviewRecorder&) = delete;

    // Folds `count` records that were just appended to the report.
    void Append(const std::uint8_t* records, std::uint64_t count);
    // Stores the overview of the file being written and waits until every full file's
    // overview is stored. Call once after the last Append.
    void Finish();

private:
    struct FullFile {
        std::filesystem::path dataFile;
        ReportOverviewBuilder builder;
    };

    void QueueFullFile();
    void StoreLoop();
    std::filesystem::path DataFile() const;
    static void Store(const std::filesystem::path& dataFile, const ReportOverviewBuilder& builder);

    std::filesystem::path m_reportFolder;
    std::uint64_t m_recordsPerFile;
    std::int64_t m_fileNumber = 0;
    bool m_stored = false;  // the current file's overview is stored and no record came since
    ReportOverviewBuilder m_builder;

    // Full files waiting for the store thread, which is started with the first one.
    std::mutex m_mutex;
    std::condition_variable m_queued;  // a file was queued, or the end was asked for
    std::condition_variable m_idle;    // the queue ran empty
    std::deque<FullFile> m_queue;
    // A stored file's builder, handed back so that the next file reuses its memory instead
    // of growing a new one on the delivery thread.
    std::optional<ReportOverviewBuilder> m_spare;
    bool m_storing = false;  // the store thread holds a file it is storing
    bool m_exit = false;
    std::thread m_storeThread;
};

}  // namespace qvx
