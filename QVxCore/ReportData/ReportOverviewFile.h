#pragma once
// The opened overview of one report data file. Opening checks the header (magic, version,
// sizes, the data file's size and record count it was built from) and the checksum of
// everything but the level-0 entries, which stay mapped and are checked one level-1 group
// at a time when first used. A failed group check marks the overview damaged: every
// later query fails, and the caller rebuilds it.
//
// Not thread-safe; used under the same rules as the report reader.

#include "QVxCore/ReportData/ReportOverviewFormat.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace qvx {

class ReportOverviewFile {
public:
    // Level-0 entries summarized in memory (minimum and maximum) per aligned run of this
    // many: a fold without sums of a whole run merges one summary instead of 16 entries.
    static constexpr std::uint64_t kRunEntries = 16;
    static_assert(overview::kLevel0PerLevel1 % kRunEntries == 0);

    enum class Status { kValid, kMissing, kStale, kDamaged };

    struct Opened {
        std::unique_ptr<ReportOverviewFile> file;  // set when kValid
        Status status = Status::kMissing;
    };

    // Opens `overviewPath` as the overview of `dataFile` (whose current size it must match).
    static Opened Open(const std::filesystem::path& overviewPath, const std::filesystem::path& dataFile);

    ~ReportOverviewFile();
    ReportOverviewFile(const ReportOverviewFile&) = delete;
    ReportOverviewFile& operator=(const ReportOverviewFile&) = delete;

    std::uint64_t GetRecordCount() const { return m_records; }
    std::uint64_t GetFirstTime() const { return m_firstTime; }  // ticks; 0 without records
    std::uint64_t GetLastTime() const { return m_lastTime; }    // ticks; 0 without records
    std::uint64_t GetBlockCount(std::size_t level) const { return m_layout.counts[level]; }
    // Level-1 entries: one per 8192 records, the reader's block table.
    const std::vector<overview::Entry>& GetLevel1() const { return m_level1; }
    bool IsDamaged() const { return m_damaged; }

    // Index of the first level-0 block whose first record's time is >= `time` (ticks);
    // the block count when there is none. None when the overview turned out damaged.
    std::optional<std::uint64_t> LowerBoundBlock(std::uint64_t time);

    // Statistics of level-0 blocks [first, end), from the coarsest entries that fit.
    // Without `withSums` only min and max are folded (the sums stay partial): what the
    // waveform view needs, at a quarter of the bytes per level-0 entry.
    std::optional<overview::BlockStats> Fold(std::uint64_t first, std::uint64_t end, bool withSums = true);

    // Time of level-0 block `block`; none when damaged.
    std::optional<std::uint64_t> BlockTime(std::uint64_t block);

    // Asks the kernel to read the level-0 entries of blocks [first, end) into the page cache
    // in the background. Only a hint: a scan that folds them next then finds them there,
    // instead of faulting the cold map in one page at a time.
    void AdviseWillNeed(std::uint64_t first, std::uint64_t end) const;

private:
    ReportOverviewFile() = default;
    // The mapped level-0 entry `block` after its group was checked; null when damaged.
    const std::uint8_t* Level0(std::uint64_t block);
    // Fills the run summaries of level-0 entries [first, first + count), one checked group.
    void SummarizeRuns(std::uint64_t first, std::uint64_t count);

    const std::uint8_t* m_map = nullptr;
    std::size_t m_mapBytes = 0;
    overview::Layout m_layout;
    std::uint64_t m_records = 0;
    std::uint64_t m_firstTime = 0;
    std::uint64_t m_lastTime = 0;
    std::vector<std::uint64_t> m_groupChecksums;
    std::vector<std::uint8_t> m_groupChecked;  // 1 once group g was checked and found good
    // Min and max of each run of 16 level-0 entries, filled when its group is checked: a
    // window's column edges then take at most 15 entries on each side of a run.
    struct MinMax {
        std::array<std::uint16_t, kRecordChannelCount> min{};
        std::array<std::uint16_t, kRecordChannelCount> max{};
    };
    std::vector<MinMax> m_runs;
    std::vector<overview::Entry> m_level1;
    std::vector<overview::Entry> m_level2;
    bool m_damaged = false;
};

}  // namespace qvx
