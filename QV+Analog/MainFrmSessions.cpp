// The main frame's session commands (open, save as, the recent files) and the questions
// before an unsaved recording or unsaved bookmarks are replaced. GUI thread.

#include "QV+Analog/MainFrm.h"

#include "QV+Analog/QVxAppPrompts.h"
#include "QV+Analog/QVxAppText.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QV+AnalogCore/QVxAppStrings.h"
#include "QVxCore/AnalogSession.h"

#include <QDir>
#include <QEventLoop>
#include <QMenuBar>
#include <QSettings>

#include <spdlog/spdlog.h>

namespace {

QString SessionFilter() {
    return QVxAppPrompts::QtFilterFromTable(QVxLoadAppString(kAppStringSessionFileFilter));
}

}  // namespace

// --- Sessions ----------------------------------------------------------------------

bool CMainFrame::OpenSession(QString path) {
    if (!m_viewModel.CanOpenSession()) return false;
    if (path.isEmpty()) path = QVxAppPrompts::Get().GetOpenFileName(this, SessionFilter(), DialogFolder());
    if (path.isEmpty()) return false;
    if (!m_viewModel.OpenSession(path.toStdString())) {
        QVxAppPrompts::Get().ShowMessage(this, QVxAppString(kAppStringOpenSessionFailed).arg(path));
        return false;
    }
    AddRecentFile(path);
    return true;
}

// Where the open and save dialogs start: the folder of the session's saved settings file,
// else the folder of the most recent session, else the dialog's own choice (empty).
QString CMainFrame::DialogFolder() const {
    const qvx::AnalogSession* session = m_viewModel.GetSession();
    if (session && !m_viewModel.HasUnsavedRecording() && !session->GetSettingFilePath().empty())
        return QFileInfo(QString::fromStdString(session->GetSettingFilePath().string())).absolutePath();
    for (const QString& recent : GetRecentFiles()) {
        const QFileInfo info(recent);
        if (info.absoluteDir().exists()) return info.absolutePath();
    }
    return {};
}

// The destination folder of `settingFilePath` already holds a "repo" that is not
// the current session's own: copying the report data there would mix two
// recordings (the copy refuses existing files half-way), so the save is refused
// before anything is written.
bool CMainFrame::HoldsOtherReportData(const QString& settingFilePath) const {
    namespace fs = std::filesystem;
    const fs::path folder = fs::absolute(fs::path(settingFilePath.toStdString())).parent_path();
    const fs::path repo = folder / qvx::AnalogSession::kReportFolderName;
    std::error_code ec;
    if (!fs::exists(repo, ec)) return false;
    const qvx::AnalogSession* session = m_viewModel.GetSession();
    return !session || !fs::equivalent(repo, session->GetReportFolderPath(), ec);
}

bool CMainFrame::SaveSessionAs(QString path) {
    if (!m_viewModel.CanSaveSession()) return false;
    // A recording whose files are gone would be "saved" as settings alone.
    if (m_viewModel.HasMissingReportData()) {
        QVxAppPrompts::Get().ShowMessage(this, QVxAppString(kAppStringNoRecordingToSave));
        return false;
    }
    if (path.isEmpty())
        path = QVxAppPrompts::Get().GetSaveFileName(this, SessionFilter(), QStringLiteral("qvxa"),
                                                    DialogFolder());
    if (path.isEmpty()) return false;
    if (HoldsOtherReportData(path)) {
        QVxAppPrompts::Get().ShowMessage(this, QVxAppString(kAppStringFolderHoldsReport));
        return false;
    }
    if (!m_viewModel.SaveAsSession(path.toStdString())) {
        // Not enough space was announced by the view model with its own message.
        if (m_viewModel.GetLastSaveAsResult() != qvx::AnalogSession::kNotEnoughSpace)
            QVxAppPrompts::Get().ShowMessage(this, QVxAppString(kAppStringSaveSettingsFailed));
        return false;
    }
    AddRecentFile(path);
    UpdateTitle();
    return true;
}

