#pragma once
// Builds the missing overviews of a report's data files on a worker thread of its own,
// reading the files one after the other. Destroying the indexer cancels it and waits for
// the worker (at most one 4 MiB read).

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

namespace qvx {

class ReportOverviewIndexer {
public:
    struct Progress {
        std::uint64_t bytesDone = 0;
        std::uint64_t bytesTotal = 0;  // sizes of all files to index
        std::size_t filesDone = 0;
        std::size_t filesTotal = 0;
    };
    // Called on the indexing thread; returning false cancels.
    using ProgressFn = std::function<bool(const Progress&)>;
    // Called once on the indexing thread at the end: true when every overview was stored.
    using FinishedFn = std::function<void(bool complete)>;

    // Builds the overviews of `dataFiles` on the calling thread. True when all were stored.
    static bool BuildAll(const std::vector<std::filesystem::path>& dataFiles,
                         const ProgressFn& progress = {});

    // Starts building on a new thread.
    ReportOverviewIndexer(std::vector<std::filesystem::path> dataFiles, ProgressFn progress,
                          FinishedFn finished);
    ~ReportOverviewIndexer();
    ReportOverviewIndexer(const ReportOverviewIndexer&) = delete;
    ReportOverviewIndexer& operator=(const ReportOverviewIndexer&) = delete;

    // Asks the worker to stop after its current read; the finished callback still runs.
    void Cancel() { m_cancelled = true; }

private:
    std::atomic<bool> m_cancelled{false};
    std::jthread m_thread;
};

}  // namespace qvx
