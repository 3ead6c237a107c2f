#pragma once
// USB backend for real units through libusb-1.0 with synchronous transfers. Units are listed by
// vendor/product id: the FX3 vendor id 0x04B4 with any product by default, or the list in
// QVPLUS_USB_IDS ("04b4:00f1,04b4:00f3"; a vendor id alone matches any product).

#include "qvusb/qvusb_lib/UsbBackend.h"

#include <string>
#include <utility>
#include <vector>

struct libusb_context;
struct libusb_device;

namespace qvusb {

struct UsbIdFilter {
    uint16_t vendorId = 0;
    int productId = -1;  // -1: any
};

// Parses QVPLUS_USB_IDS; bad entries are reported in errors and skipped. Empty text gives the default.
std::vector<UsbIdFilter> ParseUsbIds(const std::string& text, std::vector<std::string>* errors);

class LibusbBackend : public UsbBackend {
public:
    LibusbBackend();
    ~LibusbBackend() override;

    int CountUnits() override;
    std::unique_ptr<UsbDevice> Open(int index) override;
    bool ResetParentPort(int index) override;

private:
    // Matching devices with one reference each; release with ReleaseList.
    std::vector<libusb_device*> List();
    static void ReleaseList(std::vector<libusb_device*>& devices);

    libusb_context* m_context = nullptr;
    std::vector<UsbIdFilter> m_filters;
};

}  // namespace qvusb
