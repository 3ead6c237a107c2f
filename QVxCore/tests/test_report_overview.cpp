// Report overviews: building, validation (stale, truncated, damaged) and per-column
// folding compared with a brute-force fold of every record.

#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportEnvelope.h"
#include "QVxCore/ReportData/ReportOverview.h"
#include "QVxCore/ReportData/ReportOverviewBuilder.h"
#include "QVxCore/ReportData/ReportOverviewRecorder.h"
#include "QVxCore/ReportData/ReportOverviewStore.h"
#include "QVxCore/tests/support/BruteEnvelope.h"
#include "QVxCore/tests/test_report_support.h"

#include <gtest/gtest.h>

#include <fmt/format.h>

#include <cstring>
#include <fstream>
#include <random>
#include <set>

namespace fs = std::filesystem;
using qvx::ReportOverview;
using qvx::ReportOverviewFile;
using qvx::ReportOverviewStore;
using qvx::test::ReportBuilder;
using qvx::test::TempDir;
namespace envelope = qvx::envelope;

namespace {

// Irregular but non-decreasing times (7 ticks apart, every fifth 3 later) and one-record
// spikes at odd indexes: CH2 jumps to 16383, CH4 drops to 0; one CH1 sample is 65535
// (limited to 16383 like every decoded sample).
const std::set<std::uint64_t> kSpikes = {1, 63, 65, 777, 8191, 8193, 262145, 300'001};
std::uint64_t SpikyTime(std::uint64_t i) {
    return 1000 + i * 7 + (i % 5 == 0 ? 3 : 0);
}
qvx::test::Samples SpikySamples(std::uint64_t i) {
    const bool spike = kSpikes.count(i % qvx::kRecordsPerReportFile) > 0;
    const auto ch1 = static_cast<std::uint16_t>(i == 4321 ? 65535 : 4000 + (i * 37) % 8000);
    return {ch1, static_cast<std::uint16_t>(spike ? 16383 : 8000), static_cast<std::uint16_t>(i % 16384),
            static_cast<std::uint16_t>(spike ? 0 : 9000)};
}

ReportBuilder SpikyReport(const fs::path& folder) {
    ReportBuilder b(folder);
    b.Times(&SpikyTime).SampleValues(&SpikySamples);
    return b;
}

std::shared_ptr<ReportOverview> IndexedOverview(const qvx::ReportDataReader& reader) {
    std::vector<fs::path> needed;
    if (auto ov = ReportOverview::Open(reader, &needed)) return ov;
    for (const fs::path& f : needed) EXPECT_TRUE(ReportOverviewStore::Build(f));
    return ReportOverview::Open(reader);
}

std::vector<std::uint64_t> Boundaries(std::int64_t from, std::int64_t to, std::int64_t n) {
    std::vector<std::uint64_t> out;
    for (std::int64_t s : envelope::ColumnStarts(from, to, static_cast<std::uint32_t>(n)))
        out.push_back(qvx::TicksAtOrAfterNs(s));
    return out;
}

// Exact folding with and without the overview against the brute-force fold.
void ExpectExact(qvx::ReportDataReader& reader, ReportOverview* ov, const ReportBuilder& report,
                 const std::vector<std::pair<std::uint64_t, std::uint64_t>>& ranges, std::int64_t from,
                 std::int64_t to, std::int64_t n) {
    SCOPED_TRACE(::testing::Message() << "window [" << from << ", " << to << ") in " << n << " columns");
    const auto expected = qvx::test::BruteEnvelope(report, ranges, from, to, n);
    std::vector<envelope::Column> withOverview, decoded;
    ASSERT_TRUE(envelope::FoldExact(reader, ov, Boundaries(from, to, n), withOverview));
    ASSERT_TRUE(envelope::FoldExact(reader, nullptr, Boundaries(from, to, n), decoded));
    EXPECT_EQ(qvx::test::FirstDifference(withOverview, expected), -1);
    EXPECT_EQ(qvx::test::FirstDifference(decoded, expected), -1);
}

std::int64_t NsOf(const ReportBuilder& report, std::uint64_t index) {
    return static_cast<std::int64_t>(report.TimeAt(index)) * 10;
}

void FlipByte(const fs::path& path, std::uint64_t offset) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekg(static_cast<std::streamoff>(offset));
    char c = 0;
    f.get(c);
    f.seekp(static_cast<std::streamoff>(offset));
    f.put(static_cast<char>(c ^ 0x40));
}

}  // namespace

