#pragma once
// The application: start-up in its fixed order (logging, main dispatcher, the GUI
// interaction, instance id, preferences with the cache-folder repair, device
// library, main frame, command line, first show, first device refresh) and the
// shutdown (preferences saved, connection thread joined, unit disconnected,
// per-run instance folder removed). GUI thread only.

#include "QV+Analog/MainFrm.h"
#include "QV+Analog/QVxDesktopShutdown.h"
#include "QV+Analog/QVxSoakProbe.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/AnalogEnvData.h"
#include "QVxWinCommon/DataClasses/QVxAppIntegration.h"
#include "QVxWinGUICommon/Common/GuiInteraction.h"
#include "QVxWinGUICommon/Device/QVxNotificationImpl.h"

#include <QSettings>
#include <QStringList>

#include <filesystem>
#include <memory>
#include <optional>

class CQVxAnalogScopeApp {
public:
    struct Options {
        QStringList arguments;  // without the program name
        // Frame layout and looks; empty: QSettings("OrvalenData", "QV+Analog").
        QString settingsFile;
        // Where the device library's bit-stream is; empty: beside the program.
        std::filesystem::path bitStreamPath;
        bool showWindow = true;
        bool familyProtocol = true;
        // Message service (not owned); null: message boxes.
        IQVxNotification* notification = nullptr;
        // Asked when the stored cache folder is missing; none ends start-up.
        // Empty: the re-enter dialog.
        std::function<std::optional<std::filesystem::path>(const std::filesystem::path&)> askCacheFolder;
    };

    // Parses the command line: [--simulate] [--lang ja|en] [SESSION.qvxa]. Unknown
    // options are refused with a usage text in `error`.
    struct CommandLine {
        bool simulate = false;
        QString language;  // "ja", "en" or empty (not given)
        QString sessionFile;
        QString error;
    };
    static CommandLine ParseCommandLine(const QStringList& arguments);
    // What --help prints: the usage line and each option. The man page QV+Analog(1)
    // must name every option in it (ctest qvplusanalog_manpage_options checks it).
    static const char* UsageText();

    explicit CQVxAnalogScopeApp(Options options);
    ~CQVxAnalogScopeApp();
    CQVxAnalogScopeApp(const CQVxAnalogScopeApp&) = delete;
    CQVxAnalogScopeApp& operator=(const CQVxAnalogScopeApp&) = delete;

    // Start-up; false ends the program (the reason is logged or shown).
    bool InitInstance();
    // Shutdown work; runs once (at the frame's close or at destruction).
    void ExitInstance();

    CMainFrame* GetMainFrame() const { return m_frame.get(); }
    QVxAnalogViewModel& GetViewModel() { return m_viewModel; }
    qvx::AnalogEnvData& GetEnvData() { return m_envData; }
    QSettings& GetSettings() { return *m_settings; }
    QVxAppIntegration* GetIntegration() const { return m_integration.get(); }
    // Termination signals and the desktop's logout; null before InitInstance made the frame.
    QVxDesktopShutdown* GetDesktopShutdown() const { return m_desktopShutdown.get(); }
    bool WasFirstRun() const { return m_firstRun; }

private:
    void ConnectFamily();
    void ConnectFamilyHandlers();
    void OnClosingMainFrame();
    void RemoveInstanceFolders(bool keepRecording);
    void OfferOrphanedRecordings();

    Options m_options;
    std::unique_ptr<QSettings> m_settings;
    GuiInteraction m_interaction;
    QVxNotificationImpl m_notification;
    qvx::AnalogEnvData m_envData;
    QVxAnalogViewModel m_viewModel;
    std::unique_ptr<QVxAppIntegration> m_integration;
    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<QVxDesktopShutdown> m_desktopShutdown;  // goes before the frame
    std::unique_ptr<QVxSoakProbe> m_soakProbe;              // only for long runs (QVPLUS_SOAK_PROBE)
    bool m_initialised = false;
    bool m_exited = false;
    bool m_firstRun = false;
    bool m_ownsDispatcher = false;
};
