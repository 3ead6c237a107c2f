#include "QVxCore/ReportData/ReportOverviewBuilder.h"

#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportDataLog.h"
#include "QVxCore/ReportData/ReportFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <future>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

namespace qvx {

using overview::Entry;
using overview::kBlockRecords;
using overview::kEntryBytes;
using overview::kLevel0Records;

namespace {

// Entries of the next level: each folds `factor` consecutive entries of `finer`.
std::vector<Entry> Coarsen(const std::vector<Entry>& finer, std::uint64_t factor) {
    std::vector<Entry> out;
    out.reserve((finer.size() + factor - 1) / factor);
    for (std::size_t i = 0; i < finer.size(); i += factor) {
        Entry e;
        e.firstTime = finer[i].firstTime;
        const std::size_t end = std::min<std::size_t>(finer.size(), i + factor);
        for (std::size_t k = i; k < end; ++k) e.stats.Merge(finer[k].stats);
        out.push_back(e);
    }
    return out;
}

}  // namespace

bool ReportOverviewBuilder::WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes,
                                      std::string& failure) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec) {
        failure = ec.message();
        return false;
    }
    const fs::path temporary = path.string() + ".tmp" + std::to_string(::getpid());
    detail::UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd) {
        failure = std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failure = std::strerror(n < 0 ? errno : ENOSPC);
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (failure.empty() && ::close(fd.Release()) != 0) failure = std::strerror(errno);
    if (failure.empty()) {
        fs::rename(temporary, path, ec);
        if (ec) failure = ec.message();
    }
    if (!failure.empty()) fs::remove(temporary, ec);
    return failure.empty();
}

void ReportOverviewBuilder::Reset() {
    m_level0.clear();
    m_open = Entry{};
    m_inOpen = 0;
    m_records = 0;
    m_lastTime = 0;
}

void ReportOverviewBuilder::CloseBlock() {
    m_level0.push_back(m_open);
    m_open = Entry{};
    m_inOpen = 0;
}

void ReportOverviewBuilder::Append(const std::uint8_t* records, std::uint64_t count) {
    if (count == 0) return;
    m_lastTime = RecordTimeStamp(records + (count - 1) * kReportRecordSize);
    m_records += count;
    while (count > 0) {
        const std::uint64_t n = std::min(count, kLevel0Records - m_inOpen);
        if (m_inOpen == 0) m_open.firstTime = RecordTimeStamp(records);
        overview::FoldRecordSamples(records, n, m_open.stats);
        m_inOpen += n;
        records += n * kReportRecordSize;
        count -= n;
        if (m_inOpen == kLevel0Records) CloseBlock();
    }
}

std::vector<std::uint8_t> ReportOverviewBuilder::Serialize(std::uint64_t dataFileSize) const {
    // The open block joins the finished ones only in a copy; a full file has none open,
    // so its 46 MB of level-0 entries are not copied.
    std::vector<Entry> withOpen;
    if (m_inOpen > 0) {
        withOpen.reserve(m_level0.size() + 1);
        withOpen = m_level0;
        withOpen.push_back(m_open);
    }
    const std::vector<Entry>& level0 = m_inOpen > 0 ? withOpen : m_level0;
    const std::vector<Entry> level1 = Coarsen(level0, overview::kLevel0PerLevel1);
    const std::vector<Entry> level2 = Coarsen(level1, overview::kLevel1PerLevel2);
    const overview::Layout layout = overview::LayoutFor(m_records);

    std::vector<std::uint8_t> out(layout.fileSize, 0);
    std::uint8_t* h = out.data();
    std::copy(overview::kMagic.begin(), overview::kMagic.end(), h + overview::kOvwOffsetMagic);
    StoreLE32(h + overview::kOvwOffsetVersion, overview::kVersion);
    StoreLE32(h + overview::kOvwOffsetHeaderBytes, overview::kHeaderBytes);
    StoreLE64(h + overview::kOvwOffsetDataFileSize, dataFileSize);
    StoreLE64(h + overview::kOvwOffsetRecordCount, m_records);
    StoreLE64(h + overview::kOvwOffsetFirstTime, level0.empty() ? 0 : level0.front().firstTime);
    StoreLE64(h + overview::kOvwOffsetLastTime, m_lastTime);
    StoreLE32(h + overview::kOvwOffsetLevelCount, overview::kLevelCount);
    StoreLE32(h + overview::kOvwOffsetEntryBytes, kEntryBytes);
    for (std::size_t i = 0; i < overview::kLevelCount; ++i) {
        StoreLE32(h + overview::kOvwOffsetBlockRecords + 4 * i, static_cast<std::uint32_t>(kBlockRecords[i]));
        StoreLE64(h + overview::kOvwOffsetBlockCounts + 8 * i, layout.counts[i]);
    }
    StoreLE64(h + overview::kOvwOffsetTailOffset, layout.tailOffset);
    StoreLE64(h + overview::kOvwOffsetFileSize, layout.fileSize);

    for (std::size_t i = 0; i < level0.size(); ++i) {
        overview::StoreEntry(h + overview::kHeaderBytes + i * kEntryBytes, level0[i]);
    }
    for (std::size_t g = 0; g < level1.size(); ++g) {
        const std::size_t first = g * overview::kLevel0PerLevel1;
        const std::size_t n = std::min<std::size_t>(overview::kLevel0PerLevel1, level0.size() - first);
        StoreLE64(h + layout.tailOffset + 8 * g,
                  overview::Checksum(h + overview::kHeaderBytes + first * kEntryBytes, n * kEntryBytes));
        overview::StoreEntry(h + layout.level1Offset + g * kEntryBytes, level1[g]);
    }
    for (std::size_t i = 0; i < level2.size(); ++i) {
        overview::StoreEntry(h + layout.level2Offset + i * kEntryBytes, level2[i]);
    }
    std::uint64_t sum = overview::Checksum(h, overview::kOvwChecksummedHeaderBytes);
    sum = overview::Checksum(h + layout.tailOffset, layout.fileSize - layout.tailOffset, sum);
    StoreLE64(h + overview::kOvwOffsetChecksum, sum);
    return out;
}

