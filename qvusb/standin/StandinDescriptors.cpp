#include "qvusb/standin/StandinDescriptors.h"

#include <bit>
#include <string>

namespace qvusb::standin {

namespace {

constexpr uint8_t kStringManufacturer = 1;
constexpr uint8_t kStringProduct = 2;
constexpr uint8_t kStringSerialNumber = 3;

// One configuration, its only interface, that interface's only alternate setting and its two
// endpoints, in one block so that a single delete frees it.
struct ConfigBlock {
    libusb_config_descriptor config{};
    libusb_interface interface {};
    libusb_interface_descriptor altsetting{};
    libusb_endpoint_descriptor endpoints[2]{};
};

libusb_endpoint_descriptor BulkEndpoint(uint8_t address) {
    libusb_endpoint_descriptor endpoint{};
    endpoint.bLength = LIBUSB_DT_ENDPOINT_SIZE;
    endpoint.bDescriptorType = LIBUSB_DT_ENDPOINT;
    endpoint.bEndpointAddress = address;
    endpoint.bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
    endpoint.wMaxPacketSize = kBulkPacketSize;
    return endpoint;
}

const std::wstring* StringOf(const UsbDeviceInfo& info, uint8_t index) {
    switch (index) {
        case kStringManufacturer:
            return &info.manufacturer;
        case kStringProduct:
            return &info.product;
        case kStringSerialNumber:
            return &info.serialNumber;
        default:
            return nullptr;
    }
}

}  // namespace

libusb_device_descriptor MakeDeviceDescriptor(const UsbDeviceInfo& info) {
    libusb_device_descriptor d{};
    d.bLength = LIBUSB_DT_DEVICE_SIZE;
    d.bDescriptorType = LIBUSB_DT_DEVICE;
    d.bcdUSB = info.usbRelease;
    d.bDeviceClass = info.deviceClass;
    d.bDeviceSubClass = info.deviceSubClass;
    d.bDeviceProtocol = info.deviceProtocol;
    // USB 3 devices give the control packet size as a power of two.
    d.bMaxPacketSize0 = info.usbRelease >= 0x0300
                            ? static_cast<uint8_t>(std::countr_zero(info.maxPacketSize0))
                            : static_cast<uint8_t>(info.maxPacketSize0);
    d.idVendor = info.vendorId;
    d.idProduct = info.productId;
    d.bcdDevice = info.deviceRelease;
    d.iManufacturer = info.manufacturer.empty() ? 0 : kStringManufacturer;
    d.iProduct = info.product.empty() ? 0 : kStringProduct;
    d.iSerialNumber = info.serialNumber.empty() ? 0 : kStringSerialNumber;
    d.bNumConfigurations = info.configurationCount;
    return d;
}

libusb_config_descriptor* NewConfigDescriptor() {
    auto* block = new ConfigBlock();
    block->endpoints[0] = BulkEndpoint(kBulkOutEndpoint);
    block->endpoints[1] = BulkEndpoint(kBulkInEndpoint);

    libusb_interface_descriptor& alt = block->altsetting;
    alt.bLength = LIBUSB_DT_INTERFACE_SIZE;
    alt.bDescriptorType = LIBUSB_DT_INTERFACE;
    alt.bNumEndpoints = 2;
    alt.bInterfaceClass = LIBUSB_CLASS_VENDOR_SPEC;
    alt.endpoint = block->endpoints;

    block->interface.altsetting = &block->altsetting;
    block->interface.num_altsetting = 1;

    libusb_config_descriptor& config = block->config;
    config.bLength = LIBUSB_DT_CONFIG_SIZE;
    config.bDescriptorType = LIBUSB_DT_CONFIG;
    config.wTotalLength = LIBUSB_DT_CONFIG_SIZE + LIBUSB_DT_INTERFACE_SIZE + 2 * LIBUSB_DT_ENDPOINT_SIZE;
    config.bNumInterfaces = 1;
    config.bConfigurationValue = 1;
    config.bmAttributes = 0x80;  // bus-powered
    config.MaxPower = 112;       // 896 mA in the 8 mA units of SuperSpeed
    config.interface = &block->interface;
    return &block->config;
}

void FreeConfigDescriptor(libusb_config_descriptor* config) {
    // config is the first member of its block.
    delete reinterpret_cast<ConfigBlock*>(config);
}

std::vector<uint8_t> StringDescriptor(const UsbDeviceInfo& info, uint8_t index) {
    if (index == 0)
        return {4, LIBUSB_DT_STRING, static_cast<uint8_t>(kLanguageEnglishUs & 0xFF),
                static_cast<uint8_t>(kLanguageEnglishUs >> 8)};
    const std::wstring* text = StringOf(info, index);
    if (text == nullptr || text->empty()) return {};
    std::vector<uint8_t> out{0, LIBUSB_DT_STRING};
    for (wchar_t c : *text) {
        if (out.size() + 2 > 255) break;
        out.push_back(static_cast<uint8_t>(c & 0xFF));  // UTF-16LE; the units' texts are ASCII
        out.push_back(static_cast<uint8_t>((c >> 8) & 0xFF));
    }
    out[0] = static_cast<uint8_t>(out.size());
    return out;
}

}  // namespace qvusb::standin
