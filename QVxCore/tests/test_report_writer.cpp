#include "QVxCore/ReportData/DeferredFileRemover.h"
#include "QVxCore/ReportData/ReportDataWriter.h"
#include "QVxCore/ReportData/WrittenRecordReader.h"
#include "QVxCore/tests/support/ScopedFileSizeLimit.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;
using qvx::ReportDataWriter;

namespace {

struct TempFolder {
    fs::path path = fs::temp_directory_path() / ("qvx-writer-" + std::to_string(::getpid()) + "-" +
                                                 std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    TempFolder() { fs::create_directories(path); }
    ~TempFolder() { fs::remove_all(path); }
};

// Records whose 8-byte time word is their running number, samples derived from it.
std::vector<std::uint8_t> MakeRecords(std::int64_t first, std::int64_t count) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(count) * 16);
    for (std::int64_t i = 0; i < count; ++i) {
        const std::uint64_t t = static_cast<std::uint64_t>(first + i);
        std::memcpy(&out[i * 16], &t, 8);
        const std::uint16_t s[4] = {std::uint16_t(t), std::uint16_t(t >> 16), std::uint16_t(7 * t), 1};
        std::memcpy(&out[i * 16 + 8], s, 8);
    }
    return out;
}

std::vector<std::uint8_t> ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string DatName(int n) {
    char name[32];
    std::snprintf(name, sizeof name, "%08d.DAT", n);
    return name;
}

std::uint64_t FirstTime(const std::vector<std::uint8_t>& file) {
    std::uint64_t t = 0;
    std::memcpy(&t, &file[512], 8);
    return t;
}

}  // namespace

TEST(ReportDataWriter, HeaderCarriesTheApplicationWritersWords) {
    const auto h = qvx::MakeApplicationReportHeader();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(h.data()), 16), "QMRS-QV-DATA.   ");
    auto u32 = [&](std::size_t o) {
        std::uint32_t v;
        std::memcpy(&v, &h[o], 4);
        return v;
    };
    EXPECT_EQ(u32(16), 0u);
    EXPECT_EQ(u32(24), 1u);
    EXPECT_EQ(u32(28), 1040u);
    EXPECT_EQ(u32(32), 6u);
    EXPECT_EQ(u32(36), 3u);
    EXPECT_EQ(u32(40), 8u);
    for (std::size_t i = 44; i < 512; ++i) ASSERT_EQ(h[i], 0) << i;
}

TEST(ReportDataWriter, FullFileOpensTheNextOnlyWithTheNextBlockAndSplitsCrossingBlocks) {
    TempFolder dir;
    ReportDataWriter writer(dir.path, qvx::MakeApplicationReportHeader(), 100);
    ASSERT_TRUE(writer.CreateReportFile());

    auto block = MakeRecords(0, 100);
    ASSERT_TRUE(writer.WriteRecord(block.data(), 100));  // exactly fills file 0
    EXPECT_FALSE(fs::exists(dir.path / "00000001.DAT"));
    EXPECT_EQ(writer.GetFileCount(), 1);

    block = MakeRecords(100, 250);  // fills file 1 and file 2, half of file 3
    ASSERT_TRUE(writer.WriteRecord(block.data(), 250));
    writer.Close();

    const std::int64_t expected[] = {100, 100, 100, 50};
    for (int n = 0; n < 4; ++n) {
        const auto file = ReadFile(dir.path / DatName(n));
        ASSERT_EQ(file.size(), 512 + 16 * expected[n]) << n;
        EXPECT_EQ(FirstTime(file), static_cast<std::uint64_t>(100 * n));
        EXPECT_EQ(std::memcmp(file.data(), qvx::MakeApplicationReportHeader().data(), 512), 0);
    }
    EXPECT_FALSE(fs::exists(dir.path / "00000004.DAT"));
}

TEST(ReportDataWriter, BoundaryAtTheRealFileSizeSplitsIntoConsecutiveFiles) {
    TempFolder dir;
    ReportDataWriter writer(dir.path, qvx::MakeApplicationReportHeader());
    ASSERT_TRUE(writer.CreateReportFile());
    // 4 MiB blocks up to 10 records short of the boundary, then a 20-record block.
    const std::int64_t perBlock = 262'144;
    const auto block = MakeRecords(0, perBlock);
    std::int64_t written = 0;
    while (written + perBlock <= ReportDataWriter::kMaxRecordsPerFile - 10) {
        ASSERT_TRUE(writer.WriteRecord(block.data(), perBlock));
        written += perBlock;
    }
    const auto rest = MakeRecords(0, ReportDataWriter::kMaxRecordsPerFile - 10 - written);
    ASSERT_TRUE(writer.WriteRecord(rest.data(), static_cast<std::int64_t>(rest.size() / 16)));
    const auto tail = MakeRecords(1'000'000, 20);
    ASSERT_TRUE(writer.WriteRecord(tail.data(), 20));
    writer.Close();

    EXPECT_EQ(fs::file_size(dir.path / "00000000.DAT"), 512 + 16 * 33'554'432ull);
    const auto second = ReadFile(dir.path / "00000001.DAT");
    ASSERT_EQ(second.size(), 512u + 16 * 10);
    EXPECT_EQ(FirstTime(second), 1'000'010u);
}