QStringList CMainFrame::GetRecentFiles() const {
    return m_settings.value(kRecentKey).toStringList();
}

void CMainFrame::AddRecentFile(const QString& path) {
    QStringList files = GetRecentFiles();
    const QString absolute = QFileInfo(path).absoluteFilePath();
    files.removeAll(absolute);
    files.prepend(absolute);
    while (files.size() > kRecentFileCount) files.removeLast();
    m_settings.setValue(kRecentKey, files);
    UpdateRecentFilesMenu();
}

void CMainFrame::UpdateRecentFilesMenu() {
    if (!m_recentMenu) return;
    m_recentMenu->clear();
    const QStringList files = GetRecentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        m_recentMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(path), this,
                                [this, path] { OpenSession(path); });
    }
    m_recentMenu->setEnabled(!files.isEmpty());
}

// --- Unsaved recordings -------------------------------------------------------------

bool CMainFrame::AskToSaveRecording() {
    const QVxSaveChoice choice =
        QVxAppPrompts::Get().AskSaveDiscardCancel(this, QVxAppString(kAppStringSaveRecordingQuestion));
    switch (choice) {
        case QVxSaveChoice::kSave:
            // Closing during a trace: the recording is complete once the trace ended.
            return StopTraceAndWait() && SaveSessionAs();
        case QVxSaveChoice::kDiscard:
            m_viewModel.DiscardRecording();
            UpdateTitle();
            return true;
        case QVxSaveChoice::kCancel:
            break;
    }
    return false;
}

// Bookmarks changed in a saved session: saved in place (its own settings file), or let go.
bool CMainFrame::AskToSaveBookmarks() {
    const QVxSaveChoice choice =
        QVxAppPrompts::Get().AskSaveDiscardCancel(this, QVxAppString(kAppStringSaveBookmarksQuestion));
    switch (choice) {
        case QVxSaveChoice::kSave: {
            const qvx::AnalogSession* session = m_viewModel.GetSession();
            return session && SaveSessionAs(QString::fromStdString(session->GetSettingFilePath().string()));
        }
        case QVxSaveChoice::kDiscard:
            return true;
        case QVxSaveChoice::kCancel:
            break;
    }
    return false;
}

// A new trace or another session would replace a session with changed bookmarks. A
// peer's trace start asks nobody: the bookmarks are saved in place.
bool CMainFrame::OnReplacingUnsavedBookmarks() {
    if (!m_handlingRemoteStart) return AskToSaveBookmarks();
    const qvx::AnalogSession* session = m_viewModel.GetSession();
    if (session && m_viewModel.SaveAsSession(session->GetSettingFilePath())) return true;
    spdlog::error("A peer's trace start was refused: the changed bookmarks could not be saved.");
    return false;
}

// A new trace or another session would replace the unsaved recording.
bool CMainFrame::OnReplacingUnsavedRecording() {
    if (!m_handlingRemoteStart) return AskToSaveRecording();
    if (m_viewModel.KeepRecordingForLater()) return true;
    spdlog::error("A peer's trace start was refused: the unsaved recording could not be kept for later.");
    return false;
}

// Stops a running trace with drain and waits (running the event loop) until it ended,
// so that its recording is complete before it is saved.
bool CMainFrame::StopTraceAndWait() {
    if (!m_viewModel.isTracing()) return true;
    QEventLoop loop;
    auto connection = m_viewModel.TraceStateChanged.Connect([&loop, this] {
        if (m_viewModel.GetTraceState() == QVxAnalogViewModel::kIdle) loop.quit();
    });
    if (m_viewModel.GetTraceState() == QVxAnalogViewModel::kTracing) m_viewModel.StopTrace();
    if (m_viewModel.GetTraceState() != QVxAnalogViewModel::kIdle) {
        QTimer::singleShot(kStopWaitMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    connection->Disconnect();
    return m_viewModel.GetTraceState() == QVxAnalogViewModel::kIdle;
}
