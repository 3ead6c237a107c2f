// The vendor protocol over a recording backend: framing, chunking, zero-length packets, the
// zero-wait transfer lock, refused vendor id, open by serial number, status decoding and the
// FPGA download sequence.

#include "RecordingBackend.h"
#include "SimHarness.h"

#include "qvusb/qvusb_lib/Fx3Device.h"
#include "qvusb/qvusb_lib/Timing.h"
#include "qvusb/qvusb_lib/TransferResult.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace qvusb::test {
namespace {

struct Header {
    uint16_t magic, command;
    uint32_t length, address;
};

Header ParseHeader(const std::vector<uint8_t>& b) {
    Header h{};
    std::memcpy(&h.magic, b.data(), 2);
    std::memcpy(&h.command, b.data() + 2, 2);
    std::memcpy(&h.length, b.data() + 4, 4);
    std::memcpy(&h.address, b.data() + 8, 4);
    return h;
}

class qvusbTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseShortWaits();
        LogRecorder::Install();
        LogRecorder::Clear();
        backend = std::make_shared<RecordingBackend>(std::vector<FakeUnit>{{L"AN0001"}});
        device = Fx3Device::OpenBySerial(*backend, L"AN0001");
        ASSERT_TRUE(device);
    }
    std::vector<uint32_t> OutLengths() {
        std::vector<uint32_t> out;
        for (const auto& t : backend->transfers)
            if (t.endpoint == Endpoint::kBulkOut) out.push_back(t.length);
        return out;
    }
    std::shared_ptr<RecordingBackend> backend;
    std::unique_ptr<Fx3Device> device;
};

TEST_F(qvusbTransportTest, LargeReadIsSplitIntoChunksWithOwnHeadersAndAddresses) {
    std::vector<uint8_t> buffer(0x1000000);
    EXPECT_EQ(device->VendorRead(kCmdSampleMemory, 0x0123450, buffer.data(), 0x1000000), 0x1000000);
    ASSERT_EQ(backend->transfers.size(), 4u);
    const Header first = ParseHeader(backend->transfers[0].bytes);
    const Header second = ParseHeader(backend->transfers[2].bytes);
    EXPECT_EQ(first.magic, kMagicRead);
    EXPECT_EQ(first.command, kCmdSampleMemory);
    EXPECT_EQ(first.length, 0x800000u);
    EXPECT_EQ(first.address, 0x0123450u);
    EXPECT_EQ(backend->transfers[1].endpoint, Endpoint::kBulkIn);
    EXPECT_EQ(backend->transfers[1].length, 0x800000u);
    EXPECT_EQ(second.length, 0x800000u);
    EXPECT_EQ(second.address, 0x0123450u + 0x800000u);
    EXPECT_EQ(backend->transfers[3].length, 0x800000u);
}

TEST_F(qvusbTransportTest, WritesUpTo64KiBGoOutWithTheirHeaderAndLargerOnesSeparately) {
    std::vector<uint8_t> data(65540);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);

    EXPECT_EQ(device->VendorWrite(kCmdControl, 16, data.data(), 65536), 65536);
    ASSERT_EQ(OutLengths(), (std::vector<uint32_t>{65548}));
    const auto& one = backend->transfers[0].bytes;
    EXPECT_EQ(ParseHeader(one).magic, kMagicWrite);
    EXPECT_EQ(ParseHeader(one).length, 65536u);
    EXPECT_EQ(ParseHeader(one).address, 16u);
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 65536, one.begin() + 12));

    backend->transfers.clear();
    EXPECT_EQ(device->VendorWrite(kCmdControl, 0, data.data(), 65540), 65540);
    ASSERT_EQ(OutLengths(), (std::vector<uint32_t>{12, 65540}));
    EXPECT_EQ(ParseHeader(backend->transfers[0].bytes).length, 65540u);
    EXPECT_EQ(backend->transfers[1].bytes, data);
}

