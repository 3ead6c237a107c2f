// The libusb-1.0 functions of the stand-in, with libusb's own signatures (from the system's
// libusb.h) and error codes. Control and bulk transfers are served by the simulated unit's
// device side (SimUnit), the same code the simulated backend uses; standard string-descriptor
// requests are answered from the unit's description.
//
// Host faults from QVPLUS_SIM_FAULTS: bulk-timeout and bulk-pipe fail one bulk-IN transfer with
// LIBUSB_ERROR_TIMEOUT or LIBUSB_ERROR_PIPE once they are due; open-access refuses every open
// with LIBUSB_ERROR_ACCESS; claim-busy refuses every claim with LIBUSB_ERROR_BUSY. The unit's own
// faults show as libusb sees them: an unplugged unit leaves the device list and its transfers
// end with LIBUSB_ERROR_NO_DEVICE, a short read is a short transfer, a refused request a stall
// (LIBUSB_ERROR_PIPE). Timeouts return at once: the stand-in has no real timing.
//
// Every call runs on the caller's thread.

#include "qvusb/standin/StandinDescriptors.h"
#include "qvusb/standin/StandinRegistry.h"
#include "qvusb/standin/StandinTestHooks.h"

#include <libusb.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

using qvusb::ControlDirection;
using qvusb::ControlRequest;
using qvusb::SimFaultKind;
using qvusb::standin::Registry;
using qvusb::standin::SerialOf;

namespace {

constexpr int kInterfaceNumber = 0;
constexpr uint8_t kRequestTypeMask = 0x60;
constexpr uint8_t kRecipientMask = 0x1F;

bool HasFault(const libusb_context* context, SimFaultKind kind) {
    return std::any_of(context->config.faults.begin(), context->config.faults.end(),
                       [kind](const qvusb::SimFault& fault) { return fault.kind == kind; });
}

// True the first time a one-shot host fault of the device is due. Registry mutex held.
bool FireOnce(libusb_device* device, SimFaultKind kind) {
    if (device->firedFaults.count(kind) != 0 || !device->unit->FaultDueNow(kind)) return false;
    device->firedFaults.insert(kind);
    return true;
}

// What a transfer the unit refused looks like to the host.
int RefusedTransfer(const libusb_device* device) {
    return device->unit->IsPresent() ? LIBUSB_ERROR_PIPE : LIBUSB_ERROR_NO_DEVICE;
}

// Resolves a context argument (NULL: the default session); reports a session that is not open.
libusb_context* LiveContext(Registry& registry, libusb_context* context, const char* function) {
    if (context == nullptr) context = registry.DefaultContext();
    if (context == nullptr || !registry.IsLiveContext(context)) {
        registry.ReportProblem(std::string(function) + " on a libusb session that is not open");
        return nullptr;
    }
    return context;
}

bool CheckDevice(Registry& registry, libusb_device* device, const char* function) {
    if (device == nullptr || !registry.IsLiveDevice(device)) {
        registry.ReportProblem(std::string(function) + " on a device of no open session");
        return false;
    }
    if (device->references == 0 && device->openHandles == 0) {
        registry.ReportProblem(std::string(function) + " on device " + SerialOf(device) +
                               " after its last reference was released");
    }
    return true;
}

bool CheckHandle(Registry& registry, libusb_device_handle* handle, const char* function) {
    if (handle == nullptr || !registry.IsLiveHandle(handle)) {
        registry.ReportProblem(std::string(function) + " on a handle that is not open");
        return false;
    }
    return true;
}

// Drops one of the program's references to the device. Registry mutex held.
void ReleaseReference(Registry& registry, libusb_device* device) {
    if (device->references == 0)
        registry.ReportProblem("device " + SerialOf(device) + " released more often than referenced");
    else
        --device->references;
}

// Counts a transfer as pending for as long as it runs, so that a handle closed or a session
// ended under it is reported.
class PendingTransfer {
public:
    PendingTransfer(libusb_device_handle* handle, const char* function) {
        Registry& registry = Registry::Get();
        std::lock_guard lock(registry.Mutex());
        if (!CheckHandle(registry, handle, function)) return;
        m_handle = handle;
        m_handle->transfersInFlight.fetch_add(1);
    }
    ~PendingTransfer() {
        if (m_handle) m_handle->transfersInFlight.fetch_sub(1);
    }
    PendingTransfer(const PendingTransfer&) = delete;
    PendingTransfer& operator=(const PendingTransfer&) = delete;

