// The start-time update of report headers and the sample encoding of records.

#include "test_report_support.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;
using qvx::ReportDataReader;
using qvx::test::ReportBuilder;

namespace {

std::vector<std::uint8_t> ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct ReportHeaderUpdate : ::testing::Test {
    qvx::test::TempDir dir{"report-header"};
    qvx::test::ReportLogCapture log;
};

}  // namespace

TEST_F(ReportHeaderUpdate, RewritesOnlyTheStartTimeOfEveryFile) {
    ReportBuilder(dir.Path())
        .AddFile(2, qvx::kRecordsPerReportFile, ReportBuilder::kSparse)
        .AddFile(3, 50)
        .AddFile(4, 0);
    std::vector<std::vector<std::uint8_t>> before;
    for (int n : {3, 4}) before.push_back(ReadAll(dir.Path() / qvx::test::ReportFileName(n)));

    ASSERT_TRUE(ReportDataReader::UpdateHeader(dir.Path(), 1'765'000'000, -5)) << log.Text();
    for (int i = 0; i < 2; ++i) {
        std::vector<std::uint8_t> after = ReadAll(dir.Path() / qvx::test::ReportFileName(3 + i));
        ASSERT_EQ(after.size(), before[i].size());
        EXPECT_EQ(qvx::LoadLE64(after.data() + 48), 1'765'000'000u);
        // Nanoseconds are widened with their sign.
        EXPECT_EQ(qvx::LoadLE64(after.data() + 64), 0xFFFF'FFFF'FFFF'FFFBu);
        for (std::size_t k = 0; k < 8; ++k) after[48 + k] = after[64 + k] = 0;
        EXPECT_EQ(after, before[i]) << "only the start time may change";
    }

    ASSERT_TRUE(ReportDataReader::UpdateHeader(dir.Path(), 1'765'000'001, 250'000'000));
    auto reader = ReportDataReader::Open(dir.Path());
    ASSERT_TRUE(reader) << log.Text();
    EXPECT_EQ(reader->GetStartSeconds(), 1'765'000'001);
    EXPECT_EQ(reader->GetStartNanoseconds(), 250'000'000);
    for (int n = 2; n <= 4; ++n) {
        EXPECT_EQ(qvx::LoadLE64(reader->GetFiles()[n]->GetHeader().data() + 48), 1'765'000'001u) << n;
    }
}

TEST_F(ReportHeaderUpdate, StopsAtAFileTooShortForAHeaderAndNeverExtendsIt) {
    ReportBuilder(dir.Path()).AddFile(0, 5).AddFile(1, 5);
    fs::resize_file(dir.Path() / "00000001.DAT", 100);
    EXPECT_FALSE(ReportDataReader::UpdateHeader(dir.Path(), 42, 7));
    EXPECT_TRUE(log.Contains("Invalid file header size.")) << log.Text();
    EXPECT_EQ(log.ErrorCount(), 1);
    EXPECT_EQ(fs::file_size(dir.Path() / "00000001.DAT"), 100u);
    // Files before it in name order stay updated.
    EXPECT_EQ(qvx::LoadLE64(ReadAll(dir.Path() / "00000000.DAT").data() + 48), 42u);
}

TEST_F(ReportHeaderUpdate, FoldersWithoutFiles) {
    EXPECT_FALSE(ReportDataReader::UpdateHeader(dir.Path(), 1, 0));
    EXPECT_TRUE(log.Contains("Folder access error.")) << log.Text();
    EXPECT_EQ(log.ErrorCount(), 2);  // the message and the folder
    EXPECT_FALSE(log.Contains(".DAT file not found."));

    fs::create_directory(dir.Path() / "00000000.DAT");
    log.Clear();
    EXPECT_FALSE(ReportDataReader::UpdateHeader(dir.Path(), 1, 0));
    EXPECT_EQ(log.Text(), ".DAT file not found.\n");
    EXPECT_EQ(log.ErrorCount(), 1);
}

TEST(ReportFormat, SamplesClampToFourteenBitsAroundMidScale) {
    EXPECT_EQ(qvx::CentredSample(0), -8192);
    EXPECT_EQ(qvx::CentredSample(8192), 0);
    EXPECT_EQ(qvx::CentredSample(0x3FFF), 8191);
    EXPECT_EQ(qvx::CentredSample(0x4000), 8191);
    EXPECT_EQ(qvx::CentredSample(0xFFFF), 8191);
    EXPECT_DOUBLE_EQ(qvx::NormalizedSample(0), -1.0);
    EXPECT_DOUBLE_EQ(qvx::NormalizedSample(0xFFFF), 1.0);
    EXPECT_NEAR(qvx::NormalizedSample(8192), 1.0 / 16383, 1e-12);
}
