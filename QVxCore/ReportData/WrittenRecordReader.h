#pragma once
// Reads single records of a report that is still being written: straight from the
// numbered data files with positioned reads, and only records that are already
// completely in the file. Never writes, and shares nothing with the writer, so the
// GUI thread may use it while the delivery thread appends. Not thread-safe itself.
// The last records read are kept: a list repaints the same rows ten times a second, and the
// writer drops what it wrote from the page cache, so each repaint would otherwise wait for
// the disk behind the trace's own writes (up to 100 ms a row at 10M).

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
    // completely written yet or the file's header is no analog report header. A record
    // kept from an earlier read is returned without reading, once its file is still there.
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
    // Records read, each at its index modulo the size. A written record never changes, so
    // an entry stays right for as long as this reader (one recording's folder) lives.
    struct KeptRecord {
        std::uint64_t index = ~std::uint64_t{0};
        std::array<std::uint8_t, kReportRecordSize> bytes{};
    };
    static constexpr std::size_t kKeptRecords = 256;
    std::array<KeptRecord, kKeptRecords> m_kept{};
};

}  // namespace qvx
