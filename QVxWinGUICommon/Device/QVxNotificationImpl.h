#pragma once
// The GUI's notification service: the message texts of the shared base shown in a
// plain message box (OK only, no icon). The program installs one instance with
// QVxNotification::Set at start-up. GUI thread only.

#include "QVxWinCommon/QVxNotification.h"
#include "QVxWinGUICommon/QVxWinGUICommonExport.h"

class QVXWINGUICOMMON_EXPORT QVxNotificationImpl : public QVxNotificationBase {
public:
    void OnNotifyErrorMessage(const std::string& text) override;
};
