// The simulated unit through the real protocol path (Fx3Device over SimBackend), with a
// manual clock: write pointer against time, counter records, wrap-around of the sample memory,
// overflow with counted loss, triggers and the external clock, the vendor requests.

#include "SimHarness.h"

#include "qvusb/qvusb_lib/Fx3Device.h"
#include "qvusb/qvusb_lib/SimBackend.h"
#include "qvusb/qvusb_lib/TransferResult.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace qvusb::test {
namespace {

constexpr uint64_t kSecond = 1'000'000'000;

struct Record {
    uint64_t ts;
    uint16_t ch[4];
};

Record At(const std::vector<uint8_t>& b, size_t i) {
    Record r{};
    std::memcpy(&r.ts, b.data() + i * 16, 8);
    r.ts &= 0xFFFFFFFFFFFFull;
    std::memcpy(r.ch, b.data() + i * 16 + 8, 8);
    return r;
}

class qvusbSimUnitTest : public ::testing::Test {
protected:
    void Open(SimSignal signal, bool maxSpeed = false, std::vector<SimFault> faults = {}) {
        SimConfig config;
        config.serials = {L"AN0100"};
        config.signal = signal;
        config.maxSpeed = maxSpeed;
        config.faults = std::move(faults);
        backend = std::make_unique<SimBackend>(config, [this] { return now.load(); });
        unit = Fx3Device::OpenBySerial(*backend, L"AN0100");
        ASSERT_TRUE(unit);
    }
    void StartCapture(uint8_t samplingCode, uint8_t flags = 0, uint8_t b1 = 0, uint8_t b2 = 0) {
        uint8_t block[16] = {};
        block[0] = static_cast<uint8_t>(1 | (samplingCode << 1) | (flags << 3));
        block[1] = b1;
        block[2] = b2;
        ASSERT_EQ(unit->VendorWrite(kCmdControl, 0, block, 16), 16);
    }
    void StopCapture() {
        uint8_t block[16] = {};
        ASSERT_EQ(unit->VendorWrite(kCmdControl, 0, block, 16), 16);
    }
    UnitStatusReply Status() {
        UnitStatusReply reply;
        EXPECT_TRUE(unit->ReadStatus(reply));
        return reply;
    }
    std::vector<uint8_t> Read(uint32_t address, uint32_t length) {
        std::vector<uint8_t> b(length);
        EXPECT_EQ(unit->VendorRead(kCmdSampleMemory, address, b.data(), length), length);
        return b;
    }

