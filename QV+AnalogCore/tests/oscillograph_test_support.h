#pragma once
// An owner for the oscillograph view model in tests, and a log capture.

#include "QV+AnalogCore/Presenters/IQVxAnalogOscilloGraphOwner.h"
#include "QVxCore/AnalogSettings.h"

#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include <memory>
#include <sstream>
#include <string>

namespace qvx::test {

class FakeOwner : public IQVxAnalogOscilloGraphOwner {
public:
    AnalogSettings settings;
    bool sessionOpen = true;
    bool dark = false;
    AnalogSettings* GetSessionSettings() const override {
        return sessionOpen ? const_cast<AnalogSettings*>(&settings) : nullptr;
    }
    bool IsDarkLook() const override { return dark; }
};

class LogCapture {
public:
    LogCapture() : m_previous(spdlog::default_logger()) {
        auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(m_out);
        spdlog::set_default_logger(std::make_shared<spdlog::logger>("capture", sink));
    }
    ~LogCapture() { spdlog::set_default_logger(m_previous); }
    bool Contains(const std::string& s) const { return m_out.str().find(s) != std::string::npos; }

private:
    std::ostringstream m_out;
    std::shared_ptr<spdlog::logger> m_previous;
};

}  // namespace qvx::test
