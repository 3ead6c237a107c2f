#pragma once
// Records a trace: appends every captured block to the report data files of the
// session's "repo" folder, hands it on to the live display, watches the free disk
// space and removes the oldest files when rotation is on.

#include "QV+AnalogCore/DataClasses/IQVxLogCollectorHost.h"
#include "QVxCore/ReportData/DeferredFileRemover.h"
#include "QVxCore/ReportData/ReportDataWriter.h"
#include "QVxCore/ReportData/ReportOverviewRecorder.h"
#include "QVxWinCommon/DataClasses/QVxLogCollect.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace qvx {
class AnalogSession;
}

class QVxAnalogLogCollector : public QVxLogCollect {
public:
    static constexpr std::uintmax_t kMinFreeBytes = 1'073'741'824;  // 1 GiB
    // A failed rotation pass is tried again no sooner than this.
    static constexpr std::chrono::milliseconds kRotationRetryInterval{100};

    // Bytes available to the caller on the volume of a path; nullopt when the query fails.
    using FreeSpaceQuery = std::function<std::optional<std::uintmax_t>(const std::filesystem::path&)>;

    explicit QVxAnalogLogCollector(IQVxLogCollectorHost* host);
    ~QVxAnalogLogCollector() override;

    // GUI thread. Prepares recording into `session`'s "repo" folder and creates
    // 00000000.DAT; false when the file cannot be created.
    bool Start(const qvx::AnalogSession& session);

    // GUI thread, once the unit reported the start command's time (UTC): the open file's
    // header is rewritten with it on the delivery thread's next block (or at close),
    // and every later file is created with it.
    void SetStartTime(std::int64_t seconds, std::int32_t nanoseconds);

    // The folder whose free space is watched (the cache folder); empty disables the check.
    void SetFreeSpaceFolder(std::filesystem::path folder) { m_freeSpaceFolder = std::move(folder); }
    void SetFreeSpaceQuery(FreeSpaceQuery query) { m_freeSpaceQuery = std::move(query); }
    // Called on the delivery thread when the last block of the capture arrived
    // (the device manager starts watching for the end of the acquisition).
    void SetCaptureEndedHandler(std::function<void()> handler) { m_onCaptureEnded = std::move(handler); }

    QVxAbortType TakeAbortType() override;
    void OnTraceStarted() override;
    void OnTraceFinished() override;
    void OnData(const void* buffer, std::size_t elementSize, std::size_t elementCount,
                std::uint32_t flags) override;
    void OnAbort() override;

    // GUI thread: keeps the newest m_keepFileCount report data files of the report
    // folder and removes the older ones. While a trace runs, the delivery thread asks
    // for a pass through the main dispatcher each time the writer opens a file beyond
    // the kept count (and again every kRotationRetryInterval after a failed pass), so
    // every front end that drains the dispatcher rotates during the trace. A failed
    // pass is logged once per trace and tried again. Returns false when it failed.
    bool RotateFiles();
    // GUI thread: files removed by rotation since the last Start.
    std::int64_t GetRemovedFileCount() const { return m_removedFileCount; }
    // GUI thread: rewrites the open file's header, closes it and drops the writer.
    void CloseWriter();

    std::int32_t GetKeepFileCount() const { return m_keepFileCount; }
    const std::filesystem::path& GetReportFolder() const { return m_reportFolder; }

private:
    void CheckFreeSpace();
    void ApplyStartTime();
    void RequestRotationIfDue();
    void RotateOnGuiThread();
    void PostToGui(void (QVxAnalogLogCollector::*step)());
    void StopTraceOnGuiThread();
    void FinishOnGuiThread();

    IQVxLogCollectorHost* m_host;  // not owned
    std::unique_ptr<qvx::ReportDataWriter> m_writer;
    // Extends the report's overview from the blocks written (delivery thread).
    std::unique_ptr<qvx::ReportOverviewRecorder> m_overview;
    std::function<void()> m_onCaptureEnded;
    std::atomic<bool> m_captureEnded{false};  // the last block was seen
    std::int32_t m_keepFileCount = 0;
    // Rotation during the trace. Delivery thread: the writer's file count of the last
    // request and the earliest retry time. Shared: whether a pass is queued on the GUI
    // thread, and whether the last pass failed. GUI thread: removed files and whether
    // this trace's failure was logged.
    std::int32_t m_rotationRequestedAtFileCount = 0;
    std::chrono::steady_clock::time_point m_nextRotationRetry{};
    std::atomic<bool> m_rotationQueued{false};
    std::atomic<bool> m_rotationFailed{false};
    std::int64_t m_removedFileCount = 0;
    bool m_rotationFailureLogged = false;
    // Removes the rotated files; the kernel's release of a large file's pages and blocks
    // takes over 100 ms, too long for the GUI thread that runs the passes.
    qvx::DeferredFileRemover m_remover;
    // The start time handed over by the GUI thread, applied by the thread that uses the writer.
    std::mutex m_startTimeMutex;
    std::atomic<bool> m_startTimePending{false};
    std::int64_t m_startSeconds = 0;
    std::int32_t m_startNanoseconds = 0;
    std::filesystem::path m_reportFolder;
    std::filesystem::path m_freeSpaceFolder;
    FreeSpaceQuery m_freeSpaceQuery;
    // Posted actions hold this weakly, so none runs after the collector is destroyed.
    std::shared_ptr<QVxAnalogLogCollector*> m_alive;
};
