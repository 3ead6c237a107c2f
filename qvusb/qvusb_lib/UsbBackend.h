#pragma once
// The USB layer under the library: exactly the operations the transport needs (count units,
// open by index, close, reset parent port, control transfer, set transfer size, bulk transfer),
// plus the descriptors read at open. Implemented by libusb for real units and by the simulated
// unit; everything above (framing, locking, FPGA download, capture threads) is shared.

#include <cstdint>
#include <memory>
#include <string>

namespace qvusb {

enum class Endpoint { kControl, kBulkOut, kBulkIn };

// Descriptor fields read when a unit is opened.
struct UsbDeviceInfo {
    uint16_t usbRelease = 0;  // BCD
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint8_t deviceClass = 0;
    uint8_t deviceSubClass = 0;
    uint8_t deviceProtocol = 0;
    uint16_t maxPacketSize0 = 0;  // bytes (for USB 3 already 2^exponent)
    uint16_t deviceRelease = 0;   // BCD; the unit's firmware version
    uint8_t configurationCount = 0;
    std::wstring manufacturer;
    std::wstring product;
    std::wstring serialNumber;
};

enum class ControlDirection { kHostToDevice, kDeviceToHost };

// A vendor request to the device (target device, type vendor).
struct ControlRequest {
    ControlDirection direction = ControlDirection::kHostToDevice;
    uint8_t request = 0;
    uint16_t value = 0;
    uint16_t index = 0;
};

// One opened unit. Calls come from one thread at a time (the transfer lock or the caller's
// own serialisation); closing is done by Close() or by destruction.
class UsbDevice {
public:
    virtual ~UsbDevice() = default;

    virtual const UsbDeviceInfo& Info() const = 0;
    virtual bool HasEndpoint(Endpoint endpoint) const = 0;
    // Takes the unit's interface for bulk transfers. An opened unit only shows its descriptors,
    // so that listing or identifying units never disturbs one that another handle uses; false
    // when another handle or program holds the interface.
    virtual bool Claim() { return true; }
    virtual void Close() = 0;
    // length: in = bytes to move, out = bytes moved.
    virtual bool ControlTransfer(const ControlRequest& request, uint8_t* buffer, uint32_t& length,
                                 uint32_t timeoutMs) = 0;
    // Rounds up to a multiple of the endpoint's packet size.
    virtual bool SetTransferSize(Endpoint endpoint, uint32_t size) = 0;
    virtual bool BulkTransfer(Endpoint endpoint, uint8_t* buffer, uint32_t& length, uint32_t timeoutMs) = 0;
    // Driver error of the last failed operation on that endpoint.
    virtual uint32_t LastError(Endpoint endpoint) const = 0;
};

class UsbBackend {
public:
    virtual ~UsbBackend() = default;

    virtual int CountUnits() = 0;
    // Null when the index is out of range or the unit cannot be opened. The unit is not claimed.
    virtual std::unique_ptr<UsbDevice> Open(int index) = 0;
    // Resets the parent port of the unit at that index (after a failed open).
    virtual bool ResetParentPort(int index) = 0;
};

// The backend in use: a test override when set, else the simulated units when
// QVPLUS_SIMULATED_UNITS lists any, else libusb.
std::shared_ptr<UsbBackend> CurrentBackend();
void SetBackendOverride(std::shared_ptr<UsbBackend> backend);

}  // namespace qvusb