std::optional<std::vector<std::uint8_t>> ReportOverviewBuilder::BuildFromFile(const fs::path& dataFile,
                                                                              const Progress& progress) {
    constexpr const char* kFn = "ReportOverviewBuilder::BuildFromFile";
    detail::UniqueFd fd = detail::OpenRegularFile(dataFile);
    struct stat st {};
    if (!fd || ::fstat(fd.Get(), &st) != 0) {
        QVX_REPORT_ERROR(kFn, "File access error. {}", dataFile.string());
        return std::nullopt;
    }
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    // The whole records only: bytes of a torn last record are never read.
    const std::uint64_t size = fileSize < kReportHeaderSize
                                   ? fileSize
                                   : fileSize - (fileSize - kReportHeaderSize) % kReportRecordSize;
    if (size < kReportHeaderSize) {
        QVX_REPORT_ERROR(kFn, "Invalid file size. {}", dataFile.string());
        return std::nullopt;
    }
    ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    // 4 MiB reads: large enough for full disk speed, small enough to cancel promptly. Each
    // read runs on a helper thread while the chunk before it is folded, so that a cold
    // file is read at disk speed.
    static constexpr std::size_t kChunkBytes = std::size_t{4} << 20;
    static_assert(kChunkBytes % kReportRecordSize == 0);
    std::array<std::unique_ptr<std::uint8_t[]>, 2> buffers{std::make_unique<std::uint8_t[]>(kChunkBytes),
                                                           std::make_unique<std::uint8_t[]>(kChunkBytes)};
    const auto readChunk = [&fd, size](std::uint8_t* into, std::uint64_t at) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes, size - at));
        ssize_t n = 0;
        do {
            n = ::pread(fd.Get(), into, want, static_cast<off_t>(at));
        } while (n < 0 && errno == EINTR);
        return n;
    };
    ReportOverviewBuilder builder;
    std::uint64_t offset = kReportHeaderSize;
    std::size_t current = 0;
    // Declared after the buffers: its destructor waits for a read still running.
    std::future<ssize_t> pending;
    if (offset < size) pending = std::async(std::launch::async, readChunk, buffers[current].get(), offset);
    while (offset < size) {
        const ssize_t n = pending.get();
        if (n <= 0 || static_cast<std::size_t>(n) % kReportRecordSize != 0) {
            QVX_REPORT_ERROR(kFn, "Invalid read size. {}", dataFile.string());
            return std::nullopt;
        }
        const std::uint64_t next = offset + static_cast<std::uint64_t>(n);
        if (next < size)
            pending = std::async(std::launch::async, readChunk, buffers[1 - current].get(), next);
        builder.Append(buffers[current].get(), static_cast<std::uint64_t>(n) / kReportRecordSize);
        offset = next;
        current = 1 - current;
        if (progress && !progress(offset)) return std::nullopt;
    }
    return builder.Serialize(fileSize);
}

}  // namespace qvx
