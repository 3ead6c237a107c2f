#include "qvusb/qvusb_lib/SimBackend.h"

namespace qvusb {

namespace {

// An opened simulated unit.
class SimDevice : public UsbDevice {
public:
    explicit SimDevice(std::shared_ptr<SimUnit> unit) : m_unit(std::move(unit)), m_info(m_unit->Info()) {}

    const UsbDeviceInfo& Info() const override { return m_info; }
    bool HasEndpoint(Endpoint) const override { return true; }
    void Close() override { m_open = false; }

    bool ControlTransfer(const ControlRequest& request, uint8_t* buffer, uint32_t& length,
                         uint32_t) override {
        const bool ok = m_open && m_unit->Control(request, buffer, length);
        if (!ok) m_lastError[0] = kErrorIo;
        return ok;
    }
    bool SetTransferSize(Endpoint, uint32_t) override { return m_open; }
    bool BulkTransfer(Endpoint endpoint, uint8_t* buffer, uint32_t& length, uint32_t) override {
        bool ok = false;
        if (m_open) {
            ok = endpoint == Endpoint::kBulkOut  ? m_unit->BulkOut(buffer, length)
                 : endpoint == Endpoint::kBulkIn ? m_unit->BulkIn(buffer, length)
                                                 : false;
        }
        if (!ok) {
            m_lastError[static_cast<int>(endpoint)] = kErrorIo;
            if (endpoint == Endpoint::kBulkIn) length = 0;
        }
        return ok;
    }
    uint32_t LastError(Endpoint endpoint) const override { return m_lastError[static_cast<int>(endpoint)]; }

private:
    static constexpr uint32_t kErrorIo = 31;  // "device not functioning", as a driver would say
    std::shared_ptr<SimUnit> m_unit;
    UsbDeviceInfo m_info;
    bool m_open = true;
    uint32_t m_lastError[3] = {};
};

}  // namespace

SimBackend::SimBackend(const SimConfig& config, SimUnit::Clock clock) {
    for (const std::wstring& serial : config.serials)
        m_units.push_back(std::make_shared<SimUnit>(serial, config, clock));
}

std::vector<std::shared_ptr<SimUnit>> SimBackend::Present() {
    std::vector<std::shared_ptr<SimUnit>> present;
    for (const auto& unit : m_units)
        if (unit->IsPresent()) present.push_back(unit);
    return present;
}

int SimBackend::CountUnits() {
    return static_cast<int>(Present().size());
}

std::unique_ptr<UsbDevice> SimBackend::Open(int index) {
    const auto present = Present();
    if (index < 0 || index >= static_cast<int>(present.size())) return nullptr;
    if (!present[index]->TryOpen()) return nullptr;
    return std::make_unique<SimDevice>(present[index]);
}

bool SimBackend::ResetParentPort(int index) {
    return index >= 0 && index < CountUnits();
}

}  // namespace qvusb
