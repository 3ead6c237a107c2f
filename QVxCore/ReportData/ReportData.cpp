#include "QVxCore/ReportData/ReportData.h"

#include "QVxCore/ReportData/ReportDataLog.h"
#include "QVxCore/ReportData/ReportOverviewStore.h"

#include "QVxCore/Presenters/Interaction.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace qvx {

bool IsReportDataFileName(const fs::path& path) {
    const std::string name = path.filename().string();
    if (name.size() < 4) return false;
    const std::string ext = name.substr(name.size() - 4);
    return ext[0] == '.' && std::toupper(static_cast<unsigned char>(ext[1])) == 'D' &&
           std::toupper(static_cast<unsigned char>(ext[2])) == 'A' &&
           std::toupper(static_cast<unsigned char>(ext[3])) == 'T';
}

namespace {

struct DATListing {
    bool listed = false;          // the folder could be read and at least one entry matched
    std::vector<fs::path> files;  // matching entries that are not directories
};

// Lists "*.DAT" in `folder`. An unreadable folder, and one where nothing matches, count as
// not listed (the enumeration has nothing to start from).
DATListing ListDATEntries(const fs::path& folder) {
    DATListing out;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return out;
    bool matched = false;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) return DATListing{};
        if (!IsReportDataFileName(it->path())) continue;
        matched = true;
        std::error_code typeEc;
        if (it->is_directory(typeEc)) continue;
        out.files.push_back(it->path());
    }
    if (ec) return DATListing{};
    out.listed = matched;
    return out;
}

// File number of a report file: the leading decimal digits of its name without extension.
// None when the name has no leading digit or the number exceeds kMaxReportFileNumber.
std::optional<std::int64_t> ParseFileNumber(const fs::path& path) {
    const std::string stem = path.filename().string().substr(0, path.filename().string().size() - 4);
    std::int64_t number = 0;
    std::size_t digits = 0;
    for (char c : stem) {
        if (c < '0' || c > '9') break;
        number = number * 10 + (c - '0');
        if (number > kMaxReportFileNumber) return std::nullopt;
        ++digits;
    }
    if (digits == 0) return std::nullopt;
    return number;
}

void ReportProgress(ProgressToken* progress, std::size_t done, std::size_t total) {
    // The token posts at most one update at a time to the main dispatcher and drops the
    // rest until it has run.
    if (progress) progress->SetProgress(static_cast<std::int64_t>(done), static_cast<std::int64_t>(total));
}

}  // namespace

ReportDataReader::~ReportDataReader() {
    for (const auto& file : m_files) {
        if (file) file->CloseFile();
    }
}

ReportDataReaderPtr ReportDataReader::Open(const fs::path& folder, ProgressToken* progress) {
    ReportDataReaderPtr reader(new ReportDataReader());
    if (!reader->OpenInternal(folder, progress, kRecordsPerReportFile)) return nullptr;
    return reader;
}

bool ReportDataReader::OpenInternal(const fs::path& folder, ProgressToken* progress,
                                    std::uint64_t recordsPerFile) {
    const std::optional<NumberedPaths> numbered = NumberDATFiles(folder);
    if (!numbered || !ReadFirstHeader(numbered->front().second)) return false;
    if (!m_recordAccessor.Setup(m_header.data())) return false;
    if (!SetupFiles(*numbered, progress, recordsPerFile)) return false;
    if (!FillLeadingGaps(recordsPerFile)) return false;
    m_recordBuffer.fill(0);
    return true;
}

// The folder's report files in number order. For the writers' zero-padded names this is name
// order; ordering by number also keeps unpadded names ("9.DAT", "10.DAT") in their slots.
std::optional<ReportDataReader::NumberedPaths> ReportDataReader::NumberDATFiles(const fs::path& folder) {
    const std::vector<fs::path> paths = CollectDATFiles(folder);
    if (paths.empty()) {
        QVX_REPORT_ERROR(kOpenFunction, ".DAT file not found.");
        return std::nullopt;
    }
    NumberedPaths numbered;
    numbered.reserve(paths.size());
    for (const fs::path& path : paths) {
        const std::optional<std::int64_t> number = ParseFileNumber(path);
        if (!number) {
            QVX_REPORT_ERROR(kOpenFunction, "Invalid DAT file name: {}", path.string());
            return std::nullopt;
        }
        numbered.emplace_back(*number, path);
    }
    std::sort(numbered.begin(), numbered.end());
    for (std::size_t i = 1; i < numbered.size(); ++i) {
        if (numbered[i].first == numbered[i - 1].first) {
            // Two names for one file number ("1.DAT", "01.DAT"): not the files of one report.
            QVX_REPORT_ERROR(kOpenFunction, "Invalid DAT files.");
            return std::nullopt;
        }
    }
    return numbered;
}

