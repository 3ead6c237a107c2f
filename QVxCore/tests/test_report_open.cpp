// Opening report folders: valid layouts, rotation gaps and every way a folder is refused.

#include "test_report_support.h"

#include "QVxCore/Presenters/Interaction.h"
#include "QVxCore/ReportData/ReportOverviewStore.h"
#include "QVxCore/TaskDispatcher.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace fs = std::filesystem;
using qvx::kRecordsPerReportFile;
using qvx::ReportDataReader;
using qvx::test::ReportBuilder;

namespace {

constexpr std::uint64_t kFull = kRecordsPerReportFile;

struct ReportOpen : ::testing::Test {
    qvx::test::TempDir dir{"report-open"};
    qvx::test::ReportLogCapture log;
    ReportBuilder builder{dir.Path()};
};

}  // namespace

TEST_F(ReportOpen, SingleFileBuildsBlockTableAndTotals) {
    builder.StartTime(1'700'000'000, 123'456'789).AddFile(0, 20000);
    auto reader = ReportDataReader::Open(dir.Path());
    ASSERT_TRUE(reader) << log.Text();
    EXPECT_EQ(reader->GetTotalRecordCount(), 20000u);
    EXPECT_EQ(reader->GetFirstFileIndex(), 0);
    EXPECT_EQ(reader->GetLastTime(), 19999u * 10);
    EXPECT_EQ(reader->GetStartSeconds(), 1'700'000'000);
    EXPECT_EQ(reader->GetStartNanoseconds(), 123'456'789);
    EXPECT_EQ(reader->GetTimeWordIndex(), 0);
    ASSERT_EQ(reader->GetFiles().size(), 1u);

    const qvx::ReportFile& file = *reader->GetFiles()[0];
    EXPECT_EQ(file.GetFirstIndex(), 0u);
    EXPECT_EQ(file.GetLastIndex(), 19999u);
    EXPECT_EQ(file.GetStartTime(), 0u);
    EXPECT_EQ(file.GetEndTime(), 199990u);
    EXPECT_FALSE(file.IsOpen());  // setup leaves every file closed
    const auto& blocks = file.GetBlocks();
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[1].firstRecord, 8192u);
    EXPECT_EQ(blocks[1].recordCount, 8192u);
    EXPECT_EQ(blocks[1].startTime, 81920u);
    EXPECT_EQ(blocks[0].endTime, 81920u);
    EXPECT_EQ(blocks[2].recordCount, 20000u - 16384u);
    EXPECT_EQ(blocks[2].endTime, 199991u);  // last record's time + 1
    EXPECT_TRUE(log.Text().empty()) << log.Text();
}

TEST_F(ReportOpen, LeadingRotationGapBecomesPlaceholders) {
    builder.AddFile(3, kFull, ReportBuilder::kSparse).AddFile(4, 100);
    auto reader = ReportDataReader::Open(dir.Path());
    ASSERT_TRUE(reader) << log.Text();
    const auto& files = reader->GetFiles();
    ASSERT_EQ(files.size(), 5u);
    for (int n = 0; n < 3; ++n) {
        EXPECT_TRUE(files[n]->IsPlaceholder());
        EXPECT_EQ(files[n]->GetRecordCount(), kFull);
        EXPECT_EQ(files[n]->GetFirstIndex(), n * kFull);
        EXPECT_EQ(files[n]->GetLastIndex(), n * kFull + kFull - 1);
        EXPECT_EQ(files[n]->GetStartTime(), 0u);
    }
    EXPECT_EQ(reader->GetFirstFileIndex(), 3);
    EXPECT_EQ(reader->GetTotalRecordCount(), 4 * kFull + 100);
    EXPECT_EQ(reader->GetLastTime(), builder.TimeAt(4 * kFull + 99));

    // Deleted records read as nothing, silently; the remaining ones read normally.
    EXPECT_EQ(reader->ReadRecordByIndex(0), nullptr);
    EXPECT_EQ(reader->ReadRecordByIndex(3 * kFull - 1), nullptr);
    EXPECT_TRUE(log.Text().empty()) << log.Text();
    const std::uint8_t* r = reader->ReadRecordByIndex(3 * kFull);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(qvx::test::TimeOf(r), builder.TimeAt(3 * kFull));
    r = reader->ReadRecordByIndex(4 * kFull + 99);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(qvx::test::TimeOf(r), builder.TimeAt(4 * kFull + 99));

    std::uint64_t index = 0, time = 0;
    EXPECT_FALSE(reader->FindIndexByTime(builder.TimeAt(3 * kFull) - 1, index, time));
}

TEST_F(ReportOpen, UnpaddedNamesAreOrderedByNumber) {
    // Name order would put "10.DAT" before "9.DAT".
    builder.AddNamedFile("9.DAT", 9 * kFull, kFull, ReportBuilder::kSparse)
        .AddNamedFile("10.DAT", 10 * kFull, 5);
    auto reader = ReportDataReader::Open(dir.Path());
    ASSERT_TRUE(reader) << log.Text();
    EXPECT_EQ(reader->GetFirstFileIndex(), 9);
    EXPECT_EQ(reader->GetTotalRecordCount(), 10 * kFull + 5);
    const std::uint8_t* r = reader->ReadRecordByIndex(10 * kFull + 4);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(qvx::test::TimeOf(r), builder.TimeAt(10 * kFull + 4));
}

TEST_F(ReportOpen, EmptyLastFileTakesThePreviousEndTime) {
    builder.AddFile(0, kFull, ReportBuilder::kSparse).AddFile(1, 0);
    auto reader = ReportDataReader::Open(dir.Path());
    ASSERT_TRUE(reader) << log.Text();
    const qvx::ReportFile& last = *reader->GetFiles()[1];
    EXPECT_EQ(last.GetRecordCount(), 0u);
    EXPECT_EQ(last.GetStartTime(), builder.TimeAt(kFull - 1));
    EXPECT_EQ(last.GetEndTime(), builder.TimeAt(kFull - 1));
    EXPECT_EQ(reader->GetTotalRecordCount(), kFull);
    EXPECT_EQ(reader->GetLastTime(), builder.TimeAt(kFull - 1));

    // A time after the end finds the report's real last record, not the empty file.
    std::uint64_t index = 0, time = 0;
    ASSERT_TRUE(reader->FindIndexByTime(builder.TimeAt(kFull - 1) + 1000, index, time));
    EXPECT_EQ(index, kFull - 1);
    EXPECT_EQ(time, builder.TimeAt(kFull - 1));
    EXPECT_NE(reader->ReadRecordByIndex(index), nullptr);

    EXPECT_EQ(reader->ReadRecordByIndex(kFull), nullptr);
    EXPECT_EQ(log.ErrorCount(), 1) << log.Text();
}

TEST_F(ReportOpen, EmptyLastFilesAfterAShortFileEndTheRangeAtItsLastRecord) {
    // A trace stopped after the writer opened the next file early (or two files left empty):
    // the range must not stretch over the short file's unused indexes.
    builder.AddFile(0, 100).AddFile(1, 0);
    auto reader = ReportDataReader::Open(dir.Path());
    ASSERT_TRUE(reader) << log.Text();
    EXPECT_EQ(reader->GetTotalRecordCount(), 100u);
    EXPECT_NE(reader->ReadRecordByIndex(99), nullptr);
    EXPECT_EQ(reader->ReadRecordByIndex(100), nullptr);
    std::uint64_t index = 0, time = 0;
    ASSERT_TRUE(reader->FindIndexByTime(builder.TimeAt(99) + 1000, index, time));
    EXPECT_EQ(index, 99u);

    qvx::test::TempDir rotated("reader-rotated-empty");
    ReportBuilder(rotated.Path()).AddFile(2, 40).AddFile(3, 0).AddFile(4, 0);
    auto rotatedReader = ReportDataReader::Open(rotated.Path());
    ASSERT_TRUE(rotatedReader) << log.Text();
    EXPECT_EQ(rotatedReader->GetTotalRecordCount(), 2 * kFull + 40);
    EXPECT_NE(rotatedReader->ReadRecordByIndex(2 * kFull + 39), nullptr);

    qvx::test::TempDir onlyRotated("reader-rotated-only-empty");
    ReportBuilder(onlyRotated.Path()).AddFile(2, 0);
    auto emptyReader = ReportDataReader::Open(onlyRotated.Path());
    ASSERT_TRUE(emptyReader) << log.Text();
    // Rotation deleted two full files before the empty one: their indexes still count.
    EXPECT_EQ(emptyReader->GetTotalRecordCount(), 2 * kFull);
}

TEST_F(ReportOpen, ReportOfOneEmptyFileOpensWithoutRecords) {
    builder.AddFile(0, 0);
    auto reader = ReportDataReader::Open(dir.Path());
    ASSERT_TRUE(reader) << log.Text();
    EXPECT_EQ(reader->GetTotalRecordCount(), 0u);
    std::uint64_t index = 7, time = 7;
    EXPECT_FALSE(reader->FindIndexByTime(0, index, time));
    EXPECT_FALSE(reader->FindIndexByTime(1'000'000, index, time));
    EXPECT_EQ(reader->ReadRecordByIndex(0), nullptr);
}

TEST_F(ReportOpen, RefusesGapsAfterTheFirstFileAndDuplicateNumbers) {
    {
        builder.AddFile(0, 10).AddFile(2, 10);
        EXPECT_FALSE(ReportDataReader::Open(dir.Path()));
        EXPECT_TRUE(log.Contains("Invalid DAT files.")) << log.Text();
        EXPECT_EQ(log.ErrorCount(), 1);
    }
    fs::remove(dir.Path() / "00000002.DAT");
    log.Clear();
    builder.AddNamedFile("0.DAT", 0, 10);  // second name for file number 0
    EXPECT_FALSE(ReportDataReader::Open(dir.Path()));
    EXPECT_TRUE(log.Contains("Invalid DAT files.")) << log.Text();
}

TEST_F(ReportOpen, RefusesBadNamesWithoutHugeAllocations) {
    builder.AddNamedFile("notes.DAT", 0, 10);
    EXPECT_FALSE(ReportDataReader::Open(dir.Path()));
    EXPECT_TRUE(log.Contains("Invalid DAT file name")) << log.Text();

    fs::remove(dir.Path() / "notes.DAT");
    log.Clear();
    // File number 2^31 - 1 fits a signed 32-bit value but would ask for 2^31 placeholder slots.
    builder.AddNamedFile("2147483647.DAT", 0, 10);
    EXPECT_FALSE(ReportDataReader::Open(dir.Path()));
    EXPECT_TRUE(log.Contains("Invalid DAT file name")) << log.Text();
}

TEST_F(ReportOpen, ReadsATornFileUpToItsLastWholeRecordAndNeverWritesIt) {
    // A write cut short: the last file ends 1 or 15 bytes into its third record, and garbage
    // follows the last whole record of the full file before it.
    for (const std::uint64_t torn : {1u, 15u}) {
        qvx::test::TempDir d("report-torn");
        ReportBuilder b(d.Path());
        b.AddFile(0, kFull, ReportBuilder::kSparse).AddFile(1, 3);
        const fs::path earlier = d.Path() / "00000000.DAT";
        const fs::path last = d.Path() / "00000001.DAT";
        fs::resize_file(last, 512 + 2 * 16 + torn);
        std::ofstream(earlier, std::ios::app | std::ios::binary) << "garbage";
        log.Clear();
        auto reader = ReportDataReader::Open(d.Path());
        ASSERT_TRUE(reader) << log.Text();
        EXPECT_EQ(reader->GetTotalRecordCount(), kFull + 2);
        EXPECT_EQ(reader->GetFiles()[0]->GetTornBytes(), 7u);
        EXPECT_EQ(reader->GetFiles()[1]->GetTornBytes(), torn);
        for (std::uint64_t i = kFull; i < kFull + 2; ++i) {
            const std::uint8_t* r = reader->ReadRecordByIndex(i);
            ASSERT_NE(r, nullptr) << i;
            const auto expected = b.RecordAt(i);
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), r)) << i;
        }
        EXPECT_EQ(reader->GetLastTime(), b.TimeAt(kFull + 1));
        EXPECT_TRUE(log.Contains(last.string() + ": the last " + std::to_string(torn) + " bytes"))
            << log.Text();
        EXPECT_EQ(log.ErrorCount(), 0);
        EXPECT_EQ(fs::file_size(last), 512 + 2 * 16 + torn);
        EXPECT_EQ(fs::file_size(earlier), 512 + kFull * 16 + 7);
        // Its overview covers the whole records and stays valid while the file is unchanged.
        ASSERT_TRUE(qvx::ReportOverviewStore::Build(last));
        EXPECT_EQ(qvx::ReportOverviewStore::Open(last).status, qvx::ReportOverviewFile::Status::kValid);
    }
}

