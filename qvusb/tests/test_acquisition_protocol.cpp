// The acquisition as seen on the wire, with a scripted unit on the recording backend: the
// control block built from the start record, block sizes and read addresses while draining,
// and the stop command.

#include "RecordingBackend.h"
#include "SimHarness.h"

#include "qvusb/qvusb_lib/Fx3Device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace qvusb::test {
namespace {

std::mutex s_blockMutex;
std::vector<uint32_t> s_blocks;
int s_ends = 0;

void RecordBlock(uint8_t*, uint32_t, uint32_t count, uint32_t endFlag, QVPlusStatus*) {
    std::lock_guard lock(s_blockMutex);
    if (endFlag)
        ++s_ends;
    else
        s_blocks.push_back(count);
}

std::vector<uint32_t> Blocks() {
    std::lock_guard lock(s_blockMutex);
    return s_blocks;
}

struct Command {
    uint16_t magic, command;
    uint32_t length, address;
    std::vector<uint8_t> data;
};

// The commands on bulk-OUT, with inline data for writes.
std::vector<Command> Commands(RecordingBackend& backend) {
    std::lock_guard lock(backend.Mutex());
    std::vector<Command> out;
    for (const auto& t : backend.transfers) {
        if (t.endpoint != Endpoint::kBulkOut || t.bytes.size() < 12) continue;
        Command c{};
        std::memcpy(&c.magic, t.bytes.data(), 2);
        std::memcpy(&c.command, t.bytes.data() + 2, 2);
        std::memcpy(&c.length, t.bytes.data() + 4, 4);
        std::memcpy(&c.address, t.bytes.data() + 8, 4);
        if (c.magic != kMagicRead && c.magic != kMagicWrite) continue;
        c.data.assign(t.bytes.begin() + 12, t.bytes.end());
        out.push_back(c);
    }
    return out;
}

TEST(qvusbAcquisitionProtocol, ControlBlockBlockSizesAndDrainOnTheWire) {
    UseShortWaits();
    auto backend = std::make_shared<RecordingBackend>(std::vector<FakeUnit>{{L"AN0001"}});
    std::atomic<uint32_t> writePointer{0};
    backend->controlIn = [](uint8_t* b) { b[0] = 1; };  // the FPGA accepts the bit-stream
    backend->bulkIn = [&](uint8_t* b, uint32_t length) -> uint32_t {
        std::memset(b, 0, length);
        if (length == 12) {
            const uint32_t wp = writePointer.load();
            b[0] = static_cast<uint8_t>(wp & 0xF0);
            b[1] = static_cast<uint8_t>(wp >> 8);
            b[2] = static_cast<uint8_t>(wp >> 16);
            b[3] = static_cast<uint8_t>((wp >> 24) & 0x0F);
            b[4] = 0x01;
        }
        return length;
    };
    SetBackendOverride(backend);
    QVPlusHandle handle = CreateHandle(L"AN0001", BitStreamPath().c_str());
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(WaitReady(handle));

    QVPlusStartParams params{};
    params.kind = 1;
    params.triggerFlags = 0x73;  // CH1 and CH2 used, CH1 start and stop, CH2 start
    params.ch1StartSlope = 1;
    params.ch1StopSlope = 0;
    params.ch2StartSlope = 1;
    params.startCondition = 1;
    params.samplingCode = 2;
    params.threshold1 = 100;
    params.threshold2 = 200;
    params.threshold3 = 300;
    const uint8_t ranges[4] = {0, 6, 14, 20};
    std::memcpy(params.rangeCodes, ranges, 4);
    params.splitSize = 1 << 20;
    params.dataCallback = &RecordBlock;
    ASSERT_EQ(QVPlus_Start(handle, &params), 1);
    ASSERT_TRUE(WaitFor([&] { return StatusOf(handle).elapsedMs > 0; }));
    writePointer = 1200;  // 1,200 bytes captured
    ASSERT_TRUE(WaitFor([] { return !Blocks().empty(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Blocks(), std::vector<uint32_t>{1024});  // the rest waits while the unit captures
    ASSERT_EQ(QVPlus_Stop(handle, QVPLUS_STOP_DRAIN), 1);
    ASSERT_TRUE(WaitIdle(handle));
    EXPECT_EQ(Blocks(), (std::vector<uint32_t>{1024, 176}));  // the remainder is read whole
    EXPECT_EQ(s_ends, 1);
    EXPECT_EQ(StatusOf(handle).bytesAcquired, 1200u);
    QVPlus_Delete(handle);
    SetBackendOverride(nullptr);

    std::vector<Command> writes, reads;
    for (const auto& c : Commands(*backend)) {
        if (c.magic == kMagicWrite && c.command == kCmdControl) writes.push_back(c);
        if (c.magic == kMagicRead && c.command == kCmdSampleMemory) reads.push_back(c);
    }
    ASSERT_GE(writes.size(), 3u);
    EXPECT_EQ(writes[0].data, std::vector<uint8_t>(96, 0));  // control area cleared when ready
    const std::vector<uint8_t> start = {0x9D, 0x37, 0x01, 0, 100, 0, 200, 0, 44, 1, 0, 0, 0, 6, 14, 20};
    EXPECT_EQ(writes[1].data, start);
    EXPECT_EQ(writes[1].address, 0u);
    for (size_t i = 2; i < writes.size(); ++i) EXPECT_EQ(writes[i].data, std::vector<uint8_t>(16, 0));
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0].address, 0u);
    EXPECT_EQ(reads[0].length, 1024u);
    EXPECT_EQ(reads[1].address, 1024u);
    EXPECT_EQ(reads[1].length, 176u);
}

TEST(qvusbAcquisitionProtocol, ChannelThreeSlopeTravelsInByteTwoOnlyWithoutChannelOneAndTwo) {
    UseShortWaits();
    auto backend = std::make_shared<RecordingBackend>(std::vector<FakeUnit>{{L"AN0001"}});
    backend->controlIn = [](uint8_t* b) { b[0] = 1; };
    backend->bulkIn = [](uint8_t* b, uint32_t length) -> uint32_t {
        std::memset(b, 0, length);
        return length;
    };
    SetBackendOverride(backend);
    QVPlusHandle handle = CreateHandle(L"AN0001", BitStreamPath().c_str());
    ASSERT_TRUE(WaitReady(handle));
    QVPlusStartParams params{};
    params.kind = 1;
    params.triggerFlags = 0x04 | 0x08;  // TRG3 clock, TRG4 enabled
    params.ch3Slope = 1;
    params.ch1StartSlope = 1;  // ignored: TRG1/TRG2 are not used
    params.samplingCode = 1;
    ASSERT_EQ(QVPlus_Start(handle, &params), 1);
    ASSERT_TRUE(WaitFor([&] { return StatusOf(handle).elapsedMs > 0; }));
    QVPlus_Stop(handle, QVPLUS_STOP_ABORT);
    ASSERT_TRUE(WaitIdle(handle));
    QVPlus_Delete(handle);
    SetBackendOverride(nullptr);
    std::vector<Command> writes;
    for (const auto& c : Commands(*backend))
        if (c.magic == kMagicWrite && c.command == kCmdControl && c.data.size() == 16) writes.push_back(c);
    ASSERT_GE(writes.size(), 1u);
    EXPECT_EQ(writes[0].data[0], 0x01 | (1 << 1) | (0x0C << 3));
    EXPECT_EQ(writes[0].data[1], 0x00);
    EXPECT_EQ(writes[0].data[2], 0x04);
}

}  // namespace
}  // namespace qvusb::test
