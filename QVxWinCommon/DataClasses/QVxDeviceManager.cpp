#include "QVxWinCommon/DataClasses/QVxDeviceManager.h"

#include "QVxCore/Logger.h"
#include "QVxCore/Utils.h"

#include <spdlog/spdlog.h>

#include <chrono>
#include <cstdio>
#include <set>

namespace fs = std::filesystem;

std::atomic<std::int32_t> QVxDeviceManager::s_lastDeviceError{kDeviceErrorNone};
std::atomic<QVxDeviceManager*> QVxDeviceManager::s_dataReceiver{nullptr};

namespace {

// Between status polls while a unit configures itself (ms): short enough not to
// delay the connection noticeably, long enough not to spin a core.
constexpr auto kConnectPollInterval = std::chrono::milliseconds(2);
constexpr auto kMonitorInterval = std::chrono::milliseconds(100);
constexpr std::size_t kMaxDeviceIdChars = 20;

}  // namespace

bool QVxDeviceManager::IsOfType(const std::wstring& id, QVxCaptureMode type) {
    switch (type) {
        case QVxCaptureMode::kAnalog:
            return id.rfind(L"AN", 0) == 0;
        case QVxCaptureMode::kTraceUnit:
        case QVxCaptureMode::kTraceUnitAlt:
            return id.rfind(L"TR", 0) == 0;
        case QVxCaptureMode::kCtUnit:
            return id.rfind(L"CT", 0) == 0;
        case QVxCaptureMode::kAnyUnit:
            return true;
    }
    return true;  // a number that is no mode lists every unit
}

QVxDeviceManager::QVxDeviceManager(QVxCaptureMode captureMode, fs::path bitStreamPath)
    : m_bitStreamPath(std::move(bitStreamPath)), m_captureMode(captureMode) {}

QVxDeviceManager::~QVxDeviceManager() {
    StopMonitorThread();
    if (IsOpened()) Close();
    QVxDeviceManager* self = this;
    s_dataReceiver.compare_exchange_strong(self, nullptr);
}

bool QVxDeviceManager::IsOpened() const {
    return m_handle.load() != nullptr;
}

QVxDeviceVersions QVxDeviceManager::GetVersions(const std::wstring& deviceId) {
    QVxDeviceVersions versions;
    QVPlus_Version(deviceId.empty() ? nullptr : deviceId.c_str(), &versions.library, &versions.fpga,
                   &versions.firmware);
    return versions;
}

std::int32_t QVxDeviceManager::GetLastDeviceError() {
    return s_lastDeviceError.load();
}
void QVxDeviceManager::SetLastDeviceError(std::int32_t error) {
    s_lastDeviceError = error;
}

std::vector<QVxUnitListing> QVxDeviceManager::ListUnits() {
    std::vector<QVxUnitListing> units;
    const int count = QVPlus_DeviceCount();
    for (int index = 0; index < count; ++index) {
        wchar_t buffer[kMaxDeviceIdChars] = {};
        std::uint64_t length = 0;
        QVxUnitListing unit;
        unit.index = index;
        unit.opened = QVPlus_GetDeviceID(static_cast<std::uint8_t>(index), buffer, &length) != 0;
        if (unit.opened) unit.id.assign(buffer, wcsnlen(buffer, kMaxDeviceIdChars));
        units.push_back(std::move(unit));
    }
    return units;
}

bool QVxDeviceManager::GetAvailableDevice(QVxCaptureMode type, std::vector<QVxQVUsbDeviceId>* outDeviceIds) {
    QVX_CHECK_RETURN(outDeviceIds, false);
    outDeviceIds->clear();
    std::set<std::wstring> distinct;
    for (const QVxUnitListing& unit : ListUnits()) {
        if (!unit.opened || unit.id.size() >= kMaxDeviceIdChars || !IsOfType(unit.id, type)) continue;
        outDeviceIds->push_back({unit.id, unit.index});
        distinct.insert(unit.id);
    }
    if (distinct.size() < outDeviceIds->size()) {
        outDeviceIds->clear();
        return false;
    }
    return true;
}

bool QVxDeviceManager::HasError() const {
    return GetStatus().errorCode != 0 || GetLastDeviceError() != kDeviceErrorNone;
}

bool QVxDeviceManager::Connect(const std::wstring& deviceId, std::int32_t index) {
    SetLastDeviceError(kDeviceErrorNone);
    if (m_bitStreamPath.empty()) {
        SetLastDeviceError(kDeviceErrorNoBitStreamName);
        return false;
    }
    std::error_code ec;
    if (!fs::exists(m_bitStreamPath, ec)) {
        SetLastDeviceError(kDeviceErrorBitStreamNotFound);
        return false;
    }
    const std::string narrowPath = m_bitStreamPath.string();

    QVPlusCreateParams params{};
    params.bitStreamPath = narrowPath.c_str();
    deviceId.copy(params.deviceId, kMaxDeviceIdChars - 1);
    params.captureMode = static_cast<std::uint32_t>(m_captureMode);
    m_deviceId = deviceId;
    m_deviceIndex = index;
    m_handle = QVPlus_Create(&params);
    if (!IsOpened()) {
        SetLastDeviceError(kDeviceErrorCreateRefused);
        return false;
    }
    {
        std::lock_guard lock(m_statusMutex);
        m_status = QVPlusStatus{};
    }
    if (m_captureMode == QVxCaptureMode::kAnyUnit) return true;

    while (true) {
        if (IsOpened()) {
            RefreshStatus();
        } else {
            SetLastDeviceError(kDeviceErrorNotOpen);
        }
        if (GetStatus().unitReady == 1) {
            std::printf("USB Connect OK...\n");
            std::fflush(stdout);
            return true;
        }
        if (HasError()) break;
        std::this_thread::sleep_for(kConnectPollInterval);
    }
    SetLastDeviceError(kDeviceErrorUnit);
    return false;
}

