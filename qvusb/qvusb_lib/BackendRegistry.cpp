// Chooses the USB backend of the process: a test override, else the simulated units when
// QVPLUS_SIMULATED_UNITS lists any (so a real user never sees a unit that is not there), else
// libusb. The simulated units keep their state for as long as the environment stays the same.
// QVPLUS_USB_BACKEND=libusb takes libusb whatever QVPLUS_SIMULATED_UNITS says: the tests' stand-in
// libusb presents the simulated units as USB devices, also to programs that set that variable.

#include "qvusb/qvusb_lib/LibusbBackend.h"
#include "qvusb/qvusb_lib/Log.h"
#include "qvusb/qvusb_lib/SimBackend.h"
#include "qvusb/qvusb_lib/UsbBackend.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace qvusb {

namespace {

std::mutex s_backendMutex;
std::shared_ptr<UsbBackend> s_override;
std::shared_ptr<UsbBackend> s_simulated;
std::string s_simulatedKey;
std::shared_ptr<UsbBackend> s_libusb;

bool LibusbRequired() {
    const char* choice = std::getenv("QVPLUS_USB_BACKEND");
    return choice != nullptr && std::strcmp(choice, "libusb") == 0;
}

}  // namespace

std::shared_ptr<UsbBackend> CurrentBackend() {
    std::lock_guard lock(s_backendMutex);
    if (s_override) return s_override;
    if (LibusbRequired()) {
        if (!s_libusb) s_libusb = std::make_shared<LibusbBackend>();
        return s_libusb;
    }
    std::vector<std::string> errors;
    const std::string key = SimConfig::EnvironmentKey();
    if (key != s_simulatedKey || (!s_simulated && !s_libusb)) {
        s_simulatedKey = key;
        SimConfig config = SimConfig::FromEnvironment(&errors);
        for (const std::string& error : errors) QVUSB_LOG(kLogError, "%s", error.c_str());
        s_simulated = config.serials.empty() ? nullptr : std::make_shared<SimBackend>(config);
    }
    if (s_simulated) return s_simulated;
    if (!s_libusb) s_libusb = std::make_shared<LibusbBackend>();
    return s_libusb;
}

void SetBackendOverride(std::shared_ptr<UsbBackend> backend) {
    std::lock_guard lock(s_backendMutex);
    s_override = std::move(backend);
}

}  // namespace qvusb
