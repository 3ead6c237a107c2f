// Data list view model: titles and cells, the CSV export's exact format, its row
// range rule, cancel and failures of the destination.

#include "list_test_support.h"

#include "QV+AnalogCore/Presenters/QVxAnalogDataListViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogDisplayTriggerListModel.h"
#include "QVxCore/Presenters/Interaction.h"
#include "QVxCore/ReportData/ReportFile.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxCore/Utils.h"
#include "QVxCore/tests/support/TimeZone.h"
#include "QVxCore/tests/waveform_test_support.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using qvx::test::ReadWholeFile;
using Samples = qvx::test::Samples;

constexpr const char* kHeader = "#,Time[ns],CH1,CH2,CH3,CH4\n";

// Three records whose texts cover grouping, both range ends, clamping and 0.
std::uint64_t ThreeTimes(std::uint64_t index) {
    constexpr std::uint64_t kTicks[] = {0, 123'456, 100'000'000'000};
    return kTicks[index];
}
Samples ThreeSamples(std::uint64_t index) {
    const Samples samples[] = {{12288, 0, 16383, 8192}, {4096, 65535, 12288, 0}, {8192, 8192, 8192, 8192}};
    return samples[index];
}

class DataListTest : public ::testing::Test {
protected:
    qvx::test::TempDir dir{"datalist"};
    qvx::test::ListOwner owner{dir.Path() / "session"};
    QVxAnalogDataListViewModel model{&owner};

    void WriteThreeRecords() {
        qvx::test::ReportBuilder(owner.session->GetReportFolderPath())
            .Times(&ThreeTimes)
            .SampleValues(&ThreeSamples)
            .AddFile(0, 3);
        ASSERT_TRUE(owner.OpenReport());
    }
    void WriteRecords(std::uint64_t count, std::int64_t fileNumber = 0) {
        qvx::test::ReportBuilder(owner.session->GetReportFolderPath()).AddFile(fileNumber, count);
        ASSERT_TRUE(owner.OpenReport());
    }
    std::string Export(std::int64_t first, std::int64_t last, qvx::ProgressToken* token = nullptr) {
        const auto path = dir.Path() / "out.csv";
        EXPECT_TRUE(model.ExportCsv(path, first, last, token));
        return ReadWholeFile(path);
    }
};

TEST_F(DataListTest, TitlesAndCellsOfTheOpenReport) {
    WriteThreeRecords();
    const char* titles[] = {"#", "Time[ns]", "CH1", "CH2", "CH3", "CH4"};
    for (int c = 0; c < QVxAnalogDataListViewModel::kColumnCount; ++c)
        EXPECT_EQ(model.GetColumnText(c), titles[c]);

    EXPECT_EQ(model.GetRowCount(), 3u);
    EXPECT_EQ(model.GetText(1, 0), "2");
    EXPECT_EQ(model.GetText(1, 1), "1,234,560");
    EXPECT_EQ(model.GetText(1, 2), "-250.0mV");
    EXPECT_EQ(model.GetText(1, 3), "500.0mV");  // 65535 clamps to the top of the range
    EXPECT_EQ(model.GetText(0, 2), "250.0mV");

    qvx::test::LogCapture log;
    EXPECT_THROW(model.GetColumnText(6), qvx::UnreachableError);
    EXPECT_THROW(model.GetText(0, -1), qvx::UnreachableError);
    EXPECT_TRUE(log.Contains("Uneachable code."));

    // Without an oscillograph view model the time and values stay empty.
    owner.graph.reset();
    EXPECT_EQ(model.GetText(0, 0), "1");
    EXPECT_EQ(model.GetText(0, 1), "");
    EXPECT_EQ(model.GetText(0, 4), "");
}

TEST_F(DataListTest, ExportWritesTheHeaderAndQuotedGroupedTimes) {
    WriteThreeRecords();
    EXPECT_EQ(Export(-1, -1), std::string(kHeader) +
                                  "1,\"0\",250.0mV,-500.0mV,500.0mV,0.0mV\n"
                                  "2,\"1,234,560\",-250.0mV,500.0mV,250.0mV,-500.0mV\n"
                                  "3,\"1,000,000,000,000\",0.0mV,0.0mV,0.0mV,0.0mV\n");
}

