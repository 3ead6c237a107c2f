// Whole traces through the simulated unit: device library, collector, writer,
// Broadcast, end-of-trace and saving.

#include "QV+AnalogCore/Presenters/QVxAnalogDataListViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogDisplayTriggerListModel.h"
#include "QV+AnalogCore/tests/analog_view_model_test_support.h"
#include "QV+AnalogCore/tests/demo_trigger_support.h"
#include "QVxCore/ReportData/ReportOverviewBuilder.h"
#include "QVxCore/ReportData/ReportOverviewStore.h"
#include "QVxCore/tests/waveform_test_support.h"
#include "QVxWinCommon/QVxGuiStrings.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;
using qvx::test::AnalogViewModelTest;

namespace {

constexpr std::uint64_t kRecordsPerFile = qvx::kRecordsPerReportFile;

// Bytes 0..511 of a report file.
qvx::ReportHeader ReadHeader(const fs::path& file) {
    qvx::ReportHeader header{};
    std::ifstream in(file, std::ios::binary);
    in.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
    return header;
}

std::uint64_t StopMiB() {
    // Sanitizer runs may ask for a shorter recording; by default it spans two files.
    if (const char* text = std::getenv("QVX_E2E_STOP_MIB")) return std::strtoull(text, nullptr, 10);
    return 520;
}

TEST_F(AnalogViewModelTest, CounterPatternAt10MSpansTwoFilesAndEveryRecordComesBackOnceUnchanged) {
    ::setenv("QVPLUS_SIM_SIGNAL", "counter", 1);
    ::setenv("QVPLUS_SIM_SPEED", "max", 1);
    ConnectSimulatedUnit();
    qvx::AnalogSettings& settings = *viewModel.GetSessionSettings();
    settings.samplingFrequency = 2;
    settings.enableReportFileRotation = false;
    settings.enableStopDataSize = true;  // the unit ends the trace itself after this many bytes
    settings.stopDataSizeMB = static_cast<std::int32_t>(StopMiB());
    viewModel.GetOscilloGraphViewModel()->ResetViewportWidth(1920);
    auto widthKeeper = viewModel.SessionChanged.Connect(
        [&] { viewModel.GetOscilloGraphViewModel()->ResetViewportWidth(1920); });

    ASSERT_TRUE(viewModel.StartTrace());
    ASSERT_TRUE(WaitUntilIdle());
    ASSERT_TRUE(notes.shown.empty()) << notes.shown.front();
    EXPECT_EQ(viewModel.GetLastAbortType(), QVxAbortType::None);
    ASSERT_TRUE(viewModel.WasLastReportOpened());
    EXPECT_TRUE(viewModel.GetOscilloGraphViewModel()->IsStoredData());
    EXPECT_FALSE(viewModel.TimeWentBackwards());
    const std::uint64_t expected = StopMiB() * 1'048'576 / 16;
    EXPECT_EQ(viewModel.GetRecordCount(), expected);
    EXPECT_NE(viewModel.GetStartSeconds(), 0);
    // The figures the tracing-status pane shows: every byte of the trace, a bounded fill.
    const auto unit = viewModel.GetDeviceManagerViewModel()->GetUnitStatus();
    ASSERT_TRUE(unit);
    EXPECT_EQ(unit->bytesAcquired, expected * 16);
    EXPECT_LE(unit->bufferPercent, 100u);
    // The overview written during the trace is there at once: no indexing after it.
    EXPECT_FALSE(viewModel.GetOscilloGraphViewModel()->IsIndexing());
    EXPECT_TRUE(viewModel.GetOscilloGraphViewModel()->GetOverview());

    const fs::path saved = dir.Path() / "saved" / "counter.qvxa";
    fs::create_directories(saved.parent_path());
    ASSERT_TRUE(viewModel.SaveAsSession(saved));

    qvx::AnalogSession reopened;
    int code = -1;
    ASSERT_TRUE(reopened.OpenInternal(saved, nullptr, code));
    ASSERT_EQ(code, qvx::AnalogSession::kOpenedWithReport);
    const auto& reader = reopened.GetReportData();
    ASSERT_TRUE(reader);
    ASSERT_EQ(reader->GetTotalRecordCount(), expected);
    const std::uint64_t files = (expected + kRecordsPerFile - 1) / kRecordsPerFile;
    ASSERT_EQ(reader->GetFiles().size(), files);
    if (expected > kRecordsPerFile) {
        EXPECT_EQ(reader->GetFiles()[0]->GetRecordCount(), kRecordsPerFile);
    }

    qvx::ReportHeader header = qvx::MakeApplicationReportHeader();
    qvx::StoreLE64(header.data() + qvx::kHeaderOffsetStartSeconds,
                   static_cast<std::uint64_t>(viewModel.GetStartSeconds()));
    qvx::StoreLE64(header.data() + qvx::kHeaderOffsetStartNanoseconds,
                   static_cast<std::uint64_t>(viewModel.GetStartNanoseconds()));
    for (std::uint64_t n = 0; n < files; ++n)
        EXPECT_EQ(ReadHeader(saved.parent_path() / "repo" /
                             qvx::test::ReportFileName(static_cast<std::int64_t>(n))),
                  header)
            << n;

    // Save-as copied the overviews written during the trace; they equal ones built afterwards.
    for (std::uint64_t n = 0; n < files; ++n) {
        const fs::path dat =
            saved.parent_path() / "repo" / qvx::test::ReportFileName(static_cast<std::int64_t>(n));
        const auto rebuilt = qvx::ReportOverviewBuilder::BuildFromFile(dat);
        ASSERT_TRUE(rebuilt);
        std::ifstream in(qvx::ReportOverviewStore::SiblingPath(dat), std::ios::binary);
        const std::vector<std::uint8_t> written{std::istreambuf_iterator<char>(in), {}};
        EXPECT_TRUE(written == *rebuilt) << n;
    }

    // Record i of the counter pattern, 10,485,760 records/s.
    std::uint64_t wrong = 0;
    std::uint64_t firstWrong = 0;
    for (std::uint64_t i = 0; i < expected; ++i) {
        const std::uint8_t* r = reader->ReadRecordByIndex(i);
        const bool ok = r && qvx::LoadLE64(r) == i * 100'000'000 / 10'485'760 &&
                        qvx::LoadLE16(r + 8) == i % 16384 && qvx::LoadLE16(r + 10) == (i / 16384) % 16384 &&
                        qvx::LoadLE16(r + 12) == (7 * i) % 16384 &&
                        qvx::LoadLE16(r + 14) == 16383 - i % 16384;
        if (!ok && wrong++ == 0) firstWrong = i;
    }
    EXPECT_EQ(wrong, 0u) << "first wrong record " << firstWrong;
    EXPECT_EQ(reader->ReadRecordByIndex(expected), nullptr);
}

// Number of report data files in `repo` now.
std::size_t CountDatFiles(const fs::path& repo) {
    std::size_t n = 0;
    std::error_code ec;
    for (fs::directory_iterator it(repo, ec), end; !ec && it != end; it.increment(ec))
        if (qvx::IsReportDataFileName(it->path())) ++n;
    return n;
}

TEST_F(AnalogViewModelTest, RotationRunsWhileTheTraceRunsAndKeepsExactlyTheNewestRecords) {
    ::setenv("QVPLUS_SIM_SIGNAL", "counter", 1);
    ::setenv("QVPLUS_SIM_SPEED", "max", 1);
    ConnectSimulatedUnit();
    qvx::AnalogSettings& settings = *viewModel.GetSessionSettings();
    settings.samplingFrequency = 2;
    settings.enableReportFileRotation = true;
    settings.reportFileRotationTimeS = 1;  // 2 files kept at 10 MS/s
    settings.enableStopDataSize = true;
    settings.stopDataSizeMB = 2300;  // 150,732,800 records: files 0 to 4
    viewModel.GetOscilloGraphViewModel()->ResetViewportWidth(1920);
    auto widthKeeper = viewModel.SessionChanged.Connect(
        [&] { viewModel.GetOscilloGraphViewModel()->ResetViewportWidth(1920); });

    ASSERT_TRUE(viewModel.StartTrace());
    const fs::path repo = viewModel.GetSession()->GetReportFolderPath();
    const std::size_t keep = static_cast<std::size_t>(viewModel.GetLogCollector()->GetKeepFileCount());
    ASSERT_EQ(keep, 2u);
    std::size_t mostFiles = 0;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(10);
    while (viewModel.GetTraceState() != QVxAnalogViewModel::kIdle) {
        ASSERT_LT(std::chrono::steady_clock::now(), limit);
        qvx::test::RunPostedActions();
        mostFiles = std::max(mostFiles, CountDatFiles(repo));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    qvx::test::RunPostedActions();
    ASSERT_TRUE(notes.shown.empty()) << notes.shown.front();
    EXPECT_LE(mostFiles, keep + 1);
    EXPECT_EQ(viewModel.GetLogCollector()->GetRemovedFileCount(), 3);

    const std::uint64_t expected = 2300ull * 1'048'576 / 16;
    ASSERT_EQ(viewModel.GetRecordCount(), expected);
    ASSERT_TRUE(viewModel.WasLastReportOpened());
    const auto reader = viewModel.GetSession()->GetReportData();
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->GetTotalRecordCount(), expected);
    EXPECT_EQ(reader->GetFirstFileIndex(), 3);
    EXPECT_TRUE(fs::exists(repo / "00000003.DAT"));
    EXPECT_TRUE(fs::exists(repo / "00000004.DAT"));
    // The overviews of the removed files went with them.
    const fs::path overviews = qvx::ReportOverviewStore::SiblingFolder(repo);
    EXPECT_FALSE(fs::exists(overviews / "00000000.OVW"));
    EXPECT_FALSE(fs::exists(overviews / "00000002.OVW"));
    EXPECT_TRUE(fs::exists(overviews / "00000003.OVW"));

    // The kept files hold records 3 x 33,554,432 to the last one, numbered from the start.
    EXPECT_EQ(reader->ReadRecordByIndex(3 * kRecordsPerFile - 1), nullptr);
    std::uint64_t wrong = 0;
    std::uint64_t firstWrong = 0;
    for (std::uint64_t i = 3 * kRecordsPerFile; i < expected; ++i) {
        const std::uint8_t* r = reader->ReadRecordByIndex(i);
        const bool ok = r && qvx::LoadLE64(r) == i * 100'000'000 / 10'485'760 &&
                        qvx::LoadLE16(r + 8) == i % 16384 && qvx::LoadLE16(r + 14) == 16383 - i % 16384;
        if (!ok && wrong++ == 0) firstWrong = i;
    }
    EXPECT_EQ(wrong, 0u) << "first wrong record " << firstWrong;
}

TEST_F(AnalogViewModelTest, AUnitFaultEndsTheTraceWithItsMessageDisconnectsAndKeepsTheRecords) {
    ::setenv("QVPLUS_SIM_FAULTS", "status-fail@1", 1);
    ConnectSimulatedUnit();
    ASSERT_TRUE(viewModel.StartTrace());
    ASSERT_TRUE(WaitUntilIdle(std::chrono::seconds(60)));

    ASSERT_EQ(notes.shown.size(), 1u);
    EXPECT_EQ(notes.shown[0], QVxLoadGuiString(25054));
    EXPECT_EQ(viewModel.GetLastAbortType(), QVxAbortType::DeviceError);
    EXPECT_EQ(viewModel.GetDeviceManagerViewModel()->GetConnectingDevice(), nullptr);
    EXPECT_FALSE(viewModel.GetDeviceManager()->IsOpened());
    EXPECT_FALSE(viewModel.GetDeviceManagerViewModel()->RefreshUnitStatus());  // no unit to ask
    EXPECT_FALSE(viewModel.WasLastReportOpened());

    const std::uint64_t records = viewModel.GetRecordCount();
    EXPECT_GT(records, 0u);
    const auto reader = qvx::ReportDataReader::Open(viewModel.GetSession()->GetReportFolderPath());
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->GetTotalRecordCount(), records);
    EXPECT_NE(reader->ReadRecordByIndex(records - 1), nullptr);
    // The files carry the trace's start time although the trace ended by an error.
    EXPECT_EQ(reader->GetStartSeconds(), viewModel.GetStartSeconds());
    EXPECT_NE(reader->GetStartSeconds(), 0);
}

