#pragma once
// USB backend of simulated units: enumerates the units still present (an unplugged unit drops
// out of the list) and opens them as devices that speak to the SimUnit.

#include "qvusb/qvusb_lib/SimUnit.h"
#include "qvusb/qvusb_lib/UsbBackend.h"

#include <memory>
#include <vector>

namespace qvusb {

class SimBackend : public UsbBackend {
public:
    explicit SimBackend(const SimConfig& config, SimUnit::Clock clock = {});

    int CountUnits() override;
    std::unique_ptr<UsbDevice> Open(int index) override;
    bool ResetParentPort(int index) override;

    // All configured units, present or not, in enumeration order.
    const std::vector<std::shared_ptr<SimUnit>>& Units() const { return m_units; }

private:
    std::vector<std::shared_ptr<SimUnit>> Present();

    std::vector<std::shared_ptr<SimUnit>> m_units;
};

}  // namespace qvusb