TEST(ReportOverviewTest, ColumnStartsAreExactOverTheWholeSignedRange) {
    const std::int64_t from = std::numeric_limits<std::int64_t>::min() + 1;
    const std::int64_t to = std::numeric_limits<std::int64_t>::max();
    const auto starts = envelope::ColumnStarts(from, to, 100'000);
    ASSERT_EQ(starts.size(), 100'001u);
    for (std::int64_t c : {0, 1, 777, 99'999, 100'000}) {
        const __int128 width = static_cast<__int128>(to) - from;
        const __int128 offset = (c * width + 100'000 - 1) / 100'000;
        EXPECT_EQ(starts[static_cast<std::size_t>(c)], static_cast<std::int64_t>(from + offset)) << c;
    }
    EXPECT_EQ(qvx::TicksAtOrAfterNs(-5), 0u);
    EXPECT_EQ(qvx::TicksAtOrAfterNs(20), 2u);
    EXPECT_EQ(qvx::TicksAtOrAfterNs(21), 3u);
}

TEST(ReportOverviewTest, StaleTruncatedOrDamagedOverviewsAreRefusedAndRebuilt) {
    TempDir dir("overview-valid");
    const fs::path repo = dir.Path() / "repo";
    const std::uint64_t kRecords = 300'002;
    ReportBuilder report = SpikyReport(repo);
    report.AddFile(0, kRecords);
    const fs::path dat = repo / "00000000.DAT";
    const fs::path ovw = ReportOverviewStore::SiblingPath(dat);
    EXPECT_EQ(ovw, dir.Path() / "repo.overview" / "00000000.OVW");
    EXPECT_EQ(ReportOverviewStore::Open(dat).status, ReportOverviewFile::Status::kMissing);

    ASSERT_TRUE(ReportOverviewStore::Build(dat));
    {
        auto opened = ReportOverviewStore::Open(dat);
        ASSERT_EQ(opened.status, ReportOverviewFile::Status::kValid);
        EXPECT_EQ(opened.file->GetRecordCount(), kRecords);
        EXPECT_EQ(opened.file->GetFirstTime(), SpikyTime(0));
        EXPECT_EQ(opened.file->GetLastTime(), SpikyTime(kRecords - 1));
        EXPECT_EQ(opened.file->GetBlockCount(0), (kRecords + 63) / 64);
        EXPECT_EQ(opened.file->GetLevel1().size(), (kRecords + 8191) / 8192);
    }
    const std::uint64_t size = fs::file_size(ovw);
    const auto damage = [&](const char* what, auto&& spoil, ReportOverviewFile::Status expected) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(ReportOverviewStore::Build(dat));
        spoil();
        EXPECT_EQ(ReportOverviewStore::Open(dat).status, expected);
        auto reader = qvx::ReportDataReader::Open(repo);
        ASSERT_TRUE(reader);
        std::vector<fs::path> needed;
        EXPECT_FALSE(ReportOverview::Open(*reader, &needed));
        EXPECT_EQ(needed, std::vector<fs::path>{dat});
        auto ov = IndexedOverview(*reader);
        ASSERT_TRUE(ov);
        const std::uint64_t records = reader->GetTotalRecordCount();
        ExpectExact(*reader, ov.get(), report, {{0, records}}, 0, NsOf(report, records - 1) + 10, 1920);
    };
    damage(
        "truncated", [&] { fs::resize_file(ovw, size - 8); }, ReportOverviewFile::Status::kDamaged);
    damage(
        "tail byte flipped", [&] { FlipByte(ovw, size - 3); }, ReportOverviewFile::Status::kDamaged);
    damage(
        "header byte flipped", [&] { FlipByte(ovw, qvx::overview::kOvwOffsetFirstTime); },
        ReportOverviewFile::Status::kDamaged);
    damage(
        "magic", [&] { FlipByte(ovw, 0); }, ReportOverviewFile::Status::kDamaged);
    damage(
        "wrong version", [&] { FlipByte(ovw, qvx::overview::kOvwOffsetVersion); },
        ReportOverviewFile::Status::kStale);
    damage(
        "data file grown after indexing", [&] { report.AddFile(0, kRecords + 64); },
        ReportOverviewFile::Status::kStale);
}

TEST(ReportOverviewTest, DamagedLevelZeroEntriesAreFoundWhenUsedAndNeverShown) {
    TempDir dir("overview-level0");
    const fs::path repo = dir.Path() / "repo";
    ReportBuilder report = SpikyReport(repo);
    report.AddFile(0, 100'000);
    const fs::path dat = repo / "00000000.DAT";
    ASSERT_TRUE(ReportOverviewStore::Build(dat));
    // Level-0 entry 12 (records 768..831), inside its maximum of CH2.
    FlipByte(ReportOverviewStore::SiblingPath(dat), qvx::overview::kHeaderBytes + 12 * 88 + 18);

    auto reader = qvx::ReportDataReader::Open(repo);
    ASSERT_TRUE(reader);
    auto ov = ReportOverview::Open(*reader);
    ASSERT_TRUE(ov);  // the header and coarse levels are intact
    std::vector<envelope::Column> cols;
    EXPECT_FALSE(envelope::FoldByBlocks(*ov, Boundaries(0, NsOf(report, 2000), 3), cols));
    EXPECT_TRUE(ov->IsDamaged());
    ASSERT_TRUE(ReportOverviewStore::Build(dat));
    ov = ReportOverview::Open(*reader);
    ASSERT_TRUE(ov);
    ExpectExact(*reader, ov.get(), report, {{0, 100'000}}, 0, NsOf(report, 2000), 3);
}

TEST(ReportOverviewTest, ExactColumnsMatchEveryRecordOnOneFile) {
    TempDir dir("overview-exact");
    const fs::path repo = dir.Path() / "repo";
    const std::uint64_t kRecords = 300'002;  // one full level-2 block, partial level-1 and level-0 blocks
    ReportBuilder report = SpikyReport(repo);
    report.AddFile(0, kRecords);
    auto reader = qvx::ReportDataReader::Open(repo);
    ASSERT_TRUE(reader);
    auto ov = IndexedOverview(*reader);
    ASSERT_TRUE(ov);
    const std::vector<std::pair<std::uint64_t, std::uint64_t>> all{{0, kRecords}};
    const std::int64_t first = NsOf(report, 0), last = NsOf(report, kRecords - 1);

    ExpectExact(*reader, ov.get(), report, all, first, last + 1, 1);      // level-2 blocks
    ExpectExact(*reader, ov.get(), report, all, first, last + 1, 7);      // level-1 blocks
    ExpectExact(*reader, ov.get(), report, all, first, last + 1, 1920);   // columns split blocks
    ExpectExact(*reader, ov.get(), report, all, -12345, last * 3, 1000);  // before the start, past the end
    ExpectExact(*reader, ov.get(), report, all, last, last + 10, 5);      // the last record alone
    ExpectExact(*reader, ov.get(), report, all, first, first + 1, 1);     // the first record alone
    ExpectExact(*reader, ov.get(), report, all, first, NsOf(report, 300), 100'000);  // mostly empty columns
    ExpectExact(*reader, ov.get(), report, all, last + 10, last + 1000, 3);          // all past the end

    std::mt19937_64 rng(15);
    for (int k = 0; k < 12; ++k) {
        const auto a = static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(last + 100)) - 50;
        const auto b = a + 1 + static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(last - a + 100));
        ExpectExact(*reader, ov.get(), report, all, a, b, 1 + static_cast<std::int64_t>(rng() % 3000));
    }
}

TEST(ReportOverviewTest, BlockColumnsTakeEachBlockOnceAndKeepEverySpike) {
    TempDir dir("overview-blocks");
    const fs::path repo = dir.Path() / "repo";
    const std::uint64_t kRecords = 300'002;
    ReportBuilder report = SpikyReport(repo);
    report.AddFile(0, kRecords);
    auto reader = qvx::ReportDataReader::Open(repo);
    ASSERT_TRUE(reader);
    auto ov = IndexedOverview(*reader);
    ASSERT_TRUE(ov);
    const std::int64_t n = 40;
    std::vector<envelope::Column> cols;
    ASSERT_TRUE(envelope::FoldByBlocks(*ov, Boundaries(0, NsOf(report, kRecords - 1) + 10, n), cols));

    std::uint64_t next = 0;  // each column continues where the previous one ended
    std::set<std::uint64_t> spikeColumns;
    for (std::size_t c = 0; c < cols.size(); ++c) {
        if (cols[c].empty) continue;
        EXPECT_EQ(cols[c].first, next) << c;
        EXPECT_EQ(cols[c].first % 64, 0u);
        EXPECT_EQ(cols[c].firstTime, report.TimeAt(cols[c].first));
        const std::uint64_t end = std::min(cols[c].last + 64, kRecords);
        qvx::overview::BlockStats decoded;
        ASSERT_TRUE(envelope::FoldDecoded(*reader, cols[c].first, end, decoded));
        EXPECT_EQ(cols[c].stats.min, decoded.min) << c;  // block columns fold min and max only
        EXPECT_EQ(cols[c].stats.max, decoded.max) << c;
        if (cols[c].stats.max[1] == 16383) spikeColumns.insert(c);
        next = end;
    }
    EXPECT_EQ(next, kRecords);
    std::set<std::uint64_t> expected;  // the column of each spike's block
    for (std::uint64_t s : kSpikes) {
        if (s >= kRecords) continue;
        for (std::size_t c = 0; c < cols.size(); ++c) {
            if (!cols[c].empty && cols[c].first <= s && s < cols[c].last + 64) expected.insert(c);
        }
    }
    EXPECT_EQ(spikeColumns, expected);
}

TEST(ReportOverviewTest, ExactColumnsAcrossFilesOfARotatedReport) {
    // File 0 was deleted by rotation (a placeholder), file 1 is full, file 2 short.
    TempDir dir("overview-files");
    const fs::path repo = dir.Path() / "repo";
    const std::uint64_t full = qvx::kRecordsPerReportFile;
    ReportBuilder report = SpikyReport(repo);
    report.AddFile(1, full).AddFile(2, 100'001);
    auto reader = qvx::ReportDataReader::Open(repo);
    ASSERT_TRUE(reader);
    ASSERT_EQ(reader->GetFirstFileIndex(), 1);
    auto ov = IndexedOverview(*reader);
    ASSERT_TRUE(ov);
    const std::vector<std::pair<std::uint64_t, std::uint64_t>> held{{full, 2 * full + 100'001}};
    const std::int64_t first = NsOf(report, full), last = NsOf(report, 2 * full + 100'000);
    const std::int64_t boundary = NsOf(report, 2 * full);

    ExpectExact(*reader, ov.get(), report, held, 0, last + 10, 1920);
    ExpectExact(*reader, ov.get(), report, held, first, last + 1, 3);
    ExpectExact(*reader, ov.get(), report, held, boundary - 5000, boundary + 5000, 333);  // across the files
    ExpectExact(*reader, ov.get(), report, held, last - 70, last * 2, 9);
}

TEST(ReportOverviewTest, OpeningTakesTheBlockTableFromTheOverview) {
    TempDir dir("overview-open");
    const fs::path repo = dir.Path() / "repo";
    ReportBuilder report = SpikyReport(repo);
    report.AddFile(0, 20'000).AddFile(1, 0);  // a partial last block, and an empty last file
    auto plain = qvx::ReportDataReader::Open(repo);
    ASSERT_TRUE(plain);
    ASSERT_TRUE(IndexedOverview(*plain));
    auto fromOverview = qvx::ReportDataReader::Open(repo);
    ASSERT_TRUE(fromOverview);
    ASSERT_EQ(fromOverview->GetFiles().size(), 2u);
    for (std::size_t f = 0; f < 2; ++f) {
        const auto& a = *plain->GetFiles()[f];
        const auto& b = *fromOverview->GetFiles()[f];
        EXPECT_EQ(a.GetStartTime(), b.GetStartTime());
        EXPECT_EQ(a.GetEndTime(), b.GetEndTime());
        ASSERT_EQ(a.GetBlocks().size(), b.GetBlocks().size());
        for (std::size_t k = 0; k < a.GetBlocks().size(); ++k) {
            EXPECT_EQ(a.GetBlocks()[k].startTime, b.GetBlocks()[k].startTime);
            EXPECT_EQ(a.GetBlocks()[k].endTime, b.GetBlocks()[k].endTime);
            EXPECT_EQ(a.GetBlocks()[k].recordCount, b.GetBlocks()[k].recordCount);
        }
    }
    EXPECT_EQ(fromOverview->GetLastTime(), plain->GetLastTime());
    std::uint64_t index = 0, time = 0;
    ASSERT_TRUE(fromOverview->FindIndexByTime(SpikyTime(12'345) + 1, index, time));
    EXPECT_EQ(index, 12'345u);
}

TEST(ReportOverviewTest, AnOverviewThatCannotGoBesideTheReportGoesToTheCacheFolder) {
    TempDir dir("overview-cache");
    const fs::path repo = dir.Path() / "repo";
    ReportBuilder report = SpikyReport(repo);
    report.AddFile(0, 70'000);
    const fs::path dat = repo / "00000000.DAT";
    // A file where the sibling folder belongs: the folder cannot be made.
    std::ofstream(ReportOverviewStore::SiblingFolder(repo)) << "not a folder";
    const fs::path previousRoot = ReportOverviewStore::GetCacheRoot();
    ReportOverviewStore::SetCacheRoot(dir.Path() / "cache");

    ASSERT_TRUE(ReportOverviewStore::Build(dat));
    const fs::path cached = ReportOverviewStore::CachePath(dat);
    EXPECT_EQ(cached.parent_path().parent_path(), dir.Path() / "cache" / "overview");
    EXPECT_TRUE(fs::is_regular_file(cached));
    EXPECT_EQ(ReportOverviewStore::Open(dat).status, ReportOverviewFile::Status::kValid);
    auto reader = qvx::ReportDataReader::Open(repo);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(ReportOverview::Open(*reader));

    // Deleting the data file's overview reaches the cache copy too.
    ReportOverviewStore::Remove(dat);
    EXPECT_FALSE(fs::exists(cached));
    ReportOverviewStore::SetCacheRoot(previousRoot);
}

// During a trace each full file's overview is stored on a thread of its own while the next
// file is folded: every file must still get its own overview, equal to one built from
// exactly its records, and all of them must be on disk when Finish returns; that of a file
// rotation removed meanwhile must not stay behind.
TEST(ReportOverviewRecorderTest, FullFilesAreStoredAsideAndFinishWaitsForAllOfThem) {
    TempDir dir("recorder");
    constexpr std::uint64_t kPerFile = 1000;
    constexpr std::uint64_t kRecords = 3 * kPerFile + 457;
    std::vector<std::uint8_t> records(kRecords * qvx::kReportRecordSize);
    for (std::uint64_t i = 0; i < kRecords; ++i) {
        const std::uint64_t time = SpikyTime(i);
        const qvx::test::Samples samples = SpikySamples(i);
        std::memcpy(&records[i * qvx::kReportRecordSize], &time, 8);
        std::memcpy(&records[i * qvx::kReportRecordSize + 8], samples.data(), 8);
    }
    // The writer's data files, but for file 1, which rotation removed while it was stored:
    // its overview must not be left behind.
    for (const int file : {0, 2, 3}) std::ofstream(dir.Path() / fmt::format("{:08d}.DAT", file));
    {
        qvx::ReportOverviewRecorder recorder(dir.Path(), kPerFile);
        for (std::uint64_t at = 0; at < kRecords; at += 333) {
            const std::uint64_t n = std::min<std::uint64_t>(333, kRecords - at);
            recorder.Append(&records[at * qvx::kReportRecordSize], n);
        }
        recorder.Finish();
        EXPECT_FALSE(fs::exists(ReportOverviewStore::SiblingPath(dir.Path() / "00000001.DAT")));
        for (const std::uint64_t file : {0, 2, 3}) {
            const std::uint64_t first = file * kPerFile;
            const std::uint64_t count = std::min(kPerFile, kRecords - first);
            qvx::ReportOverviewBuilder expected;
            expected.Append(&records[first * qvx::kReportRecordSize], count);
            const fs::path dat = dir.Path() / fmt::format("{:08d}.DAT", file);
            std::ifstream in(ReportOverviewStore::SiblingPath(dat), std::ios::binary);
            const std::vector<std::uint8_t> stored{std::istreambuf_iterator<char>(in), {}};
            EXPECT_TRUE(stored == expected.Serialize(qvx::kReportHeaderSize + count * qvx::kReportRecordSize))
                << file;
        }
    }
    EXPECT_FALSE(fs::exists(ReportOverviewStore::SiblingPath(dir.Path() / "00000004.DAT")));
}
