#include "QVxCore/ReportData/ReportDataWriter.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace qvx {
namespace {

// Write-back is started in slices of this size, and the newest kWriteBackSlicesInFlight
// slices are left to the disk while what is older is waited for and dropped from the page
// cache. With one slice in flight the writer waited for every 8 MiB the disk wrote; four
// keep the disk's queue fed, and the page cache still holds at most about 40 MiB of a
// file's records that are not on the disk yet (those slices and the one being filled).
constexpr std::int64_t kWriteBackSliceBytes = 8 << 20;
constexpr std::int64_t kWriteBackSlicesInFlight = 4;

}  // namespace

ReportDataWriter::ReportDataWriter(std::filesystem::path reportFolder, const Header& header,
                                   std::int64_t maxRecordsPerFile)
    : m_maxRecordsPerFile(maxRecordsPerFile), m_header(header), m_reportFolder(std::move(reportFolder)) {}

ReportDataWriter::~ReportDataWriter() {
    Close();
}

void ReportDataWriter::Close() {
    if (m_file < 0) return;
    WriteHeader();
    ::close(m_file);
    m_file = -1;
}

bool ReportDataWriter::CreateReportFile() {
    Close();
    const auto name = m_reportFolder / fmt::format("{:08d}.DAT", m_fileCount);
    m_file = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_file < 0) {
        const int error = errno;  // read before logging can change it
        spdlog::error("File access error. {}", error);
        return false;
    }
    ++m_fileCount;
    m_recordsInFile = 0;
    m_writeBackStarted = m_writeBackDropped = kHeaderBytes;
    // The header goes in with pwrite, which leaves the file offset alone: records follow it.
    if (!WriteHeader() || ::lseek(m_file, kHeaderBytes, SEEK_SET) != static_cast<off_t>(kHeaderBytes))
        return false;
    // The new name must reach the disk too, or a power cut could lose the whole file.
    SyncFolder();
    return true;
}

bool ReportDataWriter::SetStartTime(std::int64_t seconds, std::int32_t nanoseconds) {
    StoreLE64(m_header.data() + kHeaderOffsetStartSeconds, static_cast<std::uint64_t>(seconds));
    StoreLE64(m_header.data() + kHeaderOffsetStartNanoseconds,
              static_cast<std::uint64_t>(static_cast<std::int64_t>(nanoseconds)));
    return m_file < 0 || WriteHeader();
}

void ReportDataWriter::SyncFolder() {
    const int folder = ::open(m_reportFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return;
    ::fsync(folder);
    ::close(folder);
}

// Once per durability interval: waits until the records written so far and the file
// size are on the disk. Most of the data is already under write-back (StartWriteBack),
// so this waits for at most the newest slices.
void ReportDataWriter::MakeDurableIfDue() {
    if (m_durabilityInterval.count() <= 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (now < m_nextDurableAt) return;
    if (m_nextDurableAt != std::chrono::steady_clock::time_point{}) ::fdatasync(m_file);
    m_nextDurableAt = now + m_durabilityInterval;
}

bool ReportDataWriter::WriteHeader() {
    if (m_file < 0 ||
        ::pwrite(m_file, m_header.data(), kHeaderBytes, 0) != static_cast<ssize_t>(kHeaderBytes)) {
        spdlog::error("Write header failed.");
        return false;
    }
    return true;
}

// The kernel may accept a large write in parts; only an error (disk full, I/O
// error) or a write that makes no progress is a failure.
bool ReportDataWriter::WriteAll(const std::uint8_t* data, std::size_t bytes) {
    while (bytes > 0) {
        const ssize_t n = ::write(m_file, data, bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        bytes -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ReportDataWriter::WriteRecord(const std::uint8_t* records, std::int64_t count) {
    if (m_file < 0) {
        spdlog::error("m_file");
        return false;
    }
    while (count > 0) {
        if (m_recordsInFile >= m_maxRecordsPerFile && !CreateReportFile()) return false;
        const std::int64_t k = std::min(count, m_maxRecordsPerFile - m_recordsInFile);
        if (!WriteAll(records, static_cast<std::size_t>(k) * kReportRecordSize)) return false;
        m_recordsInFile += k;
        records += k * kReportRecordSize;
        count -= k;
        if (m_streamingWriteBack) {
            StartWriteBack(kHeaderBytes + m_recordsInFile * kReportRecordSize);
            MakeDurableIfDue();
        }
    }
    return true;
}

void ReportDataWriter::StartWriteBack(std::int64_t endOffset) {
#if defined(__linux__)
    if (endOffset - m_writeBackStarted < kWriteBackSliceBytes) return;
    // Start writing the new slice, then wait for the previous one and drop it.
    ::sync_file_range(m_file, m_writeBackStarted, endOffset - m_writeBackStarted, SYNC_FILE_RANGE_WRITE);
    const std::int64_t settled = m_writeBackStarted - (kWriteBackSlicesInFlight - 1) * kWriteBackSliceBytes;
    if (settled > m_writeBackDropped) {
        const std::int64_t len = settled - m_writeBackDropped;
        ::sync_file_range(m_file, m_writeBackDropped, len,
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        ::posix_fadvise(m_file, m_writeBackDropped, len, POSIX_FADV_DONTNEED);
        m_writeBackDropped = settled;
    }
    m_writeBackStarted = endOffset;
#else
    (void)endOffset;
#endif
}

}  // namespace qvx
