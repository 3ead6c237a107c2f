#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"

#include "QV+AnalogCore/Presenters/QVxAnalogStartParams.h"
#include "QV+AnalogCore/QVxAppStrings.h"
#include "QVxCore/Presenters/Interaction.h"
#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportFile.h"
#include "QVxCore/ReportData/ReportOverviewStore.h"
#include "QVxCore/ReportQuery.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxCore/Utils.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinCommon/QVxNotification.h"

#include <spdlog/spdlog.h>
#include <algorithm>

namespace fs = std::filesystem;

namespace {

// Result codes of the open task before the task has run.
constexpr int kOpenNotRun = 2;

}  // namespace

bool QVxAnalogViewModel::FolderExists(const fs::path& folder) {
    std::error_code ec;
    return !folder.empty() && fs::is_directory(folder, ec);
}

QVxAnalogViewModel::QVxAnalogViewModel() {
    // A recording never saved keeps its bookmarks in its "meta" at once, for a recovery.
    m_bookmarks.SetWriteThroughQuery([this] { return HasUnsavedRecording(); });
}

QVxAnalogViewModel::~QVxAnalogViewModel() {
    m_oscilloGraph.reset();
    m_deviceManagerViewModel.reset();
    m_collector.reset();
}

bool QVxAnalogViewModel::Init(qvx::AnalogEnvData* envData,
                              const qvx::AnalogEnvData::CacheFolderRepair& repair,
                              const InitOptions& options) {
    QVX_CHECK_RETURN(envData, false);
    QVX_CHECK_RETURN(!m_collector, false);
    QVPlus_SetLogCallback(&QVxDeviceManager::LogCallback, nullptr);

    m_collector = std::make_unique<QVxAnalogLogCollector>(this);
    const fs::path bitStream =
        options.bitStreamPath.empty() ? qvx::AnalogEnvData::GetFirmwarePath() : options.bitStreamPath;
    m_deviceManagerViewModel = std::make_unique<QVxAnalogDeviceManagerViewModel>(
        this, std::make_unique<QVxDeviceManager>(QVxDeviceManager::kAnalogCaptureMode, bitStream));
    // The last block of a capture (stop size or stop time reached on the unit, or
    // the drain after a stop) starts the watch for the end of the acquisition.
    QVxDeviceManager* manager = m_deviceManagerViewModel->GetDeviceManager();
    m_collector->SetCaptureEndedHandler([manager] { manager->StartMonitor(); });

    m_envData = envData;
    if (!envData->LoadPrefsAndRepair(repair)) return false;
    if (!ReloadCacheFolder()) return false;
    return NewSession(nullptr);
}

bool QVxAnalogViewModel::ReloadCacheFolder() {
    QVX_CHECK_RETURN(m_envData, false);
    const auto sessionFolder = m_envData->GetSessionFolder();
    if (!sessionFolder) return false;
    m_cacheFolderPath = *sessionFolder;
    if (m_collector) m_collector->SetFreeSpaceFolder(m_cacheFolderPath);
    // Overviews of reports whose own folder cannot be written go to the cache folder,
    // beside the recordings, rather than to the home folder.
    qvx::ReportOverviewStore::SetCacheRoot(m_envData->GetCacheFolderPath());
    return true;
}

void QVxAnalogViewModel::Shutdown() {
    if (m_envData) m_envData->SavePrefs();
    if (m_deviceManagerViewModel) {
        m_deviceManagerViewModel->JoinConnectionThread();
        if (isTracing()) {
            // The trace cannot end normally any more: release the unit directly, then close
            // the files as the end of a trace does, so the recording keeps every record
            // taken in and its hits.
            if (QVxDeviceManager* manager = GetDeviceManager(); manager->IsOpened()) manager->Close();
            CloseRecording();
        }
        if (auto device = m_deviceManagerViewModel->GetConnectingDevice()) {
            m_deviceManagerViewModel->Disconnect(device);
        }
    }
    m_bookmarks.Bind(nullptr);
    m_displayTriggerPresenter.Setup(nullptr, nullptr);
    m_oscilloGraph.reset();
    m_session.reset();
    LetGoOfRecoveredFolder();
}

