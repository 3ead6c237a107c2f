#pragma once
// The program's central model: the open session, the oscillograph view model
// the waveform window shows, the display trigger analyzer, the log collector and
// the device list. Carries out new / open / save-as of a session, start and stop
// of a trace, the live intake of records, view synchronisation to a data index
// and the answer to a sibling program's report query.
//
// GUI thread, except Broadcast (log collector's thread) and the atomic getters.
// Lock order: the presenter's lock, then m_mutex.

#include "QV+AnalogCore/DataClasses/IQVxLogCollectorHost.h"
#include "QV+AnalogCore/DataClasses/QVxAnalogLogCollector.h"
#include "QV+AnalogCore/Presenters/IQVxAnalogListOwner.h"
#include "QV+AnalogCore/Presenters/IQVxAnalogOscilloGraphOwner.h"
#include "QV+AnalogCore/Presenters/QVxAnalogBookmarks.h"
#include "QV+AnalogCore/Presenters/QVxAnalogDeviceManagerViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogLiveIntake.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QVxCore/AnalogEnvData.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/Presenters/Signal.h"
#include "QVxCore/Presenters/WaveformDisplayTriggerPresenter.h"
#include "QVxCore/QVxAnalogDisplayTriggerAnalyzer.h"
#include "QVxCore/Recovery/OrphanedRecordings.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

struct QVPlusStartParams;

// Argument of view synchronisation.
struct QVxViewSyncParams {
    std::int64_t time = 0;  // ns from the recording start
    std::uint64_t dataIndex = 0;
    const void* origin = nullptr;  // the view that asked
    std::int32_t option = 0;       // 1: asked by the display trigger list
};

