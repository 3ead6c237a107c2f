#include "QV+AnalogCore/Presenters/QVxAnalogDeviceManagerViewModel.h"

#include "QVxCore/TaskDispatcher.h"
#include "QVxCore/Utils.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinCommon/QVxNotification.h"

#include <spdlog/spdlog.h>

#include <algorithm>

namespace {}  // namespace

void QVxDeviceViewModel::Disconnect() {
    QVX_CHECK(m_connectionStatus == QVxDeviceConnectionStatus::kConnected);
    for (const auto& device : m_parent->GetDevices()) {
        if (device.get() == this) {
            m_parent->Disconnect(device);
            return;
        }
    }
    if (auto connecting = m_parent->GetConnectingDevice(); connecting.get() == this)
        m_parent->Disconnect(connecting);
}

QVxAnalogDeviceManagerViewModel::QVxAnalogDeviceManagerViewModel(IQVxDeviceManagerOwner* parent,
                                                                 std::unique_ptr<QVxDeviceManager> manager)
    : m_parentViewModel(parent),
      m_deviceManager(std::move(manager)),
      m_otherInstanceCounter([] { return 0; }),
      m_alive(std::make_shared<QVxAnalogDeviceManagerViewModel*>(this)) {}

QVxAnalogDeviceManagerViewModel::~QVxAnalogDeviceManagerViewModel() {
    m_alive.reset();
    JoinConnectionThread();
}

void QVxAnalogDeviceManagerViewModel::JoinConnectionThread() {
    if (m_connectionThread.joinable()) m_connectionThread.join();
}

QVxAnalogDeviceManagerViewModel::DevicePtr QVxAnalogDeviceManagerViewModel::GetConnectingDevice() const {
    std::lock_guard lock(m_connectingMutex);
    return m_connectingDevice;
}

void QVxAnalogDeviceManagerViewModel::SetConnectingDevice(DevicePtr device) {
    std::lock_guard lock(m_connectingMutex);
    m_connectingDevice = std::move(device);
}

QVxAnalogDeviceManagerViewModel::DevicePtr QVxAnalogDeviceManagerViewModel::GetConnectedDevice() const {
    DevicePtr device = GetConnectingDevice();
    if (device && device->GetDeviceConnectionStatus() == QVxDeviceConnectionStatus::kConnected) return device;
    return nullptr;
}

// Any thread: the action runs on the GUI thread unless the view model is gone by then.
void QVxAnalogDeviceManagerViewModel::PostToGui(std::function<void()> action) {
    std::weak_ptr<QVxAnalogDeviceManagerViewModel*> alive = m_alive;
    qvx::Dispatcher::PostToMain([alive, action = std::move(action)] {
        if (alive.lock()) action();
    });
}

void QVxAnalogDeviceManagerViewModel::RaiseChanged() {
    if (m_raisingChanged) return;
    m_raisingChanged = true;
    Changed.Emit();
    m_raisingChanged = false;
}

bool QVxAnalogDeviceManagerViewModel::CanRefreshDeviceList() const {
    const DevicePtr connecting = GetConnectingDevice();
    const bool connectingNow =
        connecting && connecting->GetDeviceConnectionStatus() == QVxDeviceConnectionStatus::kConnecting;
    return !m_parentViewModel->isTracing() && !connectingNow && m_refreshEnabled;
}

void QVxAnalogDeviceManagerViewModel::RefreshDeviceList() {
    QVX_CHECK(CanRefreshDeviceList());
    m_selectedDevice = nullptr;

    std::vector<QVxQVUsbDeviceId> ids;
    if (!QVxDeviceManager::GetAvailableDevice(m_deviceManager->GetCaptureMode(), &ids)) {
        m_refreshEnabled = false;  // the periodic refresh must not re-enter while the message is up
        QVxNotification::ShowGuiMessage(kGuiStringConnectionInterrupted);
        m_refreshEnabled = true;
    }
    std::vector<DevicePtr> found;
    for (auto& id : ids) found.push_back(std::make_shared<QVxDeviceViewModel>(this, std::move(id)));

    auto isFound = [&](const DevicePtr& d) {
        return std::any_of(found.begin(), found.end(),
                           [&](const DevicePtr& f) { return f->GetDeviceId() == d->GetDeviceId(); });
    };
    const DevicePtr connecting = GetConnectingDevice();
    DevicePtr removedConnecting;
    for (auto it = m_devices.end(); it != m_devices.begin();) {
        --it;
        if (isFound(*it)) continue;
        if (*it == connecting) removedConnecting = *it;
        it = m_devices.erase(it);
    }
    for (const DevicePtr& f : found) {
        const bool stayed = std::any_of(m_devices.begin(), m_devices.end(), [&](const DevicePtr& d) {
            return d->GetDeviceId() == f->GetDeviceId();
        });
        if (!stayed) m_devices.push_back(f);
    }

    if (removedConnecting) {
        Disconnect(removedConnecting);
        QVX_VERIFY(GetConnectingDevice() == nullptr);
    }

    const auto selected = std::find_if(m_devices.begin(), m_devices.end(), [&](const DevicePtr& d) {
        return d->GetDeviceId() == m_selectedDeviceId;
    });
    if (selected != m_devices.end()) {
        m_selectedDevice = *selected;
    } else if (m_devices.empty()) {
        m_selectedDeviceId.clear();
    } else {
        m_selectedDevice = m_devices.front();
        m_selectedDeviceId = m_selectedDevice->GetDeviceId();
        if (m_otherInstanceCounter() == 0 && m_devices.size() == 1) {
            if (DevicePtr current = GetConnectingDevice();
                current && current->GetDeviceConnectionStatus() != QVxDeviceConnectionStatus::kDisconnected) {
                Disconnect(current);
            }
            StartConnection(m_devices.front());
        }
    }
    RaiseChanged();
}

