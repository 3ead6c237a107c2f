#include "QV+Analog/QVxAnalogScopeApp.h"

#include "QV+Analog/Environment/QVxReenterChacheFolderDlg.h"
#include "QV+Analog/QVxAnalogLooks.h"
#include "QV+Analog/QVxAnalogScopeView.h"
#include "QV+Analog/QVxAppPrompts.h"
#include "QV+Analog/QVxAppText.h"
#include "QV+Analog/QVxLanguageChoice.h"
#include "QV+AnalogCore/QVxAppStrings.h"
#include "QVxCore/Logger.h"
#include "QVxCore/Presenters/Interaction.h"
#include "QVxCore/Recovery/FolderLock.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxWinCommon/DataClasses/QVxAppIntegration.h"
#include "QVxWinCommon/QVxNotification.h"
#include "QVxWinGUICommon/Common/CQVxProgressDlg.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"

#include <QApplication>

#include <spdlog/spdlog.h>

#include <cstdlib>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr const char* kApplicationName = "QV+Analog";
constexpr const char* kSimulatedUnit = "AN0000SIM";

}  // namespace

const char* CQVxAnalogScopeApp::UsageText() {
    return "usage: QV+Analog [--simulate] [--lang ja|en] [SESSION.qvxa]\n"
           "       QV+Analog --help | --version\n"
           "  --simulate    list one simulated analog unit (AN0000SIM) when QVPLUS_SIMULATED_UNITS\n"
           "                is not set\n"
           "  --lang ja|en  the language of every text of this run (default: the environment dialog's\n"
           "                choice, else the locale)\n"
           "  --help        print this help and exit\n"
           "  --version     print the version and exit\n"
           "  SESSION.qvxa  the session to open at the start\n"
           "See QV+Analog(1) for the files and the environment.\n";
}

CQVxAnalogScopeApp::CommandLine CQVxAnalogScopeApp::ParseCommandLine(const QStringList& arguments) {
    CommandLine line;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QStringLiteral("--simulate")) {
            line.simulate = true;
        } else if (argument == QStringLiteral("--lang")) {
            const QString value = i + 1 < arguments.size() ? arguments[++i] : QString();
            if (!QVxParseLanguage(value.toStdString())) {
                line.error = QStringLiteral("--lang takes ja or en (given: \"%1\")").arg(value);
                return line;
            }
            line.language = value;
        } else if (argument.startsWith(QStringLiteral("-")) || !line.sessionFile.isEmpty()) {
            line.error =
                QStringLiteral("usage: QV+Analog [--simulate] [--lang ja|en] [SESSION.qvxa] (unexpected: %1)")
                    .arg(argument);
            return line;
        } else {
            line.sessionFile = argument;
        }
    }
    return line;
}

CQVxAnalogScopeApp::CQVxAnalogScopeApp(Options options) : m_options(std::move(options)) {
    m_settings =
        m_options.settingsFile.isEmpty()
            ? std::make_unique<QSettings>(QStringLiteral("OrvalenData"), QString::fromUtf8(kApplicationName))
            : std::make_unique<QSettings>(m_options.settingsFile, QSettings::IniFormat);
}

CQVxAnalogScopeApp::~CQVxAnalogScopeApp() {
    ExitInstance();
}

