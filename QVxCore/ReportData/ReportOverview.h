#pragma once
// The overviews of all files of one opened report, addressed by the report's global
// record indexes: a level-0 block is named by the index of its first record (a multiple
// of 64 within its file). Files deleted by rotation have none.
//
// Not thread-safe; used under the same rules as the report reader it was opened for.

#include "QVxCore/ReportData/ReportOverviewFile.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace qvx {

class ReportDataReader;

class ReportOverview {
public:
    // The overviews of every existing file of `reader`, or null when one is missing, stale
    // or damaged; those files go to `needed` (when given), in file order.
    static std::shared_ptr<ReportOverview> Open(const ReportDataReader& reader,
                                                std::vector<std::filesystem::path>* needed = nullptr);

    // Index of the first record of the first level-0 block whose time is >= `time` (ticks);
    // the report's total record count when there is none. None when damaged.
    std::optional<std::uint64_t> LowerBoundBlock(std::uint64_t time);

    // Statistics of the records of the level-0 blocks that begin in [first, end). `first`
    // is a block start; records of the report's index range that no file holds are skipped.
    // Without `withSums` only min and max are folded (see ReportOverviewFile::Fold).
    std::optional<overview::BlockStats> Fold(std::uint64_t first, std::uint64_t end, bool withSums = true);

    // Asks the kernel to read ahead the level-0 entries of the blocks that begin in
    // [first, end) (see ReportOverviewFile::AdviseWillNeed).
    void AdviseWillNeed(std::uint64_t first, std::uint64_t end) const;

    // Time of the block beginning with record `blockStart` (ticks); none when damaged.
    std::optional<std::uint64_t> BlockTime(std::uint64_t blockStart);

    // The start of the level-0 block holding record `index`.
    std::uint64_t BlockStartOf(std::uint64_t index) const;

    std::uint64_t GetTotalRecordCount() const { return m_totalRecordCount; }
    // True once a query found damage; the overview should then be rebuilt.
    bool IsDamaged() const;
    // The data files whose overviews were found damaged, to be rebuilt.
    std::vector<std::filesystem::path> GetDamagedFiles() const;
    // Opened file overviews, by file slot (null for placeholders), for the reader's block table.
    const std::vector<std::unique_ptr<ReportOverviewFile>>& GetFiles() const { return m_files; }

private:
    struct Slot {
        std::uint64_t firstIndex = 0;
        std::uint64_t recordCount = 0;
    };
    // Calls fn(file, b0, b1) for each file holding records of [first, end), with its level-0
    // blocks [b0, b1) that begin in that range; stops at the first call that returns false.
    template <class Fn>
    bool ForEachFileBlocks(std::uint64_t first, std::uint64_t end, Fn&& fn) const;

    std::vector<std::unique_ptr<ReportOverviewFile>> m_files;
    std::vector<Slot> m_slots;
    std::vector<std::filesystem::path> m_dataFiles;  // by slot; empty for placeholders
    std::uint64_t m_totalRecordCount = 0;
};

}  // namespace qvx