    explicit operator bool() const { return m_handle != nullptr; }

private:
    libusb_device_handle* m_handle = nullptr;
};

int AnswerStringRequest(libusb_device* device, uint16_t value, unsigned char* data, uint16_t length) {
    const std::vector<uint8_t> bytes = qvusb::standin::StringDescriptor(device->unit->Info(), value & 0xFF);
    if (bytes.empty()) return LIBUSB_ERROR_PIPE;
    const size_t n = std::min<size_t>(bytes.size(), length);
    std::memcpy(data, bytes.data(), n);
    return static_cast<int>(n);
}

// Checks the endpoint and the claim of a bulk transfer; 0 when it may go ahead.
int CheckBulkEndpoint(libusb_device_handle* handle, unsigned char endpoint) {
    Registry& registry = Registry::Get();
    std::lock_guard lock(registry.Mutex());
    libusb_device* device = handle->device;
    if (endpoint != qvusb::standin::kBulkInEndpoint && endpoint != qvusb::standin::kBulkOutEndpoint) {
        char text[96];
        std::snprintf(text, sizeof(text), "bulk transfer on endpoint 0x%02X, which %s does not have",
                      endpoint, SerialOf(device).c_str());
        registry.ReportProblem(text);
        return LIBUSB_ERROR_NOT_FOUND;
    }
    if (device->claimedBy != nullptr && device->claimedBy != handle) return LIBUSB_ERROR_BUSY;
    if (device->claimedBy == nullptr)
        registry.ReportProblem("bulk transfer on " + SerialOf(device) + " without its interface claimed");
    if (!device->unit->IsPresent()) return LIBUSB_ERROR_NO_DEVICE;
    if (endpoint == qvusb::standin::kBulkInEndpoint) {
        if (FireOnce(device, SimFaultKind::kBulkTimeout)) return LIBUSB_ERROR_TIMEOUT;
        if (FireOnce(device, SimFaultKind::kBulkPipe)) return LIBUSB_ERROR_PIPE;
    }
    return LIBUSB_SUCCESS;
}

}  // namespace

