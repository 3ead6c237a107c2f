#include "QV+Analog/MainFrm.h"

#include "QV+Analog/Analysis/CQVxEventSearchPanel.h"
#include "QV+Analog/Analysis/CQVxMeasurementPane.h"
#include "QV+Analog/QVxAppText.h"

#include "QV+Analog/DataList/CAnalogDataListPane.h"
#include "QV+Analog/DataList/CQVxAnalogDisplayTriggerListPane.h"
#include "QV+Analog/DataList/CQVxBookmarksPane.h"
#include "QV+Analog/Environment/QVxAnalogEnvDlg.h"
#include "QV+Analog/QVxAnalogAboutDlg.h"
#include "QV+Analog/QVxAnalogLooks.h"
#include "QV+Analog/QVxAnalogScopeView.h"
#include "QV+Analog/QVxAppPrompts.h"
#include "QV+Analog/QVxWheelFocusFilter.h"
#include "QV+Analog/TracingStatus/CQVxAnalogTracingStatusDlg.h"
#include "QV+Analog/TracingStatus/CTracePane.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QV+AnalogCore/QVxAppStrings.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxWinCommon/DataClasses/QVxAppIntegration.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformDisplayTriggerDlg.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackAreaWnd.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QScrollArea>
#include <QSettings>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include <spdlog/spdlog.h>

#include <filesystem>
#include <limits>

CMainFrame::CMainFrame(QVxAnalogViewModel& viewModel, qvx::AnalogEnvData& envData, QSettings& settings,
                       QVxAppIntegration* integration)
    : m_viewModel(viewModel), m_envData(envData), m_settings(settings), m_integration(integration) {
    setObjectName(QStringLiteral("MainFrame"));
    setWindowIcon(QIcon(QStringLiteral(":/app/qvplus-analog.svg")));
    setFont(QVxWinGUI::GuiFont(10));
    m_view = new CQVxAnalogScopeView(m_viewModel, this);
    setCentralWidget(m_view);
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks |
                   QMainWindow::AllowNestedDocks);
    if (!CreateDockingWindows()) spdlog::error("Failed to create the docking windows.");

    ApplyLook(m_settings.value(kLookKey, QVxAnalogLooks::kStandard).toInt());

    m_traceTimer.setInterval(kTraceTimerMs);
    connect(&m_traceTimer, &QTimer::timeout, this, &CMainFrame::OnTraceTimer);
    m_deviceRefreshTimer.setInterval(kDeviceRefreshMs);
    connect(&m_deviceRefreshTimer, &QTimer::timeout, this, &CMainFrame::OnDeviceRefreshTimer);
    m_deviceRefreshTimer.start();

    m_connections.push_back(m_viewModel.TraceStateChanged.Connect([this] { OnTraceStateChanged(); }));
    m_connections.push_back(m_viewModel.SessionChanged.Connect([this] { OnSessionChanged(); }));
    m_connections.push_back(m_viewModel.GetBookmarks().Changed.Connect([this] { UpdateTitle(); }));
    if (auto* devices = m_viewModel.GetDeviceManagerViewModel())
        m_connections.push_back(devices->Changed.Connect([this] { OnDevicesChanged(); }));
    m_viewModel.SetUnsavedRecordingGuard(
        [this](QVxAnalogViewModel::ReplacingRecording) { return OnReplacingUnsavedRecording(); });
    m_viewModel.SetUnsavedBookmarksGuard(
        [this](QVxAnalogViewModel::ReplacingRecording) { return OnReplacingUnsavedBookmarks(); });
    connect(m_view->GetMonitorWnd()->GetTrackAreaWnd(), &CQVxWaveformTrackAreaWnd::TrackHeightDragged, this,
            &CMainFrame::OnTrackHeightDragged);
    ApplyTrackFit();
    UpdateTitle();
    UpdateStatusBar();
}

CMainFrame::~CMainFrame() {
    m_viewModel.SetUnsavedRecordingGuard(nullptr);
    m_viewModel.SetUnsavedBookmarksGuard(nullptr);
    for (auto& connection : m_connections) connection->Disconnect();
}

// --- Looks and title -------------------------------------------------------------