bool QVxDeviceManager::Close() {
    QVPlusHandle handle = m_handle.load();
    if (!handle) {
        SetLastDeviceError(kDeviceErrorNotOpen);
        return false;
    }
    QVPlus_ErrClear(handle);
    RefreshStatus();
    if (GetStatus().running) QVPlus_Stop(handle, QVPLUS_STOP_ABORT);
    StopMonitorThread();
    QVxDeviceManager* self = this;
    s_dataReceiver.compare_exchange_strong(self, nullptr);
    m_handle = nullptr;
    QVPlus_Delete(handle);
    return true;
}

void QVxDeviceManager::RefreshStatus() {
    QVPlusHandle handle = m_handle.load();
    if (!handle) return;
    QVPlusStatus status{};
    QVPlus_GetStatus(handle, &status);
    std::lock_guard lock(m_statusMutex);
    m_status = status;
}

QVPlusStatus QVxDeviceManager::GetStatus() const {
    std::lock_guard lock(m_statusMutex);
    return m_status;
}

std::uint32_t QVxDeviceManager::GetStatusValue(int kind) const {
    const QVPlusStatus s = GetStatus();
    switch (kind) {
        case kStatusCanActive:
            return s.canActive;
        case kStatusUnitReady:
            return s.unitReady;
        case kStatusRunning:
            return s.running;
        case kStatusElapsedMs:
            return s.elapsedMs;
        case kStatusFileNumber:
            return s.fileNumber;
        case kStatusUnitBufferSize:
            return s.unitBufferSize;
        case kStatusUnitBufferFill:
            return s.unitBufferFill;
        case kStatusUnitBufferPercent:
            return s.unitBufferSize == 0
                       ? 0
                       : static_cast<std::uint32_t>(std::uint64_t{s.unitBufferFill} * 100 / s.unitBufferSize);
        case kStatusUnitStatusWord:
            return s.unitStatusWord;
        case kStatusErrorCode:
            return s.errorCode;
        default:
            return 0;
    }
}

bool QVxDeviceManager::QVxDevTraceStart(QVxLogCollect* pLogCollect, QVPlusStartParams& params) {
    QVX_CHECK_RETURN(pLogCollect, false);
    QVX_CHECK_RETURN(pLogCollect->GetAbortType() == QVxAbortType::None, false);
    QVxLogCollect* collector = pLogCollect;
    QVPlusHandle handle = m_handle.load();
    if (!handle) {
        SetLastDeviceError(kDeviceErrorNotOpen);
        return false;
    }
    params.dataCallback = &QVxDeviceManager::DataCallback;
    s_dataReceiver = this;
    m_collector = collector;
    RefreshStatus();
    if (HasError()) {
        Close();
        return false;
    }
    if (QVPlus_Start(handle, &params) != 1) {
        SetLastDeviceError(kDeviceErrorUnit);
        RefreshStatus();
        return false;
    }
    collector->OnTraceStarted();
    RefreshStatus();
    const QVPlusStatus status = GetStatus();
    m_startSeconds = status.startSeconds;
    m_startNanoseconds = status.startNanoseconds;
    return true;
}

bool QVxDeviceManager::Stop(std::uint32_t reason) {
    QVPlusHandle handle = m_handle.load();
    if (!handle) return false;
    return QVPlus_Stop(handle, reason) == 1;
}

bool QVxDeviceManager::StartMonitor() {
    std::lock_guard lock(m_monitorMutex);
    std::int32_t idle = 0;
    if (!m_monitorState.compare_exchange_strong(idle, 1)) return false;
    if (m_monitorThread.joinable()) m_monitorThread.join();  // the previous watch has ended
    m_monitorCancel = false;
    m_monitorThread = std::thread([this] { MonitorLoop(); });
    return true;
}

// Watch thread.
void QVxDeviceManager::MonitorLoop() {
    bool cancelled = false;
    {
        std::unique_lock lock(m_monitorMutex);
        while (!(cancelled =
                     m_monitorWake.wait_for(lock, kMonitorInterval, [this] { return m_monitorCancel; }))) {
            lock.unlock();
            RefreshStatus();
            const bool running = GetStatus().running != 0;
            lock.lock();
            if (!running) break;
        }
    }
    m_monitorState = 0;
    // A watch cancelled because the handle is being released reports nothing.
    if (cancelled) return;
    if (QVxLogCollect* collector = m_collector.load()) collector->OnTraceFinished();
}

void QVxDeviceManager::StopMonitorThread() {
    std::thread thread;
    {
        std::lock_guard lock(m_monitorMutex);
        m_monitorCancel = true;
        thread = std::move(m_monitorThread);
    }
    m_monitorWake.notify_all();
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) thread.join();
}

// Library threads: the writer thread for data blocks, the control thread for the end mark.
void QVxDeviceManager::DataCallback(std::uint8_t* data, std::uint32_t elementSize, std::uint32_t count,
                                    std::uint32_t endFlag, QVPlusStatus* status) {
    QVxDeviceManager* self = s_dataReceiver.load();
    if (!self) return;
    if (status) {
        std::lock_guard lock(self->m_statusMutex);
        self->m_status = *status;
    }
    QVxLogCollect* collector = self->m_collector.load();
    if (!collector) return;
    collector->OnData(data, elementSize, count, endFlag);
    if (self->HasError() && collector->SetAbortTypeIfNone(QVxAbortType::DeviceError)) collector->OnAbort();
}

void QVxDeviceManager::LogCallback(const char* sourceModule, std::uint32_t line, std::uint32_t level,
                                   const char* message) {
    qvx::Logger::LogDeviceMessage(sourceModule, line, level, message);
}
