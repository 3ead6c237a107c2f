#include "QVxCore/ReportData/RecordAccessor.h"

#include <spdlog/spdlog.h>

namespace qvx {

bool RecordAccessor::Setup(const std::uint8_t* header) {
    const std::uint32_t format = LoadLE32(header + kHeaderOffsetReportFormat);
    if (format != kReportFormatAnalog) {
        spdlog::default_logger_raw()->log(spdlog::source_loc{__FILE__, __LINE__, "RecordAccessor::Setup"},
                                          spdlog::level::err, "Invalid report format.");
        m_layout = Layout::Unknown;
        return false;
    }
    m_timeWordIndex = 0;
    m_layout = Layout::Analog4Ch;
    return true;
}

}  // namespace qvx
