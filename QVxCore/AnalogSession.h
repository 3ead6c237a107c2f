#pragma once
// One measurement: its settings, the "repo" folder of report data files beside the
// settings file, the display-trigger hits found while recording, and the reader
// that serves the recorded data once it is finished.
//
//   <folder>/<name>.qvxa      settings file (none until a new session is saved)
//   <folder>/repo/00000000.DAT ...
//   <folder>/repo/meta        hit list and bookmarks
//
// Not locked: operations run one at a time on the thread the view model chooses
// (the long ones on a worker behind a progress display). File-system errors of
// NewInternal, OpenInternal (metadata status) and SaveAs (listing, sizes, folder
// creation, copies) are thrown as std::filesystem::filesystem_error carrying the
// operation name and the path.

#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Bookmarks.h"
#include "QVxCore/DisplayTriggerList.h"
#include "QVxCore/ReportData/ReportData.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qvx {

class ProgressToken;

class AnalogSession {
public:
    enum class Status : std::int32_t {
        Draft = 0,         // no report data opened
        ReportOpened = 1,  // the report data of "repo" is open or in use
    };

    // OpenInternal's code.
    static constexpr int kOpenedWithReport = 0;
    static constexpr int kOpenedSettingsOnly = 1;  // no "repo" beside the settings file
    static constexpr int kOpenedReportTooOld = 3;  // report data older than version 2.0.0 (class version < 4)

    // SaveAs's result.
    static constexpr int kSaved = 0;
    static constexpr int kSaveFailed = 1;
    static constexpr int kNotEnoughSpace = 2;

    static constexpr const char* kReportFolderName = "repo";
    static constexpr const char* kMetadataFileName = "meta";
    // The settings of a recording that is not saved yet, beside its "repo": written when
    // the trace starts, so that a recording left by a crash opens with its settings.
    static constexpr const char* kRecordingSettingsFileName = "recording.qvxa";

    // Bytes available to this process on the volume holding `folder`.
    using FreeSpaceQuery = std::function<std::uintmax_t(const std::filesystem::path& folder)>;

    AnalogSession();
    AnalogSession(const AnalogSession&) = delete;
    AnalogSession& operator=(const AnalogSession&) = delete;
    ~AnalogSession();

    // A new session in `folder` with default settings; creates folder/"repo".
    bool NewInternal(const std::filesystem::path& folder);

    // Opens a settings file and, when its report data is present and recent enough,
    // the reader on it. True with `outCode` kOpenedWithReport, kOpenedSettingsOnly or
    // kOpenedReportTooOld; false when the settings file or the report cannot be read.
    bool OpenInternal(const std::filesystem::path& settingFilePath, ProgressToken* progress, int& outCode);

    // Opens the reader on "repo" after a trace (draft sessions only).
    bool OpenReportData(ProgressToken* progress);

    // Rewrites the start time in every ".DAT" header of "repo" (draft sessions only).
    void UpdateTestStartTime(std::int64_t seconds, std::int32_t nanoseconds);

    // Writes the settings as <folder>/recording.qvxa (replaced atomically); false when
    // it cannot be written (logged by the archive).
    bool SaveRecordingSettings() const;
    std::filesystem::path GetRecordingSettingsPath() const {
        return m_folderPath / kRecordingSettingsFileName;
    }

    // Writes the hit list and the bookmarks as "repo"/"meta" (replaced atomically); false
    // when it cannot be written (logged by the archive). Called when a trace ends, so that
    // a recording left by a crash keeps its hits, and when the bookmarks of a recording
    // that was never saved change. When the file it replaces had bookmark entries that did
    // not load, that file is first kept as "meta.unreadable" (once), so none is lost.
    bool SaveMetadata();

    // The bookmarks; whoever changes them calls MarkBookmarksChanged.
    const AnalogBookmarkList& GetBookmarks() const { return m_bookmarks; }
    AnalogBookmarkList& GetBookmarks() { return m_bookmarks; }
    // The bookmarks differ from those in "meta": SaveAs then writes "meta" even where it
    // copies no report data (the session's own settings file, or its own folder).
    void MarkBookmarksChanged() { m_bookmarksChanged = true; }
    bool HaveBookmarksChanged() const { return m_bookmarksChanged; }
    // The warnings of the last load of the bookmarks (each names the member).
    const std::vector<std::string>& GetBookmarkProblems() const { return m_bookmarkProblems; }

