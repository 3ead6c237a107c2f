#pragma once
// Helpers shared by the settings and session tests: a scratch folder and a log
// recorder on spdlog's default logger.

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace qvx::testing {

// A fresh folder below the system temp folder, removed with its contents.
class ScratchFolder {
public:
    ScratchFolder() {
        static std::atomic<int> counter{0};
        m_path = std::filesystem::temp_directory_path() /
                 ("qvx-settings-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// Records everything logged while it exists; the previous default logger comes back after.
class LogRecorder {
public:
    LogRecorder() : m_previous(spdlog::default_logger()) {
        auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(m_out);
        sink->set_pattern("%l %v");
        auto logger = std::make_shared<spdlog::logger>("recorder", sink);
        logger->set_level(spdlog::level::trace);
        spdlog::set_default_logger(logger);
    }
    ~LogRecorder() { spdlog::set_default_logger(m_previous); }
    std::string Text() const { return m_out.str(); }
    bool Contains(const std::string& text) const { return m_out.str().find(text) != std::string::npos; }

private:
    std::shared_ptr<spdlog::logger> m_previous;
    std::ostringstream m_out;
};

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace qvx::testing
