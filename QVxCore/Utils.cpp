#include "QVxCore/Utils.h"

#include <spdlog/spdlog.h>

#include <cstdlib>

namespace qvx {

void LogFailedCheck(const char* condition, const char* file, int line, const char* function) noexcept {
    try {
        spdlog::default_logger_raw()->log(spdlog::source_loc{file, line, function}, spdlog::level::err,
                                          condition);
    } catch (...) {
        // Logging must never turn a failed check into a crash.
    }
}

void ThrowUnreachable(const char* file, int line, const char* function) {
    spdlog::default_logger_raw()->log(spdlog::source_loc{file, line, function}, spdlog::level::critical,
                                      "Uneachable code.");
    throw UnreachableError();
}

void ThrowNotImplemented(const char* file, int line, const char* function) {
    spdlog::default_logger_raw()->log(spdlog::source_loc{file, line, function}, spdlog::level::critical,
                                      "Not implemented.");
    throw NotImplementedError();
}

std::filesystem::path GetUserDataHome() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
        return std::filesystem::path(xdg);
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / ".local" / "share";
}

}  // namespace qvx
