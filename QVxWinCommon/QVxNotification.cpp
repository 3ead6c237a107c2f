#include "QVxWinCommon/QVxNotification.h"

#include "QVxWinCommon/QVxGuiStrings.h"
#include "qvusb/qvusb_api.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <atomic>
#include <system_error>

namespace {

std::atomic<IQVxNotification*> s_service{nullptr};

std::string GuiString(int id) {
    return std::string(QVxLoadGuiString(id));
}

}  // namespace

std::string QVxNotificationBase::OnLoadResourceString(int code, int subCode) {
    if (code < 0 || code == 0 || code == 2) return {};
    if (code == 1) return std::system_category().message(subCode);
    if (code <= 1026) return DeviceManagerErrorMessage(code, subCode);
    if (code <= 2050) return {};
    std::string text;
    if (UserErrorMessage(code, subCode, text)) return text;
    return fmt::format("Unknown error. code = {}, sub code = {}", code, subCode);
}

std::string QVxNotificationBase::DeviceManagerErrorMessage(int code, int subCode) {
    switch (code) {
        case 3:
            return GuiString(25012);
        case 4:
            return GuiString(25013);
        case 5:
            return GuiString(25014);
        case 6:
            return GuiString(25015);
        case 7:
            return GuiString(25016);
        case 8:
            return QVUSBErrorMessage(subCode);
        case 9:
            return GuiString(25061);
        case 10:
            return GuiString(25062);
        case 11:
            return GuiString(25093);
        case 12:
            return GuiString(25095);
        default:
            return fmt::format("[devmgr]Unknown error. code = {}, sub code = {}", code, subCode);
    }
}

std::string QVxNotificationBase::QVUSBErrorMessage(int code) {
    switch (code) {
        case QVPLUS_ERR_INVALID_PARAMETER:
            return GuiString(25020);
        case QVPLUS_ERR_OPEN:
            return GuiString(25021);
        case QVPLUS_ERR_STATUS_READ:
            return GuiString(25022);
        case QVPLUS_ERR_FILE_WRITE:
            return GuiString(25023);
        case QVPLUS_ERR_FPGA_DOWNLOAD:
            return GuiString(25024);
        case QVPLUS_ERR_UNKNOWN:
            return GuiString(25025);
        case QVPLUS_ERR_CANUSB:
            return GuiString(25026);
        default:
            return fmt::format("[qvusb]Unknown error. code = {}", code);
    }
}

namespace QVxNotification {

void Set(IQVxNotification* service) {
    s_service = service;
}
IQVxNotification* Get() {
    return s_service.load();
}

void ShowText(std::string_view text) {
    if (IQVxNotification* service = Get()) {
        service->OnNotifyErrorMessage(std::string(text));
    } else {
        spdlog::warn("{}", text);
    }
}

void ShowGuiMessage(int id) {
    ShowText(QVxLoadGuiString(id));
}

}  // namespace QVxNotification
