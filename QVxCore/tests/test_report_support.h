#pragma once
// Helpers shared by the report data tests.

#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/tests/support/ReportBuilder.h"

#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include <memory>
#include <sstream>
#include <string>

namespace qvx::test {

// Routes the default logger into a string, one "[function] message" line per entry.
class ReportLogCapture {
public:
    ReportLogCapture() : m_previous(spdlog::default_logger()) {
        auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(m_out);
        auto logger = std::make_shared<spdlog::logger>("report-capture", sink);
        logger->set_pattern("[%!] %v");
        spdlog::set_default_logger(logger);
    }
    ~ReportLogCapture() { spdlog::set_default_logger(m_previous); }
    ReportLogCapture(const ReportLogCapture&) = delete;
    ReportLogCapture& operator=(const ReportLogCapture&) = delete;

    std::string Text() const { return m_out.str(); }
    bool Contains(const std::string& s) const { return Text().find(s) != std::string::npos; }
    void Clear() { m_out.str(""); }

private:
    std::shared_ptr<spdlog::logger> m_previous;
    std::ostringstream m_out;
};

inline std::uint64_t TimeOf(const std::uint8_t* record) {
    return LoadLE64(record) & kRecordTimeMask;
}

}  // namespace qvx::test
