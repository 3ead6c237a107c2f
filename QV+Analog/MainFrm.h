#pragma once
// The main frame: menu bar, tool bar, status bar, the central waveform view and
// four docking panes (tracing and display trigger tabbed on the left, data list
// at the bottom with the display-trigger list to its right), the application
// looks, the trace timer (100 ms) and the device refresh timer (3000 ms), the
// session commands and the handlers of the family protocol. GUI thread only.

#include "QV+Analog/QVxAnalogLooks.h"
#include "QVxCore/Presenters/Signal.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CAnalogDataListPane;
class CQVxAnalogDisplayTriggerListPane;
class CQVxAnalogScopeView;
class CQVxAnalogTracingStatusDlg;
class CQVxEventSearchPanel;
class CQVxMeasurementPane;
class CQVxCyclePane;
class IQVxReportSection;
class CQVxFrequencyPane;
class CQVxBookmarksPane;
class CQVxWaveformDisplayTriggerDlg;
class CTracePane;
class QActionGroup;
class QDockWidget;
class QLabel;
class QMenu;
class QSettings;
class QToolBar;
class QVxAnalogViewModel;
class QVxAppIntegration;

namespace qvx {
class AnalogEnvData;
}

class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    // Command ids of the menus.
    static constexpr int kCmdOpen = 32776;
    static constexpr int kCmdSaveAs = 32777;
    static constexpr int kCmdExit = 57665;
    static constexpr int kCmdToolBar = 59392;
    static constexpr int kCmdStatusBar = 59393;
    static constexpr int kCmdEnvironment = 32785;
    static constexpr int kCmdAbout = 57664;
    static constexpr int kCmdHelp = 32771;
    static constexpr int kCmdFitTracks = 32800;
    static constexpr int kCmdClockTime = 32801;
    static constexpr int kDefaultTrackHeight = 150;  // px
    static constexpr int kTraceTimerMs = 100;
    static constexpr int kDeviceRefreshMs = 3000;
    static constexpr int kRecentFileCount = 4;
    // The display trigger pane's search commands, F3 and Shift+F3 anywhere in the window.
    static constexpr int kCmdSearchNext = 32810;
    static constexpr int kCmdSearchPrevious = 32811;
    static constexpr int kCmdNextBookmark = 32812;      // Ctrl+B
    static constexpr int kCmdPreviousBookmark = 32813;  // Ctrl+Shift+B
    // Pictures of the monitor window: "Save Image..." and "Report..." in the File menu.
    static constexpr int kCmdSaveImage = 32820;
    static constexpr int kCmdReport = 32821;
    // How long closing waits for a running trace to end before its recording is saved.
    static constexpr int kStopWaitMs = 30'000;

    // `settings` holds the frame layout, "ApplicationLook" and the recent files
    // (not owned). `integration` may be null (no family protocol).
    CMainFrame(QVxAnalogViewModel& viewModel, qvx::AnalogEnvData& envData, QSettings& settings,
               QVxAppIntegration* integration);
    ~CMainFrame() override;

    // Session commands; `path` empty asks through the file dialog. True when done.
    bool OpenSession(QString path = {});
    bool SaveSessionAs(QString path = {});
    // Opens the help page `path` in the desktop's browser; tells the user when the
    // file is missing or no launcher opened it.
    void OpenHelpFile(const QString& path);
    void ApplyLook(int look);
    int GetLook() const { return m_look; }
    void UpdateTitle();

    // Family protocol, as received from a peer.
    // Moves the cursor to the absolute time `absNs` (ns since the epoch).
    void OnQVxSyncTime(std::int64_t absNs);
    // 1 stops a running trace, 0 starts one on a connected unit.
    void OnQVxSyncTrace(std::int64_t wParam);
    // Answers a report query file; true when the answer was written.
    bool OnCheckLoadedReport(const QString& queryFilePath);

    bool IsTraceTimerRunning() const { return m_traceTimer.isActive(); }
    void OnTraceTimer();
    void OnDeviceRefreshTimer();

    CQVxAnalogScopeView* GetView() const { return m_view; }
    QDockWidget* GetTracePane() const { return m_tracePane; }
    CQVxAnalogTracingStatusDlg* GetTracingStatusDlg() const { return m_traceDlg; }
    QDockWidget* GetDisplayTriggerPane() const { return m_displayTriggerPane; }
    CAnalogDataListPane* GetDataListPane() const { return m_dataListPane; }
    CQVxAnalogDisplayTriggerListPane* GetDisplayTriggerListPane() const { return m_triggerListPane; }
    CQVxEventSearchPanel* GetSearchPanel() const { return m_searchPanel; }
    CQVxMeasurementPane* GetMeasurementPane() const { return m_measurementPane; }
    CQVxCyclePane* GetCyclePane() const { return m_cyclePane; }
    CQVxFrequencyPane* GetSpectrumPane() const { return m_spectrumPane; }
    CQVxBookmarksPane* GetBookmarksPane() const { return m_bookmarksPane; }
    QAction* FindCommand(int id) const;
    QStringList GetRecentFiles() const;

    // Asks whether to save an unsaved recording that is about to be lost: Save (through
    // the save-as dialog), Discard or Cancel. True to go on: saved or discarded.
    bool AskToSaveRecording();
    bool AskToSaveBookmarks();
    bool OnReplacingUnsavedBookmarks();
    // Whether a peer's trace start is being handled: an unsaved recording is then kept for
    // later instead of asking, since no one may be at this window to answer.
    bool IsHandlingRemoteStart() const { return m_handlingRemoteStart; }
    // Stops a running trace with drain and waits (running the event loop) until it ended.
    bool StopTraceAndWait();
    // Closes without asking about an unsaved recording, which the shutdown then keeps for
    // recovery: a signal or the desktop's logout, with nobody there to answer.
    void CloseUnattended() {
        m_unattendedClose = true;
        close();
    }

    // Runs at close, before the window goes: the shutdown work (behind the
    // progress dialog while a unit is connecting). Set by the application.
    void SetClosingHandler(std::function<void()> handler) { m_closingHandler = std::move(handler); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Keys of the window's preferences (QSettings).
    static constexpr const char* kLookKey = "ApplicationLook";
    // Whether the tracks fit the view's height, and the shared track height (px) when not.
    static constexpr const char* kFitTracksKey = "View/FitTracks";
    static constexpr const char* kClockTimeKey = "View/ClockTime";  // times shown as the time of day
    static constexpr const char* kTrackHeightKey = "View/TrackHeight";
    static constexpr const char* kRecentKey = "RecentFileList";

    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    bool CreateDockingWindows();
    std::vector<std::unique_ptr<IQVxReportSection>> AnalysisReportSections() const;
    QWidget* CreateDisplayTriggerContent();
    QAction* AddCommand(QMenu* menu, int id, const QString& text, std::function<void()> handler);
    void OnTraceStateChanged();
    void OnDevicesChanged();
    void OnSessionChanged();
    void ApplyTrackFit();
    void ApplyClockTime(bool on);
    void OnTrackHeightDragged(int sharedHeight);
    void WatchOverviewIndexing();
    void UpdateStatusBar();
    void UpdateRecentFilesMenu();
    void AddRecentFile(const QString& path);
    void StartTraceTimer();
    void ShowEnvironmentDialog();
    void OpenHelp();
    bool HoldsOtherReportData(const QString& settingFilePath) const;
    QString DialogFolder() const;
    void PressStartStop();
    void SaveLayout();
    bool OnReplacingUnsavedRecording();

    QVxAnalogViewModel& m_viewModel;
    qvx::AnalogEnvData& m_envData;
    QSettings& m_settings;
    QVxAppIntegration* m_integration;  // not owned; may be null
    CQVxAnalogScopeView* m_view = nullptr;
    QDockWidget* m_tracePane = nullptr;
    CQVxAnalogTracingStatusDlg* m_traceDlg = nullptr;
    QDockWidget* m_displayTriggerPane = nullptr;
    CQVxWaveformDisplayTriggerDlg* m_displayTriggerDlg = nullptr;
    CAnalogDataListPane* m_dataListPane = nullptr;
    CQVxAnalogDisplayTriggerListPane* m_triggerListPane = nullptr;
    CQVxEventSearchPanel* m_searchPanel = nullptr;
    CQVxMeasurementPane* m_measurementPane = nullptr;
    CQVxCyclePane* m_cyclePane = nullptr;
    CQVxFrequencyPane* m_spectrumPane = nullptr;
    CQVxBookmarksPane* m_bookmarksPane = nullptr;
    QToolBar* m_toolBar = nullptr;
    QMenu* m_recentMenu = nullptr;
    QActionGroup* m_lookGroup = nullptr;
    // The status bar's slots, in order: message area, trace state, records taken in, and the
    // connected unit.
    enum class Indicator : std::size_t { kMessage, kTraceState, kRecordCount, kUnit, kCount };
    QLabel* IndicatorLabel(Indicator slot) const { return m_indicators[static_cast<std::size_t>(slot)]; }
    std::vector<QLabel*> m_indicators;
    QTimer m_traceTimer;
    QTimer m_deviceRefreshTimer;
    int m_look = QVxAnalogLooks::kStandard;
    std::wstring m_connectedDeviceId;  // for the log line of a change
    std::function<void()> m_closingHandler;
    bool m_handlingRemoteStart = false;
    bool m_unattendedClose = false;
    std::vector<std::shared_ptr<qvx::SignalConnection>> m_connections;
    std::shared_ptr<qvx::SignalConnection> m_indexingConnection;  // the session's overview indexing
};
