#pragma once
// Results of the vendor transfer routines; the names are what the library logs.

#include <cstdint>

namespace qvusb {

enum TransferResult : int64_t {
    kXferSuccess = 0,
    kXferNotOpen = -1,
    kXferDefaultFirmware = -2,
    kXferEndpointNotFound = -3,
    kXferLockTimeout = -4,
    kXferControlError = -5,
    kXferError = -6,
};

inline const char* TransferResultName(int64_t result) {
    switch (result) {
        case kXferSuccess:
            return "QVUSBFX3_SUCCESS";
        case kXferNotOpen:
            return "QVUSBFX3_NOT_OPEN";
        case kXferDefaultFirmware:
            return "QVUSBFX3_CY_DEFAULT_FIRMWARE";
        case kXferEndpointNotFound:
            return "QVUSBFX3_ENDPOINT_NOTFOUND";
        case kXferLockTimeout:
            return "QVUSBFX3_LOCK_TIMEOUT";
        case kXferControlError:
            return "QVUSBFX3_CONTROLEP_XFER_ERROR";
        case kXferError:
            return "QVUSBFX3_XFER_ERROR";
        default:
            return "UnknownError";
    }
}

}  // namespace qvusb
