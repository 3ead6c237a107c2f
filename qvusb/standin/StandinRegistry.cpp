#include "qvusb/standin/StandinRegistry.h"

#include "qvusb/standin/StandinDescriptors.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include <unistd.h>

namespace qvusb::standin {

namespace {

std::string GetEnv(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string ProgramName() {
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// Runs when the stand-in is unloaded at process exit, after the program's own static
// destructors (the stand-in is loaded before the libraries that use it).
__attribute__((destructor)) void CheckUseAtExit() {
    Registry::Get().CheckAtExit();
}

}  // namespace

std::string SerialOf(const libusb_device* device) {
    std::string out;
    for (wchar_t c : device->unit->Serial())
        out.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
    return out;
}

Registry& Registry::Get() {
    static Registry* registry = new Registry();
    return *registry;
}

libusb_context* Registry::CreateContext() {
    std::vector<std::string> errors;
    SimConfig config = SimConfig::Parse(GetEnv("QVPLUS_STANDIN_UNITS"), GetEnv("QVPLUS_SIM_SIGNAL"),
                                        GetEnv("QVPLUS_SIM_SPEED"), GetEnv("QVPLUS_SIM_FAULTS"), &errors);
    for (const std::string& error : errors) std::fprintf(stderr, "usb stand-in: %s\n", error.c_str());
    auto* context = new libusb_context();
    context->config = config;
    uint8_t address = 2;  // address 1 is the root hub's
    for (const std::wstring& serial : config.serials) {
        auto device = std::make_unique<libusb_device>();
        device->context = context;
        device->unit = std::make_shared<SimUnit>(serial, config);
        device->address = address++;
        context->devices.push_back(std::move(device));
    }
    m_contexts.insert(context);
    m_latest = context;
    return context;
}

bool Registry::IsLiveHandle(libusb_device_handle* handle) const {
    for (libusb_context* context : m_contexts)
        if (context->handles.count(handle) != 0) return true;
    return false;
}

bool Registry::IsLiveDevice(libusb_device* device) const {
    for (libusb_context* context : m_contexts)
        for (const auto& owned : context->devices)
            if (owned.get() == device) return true;
    return false;
}

libusb_context* Registry::AcquireDefaultContext() {
    if (m_defaultUsers++ == 0) m_default = CreateContext();
    return m_default;
}

void Registry::ReleaseDefaultContext() {
    if (m_defaultUsers == 0) {
        ReportProblem("libusb_exit(NULL) without a matching libusb_init(NULL)");
        return;
    }
    if (--m_defaultUsers == 0) DestroyContext(m_default);
}

libusb_context* Registry::OwnerOfList(libusb_device** list) const {
    for (libusb_context* context : m_contexts)
        if (context->deviceLists.count(list) != 0) return context;
    return nullptr;
}

libusb_context* Registry::OwnerOfConfig(libusb_config_descriptor* config) const {
    for (libusb_context* context : m_contexts)
        if (context->configs.count(config) != 0) return context;
    return nullptr;
}

void Registry::CheckLeftovers(libusb_context* context) {
    for (libusb_device_handle* handle : context->handles) {
        const std::string serial = SerialOf(handle->device);
        ReportProblem("handle of " + serial + " not closed");
        if (handle->device->claimedBy == handle) ReportProblem("interface 0 of " + serial + " not released");
        if (const int n = handle->transfersInFlight.load(); n > 0)
            ReportProblem(std::to_string(n) + " transfer(s) on " + serial + " still pending");
    }
    for (const auto& device : context->devices)
        if (device->references > 0)
            ReportProblem(std::to_string(device->references) + " reference(s) to device " +
                          SerialOf(device.get()) + " not released");
    if (!context->deviceLists.empty())
        ReportProblem(std::to_string(context->deviceLists.size()) + " device list(s) not freed");
    if (!context->configs.empty())
        ReportProblem(std::to_string(context->configs.size()) + " configuration descriptor(s) not freed");
}

void Registry::DestroyContext(libusb_context* context) {
    CheckLeftovers(context);
    m_contexts.erase(context);
    if (m_default == context) m_default = nullptr;
    if (m_latest == context) m_latest = nullptr;
    bool busy = false;
    for (libusb_device_handle* handle : context->handles) busy |= handle->transfersInFlight.load() > 0;
    if (busy) return;  // a thread is still inside a transfer: keep its objects alive
    for (libusb_device_handle* handle : context->handles) delete handle;
    for (libusb_device** list : context->deviceLists) delete[] list;
    for (libusb_config_descriptor* config : context->configs) FreeConfigDescriptor(config);
    delete context;
}

void Registry::ReportProblem(const std::string& text) {
    ++m_problems;
    static const std::string program = ProgramName();
    const std::string line =
        "usb stand-in: " + program + " (pid " + std::to_string(::getpid()) + "): " + text + "\n";
    std::fputs(line.c_str(), stderr);
    const std::string report = GetEnv("QVPLUS_STANDIN_REPORT");
    if (!report.empty()) std::ofstream(report, std::ios::app) << line;
}

void Registry::CheckAtExit() {
    std::lock_guard lock(m_mutex);
    for (libusb_context* context : m_contexts) {
        ReportProblem("libusb session not ended (libusb_exit was not called)");
        CheckLeftovers(context);
    }
    m_contexts.clear();
}

}  // namespace qvusb::standin
