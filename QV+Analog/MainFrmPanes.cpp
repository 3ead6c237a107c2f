// The main frame's menus, tool bar, status bar and docking panes, made once at start-up.
// GUI thread.

#include "QV+Analog/MainFrm.h"

#include "QV+Analog/Analysis/CQVxCyclePane.h"
#include "QV+Analog/Analysis/CQVxEventSearchPanel.h"
#include "QV+Analog/Analysis/CQVxFrequencyPane.h"
#include "QV+Analog/Analysis/CQVxFrequencyPlot.h"
#include "QV+Analog/Analysis/CQVxMeasurementPane.h"
#include "QV+Analog/DataList/CAnalogDataListPane.h"
#include "QV+Analog/DataList/CQVxAnalogDisplayTriggerListPane.h"
#include "QV+Analog/DataList/CQVxBookmarksPane.h"
#include "QV+Analog/Pictures/QVxFramePictures.h"
#include "QV+Analog/Pictures/QVxReportAnalysisSections.h"
#include "QV+Analog/QVxAnalogAboutDlg.h"
#include "QV+Analog/QVxAnalogScopeView.h"
#include "QV+Analog/QVxAppText.h"
#include "QV+Analog/QVxWheelFocusFilter.h"
#include "QV+Analog/TracingStatus/CTracePane.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QV+AnalogCore/QVxAppStrings.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformDisplayTriggerDlg.h"

#include <QActionGroup>
#include <QLabel>
#include <QMenuBar>
#include <QScrollArea>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

// The look commands; each command id is also the id of its menu text.
constexpr int kLooks[] = {kAppStringLookClassic, kAppStringLookStandard, kAppStringLookBlue,
                          kAppStringLookBlack,   kAppStringLookSilver,   kAppStringLookAqua,
                          kAppStringLookWindows7};

}  // namespace

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
    // Pictures of the monitor window as shown, and the PDF report of the stored recording.
    AddCommand(file, kCmdSaveImage, QVxAppString(kAppStringSaveImageCommand),
               [this] { QVxFramePictures::AskAndSaveImage(this, *m_view->GetMonitorWnd(), m_viewModel); });
    AddCommand(file, kCmdReport, QVxAppString(kAppStringReportCommand), [this] {
        QVxFramePictures::AskAndSaveReport(this, *m_view->GetMonitorWnd(), m_viewModel,
                                           AnalysisReportSections());
    });
    file->addSeparator();
    m_recentMenu = file->addMenu(QVxAppString(kAppStringRecentFilesMenu));
    UpdateRecentFilesMenu();
    file->addSeparator();
    AddCommand(file, kCmdExit, QVxAppString(kAppStringExitCommand), [this] { close(); });
    connect(file, &QMenu::aboutToShow, this, [this] {
        FindCommand(kCmdOpen)->setEnabled(m_viewModel.CanOpenSession());
        FindCommand(kCmdSaveAs)->setEnabled(m_viewModel.CanSaveSession());
        const auto* graph = m_viewModel.GetOscilloGraphViewModel();
        FindCommand(kCmdReport)->setEnabled(graph && graph->IsStoredData());
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

// The figures of the spectrum and cycle panes for a report, when they hold a result.
std::vector<std::unique_ptr<IQVxReportSection>> CMainFrame::AnalysisReportSections() const {
    std::vector<std::unique_ptr<IQVxReportSection>> sections;
    if (const auto& spectrum = m_spectrumPane->GetJobs().GetResult())
        sections.push_back(
            std::make_unique<QVxReportSpectrumSection>(spectrum, m_spectrumPane->GetPlot()->grab()));
    if (const auto& cycles = m_cyclePane->GetJobs().GetResult())
        sections.push_back(std::make_unique<QVxReportCycleSection>(cycles));
    return sections;
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
    // The cycle pane, tabbed with the measurement pane; a cycle clicked in its list moves
    // the views as a bookmark does.
    m_cyclePane = new CQVxCyclePane(m_viewModel, this);
    connect(m_cyclePane, &CQVxCyclePane::JumpedToTime, this,
            [this](qint64 time) { m_view->SendTimeToPeers(time); });
    // The spectrum pane, tabbed with the measurement pane.
    m_spectrumPane = new CQVxFrequencyPane(m_viewModel, this);
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
    tabifyDockWidget(m_measurementPane, m_cyclePane);
    tabifyDockWidget(m_measurementPane, m_spectrumPane);
    tabifyDockWidget(m_triggerListPane, m_bookmarksPane);
    m_triggerListPane->raise();
    resizeDocks({m_tracePane}, {360}, Qt::Horizontal);
    resizeDocks({m_dataListPane}, {230}, Qt::Vertical);
    resizeDocks({m_dataListPane, m_triggerListPane}, {560, 680}, Qt::Horizontal);
    QMenu* bars = findChild<QMenu*>(QStringLiteral("menuDockingWindows"));
    for (QDockWidget* pane :
         {m_tracePane, m_displayTriggerPane, static_cast<QDockWidget*>(m_dataListPane),
          static_cast<QDockWidget*>(m_triggerListPane), static_cast<QDockWidget*>(m_measurementPane),
          static_cast<QDockWidget*>(m_bookmarksPane), static_cast<QDockWidget*>(m_cyclePane),
          static_cast<QDockWidget*>(m_spectrumPane)}) {
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