TEST_F(AnalogViewModelTest, ALateEndOfTraceNoticeAfterTheEndOrTheShutdownChangesNothing) {
    ConnectSimulatedUnit();
    ASSERT_TRUE(viewModel.StartTrace());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    viewModel.StopTrace();
    ASSERT_TRUE(WaitUntilIdle(std::chrono::seconds(60)));
    ASSERT_TRUE(viewModel.WasLastReportOpened());
    int stateChanges = 0;
    auto c = viewModel.TraceStateChanged.Connect([&] { ++stateChanges; });

    // A second notice of the same end (a disk-space stop posted twice): no message, the
    // opened report and the last abort type stay.
    viewModel.OnTraceEnded(QVxAbortType::LowDiskSpace);
    EXPECT_TRUE(notes.shown.empty());
    EXPECT_EQ(viewModel.GetLastAbortType(), QVxAbortType::None);
    EXPECT_TRUE(viewModel.WasLastReportOpened());
    EXPECT_EQ(stateChanges, 0);

    // After the shutdown the session is gone: a notice still queued must not touch it.
    viewModel.Shutdown();
    viewModel.OnTraceEnded(QVxAbortType::LowDiskSpace);
    viewModel.OnTraceEnded(QVxAbortType::None);
    EXPECT_TRUE(notes.shown.empty());
    EXPECT_EQ(stateChanges, 0);
    c->Disconnect();
}