extern "C" {

int LIBUSB_CALL libusb_init(libusb_context** context) {
    Registry& registry = Registry::Get();
    std::lock_guard lock(registry.Mutex());
    if (context == nullptr)
        registry.AcquireDefaultContext();
    else
        *context = registry.CreateContext();
    return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_exit(libusb_context* context) {
    Registry& registry = Registry::Get();
    std::lock_guard lock(registry.Mutex());
    if (context == nullptr) {
        registry.ReleaseDefaultContext();
        return;
    }
    if (!registry.IsLiveContext(context)) {
        registry.ReportProblem("libusb_exit of a session that is not open");
        return;
    }
    registry.DestroyContext(context);
}

const char* LIBUSB_CALL libusb_error_name(int code) {
    switch (code) {
        case LIBUSB_SUCCESS:
            return "LIBUSB_SUCCESS";
        case LIBUSB_ERROR_IO:
            return "LIBUSB_ERROR_IO";
        case LIBUSB_ERROR_INVALID_PARAM:
            return "LIBUSB_ERROR_INVALID_PARAM";
        case LIBUSB_ERROR_ACCESS:
            return "LIBUSB_ERROR_ACCESS";
        case LIBUSB_ERROR_NO_DEVICE:
            return "LIBUSB_ERROR_NO_DEVICE";
        case LIBUSB_ERROR_NOT_FOUND:
            return "LIBUSB_ERROR_NOT_FOUND";
        case LIBUSB_ERROR_BUSY:
            return "LIBUSB_ERROR_BUSY";
        case LIBUSB_ERROR_TIMEOUT:
            return "LIBUSB_ERROR_TIMEOUT";
        case LIBUSB_ERROR_OVERFLOW:
            return "LIBUSB_ERROR_OVERFLOW";
        case LIBUSB_ERROR_PIPE:
            return "LIBUSB_ERROR_PIPE";
        case LIBUSB_ERROR_INTERRUPTED:
            return "LIBUSB_ERROR_INTERRUPTED";
        case LIBUSB_ERROR_NO_MEM:
            return "LIBUSB_ERROR_NO_MEM";
        case LIBUSB_ERROR_NOT_SUPPORTED:
            return "LIBUSB_ERROR_NOT_SUPPORTED";
        case LIBUSB_ERROR_OTHER:
            return "LIBUSB_ERROR_OTHER";
        default:
            return "**UNKNOWN**";
    }
}

ssize_t LIBUSB_CALL libusb_get_device_list(libusb_context* context, libusb_device*** list) {
    Registry& registry = Registry::Get();
    std::lock_guard lock(registry.Mutex());
    context = LiveContext(registry, context, "libusb_get_device_list");
    if (context == nullptr || list == nullptr) return LIBUSB_ERROR_INVALID_PARAM;
    std::vector<libusb_device*> present;
    for (const auto& device : context->devices)
        if (device->unit->IsPresent()) present.push_back(device.get());
    auto* out = new libusb_device*[present.size() + 1];
    for (size_t i = 0; i < present.size(); ++i) {
        ++present[i]->references;
        out[i] = present[i];
    }
    out[present.size()] = nullptr;
    context->deviceLists.insert(out);
    *list = out;
    return static_cast<ssize_t>(present.size());
}

void LIBUSB_CALL libusb_free_device_list(libusb_device** list, int unrefDevices) {
    if (list == nullptr) return;
    Registry& registry = Registry::Get();
    std::lock_guard lock(registry.Mutex());
    libusb_context* context = registry.OwnerOfList(list);
    if (context == nullptr) {
        registry.ReportProblem("libusb_free_device_list of a list that is not held");
        return;
    }
    if (unrefDevices != 0) {
        for (libusb_device** device = list; *device != nullptr; ++device) ReleaseReference(registry, *device);
    }
    context->deviceLists.erase(list);
    delete[] list;
}

libusb_device* LIBUSB_CALL libusb_ref_device(libusb_device* device) {
    Registry& registry = Registry::Get();
    std::lock_guard lock(registry.Mutex());
    if (CheckDevice(registry, device, "libusb_ref_device")) ++device->references;
    return device;
}

void LIBUSB_CALL libusb_unref_device(libusb_device* device) {
    if (device == nullptr) return;
    Registry& registry = Registry::Get();
    std::lock_guard lock(registry.Mutex());
    if (!registry.IsLiveDevice(device)) {
        registry.ReportProblem("libusb_unref_device on a device of no open session");
    } else {
        ReleaseReference(registry, device);
    }
}

int LIBUSB_CALL libusb_get_device_descriptor(libusb_device* device, libusb_device_descriptor* descriptor) {
    Registry& registry = Registry::Get();
    std::lock_guard lock(registry.Mutex());
    if (!CheckDevice(registry, device, "libusb_get_device_descriptor") || descriptor == nullptr)
        return LIBUSB_ERROR_INVALID_PARAM;
    *descriptor = qvusb::standin::MakeDeviceDescriptor(device->unit->Info());
    return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_get_active_config_descriptor(libusb_device* device,
                                                    libusb_config_descriptor** config) {
    Registry& registry = Registry::Get();
    std::lock_guard lock(registry.Mutex());
    if (!CheckDevice(registry, device, "libusb_get_active_config_descriptor") || config == nullptr)
        return LIBUSB_ERROR_INVALID_PARAM;
    *config = qvusb::standin::NewConfigDescriptor();
    device->context->configs.insert(*config);
    return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_free_config_descriptor(libusb_config_descriptor* config) {
    if (config == nullptr) return;
    Registry& registry = Registry::Get();
    std::lock_guard lock(registry.Mutex());
    libusb_context* context = registry.OwnerOfConfig(config);
    if (context == nullptr) {
        registry.ReportProblem("libusb_free_config_descriptor of a descriptor that is not held");
        return;
    }
    context->configs.erase(config);
    qvusb::standin::FreeConfigDescriptor(config);
}

int LIBUSB_CALL libusb_open(libusb_device* device, libusb_device_handle** handle) {
    Registry& registry = Registry::Get();
    std::lock_guard lock(registry.Mutex());
    if (!CheckDevice(registry, device, "libusb_open") || handle == nullptr) return LIBUSB_ERROR_INVALID_PARAM;
    if (!device->unit->IsPresent()) return LIBUSB_ERROR_NO_DEVICE;
    if (HasFault(device->context, SimFaultKind::kOpenAccess)) return LIBUSB_ERROR_ACCESS;
    if (!device->unit->TryOpen()) return LIBUSB_ERROR_IO;  // the unit's open-fail-once
    auto* opened = new libusb_device_handle();
    opened->device = device;
    ++device->openHandles;
    device->context->handles.insert(opened);
    *handle = opened;
    return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_close(libusb_device_handle* handle) {
    if (handle == nullptr) return;
    Registry& registry = Registry::Get();
    std::lock_guard lock(registry.Mutex());
    if (!CheckHandle(registry, handle, "libusb_close")) return;
    libusb_device* device = handle->device;
    if (device->claimedBy == handle) {
        registry.ReportProblem("handle of " + SerialOf(device) + " closed with interface 0 still claimed");
        device->claimedBy = nullptr;
    }
    --device->openHandles;
    device->context->handles.erase(handle);
    if (handle->transfersInFlight.load() > 0) {
        // Another thread is still inside a transfer on it: keep the handle's memory alive.
        registry.ReportProblem("handle of " + SerialOf(device) + " closed while a transfer is pending");
        return;
    }
    delete handle;
}

int LIBUSB_CALL libusb_set_auto_detach_kernel_driver(libusb_device_handle* handle, int) {
    Registry& registry = Registry::Get();
    std::lock_guard lock(registry.Mutex());
    return CheckHandle(registry, handle, "libusb_set_auto_detach_kernel_driver") ? LIBUSB_SUCCESS
                                                                                 : LIBUSB_ERROR_INVALID_PARAM;
}

int LIBUSB_CALL libusb_claim_interface(libusb_device_handle* handle, int interfaceNumber) {
    Registry& registry = Registry::Get();
    std::lock_guard lock(registry.Mutex());
    if (!CheckHandle(registry, handle, "libusb_claim_interface")) return LIBUSB_ERROR_INVALID_PARAM;
    libusb_device* device = handle->device;
    if (interfaceNumber != kInterfaceNumber) return LIBUSB_ERROR_NOT_FOUND;
    if (!device->unit->IsPresent()) return LIBUSB_ERROR_NO_DEVICE;
    if (HasFault(device->context, SimFaultKind::kClaimBusy)) return LIBUSB_ERROR_BUSY;
    if (device->claimedBy != nullptr && device->claimedBy != handle) return LIBUSB_ERROR_BUSY;
    device->claimedBy = handle;
    return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_release_interface(libusb_device_handle* handle, int interfaceNumber) {
    Registry& registry = Registry::Get();
    std::lock_guard lock(registry.Mutex());
    if (!CheckHandle(registry, handle, "libusb_release_interface")) return LIBUSB_ERROR_INVALID_PARAM;
    libusb_device* device = handle->device;
    if (interfaceNumber != kInterfaceNumber || device->claimedBy != handle) return LIBUSB_ERROR_NOT_FOUND;
    device->claimedBy = nullptr;
    return device->unit->IsPresent() ? LIBUSB_SUCCESS : LIBUSB_ERROR_NO_DEVICE;
}

int LIBUSB_CALL libusb_reset_device(libusb_device_handle* handle) {
    Registry& registry = Registry::Get();
    std::lock_guard lock(registry.Mutex());
    if (!CheckHandle(registry, handle, "libusb_reset_device")) return LIBUSB_ERROR_INVALID_PARAM;
    libusb_device* device = handle->device;
    // A port reset re-enumerates the device under every handle of it.
    if (device->claimedBy != nullptr && device->claimedBy != handle)
        registry.ReportProblem("port of " + SerialOf(device) +
                               " reset while another handle holds its interface");
    return device->unit->IsPresent() ? LIBUSB_SUCCESS : LIBUSB_ERROR_NO_DEVICE;
}

int LIBUSB_CALL libusb_control_transfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request,
                                        uint16_t value, uint16_t index, unsigned char* data, uint16_t length,
                                        unsigned int) {
    PendingTransfer pending(handle, "libusb_control_transfer");
    if (!pending) return LIBUSB_ERROR_INVALID_PARAM;
    libusb_device* device = handle->device;
    if (!device->unit->IsPresent()) return LIBUSB_ERROR_NO_DEVICE;
    const bool toHost = (requestType & LIBUSB_ENDPOINT_IN) != 0;
    const uint8_t type = requestType & kRequestTypeMask;
    if (type == LIBUSB_REQUEST_TYPE_STANDARD && toHost && request == LIBUSB_REQUEST_GET_DESCRIPTOR &&
        (value >> 8) == LIBUSB_DT_STRING)
        return AnswerStringRequest(device, value, data, length);
    if (type != LIBUSB_REQUEST_TYPE_VENDOR || (requestType & kRecipientMask) != LIBUSB_RECIPIENT_DEVICE)
        return LIBUSB_ERROR_PIPE;
    const ControlRequest vendor{toHost ? ControlDirection::kDeviceToHost : ControlDirection::kHostToDevice,
                                request, value, index};
    uint32_t moved = length;
    if (!device->unit->Control(vendor, data, moved)) return RefusedTransfer(device);
    return static_cast<int>(moved);
}

int LIBUSB_CALL libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint,
                                     unsigned char* data, int length, int* transferred, unsigned int) {
    if (transferred != nullptr) *transferred = 0;
    PendingTransfer pending(handle, "libusb_bulk_transfer");
    if (!pending || length < 0) return LIBUSB_ERROR_INVALID_PARAM;
    if (const int refused = CheckBulkEndpoint(handle, endpoint); refused != LIBUSB_SUCCESS) return refused;
    libusb_device* device = handle->device;
    uint32_t moved = static_cast<uint32_t>(length);
    const bool ok = endpoint == qvusb::standin::kBulkInEndpoint ? device->unit->BulkIn(data, moved)
                                                                : device->unit->BulkOut(data, moved);
    if (!ok) return RefusedTransfer(device);
    if (transferred != nullptr) *transferred = static_cast<int>(moved);
    return LIBUSB_SUCCESS;
}

// Inspection for the tests (not part of libusb).

int qvplus_standin_unit_records(int index, uint64_t* written, uint64_t* lost) {
    Registry& registry = Registry::Get();
    std::lock_guard lock(registry.Mutex());
    libusb_context* context = registry.Latest();
    if (context == nullptr || index < 0 || index >= static_cast<int>(context->devices.size())) return -1;
    const auto& unit = context->devices[index]->unit;
    if (written) *written = unit->WrittenRecords();
    if (lost) *lost = unit->LostRecords();
    return 0;
}

size_t qvplus_standin_problem_count(void) {
    Registry& registry = Registry::Get();
    std::lock_guard lock(registry.Mutex());
    return registry.ProblemCount();
}

}  // extern "C"
