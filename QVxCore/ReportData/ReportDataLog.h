#pragma once
// Error logging of the report data classes: the message with the source position and
// the qualified function name ("ReportFile::ReadRecord"), at error level.

#include "QVxCore/Utils.h"

#include <spdlog/spdlog.h>

#define QVX_REPORT_ERROR(function, ...)                                                     \
    ::spdlog::default_logger_raw()->log(::spdlog::source_loc{__FILE__, __LINE__, function}, \
                                        ::spdlog::level::err, __VA_ARGS__)

// Failed precondition: logs the condition's text under `function` and returns `result`.
#define QVX_REPORT_CHECK(cond, function, result)                        \
    do {                                                                \
        if (!(cond)) {                                                  \
            ::qvx::LogFailedCheck(#cond, __FILE__, __LINE__, function); \
            return result;                                              \
        }                                                               \
    } while (0)
