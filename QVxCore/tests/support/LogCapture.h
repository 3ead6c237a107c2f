#pragma once
// Routes spdlog's default logger into a string for the life of the object, one line per
// entry in the given pattern, and counts the entries at error level and above. Tests assert
// that a failure was logged through ErrorCount, and compare logged text only where the text
// is the program's message to a user or a peer.

#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <memory>
#include <mutex>
#include <string>

namespace qvx::test {

class LogCapture {
public:
    explicit LogCapture(const std::string& pattern = "%l %v",
                        spdlog::level::level_enum level = spdlog::level::info)
        : m_previous(spdlog::default_logger()), m_sink(std::make_shared<Sink>()) {
        m_sink->set_pattern(pattern);
        auto logger = std::make_shared<spdlog::logger>("capture", m_sink);
        logger->set_level(level);
        spdlog::set_default_logger(logger);
    }
    ~LogCapture() { spdlog::set_default_logger(m_previous); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string Text() const { return m_sink->Text(); }
    bool Contains(const std::string& s) const { return Text().find(s) != std::string::npos; }
    // Entries at error or critical level since construction or the last Clear.
    int ErrorCount() const { return m_sink->ErrorCount(); }
    void Clear() { m_sink->Clear(); }

private:
    class Sink : public spdlog::sinks::base_sink<std::mutex> {
    public:
        std::string Text() {
            std::lock_guard lock(mutex_);
            return m_text;
        }
        int ErrorCount() {
            std::lock_guard lock(mutex_);
            return m_errors;
        }
        void Clear() {
            std::lock_guard lock(mutex_);
            m_text.clear();
            m_errors = 0;
        }

    protected:
        void sink_it_(const spdlog::details::log_msg& msg) override {
            spdlog::memory_buf_t formatted;
            formatter_->format(msg, formatted);
            m_text.append(formatted.data(), formatted.size());
            if (msg.level >= spdlog::level::err && msg.level != spdlog::level::off) ++m_errors;
        }
        void flush_() override {}

    private:
        std::string m_text;
        int m_errors = 0;
    };

    std::shared_ptr<spdlog::logger> m_previous;
    std::shared_ptr<Sink> m_sink;
};

}  // namespace qvx::test
