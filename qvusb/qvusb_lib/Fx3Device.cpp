#include "qvusb/qvusb_lib/Fx3Device.h"

#include "qvusb/qvusb_lib/Log.h"
#include "qvusb/qvusb_lib/Timing.h"
#include "qvusb/qvusb_lib/TransferResult.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

namespace qvusb {

namespace {

// Serialises every vendor read and write of the process; taken with a zero wait.
std::mutex s_transferLock;

constexpr uint16_t kControlValue = 0;
constexpr uint16_t kControlIndex = 1;
constexpr uint32_t kControlLength = 16;
constexpr uint32_t kBitStreamTransferSize = 4096;

bool NeedsZeroLengthPacket(uint32_t length) {
    return length != 0 && length % 1024 == 0 && length % 16384 != 0;
}

}  // namespace

Fx3Device::Fx3Device(std::unique_ptr<UsbDevice> device)
    : m_device(std::move(device)), m_staging(kCommandHeaderSize + kSingleTransferLimit) {}

Fx3Device::~Fx3Device() {
    if (m_device) m_device->Close();
}

std::unique_ptr<Fx3Device> Fx3Device::FindBySerial(UsbBackend& backend, const std::wstring& serial,
                                                   std::vector<int>* failedIndices, OpenPurpose purpose) {
    const int count = backend.CountUnits();
    for (int index = 0; index < count; ++index) {
        std::unique_ptr<UsbDevice> device = backend.Open(index);
        const bool matches = device && device->Info().serialNumber == serial;
        if (matches && (purpose == OpenPurpose::kDescriptors || device->Claim()))
            return std::make_unique<Fx3Device>(std::move(device));
        if (device) device->Close();
        if ((!device || matches) && failedIndices) failedIndices->push_back(index);
    }
    return nullptr;
}

std::unique_ptr<Fx3Device> Fx3Device::OpenBySerial(UsbBackend& backend, const std::wstring& serial,
                                                   OpenPurpose purpose) {
    std::vector<int> failed;
    if (auto device = FindBySerial(backend, serial, &failed, purpose)) return device;
    QVUSB_LOG(kLogWarning, "QVUSB USBReset.");
    for (int index : failed) backend.ResetParentPort(index);
    return FindBySerial(backend, serial, nullptr, purpose);
}

std::string Fx3Device::SerialNumberNarrow() const {
    std::string out;
    for (wchar_t c : m_device->Info().serialNumber) {
        if (out.size() >= 20) break;
        out.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
    }
    return out;
}

void Fx3Device::PutHeader(uint8_t* out, uint16_t magic, uint16_t command, uint32_t length, uint32_t address) {
    const uint8_t header[kCommandHeaderSize] = {
        static_cast<uint8_t>(magic),         static_cast<uint8_t>(magic >> 8),
        static_cast<uint8_t>(command),       static_cast<uint8_t>(command >> 8),
        static_cast<uint8_t>(length),        static_cast<uint8_t>(length >> 8),
        static_cast<uint8_t>(length >> 16),  static_cast<uint8_t>(length >> 24),
        static_cast<uint8_t>(address),       static_cast<uint8_t>(address >> 8),
        static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 24)};
    std::memcpy(out, header, sizeof(header));
}

int64_t Fx3Device::CheckCanSend() const {
    if (!m_device) return kXferNotOpen;
    if (m_device->Info().vendorId == kRefusedVendorId) return kXferDefaultFirmware;
    if (!m_device->HasEndpoint(Endpoint::kBulkOut)) return kXferEndpointNotFound;
    return kXferSuccess;
}

bool Fx3Device::BulkOut(uint8_t* buffer, uint32_t& length) {
    const uint32_t wanted = length;
    bool ok = m_device->BulkTransfer(Endpoint::kBulkOut, buffer, length, kBulkTimeoutMs);
    if (ok && NeedsZeroLengthPacket(length)) {
        uint32_t zero = 0;
        m_device->BulkTransfer(Endpoint::kBulkOut, buffer, zero, kBulkTimeoutMs);
    }
    return ok && length == wanted;
}

int64_t Fx3Device::VendorWrite(uint16_t command, uint32_t address, const uint8_t* data, uint32_t length) {
    std::unique_lock lock(s_transferLock, std::try_to_lock);
    if (!lock.owns_lock()) return kXferLockTimeout;
    length = (length + 3) & ~3u;
    int64_t total = 0;
    while (static_cast<uint32_t>(total) < length) {
        const uint32_t chunk = std::min<uint32_t>(kChunkSize, length - static_cast<uint32_t>(total));
        const uint32_t chunkAddress = address + static_cast<uint32_t>(total);
        if (CheckCanSend() != kXferSuccess) return kXferError;
        uint32_t sent = 0;
        if (chunk <= kSingleTransferLimit) {
            PutHeader(m_staging.data(), kMagicWrite, command, chunk, chunkAddress);
            std::memcpy(m_staging.data() + kCommandHeaderSize, data + total, chunk);
            uint32_t transferLength = kCommandHeaderSize + chunk;
            BulkOut(m_staging.data(), transferLength);
            sent = transferLength > kCommandHeaderSize ? transferLength - kCommandHeaderSize : 0;
        } else {
            uint8_t header[kCommandHeaderSize];
            PutHeader(header, kMagicWrite, command, chunk, chunkAddress);
            uint32_t headerLength = kCommandHeaderSize;
            BulkOut(header, headerLength);  // its outcome is decided by the data transfer
            // The endpoint interface takes a mutable buffer; bulk-OUT never writes into it.
            sent = chunk;
            BulkOut(const_cast<uint8_t*>(data + total), sent);
        }
        total += std::min(sent, chunk);
        if (sent < chunk) break;
    }
    return total;
}