    // Removes every entry of "repo"; false (logged) at the first error.
    bool DeleteReportFiles();

    // Saves the settings under `settingFilePath`, first copying (or for a fresh recording
    // on the same volume, moving) the report data and the hit list into a "repo" beside it
    // when there is any and it is not already there. The free-space check applies to a copy.
    // Checked before anything is created or copied: the destination (see
    // CheckSaveDestination; kSaveFailed, logged), a "repo" already in the destination
    // folder (kSaveFailed, logged) and the room for the copied files and the settings
    // file (kNotEnoughSpace). A failure after the copy began removes the copied "repo"
    // again, so the destination is left as it was (the settings file is replaced
    // atomically). Reports (files copied, total) through `progress`.
    int SaveAs(const std::filesystem::path& settingFilePath, ProgressToken* progress);

    // A recording of this run (or one recovered) whose "repo" belongs to this session
    // alone: SaveAs moves it instead of copying when the destination is on the same
    // volume. Cleared once saved.
    void SetFreshRecording(bool fresh) { m_freshRecording = fresh; }
    bool IsFreshRecording() const { return m_freshRecording; }
    // Whether SaveAs(settingFilePath) would move the report data (a rename: instant, so
    // it needs no progress display).
    bool WillMoveReportTo(const std::filesystem::path& settingFilePath) const;

    // Why no session can be saved under `settingFilePath`: the path names a folder,
    // its folder is missing, or that folder takes no new files (a probe file is
    // created there and removed). None when it can.
    static std::optional<std::string> CheckSaveDestination(const std::filesystem::path& settingFilePath);

    // Whether `path` names one of this session's files: its settings file, its report
    // folder or anything inside it. Paths are compared resolved (".", "..", symbolic
    // links), and an existing file also by identity, so a hard link counts too.
    bool IsOwnFile(const std::filesystem::path& path) const;

    const AnalogSettings& GetSettings() const { return *m_settings; }
    AnalogSettings& GetSettings() { return *m_settings; }
    const AnalogDisplayTriggerList& GetDisplayTriggerList() const { return *m_displayTriggerList; }
    AnalogDisplayTriggerList& GetDisplayTriggerList() { return *m_displayTriggerList; }
    const ReportDataReaderPtr& GetReportData() const { return m_reportData; }
    Status GetStatus() const { return m_status; }
    const std::filesystem::path& GetFolderPath() const { return m_folderPath; }
    const std::filesystem::path& GetSettingFilePath() const { return m_settingFilePath; }
    std::filesystem::path GetReportFolderPath() const { return m_folderPath / kReportFolderName; }

    // Replaces the free-space query used by SaveAs (tests).
    void SetFreeSpaceQuery(FreeSpaceQuery query) { m_freeSpaceQuery = std::move(query); }

    // std::filesystem::space(folder).available; logs "Failed GetDiskFreeSpaceExW." and
    // gives 0 when the query fails.
    static std::uintmax_t GetCurrentFreeSpace(const std::filesystem::path& folder);

private:
    bool CarriesReportTo(const std::filesystem::path& settingFilePath) const;
    std::uintmax_t BytesNeededToCopy(const std::vector<std::filesystem::path>& datFiles) const;
    bool CopyReportData(const std::filesystem::path& destinationFolder, ProgressToken* progress,
                        int& outResult);
    enum class MoveResult { kMoved, kFailed, kCopyInstead };
    MoveResult MoveReportData(const std::filesystem::path& destinationFolder);
    void MoveReportBack(const std::filesystem::path& destinationFolder);
    void LoadMetadata(const std::filesystem::path& meta);
    void KeepUnreadableMetadata(const std::filesystem::path& meta);

    std::filesystem::path m_folderPath;
    std::filesystem::path m_settingFilePath;
    std::unique_ptr<AnalogSettings> m_settings;
    std::unique_ptr<AnalogDisplayTriggerList> m_displayTriggerList;
    AnalogBookmarkList m_bookmarks;
    bool m_bookmarksChanged = false;
    std::vector<std::string> m_bookmarkProblems;
    Status m_status = Status::Draft;
    ReportDataReaderPtr m_reportData;
    FreeSpaceQuery m_freeSpaceQuery;
    bool m_freshRecording = false;
};

}  // namespace qvx