bool ReportDataReader::ReadFirstHeader(const fs::path& path) {
    detail::UniqueFd first = detail::OpenRegularFile(path);
    if (!first) {
        QVX_REPORT_ERROR(kOpenFunction, "File access error.");
        return false;
    }
    if (::pread(first.Get(), m_header.data(), kReportHeaderSize, 0) !=
        static_cast<ssize_t>(kReportHeaderSize)) {
        QVX_REPORT_ERROR(kOpenFunction, "Invalid file header size.");
        return false;
    }
    return true;
}

// One ReportFile per numbered file, in the slot of its number.
bool ReportDataReader::SetupFiles(const NumberedPaths& numbered, ProgressToken* progress,
                                  std::uint64_t recordsPerFile) {
    m_files.assign(static_cast<std::size_t>(numbered.back().first) + 1, nullptr);
    m_lastTime = 0;
    for (std::size_t i = 0; i < numbered.size(); ++i) {
        const auto slot = static_cast<std::size_t>(numbered[i].first);
        auto file = std::make_shared<ReportFile>();
        // A valid overview gives the block table without reading records.
        const ReportOverviewFile::Opened overview = ReportOverviewStore::Open(numbered[i].second);
        if (!file->SetupMetadata(this, numbered[i].second, slot * recordsPerFile, m_lastTime,
                                 overview.file.get()))
            return false;
        // A file beyond its share of the index range would hide records of the next file.
        if (i + 1 < numbered.size() && file->GetRecordCount() > recordsPerFile) {
            QVX_REPORT_ERROR(kOpenFunction, "Invalid DAT files.");
            return false;
        }
        m_lastTime = file->GetEndTime();
        m_files[slot] = std::move(file);
        ReportProgress(progress, i + 1, numbered.size());
    }
    QVX_REPORT_CHECK(m_files.back(), kOpenFunction, false);
    return true;
}

// Placeholders for the numbers before the first file (deleted by rotation), the index range
// and the first existing file. False (logged) for a gap after the first file.
bool ReportDataReader::FillLeadingGaps(std::uint64_t recordsPerFile) {
    for (std::size_t slot = 0; slot < m_files.size(); ++slot) {
        if (m_files[slot]) continue;
        auto placeholder = std::make_shared<ReportFile>();
        placeholder->SetupPlaceholder(this, slot * recordsPerFile, recordsPerFile);
        m_files[slot] = std::move(placeholder);
    }

    // The index range ends with the last file that holds records. For a report whose files
    // other than the last are full this equals the sum of all record counts; a short file in
    // the middle leaves indexes that read as "Invalid record index." instead of shifting the
    // end. Empty files at the end (the writer opens the next file before its first record)
    // add no indexes, so a short file before them ends the range at its last record.
    std::size_t last = m_files.size() - 1;
    while (last > 0 && m_files[last]->GetRecordCount() == 0) --last;
    m_totalRecordCount = m_files[last]->GetFirstIndex() + m_files[last]->GetRecordCount();

    const auto firstExisting =
        std::find_if(m_files.begin(), m_files.end(), [](const auto& f) { return !f->IsPlaceholder(); });
    m_firstFileIndex = static_cast<std::int32_t>(firstExisting - m_files.begin());
    if (std::any_of(firstExisting, m_files.end(), [](const auto& f) { return f->IsPlaceholder(); })) {
        // Rotation deletes only the oldest files; a gap after the first file is damage.
        QVX_REPORT_ERROR(kOpenFunction, "Invalid DAT files.");
        return false;
    }
    return true;
}

std::int64_t ReportDataReader::GetStartSeconds() const {
    return static_cast<std::int64_t>(LoadLE64(m_header.data() + kHeaderOffsetStartSeconds));
}

