#include "QVxCore/Recovery/OrphanedRecordings.h"

#include "QVxCore/AnalogSession.h"
#include "QVxCore/Archive.h"
#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportData.h"

#include <spdlog/spdlog.h>

#include <algorithm>

namespace fs = std::filesystem;

namespace qvx {

fs::path OrphanedRecording::SettingsFile() const {
    return folder / AnalogSession::kRecordingSettingsFileName;
}

fs::path OrphanedRecording::DamagedSettingsFile() const {
    fs::path kept = SettingsFile();
    kept += ".damaged";
    return kept;
}

namespace OrphanedRecordings {
namespace {

std::vector<fs::path> DataFilesOf(const fs::path& repo) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(repo, ec), end; !ec && it != end; it.increment(ec)) {
        if (IsReportDataFileName(it->path()) && !it->is_directory(ec)) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

void SetProblem(OrphanedRecording& recording, OrphanedRecording::Problem kind, std::string text) {
    recording.problemKind = kind;
    recording.problem = std::move(text);
}

// Sizes, then what the reader makes of the files; a folder it refuses keeps the sizes
// and says why.
void Inspect(OrphanedRecording& recording, const std::vector<fs::path>& files) {
    const fs::path repo = recording.folder / AnalogSession::kReportFolderName;
    std::uint64_t shortFiles = 0;
    for (const fs::path& file : files) {
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(file, ec);
        if (ec) continue;
        recording.bytes += size;
        if (size < kReportHeaderSize) ++shortFiles;
    }
    if (files.empty()) {
        SetProblem(recording, OrphanedRecording::Problem::kNoDataFiles, "no report data files");
        return;
    }
    const ReportDataReaderPtr reader = ReportDataReader::Open(repo);
    if (!reader && shortFiles > 0) {
        SetProblem(recording, OrphanedRecording::Problem::kShortDataFiles,
                   std::to_string(shortFiles) + " data file(s) shorter than a header");
        return;
    }
    if (!reader) {
        SetProblem(recording, OrphanedRecording::Problem::kUnreadable, "the report data cannot be read");
        return;
    }
    recording.readable = true;
    for (const auto& file : reader->GetFiles()) {
        if (file->IsPlaceholder()) continue;
        recording.records += file->GetRecordCount();
        recording.tornBytes += file->GetTornBytes();
    }
    recording.startTimeNs = reader->GetStartTimeNs();
    recording.lengthNs = TicksToNs(reader->GetLastTime());
    if (recording.tornBytes > 0)
        SetProblem(recording, OrphanedRecording::Problem::kTornTail,
                   "the last " + std::to_string(recording.tornBytes) + " bytes are no whole record");
}

bool HoldsNothing(const fs::path& folder, const std::vector<fs::path>& files) {
    if (!files.empty()) return false;
    std::error_code ec;
    if (fs::exists(folder / AnalogSession::kRecordingSettingsFileName, ec)) return false;
    // Only an empty "repo" (and nothing else) may be there.
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename() != AnalogSession::kReportFolderName) return false;
        if (!fs::is_empty(it->path(), ec)) return false;
    }
    return !ec;
}

}  // namespace

bool IsInstanceId(const std::string& name) {
    return name.size() == 32 && std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

std::vector<OrphanedRecording> List(const fs::path& cacheFolder) {
    std::vector<std::pair<fs::file_time_type, OrphanedRecording>> found;
    std::error_code ec;
    for (fs::directory_iterator it(cacheFolder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code entryEc;
        if (!IsInstanceId(name) || !it->is_directory(entryEc)) continue;
        FolderLock lock;
        if (!lock.TryLock(it->path())) continue;  // a running program's, or unreadable
        const fs::path repo = it->path() / AnalogSession::kReportFolderName;
        const std::vector<fs::path> files = DataFilesOf(repo);
        if (HoldsNothing(it->path(), files)) {
            fs::remove_all(it->path(), entryEc);
            continue;
        }
        OrphanedRecording recording;
        recording.id = name;
        recording.folder = it->path();
        const bool settingsThere = fs::exists(recording.SettingsFile(), entryEc);
        AnalogSettings settings;
        recording.hasSettings = settingsThere && Archive::Load(settings, recording.SettingsFile());
        if (!fs::is_directory(repo, entryEc))
            SetProblem(recording, OrphanedRecording::Problem::kNoReportFolder, "no \"repo\" folder");
        else
            Inspect(recording, files);
        if (!settingsThere && recording.problem.empty())
            SetProblem(recording, OrphanedRecording::Problem::kNoSettings,
                       "no settings file; the default settings are used");
        if (settingsThere && !recording.hasSettings && recording.problem.empty())
            SetProblem(recording, OrphanedRecording::Problem::kDamagedSettings,
                       "the settings file is damaged; the default settings are used");
        found.emplace_back(fs::last_write_time(it->path(), entryEc), std::move(recording));
    }
    if (ec) spdlog::warn("The cache folder {} cannot be listed: {}", cacheFolder.string(), ec.message());
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<OrphanedRecording> recordings;
    for (auto& entry : found) recordings.push_back(std::move(entry.second));
    return recordings;
}

std::optional<FolderLock> Claim(const OrphanedRecording& recording) {
    FolderLock lock;
    if (!lock.TryLock(recording.folder)) return std::nullopt;
    return lock;
}

bool Discard(const OrphanedRecording& recording, std::string& error) {
    auto lock = Claim(recording);
    if (!lock) {
        error = recording.folder.string() + " is in use by a running program";
        return false;
    }
    std::error_code ec;
    fs::remove_all(recording.folder, ec);
    if (ec) {
        error = "cannot remove " + recording.folder.string() + ": " + ec.message();
        return false;
    }
    return true;
}

bool EnsureSettingsFile(const OrphanedRecording& recording, std::string& error, fs::path* keptDamaged) {
    std::error_code ec;
    if (fs::exists(recording.SettingsFile(), ec)) {
        AnalogSettings settings;
        if (Archive::Load(settings, recording.SettingsFile())) return true;
        // Damaged: kept aside, so that nothing of it is lost, and replaced by the defaults.
        fs::rename(recording.SettingsFile(), recording.DamagedSettingsFile(), ec);
        if (ec) {
            error = "cannot move the damaged settings file " + recording.SettingsFile().string() +
                    " aside: " + ec.message();
            return false;
        }
        spdlog::warn("The settings file {} is damaged; it is kept as {} and the default settings are used.",
                     recording.SettingsFile().string(), recording.DamagedSettingsFile().string());
        if (keptDamaged) *keptDamaged = recording.DamagedSettingsFile();
    }
    AnalogSettings defaults;
    if (Archive::Save(defaults, recording.SettingsFile())) return true;
    error = "cannot write the settings file " + recording.SettingsFile().string();
    return false;
}

}  // namespace OrphanedRecordings

}  // namespace qvx
