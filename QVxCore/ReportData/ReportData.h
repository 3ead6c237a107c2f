#pragma once
// Random access to a finished recording: the ".DAT" files of one report folder,
// read by global record index or searched by time stamp.
//
// The reader has no lock of its own and is not safe for concurrent use (the record
// buffer, the open-file list and the block caches are shared state). Callers use it on
// the GUI thread or hold their own lock around every call. Opening may run on a worker
// thread; its progress reaches the GUI through the progress token.

#include "QVxCore/ReportData/RecordAccessor.h"
#include "QVxCore/ReportData/ReportFile.h"
#include "QVxCore/ReportData/ReportFormat.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace qvx {

class ProgressToken;
class ReportDataReader;

using ReportDataReaderPtr = std::shared_ptr<ReportDataReader>;

// True for "*.DAT" as the report writers name their files; the extension is matched
// without regard to case, as on the file systems the reports come from. The reader
// takes these files of a folder, and rotation removes only these.
bool IsReportDataFileName(const std::filesystem::path& path);

class ReportDataReader {
public:
    static constexpr std::size_t kMaxOpenFiles = 3;

    ReportDataReader(const ReportDataReader&) = delete;
    ReportDataReader& operator=(const ReportDataReader&) = delete;
    ~ReportDataReader();

    // Opens the report in `folder`: checks every ".DAT" file and builds the block tables.
    // Reports (done, total) files through `progress` when given. Returns an empty pointer
    // when the folder does not hold a readable report (the reason is logged).
    static ReportDataReaderPtr Open(const std::filesystem::path& folder, ProgressToken* progress = nullptr);

    // The report folder was moved to `folder` (renamed on the same volume): the files are
    // opened from there from now on.
    void Relocate(const std::filesystem::path& folder);

    // The 16-byte record with global index `index`, or null. The pointer stays valid until
    // the next read through this reader. Records of placeholder files give null silently.
    const std::uint8_t* ReadRecordByIndex(std::uint64_t index);

    // Copies records [first, first + count) into `out` (count x 16 bytes) with one read
    // call; they must lie in one existing file. False (logged) otherwise or on a read error.
    bool ReadRecordSpan(std::uint64_t first, std::uint64_t count, std::uint8_t* out);

    // Hints that records [first, first + count) of one existing file will be read soon: the
    // kernel reads them in the background. Nothing happens for a placeholder or a range
    // outside the files. Scans that read scattered pieces use it to have many reads in flight.
    void AdviseWillNeed(std::uint64_t first, std::uint64_t count);

    // Reads the stored records of [first, end) in order, at most `chunkRecords` per read
    // into `buffer`, and hands each chunk to `visit(records, count)`; placeholder files are
    // skipped. False when a read fails (logged by ReadRecordSpan).
    bool ReadStoredRecordChunks(std::uint64_t first, std::uint64_t end, std::uint64_t chunkRecords,
                                std::vector<std::uint8_t>& buffer,
                                const std::function<void(const std::uint8_t*, std::uint64_t)>& visit);

    // Last record whose time stamp is <= `time` (10 ns ticks; callers holding nanoseconds
    // divide by 10 first). False when `time` lies before the first record.
    bool FindIndexByTime(std::uint64_t time, std::uint64_t& outIndex, std::uint64_t& outTime);

    // Rewrites the start time (seconds since 1970, nanoseconds) in the header of every
    // ".DAT" file of `folder`; nothing else changes. Stops at the first failure (logged);
    // files already rewritten stay so. Needs no opened reader.
    static bool UpdateHeader(const std::filesystem::path& folder, std::int64_t seconds,
                             std::int32_t nanoseconds);

    // Full paths of the entries of `folder` named "*.DAT" that are not directories, unsorted.
    // Logs "Folder access error." and the folder when it cannot be listed or nothing matches.
    static std::vector<std::filesystem::path> CollectDATFiles(const std::filesystem::path& folder);

    // Sum of the record counts of all files, placeholders included (the index range of the
    // report is [0, GetTotalRecordCount())).
    std::uint64_t GetTotalRecordCount() const { return m_totalRecordCount; }
    // Time stamp of the report's last record, 10 ns ticks.
    std::uint64_t GetLastTime() const { return m_lastTime; }
    // Slot in GetFiles() of the first file that exists (slots before it are placeholders).
    std::int32_t GetFirstFileIndex() const { return m_firstFileIndex; }
    // Header of the first existing file.
    const ReportHeader& GetHeader() const { return m_header; }
    std::int64_t GetStartSeconds() const;      // header offset 48
    std::int32_t GetStartNanoseconds() const;  // header offset 64, low 32 bits
    // The recording's start as ns since the epoch (seconds x 10^9 + ns part).
    std::int64_t GetStartTimeNs() const { return GetStartSeconds() * 1'000'000'000 + GetStartNanoseconds(); }
    // One slot per file number; missing numbers hold placeholders.
    const std::vector<std::shared_ptr<ReportFile>>& GetFiles() const { return m_files; }
    const RecordAccessor& GetRecordAccessor() const { return m_recordAccessor; }
    std::int32_t GetTimeWordIndex() const { return m_recordAccessor.GetTimeWordIndex(); }
    // File slots whose streams are open, least recently used first (at most kMaxOpenFiles).
    const std::vector<std::int32_t>& GetOpenFiles() const { return m_openFiles; }

private:
    ReportDataReader() = default;

    bool OpenInternal(const std::filesystem::path& folder, ProgressToken* progress,
                      std::uint64_t recordsPerFile);
    // Steps of OpenInternal; their errors are logged under its name.
    static constexpr const char* kOpenFunction = "ReportDataReader::OpenInternal";
    using NumberedPaths = std::vector<std::pair<std::int64_t, std::filesystem::path>>;
    static std::optional<NumberedPaths> NumberDATFiles(const std::filesystem::path& folder);
    bool ReadFirstHeader(const std::filesystem::path& path);
    bool SetupFiles(const NumberedPaths& numbered, ProgressToken* progress, std::uint64_t recordsPerFile);
    bool FillLeadingGaps(std::uint64_t recordsPerFile);
    static bool UpdateHeaderInternal(const std::filesystem::path& folder, std::int64_t seconds,
                                     std::int32_t nanoseconds);
    // The file in slot `slot`, opened under the least-recently-used limit; null on failure.
    ReportFile* GetOpenFile(std::size_t slot);

    std::vector<std::shared_ptr<ReportFile>> m_files;
    ReportHeader m_header{};
    RecordAccessor m_recordAccessor;
    std::uint64_t m_totalRecordCount = 0;
    std::uint64_t m_lastTime = 0;
    std::int32_t m_firstFileIndex = 0;
    std::vector<std::int32_t> m_openFiles;
    std::array<std::uint8_t, kReportRecordSize> m_recordBuffer{};
};

}  // namespace qvx
