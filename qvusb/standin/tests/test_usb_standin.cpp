// The stand-in libusb on its own: the simulated units as USB devices (descriptors, strings, the
// vendor requests and bulk transfers reaching the unit), the host faults, an unplugged unit, and
// the report of what a session or the process left behind.

#include "qvusb/qvusb_lib/Fx3Device.h"
#include "qvusb/qvusb_lib/SimUnit.h"
#include "qvusb/standin/StandinTestHooks.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

constexpr uint8_t kVendorOut = 0x40;  // host to device, vendor request, recipient device
constexpr uint8_t kVendorIn = 0xC0;   // device to host, vendor request, recipient device

class UsbStandinTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QVPLUS_STANDIN_UNITS", "AN0001,AN0002", 1);
        ::setenv("QVPLUS_SIM_SIGNAL", "counter", 1);
        ::setenv("QVPLUS_SIM_SPEED", "", 1);
        ::setenv("QVPLUS_SIM_FAULTS", "", 1);
        ::unsetenv("QVPLUS_STANDIN_REPORT");
        problemsBefore = qvplus_standin_problem_count();
    }
    void TearDown() override { End(); }

    void End() {
        if (list) libusb_free_device_list(list, 1);
        if (context) libusb_exit(context);
        list = nullptr;
        context = nullptr;
    }

    // Starts a session and lists its devices.
    ssize_t Start() {
        EXPECT_EQ(libusb_init(&context), LIBUSB_SUCCESS);
        return libusb_get_device_list(context, &list);
    }
    libusb_device_handle* OpenClaimed(int index) {
        libusb_device_handle* handle = nullptr;
        EXPECT_EQ(libusb_open(list[index], &handle), LIBUSB_SUCCESS);
        EXPECT_EQ(libusb_claim_interface(handle, 0), LIBUSB_SUCCESS);
        return handle;
    }
    static void Close(libusb_device_handle* handle) {
        EXPECT_EQ(libusb_release_interface(handle, 0), LIBUSB_SUCCESS);
        libusb_close(handle);
    }
    // One command header of the unit's bulk protocol, optionally followed by data in the same
    // transfer; the result of libusb_bulk_transfer.
    static int SendCommand(libusb_device_handle* handle, uint16_t magic, uint16_t command, uint32_t length,
                           uint32_t address, const std::vector<uint8_t>& data = {}) {
        std::vector<uint8_t> bytes(qvusb::kCommandHeaderSize);
        const uint32_t words[3] = {static_cast<uint32_t>(magic | (command << 16)), length, address};
        std::memcpy(bytes.data(), words, sizeof(words));  // little-endian host
        bytes.insert(bytes.end(), data.begin(), data.end());
        int sent = 0;
        return libusb_bulk_transfer(handle, 0x01, bytes.data(), static_cast<int>(bytes.size()), &sent, 1000);
    }
    static int ReadStatus(libusb_device_handle* handle, uint8_t (&reply)[12], int& received) {
        EXPECT_EQ(SendCommand(handle, qvusb::kMagicRead, qvusb::kCmdStatus, 12, 0), LIBUSB_SUCCESS);
        return libusb_bulk_transfer(handle, 0x81, reply, sizeof(reply), &received, 1000);
    }
    size_t NewProblems() const { return qvplus_standin_problem_count() - problemsBefore; }

    libusb_context* context = nullptr;
    libusb_device** list = nullptr;
    size_t problemsBefore = 0;
};