std::int32_t ReportDataReader::GetStartNanoseconds() const {
    return static_cast<std::int32_t>(LoadLE32(m_header.data() + kHeaderOffsetStartNanoseconds));
}

ReportFile* ReportDataReader::GetOpenFile(std::size_t slot) {
    const auto index = static_cast<std::int32_t>(slot);
    if (auto it = std::find(m_openFiles.begin(), m_openFiles.end(), index); it != m_openFiles.end()) {
        m_openFiles.erase(it);
        m_openFiles.push_back(index);
        return m_files[slot].get();
    }
    if (m_openFiles.size() >= kMaxOpenFiles) {
        m_files[static_cast<std::size_t>(m_openFiles.front())]->CloseFile();
        m_openFiles.erase(m_openFiles.begin());
    }
    ReportFile* file = m_files[slot].get();
    if (!file->OpenFile()) return nullptr;
    m_openFiles.push_back(index);
    return file;
}

const std::uint8_t* ReportDataReader::ReadRecordByIndex(std::uint64_t index) {
    constexpr const char* kFn = "ReportDataReader::ReadRecordByIndex";
    QVX_REPORT_CHECK(index < m_totalRecordCount, kFn, nullptr);

    // Slots before the first existing file are placeholders covering exactly the indexes
    // below its first index; those records were deleted by rotation.
    const auto first = static_cast<std::size_t>(m_firstFileIndex);
    if (index < m_files[first]->GetFirstIndex()) return nullptr;
    std::size_t slot = first;
    while (slot < m_files.size() &&
           !(m_files[slot]->GetFirstIndex() <= index && index <= m_files[slot]->GetLastIndex())) {
        ++slot;
    }
    if (slot == m_files.size() || m_files[slot]->GetRecordCount() == 0) {
        QVX_REPORT_ERROR(kFn, "Invalid record index.");
        return nullptr;
    }
    if (m_files[slot]->IsPlaceholder()) return nullptr;

    ReportFile* file = GetOpenFile(slot);
    if (!file) return nullptr;
    if (!file->ReadRecord(index - file->GetFirstIndex(), m_recordBuffer.data())) return nullptr;
    return m_recordBuffer.data();
}

bool ReportDataReader::ReadRecordSpan(std::uint64_t first, std::uint64_t count, std::uint8_t* out) {
    constexpr const char* kFn = "ReportDataReader::ReadRecordSpan";
    const std::size_t slot = static_cast<std::size_t>(first / kRecordsPerReportFile);
    QVX_REPORT_CHECK(slot < m_files.size() && !m_files[slot]->IsPlaceholder(), kFn, false);
    const ReportFile& known = *m_files[slot];
    QVX_REPORT_CHECK(
        first >= known.GetFirstIndex() && first - known.GetFirstIndex() + count <= known.GetRecordCount(),
        kFn, false);
    ReportFile* file = GetOpenFile(slot);
    return file && file->ReadRecordsDirect(first - file->GetFirstIndex(), count, out);
}

void ReportDataReader::AdviseWillNeed(std::uint64_t first, std::uint64_t count) {
    const std::size_t slot = static_cast<std::size_t>(first / kRecordsPerReportFile);
    if (slot >= m_files.size() || m_files[slot]->IsPlaceholder()) return;
    const std::uint64_t fileFirst = m_files[slot]->GetFirstIndex();
    if (first < fileFirst) return;
    if (ReportFile* file = GetOpenFile(slot)) file->AdviseWillNeed(first - fileFirst, count);
}

bool ReportDataReader::ReadStoredRecordChunks(
    std::uint64_t first, std::uint64_t end, std::uint64_t chunkRecords, std::vector<std::uint8_t>& buffer,
    const std::function<void(const std::uint8_t*, std::uint64_t)>& visit) {
    for (std::size_t slot = first / kRecordsPerReportFile; slot < m_files.size() && first < end; ++slot) {
        const ReportFile& f = *m_files[slot];
        if (f.IsPlaceholder()) continue;
        std::uint64_t lo = std::max(first, f.GetFirstIndex());
        const std::uint64_t hi = std::min(end, f.GetFirstIndex() + f.GetRecordCount());
        while (lo < hi) {
            const std::uint64_t n = std::min(chunkRecords, hi - lo);
            buffer.resize(n * kReportRecordSize);
            if (!ReadRecordSpan(lo, n, buffer.data())) return false;
            visit(buffer.data(), n);
            lo += n;
        }
    }
    return true;
}

