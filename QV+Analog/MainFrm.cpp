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

namespace {

QString SessionFilter() {
    return QVxAppPrompts::QtFilterFromTable(QVxLoadAppString(kAppStringSessionFileFilter));
}

constexpr const char* kLookKey = "ApplicationLook";
// Whether the tracks fit the view's height, and the shared track height (px) when not.
constexpr const char* kFitTracksKey = "View/FitTracks";
constexpr const char* kClockTimeKey = "View/ClockTime";  // times shown as the time of day
constexpr const char* kTrackHeightKey = "View/TrackHeight";
constexpr const char* kRecentKey = "RecentFileList";

// The look commands; each command id is also the id of its menu text.
constexpr int kLooks[] = {kAppStringLookClassic, kAppStringLookStandard, kAppStringLookBlue,
                          kAppStringLookBlack,   kAppStringLookSilver,   kAppStringLookAqua,
                          kAppStringLookWindows7};
}  // namespace

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

// --- Creation -------------------------------------------------------------------

QAction* CMainFrame::AddCommand(QMenu* menu, int id, const QString& text, std::function<void()> handler) {
    auto* action = new QAction(text, this);
    action->setObjectName(QVxWinGUI::CommandName(id));
    connect(action, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
    if (menu) menu->addAction(action);
    return action;
}

QAction* CMainFrame::FindCommand(int id) const {
    return findChild<QAction*>(QVxWinGUI::CommandName(id));
}

void CMainFrame::CreateMenus() {
    QMenu* file = menuBar()->addMenu(QVxAppString(kAppStringFileMenu));
    QAction* open =
        AddCommand(file, kCmdOpen, QVxAppString(kAppStringOpenCommand), [this] { OpenSession(); });
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    AddCommand(file, kCmdSaveAs, QVxAppString(kAppStringSaveAsCommand), [this] { SaveSessionAs(); });
    file->addSeparator();
    m_recentMenu = file->addMenu(QVxAppString(kAppStringRecentFilesMenu));
    UpdateRecentFilesMenu();
    file->addSeparator();
    AddCommand(file, kCmdExit, QVxAppString(kAppStringExitCommand), [this] { close(); });
    connect(file, &QMenu::aboutToShow, this, [this] {
        FindCommand(kCmdOpen)->setEnabled(m_viewModel.CanOpenSession());
        FindCommand(kCmdSaveAs)->setEnabled(m_viewModel.CanSaveSession());
    });

    QMenu* view = menuBar()->addMenu(QVxAppString(kAppStringViewMenu));
    QMenu* bars = view->addMenu(QVxAppString(kAppStringBarsMenu));
    QAction* toolBarAction = AddCommand(bars, kCmdToolBar, QVxAppString(kAppStringToolBarTitle), [] {});
    toolBarAction->setCheckable(true);
    toolBarAction->setChecked(true);
    connect(toolBarAction, &QAction::toggled, this, [this](bool on) {
        if (m_toolBar) m_toolBar->setVisible(on);
    });
    bars->setObjectName(QStringLiteral("menuDockingWindows"));
    QAction* statusAction = AddCommand(view, kCmdStatusBar, QVxAppString(kAppStringStatusBarCommand), [] {});
    statusAction->setCheckable(true);
    statusAction->setChecked(true);
    connect(statusAction, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
    QAction* fit = AddCommand(view, kCmdFitTracks, QVxAppString(kAppStringFitTracksCommand), [] {});
    fit->setCheckable(true);
    fit->setChecked(m_settings.value(kFitTracksKey, true).toBool());
    connect(fit, &QAction::toggled, this, [this](bool on) {
        m_settings.setValue(kFitTracksKey, on);
        ApplyTrackFit();
    });
    QAction* clock = AddCommand(view, kCmdClockTime, QVxAppString(kAppStringClockTimeCommand), [] {});
    clock->setCheckable(true);
    clock->setChecked(m_settings.value(kClockTimeKey, false).toBool());
    m_viewModel.SetClockTimeShown(clock->isChecked());
    connect(clock, &QAction::toggled, this, [this](bool on) {
        m_settings.setValue(kClockTimeKey, on);
        ApplyClockTime(on);
    });
    QMenu* looks = view->addMenu(QVxAppString(kAppStringLooksMenu));
    m_lookGroup = new QActionGroup(this);
    for (const int id : kLooks) {
        QAction* action = AddCommand(looks, id, QVxAppString(id), [this, id] { ApplyLook(id); });
        action->setCheckable(true);
        m_lookGroup->addAction(action);
    }

    QMenu* tools = menuBar()->addMenu(QVxAppString(kAppStringToolsMenu));
    AddCommand(tools, kCmdEnvironment, QVxAppString(kAppStringEnvironmentCommand),
               [this] { ShowEnvironmentDialog(); });

    QMenu* help = menuBar()->addMenu(QVxAppString(kAppStringHelpMenu));
    AddCommand(help, kCmdHelp, QVxAppString(kAppStringHelpCommand), [this] { OpenHelp(); });
    help->addSeparator();
    AddCommand(help, kCmdAbout, QVxAppString(kAppStringAboutCommand), [this] {
        QVxAnalogAboutDlg about(this);
        about.exec();
    });
}

void CMainFrame::CreateToolBar() {
    m_toolBar = addToolBar(QVxAppString(kAppStringToolBarTitle));
    m_toolBar->setObjectName(QStringLiteral("ToolBarStandard"));
    m_toolBar->setIconSize(QSize(20, 20));
    QAction* open = FindCommand(kCmdOpen);
    open->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    QAction* save = FindCommand(kCmdSaveAs);
    save->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    QAction* about = FindCommand(kCmdAbout);
    about->setIcon(style()->standardIcon(QStyle::SP_MessageBoxInformation));
    m_toolBar->addAction(open);
    m_toolBar->addAction(save);
    m_toolBar->addSeparator();
    m_toolBar->addAction(about);
    QMenu* bars = findChild<QMenu*>(QStringLiteral("menuDockingWindows"));
    if (bars) {
        bars->addSeparator();
        bars->addAction(QVxAppString(kAppStringToolBarCustomize))->setEnabled(false);
    }
}

namespace {

// The status bar's slots, in order: message area, trace state, records taken in, and the
// connected unit.
enum class Indicator : std::size_t { kMessage, kTraceState, kRecordCount, kUnit, kCount };

QLabel* Slot(const std::vector<QLabel*>& indicators, Indicator slot) {
    return indicators[static_cast<std::size_t>(slot)];
}

}  // namespace

void CMainFrame::CreateStatusBar() {
    for (std::size_t i = 0; i < static_cast<std::size_t>(Indicator::kCount); ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("indicator%1").arg(i));
        if (i == static_cast<std::size_t>(Indicator::kMessage))
            statusBar()->addWidget(label, 1);
        else
            statusBar()->addPermanentWidget(label);
        m_indicators.push_back(label);
    }
}

bool CMainFrame::CreateDockingWindows() {
    auto name = [](QDockWidget* pane, const char* objectName) {
        pane->setObjectName(QString::fromUtf8(objectName));
        return pane;
    };
    auto* tracePane = new CTracePane(m_viewModel, this);
    m_tracePane = name(tracePane, "TracePane");
    m_traceDlg = tracePane->GetDialog();

    m_displayTriggerPane =
        name(new QDockWidget(QVxWinGUI::LoadStringW(kGuiStringDisplayTrigger), this), "DisplayTriggerPane");
    m_displayTriggerDlg = new CQVxWaveformDisplayTriggerDlg(m_displayTriggerPane);
    m_displayTriggerDlg->setWindowFlags(Qt::Widget);
    auto* scroller = new QScrollArea(m_displayTriggerPane);
    scroller->setWidget(CreateDisplayTriggerContent());
    scroller->setWidgetResizable(true);
    scroller->setFrameShape(QFrame::NoFrame);
    m_displayTriggerPane->setWidget(scroller);
    m_displayTriggerDlg->Setup(&m_viewModel.GetDisplayTriggerPresenter());

    m_dataListPane = new CAnalogDataListPane(m_viewModel, this);
    name(m_dataListPane, "AnalogDataListPane");
    connect(m_view, &CQVxAnalogScopeView::ExportMarkedRangeRequested, m_dataListPane,
            [this] { m_dataListPane->OnCsvExport(CQVxCsvExportSettingsDlg::Range::kMarkers); });
    m_triggerListPane = new CQVxAnalogDisplayTriggerListPane(m_viewModel, this);
    name(m_triggerListPane, "DisplayTriggerListPane");
    m_measurementPane = new CQVxMeasurementPane(m_viewModel, this);
    m_bookmarksPane = new CQVxBookmarksPane(m_viewModel, this);
    name(m_bookmarksPane, "BookmarksPane");
    connect(m_bookmarksPane, &CQVxBookmarksPane::JumpedToTime, this,
            [this](qint64 time) { m_view->SendTimeToPeers(time); });
    connect(m_searchPanel, &CQVxEventSearchPanel::HitsReplaced, this, [this] {
        m_triggerListPane->ShowSessionHits();
        m_triggerListPane->raise();
    });

    addDockWidget(Qt::LeftDockWidgetArea, m_tracePane);
    tabifyDockWidget(m_tracePane, m_displayTriggerPane);
    m_tracePane->raise();
    addDockWidget(Qt::BottomDockWidgetArea, m_dataListPane);
    splitDockWidget(m_dataListPane, m_triggerListPane, Qt::Horizontal);
    tabifyDockWidget(m_triggerListPane, m_measurementPane);
    tabifyDockWidget(m_triggerListPane, m_bookmarksPane);
    m_triggerListPane->raise();
    resizeDocks({m_tracePane}, {360}, Qt::Horizontal);
    resizeDocks({m_dataListPane}, {230}, Qt::Vertical);
    resizeDocks({m_dataListPane, m_triggerListPane}, {560, 680}, Qt::Horizontal);
    QMenu* bars = findChild<QMenu*>(QStringLiteral("menuDockingWindows"));
    for (QDockWidget* pane :
         {m_tracePane, m_displayTriggerPane, static_cast<QDockWidget*>(m_dataListPane),
          static_cast<QDockWidget*>(m_triggerListPane), static_cast<QDockWidget*>(m_measurementPane),
          static_cast<QDockWidget*>(m_bookmarksPane)}) {
        if (bars) bars->insertAction(bars->actions().value(1), pane->toggleViewAction());
    }
    return true;
}

// The display trigger pane's content: the trigger settings, then the search commands,
// whose F3 and Shift+F3 work anywhere in the window.
QWidget* CMainFrame::CreateDisplayTriggerContent() {
    auto* content = new QWidget(m_displayTriggerPane);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_displayTriggerDlg);
    // The dialog places its controls itself and has no size hint: it keeps its designed
    // height in the layout, and is shown again after the layout took it over.
    m_displayTriggerDlg->setMinimumHeight(m_displayTriggerDlg->height());
    m_displayTriggerDlg->show();
    m_searchPanel = new CQVxEventSearchPanel(m_viewModel, content);
    layout->addWidget(m_searchPanel);
    layout->addStretch(1);
    // The pane scrolls: its boxes take the wheel only when focused, as in the trace pane.
    QVxWheelFocusFilter::Install(content);
    const auto addKey = [this](int id, QKeySequence key, std::function<void()> handler) {
        QAction* action = AddCommand(nullptr, id, key.toString(), std::move(handler));
        action->setShortcut(key);
        addAction(action);
    };
    addKey(kCmdSearchNext, QKeySequence(Qt::Key_F3), [this] { m_searchPanel->FindNext(); });
    addKey(kCmdSearchPrevious, QKeySequence(Qt::SHIFT | Qt::Key_F3),
           [this] { m_searchPanel->FindPrevious(); });
    // The next and previous bookmark from the cursor, anywhere in the window.
    addKey(kCmdNextBookmark, QKeySequence(Qt::CTRL | Qt::Key_B), [this] { m_bookmarksPane->GoToNext(true); });
    addKey(kCmdPreviousBookmark, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B),
           [this] { m_bookmarksPane->GoToNext(false); });
    return content;
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
    Slot(m_indicators, Indicator::kTraceState)
        ->setText(state == QVxAnalogViewModel::kTracing    ? QVxAppString(kAppStringTracing)
                  : state == QVxAnalogViewModel::kStopping ? QVxAppString(kAppStringStopping)
                                                           : QVxAppString(kAppStringIdle));
    const auto* session = m_viewModel.GetSession();
    const auto& reader = session ? session->GetReportData() : nullptr;
    const std::uint64_t records =
        m_viewModel.isTracing() ? m_viewModel.GetRecordCount() : (reader ? reader->GetTotalRecordCount() : 0);
    Slot(m_indicators, Indicator::kRecordCount)->setText(QVxAppString(kAppStringRecordCount).arg(records));
    auto* devices = m_viewModel.GetDeviceManagerViewModel();
    auto device = devices ? devices->GetConnectedDevice() : nullptr;
    Slot(m_indicators, Indicator::kUnit)
        ->setText(device ? QString::fromStdWString(device->GetDeviceId())
                         : QVxWinGUI::LoadStringW(kGuiStringNotConnected));
}

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
    QLabel* area = Slot(m_indicators, Indicator::kMessage);
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