TEST_F(qvusbTransportTest, ZeroLengthPacketFollowsMultiplesOf1024ThatAreNotMultiplesOf16384) {
    std::vector<uint8_t> data(0x200000);
    EXPECT_EQ(device->VendorWrite(kCmdControl, 0, data.data(), 1012), 1012);  // 12 + 1012 = 1024
    EXPECT_EQ(OutLengths(), (std::vector<uint32_t>{1024, 0}));
    backend->transfers.clear();
    device->VendorWrite(kCmdControl, 0, data.data(), 16372);  // 16384 in one transfer
    EXPECT_EQ(OutLengths(), (std::vector<uint32_t>{16384}));
    backend->transfers.clear();
    device->VendorWrite(kCmdControl, 0, data.data(), 66560);  // 65 x 1024, separate data transfer
    EXPECT_EQ(OutLengths(), (std::vector<uint32_t>{12, 66560, 0}));
    backend->transfers.clear();
    device->VendorWrite(kCmdControl, 0, data.data(), 0x200000);  // multiple of 16384
    EXPECT_EQ(OutLengths(), (std::vector<uint32_t>{12, 0x200000}));
}

TEST_F(qvusbTransportTest, TransferLockHeldElsewhereFailsAtOnceWithMinusFour) {
    auto other = std::make_shared<RecordingBackend>(std::vector<FakeUnit>{{L"AN0002"}});
    auto second = Fx3Device::OpenBySerial(*other, L"AN0002");
    auto entered = std::make_shared<std::promise<void>>();
    std::promise<void> release;
    auto enteredFuture = entered->get_future();
    backend->gateEntered = entered;
    backend->gateRelease = release.get_future().share();

    std::vector<uint8_t> buffer(4096);
    int64_t firstResult = 0;
    std::thread reader([&] { firstResult = device->VendorRead(kCmdSampleMemory, 0, buffer.data(), 4096); });
    enteredFuture.wait();
    uint8_t small[16] = {};
    EXPECT_EQ(second->VendorWrite(kCmdControl, 0, small, 16), kXferLockTimeout);
    EXPECT_EQ(second->VendorRead(kCmdStatus, 0, small, 12), kXferLockTimeout);
    EXPECT_TRUE(other->transfers.empty());
    release.set_value();
    reader.join();
    EXPECT_EQ(firstResult, 4096);
    EXPECT_EQ(second->VendorWrite(kCmdControl, 0, small, 16), 16);  // lock released again
}

TEST_F(qvusbTransportTest, VendorId0x1480IsRefusedWithoutAnyTransfer) {
    auto refused = std::make_shared<RecordingBackend>(std::vector<FakeUnit>{{L"AN0009", 0x1480}});
    auto unit = Fx3Device::OpenBySerial(*refused, L"AN0009");
    ASSERT_TRUE(unit);
    uint8_t buffer[64] = {};
    EXPECT_EQ(unit->VendorWrite(kCmdControl, 0, buffer, 16), kXferError);
    EXPECT_NE(unit->VendorRead(kCmdStatus, 0, buffer, 12), 12);
    EXPECT_TRUE(refused->transfers.empty());
}

TEST_F(qvusbTransportTest, ShortTransfersEndWithTheTotalSoFar) {
    backend->bulkIn = [](uint8_t*, uint32_t length) { return length / 2; };
    std::vector<uint8_t> buffer(0x1000000);
    EXPECT_EQ(device->VendorRead(kCmdSampleMemory, 0, buffer.data(), 0x1000000), 0x400000);
    EXPECT_EQ(backend->transfers.size(), 2u);  // no second chunk after a short one
}

TEST_F(qvusbTransportTest, OpenBySerialFindsTheUnitInEitherEnumerationOrder) {
    for (const auto& units :
         {std::vector<FakeUnit>{{L"AN0001"}, {L"AN0002"}}, std::vector<FakeUnit>{{L"AN0002"}, {L"AN0001"}}}) {
        RecordingBackend two(units);
        auto unit = Fx3Device::OpenBySerial(two, L"AN0002");
        ASSERT_TRUE(unit);
        EXPECT_EQ(unit->Info().serialNumber, L"AN0002");
        EXPECT_EQ(two.opens - two.closes, 1);                   // the other unit was closed again
        EXPECT_FALSE(Fx3Device::OpenBySerial(two, L"an0002"));  // exact, case-sensitive
    }
}