// The end of a trace, normal or cut short by the shutdown once the unit delivers no more: the
// last file's header and overview are written and the hits stored beside the records, so a
// recovery finds them complete.
void QVxAnalogViewModel::CloseRecording() {
    m_collector->CloseWriter();
    StoreHitsBesideRecording();
    m_unsavedRecording = GetRecordCount() > 0;
    m_traceState = kIdle;
}

// The hits go beside the records at once, as the settings did at the start: a recording
// left unsaved by a crash or a shutdown is recovered with both.
void QVxAnalogViewModel::StoreHitsBesideRecording() {
    std::lock_guard lock(m_mutex);
    if (m_session && !m_session->SaveMetadata())
        spdlog::warn("The trace's display trigger hits could not be kept beside its recording in {}.",
                     m_session->GetReportFolderPath().string());
}

QVxDeviceManager* QVxAnalogViewModel::GetDeviceManager() const {
    return m_deviceManagerViewModel ? m_deviceManagerViewModel->GetDeviceManager() : nullptr;
}

// --- Can-rules ----------------------------------------------------------------

bool QVxAnalogViewModel::CanNewSession() const {
    return !isTracing();
}
bool QVxAnalogViewModel::CanOpenSession() const {
    return !isTracing();
}
bool QVxAnalogViewModel::CanSaveSession() const {
    return m_traceState.load() == kIdle && m_session != nullptr;
}
bool QVxAnalogViewModel::CanStartTrace() const {
    return m_traceState.load() == kIdle;
}
bool QVxAnalogViewModel::CanStopTrace() const {
    return isTracing();
}

bool QVxAnalogViewModel::isTracing() const {
    const TraceState state = m_traceState.load();
    return state == kTracing || state == kStopping;
}

qvx::AnalogSettings* QVxAnalogViewModel::GetSessionSettings() const {
    return m_session ? &m_session->GetSettings() : nullptr;
}

std::optional<std::int64_t> QVxAnalogViewModel::GetClockTimeOrigin() const {
    if (!m_clockTimeShown) return std::nullopt;
    constexpr std::int64_t kNsPerSecond = 1'000'000'000;
    const qvx::ReportDataReader* reader = m_session ? m_session->GetReportData().get() : nullptr;
    if (m_traceState.load() == kIdle && reader) {
        if (reader->GetStartSeconds() == 0 && reader->GetStartNanoseconds() == 0) return std::nullopt;
        return reader->GetStartTimeNs();
    }
    if (m_startTimestampKnown) return m_startSeconds * kNsPerSecond + m_startNanoseconds;
    return std::nullopt;
}

std::uint32_t QVxAnalogViewModel::GetTriggersFound() const {
    std::lock_guard lock(m_mutex);
    return m_analyzer.GetTriggersFound();
}

qvx::AnalogDisplayTriggerList QVxAnalogViewModel::CopyDisplayTriggerHits(std::size_t from) const {
    std::lock_guard lock(m_mutex);
    if (!m_session) return {};
    const qvx::AnalogDisplayTriggerList& hits = m_session->GetDisplayTriggerList();
    if (from >= hits.size()) return {};
    return qvx::AnalogDisplayTriggerList(hits.begin() + static_cast<std::ptrdiff_t>(from), hits.end());
}

std::optional<qvx::AnalogDisplayTriggerItem> QVxAnalogViewModel::CopyDisplayTriggerHit(
    std::size_t row) const {
    std::lock_guard lock(m_mutex);
    if (!m_session || row >= m_session->GetDisplayTriggerList().size()) return std::nullopt;
    return m_session->GetDisplayTriggerList()[row];
}

std::size_t QVxAnalogViewModel::GetStoredDisplayTriggerHitCount() const {
    std::lock_guard lock(m_mutex);
    return m_session ? m_session->GetDisplayTriggerList().size() : 0;
}

std::optional<std::size_t> QVxAnalogViewModel::FindDisplayTriggerHit(std::uint64_t dataIndex,
                                                                     std::size_t rows) const {
    std::lock_guard lock(m_mutex);
    if (!m_session) return std::nullopt;
    const qvx::AnalogDisplayTriggerList& hits = m_session->GetDisplayTriggerList();
    const auto end = hits.begin() + static_cast<std::ptrdiff_t>(std::min(rows, hits.size()));
    const auto found = std::find_if(hits.begin(), end, [dataIndex](const qvx::AnalogDisplayTriggerItem& hit) {
        return hit.dataIndex >= 0 && static_cast<std::uint64_t>(hit.dataIndex) == dataIndex;
    });
    if (found == end) return std::nullopt;
    return static_cast<std::size_t>(found - hits.begin());
}

