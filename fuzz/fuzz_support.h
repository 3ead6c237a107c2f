#pragma once
// Shared helpers of the fuzz targets: a scratch folder per process (in /dev/shm when
// there is one, so the files written per input stay in memory), file writing and a
// logger that formats every message but prints none.

#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace qvx::fuzz {

// Logging stays on (at trace level) so that the formatting of untrusted text runs too.
inline void QuietLogging() {
    static const bool done = [] {
        auto logger =
            std::make_shared<spdlog::logger>("fuzz", std::make_shared<spdlog::sinks::null_sink_mt>());
        logger->set_level(spdlog::level::trace);
        spdlog::set_default_logger(logger);
        return true;
    }();
    (void)done;
}

// Owns a scratch folder and removes it, with what it holds, when the process exits.
struct ScratchFolderOwner {
    std::filesystem::path path;
    ~ScratchFolderOwner() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

// This process's scratch folder, removed at exit by its owner's destructor. Not by an atexit
// handler: one registered while this static is being made runs after the static is gone.
inline const std::filesystem::path& ScratchFolder() {
    static const ScratchFolderOwner owner{[] {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                               ? "/dev/shm"
                                               : std::filesystem::temp_directory_path();
        std::filesystem::path f = base / ("qvx-fuzz-" + std::to_string(::getpid()));
        std::filesystem::remove_all(f, ec);
        std::filesystem::create_directories(f);
        return f;
    }()};
    return owner.path;
}

// A fresh, empty folder `name` in the scratch folder.
inline std::filesystem::path FreshFolder(const std::string& name) {
    const std::filesystem::path folder = ScratchFolder() / name;
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    std::filesystem::create_directories(folder);
    return folder;
}

inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Reads the input front to back; past its end every value is 0.
class InputReader {
public:
    InputReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::uint64_t Take(std::size_t bytes) {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < bytes; ++i) v |= std::uint64_t{TakeByte()} << (8 * i);
        return v;
    }
    std::uint8_t TakeByte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    std::string_view TakeBytes(std::size_t bytes) {
        const std::size_t n = std::min(bytes, m_size - m_pos);
        const std::string_view out(reinterpret_cast<const char*>(m_data + m_pos), n);
        m_pos += n;
        return out;
    }
    std::string_view Rest() { return TakeBytes(m_size - m_pos); }
    std::size_t Remaining() const { return m_size - m_pos; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// Stops the run as a finding: an invariant the parser must keep did not hold.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

}  // namespace qvx::fuzz
