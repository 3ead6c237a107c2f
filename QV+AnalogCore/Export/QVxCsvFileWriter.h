#pragma once
// Buffered writer of a CSV export: text is collected in one large buffer and
// written to the file in big blocks with plain write(2) calls, so that every
// failure (full disk, I/O error, a failing close) is seen and reported instead of
// being lost in a stream's error state. The text goes to a temporary file beside the
// target that replaces it when Close succeeds (QVxExportTarget), so a failed export
// leaves the target as it was. A full block is written by a thread of the writer's
// own while the caller fills the next one, so formatting and the kernel's copy into the
// page cache overlap. The public functions: one thread at a time.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class QVxExportTarget;

class QVxCsvFileWriter {
public:
    static constexpr std::size_t kBlockSize = std::size_t{4} << 20;  // bytes per write

    QVxCsvFileWriter();
    // Closes a file that is still open; its errors are only logged.
    ~QVxCsvFileWriter();
    QVxCsvFileWriter(const QVxCsvFileWriter&) = delete;
    QVxCsvFileWriter& operator=(const QVxCsvFileWriter&) = delete;

    // Starts writing `path` (see QVxExportTarget). False (logged with the reason) when
    // the file cannot be created.
    bool Open(const std::filesystem::path& path);

    // Appends to the buffer; a full buffer is written out first. After a failed
    // write further text is dropped and Close reports the failure.
    void Append(std::string_view text) {
        if (text.size() > m_buffer.size() - m_used) FlushBuffer();
        if (text.size() > m_buffer.size()) {
            WaitUntilWritten();
            WriteOut(text.data(), text.size());
            return;
        }
        std::memcpy(m_buffer.data() + m_used, text.data(), text.size());
        m_used += text.size();
    }
    void Append(char c) {
        if (m_used == m_buffer.size()) FlushBuffer();
        m_buffer[m_used++] = c;
    }

    // Room for `maxBytes` (at most kMaxReserve) at the end of the buffer, for text
    // formatted in place; Commit then keeps what was written there.
    static constexpr std::size_t kMaxReserve = std::size_t{64} << 10;
    char* Reserve(std::size_t maxBytes) {
        if (maxBytes > m_buffer.size() - m_used) FlushBuffer();
        return m_buffer.data() + m_used;
    }
    void Commit(std::size_t bytes) { m_used += bytes; }

    // Hands the buffer to the writing thread once it holds at least kBlockSize bytes.
    // False after a failure.
    bool FlushIfFull() {
        if (m_used >= kBlockSize) FlushBuffer();
        return !m_failed.load();
    }

    // Writes what is buffered and closes the file. True when every byte was written,
    // the file closed cleanly and it replaced the target; false (logged) otherwise, and
    // the target is left as it was.
    bool Close();
    // Stops writing and leaves the target as it was (the temporary file is removed): for
    // an export that failed or was cancelled after its file was opened.
    void Abandon();

    bool IsOpen() const { return m_fd >= 0; }
    bool HasFailed() const { return m_failed.load(); }
    // Bytes handed to the file so far.
    std::uint64_t GetBytesWritten() const { return m_bytesWritten.load(); }
    // Why creating, writing or closing the file failed (empty while nothing did). Any thread.
    std::string GetError() const;

private:
    // Caller's thread: waits until the block in flight is written, then hands over the buffer.
    void FlushBuffer();
    void WaitUntilWritten();
    // Writing thread: writes each block handed over until told to stop.
    void WriteBlocks();
    // Either thread, never both at once.
    void WriteOut(const char* data, std::size_t size);
    void StartWriteBack(std::uint64_t offset, std::uint64_t bytes);
    // Either thread: keeps the reason of a failure.
    void SetError(std::string error);

    std::vector<char> m_buffer;  // filled by the caller
    std::size_t m_used = 0;
    std::vector<char> m_inFlight;  // written by the writing thread
    std::size_t m_inFlightBytes = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_blockPending = false;  // guarded by m_mutex
    bool m_stop = false;          // guarded by m_mutex
    std::thread m_thread;
    int m_fd = -1;
    std::atomic<bool> m_failed{false};
    std::atomic<std::uint64_t> m_bytesWritten{0};
    std::filesystem::path m_path;
    std::string m_error;  // guarded by m_mutex
    std::unique_ptr<QVxExportTarget> m_target;
};
