#include "QV+AnalogCore/Presenters/QVxAnalogDeviceSelectorModel.h"

#include <algorithm>

QVxAnalogDeviceSelectorModel::QVxAnalogDeviceSelectorModel(QVxAnalogDeviceManagerViewModel* devices,
                                                           const IQVxDeviceManagerOwner* owner)
    : m_devices(devices), m_owner(owner) {}

std::vector<QVxDeviceSelectorEntry> QVxAnalogDeviceSelectorModel::Devices() const {
    std::vector<QVxDeviceSelectorEntry> entries;
    for (const auto& device : m_devices->GetDevices()) {
        entries.push_back({device->GetDeviceId(), device->GetDeviceConnectionStatus()});
    }
    return entries;
}

int QVxAnalogDeviceSelectorModel::IndexOf(const QVxAnalogDeviceManagerViewModel::DevicePtr& device) const {
    const auto& devices = m_devices->GetDevices();
    const auto it = std::find(devices.begin(), devices.end(), device);
    return device && it != devices.end() ? static_cast<int>(it - devices.begin()) : -1;
}

QVxAnalogDeviceManagerViewModel::DevicePtr QVxAnalogDeviceSelectorModel::At(int index) const {
    const auto& devices = m_devices->GetDevices();
    return index >= 0 && index < static_cast<int>(devices.size()) ? devices[static_cast<std::size_t>(index)]
                                                                  : nullptr;
}

int QVxAnalogDeviceSelectorModel::SelectedIndex() const {
    return IndexOf(m_devices->GetSelectedDevice());
}

int QVxAnalogDeviceSelectorModel::ConnectingIndex() const {
    return IndexOf(m_devices->GetConnectingDevice());
}

void QVxAnalogDeviceSelectorModel::SelectDevice(int index) {
    m_devices->SelectDevice(At(index));
}

void QVxAnalogDeviceSelectorModel::StartConnection(int index) {
    m_devices->StartConnection(At(index));
}

void QVxAnalogDeviceSelectorModel::Disconnect(int index) {
    m_devices->Disconnect(At(index));
}
