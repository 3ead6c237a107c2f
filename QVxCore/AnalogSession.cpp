#include "QVxCore/AnalogSession.h"

#include "QVxCore/Archive.h"
#include "QVxCore/Presenters/Interaction.h"
#include "QVxCore/ReportData/ReportOverviewStore.h"
#include "QVxCore/Utils.h"

#include <spdlog/spdlog.h>

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

// Whether two paths name the same file or folder: compared after resolving ".",
// ".." and symbolic links of the parts that exist.
bool SamePath(const fs::path& a, const fs::path& b) {
    std::error_code ea, eb;
    const fs::path ca = fs::weakly_canonical(fs::absolute(a, ea), ea);
    const fs::path cb = fs::weakly_canonical(fs::absolute(b, eb), eb);
    if (ea || eb) return a.lexically_normal() == b.lexically_normal();
    return ca == cb;
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
    if (fs::exists(metaStatus)) {
        // A hit list that cannot be read is logged by the archive and left empty.
        if (Archive::Load(*m_displayTriggerList, meta)) spdlog::info("Metadata loaded. {}", meta.string());
    }
    outCode = kOpenedWithReport;
    return true;
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

// Copies the ".DAT" files and the hit list into destinationFolder/"repo". False with
// `outResult` kNotEnoughSpace when the volume lacks room; nothing is created then.
bool AnalogSession::CopyReportData(const fs::path& destinationFolder, ProgressToken* progress,
                                   int& outResult) {
    const fs::path destinationRepo = destinationFolder / kReportFolderName;
    const std::vector<fs::path> files = ReportDataReader::CollectDATFiles(GetReportFolderPath());
    std::uintmax_t totalBytes = 0;
    for (const fs::path& file : files) {
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(file, ec);
        if (ec) ThrowFileSystemError("file_size", file, ec);
        totalBytes += size;
    }
    if (m_freeSpaceQuery(destinationFolder) < totalBytes) {
        outResult = kNotEnoughSpace;
        return false;
    }

    std::error_code ec;
    fs::create_directory(destinationRepo, ec);
    if (ec) ThrowFileSystemError("create_directory", destinationRepo, ec);
    const auto total = static_cast<std::int64_t>(files.size());
    std::int64_t copied = 0;
    for (const fs::path& file : files) {
        const fs::path target = destinationRepo / file.filename();
        fs::copy_file(file, target, fs::copy_options::none, ec);  // an existing file is an error
        if (ec) ThrowFileSystemError("copy", file, target, ec);
        ++copied;
        if (progress) progress->SetProgress(copied, total);
    }
    ReportOverviewStore::CopyFor(files, destinationRepo);  // best effort: rebuilt when missing
    const fs::path meta = destinationRepo / kMetadataFileName;
    if (Archive::Save(*m_displayTriggerList, meta)) spdlog::info("Metadata saved. {}", meta.string());
    return true;
}

int AnalogSession::SaveAs(const fs::path& settingFilePath, ProgressToken* progress) {
    QVX_CHECK_RETURN(!settingFilePath.empty(), kSaveFailed);

    // Report data goes along for a new session, and for an opened one whose report
    // data is of the current format.
    const std::uint32_t version = m_settings->GetClassVersion();
    const fs::path repo = GetReportFolderPath();
    const bool carriesReport = version == 0 || (FolderExists(repo) && version >= 4);
    if (carriesReport) {
        std::error_code ec;
        fs::directory_iterator it(repo, ec);
        if (ec) ThrowFileSystemError("directory_iterator::directory_iterator", repo, ec);
        const bool repoEmpty = it == fs::directory_iterator();
        // Destination folder without trailing separators.
        const fs::path destinationFolder = FolderOf(settingFilePath.lexically_normal()).lexically_normal();
        const bool alreadyThere =
            (!m_settingFilePath.empty() && SamePath(settingFilePath, m_settingFilePath)) ||
            SamePath(destinationFolder / kReportFolderName, repo);
        if (!repoEmpty && !alreadyThere) {
            int result = kSaved;
            if (!CopyReportData(destinationFolder, progress, result)) return result;
        }
    }

    m_settingFilePath = settingFilePath;
    m_folderPath = FolderOf(settingFilePath);
    return Archive::Save(*m_settings, m_settingFilePath) ? kSaved : kSaveFailed;
}

}  // namespace qvx