std::string Utf16Text(const unsigned char* descriptor, int length) {
    std::string out;
    for (int i = 2; i + 1 < length; i += 2) out.push_back(static_cast<char>(descriptor[i]));
    return out;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(UsbStandinTest, ListsEachUnitWithItsDescriptorsEndpointsAndSerialNumber) {
    ASSERT_EQ(Start(), 2);
    const char* serials[] = {"AN0001", "AN0002"};
    for (int i = 0; i < 2; ++i) {
        libusb_device_descriptor device{};
        ASSERT_EQ(libusb_get_device_descriptor(list[i], &device), LIBUSB_SUCCESS);
        EXPECT_EQ(device.idVendor, 0x04B4);
        EXPECT_EQ(device.idProduct, 0x00F1);
        EXPECT_EQ(device.bcdUSB, 0x0320);
        EXPECT_EQ(device.bMaxPacketSize0, 9);  // 2^9 = 512 bytes
        EXPECT_EQ(device.bcdDevice, 0x0105);
        EXPECT_EQ(device.bNumConfigurations, 1);

        libusb_config_descriptor* config = nullptr;
        ASSERT_EQ(libusb_get_active_config_descriptor(list[i], &config), LIBUSB_SUCCESS);
        ASSERT_EQ(config->bNumInterfaces, 1);
        ASSERT_EQ(config->interface[0].num_altsetting, 1);
        const libusb_interface_descriptor& alt = config->interface[0].altsetting[0];
        ASSERT_EQ(alt.bNumEndpoints, 2);
        for (int e = 0; e < 2; ++e) {
            EXPECT_EQ(alt.endpoint[e].bmAttributes & LIBUSB_TRANSFER_TYPE_MASK, LIBUSB_TRANSFER_TYPE_BULK);
            EXPECT_EQ(alt.endpoint[e].wMaxPacketSize, 1024);
        }
        EXPECT_EQ(alt.endpoint[0].bEndpointAddress, 0x01);
        EXPECT_EQ(alt.endpoint[1].bEndpointAddress, 0x81);
        libusb_free_config_descriptor(config);

        libusb_device_handle* handle = nullptr;
        ASSERT_EQ(libusb_open(list[i], &handle), LIBUSB_SUCCESS);
        unsigned char text[256];
        ASSERT_EQ(libusb_get_string_descriptor(handle, 0, 0, text, sizeof(text)), 4);
        EXPECT_EQ(text[2] | (text[3] << 8), 0x0409);
        const int n = libusb_get_string_descriptor(handle, device.iSerialNumber, 0x0409, text, sizeof(text));
        EXPECT_EQ(Utf16Text(text, n), serials[i]);
        EXPECT_EQ(libusb_get_string_descriptor(handle, 9, 0x0409, text, sizeof(text)), LIBUSB_ERROR_PIPE);
        libusb_close(handle);
    }
    End();
    EXPECT_EQ(NewProblems(), 0u);
}

TEST_F(UsbStandinTest, VendorRequestsAndBulkTransfersReachTheSimulatedUnit) {
    ASSERT_EQ(Start(), 2);
    libusb_device_handle* handle = OpenClaimed(0);
    uint8_t request[16] = {8};  // announce an 8-byte bit-stream
    EXPECT_EQ(
        libusb_control_transfer(handle, kVendorOut, qvusb::kReqBitStreamAnnounce, 0, 1, request, 16, 1000),
        16);
    uint8_t bitStream[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    int sent = 0;
    EXPECT_EQ(libusb_bulk_transfer(handle, 0x01, bitStream, 8, &sent, 1000), LIBUSB_SUCCESS);
    EXPECT_EQ(sent, 8);
    uint8_t result[16] = {};
    EXPECT_EQ(libusb_control_transfer(handle, kVendorIn, qvusb::kReqBitStreamResult, 0, 1, result, 16, 1000),
              16);
    EXPECT_EQ(result[0], 1);  // the FPGA took it

    uint8_t reply[12] = {};
    int received = 0;
    ASSERT_EQ(ReadStatus(handle, reply, received), LIBUSB_SUCCESS);
    EXPECT_EQ(received, 12);
    EXPECT_NE(reply[4] & qvusb::kSimStatusConfigured, 0);

    // A request the unit does not know stalls; an endpoint it does not have is a use problem.
    EXPECT_EQ(libusb_control_transfer(handle, kVendorIn, 0x42, 0, 1, result, 16, 1000), LIBUSB_ERROR_PIPE);
    EXPECT_EQ(libusb_bulk_transfer(handle, 0x82, reply, 12, &received, 1000), LIBUSB_ERROR_NOT_FOUND);
    EXPECT_EQ(NewProblems(), 1u);
    Close(handle);
}

TEST_F(UsbStandinTest, HostFaultsAndAnUnpluggedUnit) {
    ::setenv("QVPLUS_SIM_FAULTS", "open-access", 1);
    ASSERT_EQ(Start(), 2);
    libusb_device_handle* handle = nullptr;
    EXPECT_EQ(libusb_open(list[0], &handle), LIBUSB_ERROR_ACCESS);
    End();

    ::setenv("QVPLUS_SIM_FAULTS", "claim-busy", 1);
    ASSERT_EQ(Start(), 2);
    ASSERT_EQ(libusb_open(list[0], &handle), LIBUSB_SUCCESS);
    EXPECT_EQ(libusb_claim_interface(handle, 0), LIBUSB_ERROR_BUSY);
    libusb_close(handle);
    End();

    // One interface, one holder: a second handle on the same unit finds it busy.
    ::setenv("QVPLUS_SIM_FAULTS", "bulk-timeout,bulk-pipe,unplug@0.05", 1);
    ASSERT_EQ(Start(), 2);
    handle = OpenClaimed(0);
    libusb_device_handle* second = nullptr;
    ASSERT_EQ(libusb_open(list[0], &second), LIBUSB_SUCCESS);
    EXPECT_EQ(libusb_claim_interface(second, 0), LIBUSB_ERROR_BUSY);
    libusb_close(second);

    // The bulk faults wait for an acquisition start (run bit of the control area), then fail
    // one bulk-IN transfer each.
    uint8_t reply[12] = {};
    int received = -1;
    ASSERT_EQ(ReadStatus(handle, reply, received), LIBUSB_SUCCESS);
    EXPECT_EQ(SendCommand(handle, qvusb::kMagicWrite, qvusb::kCmdControl, 4, 0, {1, 0, 0, 0}),
              LIBUSB_SUCCESS);
    EXPECT_EQ(ReadStatus(handle, reply, received), LIBUSB_ERROR_TIMEOUT);
    EXPECT_EQ(received, 0);
    EXPECT_EQ(ReadStatus(handle, reply, received), LIBUSB_ERROR_PIPE);
    EXPECT_EQ(ReadStatus(handle, reply, received), LIBUSB_SUCCESS);
    EXPECT_EQ(received, 12);

    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    EXPECT_EQ(SendCommand(handle, qvusb::kMagicRead, qvusb::kCmdStatus, 12, 0), LIBUSB_ERROR_NO_DEVICE);
    libusb_device** after = nullptr;
    EXPECT_EQ(libusb_get_device_list(context, &after), 1);  // the unplugged unit left the list
    libusb_free_device_list(after, 1);
    EXPECT_EQ(libusb_open(list[0], &second), LIBUSB_ERROR_NO_DEVICE);
    EXPECT_EQ(libusb_release_interface(handle, 0), LIBUSB_ERROR_NO_DEVICE);
    libusb_close(handle);
    EXPECT_EQ(NewProblems(), 0u);
}

TEST_F(UsbStandinTest, LeftoversAreReportedWhenTheSessionEndsAndWhenTheProcessExits) {
    const auto report =
        std::filesystem::temp_directory_path() / ("usb-standin-report-" + std::to_string(::getpid()));
    std::filesystem::remove(report);
    ::setenv("QVPLUS_STANDIN_REPORT", report.c_str(), 1);

    ASSERT_EQ(Start(), 2);
    libusb_ref_device(list[0]);
    OpenClaimed(0);  // neither released nor closed
    libusb_exit(context);
    context = nullptr;
    list = nullptr;  // its memory went with the session
    EXPECT_EQ(NewProblems(), 5u);
    const std::string text = ReadFile(report);
    EXPECT_NE(text.find("handle of AN0001 not closed"), std::string::npos) << text;
    EXPECT_NE(text.find("interface 0 of AN0001 not released"), std::string::npos) << text;
    EXPECT_NE(text.find("2 reference(s) to device AN0001 not released"), std::string::npos) << text;
    EXPECT_NE(text.find("1 reference(s) to device AN0002 not released"), std::string::npos) << text;
    EXPECT_NE(text.find("1 device list(s) not freed"), std::string::npos) << text;

    std::filesystem::remove(report);
    const pid_t child = ::fork();
    if (child == 0) {
        libusb_context* leaked = nullptr;
        libusb_init(&leaked);
        std::exit(0);  // the session is never ended
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_NE(ReadFile(report).find("libusb session not ended"), std::string::npos);
    std::filesystem::remove(report);
    ::unsetenv("QVPLUS_STANDIN_REPORT");
}

}  // namespace