void CMainFrame::ApplyLook(int look) {
    m_look = look;
    QVxAnalogLooks::Apply(look);
    const bool dark = QVxAnalogLooks::IsDarkLook(look);
    m_viewModel.SetDarkLook(dark);
    if (auto* presenter = m_viewModel.GetOscilloGraphViewModel())
        presenter->GetStyle().SetThemeIndex(dark ? 1 : 0);
    m_viewModel.SessionChanged.Emit();
    if (QAction* action = FindCommand(look)) action->setChecked(true);
    m_settings.setValue(kLookKey, look);
    update();
    for (QWidget* child : findChildren<QWidget*>()) child->update();
}

void CMainFrame::OnDevicesChanged() {
    auto* devices = m_viewModel.GetDeviceManagerViewModel();
    const auto device = devices ? devices->GetConnectedDevice() : nullptr;
    const std::wstring id = device ? device->GetDeviceId() : std::wstring();
    if (id != m_connectedDeviceId) {
        m_connectedDeviceId = id;
        if (id.empty())
            spdlog::info("No unit connected.");
        else
            spdlog::info("Connected unit: {}.", QString::fromStdWString(id).toStdString());
    }
    UpdateTitle();
    UpdateStatusBar();
}

// "NAME* - QV+Analog [unit]": the session file's name, or the word for a session never
// saved; "*" while a recording is not saved.
void CMainFrame::UpdateTitle() {
    const qvx::AnalogSession* session = m_viewModel.GetSession();
    const bool unsaved = m_viewModel.HasUnsavedRecording();
    QString name = !unsaved && session && !session->GetSettingFilePath().empty()
                       ? QString::fromStdString(session->GetSettingFilePath().filename().string())
                       : QVxAppString(kAppStringUntitled);
    if (unsaved || m_viewModel.HasUnsavedBookmarks()) name += QLatin1Char('*');
    QString title = name + QStringLiteral(" - ") + QVxAppString(kAppStringAppTitle);
    auto* devices = m_viewModel.GetDeviceManagerViewModel();
    if (auto device = devices ? devices->GetConnectedDevice() : nullptr)
        title += QStringLiteral(" [%1]").arg(QString::fromStdWString(device->GetDeviceId()));
    setWindowTitle(title);
}

void CMainFrame::UpdateStatusBar() {
    if (m_indicators.size() < static_cast<std::size_t>(Indicator::kCount)) return;
    const std::int32_t state = m_viewModel.GetTraceState();
    IndicatorLabel(Indicator::kTraceState)
        ->setText(state == QVxAnalogViewModel::kTracing    ? QVxAppString(kAppStringTracing)
                  : state == QVxAnalogViewModel::kStopping ? QVxAppString(kAppStringStopping)
                                                           : QVxAppString(kAppStringIdle));
    const auto* session = m_viewModel.GetSession();
    const auto& reader = session ? session->GetReportData() : nullptr;
    const std::uint64_t records =
        m_viewModel.isTracing() ? m_viewModel.GetRecordCount() : (reader ? reader->GetTotalRecordCount() : 0);
    IndicatorLabel(Indicator::kRecordCount)->setText(QVxAppString(kAppStringRecordCount).arg(records));
    auto* devices = m_viewModel.GetDeviceManagerViewModel();
    auto device = devices ? devices->GetConnectedDevice() : nullptr;
    IndicatorLabel(Indicator::kUnit)
        ->setText(device ? QString::fromStdWString(device->GetDeviceId())
                         : QVxWinGUI::LoadStringW(kGuiStringNotConnected));
}

// --- Trace and device timers -------------------------------------------------------

void CMainFrame::OnTraceStateChanged() {
    const std::int32_t state = m_viewModel.GetTraceState();
    spdlog::info("Trace state: {}.", state == QVxAnalogViewModel::kTracing    ? "tracing"
                                     : state == QVxAnalogViewModel::kStopping ? "stopping"
                                                                              : "idle");
    if (state == QVxAnalogViewModel::kTracing)
        StartTraceTimer();
    else
        m_traceTimer.stop();
    UpdateTitle();
    UpdateStatusBar();
    if (!m_viewModel.isTracing()) OnTraceTimer();  // the last state of the lists and the window
}

void CMainFrame::StartTraceTimer() {
    if (m_traceTimer.isActive()) {
        spdlog::error("!m_traceTimer [CMainFrame::StartTraceTimer]");
        return;
    }
    m_traceTimer.start();
}