TEST_F(ReportOpen, RefusesFilesShorterThanAHeader) {
    // Shorter than a header: the first file fails reading its header, a later one its size.
    builder.AddFile(0, kFull, ReportBuilder::kSparse).AddFile(1, 3);
    fs::resize_file(dir.Path() / "00000001.DAT", 100);
    log.Clear();
    EXPECT_FALSE(ReportDataReader::Open(dir.Path()));
    EXPECT_TRUE(log.Contains("Invalid file size.")) << log.Text();
    EXPECT_EQ(log.ErrorCount(), 1);
    fs::resize_file(dir.Path() / "00000000.DAT", 511);
    log.Clear();
    EXPECT_FALSE(ReportDataReader::Open(dir.Path()));
    EXPECT_TRUE(log.Contains("Invalid file header size.")) << log.Text();
    EXPECT_EQ(log.ErrorCount(), 1);
}

TEST_F(ReportOpen, RefusesAnOversizedFileBeforeTheLast) {
    // One record more than its share would hide the next file's first record.
    builder.AddFile(0, kFull + 1, ReportBuilder::kSparse).AddFile(1, 10);
    EXPECT_FALSE(ReportDataReader::Open(dir.Path()));
    EXPECT_TRUE(log.Contains("Invalid DAT files.")) << log.Text();
}