int64_t Fx3Device::VendorRead(uint16_t command, uint32_t address, uint8_t* buffer, uint32_t length) {
    std::unique_lock lock(s_transferLock, std::try_to_lock);
    if (!lock.owns_lock()) return kXferLockTimeout;
    int64_t total = 0;
    while (static_cast<uint32_t>(total) < length) {
        const uint32_t chunk = std::min<uint32_t>(kChunkSize, length - static_cast<uint32_t>(total));
        if (CheckCanSend() != kXferSuccess) return kXferError;
        uint8_t header[kCommandHeaderSize];
        PutHeader(header, kMagicRead, command, (chunk + 3) & ~3u, address + static_cast<uint32_t>(total));
        uint32_t headerLength = kCommandHeaderSize;
        BulkOut(header, headerLength);  // its outcome is decided by the data transfer
        if (!m_device->HasEndpoint(Endpoint::kBulkIn)) return total;
        uint32_t received = chunk;
        const bool ok = m_device->BulkTransfer(Endpoint::kBulkIn, buffer + total, received, kBulkTimeoutMs);
        if (!ok) return total;
        total += std::min(received, chunk);
        if (received < chunk) return total;
    }
    return total;
}

bool Fx3Device::ReadStatus(UnitStatusReply& reply) {
    uint8_t b[12] = {};
    if (VendorRead(kCmdStatus, 0, b, sizeof(b)) != static_cast<int64_t>(sizeof(b))) return false;
    reply.writePointer = (static_cast<uint32_t>(b[3] & 0x0F) << 24) | (static_cast<uint32_t>(b[2]) << 16) |
                         (static_cast<uint32_t>(b[1]) << 8) | (b[0] & 0xF0u);
    reply.statusWord = b[4] | (static_cast<uint32_t>(b[5]) << 8) | (static_cast<uint32_t>(b[6]) << 16) |
                       (static_cast<uint32_t>(b[7]) << 24);
    std::memcpy(reply.raw, b, sizeof(b));
    return true;
}

bool Fx3Device::SendControl(uint8_t request, bool toDevice, uint8_t* buffer16) {
    ControlRequest control;
    control.direction = toDevice ? ControlDirection::kHostToDevice : ControlDirection::kDeviceToHost;
    control.request = request;
    control.value = kControlValue;
    control.index = kControlIndex;
    uint32_t length = kControlLength;
    return m_device->ControlTransfer(control, buffer16, length, kBulkTimeoutMs) && length == kControlLength;
}

int64_t Fx3Device::ConfigureBitStream(const char* path) {
    QVUSB_LOG(kLogDebug, "QVUSBFX3ConfigurationBitStream");
    if (!m_device) {
        QVUSB_LOG(kLogError, "Device is not opend.");
        return kXferNotOpen;
    }
    QVUSB_LOG(kLogDebug, "  SerialNumber: %s", SerialNumberNarrow().c_str());
    QVUSB_LOG(kLogDebug, "  File: %s", path ? path : "");
    std::FILE* file = path ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr) {
        QVUSB_LOG(kLogError, "File not found.");
        return kXferEndpointNotFound;
    }
    std::vector<uint8_t> bitStream;
    uint8_t block[65536];
    size_t got = 0;
    while ((got = std::fread(block, 1, sizeof(block), file)) > 0)
        bitStream.insert(bitStream.end(), block, block + got);
    std::fclose(file);

    const uint32_t length = static_cast<uint32_t>(bitStream.size());
    uint8_t request[kControlLength] = {};
    std::memcpy(request, &length, sizeof(length));  // little-endian
    if (!SendControl(kReqBitStreamAnnounce, true, request)) {
        QVUSB_LOG(kLogError, "ept XferData(2) failed. (%lu)",
                  static_cast<unsigned long>(m_device->LastError(Endpoint::kControl)));
        return kXferControlError;
    }
    m_device->SetTransferSize(Endpoint::kBulkOut, kBitStreamTransferSize);
    uint32_t sent = length;
    if (!m_device->BulkTransfer(Endpoint::kBulkOut, bitStream.data(), sent, kBulkTimeoutMs) ||
        sent != length) {
        QVUSB_LOG(kLogError, "BulkOutEndPt XferData() failed. (%lu)",
                  static_cast<unsigned long>(m_device->LastError(Endpoint::kBulkOut)));
        return kXferError;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(GetTiming().bitStreamSettleMs.load()));
    uint8_t result[kControlLength] = {};
    if (!SendControl(kReqBitStreamResult, false, result) || result[0] != 1) {
        QVUSB_LOG(kLogError, "ept XferData(1) failed. (%lu)",
                  static_cast<unsigned long>(m_device->LastError(Endpoint::kControl)));
        return kXferControlError;
    }
    return kXferSuccess;
}

bool Fx3Device::SendUnitReset() {
    uint8_t buffer[kControlLength] = {};
    return SendControl(kReqUnitReset, true, buffer);
}

void ResetUnit(UsbBackend& backend, const std::wstring& serial) {
    if (auto device = Fx3Device::OpenBySerial(backend, serial)) device->SendUnitReset();
}

Timing& GetTiming() {
    static Timing timing;
    return timing;
}

}  // namespace qvusb