TEST_F(AnalogViewModelTest, WhileTracingSessionCommandsAndQueriesAreRefusedUntilTheDrainedEnd) {
    ConnectSimulatedUnit();
    int stateChanges = 0;
    auto c = viewModel.TraceStateChanged.Connect([&] { ++stateChanges; });
    ASSERT_TRUE(viewModel.StartTrace());
    EXPECT_EQ(viewModel.GetTraceState(), QVxAnalogViewModel::kTracing);
    EXPECT_EQ(stateChanges, 1);
    const fs::path session = viewModel.GetSession()->GetFolderPath();

    {
        qvx::test::LogCapture log;
        // Each is refused while the trace runs, with an error logged.
        EXPECT_FALSE(viewModel.StartTrace());
        EXPECT_EQ(log.ErrorCount(), 1);
        EXPECT_FALSE(viewModel.NewSession(nullptr));
        EXPECT_EQ(log.ErrorCount(), 2);
        EXPECT_FALSE(viewModel.OpenSession(dir.Path() / "x.qvxa"));
        EXPECT_EQ(log.ErrorCount(), 3);
        EXPECT_FALSE(viewModel.SaveAsSession(dir.Path() / "x.qvxa"));
        EXPECT_EQ(log.ErrorCount(), 4);
        EXPECT_FALSE(fs::exists(dir.Path() / "x.qvxa"));
        EXPECT_EQ(viewModel.GetTraceState(), QVxAnalogViewModel::kTracing);
        EXPECT_EQ(viewModel.GetSession()->GetFolderPath(), session);
    }
    const fs::path query = dir.Path() / "q.json";
    const fs::path result = dir.Path() / "r.json";
    std::ofstream(query) << nlohmann::json{
        {"reportFullPath", (session / "repo").string()},
        {"commandResultFilePath",
         result.string()}}.dump();
    ASSERT_TRUE(viewModel.HandleReportQuery(query));
    EXPECT_EQ(nlohmann::json::parse(std::ifstream(result)), (nlohmann::json{{"isReportOpen", false}}));

    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    viewModel.StopTrace();
    EXPECT_TRUE(viewModel.IsStoppingTrace());
    EXPECT_EQ(stateChanges, 2);
    ASSERT_TRUE(WaitUntilIdle(std::chrono::seconds(60)));
    EXPECT_EQ(stateChanges, 3);
    EXPECT_TRUE(notes.shown.empty());
    EXPECT_EQ(viewModel.GetLastAbortType(), QVxAbortType::None);
    ASSERT_TRUE(viewModel.WasLastReportOpened());
    const auto& reader = viewModel.GetSession()->GetReportData();
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->GetTotalRecordCount(), viewModel.GetRecordCount());
    EXPECT_GT(reader->GetTotalRecordCount(), 0u);
    EXPECT_EQ(reader->GetStartSeconds(), viewModel.GetStartSeconds());
    EXPECT_NE(viewModel.GetDeviceManagerViewModel()->GetConnectedDevice(), nullptr);  // still connected

    ASSERT_TRUE(viewModel.HandleReportQuery(query));
    EXPECT_EQ(nlohmann::json::parse(std::ifstream(result)), (nlohmann::json{{"isReportOpen", true}}));
}

