#pragma once
// Makes the kernel refuse file writes past `bytes` for the scope, as a full disk would:
// writes beyond the limit fail with EFBIG instead of raising SIGXFSZ.

#include <sys/resource.h>

#include <csignal>

namespace qvx::test {

class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(rlim_t bytes) : m_previousHandler(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &m_previous);
        rlimit limited = m_previous;
        limited.rlim_cur = bytes;
        m_active = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~ScopedFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

    bool IsActive() const { return m_active; }

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int);
    bool m_active = false;
};

}  // namespace qvx::test
