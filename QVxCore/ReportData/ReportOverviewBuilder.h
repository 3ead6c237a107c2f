#pragma once
// Builds the overview of one report data file from its records, either while they are
// recorded (Append as the writer appends them) or afterwards from the finished file
// (BuildFromFile). Not thread-safe: one thread feeds one builder.

#include "QVxCore/ReportData/ReportOverviewFormat.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qvx {

class ReportOverviewBuilder {
public:
    // Folds `count` 16-byte records that follow the ones appended so far.
    void Append(const std::uint8_t* records, std::uint64_t count);

    std::uint64_t GetRecordCount() const { return m_records; }
    // Empties the builder for the next file.
    void Reset();

    // The complete overview file for a data file of `dataFileSize` bytes.
    std::vector<std::uint8_t> Serialize(std::uint64_t dataFileSize) const;

    // Bytes read so far (called after every read); return false to cancel.
    using Progress = std::function<bool(std::uint64_t bytesRead)>;

    // Reads the ".DAT" file `dataFile` sequentially and returns its overview file's bytes.
    // None when cancelled or on a read error (logged, except cancelling).
    static std::optional<std::vector<std::uint8_t>> BuildFromFile(const std::filesystem::path& dataFile,
                                                                  const Progress& progress = {});

    // Writes `bytes` to `path` through a temporary file in the same folder that is renamed
    // over it, creating the folder when needed. On failure nothing is left at `path` and
    // `failure` holds the reason. No fsync: an overview lost in a crash is found damaged and
    // rebuilt.
    static bool WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes,
                          std::string& failure);

private:
    void CloseBlock();

    std::vector<overview::Entry> m_level0;
    overview::Entry m_open;  // the level-0 block being filled
    std::uint64_t m_inOpen = 0;
    std::uint64_t m_records = 0;
    std::uint64_t m_lastTime = 0;
};

}  // namespace qvx
