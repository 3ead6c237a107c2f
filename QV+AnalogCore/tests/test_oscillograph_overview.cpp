// Stored-data loading through the report overview: columns compared with a brute-force
// fold of every record, one-record spikes at the coarsest steps, damaged overviews, and
// background indexing that ends in a reload.

#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportOverview.h"
#include "QVxCore/ReportData/ReportOverviewStore.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxCore/tests/support/BruteEnvelope.h"
#include "oscillograph_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using namespace qvx;

namespace {

constexpr std::uint64_t kRecords = 2'000'003;
// One record at 16383 on CH2 (and 0 on CH4) at odd indexes, elsewhere flat.
bool IsSpike(std::uint64_t i) {
    return i % 199'999 == 77;
}
test::Samples Samples(std::uint64_t i) {
    return {static_cast<std::uint16_t>(6000 + i % 1000),
            static_cast<std::uint16_t>(IsSpike(i) ? 16383 : 8000), static_cast<std::uint16_t>(i % 16384),
            static_cast<std::uint16_t>(IsSpike(i) ? 0 : 9000)};
}

class OverviewLoading : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!Dispatcher::GetMainInstance()) Dispatcher::AttachMain(Dispatcher::kHostMessageQueue);
    }

    test::TempDir dir{"oscillograph-overview"};
    fs::path repo = dir.Path() / "repo";
    test::ReportBuilder report{repo};
    test::FakeOwner owner;
    std::unique_ptr<QVxAnalogOscilloGraphViewModel> vm;

    void SetUp() override {
        report.Times([](std::uint64_t i) { return 100 + i * 10; })
            .SampleValues(&Samples)
            .AddFile(0, kRecords);
    }
    void Index() { ASSERT_TRUE(ReportOverviewStore::Build(repo / "00000000.DAT")); }
    void Open(std::int64_t timeScale, bool background = false) {
        owner.settings.visualSettings.timeScale = timeScale;
        vm = std::make_unique<QVxAnalogOscilloGraphViewModel>(&owner);
        vm->EnableBackgroundIndexing(background);
        vm->ResetViewportWidth(1920);
        vm->SetupForStoredData(ReportDataReader::Open(repo));
    }
    // Line `ch` of column c against the brute-force fold of the records in the column.
    void ExpectColumnsExact(int ch) {
        const WaveformRenderData& rd = vm->GetWritingRenderData();
        const std::int64_t from = rd.GetViewportBeginTimeOffset(), tpp = rd.GetTimeParPixel();
        const auto expected = test::BruteEnvelope(report, {{0, kRecords}}, from, from + 1920 * tpp, 1920);
        const auto& bins = rd.Line(static_cast<std::size_t>(ch)).Columns();
        for (std::size_t c = 0; c < bins.size(); ++c) {
            const bool inData = from + static_cast<std::int64_t>(c) * tpp < rd.GetLastTime() + tpp;
            ASSERT_EQ(bins[c].valid, !expected[c].empty && inData) << c;
            if (!bins[c].valid) continue;
            EXPECT_EQ(bins[c].minValue, expected[c].stats.min[static_cast<std::size_t>(ch)] - 8192) << c;
            EXPECT_EQ(bins[c].maxValue, expected[c].stats.max[static_cast<std::size_t>(ch)] - 8192) << c;
        }
    }
    std::size_t SpikeColumns() const {
        std::size_t n = 0;
        for (const WaveformBin& bin : vm->GetWritingRenderData().Line(1).Columns())
            n += bin.valid && bin.maxValue == 8191;
        return n;
    }
    static void RunPosted() {
        while (Dispatcher::GetMainInstance()->ProcessInvoke()) {
        }
    }
};

std::size_t SpikeCount() {
    std::size_t n = 0;
    for (std::uint64_t i = 0; i < kRecords; ++i) n += IsSpike(i);
    return n;
}

}  // namespace

