#pragma once
// Error notifications: (code, sub code) pairs and device library error codes become
// message texts, shown through one process-wide service. The GUI installs one that
// shows message boxes, the command-line front end one that prints, tests a recorder.

#include <string>
#include <string_view>

// The `code` of a notification.
namespace QVxNotificationCode {
inline constexpr int kNone = 0;
inline constexpr int kSystemError = 1;  // subCode: the errno value
inline constexpr int kSilent = 2;
// kFirstDeviceManager..kLastDeviceManager: the device manager's errors.
inline constexpr int kFirstDeviceManager = 3;
inline constexpr int kBitStreamNameNotSet = 3;
inline constexpr int kBitStreamNotFound = 4;
inline constexpr int kUnitInitFailed = 5;
inline constexpr int kUnitNotInitialized = 6;
inline constexpr int kUsbConnectionLost = 7;
inline constexpr int kDeviceLibraryError = 8;  // subCode: the device library's error code
inline constexpr int kNoUnitFound = 9;
inline constexpr int kSeveralUnitsFound = 10;
inline constexpr int kUntextedDeviceError = 11;  // its string id 25093 has no text in the table
inline constexpr int kUnitConnectionInterrupted = 12;
inline constexpr int kLastDeviceManager = 1026;
// Up to kLastReserved: no text. From kFirstUser on: the application's own (UserErrorMessage).
inline constexpr int kLastReserved = 2050;
inline constexpr int kFirstUser = 2051;
}  // namespace QVxNotificationCode

class IQVxNotification {
public:
    virtual ~IQVxNotification() = default;
    // Codes: QVxNotificationCode.
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
