#pragma once
// The application's access to the device library: lists attached units, owns the
// handle of the connected one, keeps a copy of its status block and carries the
// library's data and log callbacks.

#include "QVxWinCommon/DataClasses/QVxLogCollect.h"
#include "qvusb/qvusb_api.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One listed unit: its USB serial number and its enumeration index.
struct QVxQVUsbDeviceId {
    std::wstring id;
    std::int32_t index = -1;

    friend bool operator==(const QVxQVUsbDeviceId&, const QVxQVUsbDeviceId&) = default;
};

// One unit the device library counts, whether or not it can be opened.
struct QVxUnitListing {
    std::int32_t index = -1;
    std::wstring id;      // its serial number; empty when it could not be read
    bool opened = false;  // it could be opened to read its serial number
};

enum class QVxDeviceConnectionStatus : std::int32_t { kDisconnected = 0, kConnecting = 1, kConnected = 2 };

// Process-wide last device error values.
enum QVxDeviceError : std::int32_t {
    kDeviceErrorNone = 0,
    kDeviceErrorPathConversion = 1,
    kDeviceErrorNoBitStreamName = 3,
    kDeviceErrorBitStreamNotFound = 4,
    kDeviceErrorCreateRefused = 5,
    kDeviceErrorNotOpen = 6,
    kDeviceErrorUnit = 8,
};

// Kinds of GetStatusValue.
enum QVxDeviceStatusKind : int {
    kStatusCanActive = 0,
    kStatusUnitReady = 1,
    kStatusRunning = 2,
    kStatusElapsedMs = 3,
    kStatusFileNumber = 4,
    kStatusUnitBufferSize = 5,
    kStatusUnitBufferFill = 6,
    kStatusUnitBufferPercent = 7,
    kStatusUnitStatusWord = 8,
    kStatusErrorCode = 9,
};

// Version numbers as the device library reports them; FPGA and firmware are major << 8 | minor.
struct QVxDeviceVersions {
    std::uint32_t library = 0;
    std::uint16_t fpga = 0;
    std::uint16_t firmware = 0;  // 0 when no unit was asked or it could not be read
};

// The kind of unit a device manager opens (the device library's capture mode) and whose
// serial numbers it lists.
enum class QVxCaptureMode : std::int32_t {
    kAnyUnit = 0,                     // lists every unit; Connect returns without waiting for readiness
    kTraceUnit = 1,                   // serial numbers "TR..."
    kCtUnit = 2,                      // serial numbers "CT..."
    kAnalog = QVPLUS_CAPTURE_ANALOG,  // serial numbers "AN...": the units of this program
    kTraceUnitAlt = 4,                // serial numbers "TR..."
};

class QVxDeviceManager {
public:
    static constexpr QVxCaptureMode kAnalogCaptureMode = QVxCaptureMode::kAnalog;

    QVxDeviceManager(QVxCaptureMode captureMode, std::filesystem::path bitStreamPath);
    virtual ~QVxDeviceManager();
    QVxDeviceManager(const QVxDeviceManager&) = delete;
    QVxDeviceManager& operator=(const QVxDeviceManager&) = delete;

    // True while a library handle is held.
    virtual bool IsOpened() const;

    // Lists the units whose serial number matches `type` (kAnyUnit or a number that is no
    // mode: all). False with an empty list when a serial number is listed twice.
    static bool GetAvailableDevice(QVxCaptureMode type, std::vector<QVxQVUsbDeviceId>* outDeviceIds);
    // Every unit the library counts, in enumeration order: those that cannot be opened (for
    // example for want of access permission) and serial numbers seen twice included.
    static std::vector<QVxUnitListing> ListUnits();
    // Whether `id` belongs to units of `type` (as GetAvailableDevice filters them).
    static bool IsOfType(const std::wstring& id, QVxCaptureMode type);

    // Connection thread: opens the unit and waits until it is ready or reports an error.
    bool Connect(const std::wstring& deviceId, std::int32_t index);
    // Stops a running acquisition and releases the handle.
    bool Close();

    // Starts the unit with `params` for `collector` (GUI thread). On failure the last
    // device error tells why.
    bool QVxDevTraceStart(QVxLogCollect* collector, QVPlusStartParams& params);
    // QVPlus_Stop with QVPLUS_STOP_DRAIN or QVPLUS_STOP_ABORT; false without a handle.
    bool Stop(std::uint32_t reason);
    // Watches the running acquisition on a worker and tells the collector when it
    // ended. False when a watch is already active.
    bool StartMonitor();

    // Refreshes the status copy from the library (no-op without a handle).
    void RefreshStatus();
    QVPlusStatus GetStatus() const;
    std::uint32_t GetStatusValue(int kind) const;

    QVxCaptureMode GetCaptureMode() const { return m_captureMode; }
    const std::wstring& GetDeviceId() const { return m_deviceId; }
    std::int32_t GetDeviceIndex() const { return m_deviceIndex; }
    // Wall-clock start of the running trace as the unit reported it.
    std::int64_t GetStartSeconds() const { return m_startSeconds; }
    std::int32_t GetStartNanoseconds() const { return m_startNanoseconds; }

    // The device library's version and, for a non-empty `deviceId`, that unit's firmware
    // release (the library reads its descriptors, also while it records).
    static QVxDeviceVersions GetVersions(const std::wstring& deviceId = {});

    static std::int32_t GetLastDeviceError();
    static void SetLastDeviceError(std::int32_t error);

    // Library callbacks (installed by the application).
    static void DataCallback(std::uint8_t* data, std::uint32_t elementSize, std::uint32_t count,
                             std::uint32_t endFlag, QVPlusStatus* status);
    static void LogCallback(const char* sourceModule, std::uint32_t line, std::uint32_t level,
                            const char* message);

private:
    void MonitorLoop();
    void StopMonitorThread();
    bool HasError() const;

    std::int64_t m_startSeconds = 0;
    std::int32_t m_startNanoseconds = 0;
    std::atomic<QVPlusHandle> m_handle{nullptr};
    std::filesystem::path m_bitStreamPath;
    std::wstring m_deviceId;
    std::int32_t m_deviceIndex = -1;
    QVxCaptureMode m_captureMode;
    mutable std::mutex m_statusMutex;  // the status copy is written by the delivery and watch threads
    QVPlusStatus m_status{};
    std::atomic<QVxLogCollect*> m_collector{nullptr};  // not owned

    std::mutex m_monitorMutex;
    std::condition_variable m_monitorWake;
    bool m_monitorCancel = false;
    std::atomic<std::int32_t> m_monitorState{0};  // 0 none, 1 waiting for the end of running
    std::thread m_monitorThread;

    static std::atomic<std::int32_t> s_lastDeviceError;
    static std::atomic<QVxDeviceManager*> s_dataReceiver;
};
