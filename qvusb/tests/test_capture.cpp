// Acquisitions through the C API against a simulated unit with the counter pattern: every
// record once and in order, the end-of-data call once and last, drain and abort, stop time and
// stop size, the read address wrapping, and the library's own report files.

#include "SimHarness.h"

#include "GoldenFile.h"  // gtest only: the golden comparison shared by every library's tests

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace qvusb::test {
namespace {

namespace fs = std::filesystem;

class qvusbCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseShortWaits();
        LogRecorder::Install();
        CounterSink::Reset(RateOf(0));
    }
    void TearDown() override {
        if (handle) QVPlus_Delete(handle);
        UseDefaultBackend();
    }
    void Open(bool maxSpeed) {
        UseSimulatedUnits({L"AN0001"}, SimSignal::kCounter, maxSpeed);
        handle = CreateHandle(L"AN0001", BitStreamPath().c_str());
        ASSERT_NE(handle, nullptr);
        ASSERT_TRUE(WaitReady(handle));
    }
    void ExpectCompleteStream(uint64_t records) {
        const SinkStats s = CounterSink::Stats();
        EXPECT_EQ(s.mismatches, 0u) << s.firstMismatch;
        EXPECT_EQ(s.records, records);
        EXPECT_EQ(s.endCalls, 1u);
        EXPECT_EQ(s.dataAfterEnd, 0u);
        EXPECT_EQ(s.badElementSize, 0u);
        EXPECT_LE(s.maxBlock, 0x400000u);
    }
    QVPlusHandle handle = nullptr;
};

