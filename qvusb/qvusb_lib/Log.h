#pragma once
// Logging of the device library: every message goes to the one process-wide log callback
// (QVPlus_SetLogCallback); without a callback nothing is logged. Messages are formatted
// printf-style into 1024 bytes; longer text is truncated.

#include "qvusb/qvusb_api.h"

#include <cstdint>

namespace qvusb {

enum LogLevel : uint32_t { kLogDebug = 0, kLogInfo = 1, kLogWarning = 2, kLogError = 3, kLogCritical = 4 };

void SetLogCallback(QVPlusLogCallback callback);
void LogMessage(const char* sourceModule, uint32_t line, uint32_t level, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

}  // namespace qvusb

#define QVUSB_LOG(level, ...) ::qvusb::LogMessage(__FILE__, __LINE__, (level), __VA_ARGS__)
