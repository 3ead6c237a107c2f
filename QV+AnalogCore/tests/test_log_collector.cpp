#include "QV+AnalogCore/DataClasses/QVxAnalogLogCollector.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "QVxCore/tests/support/ScopedFileSizeLimit.h"
#include "QVxCore/tests/waveform_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct FakeHost : IQVxLogCollectorHost {
    std::int64_t broadcastRecords = 0;
    int broadcasts = 0;
    int stopRequests = 0;
    std::vector<QVxAbortType> endings;
    bool stopping = false;

    void Broadcast(const std::uint8_t*, std::int64_t count) override {
        broadcastRecords += count;
        ++broadcasts;
    }
    bool IsStoppingTrace() const override { return stopping; }
    void StopTrace() override { ++stopRequests; }
    void OnTraceEnded(QVxAbortType type) override { endings.push_back(type); }
};

// Posted actions run when the test drains the main (host queue) dispatcher.
void RunPostedActions() {
    while (qvx::Dispatcher::GetMainInstance()->ProcessInvoke()) {
    }
}

class LogCollectorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!qvx::Dispatcher::GetMainInstance())
            qvx::Dispatcher::AttachMain(qvx::Dispatcher::kHostMessageQueue);
    }

    void SetUp() override {
        ASSERT_TRUE(session.NewInternal(dir.Path()));
        RunPostedActions();
    }

    std::vector<std::uint8_t> Block(std::size_t records, std::size_t extraBytes = 0) const {
        std::vector<std::uint8_t> out(records * 16 + extraBytes, 0x11);
        return out;
    }

    std::uintmax_t DatSize(int n) const {
        char name[32];
        std::snprintf(name, sizeof name, "%08d.DAT", n);
        return fs::file_size(session.GetReportFolderPath() / name);
    }

    qvx::test::TempDir dir{"collector"};
    qvx::AnalogSession session;
    FakeHost host;
    QVxAnalogLogCollector collector{&host};
};

}  // namespace

TEST_F(LogCollectorTest, StartCreatesTheFirstFileAndTakesTheRotationCountFromTheSettings) {
    session.GetSettings().samplingFrequency = 1;
    session.GetSettings().reportFileRotationTimeS = 1200;
    ASSERT_TRUE(collector.Start(session));
    EXPECT_EQ(collector.GetKeepFileCount(), 39);
    EXPECT_EQ(DatSize(0), 512u);

    session.GetSettings().enableReportFileRotation = false;
    ASSERT_TRUE(collector.Start(session));
    EXPECT_EQ(collector.GetKeepFileCount(), 0);

    fs::remove_all(session.GetReportFolderPath());
    EXPECT_FALSE(collector.Start(session));
}

TEST_F(LogCollectorTest, WritesWholeRecordsOnlyAndIgnoresBlocksAfterTheLastOne) {
    int captureEnded = 0;
    collector.SetCaptureEndedHandler([&] { ++captureEnded; });
    ASSERT_TRUE(collector.Start(session));
    collector.TakeAbortType();

    auto block = Block(10, 5);  // a trailing partial record
    collector.OnData(block.data(), 1, block.size(), 0);
    EXPECT_EQ(DatSize(0), 512u + 160);
    EXPECT_EQ(host.broadcastRecords, 10);

    block = Block(4);
    collector.OnData(block.data(), 16, 4, 1);  // last block: still written
    EXPECT_EQ(DatSize(0), 512u + 224);
    EXPECT_EQ(captureEnded, 1);

    collector.OnData(block.data(), 16, 4, 0);  // after the end: ignored
    EXPECT_EQ(DatSize(0), 512u + 224);
    EXPECT_EQ(host.broadcastRecords, 14);

    // The next trace clears the end mark.
    collector.TakeAbortType();
    collector.OnData(block.data(), 16, 4, 0);
    EXPECT_EQ(host.broadcastRecords, 18);
}

TEST_F(LogCollectorTest, RotationKeepsTheNewestEntries) {
    ASSERT_TRUE(collector.Start(session));  // rotation on by default: 39 kept at 1 MS/s
    ASSERT_EQ(collector.GetKeepFileCount(), 39);
    auto touch = [&](int n) {
        char name[32];
        std::snprintf(name, sizeof name, "%08d.DAT", n);
        std::ofstream(session.GetReportFolderPath() / name) << "";
    };
    for (int n = 1; n < 39; ++n) touch(n);
    collector.RotateFiles();
    EXPECT_TRUE(fs::exists(session.GetReportFolderPath() / "00000000.DAT"));

    touch(39);
    touch(40);
    collector.RotateFiles();
    EXPECT_FALSE(fs::exists(session.GetReportFolderPath() / "00000000.DAT"));
    EXPECT_FALSE(fs::exists(session.GetReportFolderPath() / "00000001.DAT"));
    EXPECT_TRUE(fs::exists(session.GetReportFolderPath() / "00000002.DAT"));
    EXPECT_TRUE(fs::exists(session.GetReportFolderPath() / "00000040.DAT"));
    EXPECT_EQ(collector.GetRemovedFileCount(), 2);

    // Entries that are not report data files are never counted or removed.
    std::ofstream(session.GetReportFolderPath() / "meta") << "{}";
    fs::create_directory(session.GetReportFolderPath() / "0.DAT");
    touch(41);
    collector.RotateFiles();
    EXPECT_TRUE(fs::exists(session.GetReportFolderPath() / "meta"));
    EXPECT_TRUE(fs::exists(session.GetReportFolderPath() / "0.DAT"));
    EXPECT_FALSE(fs::exists(session.GetReportFolderPath() / "00000002.DAT"));
    EXPECT_TRUE(fs::exists(session.GetReportFolderPath() / "00000003.DAT"));
    EXPECT_EQ(collector.GetRemovedFileCount(), 3);
}