    std::atomic<uint64_t> now{1000};
    std::unique_ptr<SimBackend> backend;
    std::unique_ptr<Fx3Device> unit;
};

TEST_F(qvusbSimUnitTest, WritePointerFollowsTimeAndRecordsFollowTheCounterPattern) {
    Open(SimSignal::kCounter);
    StartCapture(0);
    EXPECT_EQ(Status().writePointer, 0u);
    now += kSecond / 4;  // 25,600 records at 102,400 records/s
    EXPECT_EQ(Status().writePointer, 25600u * 16);
    const auto b = Read(0, 4096);
    for (size_t i = 0; i < 256; ++i) {
        const Record r = At(b, i);
        EXPECT_EQ(r.ts, i * 100000000 / 102400);
        EXPECT_EQ(r.ch[0], i);
        EXPECT_EQ(r.ch[2], (7 * i) & 16383);
        EXPECT_EQ(r.ch[3], 16383 - i);
    }
    StopCapture();
    now += kSecond;
    EXPECT_EQ(Status().writePointer, 25600u * 16);  // frozen after the stop command
    EXPECT_EQ(Status().statusWord & kSimStatusCapturing, 0u);
}

TEST_F(qvusbSimUnitTest, ReadAddressWrapsAroundTheSampleMemory) {
    Open(SimSignal::kCounter);
    StartCapture(2);
    now += kSecond * 3 / 2;               // 15.7 M records, below the 16 M the memory holds
    Read((15728640 - 1) * 16, 16);        // the host skips to the newest record
    now += kSecond * 15 / 100;            // the write pointer passes the end of the memory
    const auto b = Read(0x0FFFFFF0, 64);  // crosses 0x10000000 -> 0
    EXPECT_EQ(At(b, 0).ch[0], 0xFFFFFFu & 16383);
    EXPECT_EQ(At(b, 1).ch[0], 0x1000000u & 16383);
    EXPECT_EQ(At(b, 1).ch[1], (0x1000000u >> 14) & 16383);
    EXPECT_EQ(At(b, 3).ch[3], 16383 - ((0x1000000u + 2) & 16383));
    EXPECT_EQ(backend->Units()[0]->LostRecords(), 0u);
}

TEST_F(qvusbSimUnitTest, FullMemoryStopsWritingSetsOverflowAndCountsLostRecords) {
    Open(SimSignal::kCounter);
    StartCapture(2);
    now += 2 * kSecond;  // 20,971,520 records sampled, memory holds 16,777,215
    const UnitStatusReply status = Status();
    EXPECT_NE(status.statusWord & kSimStatusOverflow, 0u);
    const uint64_t lost = 20971520u - 16777215u;
    EXPECT_EQ(backend->Units()[0]->LostRecords(), lost);
    uint32_t lostInReply = 0;
    std::memcpy(&lostInReply, status.raw + 8, 4);
    EXPECT_EQ(lostInReply, lost);
    EXPECT_EQ(status.writePointer, (16777215u * 16) & kUnitAddressMask);
    // Free space by reading the oldest records, then let the unit write again: the next record
    // it stores is the one sampled now, so the gap shows in the record indices.
    Read(0, 4 * 1024 * 1024);
    const auto last = Read((16777215u - 1) * 16, 16);
    EXPECT_EQ(At(last, 0).ch[0], (16777215u - 1) & 16383);
    now += 100000;  // 1,048 more records
    const auto next = Read(16777215u * 16 & kUnitAddressMask, 16);
    const uint64_t index = 20971520u;  // first record sampled after the loss
    EXPECT_EQ(At(next, 0).ch[0], index & 16383);
    EXPECT_EQ(At(next, 0).ch[1], (index >> 14) & 16383);
}

TEST_F(qvusbSimUnitTest, MaxSpeedKeepsTheMemoryAsFullAsItCanBe) {
    Open(SimSignal::kCounter, true);
    StartCapture(0);
    const uint32_t fill = (Status().writePointer - 0) & kUnitAddressMask;
    EXPECT_EQ(fill, kUnitMemorySize - 16);
    const auto b = Read(0, 4 * 1024 * 1024);
    EXPECT_EQ(At(b, 262143).ch[0], 262143u & 16383);
    EXPECT_EQ(((Status().writePointer - 4 * 1024 * 1024) & kUnitAddressMask), kUnitMemorySize - 16);
    EXPECT_EQ(backend->Units()[0]->LostRecords(), 0u);
}

TEST_F(qvusbSimUnitTest, StartTriggerHoldsAndStopTriggerEndsTheCapture) {
    Open(SimSignal::kCounter);
    // TRG1 start on rising (0.5 s), TRG1 stop on falling (1.0 s).
    StartCapture(0, 0x01 | 0x10, 0x01 | 0x02 | 0x04);
    now += kSecond / 4;
    EXPECT_EQ(Status().writePointer, 0u);
    EXPECT_NE(Status().statusWord & kSimStatusWaitingForStart, 0u);
    now += kSecond;
    EXPECT_EQ(Status().writePointer, 51200u * 16);  // exactly 0.5 s of records
    EXPECT_NE(Status().statusWord & kSimStatusStopTriggered, 0u);
    EXPECT_EQ(At(Read(0, 16), 0).ts, 50'000'000u);  // time stamps count from the start command
}

TEST(qvusbSimCapturePlanTest, TriggerCombinationsAndExternalClock) {
    auto plan = [](uint8_t flags, uint8_t b1, uint8_t b2) {
        uint8_t block[16] = {};
        block[0] = static_cast<uint8_t>(1 | (flags << 3));
        block[1] = b1;
        block[2] = b2;
        return SimCapturePlan::FromControlBlock(block);
    };
    // Start on TRG1 rising (0.5 s) OR TRG2 rising (0.25 s): the first; AND: the later.
    EXPECT_EQ(plan(0x03, 0x01 | 0x02 | 0x10 | 0x20, 0x00).beginNs, 250'000'000u);
    EXPECT_EQ(plan(0x03, 0x01 | 0x02 | 0x10 | 0x20, 0x01).beginNs, 500'000'000u);
    // Falling slopes: TRG1 falls at 1.0 s, TRG2 at 0.75 s.
    EXPECT_EQ(plan(0x01, 0x01, 0x00).beginNs, 1'000'000'000u);
    // Stop on TRG2 falling after a start at 0.5 s: 0.75 s.
    EXPECT_EQ(plan(0x03, 0x01 | 0x02 | 0x40, 0x00).endNs, 750'000'000u);
    // TRG4 overrides everything.
    const auto free = plan(0x08 | 0x03, 0x01 | 0x02, 0x00);
    EXPECT_EQ(free.beginNs, 0u);
    EXPECT_EQ(free.endNs, kNever);
    // TRG3 clock, rising: one record per 100 us; falling: 50 us later.
    const auto rising = plan(0x04, 0, 0x04);
    EXPECT_TRUE(rising.timing.externalClock);
    EXPECT_EQ(rising.SampledBy(1'000'000), 10u);
    EXPECT_EQ(rising.timing.TimeStamp(3), 30000u);
    EXPECT_EQ(plan(0x04, 0, 0x00).timing.TimeStamp(0), 5000u);
}

TEST(qvusbSimSignalTest, DemoSignalStaysInside14BitsAndHasPulsesOnCh4) {
    SimRecordTiming timing;
    timing.rate = 1048576;
    std::vector<uint8_t> b(16 * 110000);
    GenerateRecords(SimSignal::kDemo, timing, 0, 110000, b.data());  // ~105 ms
    uint16_t lo[4] = {65535, 65535, 65535, 65535}, hi[4] = {};
    for (size_t i = 0; i < 110000; ++i) {
        const Record r = At(b, i);
        for (int c = 0; c < 4; ++c) {
            lo[c] = std::min(lo[c], r.ch[c]);
            hi[c] = std::max(hi[c], r.ch[c]);
        }
    }
    for (int c = 0; c < 4; ++c) EXPECT_LE(hi[c], 16383);
    EXPECT_GT(hi[0] - lo[0], 10000);            // sine
    EXPECT_EQ(hi[1] - lo[1], 8000);             // square
    EXPECT_GT(hi[3], 8192 + 5000);              // pulse burst
    EXPECT_LT(At(b, 60000).ch[3], 8192 + 300);  // between bursts only noise (57 ms)
}

TEST_F(qvusbSimUnitTest, VendorRequestsConfigureAndResetTheUnit) {
    Open(SimSignal::kCounter);
    const auto path = BitStreamPath();
    UseShortWaits();
    EXPECT_EQ(unit->ConfigureBitStream(path.c_str()), kXferSuccess);
    EXPECT_TRUE(backend->Units()[0]->FpgaConfigured());
    EXPECT_NE(Status().statusWord & kSimStatusConfigured, 0u);
    StartCapture(0);
    EXPECT_TRUE(unit->SendUnitReset());
    EXPECT_FALSE(backend->Units()[0]->FpgaConfigured());
    EXPECT_EQ(Status().statusWord & (kSimStatusCapturing | kSimStatusConfigured), 0u);
    const auto empty = std::filesystem::temp_directory_path() / "qvusb-empty-bits.bin";
    { std::ofstream(empty, std::ios::binary); }
    EXPECT_EQ(unit->ConfigureBitStream(empty.string().c_str()), kXferControlError);  // empty is refused
    std::filesystem::remove(empty);
}

TEST(qvusbSimConfigTest, ParsesUnitsSignalsSpeedAndFaults) {
    std::vector<std::string> errors;
    const auto c = SimConfig::Parse("AN01, XX02,AN01", "counter", "max",
                                    "status-fail@1.5,unplug,bogus,short-read@x", &errors);
    EXPECT_EQ(c.serials, (std::vector<std::wstring>{L"AN01", L"XX02", L"AN01"}));
    EXPECT_EQ(c.signal, SimSignal::kCounter);
    EXPECT_TRUE(c.maxSpeed);
    ASSERT_EQ(c.faults.size(), 2u);
    EXPECT_EQ(c.faults[0].kind, SimFaultKind::kStatusFail);
    EXPECT_DOUBLE_EQ(c.faults[0].atSeconds, 1.5);
    EXPECT_EQ(c.faults[1].kind, SimFaultKind::kUnplug);
    EXPECT_EQ(errors.size(), 2u);  // the unknown fault and the bad time
    errors.clear();
    SimConfig::Parse("", "sine", "fast", "", &errors);
    EXPECT_EQ(errors.size(), 2u);
}

}  // namespace
}  // namespace qvusb::test