void CMainFrame::OnTraceTimer() {
    if (m_view) m_view->GetMonitorWnd()->Redraw();
    if (m_triggerListPane) m_triggerListPane->OnTraceTimer();
    if (m_dataListPane) m_dataListPane->OnTraceTimer();
    UpdateStatusBar();
}

// Also while a unit is connected: the refresh is how an unplugged unit is noticed (it
// leaves the list and is disconnected) and a newly plugged one is listed. Not while a
// trace runs or a unit is connecting (CanRefreshDeviceList).
void CMainFrame::OnDeviceRefreshTimer() {
    auto* devices = m_viewModel.GetDeviceManagerViewModel();
    if (!devices || !devices->CanRefreshDeviceList()) return;
    devices->RefreshDeviceList();
}

void CMainFrame::OnSessionChanged() {
    if (m_displayTriggerDlg) m_displayTriggerDlg->Setup(&m_viewModel.GetDisplayTriggerPresenter());
    WatchOverviewIndexing();
    ApplyTrackFit();
    UpdateTitle();
    UpdateStatusBar();
}

// The tracks fit the view's height, or keep the shared height the user dragged them to.
void CMainFrame::ApplyTrackFit() {
    auto* presenter = m_viewModel.GetOscilloGraphViewModel();
    if (!presenter || !m_view) return;
    const bool fit = m_settings.value(kFitTracksKey, true).toBool();
    presenter->SetOption(qvx::WaveformPresenter::kOptionFitToHeight, fit ? 1 : 0);
    if (!fit)
        CQVxWaveformMonitorWnd::SetTrackHeight(
            std::max(CQVxWaveformTrackAreaWnd::kMinTrackHeight,
                     m_settings.value(kTrackHeightKey, kDefaultTrackHeight).toInt()));
    // The new layout is painted whole at once, not only where the settings buttons moved
    // away from.
    m_view->GetMonitorWnd()->GetTrackAreaWnd()->Layout();
    m_view->GetMonitorWnd()->GetTrackAreaWnd()->update();
    m_view->GetMonitorWnd()->update();
}

// Times as the time of day or since the start: the ruler, the read-outs, the marker texts
// and both lists show the new form at once.
void CMainFrame::ApplyClockTime(bool on) {
    m_viewModel.SetClockTimeShown(on);
    if (auto* presenter = m_viewModel.GetOscilloGraphViewModel()) presenter->ViewportChanged.Emit();
    if (m_view) m_view->GetMonitorWnd()->update();
    if (m_dataListPane) m_dataListPane->RefreshTexts();
    if (m_triggerListPane) m_triggerListPane->RefreshTexts();
    if (m_bookmarksPane) m_bookmarksPane->RefreshTexts();
}

void CMainFrame::OnTrackHeightDragged(int sharedHeight) {
    m_settings.setValue(kTrackHeightKey, sharedHeight);
    m_settings.setValue(kFitTracksKey, false);
    if (QAction* fit = FindCommand(kCmdFitTracks)) {
        const QSignalBlocker block(fit);
        fit->setChecked(false);
    }
}

// The message area shows the progress of indexing the report's overview (each session
// has its own oscillograph view model, so the connection follows the session).
void CMainFrame::WatchOverviewIndexing() {
    if (m_indexingConnection) m_indexingConnection->Disconnect();
    m_indexingConnection.reset();
    auto* presenter = m_viewModel.GetOscilloGraphViewModel();
    if (!presenter || m_indicators.empty()) return;
    QLabel* area = IndicatorLabel(Indicator::kMessage);
    m_indexingConnection =
        presenter->IndexingProgress.Connect([area](std::uint64_t done, std::uint64_t total) {
            area->setText(total == 0
                              ? QString()
                              : QVxWinGUI::LoadStringW(kGuiStringBuildingOverview).arg(done * 100 / total));
        });
}

// --- Family protocol ---------------------------------------------------------------

