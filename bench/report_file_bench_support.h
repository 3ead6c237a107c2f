#pragma once
// Shared by the benchmarks on generated report folders: wall-clock and CPU milliseconds, dropping a
// file from the page cache (for cold figures), the sorted files of a folder, the size of the
// generated report ($QVX_BENCH_FILES full files, default 32: 16 GiB) and `cat` of its files.

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace qvx::bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// CPU time of the whole process so far, every thread, user and system (ms): with the wall
// time it gives the work per core, which a pass that waits for the disk hides.
inline double ProcessCpuMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
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

// Full report files to generate: $QVX_BENCH_FILES, else 32 (16 GiB, 1,073,741,824 records).
inline int BenchFileCount() {
    const char* files = std::getenv("QVX_BENCH_FILES");
    return files ? std::atoi(files) : 32;
}

inline std::uint64_t TotalBytes(const std::vector<std::filesystem::path>& files) {
    std::uint64_t bytes = 0;
    for (const auto& f : files) bytes += std::filesystem::file_size(f);
    return bytes;
}

// `cat` of every file to /dev/null, one after another: the reference of the read-bound
// benchmarks. Milliseconds.
inline double CatMs(const std::vector<std::filesystem::path>& files) {
    const auto start = Clock::now();
    for (const auto& f : files) {
        const std::string command = "cat '" + f.string() + "' > /dev/null";
        if (std::system(command.c_str()) != 0) std::printf("cat failed\n");
    }
    return Ms(start);
}

}  // namespace qvx::bench
