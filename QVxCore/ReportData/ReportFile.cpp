#include "QVxCore/ReportData/ReportFile.h"

#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportDataLog.h"
#include "QVxCore/ReportData/ReportOverviewFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qvx {

namespace detail {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
}

void UniqueFd::Reset(int fd) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
}

UniqueFd OpenRegularFile(const std::filesystem::path& path, bool forUpdate) {
    // O_NONBLOCK keeps a FIFO named like a report file from blocking the open; it has
    // no effect on regular files, and everything else is refused below.
    UniqueFd fd(::open(path.c_str(), (forUpdate ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK));
    if (!fd) return fd;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return UniqueFd();
    return fd;
}

}  // namespace detail

namespace {

// One positioned read, repeated only when interrupted by a signal. Returns the byte count
// (short at the end of the file) or -1.
ssize_t ReadAt(int fd, std::uint8_t* out, std::size_t bytes, std::uint64_t offset) {
    ssize_t n;
    do {
        n = ::pread(fd, out, bytes, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

const ReportHeader& EmptyHeader() {
    static const ReportHeader header{};
    return header;
}

}  // namespace

const ReportHeader& ReportFile::GetHeader() const {
    return m_header ? *m_header : EmptyHeader();
}

bool ReportFile::SetupMetadata(ReportDataReader* owner, const std::filesystem::path& path,
                               std::uint64_t firstIndex, std::uint64_t previousEndTime,
                               const ReportOverviewFile* overview) {
    QVX_REPORT_CHECK(owner, kSetupFunction, false);
    m_owner = owner;
    m_path = path;
    if (!ReadLayout()) return false;
    m_blockBytes = kBlockBytes;
    m_firstIndex = firstIndex;
    m_blocks.clear();

    bool indexed = true;
    if (m_recordCount == 0) {
        m_lastIndex = firstIndex;
        m_startTime = m_endTime = previousEndTime;
    } else {
        m_lastIndex = firstIndex + m_recordCount - 1;
        if (overview && overview->GetRecordCount() == m_recordCount)
            IndexBlocksFromOverview(*overview);
        else
            indexed = IndexBlocksFromRecords();
        if (indexed) LinkBlockEndTimes();
    }
    CloseFile();
    return indexed;
}

bool ReportFile::ReadLayout() {
    m_file = detail::OpenRegularFile(m_path);
    if (!m_file) {
        QVX_REPORT_ERROR(kSetupFunction, "File access error.");
        return false;
    }
    m_headerSize = kReportHeaderSize;

    struct stat st {};
    if (::fstat(m_file.Get(), &st) != 0 || static_cast<std::uint64_t>(st.st_size) < m_headerSize)
        return FailSetup("Invalid file size.");
    m_fileSize = static_cast<std::uint64_t>(st.st_size);

    m_header = std::make_unique<ReportHeader>();
    if (ReadAt(m_file.Get(), m_header->data(), kReportHeaderSize, 0) !=
        static_cast<ssize_t>(kReportHeaderSize))
        return FailSetup("Invalid file header size.");
    m_recordSize = kReportRecordSize;

    // A write cut short (crash, power cut) leaves part of a record at the end: the file is
    // read up to its last whole record, and the torn bytes are left as they are.
    const std::uint64_t recordBytes = m_fileSize - m_headerSize;
    m_recordCount = recordBytes / m_recordSize;
    m_tornBytes = recordBytes % m_recordSize;
    if (m_tornBytes != 0) {
        spdlog::warn("{}: the last {} bytes are not a whole record and are ignored.", m_path.string(),
                     m_tornBytes);
    }
    return true;
}

bool ReportFile::FailSetup(const char* message) {
    QVX_REPORT_ERROR(kSetupFunction, "{}", message);
    CloseFile();
    return false;
}

void ReportFile::IndexBlocksFromOverview(const ReportOverviewFile& overview) {
    // The overview's level-1 entries are this table's blocks (8192 records each).
    static_assert(overview::kBlockRecords[1] == kBlockRecords);
    const auto& level1 = overview.GetLevel1();
    m_blocks.reserve(level1.size());
    for (std::size_t b = 0; b < level1.size(); ++b) {
        const std::uint64_t first = b * kBlockRecords;
        m_blocks.push_back(
            Block{first, std::min(kBlockRecords, m_recordCount - first), level1[b].firstTime, 0});
    }
    m_startTime = m_blocks.front().startTime;
    m_endTime = overview.GetLastTime();
}

bool ReportFile::IndexBlocksFromRecords() {
    const RecordAccessor& accessor = m_owner->GetRecordAccessor();
    std::uint8_t record[kReportRecordSize];
    const std::uint64_t blockCount = (m_recordCount + kBlockRecords - 1) / kBlockRecords;
    m_blocks.reserve(blockCount);
    for (std::uint64_t b = 0; b < blockCount; ++b) {
        const std::uint64_t first = b * kBlockRecords;
        if (!ReadRecordDirect(first, record)) return false;
        m_blocks.push_back(
            Block{first, std::min(kBlockRecords, m_recordCount - first), accessor.GetTime(record), 0});
    }
    m_startTime = m_blocks.front().startTime;
    if (m_recordCount == 1) {
        m_endTime = m_startTime;
        return true;
    }
    if (!ReadRecordDirect(m_recordCount - 1, record)) return false;
    m_endTime = accessor.GetTime(record);
    return true;
}

void ReportFile::LinkBlockEndTimes() {
    for (std::size_t b = 0; b + 1 < m_blocks.size(); ++b) m_blocks[b].endTime = m_blocks[b + 1].startTime;
    m_blocks.back().endTime = m_endTime + 1;
}

void ReportFile::SetupPlaceholder(ReportDataReader* owner, std::uint64_t firstIndex,
                                  std::uint64_t recordCount) {
    m_owner = owner;
    m_path.clear();
    m_file.Reset();
    m_header.reset();
    m_fileSize = 0;
    m_recordCount = recordCount;
    m_firstIndex = firstIndex;
    m_lastIndex = firstIndex + recordCount - 1;
    m_startTime = m_endTime = 0;
    m_blocks.clear();
    ResetCache(true);
}

bool ReportFile::OpenFile() {
    m_file = detail::OpenRegularFile(m_path);
    if (!m_file) {
        QVX_REPORT_ERROR("ReportFile::OpenFile", "File access error.");
        return false;
    }
    // Reads are positioned preads of whole blocks or single records: no stream buffer.
    ResetCache(false);
    return true;
}

void ReportFile::CloseFile() {
    m_file.Reset();
    // The block buffers live only while the file is open, so a long report keeps at most
    // three files' worth of cache in memory.
    ResetCache(true);
}

void ReportFile::ResetCache(bool releaseBuffers) {
    for (CacheSlot& slot : m_cacheSlots) {
        slot.blockNumber = -1;
        slot.validBytes = 0;
        if (releaseBuffers) slot.buffer.reset();
    }
    m_slotOrder.clear();
}

std::vector<std::int64_t> ReportFile::GetCachedBlockNumbers() const {
    std::vector<std::int64_t> out;
    for (std::size_t slot : m_slotOrder) out.push_back(m_cacheSlots[slot].blockNumber);
    return out;
}

bool ReportFile::ReadRecordDirect(std::uint64_t index, std::uint8_t* outRecord) {
    constexpr const char* kFn = "ReportFile::ReadRecordDirect";
    QVX_REPORT_CHECK(m_file, kFn, false);
    QVX_REPORT_CHECK(index < m_recordCount, kFn, false);
    QVX_REPORT_CHECK(outRecord, kFn, false);
    const std::uint64_t offset = m_headerSize + index * m_recordSize;
    if (ReadAt(m_file.Get(), outRecord, m_recordSize, offset) != static_cast<ssize_t>(m_recordSize)) {
        QVX_REPORT_ERROR(kFn, "Invalid read size.");
        return false;
    }
    return true;
}

bool ReportFile::ReadRecordsDirect(std::uint64_t index, std::uint64_t count, std::uint8_t* out) {
    constexpr const char* kFn = "ReportFile::ReadRecordsDirect";
    QVX_REPORT_CHECK(m_file, kFn, false);
    QVX_REPORT_CHECK(index <= m_recordCount && count <= m_recordCount - index, kFn, false);
    const std::size_t bytes = static_cast<std::size_t>(count * m_recordSize);
    if (ReadAt(m_file.Get(), out, bytes, m_headerSize + index * m_recordSize) !=
        static_cast<ssize_t>(bytes)) {
        QVX_REPORT_ERROR(kFn, "Invalid read size.");
        return false;
    }
    return true;
}

void ReportFile::AdviseWillNeed(std::uint64_t index, std::uint64_t count) const {
    if (!m_file || index >= m_recordCount) return;
    count = std::min(count, m_recordCount - index);
    ::posix_fadvise(m_file.Get(), static_cast<off_t>(m_headerSize + index * m_recordSize),
                    static_cast<off_t>(count * m_recordSize), POSIX_FADV_WILLNEED);
}

ReportFile::CacheSlot* ReportFile::GetBlock(std::uint64_t blockNumber) {
    const auto number = static_cast<std::int64_t>(blockNumber);
    for (auto it = m_slotOrder.begin(); it != m_slotOrder.end(); ++it) {
        if (m_cacheSlots[*it].blockNumber == number) {
            const std::size_t slot = *it;
            m_slotOrder.erase(it);
            m_slotOrder.push_back(slot);
            return &m_cacheSlots[slot];
        }
    }
    std::size_t slot;
    if (m_slotOrder.size() == kCacheSlotCount) {
        slot = m_slotOrder.front();
        m_slotOrder.erase(m_slotOrder.begin());
    } else {
        slot = m_slotOrder.size();
    }
    m_slotOrder.push_back(slot);
    CacheSlot& cache = m_cacheSlots[slot];
    // Not zero-filled: only the bytes the read delivered (validBytes) are ever used.
    if (!cache.buffer) cache.buffer.reset(new std::uint8_t[m_blockBytes]);
    // A short read at the end of the file is expected (the last block is partial).
    const ssize_t n =
        ReadAt(m_file.Get(), cache.buffer.get(), m_blockBytes, m_headerSize + blockNumber * m_blockBytes);
    if (n < 0) {
        cache.blockNumber = -1;
        cache.validBytes = 0;
        return nullptr;
    }
    cache.blockNumber = number;
    cache.validBytes = static_cast<std::size_t>(n);
    return &cache;
}

bool ReportFile::ReadRecord(std::uint64_t index, std::uint8_t* outRecord) {
    constexpr const char* kFn = "ReportFile::ReadRecord";
    QVX_REPORT_CHECK(m_file, kFn, false);
    QVX_REPORT_CHECK(index < m_recordCount, kFn, false);
    QVX_REPORT_CHECK(outRecord, kFn, false);
    const CacheSlot* block = GetBlock(index / kBlockRecords);
    const std::size_t offset = static_cast<std::size_t>(index % kBlockRecords) * m_recordSize;
    // The file may have shrunk since it was opened: never hand out bytes that were not read.
    if (!block || offset + m_recordSize > block->validBytes) {
        QVX_REPORT_ERROR(kFn, "Invalid read size.");
        return false;
    }
    std::memcpy(outRecord, block->buffer.get() + offset, m_recordSize);
    return true;
}

bool ReportFile::FindIndexByTime(std::uint64_t t, std::uint64_t& outLocalIndex, std::uint64_t& outTime) {
    constexpr const char* kFn = "ReportFile::FindIndexByTime";
    if (m_blocks.empty() || t >= m_blocks.back().endTime) return false;
    auto it = std::upper_bound(m_blocks.begin(), m_blocks.end(), t,
                               [](std::uint64_t v, const Block& b) { return v < b.startTime; });
    if (it == m_blocks.begin()) return false;
    const Block& block = *(it - 1);
    const auto blockNumber = static_cast<std::uint64_t>(it - 1 - m_blocks.begin());

    QVX_REPORT_CHECK(m_file, kFn, false);
    const CacheSlot* cache = GetBlock(blockNumber);
    if (!cache || cache->validBytes < block.recordCount * m_recordSize) {
        QVX_REPORT_ERROR(kFn, "Invalid read size.");
        return false;
    }
    const RecordAccessor& accessor = m_owner->GetRecordAccessor();
    const std::uint8_t* data = cache->buffer.get();
    auto timeOf = [&](std::uint64_t r) { return accessor.GetTime(data + r * m_recordSize); };

    std::uint64_t e = block.recordCount - 1;
    if (t < timeOf(e)) {
        // Upper bound of t among the block's record times: the first record later than t.
        std::uint64_t lo = 0, hi = block.recordCount;
        while (lo < hi) {
            const std::uint64_t mid = lo + (hi - lo) / 2;
            if (t < timeOf(mid)) {
                hi = mid;
            } else {
                lo = mid + 1;
            }
        }
        // Only a file rewritten since opening can put a later time at the block's start.
        QVX_REPORT_CHECK(lo > 0, kFn, false);
        e = lo - 1;
    }
    outLocalIndex = block.firstRecord + e;
    outTime = timeOf(e);
    return true;
}

}  // namespace qvx
