#include "RecordingBackend.h"

#include <cstring>

namespace qvusb::test {

namespace {

class RecordingDevice : public UsbDevice {
public:
    RecordingDevice(RecordingBackend& backend, const FakeUnit& unit) : m_backend(backend) {
        m_info.serialNumber = unit.serial;
        m_info.vendorId = unit.vendorId;
        m_info.deviceRelease = unit.deviceRelease;
    }
    ~RecordingDevice() override { Close(); }

    const UsbDeviceInfo& Info() const override { return m_info; }
    bool HasEndpoint(Endpoint) const override { return true; }
    void Close() override {
        if (!m_open) return;
        m_open = false;
        std::lock_guard lock(m_backend.Mutex());
        ++m_backend.closes;
    }
    bool ControlTransfer(const ControlRequest& request, uint8_t* buffer, uint32_t& length,
                         uint32_t) override {
        std::lock_guard lock(m_backend.Mutex());
        if (request.direction == ControlDirection::kDeviceToHost && m_backend.controlIn)
            m_backend.controlIn(buffer);
        m_backend.controls.push_back(RecordedControl{request, std::vector<uint8_t>(buffer, buffer + length)});
        return true;
    }
    bool SetTransferSize(Endpoint, uint32_t size) override {
        std::lock_guard lock(m_backend.Mutex());
        m_backend.transferSize = size;
        return true;
    }
    bool BulkTransfer(Endpoint endpoint, uint8_t* buffer, uint32_t& length, uint32_t) override {
        if (endpoint == Endpoint::kBulkIn) {
            std::shared_ptr<std::promise<void>> entered;
            std::shared_future<void> release;
            {
                std::lock_guard lock(m_backend.Mutex());
                entered = std::move(m_backend.gateEntered);
                m_backend.gateEntered.reset();
                release = m_backend.gateRelease;
            }
            if (entered) {
                entered->set_value();
                release.wait();
            }
            std::lock_guard lock(m_backend.Mutex());
            const uint32_t wanted = length;
            if (m_backend.bulkIn) {
                length = m_backend.bulkIn(buffer, wanted);
            } else {
                for (uint32_t i = 0; i < length; ++i) buffer[i] = static_cast<uint8_t>(i);
            }
            m_backend.transfers.push_back(RecordedTransfer{endpoint, wanted, {}});
            return true;
        }
        std::lock_guard lock(m_backend.Mutex());
        m_backend.transfers.push_back(
            RecordedTransfer{endpoint, length, std::vector<uint8_t>(buffer, buffer + length)});
        return true;
    }
    uint32_t LastError(Endpoint) const override { return 0; }

private:
    RecordingBackend& m_backend;
    UsbDeviceInfo m_info;
    bool m_open = true;
};

}  // namespace

int RecordingBackend::CountUnits() {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_units.size());
}

std::unique_ptr<UsbDevice> RecordingBackend::Open(int index) {
    std::lock_guard lock(m_mutex);
    if (index < 0 || index >= static_cast<int>(m_units.size())) return nullptr;
    FakeUnit& unit = m_units[index];
    if (unit.failOpens > 0) {
        --unit.failOpens;
        return nullptr;
    }
    ++opens;
    return std::make_unique<RecordingDevice>(*this, unit);
}

bool RecordingBackend::ResetParentPort(int index) {
    std::lock_guard lock(m_mutex);
    resets.push_back(index);
    return true;
}

}  // namespace qvusb::test
