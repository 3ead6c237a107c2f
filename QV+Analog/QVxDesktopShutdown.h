#pragma once
// The ends of the program that come from outside its window, when nobody may be there to
// answer a question:
// - SIGTERM, SIGHUP and SIGINT (a service manager, a closed terminal, Ctrl-C, the desktop
//   ending the session): a running trace is stopped with drain as the stop button does, the
//   end of the trace is awaited, and the program quits through its normal shutdown
//   (preferences saved). A recording not saved is never deleted and never asked about: it
//   stays for recovery with its settings, and the log says where. A second signal while the
//   trace drains quits at once; every record written until then stays in the recording.
// - The session manager's request to save before a logout (commitDataRequest): a running
//   trace is stopped with drain first; an unsaved recording is then asked about as at a
//   window close when the session manager lets the program interact, else kept for recovery.
// GUI thread only.

#include <QTimer>

#include <functional>
#include <memory>

class CMainFrame;
class QSessionManager;
class QVxAnalogViewModel;
class QVxTerminationSignals;

namespace qvx {
class SignalConnection;
}

class QVxDesktopShutdown {
public:
    // While a modal dialog stands in the way of the shutdown, it is looked at again this often.
    static constexpr int kModalRetryMs = 100;

    // Installs the signal handlers and answers the application's commitDataRequest.
    // `frame` and `viewModel` outlive this object.
    QVxDesktopShutdown(QVxAnalogViewModel& viewModel, CMainFrame& frame);
    ~QVxDesktopShutdown();
    QVxDesktopShutdown(const QVxDesktopShutdown&) = delete;
    QVxDesktopShutdown& operator=(const QVxDesktopShutdown&) = delete;

    // One termination signal, as the signal notifier delivers it.
    void OnTerminationSignal(int signalNumber);
    // The logout's save request with the session manager's permission to interact asked
    // through `allowsInteraction` (called at most once, only when there is something to
    // ask). False: the logout should be cancelled (the user chose Cancel).
    bool CommitData(const std::function<bool()>& allowsInteraction);

    bool SignalsInstalled() const;
    bool IsQuitting() const { return m_signalCount > 0; }

private:
    void OnCommitDataRequest(QSessionManager& manager);
    void ContinueQuitting();
    bool CloseModalDialogs();
    void QuitNow();

    QVxAnalogViewModel& m_viewModel;
    CMainFrame& m_frame;
    std::unique_ptr<QVxTerminationSignals> m_signals;
    std::shared_ptr<qvx::SignalConnection> m_traceConnection;
    QTimer m_modalRetry;
    int m_signalCount = 0;
    bool m_quit = false;
};
