// The acquisition of the analog unit, run on the control thread: sends the start block, reads
// the unit's sample memory in blocks of up to 4 MiB into alternating buffer halves, hands each
// block to the writer thread, optionally splits the data into report files, and ends by stop
// request (drain or abort), stop time, stop size, the unit's stop trigger or a failure.

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
// While the unit captures, a read waits until this much is waiting or the oldest waiting bytes
// are this old. Every block costs the same hand-over, wake-up, write call and status read
// whatever its size, so at the top rate (168 MB/s) blocks of about 1 MiB instead of the few
// tens of KiB a busy loop would fetch cut that cost twenty-fold; the wait bounds what a slow
// rate adds to the live view's latency.
constexpr uint32_t kWorthReadingWhileCapturing = 0x100000;  // bytes
constexpr uint64_t kLongestWaitWhileCapturingMs = 5;

uint64_t TickMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

}  // namespace

struct QVPlusContext::AcquisitionRun {
    int64_t splitSize = 0;    // bytes per report file
    int64_t stopSize = 0;     // bytes; 0: no stop size
    uint32_t stopTimeMs = 0;  // 0: no stop time
    uint64_t startTick = 0;   // ms, steady clock, when the start block went out
    uint64_t fileTick = 0;    // ms, steady clock, of the current file's last flush
    uint64_t readTick = 0;    // ms, steady clock, of the last block read from the unit
    int64_t bytesInFile = 0;
    int half = 0;  // the capture-buffer half the next block goes into
    std::FILE* file = nullptr;
    bool stopSent = false;
    bool headerDone = false;  // a file that could not be opened has no header to rewrite
    bool ok = true;           // false once a failure was published
};

bool QVPlusContext::WaitForWriter() {
    if (!m_handOverPending) return true;
    m_writerDone.acquire();
    m_handOverPending = false;
    return !m_handOver.failed;
}

// Publishes `errorCode` in the status block and marks the run failed. Returns false, so that a
// step can end the loop with `return Fail(...)`.
bool QVPlusContext::Fail(AcquisitionRun& run, uint32_t errorCode) {
    m_status.errorCode.store(errorCode);
    run.ok = false;
    return false;
}

bool QVPlusContext::RunAcquisition() {
    AcquisitionRun run;
    if (!StartUnit(run)) {
        CallEndOfData(run);
        return false;
    }
    bool more = true;
    while (more && !m_controlExit.load()) more = AcquireTurn(run);  // a deleted handle aborts
    return FinishAcquisition(run);
}

// Stops a run the unit may still have from before, then sends the start block.
bool QVPlusContext::StartUnit(AcquisitionRun& run) {
    m_readAddress = 0;
    m_lastFill = 0;
    if (!ReadUnitStatus()) return Fail(run, QVPLUS_ERR_STATUS_READ);
    if (m_runState == RunState::kStartSent) SendStopCommand();
    qvusb::BuildLibraryReportHeader(m_header, m_startSeconds);
    if (!SendStartBlock() || m_runState != RunState::kStartSent) return Fail(run, QVPLUS_ERR_STATUS_READ);
    // The status read above described the memory of the previous acquisition; the unit starts
    // writing at address 0 again, so nothing of that is waiting for this one.
    m_lastFill = 0;
    m_overflowLogged = false;
    m_unitSeenArmed = false;

    run.splitSize = m_params.splitSize;
    run.stopSize = m_params.stopSize > 0 ? m_params.stopSize : 0;
    run.stopTimeMs = m_params.stopTimeMs;
    run.startTick = TickMs();
    run.fileTick = run.startTick;
    run.readTick = run.startTick;
    return true;
}