bool ReportDataReader::FindIndexByTime(std::uint64_t time, std::uint64_t& outIndex, std::uint64_t& outTime) {
    constexpr const char* kFn = "ReportDataReader::FindIndexByTime";
    const auto first = static_cast<std::size_t>(m_firstFileIndex);
    if (m_totalRecordCount == 0 || time < m_files[first]->GetStartTime()) return false;

    // The file whose time range [start, next file's start) holds the time; placeholders
    // before the first existing file never qualify.
    std::size_t i = m_files.size() - 1;
    for (std::size_t k = first; k + 1 < m_files.size(); ++k) {
        if (m_files[k]->GetStartTime() <= time && time < m_files[k + 1]->GetStartTime()) {
            i = k;
            break;
        }
    }
    // A file without records (the empty last file the writer leaves after a full one)
    // holds no record to return: the answer is the last record of an earlier file.
    while (m_files[i]->GetRecordCount() == 0) {
        if (i == first) return false;
        --i;
    }

    const ReportFile& chosen = *m_files[i];
    if (time < chosen.GetEndTime()) {
        ReportFile* file = GetOpenFile(i);
        if (!file) {
            QVX_REPORT_ERROR(kFn, "Load file failer.");
            return false;
        }
        std::uint64_t local = 0;
        std::uint64_t found = 0;
        if (!file->FindIndexByTime(time, local, found)) return false;
        outIndex = file->GetFirstIndex() + local;
        outTime = found;
        return true;
    }
    outIndex = chosen.GetLastIndex();
    outTime = chosen.GetEndTime();
    return true;
}

void ReportDataReader::Relocate(const fs::path& folder) {
    for (const auto& file : m_files) {
        if (!file->IsPlaceholder()) file->SetPath(folder / file->GetPath().filename());
    }
}

bool ReportDataReader::UpdateHeader(const fs::path& folder, std::int64_t seconds, std::int32_t nanoseconds) {
    return UpdateHeaderInternal(folder, seconds, nanoseconds);
}

bool ReportDataReader::UpdateHeaderInternal(const fs::path& folder, std::int64_t seconds,
                                            std::int32_t nanoseconds) {
    constexpr const char* kFn = "ReportDataReader::UpdateHeaderInternal";
    DATListing listing = ListDATEntries(folder);
    if (!listing.listed) {
        QVX_REPORT_ERROR(kFn, "Folder access error.");
        QVX_REPORT_ERROR(kFn, "{}", folder.string());
        return false;
    }
    if (listing.files.empty()) {
        QVX_REPORT_ERROR(kFn, ".DAT file not found.");
        return false;
    }
    std::sort(listing.files.begin(), listing.files.end());
    for (const fs::path& path : listing.files) {
        detail::UniqueFd fd = detail::OpenRegularFile(path, true);
        if (!fd) {
            QVX_REPORT_ERROR(kFn, "File access error.");
            return false;
        }
        ReportHeader header{};
        if (::pread(fd.Get(), header.data(), header.size(), 0) != static_cast<ssize_t>(header.size())) {
            QVX_REPORT_ERROR(kFn, "Invalid file header size.");
            return false;
        }
        StoreLE64(header.data() + kHeaderOffsetStartSeconds, static_cast<std::uint64_t>(seconds));
        StoreLE64(header.data() + kHeaderOffsetStartNanoseconds,
                  static_cast<std::uint64_t>(static_cast<std::int64_t>(nanoseconds)));
        const bool written =
            ::pwrite(fd.Get(), header.data(), header.size(), 0) == static_cast<ssize_t>(header.size());
        if (!written || ::close(fd.Release()) != 0) {
            QVX_REPORT_ERROR(kFn, "Header update(wirte) error.");
            return false;
        }
    }
    return true;
}

std::vector<fs::path> ReportDataReader::CollectDATFiles(const fs::path& folder) {
    DATListing listing = ListDATEntries(folder);
    if (!listing.listed) {
        QVX_REPORT_ERROR("ReportDataReader::CollectDATFiles", "Folder access error.");
        QVX_REPORT_ERROR("ReportDataReader::CollectDATFiles", "{}", folder.string());
        return {};
    }
    return std::move(listing.files);
}

}  // namespace qvx
