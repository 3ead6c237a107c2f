#pragma once
// SIGTERM, SIGHUP and SIGINT (what a service manager, a closed terminal, a desktop logout and
// Ctrl-C send) delivered to the Qt event loop of the thread that installs them. The handler
// that the kernel runs does nothing but write the signal's number into a pipe (write(2) is
// async-signal-safe); a QSocketNotifier reads the pipe on the installing thread and calls
// the handler given there, one call per signal, in arrival order. While an object lives the
// three signals no longer end the process; its destruction restores what was there before.
// One object at a time per process (the pipe's write end is process-wide).
//
// Thread: construction, the handler and destruction on one thread with a Qt event loop (the
// GUI thread of the programs).

#include <csignal>

#include <array>
#include <functional>
#include <memory>

class QSocketNotifier;

class QVxTerminationSignals {
public:
    static constexpr std::array<int, 3> kSignals{SIGTERM, SIGHUP, SIGINT};
    using Handler = std::function<void(int signalNumber)>;

    // Installs the three handlers; IsInstalled tells whether that worked (a second
    // object while one lives, or no pipe, leaves the dispositions as they were).
    explicit QVxTerminationSignals(Handler handler);
    ~QVxTerminationSignals();
    QVxTerminationSignals(const QVxTerminationSignals&) = delete;
    QVxTerminationSignals& operator=(const QVxTerminationSignals&) = delete;

    bool IsInstalled() const { return m_installed; }
    // "SIGTERM", "SIGHUP", "SIGINT"; "another signal" for any other number.
    static const char* Name(int signalNumber);

private:
    void ReadPendingSignals();

    Handler m_handler;
    int m_readFd = -1;
    bool m_installed = false;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::array<struct sigaction, kSignals.size()> m_previous{};
};
