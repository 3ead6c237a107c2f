#pragma once
// Shared by the benchmarks on generated report folders: wall-clock milliseconds, dropping a
// file from the page cache (for cold figures) and the sorted files of a folder.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>

namespace qvx::bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

inline void DropFromCache(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

inline std::vector<std::filesystem::path> Files(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> out;
    if (!std::filesystem::is_directory(folder)) return out;
    for (const auto& e : std::filesystem::directory_iterator(folder)) out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace qvx::bench
