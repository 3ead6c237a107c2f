#include "qvusb/qvusb_lib/DeviceContext.h"

#include "qvusb/qvusb_lib/Log.h"
#include "qvusb/qvusb_lib/ThreadUtil.h"
#include "qvusb/qvusb_lib/Timing.h"

#include <chrono>
#include <cstring>
#include <new>

using qvusb::kLogDebug;
using qvusb::kLogError;
using qvusb::kLogInfo;

QVPlusContext::QVPlusContext(uint32_t captureMode, std::wstring deviceId, std::string bitStreamPath,
                             bool hasBitStreamPath)
    : m_captureMode(captureMode),
      m_deviceId(std::move(deviceId)),
      m_bitStreamPath(std::move(bitStreamPath)),
      m_hasBitStreamPath(hasBitStreamPath),
      m_backend(qvusb::CurrentBackend()) {}

QVPlusContext::~QVPlusContext() {
    m_controlExit.store(true);
    Wake();
    if (m_controlThread.joinable()) m_controlThread.join();
    if (m_writerThread.joinable()) {
        // Let the writer finish a block still in flight, so that data ready is free again.
        if (m_handOverPending) {
            m_writerDone.acquire();
            m_handOverPending = false;
        }
        m_writerExit.store(true);
        m_dataReady.release();
        m_writerThread.join();
    }
    const bool hadUnit = m_unit != nullptr;
    m_unit.reset();
    if (hadUnit) qvusb::ResetUnit(*m_backend, m_deviceId);
}

bool QVPlusContext::AllocateBuffers() {
    m_captureBuffer.reset(new (std::nothrow) uint8_t[2 * kHalfSize]);
    if (!m_captureBuffer) {
        QVUSB_LOG(kLogError, "VirtualAlloc failed.");
        return false;
    }
    return true;
}

bool QVPlusContext::OpenUnit() {
    qvusb::ResetUnit(*m_backend, m_deviceId);
    std::this_thread::sleep_for(std::chrono::milliseconds(qvusb::GetTiming().resetSettleMs.load()));
    QVUSB_LOG(kLogDebug, "QVUSBFX3Open");
    m_unit = qvusb::Fx3Device::OpenBySerial(*m_backend, m_deviceId);
    if (!m_unit) {
        QVUSB_LOG(kLogError, "CCyUSBDevice Open failed.");
        QVUSB_LOG(kLogError, "QVUSBFX3Open failed.");
        return false;
    }
    QVUSB_LOG(kLogInfo, "Connection successful.");
    return true;
}

bool QVPlusContext::StartThreads() {
    try {
        m_writerThread = std::thread([this] { WriterThreadMain(); });
        qvusb::SetThreadName(m_writerThread, "qvusb-writer");
        m_controlThread = std::thread([this] { ControlThreadMain(); });
        qvusb::SetThreadName(m_controlThread, "qvusb-control");
    } catch (const std::system_error&) {
        QVUSB_LOG(kLogError, "CreateThread failed.");
        return false;
    }
    return true;
}

void QVPlusContext::SetThreadPriorities(bool raised) {
    using qvusb::ThreadPriority;
    qvusb::SetThreadPriority(m_writerThread,
                             raised ? ThreadPriority::kTimeCritical : ThreadPriority::kNormal);
    qvusb::SetThreadPriority(m_controlThread, raised ? ThreadPriority::kHighest : ThreadPriority::kNormal);
}

int32_t QVPlusContext::Start(const QVPlusStartParams& params) {
    std::lock_guard lock(m_apiMutex);
    if (m_status.running.load() != 0) return 0;
    if (m_status.unitReady.load() == 0) return 0;
    m_status.errorCode.store(0);
    std::memcpy(&m_params, &params, sizeof(m_params));
    m_filesDisabled = params.outputFolder == nullptr;
    int64_t split = params.splitSize / 512 * 512;
    m_params.splitSize = split < 512 ? 512 : split;
    m_folder = params.outputFolder ? std::string(params.outputFolder).substr(0, 1023) : std::string();
    if (!m_filesDisabled && (m_folder.empty() || m_folder.back() != '/')) m_folder += '/';
    m_prefix = params.filePrefix ? std::string(params.filePrefix).substr(0, 1023) : std::string("AS");
    m_status.startSeconds.store(0);
    m_status.startNanoseconds.store(0);
    m_status.elapsedMs.store(0);
    m_status.fileNumber.store(0);
    m_status.bytesAcquired.store(0);
    m_status.unitBufferSize.store(0);
    m_status.unitBufferFill.store(0);
    m_stopRequest.store(kNoStopRequest);
    SetThreadPriorities(true);
    m_startSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    m_status.running.store(1);
    Wake();
    return 1;
}

int32_t QVPlusContext::Stop(uint32_t reason) {
    std::lock_guard lock(m_apiMutex);
    if (m_status.running.load() == 0 || m_stopRequest.load() == QVPLUS_STOP_ABORT) return 1;
    m_status.errorCode.store(0);
    m_stopRequest.store(reason);
    SetThreadPriorities(false);
    Wake();
    return 1;
}

void QVPlusContext::WaitIdle(uint32_t ms) {
    std::unique_lock lock(m_wakeMutex);
    m_wakeCondition.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_wakeRequested; });
    m_wakeRequested = false;
}

void QVPlusContext::Wake() {
    {
        std::lock_guard lock(m_wakeMutex);
        m_wakeRequested = true;
    }
    m_wakeCondition.notify_all();
}
