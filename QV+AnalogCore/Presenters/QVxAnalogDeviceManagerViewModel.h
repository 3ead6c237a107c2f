#pragma once
// The list of attached units, which one is selected and which one is connected.
// GUI thread, except the connection thread it runs for StartConnection.

#include "QV+AnalogCore/Presenters/QVxDeviceViewModel.h"
#include "QVxCore/Presenters/Signal.h"
#include "QVxWinCommon/DataClasses/QVxDeviceManager.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// What the device list needs from the view model that owns it.
class IQVxDeviceManagerOwner {
public:
    virtual ~IQVxDeviceManagerOwner() = default;
    virtual bool isTracing() const = 0;
};

// The unit's figures that views show and log during a trace, so that they need not read the
// device library's status struct.
struct QVxAnalogUnitStatus {
    std::uint32_t elapsedMs = 0;      // since the acquisition started
    std::uint64_t bytesAcquired = 0;  // bytes read from the unit in this acquisition
    std::uint32_t bufferPercent = 0;  // the unit's memory fill as the library reports it, 0..100
    double bufferFillPercent = 0.0;   // the same from the byte counts; 0 while the size is unknown
};

class QVxAnalogDeviceManagerViewModel {
public:
    using DevicePtr = std::shared_ptr<QVxDeviceViewModel>;

    QVxAnalogDeviceManagerViewModel(IQVxDeviceManagerOwner* parent,
                                    std::unique_ptr<QVxDeviceManager> manager);
    ~QVxAnalogDeviceManagerViewModel();
    QVxAnalogDeviceManagerViewModel(const QVxAnalogDeviceManagerViewModel&) = delete;
    QVxAnalogDeviceManagerViewModel& operator=(const QVxAnalogDeviceManagerViewModel&) = delete;

    // Raised after every change of the list, the selection or a unit's status.
    qvx::Signal<> Changed;

    bool CanRefreshDeviceList() const;
    void RefreshDeviceList();

    void SelectDevice(const DevicePtr& device);
    bool CanStartConnection(const DevicePtr& device) const;
    void StartConnection(const DevicePtr& device);
    void Disconnect(const DevicePtr& device);

    const std::vector<DevicePtr>& GetDevices() const { return m_devices; }
    DevicePtr GetSelectedDevice() const { return m_selectedDevice; }
    const std::wstring& GetSelectedDeviceId() const { return m_selectedDeviceId; }
    DevicePtr GetConnectingDevice() const;
    // The unit that is connected now, or null.
    DevicePtr GetConnectedDevice() const;
    QVxDeviceManager* GetDeviceManager() const { return m_deviceManager.get(); }

    // The unit's figures from the last status the library reported; none without a device
    // manager. GUI thread.
    std::optional<QVxAnalogUnitStatus> GetUnitStatus() const;
    // Asks the library for a new status first; none without an open unit. GUI thread.
    std::optional<QVxAnalogUnitStatus> RefreshUnitStatus();

    // Counts other running instances of the application (the family protocol);
    // until it is set there are none.
    void SetOtherInstanceCounter(std::function<int()> counter) {
        m_otherInstanceCounter = std::move(counter);
    }

    // Joins the connection thread (shutdown).
    void JoinConnectionThread();

private:
    void SetConnectingDevice(DevicePtr device);
    void RunConnection(DevicePtr device);
    void RaiseChanged();
    void PostToGui(std::function<void()> action);

    IQVxDeviceManagerOwner* m_parentViewModel;  // not owned
    std::unique_ptr<QVxDeviceManager> m_deviceManager;
    std::vector<DevicePtr> m_devices;
    DevicePtr m_selectedDevice;
    std::wstring m_selectedDeviceId;  // survives refreshes
    mutable std::mutex m_connectingMutex;
    DevicePtr m_connectingDevice;  // shared with the connection thread
    std::thread m_connectionThread;
    bool m_refreshEnabled = true;
    bool m_raisingChanged = false;
    std::function<int()> m_otherInstanceCounter;
    // Posted actions hold this weakly so none runs after the view model is gone.
    std::shared_ptr<QVxAnalogDeviceManagerViewModel*> m_alive;
};
