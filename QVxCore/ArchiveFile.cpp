// File input and output of the archive: whole-file reads and atomic replacement.

#include "QVxCore/Archive.h"

#include <spdlog/spdlog.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace qvx::Archive {

namespace {

constexpr std::size_t kWriteChunkBytes = 64 * 1024;

WriteFaultHook& FaultHook() {
    static WriteFaultHook hook;
    return hook;
}

void LogFileAccessError(const std::filesystem::path& path, const std::string& reason) {
    spdlog::error("File access error.");
    spdlog::error("{}: {}", path.string(), reason);
}

// A name in the target's folder that no other save of this process uses; the
// exclusive open below guards against other processes.
std::filesystem::path TemporaryPathFor(const std::filesystem::path& target, int attempt) {
    static std::atomic<unsigned> counter{0};
#ifndef _WIN32
    const long pid = static_cast<long>(::getpid());
#else
    const long pid = 0;
#endif
    std::filesystem::path name = "." + target.filename().string() + "." + std::to_string(pid) + "-" +
                                 std::to_string(counter.fetch_add(1)) + "-" + std::to_string(attempt) +
                                 ".tmp";
    return target.parent_path() / name;
}

// Makes the written data durable before it replaces the target.
bool FlushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) return false;
#ifndef _WIN32
    return ::fsync(::fileno(file)) == 0;
#else
    return true;
#endif
}

void SyncFolder(const std::filesystem::path& folder) {
#ifndef _WIN32
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    (void)folder;
#endif
}

}  // namespace

void SetWriteFaultHookForTesting(WriteFaultHook hook) {
    FaultHook() = std::move(hook);
}

bool WriteFileAtomically(const std::filesystem::path& requested, std::string_view bytes) {
    // A symbolic link is written through, as an in-place write would: the file it
    // names is replaced, the link stays.
    std::error_code linkError;
    const std::filesystem::path path = std::filesystem::is_symlink(requested, linkError)
                                           ? std::filesystem::weakly_canonical(requested, linkError)
                                           : requested;
    if (path.filename().empty()) {
        LogFileAccessError(path, "no file name");
        return false;
    }
    std::filesystem::path temporary;
    std::FILE* file = nullptr;
    for (int attempt = 0; attempt < 16 && !file; ++attempt) {
        temporary = TemporaryPathFor(path, attempt);
        file = std::fopen(temporary.c_str(), "wbx");  // exclusive: never reuse a foreign file
        if (!file && errno != EEXIST) break;
    }
    if (!file) {
        LogFileAccessError(path, std::strerror(errno));
        return false;
    }
    std::error_code ec;
    std::string failure;
    std::uintmax_t written = 0;
    while (written < bytes.size() && failure.empty()) {
        const std::size_t chunk = std::min<std::size_t>(kWriteChunkBytes, bytes.size() - written);
        if (FaultHook() && !FaultHook()(path, written)) {
            failure = "write interrupted";
        } else if (std::fwrite(bytes.data() + written, 1, chunk, file) != chunk) {
            failure = std::strerror(errno);
        } else {
            written += chunk;
        }
    }
    if (failure.empty() && !FlushToDisk(file)) failure = std::strerror(errno);
    if (std::fclose(file) != 0 && failure.empty()) failure = std::strerror(errno);
    if (failure.empty()) {
        // Keep the permissions of the file being replaced.
        const auto previous = std::filesystem::status(path, ec);
        if (!ec && std::filesystem::exists(previous)) {
            std::filesystem::permissions(temporary, previous.permissions(), ec);
        }
        std::filesystem::rename(temporary, path, ec);
        if (ec) failure = ec.message();
    }
    if (!failure.empty()) {
        std::filesystem::remove(temporary, ec);
        LogFileAccessError(path, failure);
        return false;
    }
    SyncFolder(path.parent_path());
    return true;
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::error_code ec;
    if (!in || std::filesystem::is_directory(path, ec)) {
        LogFileAccessError(path, in ? "is a folder" : std::strerror(errno));
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        LogFileAccessError(path, "read failed");
        return std::nullopt;
    }
    std::string text = std::move(content).str();
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    return text;
}

}  // namespace qvx::Archive