TEST_F(qvusbCaptureTest, DrainAfterStopDeliversEveryRecordTheUnitCaptured) {
    Open(false);
    QVPlusStartParams params = CounterStartParams(0);
    ASSERT_EQ(QVPlus_Start(handle, &params), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(QVPlus_Stop(handle, QVPLUS_STOP_DRAIN), 1);
    ASSERT_TRUE(WaitIdle(handle));
    const uint64_t captured = UnitWrittenRecords();
    EXPECT_GT(captured, 0u);
    ExpectCompleteStream(captured);
    const QVPlusStatus status = StatusOf(handle);
    EXPECT_EQ(status.bytesAcquired, captured * 16);
    EXPECT_EQ(status.unitBufferFill, 0u);
    EXPECT_EQ(status.errorCode, 0u);
    EXPECT_EQ(UnitLostRecords(), 0u);
}

TEST_F(qvusbCaptureTest, ListingTheUnitsDuringACaptureLeavesTheConnectedUnitAlone) {
    UseSimulatedUnits({L"AN0001", L"AN0002"}, SimSignal::kCounter);
    handle = CreateHandle(L"AN0001", BitStreamPath().c_str());
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(WaitReady(handle));
    QVPlusStartParams params = CounterStartParams(0);
    ASSERT_EQ(QVPlus_Start(handle, &params), 1);
    // The programs' device list reads every unit's serial number while one of them records,
    // and a unit that is not attached is looked for; neither may disturb the recording unit.
    const wchar_t* expected[] = {L"AN0001", L"AN0002"};
    for (uint8_t i = 0; i < 2; ++i) {
        wchar_t id[20] = {};
        uint64_t length = 0;
        EXPECT_EQ(QVPlus_GetDeviceID(i, id, &length), 1) << int(i);
        EXPECT_STREQ(id, expected[i]);
    }
    uint32_t library = 0;
    uint16_t fpga = 0, firmware = 0;
    EXPECT_EQ(QVPlus_Version(L"AN0404", &library, &fpga, &firmware), 0);
    EXPECT_EQ(QVPlus_Version(L"AN0001", &library, &fpga, &firmware), 1);
    EXPECT_EQ(firmware, 0x0105);
    ASSERT_EQ(QVPlus_Stop(handle, QVPLUS_STOP_DRAIN), 1);
    ASSERT_TRUE(WaitIdle(handle));
    EXPECT_EQ(StatusOf(handle).errorCode, 0u);
    ExpectCompleteStream(UnitWrittenRecords());
}

TEST_F(qvusbCaptureTest, AStopRightAfterTheStartStillEndsWithOneEndOfDataCall) {
    // A stop may come before the control thread has started the unit; the caller still
    // waits for the end-of-data call to end its trace.
    Open(false);
    QVPlusStartParams params = CounterStartParams(0);
    for (uint32_t reason : {QVPLUS_STOP_DRAIN, QVPLUS_STOP_ABORT}) {
        CounterSink::Reset(RateOf(0));
        ASSERT_EQ(QVPlus_Start(handle, &params), 1);
        ASSERT_EQ(QVPlus_Stop(handle, reason), 1);
        ASSERT_TRUE(WaitIdle(handle));
        const SinkStats s = CounterSink::Stats();
        EXPECT_EQ(s.endCalls, 1u) << reason;
        EXPECT_EQ(s.mismatches, 0u) << s.firstMismatch;
        EXPECT_EQ(s.dataAfterEnd, 0u);
    }
}

TEST_F(qvusbCaptureTest, AbortEndsAtOnceAndASecondAcquisitionStartsFromRecordZero) {
    Open(false);
    QVPlusStartParams params = CounterStartParams(0);
    ASSERT_EQ(QVPlus_Start(handle, &params), 1);
    ASSERT_TRUE(WaitFor([&] { return CounterSink::Stats().records > 1000; }));
    ASSERT_EQ(QVPlus_Stop(handle, QVPLUS_STOP_ABORT), 1);
    ASSERT_TRUE(WaitIdle(handle));
    const SinkStats first = CounterSink::Stats();
    EXPECT_EQ(first.mismatches, 0u) << first.firstMismatch;
    EXPECT_EQ(first.endCalls, 1u);

    // The unit's memory still holds the end of the first acquisition; none of it may leak
    // into the second one.
    CounterSink::Reset(RateOf(0));
    ASSERT_EQ(QVPlus_Start(handle, &params), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(QVPlus_Stop(handle, QVPLUS_STOP_DRAIN), 1);
    ASSERT_TRUE(WaitIdle(handle));
    ExpectCompleteStream(UnitWrittenRecords());
}

TEST_F(qvusbCaptureTest, StopTimeDrainsAfterOneSecond) {
    Open(false);
    QVPlusStartParams params = CounterStartParams(0);
    params.stopTimeMs = 1000;
    ASSERT_EQ(QVPlus_Start(handle, &params), 1);
    ASSERT_TRUE(WaitIdle(handle));
    const QVPlusStatus status = StatusOf(handle);
    EXPECT_GE(status.elapsedMs, 1000u);
    EXPECT_EQ(status.errorCode, 0u);
    ExpectCompleteStream(UnitWrittenRecords());
    // The unit ran for at least the stop time: the last record is about one second in.
    EXPECT_GE(CounterSink::Stats().lastTimeStamp, 95'000'000u);
}

// The simulated trigger inputs: TRG1 rises 0.5 s after the start command and falls at 1.0 s,
// TRG2 rises at 0.25 s and falls at 0.75 s. A stop trigger ends the capture on the unit; the
// acquisition then ends by itself, soon after the edge, with every record captured before it.
TEST_F(qvusbCaptureTest, StopTriggerEndsTheAcquisitionWithEveryRecordUpToTheEdge) {
    struct Case {
        const char* name;
        uint8_t flags;
        uint8_t ch1Start, ch1Stop, ch2Start, ch2Stop, stopCondition;
        uint32_t edgeMs;          // the stop edge, after the start command
        uint64_t records;         // 102,400 records/s from the start (trigger) to the stop edge
        uint64_t startTicks = 0;  // the first record's time stamp: the start trigger's time
    };
    const Case cases[] = {
        {"TRG1 rising", 0x41, 0, 1, 0, 0, 0, 500, 51'200},
        {"TRG1 falling", 0x41, 0, 0, 0, 0, 0, 1000, 102'400},
        {"TRG2 rising", 0x82, 0, 0, 0, 1, 0, 250, 25'600},
        {"TRG2 falling", 0x82, 0, 0, 0, 0, 0, 750, 76'800},
        {"TRG1 or TRG2 rising", 0xC3, 0, 1, 0, 1, 0, 250, 25'600},
        {"TRG1 and TRG2 rising", 0xC3, 0, 1, 0, 1, 1, 500, 51'200},
        {"start TRG2 rising, stop TRG1 rising", 0x63, 0, 1, 1, 0, 0, 500, 25'600, 25'000'000},
    };
    Open(false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CounterSink::Reset(RateOf(0), c.startTicks);
        QVPlusStartParams params = CounterStartParams(0);
        params.triggerFlags = c.flags;
        params.ch1StartSlope = c.ch1Start;
        params.ch1StopSlope = c.ch1Stop;
        params.ch2StartSlope = c.ch2Start;
        params.ch2StopSlope = c.ch2Stop;
        params.stopCondition = c.stopCondition;
        ASSERT_EQ(QVPlus_Start(handle, &params), 1);
        ASSERT_TRUE(WaitIdle(handle));  // no stop request: the unit's trigger ended it
        ExpectCompleteStream(c.records);
        const QVPlusStatus status = StatusOf(handle);
        EXPECT_EQ(status.errorCode, 0u);
        EXPECT_EQ(status.bytesAcquired, c.records * 16);
        EXPECT_GE(status.elapsedMs, c.edgeMs);
        EXPECT_LT(status.elapsedMs, c.edgeMs + 1000);
        EXPECT_TRUE(LogRecorder::Contains("The unit's stop trigger ended the acquisition."));
        LogRecorder::Clear();
    }
}

TEST_F(qvusbCaptureTest, StopSizeEndsAfterExactlyThatManyBytes) {
    Open(true);
    QVPlusStartParams params = CounterStartParams(0);
    params.stopSize = 3 * 1024 * 1024 + 4096;
    ASSERT_EQ(QVPlus_Start(handle, &params), 1);
    ASSERT_TRUE(WaitIdle(handle));
    EXPECT_EQ(StatusOf(handle).bytesAcquired, static_cast<uint64_t>(params.stopSize));
    ExpectCompleteStream(params.stopSize / 16);
}

TEST_F(qvusbCaptureTest, ReadAddressWrapsAtTheEndOfTheUnitMemory) {
    Open(true);
    QVPlusStartParams params = CounterStartParams(0);
    params.stopSize = 0x10000000LL + 8 * 1024 * 1024;  // past the end of the 256 MiB memory
    ASSERT_EQ(QVPlus_Start(handle, &params), 1);
    ASSERT_TRUE(WaitIdle(handle));
    EXPECT_EQ(StatusOf(handle).errorCode, 0u);
    ExpectCompleteStream(params.stopSize / 16);
}

struct DatFile {
    std::string name;
    uint64_t size = 0;
    uint8_t header[512] = {};
};

std::vector<DatFile> ListDat(const std::string& folder) {
    std::vector<DatFile> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        DatFile f;
        f.name = entry.path().filename().string();
        f.size = entry.file_size();
        std::ifstream(entry.path(), std::ios::binary).read(reinterpret_cast<char*>(f.header), 512);
        files.push_back(f);
    }
    std::sort(files.begin(), files.end(), [](const DatFile& a, const DatFile& b) { return a.name < b.name; });
    return files;
}

template <typename T>
T Field(const DatFile& f, size_t offset) {
    T v{};
    std::memcpy(&v, f.header + offset, sizeof(T));
    return v;
}

TEST_F(qvusbCaptureTest, LibrarySplitsItsReportFilesAndEveryHeaderCarriesTheExactLength) {
    Open(true);
    const std::string folder = FreshFolder("split");
    QVPlusStartParams params = CounterStartParams(0);
    params.outputFolder = folder.c_str();  // no trailing separator: the library adds one
    params.filePrefix = nullptr;           // "AS"
    params.splitSize = 1024 * 1024 + 300;  // rounded down to 1 MiB
    params.stopSize = 2 * 1024 * 1024 + 512 * 1024;
    ASSERT_EQ(QVPlus_Start(handle, &params), 1);
    ASSERT_TRUE(WaitIdle(handle));
    const QVPlusStatus status = StatusOf(handle);
    EXPECT_EQ(status.errorCode, 0u);
    EXPECT_EQ(status.fileNumber, 3u);
    ExpectCompleteStream(params.stopSize / 16);

    const auto files = ListDat(folder);
    ASSERT_EQ(files.size(), 3u);
    const uint64_t lengths[3] = {1024 * 1024, 1024 * 1024, 512 * 1024};
    const char* names[3] = {"AS00000000.DAT", "AS00000001.DAT", "AS00000002.DAT"};
    std::vector<uint8_t> all;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(files[i].name, names[i]);
        EXPECT_EQ(files[i].size, 512 + lengths[i]);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(files[i].header), 16), "QMRS-QV-DATA.   ");
        EXPECT_EQ(Field<uint64_t>(files[i], 16), lengths[i]);
        EXPECT_EQ(Field<uint32_t>(files[i], 24), 1u);
        EXPECT_EQ(Field<uint32_t>(files[i], 28), 1024u);
        EXPECT_EQ(Field<uint32_t>(files[i], 32), 6u);
        EXPECT_EQ(Field<uint32_t>(files[i], 36), 2u);
        EXPECT_EQ(Field<uint32_t>(files[i], 40), 8u);
        EXPECT_EQ(Field<uint32_t>(files[i], 48), static_cast<uint32_t>(status.startSeconds) & 0xFFFFFFFFu);
        EXPECT_EQ(Field<uint32_t>(files[i], 52), 0u);
        std::ifstream in(fs::path(folder) / names[i], std::ios::binary);
        in.seekg(512);
        std::vector<uint8_t> data(lengths[i]);
        in.read(reinterpret_cast<char*>(data.data()), data.size());
        all.insert(all.end(), data.begin(), data.end());
    }
    // The files hold exactly the records the callback saw.
    CounterSink::Reset(RateOf(0));
    CounterSink::OnData(all.data(), 1, static_cast<uint32_t>(all.size()), 0, nullptr);
    EXPECT_EQ(CounterSink::Stats().mismatches, 0u) << CounterSink::Stats().firstMismatch;
    EXPECT_EQ(CounterSink::Stats().records, all.size() / 16);
    fs::remove_all(folder);
}

// The whole report data file the library writes for 128 counter-pattern records, against a
// golden copy (golden/, see QVxCore/tests/support/GoldenFile.h). The start time is the clock's,
// so its field (the low 32 bits of the seconds at byte 48) is checked against the status and
// then zeroed, as the golden has it.
TEST_F(qvusbCaptureTest, LibraryReportFileMatchesItsGoldenCopy) {
    Open(true);
    const std::string folder = FreshFolder("golden");
    QVPlusStartParams params = CounterStartParams(0);
    params.outputFolder = folder.c_str();
    params.filePrefix = nullptr;  // "AS"
    params.splitSize = 1024 * 1024;
    params.stopSize = 128 * 16;
    ASSERT_EQ(QVPlus_Start(handle, &params), 1);
    ASSERT_TRUE(WaitIdle(handle));
    const QVPlusStatus status = StatusOf(handle);
    ASSERT_EQ(status.errorCode, 0u);
    std::ifstream in(fs::path(folder) / "AS00000000.DAT", std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_GE(bytes.size(), 52u);
    uint32_t startSeconds = 0;
    std::memcpy(&startSeconds, bytes.data() + 48, 4);
    EXPECT_EQ(startSeconds, static_cast<uint32_t>(status.startSeconds));
    std::memset(bytes.data() + 48, 0, 4);
    qvx::test::ExpectMatchesGolden(QVUSB_GOLDEN_DIR, "library-report.DAT", bytes);
    fs::remove_all(folder);
}

TEST_F(qvusbCaptureTest, SplitSizesBelow512BecomeOneBlockOf512Bytes) {
    Open(true);
    for (int64_t split : {0LL, 100LL, 1000LL}) {
        const std::string folder = FreshFolder("small" + std::to_string(split));
        CounterSink::Reset(RateOf(0));
        QVPlusStartParams params = CounterStartParams(0);
        params.outputFolder = folder.c_str();
        params.filePrefix = "XY";
        params.splitSize = split;
        params.stopSize = 2048;
        ASSERT_EQ(QVPlus_Start(handle, &params), 1);
        ASSERT_TRUE(WaitIdle(handle));
        const auto files = ListDat(folder);
        ASSERT_EQ(files.size(), 4u) << split;
        for (const auto& f : files) {
            EXPECT_EQ(f.size, 1024u);
            EXPECT_EQ(Field<uint64_t>(f, 16), 512u);
        }
        EXPECT_EQ(files[3].name, "XY00000003.DAT");
        ExpectCompleteStream(128);
        fs::remove_all(folder);
    }
}

TEST_F(qvusbCaptureTest, WithoutOutputFolderNoFileIsWrittenAndTheCallbackGetsEverything) {
    Open(true);
    const std::string folder = FreshFolder("none");
    QVPlusStartParams params = CounterStartParams(0);
    params.outputFolder = nullptr;
    params.filePrefix = folder.c_str();  // would name files if any were written
    params.stopSize = 1024 * 1024;
    ASSERT_EQ(QVPlus_Start(handle, &params), 1);
    ASSERT_TRUE(WaitIdle(handle));
    EXPECT_EQ(StatusOf(handle).fileNumber, 0u);
    EXPECT_FALSE(fs::exists(folder + "00000000.DAT"));
    ExpectCompleteStream(65536);
}

}  // namespace
}  // namespace qvusb::test
