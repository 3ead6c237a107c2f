#pragma once
// Error notifications: (code, sub code) pairs and device library error codes become
// message texts, shown through one process-wide service. The GUI installs one that
// shows message boxes, the command-line front end one that prints, tests a recorder.

#include <string>
#include <string_view>

class IQVxNotification {
public:
    virtual ~IQVxNotification() = default;
    // Codes: 0 and 2 none; 1 system error `subCode`; 3..1026 the device manager's last
    // error; 2051 and above application-defined (UserErrorMessage).
    virtual std::string OnLoadResourceString(int code, int subCode) = 0;
    virtual std::string OnLoadQVUSBErrorMessage(int code) = 0;
    virtual void OnNotifyError(int code, int subCode) = 0;
    virtual void OnNotifyErrorMessage(const std::string& text) = 0;
    virtual bool UserErrorMessage(int code, int subCode, std::string& text) = 0;
};

// The texts; subclasses decide how a message is shown.
class QVxNotificationBase : public IQVxNotification {
public:
    std::string OnLoadResourceString(int code, int subCode) override;
    std::string OnLoadQVUSBErrorMessage(int code) override { return QVUSBErrorMessage(code); }
    void OnNotifyError(int code, int subCode) override {
        OnNotifyErrorMessage(OnLoadResourceString(code, subCode));
    }
    bool UserErrorMessage(int, int, std::string&) override { return false; }

    static std::string DeviceManagerErrorMessage(int code, int subCode);
    static std::string QVUSBErrorMessage(int code);
};

namespace QVxNotification {

// The process-wide service (not owned); null until the front end installs one.
void Set(IQVxNotification* service);
IQVxNotification* Get();

// Shows `text`, or logs it when no service is installed.
void ShowText(std::string_view text);
// Shows the GUI library's string `id`.
void ShowGuiMessage(int id);

}  // namespace QVxNotification
