#pragma once
// The unit's vendor protocol on top of one opened USB device: the 12-byte bulk command header
// with 8 MiB chunking, the zero-wait process-wide transfer lock, the three vendor requests on
// endpoint 0 (bit-stream announce and result, unit reset) and the 12-byte status read.

#include "qvusb/qvusb_lib/UsbBackend.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qvusb {

constexpr uint16_t kMagicWrite = 0xAA55;
constexpr uint16_t kMagicRead = 0xAA56;
constexpr uint16_t kCmdControl = 0;
constexpr uint16_t kCmdSampleMemory = 2;
constexpr uint16_t kCmdStatus = 3;
constexpr uint32_t kCommandHeaderSize = 12;
constexpr uint32_t kChunkSize = 0x800000;
constexpr uint32_t kSingleTransferLimit = 65536;
constexpr uint32_t kBulkTimeoutMs = 10000;
constexpr uint16_t kRefusedVendorId = 0x1480;
constexpr uint8_t kReqBitStreamResult = 0xB1;
constexpr uint8_t kReqBitStreamAnnounce = 0xB2;
constexpr uint8_t kReqUnitReset = 0xB3;
constexpr uint32_t kUnitMemorySize = 0x10000000;
constexpr uint32_t kUnitAddressMask = 0x0FFFFFFF;

// The unit's status word: the low byte is its state at the status read, the upper bytes are
// events it keeps until it is reset.
constexpr uint32_t kUnitStateCapturing = 0x01;        // writing records into its memory
constexpr uint32_t kUnitStateConfigured = 0x02;       // the FPGA holds its bit-stream
constexpr uint32_t kUnitStateWaitingForStart = 0x04;  // started, its start trigger not met yet
constexpr uint32_t kUnitStateStopTriggered = 0x08;    // its stop trigger ended the capture
constexpr uint32_t kUnitEventOverflow = 0x100;        // its memory was full and records were lost

// Reply of the status read (command 3, address 0, 12 bytes).
struct UnitStatusReply {
    uint32_t writePointer = 0;  // 28 bits, multiple of 16
    uint32_t statusWord = 0;
    uint8_t raw[12] = {};
};

// What a unit is opened for: transfers claim its interface (a unit whose interface cannot be
// claimed counts as not opened); reading its descriptors leaves it to whoever holds it.
enum class OpenPurpose { kTransfers, kDescriptors };

class Fx3Device {
public:
    explicit Fx3Device(std::unique_ptr<UsbDevice> device);
    ~Fx3Device();

    // Opens the unit whose serial number equals serial exactly; on failure resets the parent port
    // of every unit that could not be opened ("QVUSB USBReset.") and searches once more.
    static std::unique_ptr<Fx3Device> OpenBySerial(UsbBackend& backend, const std::wstring& serial,
                                                   OpenPurpose purpose = OpenPurpose::kTransfers);
    // One search without retry.
    static std::unique_ptr<Fx3Device> FindBySerial(UsbBackend& backend, const std::wstring& serial,
                                                   std::vector<int>* failedIndices,
                                                   OpenPurpose purpose = OpenPurpose::kTransfers);

    const UsbDeviceInfo& Info() const { return m_device->Info(); }
    std::string SerialNumberNarrow() const;

    // Bytes written (header bytes not counted) or a negative TransferResult.
    int64_t VendorWrite(uint16_t command, uint32_t address, const uint8_t* data, uint32_t length);
    // Bytes read; a value other than length means the read failed.
    int64_t VendorRead(uint16_t command, uint32_t address, uint8_t* buffer, uint32_t length);

    bool ReadStatus(UnitStatusReply& reply);
    // Downloads the FPGA bit-stream from a file; 0 or a negative TransferResult.
    int64_t ConfigureBitStream(const char* path);
    bool SendUnitReset();

private:
    bool SendControl(uint8_t request, bool toDevice, uint8_t* buffer16);
    // Sends one bulk-OUT transfer, followed by a zero-length packet when its length is a multiple
    // of 1024 but not of 16384.
    bool BulkOut(uint8_t* buffer, uint32_t& length);
    int64_t CheckCanSend() const;
    static void PutHeader(uint8_t* out, uint16_t magic, uint16_t command, uint32_t length, uint32_t address);

    std::unique_ptr<UsbDevice> m_device;
    std::vector<uint8_t> m_staging;  // header + up to 64 KiB of data
};

// Opens the unit by serial number, sends the unit-reset request and closes it; the result is
// ignored by callers.
void ResetUnit(UsbBackend& backend, const std::wstring& serial);

}  // namespace qvusb