// One turn of the loop: status, stop request, and at most one block. False ends the loop.
bool QVPlusContext::AcquireTurn(AcquisitionRun& run) {
    const uint64_t elapsed = TickMs() - run.startTick;
    m_status.elapsedMs.store(static_cast<uint32_t>(elapsed));
    uint32_t none = kNoStopRequest;
    if (run.stopTimeMs != 0 && elapsed >= run.stopTimeMs)
        m_stopRequest.compare_exchange_strong(none, QVPLUS_STOP_DRAIN);

    const bool polled = m_lastFill < kStatusPollBelow;
    if (polled && !ReadUnitStatus()) return Fail(run, QVPLUS_ERR_STATUS_READ);
    m_status.unitBufferSize.store(qvusb::kUnitMemorySize);
    m_status.unitBufferFill.store(m_lastFill);

    const uint32_t request = m_stopRequest.load();
    if (EndedByStopTrigger(polled, request)) {
        QVUSB_LOG(qvusb::kLogInfo, "The unit's stop trigger ended the acquisition.");
        return false;
    }
    if (request != kNoStopRequest) {
        if (request != QVPLUS_STOP_DRAIN) return false;  // abort
        if (!run.stopSent) {
            SendStopCommand();
            std::this_thread::sleep_for(std::chrono::milliseconds(qvusb::GetTiming().stopSettleMs.load()));
            run.stopSent = true;
            return true;
        }
        if (m_lastFill == 0) return false;  // drained
    }

    const int64_t n = NextBlockSize(run, request);
    if (n <= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kEmptyPollMs));
        return true;
    }
    return TransferBlock(run, static_cast<uint32_t>(n));
}

// The unit ends a capture by itself when its stop trigger fires: it says so in the state byte
// of its status word and writes no further records. Once a status read made this turn shows
// that and nothing left to read, every record up to the trigger has been handed over. The state
// counts only after this acquisition was seen running (armed, or records read), so that a state
// left from the previous acquisition cannot end this one. Without a stop request only: a drain
// ends by its own rule.
bool QVPlusContext::EndedByStopTrigger(bool polled, uint32_t request) const {
    const bool ranThisTime = m_unitSeenArmed || m_status.bytesAcquired.load() > 0;
    return polled && request == kNoStopRequest && m_unitStopTriggered && m_lastFill == 0 && ranThisTime;
}

// Bytes to read now, whole 512-byte blocks where more than one waits, bounded by the buffer
// half, the current file and the stop size; 0 or less: nothing to read this turn.
int64_t QVPlusContext::NextBlockSize(const AcquisitionRun& run, uint32_t request) const {
    // While the unit still captures, what waits is left to grow for a millisecond until it is
    // worth a read (at least one 512-byte block, and a large block unless the oldest bytes
    // have waited long enough); when draining, or once the unit's stop trigger ended its
    // capture, it is read whole.
    if (request == kNoStopRequest && !m_unitStopTriggered && !WorthReadingWhileCapturing(run)) return 0;
    int64_t n = std::min<uint32_t>(m_lastFill, kHalfSize);
    if (n > kBlockAlign) n = n / kBlockAlign * kBlockAlign;
    if (!m_filesDisabled) n = std::min<int64_t>(n, run.splitSize - run.bytesInFile);
    if (run.stopSize != 0)
        n = std::min<int64_t>(n, run.stopSize - static_cast<int64_t>(m_status.bytesAcquired.load()));
    return n;
}

bool QVPlusContext::WorthReadingWhileCapturing(const AcquisitionRun& run) const {
    if (m_lastFill < kBlockAlign) return false;
    return m_lastFill >= kWorthReadingWhileCapturing ||
           TickMs() - run.readTick >= kLongestWaitWhileCapturingMs;
}

