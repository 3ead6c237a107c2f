#pragma once
// The device list as the device selector button and its popup see it: units by
// position, their states, and the connect / disconnect commands. GUI thread only.

#include "QV+AnalogCore/Presenters/QVxAnalogDeviceManagerViewModel.h"
#include "QVxWinCommon/IQVxDeviceSelectorModel.h"

class QVxAnalogDeviceSelectorModel : public IQVxDeviceSelectorModel {
public:
    QVxAnalogDeviceSelectorModel(QVxAnalogDeviceManagerViewModel* devices,
                                 const IQVxDeviceManagerOwner* owner);

    qvx::Signal<>& ChangedSignal() override { return m_devices->Changed; }
    std::vector<QVxDeviceSelectorEntry> Devices() const override;
    int SelectedIndex() const override;
    int ConnectingIndex() const override;
    bool IsTracing() const override { return m_owner->isTracing(); }
    void SelectDevice(int index) override;
    void StartConnection(int index) override;
    void Disconnect(int index) override;

private:
    int IndexOf(const QVxAnalogDeviceManagerViewModel::DevicePtr& device) const;
    QVxAnalogDeviceManagerViewModel::DevicePtr At(int index) const;

    QVxAnalogDeviceManagerViewModel* m_devices;  // not owned
    const IQVxDeviceManagerOwner* m_owner;       // not owned
};