// CH4 of the demo signal: every 100 ms a burst of five pulses 1 ms apart, 50, 100,
// 200, 400 and 800 us wide, 6000 codes above mid-scale. A high-width trigger within
// 300 us takes the first three of every burst.
class DemoTriggerTest : public AnalogViewModelTest {
protected:
    static constexpr std::int64_t kBurstNs = 100'000'000;
    static constexpr std::int64_t kSpacingNs = 1'000'000;
    static constexpr std::int64_t kFirstWidthNs = 50'000;

    void Record(qvx::DisplayTriggerMode mode, std::int32_t milliseconds = 3000) {
        ConnectSimulatedUnit();
        qvx::AnalogSettings& s = *viewModel.GetSessionSettings();
        qvx::test::UseDemoPulseTrigger(s, mode);
        s.enableStopElapsedTime = true;
        s.stopElapsedTimeMS = milliseconds;
        ASSERT_TRUE(viewModel.StartTrace());
        ASSERT_TRUE(WaitUntilIdle(std::chrono::seconds(60)));
        ASSERT_EQ(viewModel.GetLastAbortType(), QVxAbortType::None);
        ASSERT_TRUE(viewModel.WasLastReportOpened());
    }

    // Saves the session as `saved` and opens it again: its "meta" holds `hits`.
    void ExpectSavedHits(const fs::path& saved, const qvx::AnalogDisplayTriggerList& hits) {
        fs::create_directories(saved.parent_path());
        ASSERT_TRUE(viewModel.SaveAsSession(saved));
        qvx::AnalogSession reopened;
        int code = -1;
        ASSERT_TRUE(reopened.OpenInternal(saved, nullptr, code));
        EXPECT_EQ(reopened.GetDisplayTriggerList(), hits);
    }

