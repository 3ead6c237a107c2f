#pragma once
// Reads single records of a report that is still being written: straight from the
// numbered data files with positioned reads, and only records that are already
// completely in the file. Never writes, and shares nothing with the writer, so the
// GUI thread may use it while the delivery thread appends. Not thread-safe itself.

#include "QVxCore/ReportData/RecordAccessor.h"
#include "QVxCore/ReportData/ReportFormat.h"

#include <array>
#include <cstdint>
#include <filesystem>

namespace qvx {

class WrittenRecordReader {
public:
    explicit WrittenRecordReader(std::filesystem::path reportFolder);
    ~WrittenRecordReader();
    WrittenRecordReader(const WrittenRecordReader&) = delete;
    WrittenRecordReader& operator=(const WrittenRecordReader&) = delete;

    // The record with global index `index` (file index / 33,554,432, record index % it),
    // valid until the next call; null when its file is gone (rotated out), it is not
    // completely written yet or the file's header is no analog report header.
    const std::uint8_t* Read(std::uint64_t index);
    // Word of the time stamp in the records read (from the file's header).
    std::int32_t GetTimeWordIndex() const { return m_accessor.GetTimeWordIndex(); }
    const std::filesystem::path& GetReportFolder() const { return m_folder; }

private:
    bool OpenFile(std::int64_t number);

    std::filesystem::path m_folder;
    int m_fd = -1;
    std::int64_t m_fileNumber = -1;
    RecordAccessor m_accessor;
    std::array<std::uint8_t, kReportRecordSize> m_record{};
};

}  // namespace qvx