class QVxAnalogViewModel : public IQVxLogCollectorHost,
                           public IQVxDeviceManagerOwner,
                           public IQVxAnalogOscilloGraphOwner,
                           public IQVxAnalogListOwner {
public:
    // Trace states (GetTraceState); 2 is not used.
    enum TraceState : std::int32_t { kIdle = 0, kTracing = 1, kStopping = 3 };

    struct InitOptions {
        // FPGA bit-stream; empty: "dload/Tessel.bin" beside the executable.
        std::filesystem::path bitStreamPath;
    };

    QVxAnalogViewModel();
    ~QVxAnalogViewModel() override;
    QVxAnalogViewModel(const QVxAnalogViewModel&) = delete;
    QVxAnalogViewModel& operator=(const QVxAnalogViewModel&) = delete;

    qvx::Signal<> SessionChanged;
    qvx::Signal<> TraceStateChanged;
    qvx::Signal<const QVxViewSyncParams&> ViewSync;

    // Start-up: device library log callback, collector, analyzer, device list,
    // preferences of `envData` (not owned, outlives this object; `repair` is asked
    // when the cache folder is missing) and a first, empty session.
    bool Init(qvx::AnalogEnvData* envData, const qvx::AnalogEnvData::CacheFolderRepair& repair,
              const InitOptions& options = {});
    // The preferences name another cache folder: new sessions and the free-space
    // watch use its session folder from now on. False (logged) when it cannot be made.
    bool ReloadCacheFolder();
    // Saves the preferences, ends the connection thread, disconnects and drops the session.
    void Shutdown();

    bool CanNewSession() const;
    bool CanOpenSession() const;
    bool CanSaveSession() const;
    bool CanStartTrace() const;
    bool CanStopTrace() const;

    // A new session in the cache folder with a copy of `settings` (defaults when null).
    bool NewSession(const qvx::AnalogSettings* settings);
    bool OpenSession(const std::filesystem::path& settingFilePath);
    bool SaveAsSession(const std::filesystem::path& settingFilePath);
    // The last SaveAsSession's AnalogSession::SaveAs code (kSaveFailed when refused
    // before saving); the caller names the failure the view model did not announce.
    int GetLastSaveAsResult() const { return m_lastSaveAsResult; }

    // Records into a fresh session; false when the trace did not start.
    bool StartTrace();

    // --- Unsaved recordings (GUI thread) ---------------------------------------
    // Whether the session holds a recording that was never saved: this run's trace
    // (with at least one record) or an orphaned recording opened with
    // OpenOrphanedRecording.
    bool HasUnsavedRecording() const;
    // What is about to replace an unsaved recording.
    enum class ReplacingRecording : std::int32_t { kNewTrace, kOpenSession };
    // Asked before StartTrace or OpenSession replaces an unsaved recording. It saves the
    // recording, keeps it for later or lets it go, and returns true to go on; false
    // cancels the command and leaves everything as it was. A recording still unsaved
    // when it returns true is discarded. Without a guard the command goes on.
    using UnsavedRecordingGuard = std::function<bool(ReplacingRecording)>;
    void SetUnsavedRecordingGuard(UnsavedRecordingGuard guard) { m_unsavedGuard = std::move(guard); }
    // Asked the same way before changed bookmarks of a saved session are replaced: it saves
    // them or lets them go and returns true to go on; false cancels the command.
    void SetUnsavedBookmarksGuard(UnsavedRecordingGuard guard) { m_bookmarksGuard = std::move(guard); }
    // Deletes the unsaved recording's files (a recovered recording's whole folder); when no
    // trace runs, an empty session with the same settings replaces it (SessionChanged).
    void DiscardRecording();
    // Whether the session shows a recording whose data files are gone from the disk
    // (deleted or moved by someone else): SaveAsSession refuses it.
    bool HasMissingReportData() const;
    // Leaves the unsaved recording on disk as an orphaned recording, found again at the
    // next start, and gives this run a new, empty folder. False (logged) when it could
    // not be set aside; the recording is then still unsaved.
    bool KeepRecordingForLater();
    // Opens an orphaned recording as an unsaved session, holding its folder meanwhile so
    // no other program touches it. False when it is held elsewhere or does not open.
    bool OpenOrphanedRecording(const qvx::OrphanedRecording& recording);
    // The orphaned recordings of the cache folder.
    std::vector<qvx::OrphanedRecording> ListOrphanedRecordings() const;
    // Stops with drain; the trace ends later through OnTraceEnded.
    void StopTrace() override;

    // IQVxLogCollectorHost.
    void Broadcast(const std::uint8_t* records, std::int64_t count) override;
    bool IsStoppingTrace() const override { return m_traceState.load() == kStopping; }
    void OnTraceEnded(QVxAbortType abortType) override;

    // IQVxDeviceManagerOwner.
    bool isTracing() const override;
    // IQVxAnalogOscilloGraphOwner.
    qvx::AnalogSettings* GetSessionSettings() const override;
    bool IsDarkLook() const override { return m_darkLook; }
    void SetDarkLook(bool dark) { m_darkLook = dark; }
    // IQVxAnalogOscilloGraphOwner and IQVxAnalogListOwner: while clock times are shown, the
    // trace's start time during a trace and the report's start time otherwise; none while
    // that is unknown (a report with no start time in its headers).
    std::optional<std::int64_t> GetClockTimeOrigin() const override;
    // Shows times as the time of day instead of the time since the start (off at first).
    void SetClockTimeShown(bool shown) { m_clockTimeShown = shown; }
    bool IsClockTimeShown() const { return m_clockTimeShown; }

    // Emits ViewSync for the record at `index` when the session's report holds it.
    void SyncViewsToDataIndex(std::uint64_t index, const void* origin, std::int32_t option);
    // Emits ViewSync for `time` ns (a bookmark's), with the record at or before it.
    void SyncViewsToTime(std::int64_t time, const void* origin);

    // Answers a sibling's query file {"reportFullPath", "commandResultFilePath"} by
    // writing {"isReportOpen": bool} to the result file. False (logged) when the
    // query cannot be read or the answer cannot be written.
    bool HandleReportQuery(const std::filesystem::path& queryFilePath);
    // True when `reportPath` lies inside the session folder (whole path components)
    // while no trace runs and the session has its report folder.
    bool IsReportInSession(const std::filesystem::path& reportPath) const;
    // True when `path` is `folder` or lies below it, compared by whole components
    // ("/data/s10/repo" is not inside "/data/s1").
    static bool IsPathInside(const std::filesystem::path& path, const std::filesystem::path& folder);

    TraceState GetTraceState() const { return m_traceState.load(); }
    qvx::AnalogSession* GetSession() const { return m_session.get(); }
    // Counts the sessions this view model has held: a new value means another session
    // (new, opened or a trace's fresh one), not just changed settings (GUI thread).
    std::uint64_t GetSessionSerial() const { return m_sessionSerial; }
    QVxAnalogOscilloGraphViewModel* GetOscilloGraphViewModel() const { return m_oscilloGraph.get(); }

    // What the data list and the display-trigger list read.
    qvx::AnalogSession* GetCurrentSession() const override { return GetSession(); }
    QVxAnalogOscilloGraphViewModel* GetCurrentOscilloGraphViewModel() const override {
        return GetOscilloGraphViewModel();
    }
    QVxAnalogDeviceManagerViewModel* GetDeviceManagerViewModel() const {
        return m_deviceManagerViewModel.get();
    }
    QVxDeviceManager* GetDeviceManager() const;
    QVxAnalogLogCollector* GetLogCollector() const { return m_collector.get(); }
    // The display trigger dialog's presenter, set up for the current session.
    qvx::WaveformDisplayTriggerPresenter& GetDisplayTriggerPresenter() { return m_displayTriggerPresenter; }
    // The session's bookmarks, drawn as the mark flags of the waveform window.
    QVxAnalogBookmarks& GetBookmarks() { return m_bookmarks; }
    // Bookmarks changed in a session whose recording is saved: closing asks to save them.
    bool HasUnsavedBookmarks() const { return !HasUnsavedRecording() && m_bookmarks.HaveUnsavedChanges(); }
    // Not for use while a trace runs: the log collector's thread updates the analyzer.
    const qvx::QVxAnalogDisplayTriggerAnalyzer& GetAnalyzer() const { return m_analyzer; }
    // Any thread: whether the live display holds on a complete display-trigger window.
    bool IsLiveDisplayHeld() const {
        std::lock_guard lock(m_mutex);
        return m_analyzer.IsDisplayHeld();
    }
    const std::filesystem::path& GetCacheFolderPath() const { return m_cacheFolderPath; }
    std::uint32_t GetRate() const { return m_rate; }
    // Live intake: records taken in by Broadcast in this trace, the backwards mark.
    std::uint64_t GetRecordCount() const { return m_intake.GetRecordCount(); }
    bool TimeWentBackwards() const { return m_intake.TimeWentBackwards(); }
    std::int64_t GetLastRecordTime() const { return m_intake.GetLastRecordTime(); }
    std::optional<std::int64_t> GetTriggerViewOffset() const { return m_intake.GetTriggerViewOffset(); }
    // Display triggers counted during the trace (GUI thread).
    std::uint32_t GetTriggersFound() const;
    // Display trigger hits found in this trace, including those beyond the stored-hit
    // limit that the session's list does not keep (any thread).
    std::uint64_t GetDisplayTriggerHitCount() const { return m_hitCount.load(); }
    // The stored-hit limit of the next traces (tests; kMaxStoredDisplayTriggerHits by default).
    void SetMaxStoredDisplayTriggerHits(std::size_t count);
    // The session's display trigger hits from `from` on, copied under the intake's
    // lock so that a trace may append meanwhile (GUI thread).
    qvx::AnalogDisplayTriggerList CopyDisplayTriggerHits(std::size_t from) const;
    // One stored hit, copied under the same lock, or nullopt past the list's end; and the
    // number stored. The trigger list pane reads the rows it paints this way during a
    // trace instead of keeping a second copy of up to a million hits (GUI thread).
    std::optional<qvx::AnalogDisplayTriggerItem> CopyDisplayTriggerHit(std::size_t row) const;
    std::size_t GetStoredDisplayTriggerHitCount() const;
    // The row of the first of the first `rows` stored hits completed by record
    // `dataIndex`, under the same lock; nullopt when none is (GUI thread).
    std::optional<std::size_t> FindDisplayTriggerHit(std::uint64_t dataIndex, std::size_t rows) const;
    // The abort type of the last finished trace and whether its report opened.
    QVxAbortType GetLastAbortType() const { return m_lastAbortType; }
    bool WasLastReportOpened() const { return m_lastReportOpened; }
    // Wall-clock start of the trace as the unit reported it.
    std::int64_t GetStartSeconds() const { return m_startSeconds; }
    std::int32_t GetStartNanoseconds() const { return m_startNanoseconds; }

private:
    // Whether `folder` names an existing folder.
    static bool FolderExists(const std::filesystem::path& folder);
    void ReplaceSession(std::unique_ptr<qvx::AnalogSession> session);
    bool StartDevice(QVPlusStartParams& params);
    void AbandonTrace();
    void CloseRecording();
    void StoreHitsBesideRecording();
    bool FinishReport();
    void ReadStartTimestamp();
    void UpdateHitCount();
    bool ConfirmReplacingRecording(ReplacingRecording what);
    void LetGoOfRecoveredFolder();
    void HoldSessionFolder();

    std::filesystem::path m_cacheFolderPath;
    qvx::AnalogEnvData* m_envData = nullptr;  // not owned
    std::unique_ptr<qvx::AnalogSession> m_session;
    std::uint64_t m_sessionSerial = 0;
    // Destroyed after the device list (whose manager points at it).
    std::unique_ptr<QVxAnalogLogCollector> m_collector;
    std::unique_ptr<QVxAnalogDeviceManagerViewModel> m_deviceManagerViewModel;
    // Destroyed first: it points at the session's settings and at this owner.
    std::unique_ptr<QVxAnalogOscilloGraphViewModel> m_oscilloGraph;
    qvx::WaveformDisplayTriggerPresenter m_displayTriggerPresenter;
    QVxAnalogBookmarks m_bookmarks{m_displayTriggerPresenter};
    qvx::QVxAnalogDisplayTriggerAnalyzer m_analyzer;
    QVxAnalogLiveIntake m_intake;

    std::atomic<TraceState> m_traceState{kIdle};
    std::atomic<std::uint64_t> m_hitCount{0};
    bool m_hitListFullTold = false;  // under m_mutex
    mutable std::mutex m_mutex;      // trace start against the intake of a batch
    std::uint32_t m_rate = 0;
    std::int64_t m_startSeconds = 0;
    std::int32_t m_startNanoseconds = 0;
    bool m_startTimestampKnown = false;
    bool m_darkLook = false;
    bool m_clockTimeShown = false;
    QVxAbortType m_lastAbortType = QVxAbortType::None;
    bool m_lastReportOpened = false;
    int m_lastSaveAsResult = 0;
    // The unsaved recording and, for a recovered one, its folder held by this run.
    bool m_unsavedRecording = false;
    UnsavedRecordingGuard m_unsavedGuard;
    UnsavedRecordingGuard m_bookmarksGuard;
    qvx::FolderLock m_recoveredLock;
    // The folder of an opened or saved session, held while it is open so that the command
    // line does not rewrite its "meta" under this program (best effort: another program
    // may hold it already).
    qvx::FolderLock m_sessionFolderLock;
    std::filesystem::path m_recoveredFolder;
    bool m_recoveredSaved = false;
};
