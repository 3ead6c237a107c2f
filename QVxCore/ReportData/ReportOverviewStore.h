#pragma once
// Where the overview of a report data file lives. Never inside the report folder (the
// reader takes every "*.DAT" there): beside it, in a folder
// named after it with ".overview" added ("repo" -> "repo.overview"), one "NNNNNNNN.OVW"
// per "NNNNNNNN.DAT". When that folder cannot be written, the overview goes to the cache
// folder instead, under a name derived from the report folder's absolute path.
//
// All functions are safe to call from any thread (they touch only the file system).

#include "QVxCore/ReportData/ReportOverviewFile.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

namespace qvx {

class DeferredFileRemover;

class ReportOverviewStore {
public:
    // "DIR/repo" -> "DIR/repo.overview".
    static std::filesystem::path SiblingFolder(const std::filesystem::path& reportFolder);
    // "DIR/repo/00000003.DAT" -> "DIR/repo.overview/00000003.OVW".
    static std::filesystem::path SiblingPath(const std::filesystem::path& dataFile);
    // The fallback in the cache folder: CACHE/overview/<hash of the report folder>/NNNNNNNN.OVW.
    static std::filesystem::path CachePath(const std::filesystem::path& dataFile);

    // The cache folder of the fallback; default $XDG_CACHE_HOME (else ~/.cache)/qmrs/QV+Analog.
    static void SetCacheRoot(const std::filesystem::path& root);
    static std::filesystem::path GetCacheRoot();

    // The valid overview of `dataFile` (beside the report, else in the cache), or the status
    // of the one beside the report when neither is valid.
    static ReportOverviewFile::Opened Open(const std::filesystem::path& dataFile);

    // Stores an overview of `dataFile` beside the report, else in the cache. False (logged
    // at warning level) when neither can be written.
    static bool Write(const std::filesystem::path& dataFile, const std::vector<std::uint8_t>& bytes);

    // Builds the overview of `dataFile` from its records and stores it. False when cancelled
    // through `progress` or on failure.
    static bool Build(const std::filesystem::path& dataFile,
                      const std::function<bool(std::uint64_t bytesRead)>& progress = {});

    // Deletes the overview of `dataFile` (beside the report and in the cache); call it
    // together with deleting the data file. Errors are ignored: a leftover overview no
    // longer matches any data file and is never used. With `remover`, the storage is
    // released on its thread.
    static void Remove(const std::filesystem::path& dataFile, DeferredFileRemover* remover = nullptr);

    // Copies the overviews of `dataFiles` beside `toReportFolder` (save-as). Best effort:
    // an overview that is missing, cannot be copied or would leave less than 64 MiB free
    // on the volume is not copied, and is rebuilt when the copy is opened.
    static void CopyFor(const std::vector<std::filesystem::path>& dataFiles,
                        const std::filesystem::path& toReportFolder);
};

}  // namespace qvx
