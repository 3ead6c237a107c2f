#pragma once
// What the device selector button and its popup need from the application's
// device list: the units with their state, the selection, the connecting unit and
// the connect / disconnect commands. The application adapts its device manager
// view model to it, so this library does not link the analog view models.
// GUI thread only.

#include "QVxCore/Presenters/Signal.h"
#include "QVxWinCommon/DataClasses/QVxDeviceManager.h"

#include <string>
#include <vector>

struct QVxDeviceSelectorEntry {
    std::wstring id;
    QVxDeviceConnectionStatus status = QVxDeviceConnectionStatus::kDisconnected;
};

class IQVxDeviceSelectorModel {
public:
    virtual ~IQVxDeviceSelectorModel() = default;

    // Raised after every change of list, selection or state.
    virtual qvx::Signal<>& ChangedSignal() = 0;
    virtual std::vector<QVxDeviceSelectorEntry> Devices() const = 0;
    virtual int SelectedIndex() const = 0;    // -1: none
    virtual int ConnectingIndex() const = 0;  // the unit connecting or connected, -1: none
    virtual bool IsTracing() const = 0;
    virtual void SelectDevice(int index) = 0;
    virtual void StartConnection(int index) = 0;
    virtual void Disconnect(int index) = 0;
};