TEST_F(ReportOpen, OnlyTheFirstFilesFormatCounts) {
    builder.ReportFormat(3).AddFile(0, 10);
    EXPECT_FALSE(ReportDataReader::Open(dir.Path()));
    EXPECT_TRUE(log.Contains("Invalid report format.")) << log.Text();
    EXPECT_EQ(log.ErrorCount(), 1);

    qvx::test::TempDir other("report-format");
    ReportBuilder(other.Path()).AddFile(0, kFull, ReportBuilder::kSparse).ReportFormat(3).AddFile(1, 10);
    EXPECT_TRUE(ReportDataReader::Open(other.Path()));
}

TEST_F(ReportOpen, FolderWithoutReportFiles) {
    EXPECT_FALSE(ReportDataReader::Open(dir.Path()));
    EXPECT_EQ(log.Text(), "Folder access error.\n" + dir.Path().string() + "\n.DAT file not found.\n");
    EXPECT_EQ(log.ErrorCount(), 3);

    // A directory named like a report file matches but is skipped.
    fs::create_directory(dir.Path() / "00000001.DAT");
    std::ofstream(dir.Path() / "readme.txt") << "x";
    log.Clear();
    EXPECT_FALSE(ReportDataReader::Open(dir.Path()));
    EXPECT_EQ(log.Text(), ".DAT file not found.\n");
    EXPECT_EQ(log.ErrorCount(), 1);

    log.Clear();
    EXPECT_FALSE(ReportDataReader::Open(dir.Path() / "missing"));
    EXPECT_TRUE(log.Contains("Folder access error.")) << log.Text();
}