void CMainFrame::OnQVxSyncTime(std::int64_t absNs) {
    const auto* session = m_viewModel.GetSession();
    const auto& reader = session ? session->GetReportData() : nullptr;
    if (!reader || !m_viewModel.GetOscilloGraphViewModel() || m_viewModel.isTracing()) return;
    constexpr std::int64_t kNsPerSecond = 1'000'000'000;
    const std::int64_t startSecondsNs = reader->GetStartSeconds() * kNsPerSecond;
    const std::int64_t start = reader->GetStartTimeNs();
    // A time before the start itself (inside its first second) would give a
    // negative cursor time: refused as well.
    if (absNs < startSecondsNs || absNs < start) {
        spdlog::error("SyncTime out of range. (absNS:{}, reqNS:{})", start, absNs);
        return;
    }
    const std::int64_t rel = absNs - start;
    const auto last = static_cast<std::int64_t>(std::min(reader->GetLastTime(), qvx::kMaxTicksInNs));
    if (rel > qvx::TicksToNs(static_cast<std::uint64_t>(last))) {
        spdlog::error("SyncTime out of range. (relNS:{}, reportLast:{})", rel, last);
        return;
    }
    m_view->ShowTime(rel, false);
    spdlog::info("SyncTime: cursor moved to {} ns.", rel);
}

void CMainFrame::OnQVxSyncTrace(std::int64_t wParam) {
    auto* devices = m_viewModel.GetDeviceManagerViewModel();
    const bool connected = devices && devices->GetConnectedDevice();
    if (wParam == QVxAppIntegration::kSyncTraceStop && m_viewModel.isTracing()) {
        PressStartStop();
    } else if (wParam == QVxAppIntegration::kSyncTraceStart &&
               m_viewModel.GetTraceState() == QVxAnalogViewModel::kIdle && connected) {
        m_handlingRemoteStart = true;
        PressStartStop();
        m_handlingRemoteStart = false;
    }
}

bool CMainFrame::OnCheckLoadedReport(const QString& queryFilePath) {
    spdlog::info("QV+HubCheckReport");
    return m_viewModel.HandleReportQuery(queryFilePath.toStdString());
}

void CMainFrame::PressStartStop() {
    if (m_traceDlg) m_traceDlg->OnBnClickedStartStop();
}

// --- Dialogs and help --------------------------------------------------------------

void CMainFrame::ShowEnvironmentDialog() {
    if (QVxAnalogEnvDlg::EditPreferences(this, m_envData, &m_settings) && !m_viewModel.ReloadCacheFolder())
        QVxAppPrompts::Get().ShowMessage(this, QVxAppString(kAppStringCacheFolderNotFound));
}

void CMainFrame::OpenHelp() {
    const bool english = QVxCurrentLanguage() == QVxLanguage::kEnglish;
    OpenHelpFile(QApplication::applicationDirPath() + (english ? QStringLiteral("/QVPlus-Analog-Help-en.html")
                                                               : QStringLiteral("/QVPlus-Analog-Help.html")));
}

void CMainFrame::OpenHelpFile(const QString& path) {
    if (!QFileInfo::exists(path)) {
        spdlog::error("pHelpFilePath [CQVxAnalogScopeApp::OpenHelp] ({})", path.toStdString());
        QVxAppPrompts::Get().ShowMessage(this, QVxAppString(kAppStringHelpNotFound).arg(path));
        return;
    }
    // Without a browser launcher on the desktop nothing would open: the user is
    // told where the page is instead.
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        spdlog::error("No launcher opened the help file. {}", path.toStdString());
        QVxAppPrompts::Get().ShowMessage(this, QVxAppString(kAppStringHelpNotShown).arg(path));
    }
}

// --- Closing -----------------------------------------------------------------------

void CMainFrame::SaveLayout() {
    m_settings.setValue(QStringLiteral("MainFrame/geometry"), saveGeometry());
    m_settings.setValue(QStringLiteral("MainFrame/state"), saveState());
    m_settings.sync();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!m_unattendedClose && m_viewModel.HasUnsavedRecording() && !AskToSaveRecording()) {
        event->ignore();
        return;
    }
    if (!m_unattendedClose && m_viewModel.HasUnsavedBookmarks() && !AskToSaveBookmarks()) {
        event->ignore();
        return;
    }
    SaveLayout();
    m_traceTimer.stop();
    m_deviceRefreshTimer.stop();
    if (m_closingHandler) {
        auto handler = std::move(m_closingHandler);
        m_closingHandler = nullptr;
        handler();
    }
    event->accept();
}
