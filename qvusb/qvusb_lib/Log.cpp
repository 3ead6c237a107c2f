#include "qvusb/qvusb_lib/Log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace qvusb {

namespace {
std::atomic<QVPlusLogCallback> s_logCallback{nullptr};
}

void SetLogCallback(QVPlusLogCallback callback) {
    s_logCallback.store(callback);
}

void LogMessage(const char* sourceModule, uint32_t line, uint32_t level, const char* format, ...) {
    QVPlusLogCallback callback = s_logCallback.load();
    if (callback == nullptr) return;
    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof(message), format, args);
    va_end(args);
    callback(sourceModule, line, level, message);
}

}  // namespace qvusb
