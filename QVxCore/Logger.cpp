#include "QVxCore/Logger.h"

#include "QVxCore/Utils.h"

#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <iostream>
#include <vector>

#if defined(__unix__)
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace qvx {
namespace fs = std::filesystem;

namespace {

#if defined(__unix__)
int g_instanceLockFd = -1;

// The first running instance holds an exclusive lock on this file for its whole run.
// It lives beside the log folder, not in it, so the clean-up never counts it.
bool AcquireFirstInstanceLock(const fs::path& lockFile) {
    int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    g_instanceLockFd = fd;
    return true;
}
#else
bool AcquireFirstInstanceLock(const fs::path&) {
    return true;
}
#endif

}  // namespace

fs::path Logger::LogFolder(const std::string& applicationName) {
    return GetUserDataHome() / "qmrs" / applicationName / "Logs";
}

void Logger::RemoveOldEntries(const fs::path& folder, std::size_t keep) {
    try {
        std::vector<std::pair<fs::file_time_type, fs::path>> entries;
        for (const auto& entry : fs::directory_iterator(folder)) {
            entries.emplace_back(entry.last_write_time(), entry.path());
        }
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.first > b.first; });
        for (std::size_t i = keep; i < entries.size(); ++i) {
            fs::remove_all(entries[i].second);
        }
    } catch (const std::exception&) {
        // A clean-up that fails part-way is harmless: the next first instance retries.
    }
}

void Logger::Init(const std::string& applicationName) {
    const fs::path folder = LogFolder(applicationName);
    std::error_code ec;
    fs::create_directories(folder, ec);
    const fs::path file = folder / ("App-" + std::to_string(::getpid()) + ".log");

    if (g_instanceLockFd < 0 &&
        AcquireFirstInstanceLock(folder.parent_path() / (applicationName + "_QVxLoggerGlobalMutex.lock"))) {
        RemoveOldEntries(folder, kKeptLogEntries);
    }

    try {
        auto fileSink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(file.string(), kMaxFileBytes,
                                                                               kMaxRotatedFiles, false);
        auto consoleSink =
            std::make_shared<spdlog::sinks::stderr_color_sink_mt>(spdlog::color_mode::automatic);
        auto logger = std::make_shared<spdlog::logger>("", spdlog::sinks_init_list{fileSink, consoleSink});
        logger->set_level(spdlog::level::info);
        spdlog::set_default_logger(logger);
        spdlog::info("Logger initialized.");
    } catch (const spdlog::spdlog_ex& ex) {
        std::cerr << "Log init failed: " << ex.what() << std::endl;
    }
}

void Logger::Shutdown() {
#if defined(__unix__)
    if (g_instanceLockFd >= 0) {
        ::close(g_instanceLockFd);
        g_instanceLockFd = -1;
    }
#endif
    if (auto logger = spdlog::default_logger()) logger->flush();
}

void Logger::LogDeviceMessage(const char* sourceFile, std::uint32_t line, std::uint32_t type,
                              const char* message) {
    spdlog::level::level_enum level = spdlog::level::debug;
    switch (type) {
        case 1:
            level = spdlog::level::info;
            break;
        case 2:
            level = spdlog::level::warn;
            break;
        case 3:
            level = spdlog::level::err;
            break;
        case 4:
            level = spdlog::level::critical;
            break;
        default:
            break;
    }
    spdlog::default_logger_raw()->log(
        spdlog::source_loc{sourceFile ? sourceFile : "", static_cast<int>(line), ""}, level,
        message ? message : "");
}

}  // namespace qvx
