// Spans and the chunked record walk that exports and analyses read reports through: gaps
// between files, chunks that never cross a gap or a file, the one progress and cancel
// contract, and both ways of meeting an unreadable record.

#include "QV+AnalogCore/Export/ReportRecordWalk.h"
#include "QV+AnalogCore/Export/ReportSpan.h"
#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportFile.h"
#include "QVxCore/tests/support/ReportBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

using namespace qvx::analog;
using qvx::kRecordsPerReportFile;

namespace {

// File 0 was rotated away; file 1 ends short of its share of the indexes (1000 records), so
// the indexes jump to file 2 (500 records). Records are 100 ns apart in the order written.
class ReportWalkTest : public ::testing::Test {
protected:
    static constexpr std::uint64_t kFile1 = kRecordsPerReportFile;
    static constexpr std::uint64_t kFile2 = 2 * kRecordsPerReportFile;

    void SetUp() override {
        qvx::test::ReportBuilder(dir.Path())
            .Times([](std::uint64_t index) { return PositionOf(index) * 10; })
            .AddFile(1, 1000)
            .AddFile(2, 500);
        reader = qvx::ReportDataReader::Open(dir.Path());
        ASSERT_TRUE(reader);
    }

    static std::uint64_t PositionOf(std::uint64_t index) {
        return index < kFile2 ? index - kFile1 : 1000 + (index - kFile2);
    }

    struct Seen {
        std::vector<RecordChunk> chunks;  // pointers are not kept valid; counts and indexes are
        std::uint64_t records = 0;
        bool timesMatch = true;
    };
    static ChunkConsumer Collect(Seen& seen) {
        return [&seen](const RecordChunk& chunk) {
            for (std::uint64_t i = 0; i < chunk.count; ++i) {
                const std::uint8_t* record = chunk.records + i * qvx::kReportRecordSize;
                seen.timesMatch &= qvx::RecordTimeNs(record, chunk.timeWord) ==
                                   static_cast<std::int64_t>(PositionOf(chunk.firstIndex + i)) * 100;
            }
            seen.records += chunk.count;
            seen.chunks.push_back(chunk);
            return true;
        };
    }

    qvx::test::TempDir dir{"report_walk"};
    qvx::ReportDataReaderPtr reader;
};

}  // namespace

TEST_F(ReportWalkTest, SpansCountTheStoredRecordsAndListTheGaps) {
    EXPECT_EQ(FirstStoredIndex(*reader), kFile1);
    EXPECT_EQ(StoredRowCount(*reader), kFile2 + 500 - kFile1);

    const ReportSpan all = SpanOfRows(*reader, -1, -1);
    EXPECT_EQ(all.first, kFile1);
    EXPECT_EQ(all.end, kFile2 + 500);
    EXPECT_EQ(all.records, 1500u);
    EXPECT_EQ(all.gaps, (std::vector<IndexRange>{{kFile1 + 1000, kFile2}}));

    const ReportSpan rows = SpanOfRows(*reader, 10, 19);
    EXPECT_EQ(rows.first, kFile1 + 10);
    EXPECT_EQ(rows.records, 10u);
    EXPECT_TRUE(rows.gaps.empty());
    EXPECT_TRUE(SpanOfRows(*reader, 5, 4).IsEmpty());

    // Times: record p at p x 100 ns; from <= t < to.
    const auto times = SpanOfTimes(*reader, nullptr, 999 * 100, 1002 * 100);
    ASSERT_TRUE(times);
    EXPECT_EQ(times->first, kFile1 + 999);
    EXPECT_EQ(times->end, kFile2 + 2);
    EXPECT_EQ(times->records, 3u);
    EXPECT_EQ(times->gaps, (std::vector<IndexRange>{{kFile1 + 1000, kFile2}}));
    const auto between = SpanOfTimes(*reader, nullptr, 10 * 100 + 1, 11 * 100);  // no record inside
    ASSERT_TRUE(between);
    EXPECT_TRUE(between->IsEmpty());
    EXPECT_TRUE(SpanOfTimes(*reader, nullptr, 500, 500)->IsEmpty());
}

