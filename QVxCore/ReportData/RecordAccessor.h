#pragma once
// Record layout of a report, chosen from the first file's header.

#include "QVxCore/ReportData/RecordCodec.h"

#include <cstdint>

namespace qvx {

class RecordAccessor {
public:
    enum class Layout : std::uint8_t { Unknown, Analog4Ch };

    // Checks the report format word of `header` (kReportHeaderSize bytes); only the
    // analog layout (6) is accepted. Logs "Invalid report format." and returns false otherwise.
    bool Setup(const std::uint8_t* header);

    // Time stamp in 10 ns ticks: the low 48 bits of 64-bit word m_timeWordIndex of the record.
    std::uint64_t GetTime(const std::uint8_t* record) const {
        return RecordTimeStamp(record, static_cast<std::size_t>(m_timeWordIndex));
    }

    std::int32_t GetTimeWordIndex() const { return m_timeWordIndex; }
    Layout GetLayout() const { return m_layout; }

private:
    std::int32_t m_timeWordIndex = 0;
    Layout m_layout = Layout::Unknown;
};

}  // namespace qvx