// Reads `length` bytes into the next buffer half and hands them to the writer thread.
bool QVPlusContext::TransferBlock(AcquisitionRun& run, uint32_t length) {
    uint8_t* block = m_captureBuffer.get() + run.half * kHalfSize;
    if (m_unit->VendorRead(qvusb::kCmdSampleMemory, m_readAddress, block, length) !=
        static_cast<int64_t>(length))
        return Fail(run, QVPLUS_ERR_STATUS_READ);
    run.readTick = TickMs();
    m_lastFill -= length;
    m_readAddress = (m_readAddress + length) & qvusb::kUnitAddressMask;
    // What still waits in the unit: a block handed over is never counted in it.
    m_status.unitBufferFill.store(m_lastFill);

    // Hand the block over; the writer must have finished the other half first.
    if (!WaitForWriter()) return Fail(run, QVPLUS_ERR_FILE_WRITE);
    if (!m_filesDisabled && run.file == nullptr && !OpenReportFile(run)) return false;
    const uint64_t now = TickMs();
    const bool flush = now - run.fileTick > kFlushIntervalMs;
    if (flush) run.fileTick = now;
    m_handOver = HandOver{run.file, block, 1, length, flush, 0, 0, false};
    m_handOverPending = true;
    m_dataReady.release();
    run.half ^= 1;

    if (run.file != nullptr) {
        run.bytesInFile += length;
        if (run.bytesInFile >= run.splitSize && !CloseFullReportFile(run)) return false;
    }
    m_status.bytesAcquired.fetch_add(length);
    return run.stopSize == 0 || static_cast<int64_t>(m_status.bytesAcquired.load()) < run.stopSize;
}

// Creates the next report file with its header (data length 0 until the file is closed).
bool QVPlusContext::OpenReportFile(AcquisitionRun& run) {
    std::error_code ignored;
    std::filesystem::create_directories(m_folder, ignored);
    m_currentPath = qvusb::ReportFilePath(m_folder, m_prefix, m_status.fileNumber.load());
    run.file = std::fopen(m_currentPath.c_str(), "wb");
    if (run.file == nullptr) {
        QVUSB_LOG(qvusb::kLogError, "Cannot create %s", m_currentPath.c_str());
        return Fail(run, QVPLUS_ERR_FILE_WRITE);
    }
    qvusb::SetReportDataLength(m_header, 0);
    run.headerDone = std::fwrite(m_header, 1, qvusb::kReportHeaderSize, run.file) == qvusb::kReportHeaderSize;
    if (!run.headerDone) return Fail(run, QVPLUS_ERR_FILE_WRITE);
    run.fileTick = TickMs();
    m_status.fileNumber.fetch_add(1);
    return true;
}

// The file holds its split size: waits for the writer, writes the exact length into the
// header and closes it; the next block opens a new one.
bool QVPlusContext::CloseFullReportFile(AcquisitionRun& run) {
    const bool written = WaitForWriter();
    const bool rewritten =
        qvusb::RewriteReportHeader(run.file, m_header, static_cast<uint64_t>(run.bytesInFile));
    std::fclose(run.file);
    run.file = nullptr;
    run.bytesInFile = 0;
    if (!written || !rewritten) return Fail(run, QVPLUS_ERR_FILE_WRITE);
    return true;
}

// Every block reaches the writer before the file is closed and before the end-of-data call.
bool QVPlusContext::FinishAcquisition(AcquisitionRun& run) {
    if (!WaitForWriter()) Fail(run, QVPLUS_ERR_FILE_WRITE);
    if (run.file != nullptr) {
        if (!run.headerDone ||
            !qvusb::RewriteReportHeader(run.file, m_header, static_cast<uint64_t>(run.bytesInFile)))
            Fail(run, QVPLUS_ERR_FILE_WRITE);
        std::fclose(run.file);
    }
    CallEndOfData(run);
    SendStopCommand();
    return run.ok;
}

// Every started acquisition ends with exactly one end-of-data call, also one that was stopped
// before the unit began or whose start failed: the caller waits for it to end its trace.
void QVPlusContext::CallEndOfData(const AcquisitionRun& run) {
    if (m_params.dataCallback == nullptr) return;
    QVPlusStatus status = m_status.Snapshot();
    m_params.dataCallback(m_captureBuffer.get() + run.half * kHalfSize, 0, 0, 1, &status);
}

// A stop that came between the start call and the control thread's next turn: the unit was
// never started, so the acquisition holds no record, and it still ends with its one call.
void QVPlusContext::EndStoppedBeforeStart() {
    CallEndOfData(AcquisitionRun{});
}
