#include "QVxCore/Recovery/FolderLock.h"

#include <fcntl.h>
#include <spdlog/spdlog.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace qvx {

FolderLock::~FolderLock() {
    Unlock();
}

FolderLock::FolderLock(FolderLock&& other) noexcept : m_fd(other.m_fd) {
    other.m_fd = -1;
}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
    if (this != &other) {
        Unlock();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

bool FolderLock::TryLock(const fs::path& folder) {
    Unlock();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void FolderLock::Unlock() {
    if (m_fd < 0) return;
    ::close(m_fd);  // closing the only descriptor of the open folder releases the lock
    m_fd = -1;
}

bool FolderLock::CreateLocked(const fs::path& folder) {
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return TryLock(folder);
    fs::create_directories(folder.parent_path(), ec);
    std::random_device random;
    const fs::path hidden = folder.parent_path() / ("." + folder.filename().string() + "." +
                                                    std::to_string(random() % 1'000'000) + ".new");
    if (!fs::create_directory(hidden, ec) || !TryLock(hidden)) {
        fs::remove(hidden, ec);
        return false;
    }
    fs::rename(hidden, folder, ec);
    if (!ec) return true;
    // Someone made it meanwhile: lock theirs instead.
    Unlock();
    fs::remove(hidden, ec);
    return TryLock(folder);
}

namespace InstanceFolders {
namespace {

std::map<fs::path, FolderLock>& Held() {
    static std::map<fs::path, FolderLock> held;
    return held;
}

fs::path Key(const fs::path& folder) {
    return fs::absolute(folder).lexically_normal();
}

}  // namespace

bool Hold(const fs::path& folder) {
    const fs::path key = Key(folder);
    auto& held = Held();
    if (const auto it = held.find(key); it != held.end() && it->second.IsHeld()) return true;
    FolderLock lock;
    if (!lock.CreateLocked(key)) {
        spdlog::warn(
            "The recording folder {} cannot be locked; another program may take it for an "
            "orphaned recording.",
            key.string());
        return false;
    }
    held[key] = std::move(lock);
    return true;
}

void Release(const fs::path& folder) {
    Held().erase(Key(folder));
}

bool IsHeld(const fs::path& folder) {
    const auto& held = Held();
    const auto it = held.find(Key(folder));
    return it != held.end() && it->second.IsHeld();
}

}  // namespace InstanceFolders

}  // namespace qvx
