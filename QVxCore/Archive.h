#pragma once
// Reading and writing the JSON files of a session: the settings file (".qvxa") and
// the report metadata file ("meta"), through cereal's JSON archives. Files are
// replaced atomically: a save writes a temporary file in the target's folder and
// renames it over the target only after every byte is written and flushed, so a
// failed or interrupted save leaves the previous file as it was.
// Runs on whichever thread calls it; no shared state besides the test seam.

#include "QVxCore/AnalogSettings.h"
#include "QVxCore/DisplayTriggerList.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

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
