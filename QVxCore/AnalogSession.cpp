#include "QVxCore/AnalogSession.h"

#include "QVxCore/Archive.h"
#include "QVxCore/Presenters/Interaction.h"
#include "QVxCore/ReportData/ReportOverviewStore.h"
#include "QVxCore/Utils.h"

#include <spdlog/spdlog.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace fs = std::filesystem;

namespace qvx {

namespace {

[[noreturn]] void ThrowFileSystemError(const char* operation, const fs::path& path, std::error_code ec) {
    throw fs::filesystem_error(operation, path, ec);
}

[[noreturn]] void ThrowFileSystemError(const char* operation, const fs::path& from, const fs::path& to,
                                       std::error_code ec) {
    throw fs::filesystem_error(operation, from, to, ec);
}

// Folder of a settings file; "." for a bare file name.
fs::path FolderOf(const fs::path& file) {
    fs::path folder = file.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

// `path` resolved as far as it exists, absolute and without "." or "..".
fs::path ResolvedPath(const fs::path& path) {
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(fs::absolute(path, ec), ec);
    return ec ? fs::absolute(path, ec).lexically_normal() : resolved;
}

// Whether two paths name the same file or folder: compared after resolving ".",
// ".." and symbolic links of the parts that exist.
bool SamePath(const fs::path& a, const fs::path& b) {
    return ResolvedPath(a) == ResolvedPath(b);
}

// Volumes hand out space in blocks: a file of n bytes takes n rounded up to this.
constexpr std::uintmax_t kAllocationUnit = 4096;
// Upper bound of one hit's bytes in "meta" (indentation, both member names and two
// 19-digit numbers), and of the text around the list.
constexpr std::uintmax_t kMetaBytesPerHit = 128;
constexpr std::uintmax_t kMetaFrameBytes = 256;

std::uintmax_t AllocatedBytes(std::uintmax_t size) {
    return (size + kAllocationUnit - 1) / kAllocationUnit * kAllocationUnit;
}

// Whether `path` is `folder` or lies below it, by whole components.
bool IsInsideFolder(const fs::path& path, const fs::path& folder) {
    auto pi = path.begin();
    for (auto fi = folder.begin(); fi != folder.end(); ++fi, ++pi) {
        if (fi->empty()) continue;  // a trailing separator
        if (pi == path.end() || *pi != *fi) return false;
    }
    return true;
}

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

// Removes a "repo" this save created; a failure is only logged (the save already failed).
void RemoveCopiedReport(const fs::path& repo) {
    std::error_code ec;
    fs::remove_all(repo, ec);
    if (ec) spdlog::error("Cannot remove the partly saved report folder {}: {}", repo.string(), ec.message());
}

bool FolderExists(const fs::path& folder) {
    std::error_code ec;
    return fs::is_directory(folder, ec);
}

}  // namespace

AnalogSession::AnalogSession()
    : m_settings(std::make_unique<AnalogSettings>()),
      m_displayTriggerList(std::make_unique<AnalogDisplayTriggerList>()),
      m_freeSpaceQuery(&AnalogSession::GetCurrentFreeSpace) {}

AnalogSession::~AnalogSession() = default;

std::uintmax_t AnalogSession::GetCurrentFreeSpace(const fs::path& folder) {
    std::error_code ec;
    const fs::space_info info = fs::space(folder, ec);
    if (ec) {
        spdlog::error("Failed GetDiskFreeSpaceExW.");
        return 0;
    }
    return info.available;
}

bool AnalogSession::NewInternal(const fs::path& folder) {
    QVX_CHECK_RETURN(m_settingFilePath.empty(), false);
    m_folderPath = folder;
    m_settings = std::make_unique<AnalogSettings>();
    m_displayTriggerList = std::make_unique<AnalogDisplayTriggerList>();
    m_bookmarks.clear();
    std::error_code ec;
    fs::create_directory(GetReportFolderPath(), ec);  // an existing folder is accepted
    if (ec) ThrowFileSystemError("create_directory", GetReportFolderPath(), ec);
    return true;
}

bool AnalogSession::OpenInternal(const fs::path& settingFilePath, ProgressToken* progress, int& outCode) {
    QVX_CHECK_RETURN(m_settingFilePath.empty(), false);
    QVX_CHECK_RETURN(!settingFilePath.empty(), false);
    m_settingFilePath = settingFilePath;
    m_folderPath = FolderOf(settingFilePath);
    m_settings = std::make_unique<AnalogSettings>();
    m_displayTriggerList = std::make_unique<AnalogDisplayTriggerList>();

    if (!Archive::Load(*m_settings, m_settingFilePath)) return false;

    const fs::path repo = GetReportFolderPath();
    if (!FolderExists(repo)) {
        m_status = Status::Draft;
        outCode = kOpenedSettingsOnly;
        return true;
    }
    // Report data of class versions below 4 predates the current report format.
    if (m_settings->GetClassVersion() < 4) {
        m_status = Status::Draft;
        outCode = kOpenedReportTooOld;
        return true;
    }
    m_status = Status::ReportOpened;
    m_reportData = ReportDataReader::Open(repo, progress);
    if (!m_reportData) return false;

    const fs::path meta = repo / kMetadataFileName;
    std::error_code ec;
    const fs::file_status metaStatus = fs::status(meta, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) ThrowFileSystemError("status", meta, ec);
    if (fs::exists(metaStatus)) LoadMetadata(meta);
    outCode = kOpenedWithReport;
    return true;
}

// The hit list and the bookmarks are read independently: either one that cannot be read
// is logged and left empty, and the other still loads.
void AnalogSession::LoadMetadata(const fs::path& meta) {
    const bool hitsLoaded = Archive::Load(*m_displayTriggerList, meta);
    m_bookmarkProblems.clear();
    // A file the hit list came from but whose bookmarks cannot be read counts as a problem
    // too, so that it is kept aside before it is rewritten.
    if (!Archive::LoadBookmarks(m_bookmarks, meta, &m_bookmarkProblems) && hitsLoaded)
        m_bookmarkProblems.push_back("bookmarks: the file could not be read as a whole");
    if (hitsLoaded) spdlog::info("Metadata loaded. {}", meta.string());
}

bool AnalogSession::OpenReportData(ProgressToken* progress) {
    QVX_CHECK_RETURN(m_status == Status::Draft, false);
    const fs::path repo = GetReportFolderPath();
    if (!FolderExists(repo)) {
        spdlog::error("File not found: {}", repo.string());
        return false;
    }
    m_status = Status::ReportOpened;
    m_reportData = ReportDataReader::Open(repo, progress);
    return static_cast<bool>(m_reportData);
}

void AnalogSession::UpdateTestStartTime(std::int64_t seconds, std::int32_t nanoseconds) {
    QVX_CHECK(m_status == Status::Draft);
    const fs::path repo = GetReportFolderPath();
    // Failures are logged by the reader and go no further.
    if (FolderExists(repo)) ReportDataReader::UpdateHeader(repo, seconds, nanoseconds);
}

bool AnalogSession::SaveRecordingSettings() const {
    AnalogSettings settings = *m_settings;  // saving stamps the class version on its argument
    return Archive::Save(settings, GetRecordingSettingsPath());
}

bool AnalogSession::SaveMetadata() {
    const fs::path meta = GetReportFolderPath() / kMetadataFileName;
    if (!m_bookmarkProblems.empty()) KeepUnreadableMetadata(meta);
    if (!Archive::SaveMetadata(*m_displayTriggerList, m_bookmarks, meta)) return false;
    m_bookmarksChanged = false;
    return true;
}

// Copies "meta" to "meta.unreadable" unless that exists: the bookmarks that did not load
// are then still on disk for the user to mend.
void AnalogSession::KeepUnreadableMetadata(const fs::path& meta) {
    const fs::path kept = fs::path(meta).concat(".unreadable");
    std::error_code ec;
    if (fs::exists(kept, ec) || !fs::exists(meta, ec)) return;
    if (fs::copy_file(meta, kept, ec))
        spdlog::warn("The bookmarks that did not load are kept in {}", kept.string());
    else
        spdlog::error("Cannot keep {} as {}: {}", meta.string(), kept.string(), ec.message());
}

bool AnalogSession::DeleteReportFiles() {
    const fs::path repo = GetReportFolderPath();
    std::vector<fs::path> entries;
    std::error_code ec;
    // List first, then remove: removing while iterating may skip entries.
    for (fs::directory_iterator it(repo, ec), end; !ec && it != end; it.increment(ec)) {
        entries.push_back(it->path());
    }
    if (ec) {
        const fs::filesystem_error error("directory_iterator::directory_iterator", repo, ec);
        spdlog::default_logger_raw()->log(spdlog::source_loc{__FILE__, __LINE__, __func__},
                                          spdlog::level::err, error.what());
        return false;
    }
    for (const fs::path& entry : entries) {
        fs::remove(entry, ec);
        if (ec) {
            const fs::filesystem_error error("remove", entry, ec);
            spdlog::default_logger_raw()->log(spdlog::source_loc{__FILE__, __LINE__, __func__},
                                              spdlog::level::err, error.what());
            return false;
        }
    }
    return true;
}

std::optional<std::string> AnalogSession::CheckSaveDestination(const fs::path& settingFilePath) {
    std::error_code ec;
    if (!settingFilePath.has_filename() || fs::is_directory(settingFilePath, ec))
        return settingFilePath.string() + " is a folder, not a settings file name";
    const fs::path folder = FolderOf(settingFilePath);
    if (!fs::is_directory(folder, ec)) return "no folder " + folder.string();
    // Permissions alone do not tell (a read-only mount, or root): try it.
    std::string probe = (folder / ".qvx-save-probe-XXXXXX").string();
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) return "cannot create files in " + folder.string() + ": " + std::strerror(errno);
    ::close(fd);
    fs::remove(probe, ec);
    return std::nullopt;
}

bool AnalogSession::IsOwnFile(const fs::path& path) const {
    const fs::path resolved = ResolvedPath(path);
    const fs::path repo = GetReportFolderPath();
    if (IsInsideFolder(resolved, ResolvedPath(repo))) return true;
    if (!m_settingFilePath.empty() &&
        (resolved == ResolvedPath(m_settingFilePath) || SameFile(path, m_settingFilePath)))
        return true;
    std::error_code ec;
    if (!fs::exists(path, ec)) return false;
    for (fs::directory_iterator it(repo, ec), end; !ec && it != end; it.increment(ec)) {
        if (SameFile(path, it->path())) return true;
    }
    return false;
}

// Report data goes along for a new session, and for an opened one whose report data
// is of the current format, unless it is empty or already beside `settingFilePath`.
bool AnalogSession::CarriesReportTo(const fs::path& settingFilePath) const {
    const std::uint32_t version = m_settings->GetClassVersion();
    const fs::path repo = GetReportFolderPath();
    if (!(version == 0 || (FolderExists(repo) && version >= 4))) return false;
    std::error_code ec;
    fs::directory_iterator it(repo, ec);
    if (ec) ThrowFileSystemError("directory_iterator::directory_iterator", repo, ec);
    if (it == fs::directory_iterator()) return false;
    // Destination folder without trailing separators.
    const fs::path destinationFolder = FolderOf(settingFilePath.lexically_normal()).lexically_normal();
    const bool alreadyThere = (!m_settingFilePath.empty() && SamePath(settingFilePath, m_settingFilePath)) ||
                              SamePath(destinationFolder / kReportFolderName, repo);
    return !alreadyThere;
}

// Bytes the copy of `datFiles`, "meta" and the settings file take on the destination.
std::uintmax_t AnalogSession::BytesNeededToCopy(const std::vector<fs::path>& datFiles) const {
    std::uintmax_t total = kAllocationUnit;  // the "repo" folder itself
    for (const fs::path& file : datFiles) {
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(file, ec);
        if (ec) ThrowFileSystemError("file_size", file, ec);
        total += AllocatedBytes(size);
    }
    total += AllocatedBytes(kMetaFrameBytes + kMetaBytesPerHit * m_displayTriggerList->size());
    const auto settingsText = Archive::ToText(*m_settings);
    total += AllocatedBytes(settingsText ? settingsText->size() : kAllocationUnit);
    return total;
}

// Copies the ".DAT" files and the hit list into destinationFolder/"repo". False with
// `outResult` kNotEnoughSpace when the volume lacks room for them and the settings
// file, or kSaveFailed when the folder already holds a "repo"; nothing is created
// then. A failure after "repo" was created removes it again.
bool AnalogSession::CopyReportData(const fs::path& destinationFolder, ProgressToken* progress,
                                   int& outResult) {
    const fs::path destinationRepo = destinationFolder / kReportFolderName;
    const std::vector<fs::path> files = ReportDataReader::CollectDATFiles(GetReportFolderPath());
    if (m_freeSpaceQuery(destinationFolder) < BytesNeededToCopy(files)) {
        outResult = kNotEnoughSpace;
        return false;
    }

    std::error_code ec;
    if (!fs::create_directory(destinationRepo, ec)) {
        if (ec) ThrowFileSystemError("create_directory", destinationRepo, ec);
        spdlog::error("{} already holds report data.", destinationFolder.string());
        outResult = kSaveFailed;
        return false;
    }
    try {
        const auto total = static_cast<std::int64_t>(files.size());
        std::int64_t copied = 0;
        for (const fs::path& file : files) {
            const fs::path target = destinationRepo / file.filename();
            fs::copy_file(file, target, fs::copy_options::none, ec);  // an existing file is an error
            if (ec) ThrowFileSystemError("copy", file, target, ec);
            ++copied;
            if (progress) progress->SetProgress(copied, total);
        }
    } catch (...) {
        RemoveCopiedReport(destinationRepo);
        throw;
    }
    const fs::path meta = destinationRepo / kMetadataFileName;
    if (!Archive::SaveMetadata(*m_displayTriggerList, m_bookmarks, meta)) {
        RemoveCopiedReport(destinationRepo);
        outResult = kSaveFailed;
        return false;
    }
    spdlog::info("Metadata saved. {}", meta.string());
    return true;
}

bool AnalogSession::WillMoveReportTo(const fs::path& settingFilePath) const {
    if (!m_freshRecording || !CarriesReportTo(settingFilePath)) return false;
    struct stat from {};
    struct stat to {};
    const fs::path destinationFolder = FolderOf(settingFilePath.lexically_normal());
    return ::stat(GetReportFolderPath().c_str(), &from) == 0 && ::stat(destinationFolder.c_str(), &to) == 0 &&
           from.st_dev == to.st_dev;
}

// Renames "repo" (and its overviews, best effort) into `destinationFolder`, with the hit
// list written into it first. kCopyInstead when the volume refuses the rename (another
// mount of it); kFailed (logged) when the destination holds a "repo" or the rename fails.
AnalogSession::MoveResult AnalogSession::MoveReportData(const fs::path& destinationFolder) {
    const fs::path repo = GetReportFolderPath();
    const fs::path destinationRepo = destinationFolder / kReportFolderName;
    std::error_code ec;
    if (fs::exists(destinationRepo, ec)) {
        spdlog::error("{} already holds report data.", destinationFolder.string());
        return MoveResult::kFailed;
    }
    if (!SaveMetadata()) return MoveResult::kFailed;
    fs::rename(repo, destinationRepo, ec);
    if (ec == std::errc::cross_device_link) return MoveResult::kCopyInstead;
    if (ec) {
        spdlog::error("Cannot move {} to {}: {}", repo.string(), destinationRepo.string(), ec.message());
        return MoveResult::kFailed;
    }
    fs::rename(ReportOverviewStore::SiblingFolder(repo), ReportOverviewStore::SiblingFolder(destinationRepo),
               ec);  // a missing overview is rebuilt when the report is opened
    spdlog::info("Report data moved to {}", destinationRepo.string());
    return MoveResult::kMoved;
}

// Undoes MoveReportData after the settings file could not be written.
void AnalogSession::MoveReportBack(const fs::path& destinationFolder) {
    const fs::path repo = GetReportFolderPath();
    const fs::path destinationRepo = destinationFolder / kReportFolderName;
    std::error_code ec;
    fs::rename(destinationRepo, repo, ec);
    if (ec) {
        spdlog::error("Cannot move the report data back from {} to {}: {}", destinationRepo.string(),
                      repo.string(), ec.message());
        return;
    }
    fs::rename(ReportOverviewStore::SiblingFolder(destinationRepo), ReportOverviewStore::SiblingFolder(repo),
               ec);
}

int AnalogSession::SaveAs(const fs::path& settingFilePath, ProgressToken* progress) {
    QVX_CHECK_RETURN(!settingFilePath.empty(), kSaveFailed);
    if (const auto problem = CheckSaveDestination(settingFilePath)) {
        spdlog::error("Cannot save the session as {}: {}", settingFilePath.string(), *problem);
        return kSaveFailed;
    }
    const fs::path destinationFolder = FolderOf(settingFilePath.lexically_normal()).lexically_normal();
    fs::path copiedRepo;
    bool moved = false;
    if (WillMoveReportTo(settingFilePath)) {
        const MoveResult result = MoveReportData(destinationFolder);
        if (result == MoveResult::kFailed) return kSaveFailed;
        moved = result == MoveResult::kMoved;
    }
    if (!moved && CarriesReportTo(settingFilePath)) {
        int result = kSaved;
        if (!CopyReportData(destinationFolder, progress, result)) return result;
        copiedRepo = destinationFolder / kReportFolderName;
    }
    // Bookmarks changed in a session saved where its report already is.
    if (!moved && copiedRepo.empty() && m_bookmarksChanged && FolderExists(GetReportFolderPath()) &&
        !SaveMetadata())
        return kSaveFailed;
    if (!Archive::Save(*m_settings, settingFilePath)) {
        if (!copiedRepo.empty()) RemoveCopiedReport(copiedRepo);
        if (moved) MoveReportBack(destinationFolder);
        return kSaveFailed;
    }
    if (moved || !copiedRepo.empty()) m_bookmarksChanged = false;
    // Last and best effort, so that the overviews never take the room the session needs;
    // a missing one is rebuilt when the copy is opened.
    if (!copiedRepo.empty())
        ReportOverviewStore::CopyFor(ReportDataReader::CollectDATFiles(GetReportFolderPath()), copiedRepo);
    if (m_freshRecording) {
        // The recording is saved: its old folder no longer holds a recording to recover.
        std::error_code ec;
        fs::remove(GetRecordingSettingsPath(), ec);
    }
    if (moved && m_reportData) m_reportData->Relocate(destinationFolder / kReportFolderName);
    m_freshRecording = false;
    m_settingFilePath = settingFilePath;
    m_folderPath = FolderOf(settingFilePath);
    return kSaved;
}

}  // namespace qvx
