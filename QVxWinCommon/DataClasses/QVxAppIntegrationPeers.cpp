// The family folder and the peers found in it: socket files named by process id,
// kept when the process runs a family program, removed when the process has ended.

#include "QVxWinCommon/DataClasses/QVxAppIntegration.h"

#include <spdlog/spdlog.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string EnvText(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// "<pid>" or "<pid>-<tag>" -> pid; 0 for any other name.
pid_t PidFromSocketName(const std::string& name) {
    const std::size_t dash = name.find('-');
    const std::string digits = name.substr(0, dash);
    if (digits.empty() || digits.front() == '0') return 0;
    long long pid = 0;
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    if (ec != std::errc() || ptr != digits.data() + digits.size()) return 0;
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max()) return 0;
    return static_cast<pid_t>(pid);
}

// True while a process with `pid` exists (a zombie counts).
bool ProcessExists(pid_t pid) {
    std::error_code ec;
    return fs::exists(fs::path("/proc") / std::to_string(pid), ec);
}

// Target of /proc/<pid>/exe; empty when it cannot be read.
std::string ExePathOf(pid_t pid) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(fs::path("/proc") / std::to_string(pid) / "exe", ec);
    if (ec) {
        spdlog::debug("QVxAppIntegration::GetExeFileName: pid {}: {}", pid, ec.message());
        return {};
    }
    return target.string();
}

// Checks (and with `create`, makes) the family folder.
bool CheckFolder(const fs::path& folder, bool create, std::string& error) {
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) {
        if (errno != ENOENT || !create) {
            error = folder.string() + ": " + std::strerror(errno);
            return false;
        }
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "cannot create " + folder.string() + ": " + std::strerror(errno);
            return false;
        }
        if (::lstat(folder.c_str(), &st) != 0) {
            error = folder.string() + ": " + std::strerror(errno);
            return false;
        }
    }
    if (!S_ISDIR(st.st_mode)) {
        error = folder.string() + " is not a directory";
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        error = fmt::format("{} is owned by uid {}, not by this user (uid {})", folder.string(), st.st_uid,
                            ::geteuid());
        return false;
    }
    if ((st.st_mode & 077) != 0) {
        error = fmt::format("{} can be used by group or others (mode {:04o}); it must be 0700",
                            folder.string(), st.st_mode & 07777);
        return false;
    }
    return true;
}

}  // namespace

std::vector<QVxAppIntegration::Peer> QVxAppIntegration::ListPeersExcept(const fs::path& ownSocket) {
    std::vector<Peer> peers;
    const fs::path folder = FamilyFolder();
    std::string error;
    if (!CheckFolder(folder, false, error)) {
        // Listed again every few seconds by the device list: each new reason is logged once.
        static std::mutex s_mutex;
        static std::string s_lastError;
        const std::lock_guard lock(s_mutex);
        if (error != s_lastError) spdlog::warn("QVxAppIntegration: no family folder to list: {}", error);
        s_lastError = error;
        return peers;
    }
    const std::string match = FamilyExeMatch();
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        const pid_t pid = PidFromSocketName(path.filename().string());
        if (pid == 0 || path == ownSocket) continue;
        std::error_code statusError;
        if (!fs::is_socket(fs::symlink_status(path, statusError))) continue;
        if (!ProcessExists(pid)) {
            spdlog::info("QVxAppIntegration: removing the socket of ended instance {}", pid);
            fs::remove(path, statusError);
            continue;
        }
        std::string exe = ExePathOf(pid);
        if (exe.empty() || exe.find(match) == std::string::npos) continue;
        peers.push_back(Peer{pid, std::move(exe), path});
    }
    if (ec) spdlog::warn("QVxAppIntegration: listing {} failed: {}", folder.string(), ec.message());
    std::sort(peers.begin(), peers.end(), [](const Peer& a, const Peer& b) {
        return a.pid != b.pid ? a.pid < b.pid : a.socketPath < b.socketPath;
    });
    return peers;
}

fs::path QVxAppIntegration::FamilyFolder() {
    const std::string overridden = EnvText("QVPLUS_FAMILY_DIR");
    if (!overridden.empty()) return fs::path(overridden);
    const std::string runtime = EnvText("XDG_RUNTIME_DIR");
    if (!runtime.empty() && fs::path(runtime).is_absolute()) return fs::path(runtime) / "qvplus-family";
    return fs::path("/tmp") / ("qvplus-family-" + std::to_string(::getuid()));
}

bool QVxAppIntegration::PrepareFamilyFolder(const fs::path& folder, std::string& error) {
    return CheckFolder(folder, true, error);
}

std::string QVxAppIntegration::FamilyExeMatch() {
    const std::string overridden = EnvText("QVPLUS_FAMILY_EXE_MATCH");
    return overridden.empty() ? std::string(kFamilyExeMatch) : overridden;
}
