// Display-trigger list model: titles, cells of edge and pulse hits and of hits
// whose record is gone, and the exact bytes of its CSV export.

#include "list_test_support.h"

#include "QV+AnalogCore/Presenters/QVxAnalogDisplayTriggerListModel.h"
#include "QVxCore/Utils.h"
#include "QVxCore/tests/support/TimeZone.h"
#include "QVxCore/tests/waveform_test_support.h"

#include <gtest/gtest.h>

namespace {

class DisplayTriggerListTest : public ::testing::Test {
protected:
    void SetUp() override {
        qvx::test::ReportBuilder(owner.session->GetReportFolderPath())
            .Times([](std::uint64_t index) { return index == 2 ? 100'000'000'000 : index * 123'456; })
            .SampleValues([](std::uint64_t index) {
                return index == 1 ? qvx::test::Samples{4096, 65535, 12288, 0}
                                  : qvx::test::Samples{8192, 8192, 8192, 8192};
            })
            .AddFile(0, 3);
        ASSERT_TRUE(owner.OpenReport());
        // An edge hit, a pulse hit, and a hit whose record does not exist.
        owner.session->GetDisplayTriggerList() = {{1, 0}, {2, 1'234'567}, {99, 5}};
    }

    qvx::test::TempDir dir{"triggerlist"};
    qvx::test::ListOwner owner{dir.Path() / "session"};
    QVxAnalogDisplayTriggerListModel model{&owner};
};

TEST_F(DisplayTriggerListTest, TitlesAndCells) {
    const char* titles[] = {"#", "データ番号", "Time[ns]", "WidthTime[ns]", "CH1", "CH2", "CH3", "CH4"};
    for (int c = 0; c < QVxAnalogDisplayTriggerListModel::kColumnCount; ++c)
        EXPECT_EQ(model.GetColumnText(c), titles[c]);
    ASSERT_EQ(model.GetRowCount(), 3u);

    EXPECT_EQ(model.GetText(0, 0), "1");
    EXPECT_EQ(model.GetText(0, 1), "2");
    EXPECT_EQ(model.GetText(0, 2), "1,234,560");
    EXPECT_EQ(model.GetText(0, 3), "-");  // edge hit: no width
    EXPECT_EQ(model.GetText(0, 4), "-250.0mV");
    EXPECT_EQ(model.GetText(1, 3), "1,234,567");
    EXPECT_EQ(model.GetText(2, 2), "-");  // record 99 does not exist
    EXPECT_EQ(model.GetText(2, 7), "-");

    qvx::test::LogCapture log;
    EXPECT_EQ(model.GetText(3, 0), "");
    EXPECT_THROW(model.GetColumnText(8), qvx::UnreachableError);
    EXPECT_THROW(model.GetText(0, 8), qvx::UnreachableError);
}

TEST_F(DisplayTriggerListTest, CsvHasByteOrderMarkAndQuotesEveryCellButTheFirst) {
    const auto path = dir.Path() / "hits.csv";
    ASSERT_TRUE(model.ExportCsv(path));
    EXPECT_EQ(qvx::test::ReadWholeFile(path),
              "\xEF\xBB\xBF#,データ番号,Time[ns],WidthTime[ns],CH1,CH2,CH3,CH4\n"
              "1,\"2\",\"1,234,560\",\"-\",\"-250.0mV\",\"500.0mV\",\"250.0mV\",\"-500.0mV\"\n"
              "2,\"3\",\"1,000,000,000,000\",\"1,234,567\",\"0.0mV\",\"0.0mV\",\"0.0mV\",\"0.0mV\"\n"
              "3,\"100\",\"-\",\"5\",\"-\",\"-\",\"-\",\"-\"\n");
}

TEST_F(DisplayTriggerListTest, ClockTimesInTheListAndIso8601InTheCsv) {
    qvx::test::TimeZone utc("UTC");
    owner.clockOrigin = 1'796'724'157'000'000'000;  // 2026-12-08 10:02:37 UTC
    EXPECT_EQ(model.GetColumnText(2), "Time");
    EXPECT_EQ(model.GetText(0, 2), "10:02:37.001234560");
    EXPECT_EQ(model.GetText(1, 3), "1,234,567");  // widths stay durations
    const auto path = dir.Path() / "hits.csv";
    ASSERT_TRUE(model.ExportCsv(path));
    EXPECT_EQ(qvx::test::ReadWholeFile(path),
              "\xEF\xBB\xBF#,データ番号,Time,WidthTime[ns],CH1,CH2,CH3,CH4\n"
              "1,\"2\",\"2026-12-08T10:02:37.001234560+00:00\",\"-\",\"-250.0mV\",\"500.0mV\",\"250.0mV\","
              "\"-500.0mV\"\n"
              "2,\"3\",\"2026-12-08T10:19:17.000000000+00:00\",\"1,234,567\",\"0.0mV\",\"0.0mV\",\"0.0mV\","
              "\"0.0mV\"\n"
              "3,\"100\",\"-\",\"5\",\"-\",\"-\",\"-\",\"-\"\n");
}

TEST_F(DisplayTriggerListTest, EmptyListAndUnwritableDestinations) {
    owner.session->GetDisplayTriggerList().clear();
    const auto path = dir.Path() / "empty.csv";
    ASSERT_TRUE(model.ExportCsv(path));
    EXPECT_EQ(qvx::test::ReadWholeFile(path),
              "\xEF\xBB\xBF#,データ番号,Time[ns],WidthTime[ns],CH1,CH2,CH3,CH4\n");

    qvx::test::LogCapture log;
    EXPECT_FALSE(model.ExportCsv(dir.Path() / "no" / "such" / "folder.csv"));
    EXPECT_FALSE(model.ExportCsv("/dev/full"));
    EXPECT_TRUE(log.Contains("write failed"));
}

}  // namespace
