// Fuzz target: the environment variables of the simulated unit and of the USB device
// filter, read as the library reads them at start-up.
//
// Input: the values of QVPLUS_SIMULATED_UNITS, QVPLUS_SIM_SIGNAL, QVPLUS_SIM_SPEED,
// QVPLUS_SIM_FAULTS and QVPLUS_USB_IDS, separated by NUL bytes.

#include "fuzz/fuzz_support.h"

#include "qvusb/qvusb_lib/LibusbBackend.h"
#include "qvusb/qvusb_lib/SimConfig.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static constexpr const char* kVariables[] = {"QVPLUS_SIMULATED_UNITS", "QVPLUS_SIM_SIGNAL",
                                                 "QVPLUS_SIM_SPEED", "QVPLUS_SIM_FAULTS", "QVPLUS_USB_IDS"};
    std::string_view input = qvx::fuzz::AsText(data, size);
    std::vector<std::string> values;
    for (std::size_t i = 0; i < std::size(kVariables); ++i) {
        const std::size_t nul = std::min(input.find('\0'), input.size());
        values.emplace_back(input.substr(0, nul));
        ::setenv(kVariables[i], values.back().c_str(), 1);
        input.remove_prefix(std::min(nul + 1, input.size()));
    }

    std::vector<std::string> errors;
    const qvusb::SimConfig config = qvusb::SimConfig::FromEnvironment(&errors);
    for (const qvusb::SimFault& fault : config.faults) {
        if (!(fault.atSeconds >= 0.0) || std::isnan(fault.atSeconds)) qvx::fuzz::Fail("a fault time below 0");
    }
    for (const std::wstring& serial : config.serials) {
        if (serial.empty()) qvx::fuzz::Fail("an empty serial number");
    }
    (void)qvusb::SimConfig::EnvironmentKey();
    (void)qvusb::ParseUsbIds(values[4], &errors);
    return 0;
}
