#include "QVxWinCommon/QVxTerminationSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <vector>

namespace {

// The pipe's write end while an object is installed, else -1. Read by the signal handler,
// which may run on any thread.
std::atomic<int> s_writeFd{-1};

// Signal handler (any thread, async-signal context): only write(2) of one byte. A full
// pipe (thousands of signals nobody has read yet) drops the byte: the reader already has
// more than it needs to act on.
extern "C" void WriteSignalNumber(int signalNumber) {
    const int savedErrno = errno;
    const int fd = s_writeFd.load();
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        const ssize_t written = ::write(fd, &byte, 1);
        static_cast<void>(written);
    }
    errno = savedErrno;
}

}  // namespace

QVxTerminationSignals::QVxTerminationSignals(Handler handler) : m_handler(std::move(handler)) {
    int fds[2];
    if (s_writeFd.load() >= 0 || ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    m_readFd = fds[0];
    s_writeFd = fds[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_readFd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { ReadPendingSignals(); });
    struct sigaction action {};
    action.sa_handler = &WriteSignalNumber;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // system calls of other threads go on after the write
    for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &action, &m_previous[i]);
    m_installed = true;
}

QVxTerminationSignals::~QVxTerminationSignals() {
    if (!m_installed) return;
    for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &m_previous[i], nullptr);
    m_notifier.reset();
    ::close(s_writeFd.exchange(-1));
    ::close(m_readFd);
}

const char* QVxTerminationSignals::Name(int signalNumber) {
    switch (signalNumber) {
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        case SIGINT:
            return "SIGINT";
        default:
            return "another signal";
    }
}

// Installing thread, from the notifier: every byte in the pipe is one signal. The pipe is
// emptied before the first call, so a handler that runs a nested event loop is not called
// again for the same signal.
void QVxTerminationSignals::ReadPendingSignals() {
    std::vector<int> signalNumbers;
    unsigned char bytes[64];
    for (;;) {
        const ssize_t got = ::read(m_readFd, bytes, sizeof bytes);
        if (got <= 0) break;
        signalNumbers.insert(signalNumbers.end(), bytes, bytes + got);
    }
    for (const int signalNumber : signalNumbers)
        if (m_handler) m_handler(signalNumber);
}