    // Pulses k = 0..2 of every burst whose falling edge lies before the last
    // record; the very first pulse starts with the recording (no rising edge).
    std::size_t ExpectedHits() const {
        const auto& reader = viewModel.GetSession()->GetReportData();
        const std::int64_t last = static_cast<std::int64_t>(reader->GetLastTime()) * 10;
        std::size_t hits = 0;
        for (std::int64_t burst = 0; burst * kBurstNs < last; ++burst)
            for (int k = 0; k < 3; ++k) {
                const std::int64_t fall = burst * kBurstNs + k * kSpacingNs + (kFirstWidthNs << k);
                if (fall < last && !(burst == 0 && k == 0)) ++hits;
            }
        return hits;
    }
};

TEST_F(DemoTriggerTest, RepeatModeFindsEveryPulseWithinTheLimitAndSavesThemInMeta) {
    Record(qvx::QVxAnalogDisplayTriggerAnalyzer::kModeRepeat);
    const auto hits = viewModel.GetSession()->GetDisplayTriggerList();
    EXPECT_EQ(hits.size(), ExpectedHits());
    EXPECT_GE(hits.size(), 85u);  // 3 s: about 30 bursts
    EXPECT_EQ(viewModel.GetDisplayTriggerHitCount(), hits.size());
    const auto& reader = viewModel.GetSession()->GetReportData();
    for (std::size_t i = 0; i < hits.size(); ++i) {
        const std::int64_t nominal = kFirstWidthNs << ((i + 1) % 3);
        EXPECT_NEAR(static_cast<double>(hits[i].widthNSec), static_cast<double>(nominal), 2'000.0) << i;
        // The hit's record is the first one after the pulse.
        const std::uint8_t* r = reader->ReadRecordByIndex(static_cast<std::uint64_t>(hits[i].dataIndex));
        ASSERT_NE(r, nullptr);
        EXPECT_LT(qvx::LoadLE16(r + 14), 8192 + 1000) << i;
    }
    ASSERT_TRUE(viewModel.GetTriggerViewOffset().has_value());

    // The lists read the reopened report and the hits through the view model.
    EXPECT_EQ(QVxAnalogDataListViewModel(&viewModel).GetRowCount(), reader->GetTotalRecordCount());
    EXPECT_EQ(QVxAnalogDisplayTriggerListModel(&viewModel).GetRowCount(), hits.size());
    const fs::path csv = dir.Path() / "hits.csv";
    ASSERT_TRUE(QVxAnalogDisplayTriggerListModel(&viewModel).ExportCsv(csv));
    std::ifstream csvIn(csv);
    const auto csvLines = std::count(std::istreambuf_iterator<char>(csvIn), {}, '\n');
    EXPECT_EQ(static_cast<std::size_t>(csvLines), hits.size() + 1);  // header and one line per hit

    ExpectSavedHits(dir.Path() / "demo" / "demo.qvxa", hits);
}

TEST_F(DemoTriggerTest, BeyondTheStoredLimitHitsAreCountedTheTraceGoesOnAndTheUserIsToldOnce) {
    constexpr std::size_t kLimit = 5;
    viewModel.SetMaxStoredDisplayTriggerHits(kLimit);
    Record(qvx::QVxAnalogDisplayTriggerAnalyzer::kModeRepeat, 1000);  // about 29 hits
    const auto hits = viewModel.GetSession()->GetDisplayTriggerList();
    EXPECT_EQ(hits.size(), kLimit);
    EXPECT_EQ(viewModel.GetDisplayTriggerHitCount(), ExpectedHits());
    EXPECT_GT(ExpectedHits(), 2 * kLimit);
    const auto told = std::count_if(notes.shown.begin(), notes.shown.end(), [](const std::string& text) {
        return text.find("表示トリガーの検出数が上限（5件）に達しました。") == 0;
    });
    EXPECT_EQ(told, 1);

    ExpectSavedHits(dir.Path() / "limit" / "limit.qvxa", hits);  // "meta" loads again
}

TEST_F(DemoTriggerTest, SingleModeListsOnlyTheFirstHit) {
    Record(qvx::QVxAnalogDisplayTriggerAnalyzer::kModeSingle);
    const auto& hits = viewModel.GetSession()->GetDisplayTriggerList();
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_NEAR(static_cast<double>(hits[0].widthNSec), 100'000.0, 2'000.0);  // the burst's second pulse
    EXPECT_EQ(viewModel.GetTriggersFound(), 1u);
}

}  // namespace
