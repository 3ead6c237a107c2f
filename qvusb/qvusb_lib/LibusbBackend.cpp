#include "qvusb/qvusb_lib/LibusbBackend.h"

#include "qvusb/qvusb_lib/Log.h"

#include <libusb.h>

#include <cstdlib>
#include <sstream>

namespace qvusb {

namespace {

constexpr uint16_t kFx3VendorId = 0x04B4;
constexpr uint16_t kLanguageEnglish = 0x0409;
constexpr int kInterface = 0;

bool ParseHex16(const std::string& text, uint16_t& out) {
    if (text.empty() || text.size() > 4) return false;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 16);
    if (*end != '\0') return false;
    out = static_cast<uint16_t>(value);
    return true;
}

class LibusbDevice : public UsbDevice {
public:
    LibusbDevice(libusb_device_handle* handle, UsbDeviceInfo info, uint8_t bulkIn, uint8_t bulkOut,
                 uint16_t outPacket)
        : m_handle(handle),
          m_info(std::move(info)),
          m_bulkIn(bulkIn),
          m_bulkOut(bulkOut),
          m_outPacket(outPacket) {}
    ~LibusbDevice() override { Close(); }

    const UsbDeviceInfo& Info() const override { return m_info; }
    bool HasEndpoint(Endpoint endpoint) const override {
        if (endpoint == Endpoint::kBulkIn) return m_bulkIn != 0;
        if (endpoint == Endpoint::kBulkOut) return m_bulkOut != 0;
        return true;
    }
    bool Claim() override {
        if (m_handle == nullptr) return false;
        if (m_claimed) return true;
        libusb_set_auto_detach_kernel_driver(m_handle, 1);
        const int result = libusb_claim_interface(m_handle, kInterface);
        if (result != 0) {
            QVUSB_LOG(kLogWarning, "libusb_claim_interface failed. (%s)", libusb_error_name(result));
            return false;
        }
        m_claimed = true;
        return true;
    }
    void Close() override {
        if (m_handle == nullptr) return;
        if (m_claimed) libusb_release_interface(m_handle, kInterface);
        libusb_close(m_handle);
        m_handle = nullptr;
        m_claimed = false;
    }
    bool ControlTransfer(const ControlRequest& request, uint8_t* buffer, uint32_t& length,
                         uint32_t timeoutMs) override {
        if (m_handle == nullptr) return false;
        const uint8_t type = static_cast<uint8_t>(
            static_cast<int>(LIBUSB_REQUEST_TYPE_VENDOR) | static_cast<int>(LIBUSB_RECIPIENT_DEVICE) |
            (request.direction == ControlDirection::kDeviceToHost ? static_cast<int>(LIBUSB_ENDPOINT_IN)
                                                                  : static_cast<int>(LIBUSB_ENDPOINT_OUT)));
        const int result =
            libusb_control_transfer(m_handle, type, request.request, request.value, request.index, buffer,
                                    static_cast<uint16_t>(length), timeoutMs);
        if (result < 0) {
            m_lastError[0] = static_cast<uint32_t>(-result);
            length = 0;
            return false;
        }
        length = static_cast<uint32_t>(result);
        return true;
    }
    bool SetTransferSize(Endpoint, uint32_t size) override {
        // libusb splits transfers itself; the size is only kept, rounded up to the packet size.
        m_transferSize = m_outPacket ? (size + m_outPacket - 1) / m_outPacket * m_outPacket : size;
        return m_handle != nullptr;
    }
    bool BulkTransfer(Endpoint endpoint, uint8_t* buffer, uint32_t& length, uint32_t timeoutMs) override {
        const uint8_t address = endpoint == Endpoint::kBulkIn ? m_bulkIn : m_bulkOut;
        if (m_handle == nullptr || address == 0 || endpoint == Endpoint::kControl) return false;
        int transferred = 0;
        const int result = libusb_bulk_transfer(m_handle, address, buffer, static_cast<int>(length),
                                                &transferred, timeoutMs);
        length = static_cast<uint32_t>(transferred);
        if (result != 0) {
            m_lastError[static_cast<int>(endpoint)] = static_cast<uint32_t>(-result);
            return false;
        }
        return true;
    }
    uint32_t LastError(Endpoint endpoint) const override { return m_lastError[static_cast<int>(endpoint)]; }

private:
    libusb_device_handle* m_handle;
    bool m_claimed = false;
    UsbDeviceInfo m_info;
    uint8_t m_bulkIn;
    uint8_t m_bulkOut;
    uint16_t m_outPacket;
    uint32_t m_transferSize = 0;
    uint32_t m_lastError[3] = {};
};

std::wstring ReadString(libusb_device_handle* handle, uint8_t index, uint16_t language) {
    if (index == 0) return {};
    unsigned char buffer[256];
    const int n = libusb_get_string_descriptor(handle, index, language, buffer, sizeof(buffer));
    std::wstring out;
    for (int i = 2; i + 1 < n; i += 2) out.push_back(static_cast<wchar_t>(buffer[i] | (buffer[i + 1] << 8)));
    return out;
}

uint16_t PickLanguage(libusb_device_handle* handle) {
    unsigned char buffer[256];
    const int n = libusb_get_string_descriptor(handle, 0, 0, buffer, sizeof(buffer));
    if (n < 4) return kLanguageEnglish;
    for (int i = 2; i + 1 < n; i += 2)
        if ((buffer[i] | (buffer[i + 1] << 8)) == kLanguageEnglish) return kLanguageEnglish;
    return static_cast<uint16_t>(buffer[2] | (buffer[3] << 8));
}

}  // namespace