TEST_F(ReportOpen, CollectsNonDirectoryEntriesEndingInDAT) {
    builder.AddFile(0, 1).AddNamedFile("lower.dat", 0, 1);
    fs::create_directory(dir.Path() / "00000002.DAT");
    std::ofstream(dir.Path() / "00000003.DAT.bak") << "x";
    auto files = ReportDataReader::CollectDATFiles(dir.Path());
    std::sort(files.begin(), files.end());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0], dir.Path() / "00000000.DAT");
    EXPECT_EQ(files[1], dir.Path() / "lower.dat");
}

TEST_F(ReportOpen, SpecialFilesFailWithoutBlocking) {
    // A FIFO would block an ordinary open until a writer appears; a dangling link cannot be
    // opened at all. Both are access errors.
    ASSERT_EQ(::mkfifo((dir.Path() / "00000000.DAT").c_str(), 0644), 0);
    EXPECT_FALSE(ReportDataReader::Open(dir.Path()));
    EXPECT_TRUE(log.Contains("File access error.")) << log.Text();
    EXPECT_EQ(log.ErrorCount(), 1);

    fs::remove(dir.Path() / "00000000.DAT");
    fs::create_symlink(dir.Path() / "nowhere", dir.Path() / "00000000.DAT");
    log.Clear();
    EXPECT_FALSE(ReportDataReader::Open(dir.Path()));
    EXPECT_TRUE(log.Contains("File access error.")) << log.Text();
}

TEST_F(ReportOpen, ReportsProgressOncePerFileThroughTheMainDispatcher) {
    builder.AddFile(1, kFull, ReportBuilder::kSparse).AddFile(2, kFull, ReportBuilder::kSparse).AddFile(3, 7);
    ASSERT_TRUE(qvx::Dispatcher::AttachMain(qvx::Dispatcher::kSynchronous));
    std::vector<std::pair<std::int64_t, std::int64_t>> updates;
    qvx::ProgressToken token(
        [&](std::int64_t current, std::int64_t total) { updates.emplace_back(current, total); }, nullptr);
    auto reader = ReportDataReader::Open(dir.Path(), &token);
    qvx::Dispatcher::DestroyMain();
    ASSERT_TRUE(reader) << log.Text();
    // Placeholders are not files of the folder: three steps of three.
    EXPECT_EQ(updates, (std::vector<std::pair<std::int64_t, std::int64_t>>{{1, 3}, {2, 3}, {3, 3}}));
}
