#include "QVxCore/ReportData/ReportOverviewFile.h"

#include "QVxCore/ReportData/ReportFile.h"

#include <spdlog/spdlog.h>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace fs = std::filesystem;

namespace qvx {

using overview::kEntryBytes;
using overview::kHeaderBytes;

namespace {

bool ReadFully(int fd, std::uint8_t* out, std::size_t bytes, std::uint64_t offset) {
    while (bytes > 0) {
        const ssize_t n = ::pread(fd, out, bytes, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        out += n;
        bytes -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool HasFixedFields(const std::uint8_t* h) {
    if (LoadLE32(h + overview::kOvwOffsetHeaderBytes) != kHeaderBytes ||
        LoadLE32(h + overview::kOvwOffsetLevelCount) != overview::kLevelCount ||
        LoadLE32(h + overview::kOvwOffsetEntryBytes) != kEntryBytes) {
        return false;
    }
    for (std::size_t i = 0; i < overview::kLevelCount; ++i) {
        if (LoadLE32(h + overview::kOvwOffsetBlockRecords + 4 * i) != overview::kBlockRecords[i])
            return false;
    }
    return true;
}

bool MatchesLayout(const std::uint8_t* h, const overview::Layout& layout, std::uint64_t actualSize) {
    for (std::size_t i = 0; i < overview::kLevelCount; ++i) {
        if (LoadLE64(h + overview::kOvwOffsetBlockCounts + 8 * i) != layout.counts[i]) return false;
    }
    return LoadLE64(h + overview::kOvwOffsetTailOffset) == layout.tailOffset &&
           LoadLE64(h + overview::kOvwOffsetFileSize) == layout.fileSize && actualSize == layout.fileSize;
}

std::vector<overview::Entry> LoadEntries(const std::uint8_t* p, std::uint64_t count) {
    std::vector<overview::Entry> out(count);
    for (std::uint64_t i = 0; i < count; ++i) out[i] = overview::LoadEntry(p + i * kEntryBytes);
    return out;
}

// Min and max of a stored level-0 entry into `out` (entry offsets 8 and 16).
void MergeMinMax(const std::uint8_t* entry, overview::BlockStats& out) {
    for (std::size_t c = 0; c < kRecordChannelCount; ++c) {
        const std::uint16_t lo = LoadLE16(entry + 8 + 2 * c);
        const std::uint16_t hi = LoadLE16(entry + 16 + 2 * c);
        out.min[c] = out.empty ? lo : std::min(out.min[c], lo);
        out.max[c] = out.empty ? hi : std::max(out.max[c], hi);
    }
    out.empty = false;
}

}  // namespace

ReportOverviewFile::Opened ReportOverviewFile::Open(const fs::path& overviewPath, const fs::path& dataFile) {
    using S = Status;
    struct stat dataStat {};
    if (::stat(dataFile.c_str(), &dataStat) != 0) return {nullptr, S::kStale};
    const auto dataSize = static_cast<std::uint64_t>(dataStat.st_size);
    if (dataSize < kReportHeaderSize) return {nullptr, S::kStale};
    const std::uint64_t records = (dataSize - kReportHeaderSize) / kReportRecordSize;

    detail::UniqueFd fd = detail::OpenRegularFile(overviewPath);
    if (!fd) return {nullptr, S::kMissing};
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return {nullptr, S::kMissing};
    const auto size = static_cast<std::uint64_t>(st.st_size);
    std::array<std::uint8_t, kHeaderBytes> h{};
    if (size < kHeaderBytes || !ReadFully(fd.Get(), h.data(), h.size(), 0)) return {nullptr, S::kDamaged};
    if (!std::equal(overview::kMagic.begin(), overview::kMagic.end(), h.begin()))
        return {nullptr, S::kDamaged};
    if (LoadLE32(h.data() + overview::kOvwOffsetVersion) != overview::kVersion) return {nullptr, S::kStale};
    if (!HasFixedFields(h.data())) return {nullptr, S::kDamaged};
    if (LoadLE64(h.data() + overview::kOvwOffsetDataFileSize) != dataSize ||
        LoadLE64(h.data() + overview::kOvwOffsetRecordCount) != records) {
        return {nullptr, S::kStale};
    }
    const overview::Layout layout = overview::LayoutFor(records);
    if (!MatchesLayout(h.data(), layout, size)) return {nullptr, S::kDamaged};

    std::vector<std::uint8_t> tail(layout.fileSize - layout.tailOffset);
    if (!ReadFully(fd.Get(), tail.data(), tail.size(), layout.tailOffset)) return {nullptr, S::kDamaged};
    std::uint64_t sum = overview::Checksum(h.data(), overview::kOvwChecksummedHeaderBytes);
    sum = overview::Checksum(tail.data(), tail.size(), sum);
    if (sum != LoadLE64(h.data() + overview::kOvwOffsetChecksum)) return {nullptr, S::kDamaged};

    std::unique_ptr<ReportOverviewFile> file(new ReportOverviewFile());
    file->m_layout = layout;
    file->m_records = records;
    file->m_firstTime = LoadLE64(h.data() + overview::kOvwOffsetFirstTime);
    file->m_lastTime = LoadLE64(h.data() + overview::kOvwOffsetLastTime);
    file->m_groupChecksums.resize(layout.counts[1]);
    for (std::uint64_t g = 0; g < layout.counts[1]; ++g)
        file->m_groupChecksums[g] = LoadLE64(tail.data() + 8 * g);
    file->m_groupChecked.assign(layout.counts[1], 0);
    file->m_level1 = LoadEntries(tail.data() + (layout.level1Offset - layout.tailOffset), layout.counts[1]);
    file->m_level2 = LoadEntries(tail.data() + (layout.level2Offset - layout.tailOffset), layout.counts[2]);
    if (layout.counts[0] > 0) {
        void* map = ::mmap(nullptr, layout.tailOffset, PROT_READ, MAP_PRIVATE, fd.Get(), 0);
        if (map == MAP_FAILED) return {nullptr, S::kMissing};
        file->m_map = static_cast<const std::uint8_t*>(map);
        file->m_mapBytes = layout.tailOffset;
    }
    return {std::move(file), S::kValid};
}

ReportOverviewFile::~ReportOverviewFile() {
    if (m_map) ::munmap(const_cast<std::uint8_t*>(m_map), m_mapBytes);
}

const std::uint8_t* ReportOverviewFile::Level0(std::uint64_t block) {
    if (m_damaged || block >= m_layout.counts[0]) return nullptr;
    const std::uint64_t group = block / overview::kLevel0PerLevel1;
    const std::uint64_t first = group * overview::kLevel0PerLevel1;
    if (!m_groupChecked[group]) {
        const std::uint64_t n = std::min(overview::kLevel0PerLevel1, m_layout.counts[0] - first);
        const std::uint8_t* p = m_map + kHeaderBytes + first * kEntryBytes;
        if (overview::Checksum(p, n * kEntryBytes) != m_groupChecksums[group]) {
            spdlog::warn("Report overview damaged (level-0 group {}); it is rebuilt.", group);
            m_damaged = true;
            return nullptr;
        }
        m_groupChecked[group] = 1;
        SummarizeRuns(first, n);
    }
    return m_map + kHeaderBytes + block * kEntryBytes;
}

void ReportOverviewFile::SummarizeRuns(std::uint64_t first, std::uint64_t count) {
    if (m_runs.empty()) m_runs.resize((m_layout.counts[0] + kRunEntries - 1) / kRunEntries);
    for (std::uint64_t run = first; run < first + count; run += kRunEntries) {
        overview::BlockStats folded;
        const std::uint64_t end = std::min(first + count, run + kRunEntries);
        for (std::uint64_t i = run; i < end; ++i) MergeMinMax(m_map + kHeaderBytes + i * kEntryBytes, folded);
        m_runs[run / kRunEntries] = {folded.min, folded.max};
    }
}

void ReportOverviewFile::AdviseWillNeed(std::uint64_t first, std::uint64_t end) const {
    end = std::min(end, m_layout.counts[0]);
    if (!m_map || first >= end) return;
    static const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t from = (kHeaderBytes + first * kEntryBytes) / page * page;
    const std::uint64_t to = std::min<std::uint64_t>(kHeaderBytes + end * kEntryBytes, m_mapBytes);
    ::madvise(const_cast<std::uint8_t*>(m_map) + from, to - from, MADV_WILLNEED);
}

std::optional<std::uint64_t> ReportOverviewFile::BlockTime(std::uint64_t block) {
    const std::uint8_t* p = Level0(block);
    if (!p) return std::nullopt;
    return LoadLE64(p);
}

std::optional<std::uint64_t> ReportOverviewFile::LowerBoundBlock(std::uint64_t time) {
    if (m_damaged) return std::nullopt;
    const std::uint64_t count0 = m_layout.counts[0];
    const auto before = [time](const overview::Entry& e) { return e.firstTime < time; };
    // Level 2, then level 1 narrow the answer down to the level-0 blocks of one level-1
    // block: level j's entry k starts with level-0 block k x (records per block / 64).
    const auto j2 = static_cast<std::uint64_t>(
        std::partition_point(m_level2.begin(), m_level2.end(), before) - m_level2.begin());
    if (j2 == 0) return 0;
    const std::uint64_t l1Begin = (j2 - 1) * overview::kLevel1PerLevel2;
    const std::uint64_t l1End = std::min<std::uint64_t>(j2 * overview::kLevel1PerLevel2, m_level1.size());
    const auto j1 = static_cast<std::uint64_t>(
        std::partition_point(m_level1.begin() + static_cast<std::ptrdiff_t>(l1Begin),
                             m_level1.begin() + static_cast<std::ptrdiff_t>(l1End), before) -
        m_level1.begin());
    if (j1 == l1Begin) {
        // Level 2 says its block starts before `time`, the first level-1 block under it says
        // it does not: the levels disagree, which no build of this file gives.
        spdlog::warn("Report overview damaged (levels 1 and 2 disagree at level-2 block {}); it is rebuilt.",
                     j2 - 1);
        m_damaged = true;
        return std::nullopt;
    }
    // Level-0 block (j1 - 1) x 128 starts before `time`; the answer follows it.
    std::uint64_t lo = (j1 - 1) * overview::kLevel0PerLevel1 + 1;
    std::uint64_t hi = std::min(j1 * overview::kLevel0PerLevel1, count0);
    while (lo < hi) {
        const std::uint64_t mid = lo + (hi - lo) / 2;
        const std::uint8_t* p = Level0(mid);
        if (!p) return std::nullopt;
        if (LoadLE64(p) < time) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

std::optional<overview::BlockStats> ReportOverviewFile::Fold(std::uint64_t first, std::uint64_t end,
                                                             bool withSums) {
    constexpr std::uint64_t k1 = overview::kLevel0PerLevel1;
    constexpr std::uint64_t k2 = k1 * overview::kLevel1PerLevel2;
    const std::uint64_t count0 = m_layout.counts[0];
    end = std::min(end, count0);
    overview::BlockStats out;
    // Level-0 blocks that a coarser entry covers whole are taken from that entry.
    for (std::uint64_t i = first; i < end;) {
        if (i % k2 == 0 && std::min(i + k2, count0) <= end) {
            out.Merge(m_level2[i / k2].stats);
            i = std::min(i + k2, count0);
        } else if (i % k1 == 0 && std::min(i + k1, count0) <= end) {
            out.Merge(m_level1[i / k1].stats);
            i = std::min(i + k1, count0);
        } else {
            const std::uint8_t* p = Level0(i);
            if (!p) return std::nullopt;
            if (!withSums && i % kRunEntries == 0 && i + kRunEntries <= end) {
                const MinMax& run = m_runs[i / kRunEntries];
                overview::BlockStats folded;
                folded.min = run.min;
                folded.max = run.max;
                folded.empty = false;
                out.Merge(folded);
                i += kRunEntries;
                continue;
            }
            if (withSums) {
                out.Merge(overview::LoadEntry(p).stats);
            } else {
                MergeMinMax(p, out);
            }
            ++i;
        }
    }
    if (m_damaged) return std::nullopt;
    return out;
}

}  // namespace qvx