// --- Sessions -----------------------------------------------------------------

void QVxAnalogViewModel::ReplaceSession(std::unique_ptr<qvx::AnalogSession> session) {
    m_bookmarks.Bind(nullptr);
    m_sessionFolderLock.Unlock();
    m_displayTriggerPresenter.Setup(nullptr, nullptr);
    m_oscilloGraph.reset();  // it points at the old session's settings
    m_session = std::move(session);
    ++m_sessionSerial;
    LetGoOfRecoveredFolder();
    m_unsavedRecording = false;
    if (!m_session) return;
    m_oscilloGraph = std::make_unique<QVxAnalogOscilloGraphViewModel>(this);
    m_oscilloGraph->EnableBackgroundIndexing(true);
    m_displayTriggerPresenter.Setup(m_oscilloGraph.get(), &m_session->GetSettings());
    m_bookmarks.Bind(m_session.get());
}

bool QVxAnalogViewModel::NewSession(const qvx::AnalogSettings* settings) {
    QVX_CHECK_RETURN(CanNewSession(), false);
    auto session = std::make_unique<qvx::AnalogSession>();
    bool created = false;
    try {
        created = session->NewInternal(m_cacheFolderPath);
    } catch (const fs::filesystem_error& e) {
        spdlog::error("{}", e.what());
    }
    if (!created) {
        ReplaceSession(nullptr);
        // The views still hold the old session's oscillograph: they must let go of it.
        SessionChanged.Emit();
        return false;
    }
    if (settings) {
        session->GetSettings() = *settings;
        // New data in the current format: saving must copy it whatever version the
        // settings were loaded with.
        session->GetSettings().SetClassVersion(0);
    }
    ReplaceSession(std::move(session));
    SessionChanged.Emit();
    return true;
}

// The session is read before an unsaved recording is given up for it: a file that does
// not open leaves the recording and the view as they were.
bool QVxAnalogViewModel::OpenSession(const fs::path& settingFilePath) {
    QVX_CHECK_RETURN(CanOpenSession(), false);
    int code = kOpenNotRun;
    std::unique_ptr<qvx::AnalogSession> opened;
    qvx::Interaction::Run([&](qvx::ProgressToken* progress) {
        auto session = std::make_unique<qvx::AnalogSession>();
        try {
            if (session->OpenInternal(settingFilePath, progress, code)) opened = std::move(session);
        } catch (const fs::filesystem_error& e) {
            spdlog::error("{}", e.what());
        }
    });
    if (!opened) return false;
    if (!ConfirmReplacingRecording(ReplacingRecording::kOpenSession)) return false;
    if (code == qvx::AnalogSession::kOpenedReportTooOld) {
        QVxNotification::ShowText(QVxLoadAppString(kAppStringReportTooOld));
    }
    if (const auto& problems = opened->GetBookmarkProblems(); !problems.empty()) {
        std::string text(QVxLoadAppString(kAppStringBookmarksNotLoaded));
        text.replace(text.find("%1"), 2, problems.front());
        QVxNotification::ShowText(text);
    }
    ReplaceSession(std::move(opened));
    HoldSessionFolder();
    if (const auto& reader = m_session->GetReportData()) m_oscilloGraph->SetupForStoredData(reader);
    SessionChanged.Emit();
    return true;
}