TEST(ReportDataWriter, FailuresAreReportedNotSwallowed) {
    TempFolder dir;
    {
        ReportDataWriter missingFolder(dir.path / "no-such-folder", qvx::MakeApplicationReportHeader());
        EXPECT_FALSE(missingFolder.CreateReportFile());
        const auto block = MakeRecords(0, 4);
        EXPECT_FALSE(missingFolder.WriteRecord(block.data(), 4));  // no open file
    }

    // A file-size limit makes the kernel refuse part of the block, as a full disk would.
    ReportDataWriter writer(dir.path, qvx::MakeApplicationReportHeader());
    ASSERT_TRUE(writer.CreateReportFile());
    bool ok = true;
    {
        qvx::test::ScopedFileSizeLimit limit(512 + 16 * 1000);
        ASSERT_TRUE(limit.IsActive());
        const auto block = MakeRecords(0, 1500);
        ok = writer.WriteRecord(block.data(), 1500);
    }
    EXPECT_FALSE(ok);
}

TEST(ReportDataWriter, TheStartTimeIsInEveryHeaderWhileTheFilesAreWritten) {
    // A crash at any moment leaves files whose headers carry the trace's start time: the
    // open file gets it at once, later files when they are created, before any close.
    TempFolder dir;
    ReportDataWriter writer(dir.path, qvx::MakeApplicationReportHeader(), 4);
    ASSERT_TRUE(writer.CreateReportFile());
    const auto records = MakeRecords(0, 6);
    ASSERT_TRUE(writer.WriteRecord(records.data(), 2));
    ASSERT_TRUE(writer.SetStartTime(1'796'745'878, 819'845'798));
    ASSERT_TRUE(writer.WriteRecord(records.data() + 2 * 16, 4));  // opens 00000001.DAT
    auto startOf = [&](int n) {
        const auto file = ReadFile(dir.path / DatName(n));
        return std::pair(qvx::LoadLE64(file.data() + qvx::kHeaderOffsetStartSeconds),
                         qvx::LoadLE64(file.data() + qvx::kHeaderOffsetStartNanoseconds));
    };
    const std::pair<std::uint64_t, std::uint64_t> expected{1'796'745'878u, 819'845'798u};
    EXPECT_EQ(startOf(0), expected);
    EXPECT_EQ(startOf(1), expected);
    writer.Close();
    EXPECT_EQ(startOf(1), expected);
}

namespace {

std::size_t OpenDescriptorCount() {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

}  // namespace

// Rotation removes files through the remover: the name must be gone at once, exactly what
// std::filesystem::remove would have removed must go, and no descriptor may stay open.
TEST(DeferredFileRemover, RemovesNamesAtOnceAndReleasesEveryDescriptor) {
    TempFolder folder;
    const fs::path data = folder.path / "00000000.DAT";
    const fs::path target = folder.path / "target.DAT";
    const fs::path link = folder.path / "00000001.DAT";
    const fs::path busy = folder.path / "not-empty";
    {
        const auto records = MakeRecords(0, 1 << 16);
        std::ofstream(data, std::ios::binary)
            .write(reinterpret_cast<const char*>(records.data()),
                   static_cast<std::streamsize>(records.size()));
    }
    std::ofstream(target) << "kept";
    fs::create_symlink(target, link);
    fs::create_directories(busy / "inside");
    const std::size_t descriptorsBefore = OpenDescriptorCount();

    qvx::DeferredFileRemover remover;
    EXPECT_TRUE(remover.Remove(data));
    EXPECT_FALSE(fs::exists(data));
    EXPECT_TRUE(remover.Remove(link));
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(target), std::vector<std::uint8_t>({'k', 'e', 'p', 't'}));  // only the link went
    EXPECT_FALSE(remover.Remove(folder.path / "never-there.DAT"));
    EXPECT_THROW(remover.Remove(busy), fs::filesystem_error);
    EXPECT_TRUE(fs::exists(busy));

    remover.WaitUntilReleased();
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}

// The trigger list reads hits of the running trace through this reader, ten times a second,
// and it keeps what it read: what it keeps must never hide a file that rotation removed or
// a record that was not completely written at the first read.
TEST(WrittenRecordReader, KeptRecordsNeitherOutliveTheirFileNorStandInForUnwrittenOnes) {
    TempFolder folder;
    {
        ReportDataWriter writer(folder.path, qvx::MakeApplicationReportHeader());
        ASSERT_TRUE(writer.CreateReportFile());
        const auto records = MakeRecords(0, 10);
        ASSERT_TRUE(writer.WriteRecord(records.data(), 10));
    }
    fs::copy_file(folder.path / DatName(0), folder.path / DatName(1));
    const std::uint64_t secondFile = qvx::kRecordsPerReportFile;
    auto timeOf = [](const std::uint8_t* record) {
        std::uint64_t t = 0;
        std::memcpy(&t, record, 8);
        return t;
    };

    qvx::WrittenRecordReader reader(folder.path);
    ASSERT_NE(reader.Read(3), nullptr);
    EXPECT_EQ(timeOf(reader.Read(3)), 3u);
    ASSERT_NE(reader.Read(secondFile + 5), nullptr);
    EXPECT_EQ(timeOf(reader.Read(secondFile + 5)), 5u);

    fs::remove(folder.path / DatName(0));
    EXPECT_EQ(reader.Read(3), nullptr);

    EXPECT_EQ(reader.Read(secondFile + 12), nullptr);
    {
        const auto more = MakeRecords(10, 5);
        std::ofstream(folder.path / DatName(1), std::ios::binary | std::ios::app)
            .write(reinterpret_cast<const char*>(more.data()), static_cast<std::streamsize>(more.size()));
    }
    ASSERT_NE(reader.Read(secondFile + 12), nullptr);
    EXPECT_EQ(timeOf(reader.Read(secondFile + 12)), 12u);
}
