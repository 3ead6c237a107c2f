// The analog view model's unsaved recordings: keeping one for later, discarding it, and
// opening a recording an ended run left behind. GUI thread.

#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"

#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportOverviewStore.h"
#include "QVxCore/Utils.h"

#include <spdlog/spdlog.h>

namespace fs = std::filesystem;

// --- Unsaved recordings -------------------------------------------------------

bool QVxAnalogViewModel::HasUnsavedRecording() const {
    return m_unsavedRecording && m_session != nullptr;
}

bool QVxAnalogViewModel::HasMissingReportData() const {
    if (!m_session || isTracing()) return false;
    const qvx::ReportDataReaderPtr& reader = m_session->GetReportData();
    std::error_code ec;
    if (!reader) return HasUnsavedRecording() && !fs::is_directory(m_session->GetReportFolderPath(), ec);
    for (const auto& file : reader->GetFiles()) {
        if (file && !file->IsPlaceholder() && !fs::is_regular_file(file->GetPath(), ec)) return true;
    }
    return false;
}

bool QVxAnalogViewModel::ConfirmReplacingRecording(ReplacingRecording what) {
    if (HasUnsavedBookmarks() && m_bookmarksGuard && !m_bookmarksGuard(what)) return false;
    if (!HasUnsavedRecording()) return true;
    if (m_unsavedGuard && !m_unsavedGuard(what)) return false;
    if (HasUnsavedRecording()) DiscardRecording();
    return true;
}

void QVxAnalogViewModel::DiscardRecording() {
    if (!m_session) return;
    m_unsavedRecording = false;
    std::error_code ec;
    if (!m_recoveredFolder.empty()) {
        fs::remove_all(m_recoveredFolder, ec);
        if (ec) spdlog::error("Cannot remove the recording {}: {}", m_recoveredFolder.string(), ec.message());
        m_recoveredLock.Unlock();
        m_recoveredFolder.clear();
    } else {
        m_session->DeleteReportFiles();
        fs::remove_all(qvx::ReportOverviewStore::SiblingFolder(m_session->GetReportFolderPath()), ec);
        fs::remove(m_session->GetRecordingSettingsPath(), ec);
    }
    // The views must not go on showing (and offering to save) what was deleted: an empty
    // session with the same settings takes its place. During a trace (closing with
    // "don't save") the trace's session stays until the program ends.
    if (CanNewSession()) {
        const qvx::AnalogSettings settings = m_session->GetSettings();
        NewSession(&settings);
    }
}

bool QVxAnalogViewModel::KeepRecordingForLater() {
    if (!HasUnsavedRecording()) return true;
    if (!m_recoveredFolder.empty()) {
        m_recoveredLock.Unlock();
        m_recoveredFolder.clear();
        m_unsavedRecording = false;
        return true;
    }
    // This run's folder goes under a new instance id and is let go; the run records on
    // in a new folder of its own.
    const fs::path folder = m_session->GetFolderPath();
    const qvx::AnalogSettings settings = m_session->GetSettings();
    const std::string newId = qvx::AnalogEnvData::MakeInstanceId();
    std::error_code ec;
    if (newId.empty() || (fs::rename(folder, folder.parent_path() / newId, ec), ec)) {
        spdlog::error("The recording in {} cannot be kept for later: {}", folder.string(), ec.message());
        return false;
    }
    qvx::InstanceFolders::Release(folder);
    m_unsavedRecording = false;
    spdlog::info("The unsaved recording is kept as {}.", (folder.parent_path() / newId).string());
    ReplaceSession(nullptr);
    if (ReloadCacheFolder()) return NewSession(&settings);  // announces the new session
    SessionChanged.Emit();                                  // the views let go of the old one
    return false;
}

// An unsaved recording of this run is given up (OpenSession asks) only once the orphaned
// one has opened.
bool QVxAnalogViewModel::OpenOrphanedRecording(const qvx::OrphanedRecording& recording) {
    QVX_CHECK_RETURN(CanOpenSession(), false);
    auto lock = qvx::OrphanedRecordings::Claim(recording);
    std::string error;
    if (!lock) {
        spdlog::error("{} is in use by a running program.", recording.folder.string());
        return false;
    }
    if (!qvx::OrphanedRecordings::EnsureSettingsFile(recording, error)) {
        spdlog::error("{}", error);
        return false;
    }
    if (!OpenSession(recording.SettingsFile())) return false;
    m_recoveredLock = std::move(*lock);
    m_recoveredFolder = recording.folder;
    m_recoveredSaved = false;
    m_unsavedRecording = true;
    m_session->SetFreshRecording(true);
    SessionChanged.Emit();
    return true;
}

std::vector<qvx::OrphanedRecording> QVxAnalogViewModel::ListOrphanedRecordings() const {
    if (!m_envData || m_envData->GetCacheFolderPath().empty()) return {};
    return qvx::OrphanedRecordings::List(m_envData->GetCacheFolderPath());
}

// The recovered recording's folder goes once its recording is saved elsewhere; unsaved,
// it is let go and found again as an orphaned recording.
void QVxAnalogViewModel::LetGoOfRecoveredFolder() {
    if (m_recoveredFolder.empty()) return;
    if (m_recoveredSaved) {
        std::error_code ec;
        fs::remove_all(m_recoveredFolder, ec);
    }
    m_recoveredLock.Unlock();
    m_recoveredFolder.clear();
    m_recoveredSaved = false;
}
