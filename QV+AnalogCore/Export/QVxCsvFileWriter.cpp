#include "QV+AnalogCore/Export/QVxCsvFileWriter.h"

#include "QV+AnalogCore/Export/QVxExportTarget.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {
// Room behind a block for the rows that cross the block boundary.
constexpr std::size_t kBufferSlack = QVxCsvFileWriter::kMaxReserve;
}  // namespace

QVxCsvFileWriter::QVxCsvFileWriter() = default;

QVxCsvFileWriter::~QVxCsvFileWriter() {
    if (m_fd >= 0) Close();
}

bool QVxCsvFileWriter::Open(const std::filesystem::path& path) {
    if (m_fd >= 0) Close();
    m_path = path;
    m_failed = false;
    SetError({});
    m_used = 0;
    m_bytesWritten = 0;
    m_blockPending = false;
    m_stop = false;
    m_target = std::make_unique<QVxExportTarget>(path);
    m_fd = m_target->OpenForWriting();
    if (m_fd < 0) {
        SetError(fmt::format("cannot create {}: {}", path.string(), std::strerror(errno)));
        spdlog::error("Cannot create CSV file {}: {}", path.string(), std::strerror(errno));
        m_target.reset();
        return false;
    }
    m_buffer.resize(kBlockSize + kBufferSlack);
    m_inFlight.resize(kBlockSize + kBufferSlack);
    m_thread = std::thread([this] { WriteBlocks(); });
    return true;
}

void QVxCsvFileWriter::WaitUntilWritten() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_blockPending; });
}

void QVxCsvFileWriter::FlushBuffer() {
    if (m_used == 0) return;
    WaitUntilWritten();
    std::swap(m_buffer, m_inFlight);
    {
        std::lock_guard lock(m_mutex);
        m_inFlightBytes = m_used;
        m_blockPending = true;
    }
    m_changed.notify_all();
    m_used = 0;
}

void QVxCsvFileWriter::WriteBlocks() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_blockPending || m_stop; });
        if (!m_blockPending) return;
        lock.unlock();
        const std::uint64_t offset = m_bytesWritten.load();
        WriteOut(m_inFlight.data(), m_inFlightBytes);
        StartWriteBack(offset, m_bytesWritten.load() - offset);
        lock.lock();
        m_blockPending = false;
        m_changed.notify_all();
    }
}

// The kernel starts writing the block to the disk now instead of when its dirty pages age,
// so the disk works while the next blocks are formatted and the file is on the disk soon
// after the export ends. It does not wait for the disk. Writing thread.
void QVxCsvFileWriter::StartWriteBack(std::uint64_t offset, std::uint64_t bytes) {
    if (bytes == 0) return;
    ::sync_file_range(m_fd, static_cast<off64_t>(offset), static_cast<off64_t>(bytes), SYNC_FILE_RANGE_WRITE);
}

void QVxCsvFileWriter::WriteOut(const char* data, std::size_t size) {
    if (m_failed || m_fd < 0) {
        m_failed = true;
        return;
    }
    while (size > 0) {
        const ssize_t n = ::write(m_fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // write(2) returning 0 for a non-empty request is treated as a failure too.
            const char* why = n < 0 ? std::strerror(errno) : "nothing written";
            SetError(fmt::format("writing failed after {} bytes: {}", m_bytesWritten.load(), why));
            spdlog::error("CSV file write failed after {} bytes ({}): {}", m_bytesWritten.load(),
                          m_path.string(), why);
            m_failed = true;
            return;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        m_bytesWritten += static_cast<std::uint64_t>(n);
    }
}

void QVxCsvFileWriter::SetError(std::string error) {
    std::lock_guard lock(m_mutex);
    m_error = std::move(error);
}

std::string QVxCsvFileWriter::GetError() const {
    std::lock_guard lock(m_mutex);
    return m_error;
}

void QVxCsvFileWriter::Abandon() {
    if (m_fd < 0) return;
    m_failed = true;
    (void)Close();
}

bool QVxCsvFileWriter::Close() {
    if (m_fd < 0) return false;
    FlushBuffer();
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
    if (::close(m_fd) != 0 && !m_failed) {
        SetError(fmt::format("closing failed: {}", std::strerror(errno)));
        spdlog::error("CSV file close failed ({}): {}", m_path.string(), std::strerror(errno));
        m_failed = true;
    }
    m_fd = -1;
    std::vector<char>().swap(m_buffer);
    std::vector<char>().swap(m_inFlight);
    m_used = 0;
    if (m_failed) {
        m_target->Discard();
    } else if (!m_target->Commit()) {
        SetError("the finished file cannot replace " + m_path.string());
        m_failed = true;
    }
    m_target.reset();
    return !m_failed;
}