namespace qvusb::test {
// Consecutive records carry the division's remainder instead of dividing per record: the
// time stamps stay exactly floor(i x 10^8 / rate) from any first record, at each rate, also
// far into a long capture and across the steps where the quotient carries.
TEST(qvusbSimSignalTest, GeneratedTimeStampsEqualTheTimingOfEachRecord) {
    for (const uint64_t rate : {102'400ull, 1'048'576ull, 10'485'760ull, 3ull, 99'999'999ull}) {
        for (const uint64_t first : {0ull, 1ull, 10'485'759ull, (1ull << 40) + 7}) {
            SimRecordTiming timing;
            timing.rate = rate;
            timing.startNs = 123'450;
            std::vector<uint8_t> b(3000 * kReportRecordSize);
            GenerateRecords(SimSignal::kCounter, timing, first, 3000, b.data());
            int wrong = 0;
            for (uint64_t n = 0; n < 3000; ++n) {
                uint64_t word = 0;
                std::memcpy(&word, b.data() + n * kReportRecordSize, 8);
                wrong += word != (timing.TimeStamp(first + n) & 0xFFFFFFFFFFFFull);
            }
            EXPECT_EQ(wrong, 0) << "rate " << rate << " first " << first;
        }
    }
}

}  // namespace qvusb::test