TEST_F(DataListTest, ClockTimeCellsAndIso8601CsvInTokyo) {
    WriteThreeRecords();
    qvx::test::TimeZone tokyo("Asia/Tokyo");
    // Start 2026-12-08 10:02:37.000000005 UTC: 19:02:37 in Tokyo.
    owner.clockOrigin = 1'796'724'157'000'000'005;
    EXPECT_EQ(model.GetColumnText(1), "Time");
    EXPECT_EQ(model.GetText(1, 1), "19:02:37.001234565");
    const auto path = dir.Path() / "clock.csv";
    // The export takes the origin it is given (the caller reads it on the GUI thread).
    ASSERT_TRUE(model.ExportCsv(path, -1, -1, nullptr, nullptr, owner.clockOrigin));
    EXPECT_EQ(ReadWholeFile(path),
              "#,Time,CH1,CH2,CH3,CH4\n"
              "1,2026-12-08T19:02:37.000000005+09:00,250.0mV,-500.0mV,500.0mV,0.0mV\n"
              "2,2026-12-08T19:02:37.001234565+09:00,-250.0mV,500.0mV,250.0mV,-500.0mV\n"
              "3,2026-12-08T19:19:17.000000005+09:00,0.0mV,0.0mV,0.0mV,0.0mV\n");
    owner.clockOrigin.reset();
    EXPECT_EQ(model.GetText(1, 1), "1,234,560");
    EXPECT_EQ(Export(-1, -1).substr(0, std::string(kHeader).size()), kHeader);
}

TEST_F(DataListTest, RowRangeRule) {
    using Range = std::pair<std::uint64_t, std::uint64_t>;
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(QVxAnalogDataListViewModel::ExportRowRange(-1, -1, 50), Range(0, 50));
    EXPECT_EQ(QVxAnalogDataListViewModel::ExportRowRange(10, 5, 50), Range(10, 10));
    EXPECT_EQ(QVxAnalogDataListViewModel::ExportRowRange(7, 7, 50), Range(7, 8));
    EXPECT_EQ(QVxAnalogDataListViewModel::ExportRowRange(-5, 4, 50), Range(0, 5));
    EXPECT_EQ(QVxAnalogDataListViewModel::ExportRowRange(5, -1, 50), Range(5, 5));
    EXPECT_EQ(QVxAnalogDataListViewModel::ExportRowRange(60, 70, 50), Range(50, 50));
    EXPECT_EQ(QVxAnalogDataListViewModel::ExportRowRange(0, kMax, 50), Range(0, 50));
    EXPECT_EQ(QVxAnalogDataListViewModel::ExportRowRange(0, 3, 0), Range(0, 0));

    WriteRecords(20);
    EXPECT_EQ(Export(10, 5), kHeader);
    const std::string one = Export(7, 7);
    EXPECT_EQ(one.substr(std::string(kHeader).size(), 4), "8,\"7");
    EXPECT_EQ(qvx::test::CountLines(one), 2u);
}

TEST_F(DataListTest, AllRowsAcrossManyBlocksAndProgressReports) {
    constexpr std::uint64_t kRows = 3 * QVxAnalogDataListViewModel::kProgressRowStride + 17;
    WriteRecords(kRows);
    qvx::ProgressToken token({}, {});
    const std::string text = Export(-1, -1, &token);
    EXPECT_EQ(qvx::test::CountLines(text), kRows + 1);
    // Default report content: time = index x 100 ns, CH3 = 8192.
    const std::string last = text.substr(text.rfind('\n', text.size() - 2) + 1);
    EXPECT_EQ(last.substr(0, 18), "12305,\"1,230,400\",");
}

TEST_F(DataListTest, CancelledExportKeepsTheRowsWrittenSoFar) {
    WriteRecords(10'000);
    qvx::ProgressToken token({}, {});
    token.RequestCancel();
    const std::string text = Export(-1, -1, &token);
    // The cancel is seen at the first progress report; the rows before it stay.
    ASSERT_EQ(qvx::test::CountLines(text), QVxAnalogDataListViewModel::kProgressRowStride + 1);
    EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1, 6), "4096,\"");
}

TEST_F(DataListTest, RowsStartAtTheFirstRecordThatWasNotRotatedAway) {
    // File 0 was deleted by rotation: row 0 is record 33,554,432 and there are
    // exactly as many rows as stored records, none past the end.
    WriteRecords(5, 1);
    EXPECT_EQ(model.GetFirstIndex(), qvx::kRecordsPerReportFile);
    EXPECT_EQ(model.GetRowCount(), 5u);
    EXPECT_EQ(model.GetText(0, 0), "33554433");
    const std::string text = Export(-1, -1);
    EXPECT_EQ(qvx::test::CountLines(text), 6u);
    EXPECT_EQ(text.find("-,-"), std::string::npos);
    EXPECT_NE(text.find("\n33554437,\""), std::string::npos);
}