bool QVxAnalogViewModel::SaveAsSession(const fs::path& settingFilePath) {
    m_lastSaveAsResult = qvx::AnalogSession::kSaveFailed;
    QVX_CHECK_RETURN(CanSaveSession(), false);
    if (HasMissingReportData()) {
        spdlog::error("The recording's data files are gone from {}: the session is not saved as {}.",
                      m_session->GetReportFolderPath().string(), settingFilePath.string());
        return false;
    }
    int& result = m_lastSaveAsResult;
    qvx::AnalogSession* session = m_session.get();
    auto save = [&](qvx::ProgressToken* progress) {
        try {
            result = session->SaveAs(settingFilePath, progress);
        } catch (const fs::filesystem_error& e) {
            spdlog::error("{}", e.what());
            result = qvx::AnalogSession::kSaveFailed;
        }
    };
    // A move is a rename: instant, and on this thread, so the report is never read from a
    // path that is changing under it. A copy takes long and runs behind the progress display.
    if (session->WillMoveReportTo(settingFilePath))
        save(nullptr);
    else
        qvx::Interaction::Run(save);
    if (result == qvx::AnalogSession::kNotEnoughSpace)
        QVxNotification::ShowGuiMessage(kGuiStringNotEnoughSpace);
    if (result != qvx::AnalogSession::kSaved) return false;
    m_unsavedRecording = false;
    if (!m_recoveredFolder.empty()) m_recoveredSaved = true;
    HoldSessionFolder();
    return true;
}

void QVxAnalogViewModel::HoldSessionFolder() {
    const fs::path folder = m_session ? m_session->GetFolderPath() : fs::path();
    if (folder.empty() || m_session->GetSettingFilePath().empty()) return;
    if (!m_sessionFolderLock.TryLock(folder))
        spdlog::info("The session folder {} is held by another program.", folder.string());
}

// --- Views and peers ----------------------------------------------------------

void QVxAnalogViewModel::SyncViewsToDataIndex(std::uint64_t index, const void* origin, std::int32_t option) {
    QVX_CHECK(m_session);
    const auto& reader = m_session->GetReportData();
    if (!reader || reader->GetFiles().empty()) return;
    const auto& files = reader->GetFiles();
    const auto first = static_cast<std::size_t>(reader->GetFirstFileIndex());
    if (first >= files.size()) return;
    if (index < files[first]->GetFirstIndex() || index > files.back()->GetLastIndex()) return;
    const std::uint8_t* record = reader->ReadRecordByIndex(index);
    if (!record) return;
    const QVxViewSyncParams params{qvx::RecordTimeNs(record), index, origin, option};
    ViewSync.Emit(params);
}

void QVxAnalogViewModel::SyncViewsToTime(std::int64_t time, const void* origin) {
    QVX_CHECK(m_session);
    const auto& reader = m_session->GetReportData();
    std::uint64_t index = 0;
    std::uint64_t found = 0;
    if (!reader || time < 0 || !reader->FindIndexByTime(static_cast<std::uint64_t>(time) / 10, index, found))
        return;
    ViewSync.Emit(QVxViewSyncParams{time, index, origin, 0});
}

namespace {

// Absolute, normal form without a trailing separator; symbolic links resolved as
// far as the path exists.
fs::path ComparablePath(const fs::path& path) {
    std::error_code ec;
    fs::path result = fs::weakly_canonical(path, ec);
    if (ec) result = fs::absolute(path, ec).lexically_normal();
    if (!result.has_filename() && result.has_parent_path() && result != result.root_path())
        result = result.parent_path();
    return result;
}

}  // namespace

bool QVxAnalogViewModel::IsPathInside(const fs::path& path, const fs::path& folder) {
    if (path.empty() || folder.empty()) return false;
    const fs::path p = ComparablePath(path);
    const fs::path f = ComparablePath(folder);
    auto pi = p.begin();
    for (auto fi = f.begin(); fi != f.end(); ++fi, ++pi) {
        if (fi->empty()) continue;  // a trailing separator
        if (pi == p.end() || *pi != *fi) return false;
    }
    return true;
}

bool QVxAnalogViewModel::IsReportInSession(const fs::path& reportPath) const {
    if (isTracing() || !m_session) return false;
    if (!FolderExists(m_session->GetReportFolderPath())) return false;
    return IsPathInside(reportPath, m_session->GetFolderPath());
}

bool QVxAnalogViewModel::HandleReportQuery(const fs::path& queryFilePath) {
    const std::optional<qvx::ReportQuery> query = qvx::ReadReportQuery(queryFilePath);
    if (!query) return false;
    const bool isOpen = IsReportInSession(fs::path(query->reportFullPath));
    return qvx::WriteReportQueryResult(fs::path(query->commandResultFilePath), isOpen);
}
