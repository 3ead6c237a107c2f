// Traces into a 64 MiB tmpfs: the trace ends with the disk-space message (less than the
// 1 GiB the free-space watch asks for is left from the start) or, with the watch passed
// by, with the write-failure message once the disk is full. Either way every record
// written before is on disk and reads back unchanged. Mounting needs root; elsewhere the
// tests skip with the reason.

#include "QV+AnalogCore/tests/analog_view_model_test_support.h"
#include "QVxCore/tests/support/SmallTmpfs.h"
#include "QVxWinCommon/QVxGuiStrings.h"

namespace fs = std::filesystem;

namespace {

class TraceDiskFullTest : public qvx::test::AnalogViewModelTest {
protected:
    void SetUp() override {
        AnalogViewModelTest::SetUp();
        m_disk = std::make_unique<qvx::test::SmallTmpfs>(dir.Path() / "disk", "size=64m");
        if (!m_disk->Mounted()) GTEST_SKIP() << m_disk->Reason();
        env.SetCacheFolderPath(m_disk->Path());
        ASSERT_TRUE(viewModel.ReloadCacheFolder());
        ::setenv("QVPLUS_SIM_SIGNAL", "counter", 1);
        ::setenv("QVPLUS_SIM_SPEED", "max", 1);
        ConnectSimulatedUnit();
        viewModel.GetSessionSettings()->samplingFrequency = 2;  // 10,485,760 records/s
        viewModel.GetSessionSettings()->enableReportFileRotation = false;
    }

    void TearDown() override {
        AnalogViewModelTest::TearDown();
        m_disk.reset();
    }

    // Every record of the trace's report holds the counter pattern of its index: nothing
    // lost in the middle, nothing torn or overwritten at the end.
    void ExpectEveryRecordReadable() {
        const auto reader = qvx::ReportDataReader::Open(viewModel.GetSession()->GetReportFolderPath());
        ASSERT_TRUE(reader);
        const std::uint64_t total = reader->GetTotalRecordCount();
        EXPECT_GT(total, 0u);
        // The write that met the full disk may have stored some of its records (whole ones)
        // before it failed: they are kept and read, though the trace never showed them.
        EXPECT_GE(total, viewModel.GetRecordCount());
        std::uint64_t wrong = 0;
        for (std::uint64_t i = 0; i < total; ++i) {
            const std::uint8_t* r = reader->ReadRecordByIndex(i);
            if (!r || qvx::LoadLE64(r) != i * 100'000'000 / 10'485'760 || qvx::LoadLE16(r + 8) != i % 16384)
                ++wrong;
        }
        EXPECT_EQ(wrong, 0u);
        EXPECT_EQ(reader->GetFiles().front()->GetTornBytes(), 0u);
    }

    std::unique_ptr<qvx::test::SmallTmpfs> m_disk;
};

TEST_F(TraceDiskFullTest, SmallDiskEndsTheTraceWithTheDiskSpaceMessage) {
    ASSERT_TRUE(viewModel.StartTrace());
    ASSERT_TRUE(WaitUntilIdle(std::chrono::seconds(120)));
    EXPECT_EQ(viewModel.GetLastAbortType(), QVxAbortType::LowDiskSpace);
    ASSERT_EQ(notes.shown.size(), 1u);
    EXPECT_EQ(notes.shown[0], QVxLoadGuiString(25060));
    ExpectEveryRecordReadable();
}

TEST_F(TraceDiskFullTest, FullDiskEndsTheTraceWithTheWriteFailureMessage) {
    // The watch sees plenty of room, so the writes run until the disk refuses one.
    viewModel.GetLogCollector()->SetFreeSpaceQuery(
        [](const fs::path&) { return std::optional<std::uintmax_t>(std::uintmax_t{1} << 40); });
    ASSERT_TRUE(viewModel.StartTrace());
    ASSERT_TRUE(WaitUntilIdle(std::chrono::seconds(120)));
    EXPECT_EQ(viewModel.GetLastAbortType(), QVxAbortType::WriteFailed);
    ASSERT_FALSE(notes.shown.empty());
    EXPECT_EQ(notes.shown[0], QVxLoadGuiString(25023));
    // Most of the disk holds records (the rest: headers, overview, settings).
    EXPECT_GT(viewModel.GetRecordCount() * 16, std::uint64_t{40} << 20);
    ExpectEveryRecordReadable();
}

}  // namespace
