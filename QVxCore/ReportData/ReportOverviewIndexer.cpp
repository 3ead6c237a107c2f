#include "QVxCore/ReportData/ReportOverviewIndexer.h"

#include "QVxCore/ReportData/ReportOverviewStore.h"

#include <pthread.h>

#include <system_error>

namespace fs = std::filesystem;

namespace qvx {

bool ReportOverviewIndexer::BuildAll(const std::vector<fs::path>& dataFiles, const ProgressFn& progress) {
    Progress p;
    p.filesTotal = dataFiles.size();
    for (const fs::path& file : dataFiles) {
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(file, ec);
        if (!ec) p.bytesTotal += size;
    }
    if (progress && !progress(p)) return false;
    for (const fs::path& file : dataFiles) {
        const std::uint64_t before = p.bytesDone;
        const bool built = ReportOverviewStore::Build(file, [&](std::uint64_t bytesRead) {
            p.bytesDone = before + bytesRead;
            return !progress || progress(p);
        });
        if (!built) return false;
        ++p.filesDone;
        if (progress && !progress(p)) return false;
    }
    return true;
}

ReportOverviewIndexer::ReportOverviewIndexer(std::vector<fs::path> dataFiles, ProgressFn progress,
                                             FinishedFn finished)
    : m_thread([this, files = std::move(dataFiles), progress = std::move(progress),
                finished = std::move(finished)] {
          ::pthread_setname_np(::pthread_self(), "qvx-overview");
          const bool complete =
              BuildAll(files, [&](const Progress& p) { return !m_cancelled && (!progress || progress(p)); });
          if (finished) finished(complete && !m_cancelled);
      }) {}

ReportOverviewIndexer::~ReportOverviewIndexer() {
    m_cancelled = true;
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace qvx
