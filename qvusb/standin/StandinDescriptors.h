#pragma once
// The USB descriptors the stand-in libusb shows for a simulated unit, made from the unit's own
// description (SimUnit::Info): a USB 3 device of vendor 0x04B4, one configuration with one
// vendor-specific interface holding bulk-OUT endpoint 0x01 and bulk-IN endpoint 0x81 (1024-byte
// packets), and the manufacturer, product and serial number as string descriptors 1 to 3.

#include "qvusb/qvusb_lib/UsbBackend.h"

#include <libusb.h>

#include <cstdint>
#include <vector>

namespace qvusb::standin {

constexpr uint8_t kBulkOutEndpoint = 0x01;
constexpr uint8_t kBulkInEndpoint = 0x81;
constexpr uint16_t kBulkPacketSize = 1024;  // bytes, SuperSpeed bulk
constexpr uint16_t kLanguageEnglishUs = 0x0409;

libusb_device_descriptor MakeDeviceDescriptor(const UsbDeviceInfo& info);

// A configuration descriptor in one allocation; free it with FreeConfigDescriptor.
libusb_config_descriptor* NewConfigDescriptor();
void FreeConfigDescriptor(libusb_config_descriptor* config);

// The bytes of string descriptor index (0: the language list) as the device sends them, or
// empty when the device has no such string.
std::vector<uint8_t> StringDescriptor(const UsbDeviceInfo& info, uint8_t index);

}  // namespace qvusb::standin
