#pragma once
// Reading and writing the JSON files of a session: the settings file (".qvxa") and
// the report metadata file ("meta"), through cereal's JSON archives. Files are
// replaced atomically: a save writes a temporary file in the target's folder and
// renames it over the target only after every byte is written and flushed, so a
// failed or interrupted save leaves the previous file as it was.
// Runs on whichever thread calls it; no shared state besides the test seam.

#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Bookmarks.h"
#include "QVxCore/DisplayTriggerList.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvx::Archive {

// Writes `settings` at the current class versions; on success its class version
// becomes AnalogSettings::kClassVersion. Logs "File access error." or
// "Serialization error: {}" and returns false on failure.
bool Save(AnalogSettings& settings, const std::filesystem::path& path);

// Reads a settings file of any class version up to the current one; members newer
// than the file's version keep the values `settings` had. On failure logs
// "File access error." or "Deserialization error: {}" (then the error text),
// returns false and leaves `settings` unchanged.
bool Load(AnalogSettings& settings, const std::filesystem::path& path);

// The report metadata file: {"value0": {"displayTriggerList": [...]}}.
bool Save(const AnalogDisplayTriggerList& list, const std::filesystem::path& path);
bool Load(AnalogDisplayTriggerList& list, const std::filesystem::path& path);

// The report metadata file with bookmarks: {"value0": {"displayTriggerList": [...],
// "bookmarks": [...]}}, the member "bookmarks" left out when there are none (the file
// is then the one Save(list, path) writes). Readers that know only the hit list still
// load it.
bool SaveMetadata(const AnalogDisplayTriggerList& hits, const AnalogBookmarkList& bookmarks,
                  const std::filesystem::path& path);

// The bookmarks of a report metadata file; a file without the member has none. An entry
// that is malformed (a member missing or of the wrong type, an id below 1 or used twice,
// a negative time, a name or note that is not UTF-8 or too long) is left out, and so is
// a member "bookmarks" that is no array: each such problem is logged as a warning that
// names the member ("bookmarks[2].name: ...") and added to `problems` when given. A bad
// colour text keeps the bookmark with no colour (warned too). False (logged) only when
// the file cannot be read or is no JSON object; `bookmarks` is then left unchanged.
bool LoadBookmarks(AnalogBookmarkList& bookmarks, const std::filesystem::path& path,
                   std::vector<std::string>* problems = nullptr);

// The settings file's bytes as Save would write them; none (logged) on failure.
std::optional<std::string> ToText(const AnalogSettings& settings);

// Replaces `path` with `bytes` through a temporary file in the same folder.
// Logs "File access error." and the reason on failure; the target is then untouched.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// The whole file, without a leading UTF-8 byte-order mark; none after logging
// "File access error." when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// Test seam: called before each chunk written to a temporary file with the target
// path and the bytes written so far; returning false makes that write fail as an
// I/O error would. Pass an empty function to remove it. Set only while no save runs.
using WriteFaultHook = std::function<bool(const std::filesystem::path& target, std::uintmax_t offset)>;
void SetWriteFaultHookForTesting(WriteFaultHook hook);

}  // namespace qvx::Archive