TEST_F(ReportWalkTest, ChunksNeverCrossAGapAndProgressFollowsEveryChunk) {
    ReportRecordWalk walk(*reader, 300, ReportRecordWalk::Unreadable::kChunk);
    Seen seen;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
    const WalkResult result =
        walk.Walk(SpanOfRows(*reader, -1, -1), Collect(seen), [&](auto done, auto total) {
            reports.emplace_back(done, total);
            return true;
        });
    EXPECT_EQ(result.outcome, WalkOutcome::kDone);
    EXPECT_EQ(result.recordsDone, 1500u);
    EXPECT_EQ(seen.records, 1500u);
    EXPECT_TRUE(seen.timesMatch);
    // 300, 300, 300, 100 up to the gap, then 300, 200 in file 2; only the first after the gap says so.
    std::vector<std::uint64_t> counts, firsts;
    std::vector<bool> afterGap;
    for (const RecordChunk& c : seen.chunks) {
        counts.push_back(c.count);
        firsts.push_back(c.firstIndex);
        afterGap.push_back(c.afterGap);
    }
    EXPECT_EQ(counts, (std::vector<std::uint64_t>{300, 300, 300, 100, 300, 200}));
    EXPECT_EQ(firsts, (std::vector<std::uint64_t>{kFile1, kFile1 + 300, kFile1 + 600, kFile1 + 900, kFile2,
                                                  kFile2 + 300}));
    EXPECT_EQ(afterGap, (std::vector<bool>{false, false, false, false, true, false}));
    ASSERT_EQ(reports.size(), 6u);
    EXPECT_EQ(reports[3], (std::pair<std::uint64_t, std::uint64_t>{1000, 1500}));
    EXPECT_EQ(reports.back(), (std::pair<std::uint64_t, std::uint64_t>{1500, 1500}));

    // A false progress answer cancels after that chunk; a false consumer answer stops at once.
    Seen cancelled;
    const WalkResult c = walk.Walk(SpanOfRows(*reader, -1, -1), Collect(cancelled),
                                   [](std::uint64_t done, std::uint64_t) { return done < 600; });
    EXPECT_EQ(c.outcome, WalkOutcome::kCancelled);
    EXPECT_EQ(c.recordsDone, 600u);
    EXPECT_EQ(cancelled.records, 600u);
    const WalkResult s = walk.Walk(SpanOfRows(*reader, -1, -1), [](const RecordChunk&) { return false; });
    EXPECT_EQ(s.outcome, WalkOutcome::kStopped);
    EXPECT_EQ(s.recordsDone, 300u);
}

TEST_F(ReportWalkTest, AnUnreadableRecordEndsTheWalkAtItsRecordOrAtItsChunk) {
    // File 2 holds three reader blocks and loses all but the first after the report was opened.
    constexpr std::uint64_t kBlock = qvx::ReportFile::kBlockRecords;
    qvx::test::TempDir shrinking("report_walk_shrinking");
    qvx::test::ReportBuilder(shrinking.Path())
        .Times([](std::uint64_t index) { return PositionOf(index) * 10; })
        .AddFile(1, 1000)
        .AddFile(2, 3 * kBlock);
    const qvx::ReportDataReaderPtr shrunk = qvx::ReportDataReader::Open(shrinking.Path());
    ASSERT_TRUE(shrunk);
    const ReportSpan span = SpanOfRows(*shrunk, -1, -1);
    std::filesystem::resize_file(shrinking.Path() / "00000002.DAT",
                                 qvx::kReportHeaderSize + kBlock * qvx::kReportRecordSize);

    ReportRecordWalk exact(*shrunk, 300, ReportRecordWalk::Unreadable::kFindRecord);
    Seen seen;
    const WalkResult r = exact.Walk(span, Collect(seen));
    EXPECT_EQ(r.outcome, WalkOutcome::kUnreadable);
    EXPECT_EQ(r.unreadableIndex, kFile2 + kBlock);
    EXPECT_EQ(seen.records, 1000 + kBlock);  // every record before it, the last ones one by one
    EXPECT_EQ(r.recordsDone, 1000 + kBlock);
    EXPECT_TRUE(seen.timesMatch);

    ReportRecordWalk whole(*shrunk, 300, ReportRecordWalk::Unreadable::kChunk);
    Seen chunked;
    const WalkResult w = whole.Walk(span, Collect(chunked));
    EXPECT_EQ(w.outcome, WalkOutcome::kUnreadable);
    EXPECT_EQ(w.unreadableIndex,
              kFile2 + kBlock / 300 * 300);  // the chunk that failed, none of it handed over
    EXPECT_EQ(chunked.records, 1000 + kBlock / 300 * 300);
}