bool CQVxAnalogScopeApp::InitInstance() {
    const CommandLine line = ParseCommandLine(m_options.arguments);
    if (!line.error.isEmpty()) {
        spdlog::error("{}", line.error.toStdString());
        QVxAppPrompts::Get().ShowMessage(nullptr, line.error);
        return false;
    }
    // 0. The language of every text of this run, before the first window.
    ApplyProgramLanguage(ChooseProgramLanguage(line.language, *m_settings));
    // 1. Logging.
    qvx::Logger::Init(kApplicationName);
    spdlog::info("{} {} starting.", kApplicationName, QVX_APP_VERSION);
    // 2. The main dispatcher on this (GUI) thread, shared with the GUI library.
    if (!qvx::Dispatcher::GetMainInstance()) {
        if (!qvx::Dispatcher::AttachMain(qvx::Dispatcher::kQtEventLoop)) return false;
        m_ownsDispatcher = true;
    }
    // 3. Long tasks run behind the progress dialog; messages are message boxes.
    qvx::Interaction::Init(&m_interaction);
    IQVxNotification* notification = m_options.notification ? m_options.notification : &m_notification;
    QVxNotification::Set(notification);
    m_initialised = true;
    // 4. This run's identifier names the per-run folders.
    if (qvx::AnalogEnvData::GetInstanceId().empty()) spdlog::warn("No instance identifier could be made.");
    if (line.simulate && std::getenv("QVPLUS_SIMULATED_UNITS") == nullptr)
        ::setenv("QVPLUS_SIMULATED_UNITS", kSimulatedUnit, 1);

    // 5. Preferences, with the cache-folder repair; the device library and the first session.
    auto ask = m_options.askCacheFolder;
    if (!ask) ask = &QVxReenterChacheFolderDlg::Ask;
    if (!m_viewModel.Init(&m_envData, qvx::AnalogEnvData::MakeCacheFolderRepair(ask),
                          {m_options.bitStreamPath})) {
        spdlog::error("The view model could not be initialised.");
        return false;
    }

    // 7. First run (no stored frame layout) shows the frame maximised.
    m_firstRun = !m_settings->contains(QStringLiteral("MainFrame/geometry"));
    if (m_options.familyProtocol) ConnectFamily();
    m_frame = std::make_unique<CMainFrame>(m_viewModel, m_envData, *m_settings, m_integration.get());
    m_frame->SetClosingHandler([this] { OnClosingMainFrame(); });
    ConnectFamilyHandlers();
    m_desktopShutdown = std::make_unique<QVxDesktopShutdown>(m_viewModel, *m_frame);
    m_soakProbe = QVxSoakProbe::FromEnvironment(m_viewModel, *m_frame);

    // 9. The command line's session, the first show and the first device refresh.
    if (!line.sessionFile.isEmpty() && !m_frame->OpenSession(line.sessionFile))
        spdlog::error("The session {} could not be opened.", line.sessionFile.toStdString());
    if (!m_firstRun) {
        m_frame->restoreGeometry(m_settings->value(QStringLiteral("MainFrame/geometry")).toByteArray());
        m_frame->restoreState(m_settings->value(QStringLiteral("MainFrame/state")).toByteArray());
    } else {
        m_frame->resize(1400, 900);
    }
    if (m_options.showWindow) {
        if (m_firstRun)
            m_frame->showMaximized();
        else
            m_frame->show();
    }
    if (auto* devices = m_viewModel.GetDeviceManagerViewModel()) devices->RefreshDeviceList();
    OfferOrphanedRecordings();
    return true;
}

// Recordings that earlier runs left unsaved (a crash, a kill, a power cut): the user
// opens one, discards some and keeps the rest for later.
void CQVxAnalogScopeApp::OfferOrphanedRecordings() {
    const std::vector<qvx::OrphanedRecording> recordings = m_viewModel.ListOrphanedRecordings();
    if (recordings.empty()) return;
    spdlog::info("{} orphaned recording(s) found.", recordings.size());
    const QVxRecoveryAnswer answer = QVxAppPrompts::Get().AskRecovery(m_frame.get(), recordings);
    for (const std::size_t index : answer.discard) {
        std::string error;
        if (index < recordings.size() && !qvx::OrphanedRecordings::Discard(recordings[index], error))
            QVxAppPrompts::Get().ShowMessage(m_frame.get(), QString::fromStdString(error));
    }
    if (!answer.open || *answer.open >= recordings.size()) return;
    if (!m_viewModel.OpenOrphanedRecording(recordings[*answer.open]))
        QVxAppPrompts::Get().ShowMessage(
            m_frame.get(), QVxAppString(kAppStringOpenRecordingFailed)
                               .arg(QString::fromStdString(recordings[*answer.open].folder.string())));
}