TEST_F(DataListTest, RowNumbersStayTrueAfterAFileCutShortInTheMiddle) {
    // File 0 ends after 1000 records (the program was killed, the disk filled): the indexes up
    // to file 1 hold no records, and the rows of file 1 keep their own record numbers in the
    // export instead of following on from file 0's last row.
    qvx::test::ReportBuilder(owner.session->GetReportFolderPath()).AddFile(0, 1000).AddFile(1, 5);
    ASSERT_TRUE(owner.OpenReport());
    const std::string text = Export(998, 3 * static_cast<std::int64_t>(qvx::kRecordsPerReportFile));
    EXPECT_EQ(qvx::test::CountLines(text), 1u + 2u + 5u);
    EXPECT_NE(text.find("\n1000,\""), std::string::npos);      // the last record of file 0
    EXPECT_NE(text.find("\n33554433,\""), std::string::npos);  // the first of file 1
    EXPECT_EQ(text.find("\n1001,\""), std::string::npos);
}

TEST_F(DataListTest, AnUnreadableRecordFailsTheExportAtItsRowAndKeepsTheRowsBefore) {
    WriteRecords(3 * qvx::ReportFile::kBlockRecords);
    // The report file shrinks to its first block while the export runs: the first
    // progress report (after 4096 rows, inside the first block) cuts it.
    const auto dat = owner.session->GetReportFolderPath() / "00000000.DAT";
    ASSERT_TRUE(qvx::Dispatcher::AttachMain(qvx::Dispatcher::kSynchronous));
    qvx::ProgressToken token(
        [&](std::int64_t, std::int64_t) {
            std::filesystem::resize_file(dat, 512 + qvx::ReportFile::kBlockRecords * 16);
        },
        {});
    const auto path = dir.Path() / "out.csv";
    std::uint64_t unreadableRow = 0;
    const bool exported = model.ExportCsv(path, -1, -1, &token, &unreadableRow);
    qvx::Dispatcher::DestroyMain();
    EXPECT_FALSE(exported);
    EXPECT_EQ(unreadableRow, qvx::ReportFile::kBlockRecords + 1);
    const std::string text = ReadWholeFile(path);
    EXPECT_EQ(qvx::test::CountLines(text), qvx::ReportFile::kBlockRecords + 1);  // header and the rows before
    EXPECT_EQ(text.find("-,-"), std::string::npos);
}

TEST_F(DataListTest, TheSessionsOwnFilesAreNeverExportTargets) {
    WriteRecords(100);
    const auto repo = owner.session->GetReportFolderPath();
    ASSERT_EQ(owner.session->SaveAs(dir.Path() / "session" / "s.qvxa", nullptr), qvx::AnalogSession::kSaved);
    std::filesystem::create_symlink(repo / "00000000.DAT", dir.Path() / "link.csv");
    const auto before = ReadWholeFile(repo / "00000000.DAT");
    const auto settingsBefore = ReadWholeFile(dir.Path() / "session" / "s.qvxa");
    qvx::test::LogCapture log;
    for (const auto& target : {repo / "00000000.DAT", repo / "meta", repo / "new.csv",
                               dir.Path() / "session" / "." / "s.qvxa", dir.Path() / "link.csv"}) {
        EXPECT_FALSE(model.ExportCsv(target, -1, -1, nullptr)) << target;
        EXPECT_FALSE(QVxAnalogDisplayTriggerListModel(&owner).ExportCsv(target)) << target;
    }
    EXPECT_TRUE(log.Contains("is a file of the session"));
    EXPECT_EQ(ReadWholeFile(repo / "00000000.DAT"), before);
    EXPECT_EQ(ReadWholeFile(dir.Path() / "session" / "s.qvxa"), settingsBefore);
    EXPECT_FALSE(std::filesystem::exists(repo / "new.csv"));
    EXPECT_TRUE(model.ExportCsv(dir.Path() / "out.csv", -1, -1, nullptr));
}

TEST_F(DataListTest, FailuresAreReportedNotHidden) {
    qvx::test::LogCapture log;
    // No report opened yet.
    EXPECT_FALSE(model.ExportCsv(dir.Path() / "a.csv", -1, -1, nullptr));
    EXPECT_EQ(model.GetRowCount(), 0u);

    WriteRecords(1000);
    EXPECT_FALSE(model.ExportCsv(dir.Path() / "missing" / "a.csv", -1, -1, nullptr));
    EXPECT_TRUE(log.Contains("Cannot create CSV file"));
    // A full disk: every write fails with ENOSPC.
    EXPECT_FALSE(model.ExportCsv("/dev/full", -1, -1, nullptr));
    EXPECT_TRUE(log.Contains("write failed"));
}

}  // namespace