TEST_F(LogCollectorTest, AFailedRotationPassIsLoggedOncePerTraceAndTriedAgain) {
    ASSERT_TRUE(collector.Start(session));
    const fs::path repo = session.GetReportFolderPath();
    const fs::path moved = dir.Path() / "moved";
    fs::rename(repo, moved);  // the folder cannot be listed
    {
        qvx::test::LogCapture log;
        EXPECT_FALSE(collector.RotateFiles());
        EXPECT_FALSE(collector.RotateFiles());
        const std::string text = log.Text();
        const auto first = text.find("File rotation failed");
        ASSERT_NE(first, std::string::npos);
        EXPECT_EQ(text.find("File rotation failed", first + 1), std::string::npos) << text;
    }
    fs::rename(moved, repo);
    EXPECT_TRUE(collector.RotateFiles());

    // The next trace logs its own first failure again.
    ASSERT_TRUE(collector.Start(session));
    fs::rename(repo, moved);
    qvx::test::LogCapture log;
    EXPECT_FALSE(collector.RotateFiles());
    EXPECT_TRUE(log.Contains("File rotation failed"));
    fs::rename(moved, repo);
}

TEST_F(LogCollectorTest, LowDiskSpaceStopsTheTraceOnceAndReportsAtTheEnd) {
    std::uintmax_t free = 2ull << 30;
    collector.SetFreeSpaceFolder(dir.Path());
    collector.SetFreeSpaceQuery([&](const fs::path&) { return std::optional<std::uintmax_t>(free); });
    ASSERT_TRUE(collector.Start(session));
    collector.TakeAbortType();

    auto block = Block(8);
    collector.OnData(block.data(), 16, 8, 0);
    RunPostedActions();
    EXPECT_EQ(host.stopRequests, 0);

    free = 1ull << 30;  // exactly 1 GiB left
    collector.OnData(block.data(), 16, 8, 0);
    collector.OnData(block.data(), 16, 8, 0);
    RunPostedActions();
    EXPECT_EQ(host.stopRequests, 1);
    EXPECT_EQ(collector.GetAbortType(), QVxAbortType::LowDiskSpace);

    collector.OnTraceFinished();
    EXPECT_TRUE(host.endings.empty());  // posted, not run on the watch thread
    RunPostedActions();
    ASSERT_EQ(host.endings.size(), 1u);
    EXPECT_EQ(host.endings[0], QVxAbortType::LowDiskSpace);
    EXPECT_EQ(DatSize(0), 512u + 3 * 128);
}

TEST_F(LogCollectorTest, NoDiskCheckWhileStopping) {
    collector.SetFreeSpaceFolder(dir.Path());
    collector.SetFreeSpaceQuery([](const fs::path&) { return std::optional<std::uintmax_t>(0); });
    ASSERT_TRUE(collector.Start(session));
    collector.TakeAbortType();
    host.stopping = true;
    auto block = Block(1);
    collector.OnData(block.data(), 16, 1, 0);
    EXPECT_EQ(collector.GetAbortType(), QVxAbortType::None);
}

TEST_F(LogCollectorTest, AFailedWriteStopsTheTraceAsAWriteFailure) {
    ASSERT_TRUE(collector.Start(session));
    collector.TakeAbortType();

    {
        qvx::test::ScopedFileSizeLimit limit(512 + 16 * 100);
        ASSERT_TRUE(limit.IsActive());
        auto block = Block(200);
        collector.OnData(block.data(), 16, 200, 0);
    }

    EXPECT_EQ(host.broadcastRecords, 0);  // nothing shown that is not on disk
    EXPECT_EQ(collector.GetAbortType(), QVxAbortType::WriteFailed);
    RunPostedActions();
    EXPECT_EQ(host.stopRequests, 1);
}

TEST_F(LogCollectorTest, ActionsPostedByACollectorThatIsGoneDoNothing) {
    {
        QVxAnalogLogCollector shortLived(&host);
        shortLived.OnAbort();
        shortLived.OnTraceFinished();
    }
    RunPostedActions();
    EXPECT_EQ(host.stopRequests, 0);
    EXPECT_TRUE(host.endings.empty());
}