void QVxAnalogDeviceManagerViewModel::SelectDevice(const DevicePtr& device) {
    if (device == m_selectedDevice) return;
    const DevicePtr connecting = GetConnectingDevice();
    const auto status =
        connecting ? connecting->GetDeviceConnectionStatus() : QVxDeviceConnectionStatus::kDisconnected;
    if (!QVX_VERIFY(status == QVxDeviceConnectionStatus::kDisconnected)) return;
    m_selectedDevice = device;
    m_selectedDeviceId = device ? device->GetDeviceId() : std::wstring();
    RaiseChanged();
}

bool QVxAnalogDeviceManagerViewModel::CanStartConnection(const DevicePtr& device) const {
    return device && !GetConnectingDevice() && !m_deviceManager->IsOpened() &&
           device->GetDeviceConnectionStatus() == QVxDeviceConnectionStatus::kDisconnected;
}

void QVxAnalogDeviceManagerViewModel::StartConnection(const DevicePtr& device) {
    QVX_CHECK(device);
    QVX_CHECK(CanStartConnection(device));
    JoinConnectionThread();
    SetConnectingDevice(device);
    device->SetDeviceConnectionStatus(QVxDeviceConnectionStatus::kConnecting);
    RaiseChanged();
    m_connectionThread = std::thread([this, device] { RunConnection(device); });
}

// Connection thread.
void QVxAnalogDeviceManagerViewModel::RunConnection(DevicePtr device) {
    if (m_deviceManager->Connect(device->GetDeviceId(), device->GetIndex())) {
        device->SetDeviceConnectionStatus(QVxDeviceConnectionStatus::kConnected);
        PostToGui([this] { RaiseChanged(); });
        return;
    }
    if (m_deviceManager->IsOpened()) m_deviceManager->Close();
    device->SetDeviceConnectionStatus(QVxDeviceConnectionStatus::kDisconnected);
    SetConnectingDevice(nullptr);
    PostToGui([this] {
        RaiseChanged();
        QVxNotification::ShowGuiMessage(kGuiStringCannotConnect);
    });
}

void QVxAnalogDeviceManagerViewModel::Disconnect(const DevicePtr& device) {
    QVX_CHECK(!m_parentViewModel->isTracing());
    QVX_CHECK(device);
    QVX_CHECK(device == GetConnectingDevice());
    JoinConnectionThread();  // a connection in progress finishes before the handle is released
    // A handle the shutdown already released during a trace is not a failure.
    if (m_deviceManager->IsOpened() && !m_deviceManager->Close()) spdlog::error("Failed disonnect");
    device->SetDeviceConnectionStatus(QVxDeviceConnectionStatus::kDisconnected);
    SetConnectingDevice(nullptr);
    RaiseChanged();
}

std::optional<QVxAnalogUnitStatus> QVxAnalogDeviceManagerViewModel::GetUnitStatus() const {
    if (!m_deviceManager) return std::nullopt;
    const QVPlusStatus status = m_deviceManager->GetStatus();
    QVxAnalogUnitStatus out;
    out.elapsedMs = status.elapsedMs;
    out.bytesAcquired = status.bytesAcquired;
    out.bufferPercent =
        std::min<std::uint32_t>(m_deviceManager->GetStatusValue(kStatusUnitBufferPercent), 100);
    if (status.unitBufferSize != 0)
        out.bufferFillPercent = 100.0 * status.unitBufferFill / status.unitBufferSize;
    return out;
}

std::optional<QVxAnalogUnitStatus> QVxAnalogDeviceManagerViewModel::RefreshUnitStatus() {
    if (!m_deviceManager || !m_deviceManager->IsOpened()) return std::nullopt;
    m_deviceManager->RefreshStatus();
    return GetUnitStatus();
}
