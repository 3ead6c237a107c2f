#pragma once
// One attached unit as the device list shows it.

#include "QVxWinCommon/DataClasses/QVxDeviceManager.h"

#include <atomic>
#include <string>

class QVxAnalogDeviceManagerViewModel;

class QVxDeviceViewModel {
public:
    QVxDeviceViewModel(QVxAnalogDeviceManagerViewModel* parent, QVxQVUsbDeviceId id)
        : m_parent(parent), m_deviceId(std::move(id.id)), m_index(id.index) {}

    const std::wstring& GetDeviceId() const { return m_deviceId; }
    std::int32_t GetIndex() const { return m_index; }

    // Written by the connection thread, read by the GUI thread.
    QVxDeviceConnectionStatus GetDeviceConnectionStatus() const { return m_connectionStatus.load(); }
    void SetDeviceConnectionStatus(QVxDeviceConnectionStatus status) { m_connectionStatus = status; }

    // Disconnects this unit when it is connected (used at shutdown).
    void Disconnect();

private:
    QVxAnalogDeviceManagerViewModel* m_parent;  // not owned
    std::wstring m_deviceId;
    std::int32_t m_index;
    std::atomic<QVxDeviceConnectionStatus> m_connectionStatus{QVxDeviceConnectionStatus::kDisconnected};
};
