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
    namespace Code = QVxNotificationCode;
    if (code < Code::kNone || code == Code::kNone || code == Code::kSilent) return {};
    if (code == Code::kSystemError) return std::system_category().message(subCode);
    if (code <= Code::kLastDeviceManager) return DeviceManagerErrorMessage(code, subCode);
    if (code <= Code::kLastReserved) return {};
    std::string text;
    if (UserErrorMessage(code, subCode, text)) return text;
    return fmt::format("Unknown error. code = {}, sub code = {}", code, subCode);
}

std::string QVxNotificationBase::DeviceManagerErrorMessage(int code, int subCode) {
    namespace Code = QVxNotificationCode;
    switch (code) {
        case Code::kBitStreamNameNotSet:
            return GuiString(kGuiStringBitStreamNameNotSet);
        case Code::kBitStreamNotFound:
            return GuiString(kGuiStringBitStreamNotFound);
        case Code::kUnitInitFailed:
            return GuiString(kGuiStringUnitInitFailed);
        case Code::kUnitNotInitialized:
            return GuiString(kGuiStringUnitNotInitialized);
        case Code::kUsbConnectionLost:
            return GuiString(kGuiStringUsbConnectionLost);
        case Code::kDeviceLibraryError:
            return QVUSBErrorMessage(subCode);
        case Code::kNoUnitFound:
            return GuiString(kGuiStringNoUnitFound);
        case Code::kSeveralUnitsFound:
            return GuiString(kGuiStringSeveralUnitsFound);
        case Code::kUntextedDeviceError:
            return GuiString(25093);  // no row in the table: an empty text
        case Code::kUnitConnectionInterrupted:
            return GuiString(kGuiStringUnitConnectionInterrupted);
        default:
            return fmt::format("[devmgr]Unknown error. code = {}, sub code = {}", code, subCode);
    }
}

std::string QVxNotificationBase::QVUSBErrorMessage(int code) {
    switch (code) {
        case QVPLUS_ERR_INVALID_PARAMETER:
            return GuiString(kGuiStringInvalidParameters);
        case QVPLUS_ERR_OPEN:
            return GuiString(kGuiStringCannotOpenUnit);
        case QVPLUS_ERR_STATUS_READ:
            return GuiString(kGuiStringCannotReadUnitState);
        case QVPLUS_ERR_FILE_WRITE:
            return GuiString(kGuiStringTraceWriteFailed);
        case QVPLUS_ERR_FPGA_DOWNLOAD:
            return GuiString(kGuiStringFirmwareDownloadFailed);
        case QVPLUS_ERR_UNKNOWN:
            return GuiString(kGuiStringUnknownError);
        case QVPLUS_ERR_CANUSB:
            return GuiString(kGuiStringCanUsbError);
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
