#pragma once
// One ".DAT" file of a report: its metadata, a block table of time stamps for the
// time search, and (while open) a cache of three 128 KiB blocks.
// Used only by ReportDataReader; not thread-safe (see ReportDataReader).

#include "QVxCore/ReportData/ReportFormat.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace qvx {

class ReportDataReader;
class ReportOverviewFile;

namespace detail {

// An owned POSIX file descriptor. Reads go straight to the kernel (pread), so every
// block or record read is exactly one system call and nothing is buffered twice.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int Get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int Release() {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset(int fd = -1);

private:
    int m_fd = -1;
};

// Opens a regular file for reading (or read/write). Anything that is not a regular
// file (FIFO, device, directory, dangling link) is refused without blocking.
UniqueFd OpenRegularFile(const std::filesystem::path& path, bool forUpdate = false);

}  // namespace detail

class ReportFile {
public:
    static constexpr std::uint64_t kBlockRecords = 8192;
    static constexpr std::size_t kBlockBytes = kBlockRecords * kReportRecordSize;  // 131,072
    static constexpr std::size_t kCacheSlotCount = 3;

    // One entry per 8192 records; times in 10 ns ticks.
    struct Block {
        std::uint64_t firstRecord = 0;  // index within the file
        std::uint64_t recordCount = 0;  // 8192, fewer for the last block
        std::uint64_t startTime = 0;    // time of the first record
        std::uint64_t endTime = 0;      // next block's start time; m_endTime + 1 for the last
    };

    ReportFile() = default;
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    // Reads the header and builds the block table (one record per block plus the last
    // record). `firstIndex` is the global index of record 0; `previousEndTime` becomes the
    // start and end time of a file without records. Leaves the file closed.
    // With `overview` (the file's valid overview) the block table and the last time come
    // from it and no record is read.
    bool SetupMetadata(ReportDataReader* owner, const std::filesystem::path& path, std::uint64_t firstIndex,
                       std::uint64_t previousEndTime, const ReportOverviewFile* overview = nullptr);

    // Stands in for a file deleted by rotation: `recordCount` records from `firstIndex`,
    // times 0, no blocks, never opened.
    void SetupPlaceholder(ReportDataReader* owner, std::uint64_t firstIndex, std::uint64_t recordCount);

    // Opens the file for block reads and empties the block cache. Logs "File access error.".
    bool OpenFile();
    void CloseFile();
    bool IsOpen() const { return static_cast<bool>(m_file); }

    // Copies record `index` (within the file) through the block cache into `outRecord`
    // (kReportRecordSize bytes). Needs an open file.
    bool ReadRecord(std::uint64_t index, std::uint8_t* outRecord);

    // Reads record `index` with one positioned read, bypassing the cache. Needs an open file.
    bool ReadRecordDirect(std::uint64_t index, std::uint8_t* outRecord);

    // Reads records [index, index + count) (within the file) with one positioned read,
    // bypassing the cache. Needs an open file.
    bool ReadRecordsDirect(std::uint64_t index, std::uint64_t count, std::uint8_t* out);

    // Tells the kernel that records [index, index + count) (within the file) will be read
    // soon, so that it reads them in the background (POSIX_FADV_WILLNEED). Needs an open file.
    void AdviseWillNeed(std::uint64_t index, std::uint64_t count) const;

    // Last record with time stamp <= t (10 ns ticks), searched through the block table and
    // one cached block. Gives the index within the file and the record's time. Needs an open file.
    bool FindIndexByTime(std::uint64_t t, std::uint64_t& outLocalIndex, std::uint64_t& outTime);

    bool IsPlaceholder() const { return m_path.empty(); }
    const std::filesystem::path& GetPath() const { return m_path; }
    // The file was moved (renamed, same inode): later opens use `path`. An open stream
    // stays valid.
    void SetPath(std::filesystem::path path) { m_path = std::move(path); }
    // The file's 512-byte header; all zero for a placeholder.
    const ReportHeader& GetHeader() const;
    std::uint64_t GetFileSize() const { return m_fileSize; }
    std::uint64_t GetRecordCount() const { return m_recordCount; }
    // Bytes after the last whole record (a write cut short); they are never read.
    std::uint64_t GetTornBytes() const { return m_tornBytes; }
    std::uint64_t GetFirstIndex() const { return m_firstIndex; }
    std::uint64_t GetLastIndex() const { return m_lastIndex; }
    std::uint64_t GetStartTime() const { return m_startTime; }
    std::uint64_t GetEndTime() const { return m_endTime; }
    const std::vector<Block>& GetBlocks() const { return m_blocks; }

    // Block numbers held by the cache, least recently used first.
    std::vector<std::int64_t> GetCachedBlockNumbers() const;

private:
    struct CacheSlot {
        std::int64_t blockNumber = -1;
        std::size_t validBytes = 0;
        std::unique_ptr<std::uint8_t[]> buffer;  // kBlockBytes, allocated on first use
    };

    // The cache slot holding block `blockNumber`, read from disk when missing; null on a
    // read error.
    CacheSlot* GetBlock(std::uint64_t blockNumber);
    void ResetCache(bool releaseBuffers);

    // Steps of SetupMetadata; their errors are logged under its name.
    static constexpr const char* kSetupFunction = "ReportFile::SetupMetadata";
    // Opens the file and derives the record count from its size. False (logged, closed) when
    // it cannot be read or its size is no whole number of records.
    bool ReadLayout();
    bool FailSetup(const char* message);
    // m_blocks with their first times from the overview's level-1 entries.
    void IndexBlocksFromOverview(const ReportOverviewFile& overview);
    // m_blocks with their first times read from the file; false on a read error.
    bool IndexBlocksFromRecords();
    // Each block ends where the next starts; the last one just after the file's end time.
    void LinkBlockEndTimes();

    ReportDataReader* m_owner = nullptr;
    std::filesystem::path m_path;
    detail::UniqueFd m_file;
    std::uint64_t m_fileSize = 0;
    std::uint64_t m_recordSize = kReportRecordSize;
    std::uint64_t m_headerSize = kReportHeaderSize;
    std::unique_ptr<ReportHeader> m_header;  // none for a placeholder (a report may have many)
    std::uint64_t m_recordCount = 0;
    std::uint64_t m_tornBytes = 0;
    std::uint64_t m_firstIndex = 0;
    std::uint64_t m_lastIndex = 0;
    std::uint64_t m_startTime = 0;
    std::uint64_t m_endTime = 0;
    std::uint64_t m_blockBytes = kBlockBytes;
    std::vector<Block> m_blocks;
    std::array<CacheSlot, kCacheSlotCount> m_cacheSlots;
    std::vector<std::size_t> m_slotOrder;  // least recently used first
};

}  // namespace qvx
