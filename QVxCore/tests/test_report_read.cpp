// Reading records by index and searching them by time.

#include "test_report_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace fs = std::filesystem;
using qvx::kRecordsPerReportFile;
using qvx::ReportDataReader;
using qvx::test::ReportBuilder;
using qvx::test::TimeOf;

namespace {

constexpr std::uint64_t kFullFile = kRecordsPerReportFile;
constexpr std::uint64_t kBlock = qvx::ReportFile::kBlockRecords;

struct ReportRead : ::testing::Test {
    qvx::test::TempDir dir{"report-read"};
    qvx::test::ReportLogCapture log;
    ReportBuilder builder{dir.Path()};

    qvx::ReportDataReaderPtr Open() {
        auto reader = ReportDataReader::Open(dir.Path());
        EXPECT_TRUE(reader) << log.Text();
        return reader;
    }
};

// Finds `t` and returns the index (or ~0 when not found) after checking that the returned
// time is the found record's own time stamp.
std::uint64_t Find(ReportDataReader& reader, std::uint64_t t) {
    std::uint64_t index = 0, time = 0;
    if (!reader.FindIndexByTime(t, index, time)) return ~std::uint64_t{0};
    const std::uint8_t* r = reader.ReadRecordByIndex(index);
    EXPECT_NE(r, nullptr) << "index " << index;
    if (r) {
        EXPECT_EQ(TimeOf(r), time) << "index " << index;
    }
    return index;
}

}  // namespace

TEST_F(ReportRead, RecordsComeBackAsWrittenAcrossBlockBoundaries) {
    builder.UpperTimeBits(0xABCD).AddFile(0, 3 * kBlock + 5);
    auto reader = Open();
    ASSERT_TRUE(reader);
    for (std::uint64_t i :
         {std::uint64_t{0}, kBlock - 1, kBlock, 2 * kBlock + 17, 3 * kBlock + 4, std::uint64_t{1}}) {
        const std::uint8_t* r = reader->ReadRecordByIndex(i);
        ASSERT_NE(r, nullptr) << i;
        const qvx::test::Record expected = builder.RecordAt(i);
        EXPECT_EQ(std::memcmp(r, expected.data(), expected.size()), 0) << i;
        // Bits 48-63 of the time word are stored but never part of the time.
        EXPECT_EQ(reader->GetRecordAccessor().GetTime(r), builder.TimeAt(i)) << i;
        EXPECT_EQ(qvx::RecordRawSample(r, 0), builder.SamplesAt(i)[0]) << i;
    }
    EXPECT_EQ(reader->GetFiles()[0]->GetEndTime(), builder.TimeAt(3 * kBlock + 4));
    EXPECT_EQ(reader->ReadRecordByIndex(3 * kBlock + 5), nullptr);
    EXPECT_EQ(log.ErrorCount(), 1) << log.Text();
}

TEST_F(ReportRead, KeepsThreeBlocksPerFileLeastRecentlyUsedFirst) {
    builder.AddFile(0, 5 * kBlock);
    auto reader = Open();
    ASSERT_TRUE(reader);
    const qvx::ReportFile& file = *reader->GetFiles()[0];
    auto read = [&](std::uint64_t block) {
        ASSERT_NE(reader->ReadRecordByIndex(block * kBlock + 3), nullptr);
    };
    read(0);
    read(1);
    read(2);
    EXPECT_EQ(file.GetCachedBlockNumbers(), (std::vector<std::int64_t>{0, 1, 2}));
    read(0);
    EXPECT_EQ(file.GetCachedBlockNumbers(), (std::vector<std::int64_t>{1, 2, 0}));
    read(3);  // replaces block 1, the least recently used
    EXPECT_EQ(file.GetCachedBlockNumbers(), (std::vector<std::int64_t>{2, 0, 3}));
    const std::uint8_t* r = reader->ReadRecordByIndex(kBlock + 7);  // block 1 again, replacing 2
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(TimeOf(r), builder.TimeAt(kBlock + 7));
    EXPECT_EQ(file.GetCachedBlockNumbers(), (std::vector<std::int64_t>{0, 3, 1}));
}

