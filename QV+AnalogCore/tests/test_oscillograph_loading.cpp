// Stored-data loading checked against hand-computed columns of small generated
// reports. CH1 of record i is i (raw), so a bin's channel-0 value names its record:
// value = i - 8192.

#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "oscillograph_test_support.h"

#include <gtest/gtest.h>

#include <map>

using namespace qvx;

namespace {

constexpr std::int64_t kOffset = 8192;

// Record indices held by line 0, by column (-1: before-column, n: after-column),
// as (first, last) record index pairs of the bins.
std::map<std::int64_t, std::pair<std::int64_t, std::int64_t>> Bins(const QVxAnalogOscilloGraphViewModel& vm) {
    const WaveformLine& line = vm.GetWritingRenderData().Line(0);
    std::map<std::int64_t, std::pair<std::int64_t, std::int64_t>> out;
    auto put = [&](std::int64_t key, const WaveformBin& bin) {
        if (bin.valid) out[key] = {bin.first.value + kOffset, bin.last.value + kOffset};
    };
    put(-1, line.BeforeColumn());
    for (std::size_t i = 0; i < line.Columns().size(); ++i)
        put(static_cast<std::int64_t>(i), line.Columns()[i]);
    put(static_cast<std::int64_t>(line.Columns().size()), line.AfterColumn());
    return out;
}

using BinMap = std::map<std::int64_t, std::pair<std::int64_t, std::int64_t>>;

// 1000 records, 100 ns apart, the first at 10,000 ns; a window of 10 columns.
class SmallReport : public ::testing::Test {
protected:
    test::TempDir dir{"oscillograph-load"};
    test::FakeOwner owner;
    std::unique_ptr<QVxAnalogOscilloGraphViewModel> vm;

    void Open(std::int64_t timeScale) {
        test::ReportBuilder(dir.Path()).Times([](std::uint64_t i) { return 1000 + i * 10; }).AddFile(0, 1000);
        owner.settings.visualSettings.timeScale = timeScale;
        vm = std::make_unique<QVxAnalogOscilloGraphViewModel>(&owner);
        vm->ResetViewportWidth(10);
        vm->SetupForStoredData(ReportDataReader::Open(dir.Path()));
    }
    std::uint64_t DecodedBy(std::int64_t begin) {
        const std::uint64_t before = vm->GetDecodedRecordCount();
        vm->SetViewportBeginTimeOffset(begin);
        return vm->GetDecodedRecordCount() - before;
    }
};

}  // namespace

