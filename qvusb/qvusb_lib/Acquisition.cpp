// The acquisition of the analog unit, run on the control thread: sends the start block, reads
// the unit's sample memory in blocks of up to 4 MiB into alternating buffer halves, hands each
// block to the writer thread, optionally splits the data into report files, and ends by stop
// request (drain or abort), stop time, stop size or a failure.

#include "qvusb/qvusb_lib/DeviceContext.h"
#include "qvusb/qvusb_lib/Log.h"
#include "qvusb/qvusb_lib/ReportFile.h"
#include "qvusb/qvusb_lib/Timing.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>

namespace {

constexpr uint32_t kStatusPollBelow = 0x400000;  // poll the unit only while less than 4 MiB waits
constexpr uint32_t kBlockAlign = 512;
constexpr uint32_t kFlushIntervalMs = 500;
constexpr uint32_t kEmptyPollMs = 1;  // little or nothing waiting in the unit: give the CPU back

uint64_t TickMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

}  // namespace

bool QVPlusContext::WaitForWriter() {
    if (!m_handOverPending) return true;
    m_writerDone.acquire();
    m_handOverPending = false;
    return !m_handOver.failed;
}

bool QVPlusContext::RunAcquisition() {
    m_readAddress = 0;
    m_lastFill = 0;
    if (!ReadUnitStatus()) {
        m_status.errorCode.store(QVPLUS_ERR_STATUS_READ);
        return false;
    }
    if (m_runState == 1) SendStopCommand();
    qvusb::BuildReportHeader(m_header, m_startSeconds);
    if (!SendStartBlock() || m_runState != 1) {
        m_status.errorCode.store(QVPLUS_ERR_STATUS_READ);
        return false;
    }
    // The status read above described the memory of the previous acquisition; the unit starts
    // writing at address 0 again, so nothing of that is waiting for this one.
    m_lastFill = 0;
    m_overflowLogged = false;

    const int64_t splitSize = m_params.splitSize;
    const int64_t stopSize = m_params.stopSize > 0 ? m_params.stopSize : 0;
    const uint32_t stopTime = m_params.stopTimeMs;
    const uint64_t t0 = TickMs();
    uint64_t fileTick = t0;
    int64_t bytesInFile = 0;
    int half = 0;
    std::FILE* file = nullptr;
    bool stopSent = false;
    bool ok = true;
    bool headerDone = false;  // a file that could not be opened has no header to rewrite

    while (true) {
        if (m_controlExit.load()) break;  // handle deleted: abort
        const uint64_t elapsed = TickMs() - t0;
        m_status.elapsedMs.store(static_cast<uint32_t>(elapsed));
        uint32_t none = 0;
        if (stopTime != 0 && elapsed >= stopTime) m_stopRequest.compare_exchange_strong(none, 1);

        if (m_lastFill < kStatusPollBelow && !ReadUnitStatus()) {
            m_status.errorCode.store(QVPLUS_ERR_STATUS_READ);
            ok = false;
            break;
        }
        m_status.unitBufferSize.store(qvusb::kUnitMemorySize);
        m_status.unitBufferFill.store(m_lastFill);

        const uint32_t request = m_stopRequest.load();
        if (request != 0) {
            if (request != 1) break;  // abort
            if (!stopSent) {
                SendStopCommand();
                std::this_thread::sleep_for(
                    std::chrono::milliseconds(qvusb::GetTiming().stopSettleMs.load()));
                stopSent = true;
                continue;
            }
            if (m_lastFill == 0) break;  // drained
        }

        // While the unit still captures, less than one 512-byte block is left to grow for a
        // millisecond instead of being fetched in tiny reads; when draining it is read whole.
        if (request == 0 && m_lastFill < kBlockAlign) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kEmptyPollMs));
            continue;
        }
        int64_t n = std::min<uint32_t>(m_lastFill, kHalfSize);
        if (n > kBlockAlign) n = n / kBlockAlign * kBlockAlign;
        if (!m_filesDisabled) n = std::min<int64_t>(n, splitSize - bytesInFile);
        if (stopSize != 0)
            n = std::min<int64_t>(n, stopSize - static_cast<int64_t>(m_status.bytesAcquired.load()));
        if (n <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kEmptyPollMs));
            continue;
        }

        uint8_t* block = m_captureBuffer.get() + half * kHalfSize;
        const uint32_t length = static_cast<uint32_t>(n);
        if (m_unit->VendorRead(qvusb::kCmdSampleMemory, m_readAddress, block, length) != n) {
            m_status.errorCode.store(QVPLUS_ERR_STATUS_READ);
            ok = false;
            break;
        }
        m_lastFill -= length;
        m_readAddress = (m_readAddress + length) & qvusb::kUnitAddressMask;

        // Hand the block over; the writer must have finished the other half first.
        if (!WaitForWriter()) {
            m_status.errorCode.store(QVPLUS_ERR_FILE_WRITE);
            ok = false;
            break;
        }
        if (!m_filesDisabled && file == nullptr) {
            std::error_code ignored;
            std::filesystem::create_directories(m_folder, ignored);
            m_currentPath = qvusb::ReportFilePath(m_folder, m_prefix, m_status.fileNumber.load());
            file = std::fopen(m_currentPath.c_str(), "wb");
            if (file == nullptr) {
                QVUSB_LOG(qvusb::kLogError, "Cannot create %s", m_currentPath.c_str());
                m_status.errorCode.store(QVPLUS_ERR_FILE_WRITE);
                ok = false;
                break;
            }
            std::memset(m_header + 16, 0, 8);  // data length: 0 until the file is closed
            headerDone = std::fwrite(m_header, 1, qvusb::kReportHeaderSize, file) == qvusb::kReportHeaderSize;
            if (!headerDone) {
                m_status.errorCode.store(QVPLUS_ERR_FILE_WRITE);
                ok = false;
                break;
            }
            fileTick = TickMs();
            m_status.fileNumber.fetch_add(1);
        }
        const uint64_t now = TickMs();
        const bool flush = now - fileTick > kFlushIntervalMs;
        if (flush) fileTick = now;
        m_handOver = HandOver{file, block, 1, length, flush, 0, 0, false};
        m_handOverPending = true;
        m_dataReady.release();
        half ^= 1;

        if (file != nullptr) {
            bytesInFile += n;
            if (bytesInFile >= splitSize) {
                const bool written = WaitForWriter();
                const bool rewritten =
                    qvusb::RewriteReportHeader(file, m_header, static_cast<uint64_t>(bytesInFile));
                std::fclose(file);
                file = nullptr;
                bytesInFile = 0;
                if (!written || !rewritten) {
                    m_status.errorCode.store(QVPLUS_ERR_FILE_WRITE);
                    ok = false;
                    break;
                }
            }
        }
        m_status.bytesAcquired.fetch_add(static_cast<uint64_t>(n));
        if (stopSize != 0 && static_cast<int64_t>(m_status.bytesAcquired.load()) >= stopSize) break;
    }

    // Every block reaches the writer before the file is closed and before the end-of-data call.
    if (!WaitForWriter()) {
        m_status.errorCode.store(QVPLUS_ERR_FILE_WRITE);
        ok = false;
    }
    if (file != nullptr) {
        if (!headerDone || !qvusb::RewriteReportHeader(file, m_header, static_cast<uint64_t>(bytesInFile))) {
            m_status.errorCode.store(QVPLUS_ERR_FILE_WRITE);
            ok = false;
        }
        std::fclose(file);
    }
    if (m_params.dataCallback != nullptr) {
        QVPlusStatus status = m_status.Snapshot();
        m_params.dataCallback(m_captureBuffer.get() + half * kHalfSize, 0, 0, 1, &status);
    }
    SendStopCommand();
    return ok;
}