TEST_F(ReportRead, KeepsAtMostThreeFilesOpen) {
    builder.AddFile(0, kFullFile, ReportBuilder::kSparse)
        .AddFile(1, kFullFile, ReportBuilder::kSparse)
        .AddFile(2, kFullFile, ReportBuilder::kSparse)
        .AddFile(3, 10);
    auto reader = Open();
    ASSERT_TRUE(reader);
    const auto& files = reader->GetFiles();
    for (std::uint64_t n = 0; n < 3; ++n) ASSERT_NE(reader->ReadRecordByIndex(n * kFullFile + 1), nullptr);
    EXPECT_EQ(reader->GetOpenFiles(), (std::vector<std::int32_t>{0, 1, 2}));

    const std::uint8_t* r = reader->ReadRecordByIndex(3 * kFullFile + 9);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(TimeOf(r), builder.TimeAt(3 * kFullFile + 9));
    EXPECT_EQ(reader->GetOpenFiles(), (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_FALSE(files[0]->IsOpen());
    EXPECT_TRUE(files[3]->IsOpen());

    ASSERT_NE(reader->ReadRecordByIndex(kFullFile + kFullFile - 1), nullptr);  // file 1 becomes most recent
    EXPECT_EQ(reader->GetOpenFiles(), (std::vector<std::int32_t>{2, 3, 1}));
    r = reader->ReadRecordByIndex(5);  // reopens file 0 with an empty cache, closing 2
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(TimeOf(r), builder.TimeAt(5));
    EXPECT_EQ(reader->GetOpenFiles(), (std::vector<std::int32_t>{3, 1, 0}));
    EXPECT_FALSE(files[2]->IsOpen());
    EXPECT_EQ(files[0]->GetCachedBlockNumbers(), (std::vector<std::int64_t>{0}));
}

TEST_F(ReportRead, NeverReturnsBytesOfAFileThatShrankAfterOpening) {
    builder.AddFile(0, 2 * kBlock);
    auto reader = Open();
    ASSERT_TRUE(reader);
    fs::resize_file(dir.Path() / "00000000.DAT", 512 + 100 * 16);
    EXPECT_NE(reader->ReadRecordByIndex(99), nullptr);
    EXPECT_EQ(reader->ReadRecordByIndex(100), nullptr);
    EXPECT_EQ(reader->ReadRecordByIndex(kBlock + 1), nullptr);
    EXPECT_TRUE(log.Contains("Invalid read size.")) << log.Text();
    EXPECT_EQ(log.ErrorCount(), 2);  // one per refused read
    std::uint64_t index = 0, time = 0;
    EXPECT_FALSE(reader->FindIndexByTime(builder.TimeAt(kBlock + 5), index, time));
}

TEST_F(ReportRead, FindsTheLastRecordAtOrBeforeATime) {
    // Times 1000 + 10 x index; records 100..102 share one time stamp.
    builder
        .Times([](std::uint64_t i) -> std::uint64_t {
            if (i >= 100 && i <= 102) return 1000 + 10 * 100;
            return 1000 + 10 * i;
        })
        .AddFile(0, 3 * kBlock + 10);
    auto reader = Open();
    ASSERT_TRUE(reader);
    const std::uint64_t none = ~std::uint64_t{0};
    EXPECT_EQ(Find(*reader, 0), none);
    EXPECT_EQ(Find(*reader, 999), none);
    EXPECT_EQ(Find(*reader, 1000), 0u);               // exactly the first record
    EXPECT_EQ(Find(*reader, 1005), 0u);               // between records: the earlier one
    EXPECT_EQ(Find(*reader, 1000 + 10 * 50), 50u);    // exactly a record
    EXPECT_EQ(Find(*reader, 1000 + 10 * 100), 102u);  // equal stamps: the later record
    EXPECT_EQ(Find(*reader, 1000 + 10 * 100 + 9), 102u);
    EXPECT_EQ(Find(*reader, 1000 + 10 * 103 - 1), 102u);
    EXPECT_EQ(Find(*reader, 1000 + 10 * kBlock), kBlock);  // a block's first record
    EXPECT_EQ(Find(*reader, 1000 + 10 * kBlock - 1), kBlock - 1);
    const std::uint64_t last = 3 * kBlock + 9;
    EXPECT_EQ(Find(*reader, 1000 + 10 * last - 1), last - 1);
    EXPECT_EQ(Find(*reader, 1000 + 10 * last), last);
    EXPECT_EQ(Find(*reader, 1000 + 10 * last + 1), last);  // past the end: the last record
    EXPECT_EQ(Find(*reader, qvx::kRecordTimeMask), last);
}

TEST_F(ReportRead, EqualTimeStampsAcrossABlockBoundary) {
    // Records kBlock - 2 .. kBlock + 1 share one time stamp.
    builder
        .Times([](std::uint64_t i) -> std::uint64_t {
            return (i + 2 >= kBlock && i <= kBlock + 1) ? 10 * kBlock : 10 * i;
        })
        .AddFile(0, 2 * kBlock);
    auto reader = Open();
    ASSERT_TRUE(reader);
    EXPECT_EQ(Find(*reader, 10 * kBlock), kBlock + 1);
    EXPECT_EQ(Find(*reader, 10 * kBlock - 1), kBlock - 3);
}

TEST_F(ReportRead, FindsAcrossFilesAndInTheGapBetweenThem) {
    // File 1 starts 1000 ticks after file 0 ends.
    builder.Times([](std::uint64_t i) -> std::uint64_t { return i < kFullFile ? 10 * i : 10 * i + 1000; })
        .AddFile(0, kFullFile, ReportBuilder::kSparse)
        .AddFile(1, 3 * kBlock);
    auto reader = Open();
    ASSERT_TRUE(reader);
    const std::uint64_t endOfFile0 = 10 * (kFullFile - 1);
    EXPECT_EQ(Find(*reader, endOfFile0), kFullFile - 1);
    EXPECT_EQ(Find(*reader, endOfFile0 + 500), kFullFile - 1);
    EXPECT_EQ(Find(*reader, builder.TimeAt(kFullFile)), kFullFile);
    EXPECT_EQ(Find(*reader, builder.TimeAt(kFullFile + kBlock + 3) + 1), kFullFile + kBlock + 3);
    EXPECT_EQ(Find(*reader, builder.TimeAt(kFullFile + 3 * kBlock - 1) + 50), kFullFile + 3 * kBlock - 1);
    EXPECT_EQ(Find(*reader, 10 * 5 + 3), 5u);  // inside file 0's first block
    EXPECT_EQ(reader->GetLastTime(), builder.TimeAt(kFullFile + 3 * kBlock - 1));
}
