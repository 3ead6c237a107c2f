#include "QV+Analog/QVxDesktopShutdown.h"

#include "QV+Analog/MainFrm.h"
#include "QV+Analog/TracingStatus/CQVxAnalogTracingStatusDlg.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/Presenters/Signal.h"
#include "QVxWinCommon/QVxTerminationSignals.h"
#include "QVxWinGUICommon/Common/CQVxProgressDlg.h"

#include <QApplication>
#include <QDialog>
#include <QSessionManager>

#include <spdlog/spdlog.h>

QVxDesktopShutdown::QVxDesktopShutdown(QVxAnalogViewModel& viewModel, CMainFrame& frame)
    : m_viewModel(viewModel), m_frame(frame) {
    m_signals = std::make_unique<QVxTerminationSignals>([this](int number) { OnTerminationSignal(number); });
    if (!m_signals->IsInstalled())
        spdlog::warn("SIGTERM, SIGHUP and SIGINT end the program without a shutdown.");
    m_traceConnection = m_viewModel.TraceStateChanged.Connect([this] { ContinueQuitting(); });
    m_modalRetry.setSingleShot(true);
    m_modalRetry.setInterval(kModalRetryMs);
    QObject::connect(&m_modalRetry, &QTimer::timeout, [this] { ContinueQuitting(); });
    // The retry timer is the connection's context, so the connection ends with this object.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &m_modalRetry,
                     [this](QSessionManager& manager) { OnCommitDataRequest(manager); });
}

QVxDesktopShutdown::~QVxDesktopShutdown() {
    m_traceConnection->Disconnect();
}

bool QVxDesktopShutdown::SignalsInstalled() const {
    return m_signals->IsInstalled();
}

// --- Termination signals ----------------------------------------------------------------

void QVxDesktopShutdown::OnTerminationSignal(int signalNumber) {
    const char* name = QVxTerminationSignals::Name(signalNumber);
    if (m_quit) return;
    if (++m_signalCount == 1) {
        const bool tracing = m_viewModel.GetTraceState() == QVxAnalogViewModel::kTracing;
        spdlog::warn("{} received: the program ends{}.", name,
                     m_viewModel.isTracing() ? " once the trace has stopped with drain" : "");
        // As the stop button does; the end of the trace comes through TraceStateChanged.
        if (tracing) {
            if (auto* dialog = m_frame.GetTracingStatusDlg())
                dialog->OnBnClickedStartStop();
            else
                m_viewModel.StopTrace();
        }
        ContinueQuitting();
        return;
    }
    if (m_viewModel.GetTraceState() == QVxAnalogViewModel::kStopping) {
        spdlog::warn(
            "{} received again while the trace drains: the program ends now, keeping every record "
            "written so far.",
            name);
        QuitNow();
        return;
    }
    spdlog::warn("{} received again: the program ends as soon as the task under way is done.", name);
}

// Quits once no trace runs and no modal dialog holds a nested event loop; called again at
// every trace state change and, while a dialog is in the way, every kModalRetryMs.
void QVxDesktopShutdown::ContinueQuitting() {
    if (m_signalCount == 0 || m_quit || m_viewModel.isTracing()) return;
    if (!CloseModalDialogs()) {
        m_modalRetry.start();
        return;
    }
    QuitNow();
}

// Rejects the modal dialogs (questions, settings dialogs) that would keep their nested event
// loops running after the window closed; the progress dialog of a running task (the report
// being finished at the end of the trace) is left to end by itself. True when none is open.
bool QVxDesktopShutdown::CloseModalDialogs() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return true;
    if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && !dynamic_cast<CQVxProgressDlg*>(dialog)) {
        spdlog::info("The dialog \"{}\" is closed for the shutdown.", dialog->windowTitle().toStdString());
        dialog->reject();
    }
    return false;
}

// The normal shutdown without a question: the frame closes (layout and preferences saved,
// unit released, an unsaved recording kept where it is), then the event loop ends with 0.
void QVxDesktopShutdown::QuitNow() {
    m_quit = true;
    m_modalRetry.stop();
    m_frame.CloseUnattended();
    QCoreApplication::exit(0);
}

// --- The session manager's logout --------------------------------------------------------

void QVxDesktopShutdown::OnCommitDataRequest(QSessionManager& manager) {
    if (!CommitData([&manager] { return manager.allowsInteraction(); })) manager.cancel();
    manager.release();
}

bool QVxDesktopShutdown::CommitData(const std::function<bool()>& allowsInteraction) {
    if (!m_viewModel.isTracing() && !m_viewModel.HasUnsavedRecording()) return true;
    spdlog::info("The desktop session is ending: the recording is stopped and kept.");
    if (!m_frame.StopTraceAndWait()) spdlog::warn("The trace did not end in time for the logout.");
    if (!m_viewModel.HasUnsavedRecording()) return true;
    if (allowsInteraction()) return m_frame.AskToSaveRecording();
    // Nobody to ask: the recording is set aside for the next start (KeepRecordingForLater
    // logs where); when even that fails it stays in this run's folder, which the shutdown keeps.
    if (!m_viewModel.isTracing() && m_viewModel.KeepRecordingForLater()) m_frame.UpdateTitle();
    return true;
}
