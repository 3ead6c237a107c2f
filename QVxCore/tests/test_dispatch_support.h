#pragma once
// Helpers shared by the dispatcher, signal and interaction tests.

#include <QCoreApplication>

#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include <memory>
#include <sstream>
#include <string>

namespace qvx::test {

// One QCoreApplication for the whole test program, created on the main thread.
inline void EnsureCoreApplication() {
    static int argc = 1;
    static char name[] = "qvxcore_dispatch_tests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        new QCoreApplication(argc, argv);
    }
}

// Routes the default logger into a string for the life of the object.
class LogCapture {
public:
    LogCapture() : m_previous(spdlog::default_logger()) {
        auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(m_out);
        spdlog::set_default_logger(std::make_shared<spdlog::logger>("capture", sink));
    }
    ~LogCapture() { spdlog::set_default_logger(m_previous); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string Text() {
        spdlog::default_logger()->flush();
        return m_out.str();
    }
    bool Contains(const std::string& s) { return Text().find(s) != std::string::npos; }

private:
    std::shared_ptr<spdlog::logger> m_previous;
    std::ostringstream m_out;
};

}  // namespace qvx::test
