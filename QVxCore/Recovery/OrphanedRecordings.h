#pragma once
// Recordings left behind by a program that ended without saving them (a crash, a
// kill, a power cut): folders named by an instance id in the cache folder that no
// running program holds (see FolderLock). Listing them never touches a folder that
// a running program records into, and never stops at a damaged one: its problem is
// part of the listing. GUI thread (or the command line's main thread).

#include "QVxCore/Recovery/FolderLock.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qvx {

struct OrphanedRecording {
    std::string id;  // the folder's name: the instance id of the program that recorded it
    std::filesystem::path folder;
    std::uint64_t records = 0;     // whole records in the data files
    std::uint64_t bytes = 0;       // sizes of the data files, headers included
    std::uint64_t tornBytes = 0;   // bytes after the last whole record of each file
    std::int64_t startTimeNs = 0;  // ns since 1970 UTC from the headers; 0 when unknown
    std::int64_t lengthNs = 0;     // time of the last record since the start, ns
    bool hasSettings = false;      // the trace's settings file is there and loads
    bool readable = false;         // the report data opens
    // What is wrong with it, the first that applies; kNone when nothing is.
    enum class Problem {
        kNone,
        kNoReportFolder,
        kNoDataFiles,
        kShortDataFiles,
        kUnreadable,
        kTornTail,
        kNoSettings,
        kDamagedSettings  // the settings file is there but does not load
    };
    Problem problemKind = Problem::kNone;
    std::string problem;  // the same in words (English); empty when nothing is wrong

    std::filesystem::path SettingsFile() const;
    // Where EnsureSettingsFile keeps a damaged settings file: beside it, with ".damaged".
    std::filesystem::path DamagedSettingsFile() const;
};

namespace OrphanedRecordings {

// An instance id: 32 lower-case hexadecimal digits.
bool IsInstanceId(const std::string& name);

// The orphaned recordings in `cacheFolder`, oldest first. Folders that hold nothing
// recorded (no data file, no settings file) are removed on the way.
std::vector<OrphanedRecording> List(const std::filesystem::path& cacheFolder);

// Locks the recording's folder for the caller, so that no other program lists or
// touches it meanwhile; none when a running program holds it.
std::optional<FolderLock> Claim(const OrphanedRecording& recording);

// Deletes the recording's folder. False with `error` set when another program holds
// it or it cannot be removed completely.
bool Discard(const OrphanedRecording& recording, std::string& error);

// Makes sure the recording's settings file exists and loads: a recording without one gets the
// default settings, and so does one whose settings file is damaged; that file is first kept
// as DamagedSettingsFile (then `keptDamaged`, when given, is set to it). False with `error` set
// when a file cannot be moved or written.
bool EnsureSettingsFile(const OrphanedRecording& recording, std::string& error,
                        std::filesystem::path* keptDamaged = nullptr);

}  // namespace OrphanedRecordings

}  // namespace qvx
