#pragma once
// Generated two-file reports for the stored-report analysis tests: file 0 ends short of its
// share of the index range (as a split file does), so global indexes jump where file 1
// begins while the time runs on. Each record is 100 ns (10 ticks) after the one before,
// except where an optional gap in time puts `gapNs` more before the record at `gapAt`.

#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportOverview.h"
#include "QVxCore/ReportData/ReportOverviewStore.h"
#include "QVxCore/tests/support/ReportBuilder.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace qvx::test {

struct ReportTimeGap {
    std::uint64_t gapAt = UINT64_MAX;  // position of the first record after the gap
    std::int64_t gapNs = 0;            // multiple of 10
};

class TwoFileReport {
public:
    using Signal = std::function<Samples(std::uint64_t position)>;

    // `firstFileRecords` + `secondFileRecords` records; `signal` gives the samples of the
    // record at each position (0 = first record of the report).
    using TimeGap = ReportTimeGap;

    TwoFileReport(const std::string& tag, std::uint64_t firstFileRecords, std::uint64_t secondFileRecords,
                  Signal signal, TimeGap gap = {})
        : m_dir(tag), m_firstFileRecords(firstFileRecords), m_signal(std::move(signal)), m_gap(gap) {
        ReportBuilder builder(m_dir.Path() / "repo");
        builder
            .Times([this](std::uint64_t index) {
                return static_cast<std::uint64_t>(TimeAt(PositionOf(index)) / 10);
            })
            .SampleValues([this](std::uint64_t index) { return m_signal(PositionOf(index)); })
            .AddFile(0, firstFileRecords)
            .AddFile(1, secondFileRecords);
        m_count = firstFileRecords + secondFileRecords;
        m_reader = ReportDataReader::Open(builder.Folder());
        EXPECT_TRUE(m_reader);
        std::vector<std::filesystem::path> needed;
        m_overview = ReportOverview::Open(*m_reader, &needed);
        for (const auto& f : needed) EXPECT_TRUE(ReportOverviewStore::Build(f));
        if (!m_overview) m_overview = ReportOverview::Open(*m_reader);
        EXPECT_TRUE(m_overview);
    }

    std::uint64_t PositionOf(std::uint64_t index) const {
        return index < kRecordsPerReportFile ? index : m_firstFileRecords + (index - kRecordsPerReportFile);
    }
    std::uint64_t IndexAt(std::uint64_t position) const {
        return position < m_firstFileRecords ? position
                                             : kRecordsPerReportFile + (position - m_firstFileRecords);
    }
    static std::int64_t TimeNsAt(std::uint64_t position) { return static_cast<std::int64_t>(position) * 100; }
    // The time of a record with the gap, if any (ns).
    std::int64_t TimeAt(std::uint64_t position) const {
        return TimeNsAt(position) + (position >= m_gap.gapAt ? m_gap.gapNs : 0);
    }
    Samples SamplesAt(std::uint64_t position) const { return m_signal(position); }

    std::uint64_t Count() const { return m_count; }
    std::uint64_t FirstFileRecords() const { return m_firstFileRecords; }
    ReportDataReader& Reader() { return *m_reader; }
    ReportOverview* Overview() { return m_overview.get(); }

private:
    TempDir m_dir;
    std::uint64_t m_firstFileRecords;
    Signal m_signal;
    TimeGap m_gap;
    std::uint64_t m_count = 0;
    ReportDataReaderPtr m_reader;
    std::shared_ptr<ReportOverview> m_overview;
};

}  // namespace qvx::test
