#pragma once
// Per-user environment preferences of QV+Analog (the cache folder in which new
// sessions record their report data) and the application data folder shared by
// the preferences file, the per-run instance folder and the default cache folder:
//   <QVPLUS_TEMP_DIR or XDG data home>/qmrs/QV+Analog[/<instance id>]/<name>
// Used on the GUI thread during start-up and shut-down.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace qvx {

class AnalogEnvData {
public:
    static constexpr const char* kApplicationName = "QV+Analog";
    static constexpr const char* kFamilyFolderName = "qmrs";
    static constexpr const char* kPrefsFileName = "AnalogRCSettings.prf";
    static constexpr const char* kTempDirVariable = "QVPLUS_TEMP_DIR";
    static constexpr std::size_t kMaxTempDirLength = 1022;  // characters

    virtual ~AnalogEnvData() = default;

    // Empty means "not set".
    const std::filesystem::path& GetCacheFolderPath() const { return m_cacheFolderPath; }
    void SetCacheFolderPath(std::filesystem::path folder) { m_cacheFolderPath = std::move(folder); }

    // Reads the preferences file. An unreadable file, or one that is no JSON object with
    // a string "m_cacheFolderPath", logs "Failed to load preferences file." (error) and
    // leaves the cache folder empty; a valid object without the member leaves it empty
    // too. A file that does not exist yet (the first start) gives false as well, logged
    // at info level only.
    bool LoadPrefs();
    bool LoadPrefs(const std::filesystem::path& file);

    // Writes {"m_cacheFolderPath": "..."} over the preferences file. Logs "Failed to
    // serialize preferences." or "Failed to save preferences file." on failure.
    bool SavePrefs() const;
    bool SavePrefs(const std::filesystem::path& file) const;

    // Called at start-up when the configured cache folder does not exist; returns
    // true to go on (the folder may have been changed) or false to end start-up.
    using CacheFolderRepair = std::function<bool(AnalogEnvData&)>;
    // The application's repair: an empty value becomes the default cache folder;
    // otherwise `askUser` gets the old folder and returns the new one, or none when
    // the user chose to end the application.
    static CacheFolderRepair MakeCacheFolderRepair(
        std::function<std::optional<std::filesystem::path>(const std::filesystem::path& oldFolder)> askUser);

    // Start-up steps: load the preferences, then call `repair` when the cache folder
    // does not exist. False when the repair refused.
    bool LoadPrefsAndRepair(const CacheFolderRepair& repair);

    // The folder for new sessions: cache folder / instance id (cache folder alone for
    // an empty id), created when missing; none after logging when it cannot be made.
    std::optional<std::filesystem::path> GetSessionFolder(const std::string& instanceId) const;
    std::optional<std::filesystem::path> GetSessionFolder() const {
        return GetSessionFolder(GetInstanceId());
    }

    // --- Application data folder -------------------------------------------------

    struct PathOptions {
        bool instanceFolder = false;            // insert the instance folder (when an id exists)
        bool create = false;                    // create the folders on the way
        bool nameIsFolder = false;              // with create: create `name` as a folder too
        std::optional<std::string> instanceId;  // none: this run's identifier
    };
    // QVPLUS_TEMP_DIR when set, not empty and at most 1022 characters, else the XDG
    // data home.
    static std::filesystem::path GetBaseFolder();
    // Base / "qmrs" / "QV+Analog" [/ instance id] [/ name]; none after logging when a
    // folder could not be created.
    static std::optional<std::filesystem::path> BuildAppDataPath(const std::filesystem::path& name,
                                                                 const PathOptions& options);
    static std::optional<std::filesystem::path> GetPrefsFilePath(bool create);
    // The application data folder itself; the default cache folder.
    static std::optional<std::filesystem::path> GetDefaultCacheFolder(bool create);

    // 32 lower-case hexadecimal digits of a new UUID; empty when none can be made.
    static std::string MakeInstanceId();
    // This run's identifier, made on first use.
    static const std::string& GetInstanceId();

    // Folder of the running executable / "dload" / "Tessel.bin".
    static std::filesystem::path GetFirmwarePath();

private:
    std::filesystem::path m_cacheFolderPath;
};

}  // namespace qvx
