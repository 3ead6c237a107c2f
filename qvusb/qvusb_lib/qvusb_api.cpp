// The ten exported functions of libqvusb.so. Nothing here throws across the interface.

#include "qvusb/qvusb_api.h"

#include "qvusb/qvusb_lib/DeviceContext.h"
#include "qvusb/qvusb_lib/Fx3Device.h"
#include "qvusb/qvusb_lib/Log.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>

using qvusb::kLogDebug;
using qvusb::kLogError;
using qvusb::kLogWarning;

namespace {

constexpr uint32_t kLibraryVersion = 0x02010100;
constexpr uint16_t kFpgaVersion = 0x0200;
constexpr size_t kIdElements = 20;

// A device id must end within its 20 elements; ids of 20 or more characters cannot be passed.
bool ReadDeviceId(const wchar_t* id, std::wstring& out) {
    if (id == nullptr) return false;
    for (size_t i = 0; i < kIdElements; ++i) {
        if (id[i] == L'\0') {
            out.assign(id, i);
            return !out.empty();
        }
    }
    return false;
}

}  // namespace

extern "C" {

QVPLUS_API uint8_t QVPlus_DeviceCount(void) {
    const int count = qvusb::CurrentBackend()->CountUnits();
    return static_cast<uint8_t>(std::clamp(count, 0, 255));
}

QVPLUS_API int32_t QVPlus_GetDeviceID(uint8_t index, wchar_t* id, uint64_t* length) {
    if (id == nullptr) {
        QVUSB_LOG(kLogError, "QVPlus_GetDeviceID: id buffer is null.");
        return 0;
    }
    auto backend = qvusb::CurrentBackend();
    std::unique_ptr<qvusb::UsbDevice> device = backend->Open(index);
    if (!device) {
        QVUSB_LOG(kLogWarning, "QVUSB USBReset.");
        backend->ResetParentPort(index);
        device = backend->Open(index);
    }
    if (!device) return 0;
    const std::wstring serial = device->Info().serialNumber;
    device->Close();
    if (serial.size() >= kIdElements) {
        QVUSB_LOG(kLogError, "QVPlus_GetDeviceID: serial number of unit %u is too long (%zu characters).",
                  static_cast<unsigned>(index), serial.size());
        return 0;
    }
    std::fill(id, id + kIdElements, L'\0');
    std::copy(serial.begin(), serial.end(), id);
    if (length != nullptr) *length = serial.size();
    return 1;
}

QVPLUS_API QVPlusHandle QVPlus_Create(const QVPlusCreateParams* params) {
    QVUSB_LOG(kLogDebug, "QVPlus_Create");
    if (params == nullptr) {
        QVUSB_LOG(kLogError, "QVPlus_Create: parameters are null.");
        return nullptr;
    }
    if (params->captureMode != QVPLUS_CAPTURE_ANALOG) {
        QVUSB_LOG(kLogError, "QVPlus_Create: capture mode %u is not supported.", params->captureMode);
        return nullptr;
    }
    std::wstring deviceId;
    if (!ReadDeviceId(params->deviceId, deviceId)) {
        QVUSB_LOG(kLogError, "QVPlus_Create: device id is empty or not terminated within 20 characters.");
        return nullptr;
    }
    std::string path;
    if (params->bitStreamPath != nullptr)
        path.assign(params->bitStreamPath, strnlen(params->bitStreamPath, 1023));
    try {
        auto context = std::make_unique<QVPlusContext>(params->captureMode, deviceId, path,
                                                       params->bitStreamPath != nullptr);
        if (!context->AllocateBuffers() || !context->OpenUnit() || !context->StartThreads()) return nullptr;
        return context.release();
    } catch (const std::exception& e) {
        QVUSB_LOG(kLogError, "QVPlus_Create: %s", e.what());
        return nullptr;
    }
}

QVPLUS_API int32_t QVPlus_Start(QVPlusHandle handle, const QVPlusStartParams* params) {
    if (handle == nullptr) return 0;
    if (params == nullptr) {
        QVUSB_LOG(kLogError, "QVPlus_Start: parameters are null.");
        return 0;
    }
    if (params->outputFolder != nullptr && params->outputFolder[0] == '\0') {
        // An empty folder would put the report files into the file system's root.
        QVUSB_LOG(kLogError, "QVPlus_Start: output folder is empty.");
        return 0;
    }
    return handle->Start(*params);
}

QVPLUS_API int32_t QVPlus_Stop(QVPlusHandle handle, uint32_t reason) {
    if (handle == nullptr) return 0;
    if (reason != QVPLUS_STOP_DRAIN && reason != QVPLUS_STOP_ABORT) {
        QVUSB_LOG(kLogError, "QVPlus_Stop: unknown reason %u.", reason);
        return 0;
    }
    return handle->Stop(reason);
}

QVPLUS_API void QVPlus_GetStatus(QVPlusHandle handle, QVPlusStatus* status) {
    if (handle == nullptr) return;
    if (status == nullptr) {
        QVUSB_LOG(kLogError, "QVPlus_GetStatus: status is null.");
        return;
    }
    *status = handle->Status();
}

QVPLUS_API void QVPlus_ErrClear(QVPlusHandle handle) {
    if (handle != nullptr) handle->ClearError();
}

QVPLUS_API void QVPlus_Delete(QVPlusHandle handle) {
    delete handle;
}

QVPLUS_API void QVPlus_SetLogCallback(QVPlusLogCallback callback, void* /*context*/) {
    qvusb::SetLogCallback(callback);
}

QVPLUS_API int32_t QVPlus_Version(const wchar_t* deviceId, uint32_t* library, uint16_t* fpga,
                                  uint16_t* firmware) {
    if (library != nullptr) *library = kLibraryVersion;
    if (fpga != nullptr) *fpga = kFpgaVersion;
    QVUSB_LOG(kLogDebug, "QVUSBFX3GetVer");
    std::wstring id;
    if (!ReadDeviceId(deviceId, id)) return 0;
    // Only the descriptors are read: the unit may be recording under another handle.
    auto unit =
        qvusb::Fx3Device::OpenBySerial(*qvusb::CurrentBackend(), id, qvusb::OpenPurpose::kDescriptors);
    if (!unit) return 0;
    if (firmware != nullptr) *firmware = unit->Info().deviceRelease;
    return 1;
}

}  // extern "C"