TEST_F(qvusbTransportTest, FailedOpenResetsThePortAndRetriesOnce) {
    RecordingBackend flaky(std::vector<FakeUnit>{{L"AN0001", 0x04B4, 0x0105, 1}, {L"AN0002"}});
    auto unit = Fx3Device::OpenBySerial(flaky, L"AN0001");
    ASSERT_TRUE(unit);
    EXPECT_EQ(flaky.resets, std::vector<int>{0});
    EXPECT_TRUE(LogRecorder::Contains("QVUSB USBReset."));

    RecordingBackend dead(std::vector<FakeUnit>{{L"AN0001", 0x04B4, 0x0105, 5}});
    EXPECT_FALSE(Fx3Device::OpenBySerial(dead, L"AN0001"));
    EXPECT_EQ(dead.resets.size(), 1u);  // one reset, one retry
}

TEST_F(qvusbTransportTest, StatusReplyDecodesWritePointerAndStatusWord) {
    backend->bulkIn = [](uint8_t* b, uint32_t length) {
        const uint8_t reply[12] = {0x3F, 0x22, 0x11, 0xF5, 0x81, 0x02, 0x03, 0x04, 9, 9, 9, 9};
        std::memcpy(b, reply, 12);
        return length;
    };
    UnitStatusReply reply;
    ASSERT_TRUE(device->ReadStatus(reply));
    EXPECT_EQ(reply.writePointer, 0x05112230u);
    EXPECT_EQ(reply.statusWord, 0x04030281u);
    const Header h = ParseHeader(backend->transfers[0].bytes);
    EXPECT_EQ(h.command, kCmdStatus);
    EXPECT_EQ(h.length, 12u);
    EXPECT_EQ(h.address, 0u);
}

TEST_F(qvusbTransportTest, BitStreamDownloadAnnouncesSendsAndAsksForTheResult) {
    const auto path = std::filesystem::temp_directory_path() / "qvusb-transport-bits.bin";
    { std::ofstream(path, std::ios::binary) << std::string(5000, 'x'); }
    backend->controlIn = [](uint8_t* b) { b[0] = 1; };
    EXPECT_EQ(device->ConfigureBitStream(path.string().c_str()), kXferSuccess);
    ASSERT_EQ(backend->controls.size(), 2u);
    EXPECT_EQ(backend->controls[0].request.request, kReqBitStreamAnnounce);
    EXPECT_EQ(backend->controls[0].request.index, 1);
    uint32_t announced = 0;
    std::memcpy(&announced, backend->controls[0].bytes.data(), 4);
    EXPECT_EQ(announced, 5000u);
    EXPECT_EQ(backend->transferSize, 4096u);
    ASSERT_EQ(OutLengths(), (std::vector<uint32_t>{5000}));
    EXPECT_EQ(backend->controls[1].request.request, kReqBitStreamResult);
    EXPECT_EQ(backend->controls[1].request.direction, ControlDirection::kDeviceToHost);

    backend->controlIn = [](uint8_t* b) { b[0] = 0; };
    EXPECT_EQ(device->ConfigureBitStream(path.string().c_str()), kXferControlError);
    EXPECT_TRUE(LogRecorder::Contains("ept XferData(1) failed. (0)"));
    EXPECT_EQ(device->ConfigureBitStream("/nonexistent/Tessel.bin"), kXferEndpointNotFound);
    EXPECT_TRUE(LogRecorder::Contains("File not found."));
    std::filesystem::remove(path);
}

TEST(qvusbTransferResultNames, KnownAndUnknownResults) {
    EXPECT_STREQ(TransferResultName(-4), "QVUSBFX3_LOCK_TIMEOUT");
    EXPECT_STREQ(TransferResultName(-6), "QVUSBFX3_XFER_ERROR");
    EXPECT_STREQ(TransferResultName(7), "UnknownError");
}

}  // namespace
}  // namespace qvusb::test