TEST_F(OverviewLoading, CoarseStepsFoldBlocksAndShowEveryOneRecordSpike) {
    Index();
    Open(500'000);  // 5,000 records per column: from the overview's blocks
    ASSERT_TRUE(vm->GetOverview());
    EXPECT_LE(vm->GetDecodedRecordCount(), 2u);
    EXPECT_EQ(SpikeColumns(), SpikeCount());
    // Each column holds the blocks that begin in it: the block fold equals the records
    // of those blocks, which the brute force does not follow at column edges, so only
    // the extremes that lie away from the edges are compared: every spike and the flat level.
    for (const WaveformBin& bin : vm->GetWritingRenderData().Line(1).Columns()) {
        if (bin.valid) {
            EXPECT_EQ(bin.minValue, 8000 - 8192);
        }
    }
}

TEST_F(OverviewLoading, FineStepsDecodeEveryRecordOfTheWindowExactly) {
    Index();
    Open(1'000);  // 10 records per column: decoded
    ASSERT_TRUE(vm->GetOverview());
    vm->SetViewportBeginTimeOffset(77 * 100 - 3000);  // the first spike inside the window
    for (int ch = 0; ch < 4; ++ch) ExpectColumnsExact(ch);
    EXPECT_EQ(SpikeColumns(), 1u);
    vm->ResetViewportScale(20'000);  // 200 records per column, still decoded
    for (int ch = 0; ch < 4; ++ch) ExpectColumnsExact(ch);
}

TEST_F(OverviewLoading, MiddleStepsAreExactFromWholeBlocksAndDecodedColumnEdges) {
    Index();
    Open(40'000);  // 400 records per column: whole blocks inside, edges decoded
    ASSERT_TRUE(vm->GetOverview());
    vm->SetViewportBeginTimeOffset(77 * 100 - 3'000'000);  // the first spike and the first record
    for (int ch = 0; ch < 4; ++ch) ExpectColumnsExact(ch);
    EXPECT_EQ(SpikeColumns(), 4u);  // records 77, 200,076, 400,075 and 600,074
    const std::uint64_t decoded = vm->GetDecodedRecordCount();
    EXPECT_LT(decoded, 1920u * 400 / 2);  // far fewer than the window's 768,000 records

    // The end of the report inside the window, and empty columns after it.
    vm->SetViewportBeginTimeOffset(static_cast<std::int64_t>(kRecords) * 100 - 50'000'000);
    for (int ch = 0; ch < 4; ++ch) ExpectColumnsExact(ch);

    vm->ResetViewportScale(200'000);  // 2,000 records per column: the whole report
    vm->SetViewportBeginTimeOffset(0);
    for (int ch = 0; ch < 4; ++ch) ExpectColumnsExact(ch);
    EXPECT_EQ(SpikeColumns(), SpikeCount());
}

TEST_F(OverviewLoading, ADamagedOverviewIsDroppedThenRebuiltAndTheWindowReloaded) {
    Index();
    // Level-0 entry 78 begins column 1 at 500,000 ns per column; damage its CH2 maximum.
    {
        std::fstream f(ReportOverviewStore::SiblingPath(repo / "00000000.DAT"),
                       std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(128 + 78 * 88 + 18);
        f.put('\x7f');
    }
    Open(500'000, true);
    EXPECT_FALSE(vm->GetOverview());  // found on the first load and dropped
    EXPECT_TRUE(vm->IsIndexing());
    for (int i = 0; i < 500 && vm->IsIndexing(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        RunPosted();
    }
    ASSERT_TRUE(vm->GetOverview());
    EXPECT_EQ(SpikeColumns(), SpikeCount());
    for (const WaveformBin& bin : vm->GetWritingRenderData().Line(1).Columns()) {
        if (bin.valid) {
            EXPECT_EQ(bin.minValue, 8000 - 8192);
        }
    }
}

TEST_F(OverviewLoading, BackgroundIndexingReportsProgressAndReloadsFromTheOverview) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    owner.settings.visualSettings.timeScale = 500'000;
    vm = std::make_unique<QVxAnalogOscilloGraphViewModel>(&owner);
    vm->EnableBackgroundIndexing(true);
    auto connection = vm->IndexingProgress.Connect(
        [&](std::uint64_t done, std::uint64_t total) { progress.emplace_back(done, total); });
    vm->ResetViewportWidth(1920);
    vm->SetupForStoredData(ReportDataReader::Open(repo));
    EXPECT_TRUE(vm->IsIndexing());
    EXPECT_FALSE(vm->GetOverview());
    for (int i = 0; i < 500 && vm->IsIndexing(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        RunPosted();
    }
    ASSERT_FALSE(vm->IsIndexing());
    ASSERT_TRUE(vm->GetOverview());
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress.back(), std::make_pair(std::uint64_t{0}, std::uint64_t{0}));
    EXPECT_EQ(SpikeColumns(), SpikeCount());  // reloaded through the overview
    EXPECT_TRUE(fs::is_regular_file(dir.Path() / "repo.overview" / "00000000.OVW"));
}

TEST_F(OverviewLoading, ClosingTheSessionCancelsIndexing) {
    Open(500'000, true);
    EXPECT_TRUE(vm->IsIndexing());
    vm.reset();   // joins the worker after its current read
    RunPosted();  // a notice posted before the end finds no view model
    SUCCEED();
}