TEST_F(SmallReport, AWindowBeforeTheDataDecodesNothingAndOneAtTheFirstRecordNothingBeforeIt) {
    Open(100);
    EXPECT_EQ(vm->GetDecodedRecordCount(), 0u);  // window [0, 1000) ns
    EXPECT_EQ(vm->GetWritingRenderData().GetLastTime(), 109'900);

    // [10,000, 11,000) ns: records 0..9 one per column; 10 (at the window end) and
    // 11 (the first past the end) go right of the window.
    EXPECT_EQ(DecodedBy(10'000), 12u);
    BinMap expected;
    for (std::int64_t c = 0; c < 10; ++c) expected[c] = {c, c};
    expected[10] = {10, 11};
    EXPECT_EQ(Bins(*vm), expected);
    EXPECT_EQ(vm->GetWritingRenderData().Line(0).PointCount(), 10);
}

TEST_F(SmallReport, AWindowPastTheLastRecordDecodesNothing) {
    Open(100);
    EXPECT_EQ(DecodedBy(200'000), 0u);
    EXPECT_TRUE(Bins(*vm).empty());
}

TEST_F(SmallReport, TheRecordsJustBeforeAndJustAfterTheWindowAreFiledOutside) {
    Open(40);
    // [50,040, 50,440) ns. Record 400 (50,000 ns) is found at the start, 399 is
    // added as well; 401..404 fall into columns 1, 4, 6, 9; 405 ends the load.
    EXPECT_EQ(DecodedBy(50'040), 7u);
    EXPECT_EQ(Bins(*vm), (BinMap{{-1, {399, 400}},
                                 {1, {401, 401}},
                                 {4, {402, 402}},
                                 {6, {403, 403}},
                                 {9, {404, 404}},
                                 {10, {405, 405}}}));
}

TEST_F(SmallReport, TheFirstLoadAfterOpeningFillsTheWholeWindow) {
    // The window was laid out before the report arrived: the last time must be
    // known before the first load, or only the first column would take points.
    test::ReportBuilder(dir.Path()).Times([](std::uint64_t i) { return 1000 + i * 10; }).AddFile(0, 1000);
    owner.settings.visualSettings.timeScale = 100;
    vm = std::make_unique<QVxAnalogOscilloGraphViewModel>(&owner);
    vm->ResetViewportWidth(10);
    vm->SetViewportBeginTimeOffset(10'000);
    vm->SetupForStoredData(ReportDataReader::Open(dir.Path()));
    EXPECT_EQ(Bins(*vm).size(), 11u);

    test::LogCapture log;
    vm->SetupForStoredData(nullptr);
    EXPECT_EQ(log.ErrorCount(), 1);
    EXPECT_NE(vm->GetReader(), nullptr);
    WaveformRenderData scratch(vm.get(), true, 100);
    vm->DecodeAndAddData(scratch, nullptr);
    EXPECT_EQ(log.ErrorCount(), 2);
}

namespace {

// 5000 records 1 ms apart from time 0: stride cases at coarse zoom steps.
class StrideReport : public ::testing::Test {
protected:
    test::TempDir dir{"oscillograph-stride"};
    test::FakeOwner owner;
    std::unique_ptr<QVxAnalogOscilloGraphViewModel> vm;

    void SetUp() override {
        test::ReportBuilder(dir.Path()).Times([](std::uint64_t i) { return i * 100'000; }).AddFile(0, 5000);
    }
    void Open(std::int32_t samplingFrequency, std::int64_t timeScale) {
        owner.settings.samplingFrequency = samplingFrequency;
        owner.settings.visualSettings.timeScale = timeScale;
        vm = std::make_unique<QVxAnalogOscilloGraphViewModel>(&owner);
        vm->ResetViewportWidth(10);
        vm->SetupForStoredData(ReportDataReader::Open(dir.Path()));
    }
    std::uint64_t DecodedBy(std::int64_t begin) {
        const std::uint64_t before = vm->GetDecodedRecordCount();
        vm->SetViewportBeginTimeOffset(begin);
        return vm->GetDecodedRecordCount() - before;
    }
};

}  // namespace

TEST_F(StrideReport, Stride20AtTheFastestSamplingFrequency) {
    Open(2, 2'000'000);  // step stride 20, unchanged
    // [106 ms, 126 ms): records 106 and 105, then only multiples of 20: 120 in
    // column 7 and 140, the first past the end.
    EXPECT_EQ(DecodedBy(106'000'000), 4u);
    EXPECT_EQ(Bins(*vm), (BinMap{{-1, {105, 105}}, {0, {106, 106}}, {7, {120, 120}}, {10, {140, 140}}}));
}

TEST_F(StrideReport, Stride20AtTheMiddleSamplingFrequency) {
    Open(1, 20'000'000);  // step stride 200 / 10
    // [1060 ms, 1260 ms): 1060, 1059, then 1080..1240 in columns 1..9, 1260 at the
    // window end (still not past it) and 1280, the first past the end.
    EXPECT_EQ(DecodedBy(1'060'000'000), 13u);
    BinMap expected{{-1, {1059, 1059}}, {0, {1060, 1060}}, {10, {1260, 1280}}};
    for (std::int64_t c = 1; c < 10; ++c) expected[c] = {1060 + 20 * c, 1060 + 20 * c};
    EXPECT_EQ(Bins(*vm), expected);
}

TEST_F(StrideReport, Stride20AtTheSlowestSamplingFrequency) {
    Open(0, 200'000'000);  // step stride 2000 / 100
    // A jump by the full width to [2000 ms, 4000 ms): 2000 and 1999, then
    // 2020..4000 and 4020; ten records of each 200 ms column.
    EXPECT_EQ(DecodedBy(2'000'000'000), 103u);
    const BinMap bins = Bins(*vm);
    EXPECT_EQ(bins.at(-1), (std::pair<std::int64_t, std::int64_t>{1999, 1999}));
    for (std::int64_t c = 0; c < 10; ++c) {
        EXPECT_EQ(bins.at(c), (std::pair<std::int64_t, std::int64_t>{2000 + 200 * c, 2180 + 200 * c}));
    }
    EXPECT_EQ(bins.at(10), (std::pair<std::int64_t, std::int64_t>{4000, 4020}));
    EXPECT_EQ(vm->GetWritingRenderData().Line(0).PointCount(), 100);
}

TEST_F(StrideReport, FineStepsAndAnUnknownFrequencyDecodeEveryRecord) {
    Open(2, 400'000);                                // stride 0
    EXPECT_EQ(DecodedBy(20'000'000), 2u + 4u + 1u);  // [20 ms, 24 ms]: 20, 19, 21..24, 25
    test::LogCapture log;
    owner.settings.samplingFrequency = 9;
    EXPECT_EQ(DecodedBy(40'000'000), 2u + 4u + 1u);
    EXPECT_GE(log.ErrorCount(), 1);
}

// A window across a middle file cut short (its records end before the next file's first
// index): the records before the gap and those of the next file are drawn, and the gap is
// logged once instead of ending the window.
TEST(GapInReport, AWindowAcrossAShortMiddleFileGoesOnWithTheNextFile) {
    constexpr std::uint64_t kFile = kRecordsPerReportFile;
    test::TempDir dir{"oscillograph-gap"};
    test::ReportBuilder(dir.Path())
        .AddFile(0, kFile, test::ReportBuilder::kSparse)
        .AddFile(1, 1000)
        .AddFile(2, 3'000'000, test::ReportBuilder::kSparse);
    test::FakeOwner owner;
    owner.settings.samplingFrequency = 0;  // a small stride at this scale
    owner.settings.visualSettings.timeScale = 200'000'000;
    QVxAnalogOscilloGraphViewModel vm(&owner);
    vm.ResetViewportWidth(19);
    vm.SetupForStoredData(ReportDataReader::Open(dir.Path()));

    // [3.2 s, 7.0 s): records 32 M to 70 M (100 ns apart) in columns of 200 ms.
    test::LogCapture log;
    vm.SetViewportBeginTimeOffset(3'200'000'000);
    const BinMap bins = Bins(vm);
    // Column 0 holds the end of file 0 and file 1 (records up to 34 M), columns 1 to 16 the
    // gap, column 17 file 2's first record (index 2 x kFile = 67,108,864; CH1 = i mod 16384).
    EXPECT_TRUE(bins.count(0));
    for (std::int64_t c = 1; c < 17; ++c) EXPECT_FALSE(bins.count(c)) << c;
    ASSERT_TRUE(bins.count(17)) << log.Text();
    EXPECT_EQ(bins.at(17).first, 0);
    EXPECT_TRUE(log.Contains("cannot be read")) << log.Text();
    EXPECT_LE(log.ErrorCount(), 1);  // the reader's line, not one per record
}
