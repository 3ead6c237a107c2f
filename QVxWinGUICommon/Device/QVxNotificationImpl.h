#pragma once
// The GUI's notification service: the message texts of the shared base shown in a
// plain message box (OK only, no icon). The program installs one instance with
// QVxNotification::Set at start-up. GUI thread only.

#include "QVxWinCommon/QVxNotification.h"
#include "QVxWinGUICommon/QVxWinGUICommonExport.h"

class QVXWINGUICOMMON_EXPORT QVxNotificationImpl : public QVxNotificationBase {
public:
    // The library links its own copy of the notification service's slot; this sets
    // that copy (the library's dialogs show their messages through it). The
    // program calls it beside its own QVxNotification::Set.
    static void InstallInLibrary(IQVxNotification* service);

    void OnNotifyErrorMessage(const std::string& text) override;
};