// Listens for the family's messages and counts the other running instances for
// the device list's automatic connection. Without a family the program runs alone.
void CQVxAnalogScopeApp::ConnectFamily() {
    m_integration = std::make_unique<QVxAppIntegration>();
    if (!m_integration->Start()) spdlog::warn("The family protocol is not available for this instance.");
    QVxAppIntegration* integration = m_integration.get();
    if (auto* devices = m_viewModel.GetDeviceManagerViewModel())
        devices->SetOtherInstanceCounter(
            [integration] { return integration->CountOtherInstances(kApplicationName); });
}

void CQVxAnalogScopeApp::ConnectFamilyHandlers() {
    if (!m_integration) return;
    CMainFrame* frame = m_frame.get();
    m_integration->SetSyncTimeHandler([frame](std::int64_t absNs) { frame->OnQVxSyncTime(absNs); });
    m_integration->SetSyncTraceHandler([frame](int wParam) { frame->OnQVxSyncTrace(wParam); });
    m_integration->SetReportCheckHandler([frame](const std::string& path) {
        return frame->OnCheckLoadedReport(QString::fromStdString(path));
    });
    QVxAppIntegration* integration = m_integration.get();
    QObject::connect(frame->GetView(), &CQVxAnalogScopeView::SyncTimeRequested, frame,
                     [integration](qint64 absNs) { integration->SendSyncTime(absNs); });
}

// The shutdown work, behind the progress dialog while a unit is connecting (the
// connection thread is joined there).
void CQVxAnalogScopeApp::OnClosingMainFrame() {
    auto* devices = m_viewModel.GetDeviceManagerViewModel();
    if (devices && devices->GetConnectingDevice()) {
        const std::string caption(QVxLoadAppString(kAppStringApplicationClosing));
        CQVxProgressDlg::Run(
            qvx::InteractionRunBehaviors::kMarquee,
            [devices, caption](qvx::ProgressToken* progress) {
                progress->SetCaption(caption);
                devices->JoinConnectionThread();
            },
            m_frame.get());
    }
    ExitInstance();
}

void CQVxAnalogScopeApp::ExitInstance() {
    if (!m_initialised || m_exited) return;
    m_exited = true;
    m_soakProbe.reset();
    if (m_frame) m_frame->GetView()->GetMonitorWnd()->Setup(nullptr);
    // A recording nobody decided on (the frame asks before it closes) stays on disk and is
    // offered again at the next start.
    const bool keepRecording = m_viewModel.HasUnsavedRecording();
    m_viewModel.Shutdown();
    RemoveInstanceFolders(keepRecording);
    if (m_integration) {
        m_integration->SetSyncTimeHandler(nullptr);
        m_integration->SetSyncTraceHandler(nullptr);
        m_integration->SetReportCheckHandler(nullptr);
    }
    QVxNotification::Set(nullptr);
    qvx::Interaction::Clear();
    spdlog::info("{} ended.", kApplicationName);
}

// The per-run instance folders (application data folder / instance id, and cache folder /
// instance id, where this run records) go with the run, unless the recording folder holds
// a recording that is not saved.
void CQVxAnalogScopeApp::RemoveInstanceFolders(bool keepRecording) {
    const std::string& id = qvx::AnalogEnvData::GetInstanceId();
    if (id.empty()) return;
    qvx::AnalogEnvData::PathOptions options;
    options.instanceFolder = true;
    std::vector<fs::path> folders;
    if (const auto appFolder = qvx::AnalogEnvData::BuildAppDataPath({}, options))
        folders.push_back(*appFolder);
    const fs::path recordingFolder = m_viewModel.GetCacheFolderPath();
    std::error_code ec;
    // The cache folder may be the application data folder itself: each folder once.
    if (!recordingFolder.empty() && recordingFolder.filename() == id &&
        (folders.empty() || !fs::equivalent(folders.front(), recordingFolder, ec)))
        folders.push_back(recordingFolder);
    for (const fs::path& folder : folders) {
        if (keepRecording && fs::equivalent(folder, recordingFolder, ec)) {
            spdlog::warn("The unsaved recording in {} is kept and offered at the next start.",
                         folder.string());
            continue;
        }
        fs::remove_all(folder, ec);
        if (ec) spdlog::error("Failed to remove the instance folder {}: {}", folder.string(), ec.message());
    }
    qvx::InstanceFolders::Release(recordingFolder);
}
