#pragma once
// The process-wide logger: spdlog's default logger with a rotating file sink and
// a coloured stderr sink. Every other module logs through spdlog's default logger.

#include <cstdint>
#include <filesystem>
#include <string>

namespace qvx {

class Logger {
public:
    static constexpr std::size_t kMaxFileBytes = 1'048'576;
    static constexpr std::size_t kMaxRotatedFiles = 3;
    static constexpr std::size_t kKeptLogEntries = 5;

    // Sets up the default logger for `applicationName` ("QV+Analog"). Runs once on
    // the GUI thread before any other thread exists. Failures are written to stderr;
    // the program then keeps spdlog's built-in logger.
    static void Init(const std::string& applicationName);

    // Releases the first-instance lock (the application's exit routine).
    static void Shutdown();

    // <user data home>/qmrs/<applicationName>/Logs
    static std::filesystem::path LogFolder(const std::string& applicationName);

    // Device library log lines: type 1 info, 2 warning, 3 error, 4 critical, else debug.
    static void LogDeviceMessage(const char* sourceFile, std::uint32_t line, std::uint32_t type,
                                 const char* message);

    // Keeps the `keep` newest entries of `folder` by last write time; silent on errors.
    static void RemoveOldEntries(const std::filesystem::path& folder, std::size_t keep);
};

}  // namespace qvx
