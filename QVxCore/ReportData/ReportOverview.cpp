#include "QVxCore/ReportData/ReportOverview.h"

#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportOverviewStore.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace qvx {

namespace {
using overview::kLevel0Records;
}

std::shared_ptr<ReportOverview> ReportOverview::Open(const ReportDataReader& reader,
                                                     std::vector<fs::path>* needed) {
    auto result = std::make_shared<ReportOverview>();
    bool complete = true;
    for (const auto& file : reader.GetFiles()) {
        result->m_slots.push_back(
            {file->GetFirstIndex(), file->IsPlaceholder() ? 0 : file->GetRecordCount()});
        result->m_dataFiles.push_back(file->GetPath());
        if (file->IsPlaceholder()) {
            result->m_files.push_back(nullptr);
            continue;
        }
        ReportOverviewFile::Opened opened = ReportOverviewStore::Open(file->GetPath());
        // The data file may have grown since the reader opened it: the overview must
        // describe the records the reader knows.
        if (opened.file && opened.file->GetRecordCount() != file->GetRecordCount()) opened.file.reset();
        if (!opened.file) {
            complete = false;
            if (needed) needed->push_back(file->GetPath());
        }
        result->m_files.push_back(std::move(opened.file));
    }
    result->m_totalRecordCount = reader.GetTotalRecordCount();
    return complete ? result : nullptr;
}

bool ReportOverview::IsDamaged() const {
    return std::any_of(m_files.begin(), m_files.end(), [](const auto& f) { return f && f->IsDamaged(); });
}

std::vector<fs::path> ReportOverview::GetDamagedFiles() const {
    std::vector<fs::path> out;
    for (std::size_t s = 0; s < m_files.size(); ++s) {
        if (m_files[s] && m_files[s]->IsDamaged()) out.push_back(m_dataFiles[s]);
    }
    return out;
}

std::uint64_t ReportOverview::BlockStartOf(std::uint64_t index) const {
    const auto slot = std::min<std::size_t>(index / kRecordsPerReportFile, m_slots.size() - 1);
    const std::uint64_t first = m_slots[slot].firstIndex;
    return index < first ? index : first + (index - first) / kLevel0Records * kLevel0Records;
}

std::optional<std::uint64_t> ReportOverview::LowerBoundBlock(std::uint64_t time) {
    // The last file with records whose first block starts before `time` holds the answer,
    // or, when all its blocks start before it, the next file with records begins with it.
    std::optional<std::size_t> candidate;
    std::optional<std::size_t> firstWithRecords;
    for (std::size_t s = 0; s < m_files.size(); ++s) {
        if (!m_files[s] || m_files[s]->GetRecordCount() == 0) continue;
        if (!firstWithRecords) firstWithRecords = s;
        if (m_files[s]->GetFirstTime() < time) candidate = s;
    }
    if (!firstWithRecords) return m_totalRecordCount;
    if (!candidate) return m_slots[*firstWithRecords].firstIndex;
    const auto block = m_files[*candidate]->LowerBoundBlock(time);
    if (!block) return std::nullopt;
    if (*block < m_files[*candidate]->GetBlockCount(0))
        return m_slots[*candidate].firstIndex + *block * kLevel0Records;
    for (std::size_t s = *candidate + 1; s < m_files.size(); ++s) {
        if (m_files[s] && m_files[s]->GetRecordCount() > 0) return m_slots[s].firstIndex;
    }
    return m_totalRecordCount;
}

template <class Fn>
bool ReportOverview::ForEachFileBlocks(std::uint64_t first, std::uint64_t end, Fn&& fn) const {
    // Slot s holds records of [s x records per file, (s + 1) x records per file), except that
    // the last one may hold more (the reader takes a longer last file). So only the slots from
    // `first`'s to `end`'s are looked at (the last one for records beyond it): a scan folds a
    // block at a time, and a long report has hundreds of slots.
    if (m_files.empty()) return true;
    const std::size_t from = std::min<std::size_t>(first / kRecordsPerReportFile, m_files.size() - 1);
    const std::size_t to = std::max(
        from + 1, std::min(m_files.size(), static_cast<std::size_t>((end + kRecordsPerReportFile - 1) /
                                                                    kRecordsPerReportFile)));
    for (std::size_t s = from; s < to; ++s) {
        const Slot& slot = m_slots[s];
        if (!m_files[s] || slot.recordCount == 0) continue;
        const std::uint64_t lo = std::max(first, slot.firstIndex);
        const std::uint64_t hi = std::min(end, slot.firstIndex + slot.recordCount);
        if (lo >= hi) continue;
        const std::uint64_t b0 = (lo - slot.firstIndex + kLevel0Records - 1) / kLevel0Records;
        const std::uint64_t b1 = (hi - slot.firstIndex + kLevel0Records - 1) / kLevel0Records;
        if (!fn(*m_files[s], b0, b1)) return false;
    }
    return true;
}

std::optional<overview::BlockStats> ReportOverview::Fold(std::uint64_t first, std::uint64_t end,
                                                         bool withSums) {
    overview::BlockStats out;
    const bool folded =
        ForEachFileBlocks(first, end, [&](ReportOverviewFile& file, std::uint64_t b0, std::uint64_t b1) {
            const auto stats = file.Fold(b0, b1, withSums);
            if (stats) out.Merge(*stats);
            return stats.has_value();
        });
    if (!folded) return std::nullopt;
    return out;
}

void ReportOverview::AdviseWillNeed(std::uint64_t first, std::uint64_t end) const {
    ForEachFileBlocks(first, end, [](const ReportOverviewFile& file, std::uint64_t b0, std::uint64_t b1) {
        file.AdviseWillNeed(b0, b1);
        return true;
    });
}

std::optional<std::uint64_t> ReportOverview::BlockTime(std::uint64_t blockStart) {
    const std::size_t s = blockStart / kRecordsPerReportFile;
    if (s >= m_files.size() || !m_files[s]) return std::nullopt;
    return m_files[s]->BlockTime((blockStart - m_slots[s].firstIndex) / kLevel0Records);
}

}  // namespace qvx