std::vector<UsbIdFilter> ParseUsbIds(const std::string& text, std::vector<std::string>* errors) {
    std::vector<UsbIdFilter> filters;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        if (item.empty()) continue;
        UsbIdFilter filter;
        const auto colon = item.find(':');
        uint16_t product = 0;
        const bool ok = ParseHex16(item.substr(0, colon), filter.vendorId) &&
                        (colon == std::string::npos || ParseHex16(item.substr(colon + 1), product));
        if (!ok) {
            if (errors) errors->push_back("QVPLUS_USB_IDS: bad entry '" + item + "' ignored");
            continue;
        }
        if (colon != std::string::npos) filter.productId = product;
        filters.push_back(filter);
    }
    if (filters.empty()) filters.push_back(UsbIdFilter{kFx3VendorId, -1});
    return filters;
}

LibusbBackend::LibusbBackend() {
    const char* ids = std::getenv("QVPLUS_USB_IDS");
    std::vector<std::string> errors;
    m_filters = ParseUsbIds(ids ? ids : "", &errors);
    for (const std::string& error : errors) QVUSB_LOG(kLogError, "%s", error.c_str());
    if (const int result = libusb_init(&m_context); result != 0) {
        QVUSB_LOG(kLogError, "libusb_init failed. (%s)", libusb_error_name(result));
        m_context = nullptr;
    }
}

LibusbBackend::~LibusbBackend() {
    if (m_context) libusb_exit(m_context);
}

std::vector<libusb_device*> LibusbBackend::List() {
    std::vector<libusb_device*> out;
    if (m_context == nullptr) return out;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(m_context, &list);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) != 0) continue;
        for (const UsbIdFilter& filter : m_filters) {
            if (descriptor.idVendor == filter.vendorId &&
                (filter.productId < 0 || descriptor.idProduct == filter.productId)) {
                out.push_back(libusb_ref_device(list[i]));
                break;
            }
        }
    }
    if (list) libusb_free_device_list(list, 1);
    return out;
}

void LibusbBackend::ReleaseList(std::vector<libusb_device*>& devices) {
    for (libusb_device* device : devices) libusb_unref_device(device);
    devices.clear();
}

int LibusbBackend::CountUnits() {
    auto devices = List();
    const int count = static_cast<int>(devices.size());
    ReleaseList(devices);
    return count;
}

std::unique_ptr<UsbDevice> LibusbBackend::Open(int index) {
    auto devices = List();
    if (index < 0 || index >= static_cast<int>(devices.size())) {
        ReleaseList(devices);
        return nullptr;
    }
    libusb_device* device = devices[index];
    libusb_device_handle* handle = nullptr;
    libusb_device_descriptor descriptor{};
    libusb_config_descriptor* config = nullptr;
    const int openResult = libusb_open(device, &handle);
    const bool opened = openResult == 0;
    // Why a unit cannot be opened shows only here: LIBUSB_ERROR_ACCESS is a missing udev rule.
    if (!opened)
        QVUSB_LOG(kLogWarning, "libusb_open of unit %d failed. (%s)", index, libusb_error_name(openResult));
    if (!opened || libusb_get_device_descriptor(device, &descriptor) != 0 ||
        libusb_get_active_config_descriptor(device, &config) != 0 || config->bNumInterfaces == 0 ||
        config->interface[0].num_altsetting == 0) {
        if (config) libusb_free_config_descriptor(config);
        if (handle) libusb_close(handle);
        ReleaseList(devices);
        return nullptr;
    }
    UsbDeviceInfo info;
    info.usbRelease = descriptor.bcdUSB;
    info.vendorId = descriptor.idVendor;
    info.productId = descriptor.idProduct;
    info.deviceClass = descriptor.bDeviceClass;
    info.deviceSubClass = descriptor.bDeviceSubClass;
    info.deviceProtocol = descriptor.bDeviceProtocol;
    info.maxPacketSize0 = descriptor.bcdUSB >= 0x0300
                              ? static_cast<uint16_t>(1u << descriptor.bMaxPacketSize0)
                              : descriptor.bMaxPacketSize0;
    info.deviceRelease = descriptor.bcdDevice;
    info.configurationCount = descriptor.bNumConfigurations;
    const uint16_t language = PickLanguage(handle);
    info.manufacturer = ReadString(handle, descriptor.iManufacturer, language);
    info.product = ReadString(handle, descriptor.iProduct, language);
    info.serialNumber = ReadString(handle, descriptor.iSerialNumber, language);

    // The first bulk-IN and bulk-OUT endpoints of the first interface.
    uint8_t bulkIn = 0, bulkOut = 0;
    uint16_t outPacket = 0;
    const libusb_interface_descriptor& alt = config->interface[0].altsetting[0];
    for (int e = 0; e < alt.bNumEndpoints; ++e) {
        const libusb_endpoint_descriptor& ep = alt.endpoint[e];
        if ((ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) continue;
        if ((ep.bEndpointAddress & LIBUSB_ENDPOINT_IN) && bulkIn == 0) bulkIn = ep.bEndpointAddress;
        if (!(ep.bEndpointAddress & LIBUSB_ENDPOINT_IN) && bulkOut == 0) {
            bulkOut = ep.bEndpointAddress;
            outPacket = ep.wMaxPacketSize;
        }
    }
    libusb_free_config_descriptor(config);
    ReleaseList(devices);
    return std::make_unique<LibusbDevice>(handle, std::move(info), bulkIn, bulkOut, outPacket);
}

bool LibusbBackend::ResetParentPort(int index) {
    auto devices = List();
    bool ok = false;
    if (index >= 0 && index < static_cast<int>(devices.size())) {
        libusb_device_handle* handle = nullptr;
        if (libusb_open(devices[index], &handle) == 0) {
            ok = libusb_reset_device(handle) == 0;
            libusb_close(handle);
        }
    }
    ReleaseList(devices);
    return ok;
}

}  // namespace qvusb
