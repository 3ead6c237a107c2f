#include "QVxCore/ReportData/WrittenRecordReader.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qvx {

WrittenRecordReader::WrittenRecordReader(std::filesystem::path reportFolder)
    : m_folder(std::move(reportFolder)) {}

WrittenRecordReader::~WrittenRecordReader() {
    if (m_fd >= 0) ::close(m_fd);
}

bool WrittenRecordReader::OpenFile(std::int64_t number) {
    if (number == m_fileNumber && m_fd >= 0) return true;
    if (m_fd >= 0) ::close(m_fd);
    m_fileNumber = number;
    const auto path = m_folder / fmt::format("{:08d}.DAT", number);
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) return false;
    ReportHeader header{};
    if (::pread(m_fd, header.data(), header.size(), 0) != static_cast<ssize_t>(header.size()) ||
        !m_accessor.Setup(header.data())) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    return true;
}

const std::uint8_t* WrittenRecordReader::Read(std::uint64_t index) {
    const auto number = static_cast<std::int64_t>(index / kRecordsPerReportFile);
    if (number > kMaxReportFileNumber || !OpenFile(number)) return nullptr;
    const auto offset =
        static_cast<off_t>(kReportHeaderSize + (index % kRecordsPerReportFile) * kReportRecordSize);
    struct stat info {};
    if (::fstat(m_fd, &info) != 0 || info.st_size < offset + static_cast<off_t>(kReportRecordSize))
        return nullptr;
    KeptRecord& kept = m_kept[index % kKeptRecords];
    if (kept.index == index) return kept.bytes.data();
    kept.index = ~std::uint64_t{0};
    if (::pread(m_fd, kept.bytes.data(), kept.bytes.size(), offset) !=
        static_cast<ssize_t>(kept.bytes.size()))
        return nullptr;
    kept.index = index;
    return kept.bytes.data();
}

}  // namespace qvx
