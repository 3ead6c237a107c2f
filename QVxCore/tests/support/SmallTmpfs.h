#pragma once
// Test support: a small tmpfs mounted on a fresh folder, for tests of full and
// read-only destinations. Mounting needs root (CAP_SYS_ADMIN); where it is not
// allowed, Mounted() is false and the test skips with Reason().
//
//   qvx::test::SmallTmpfs disk(dir / "m", "size=256k");
//   if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace qvx::test {

class SmallTmpfs {
public:
    // `options`: tmpfs mount data, e.g. "size=1m"; `flags`: mount flags, e.g. MS_RDONLY.
    SmallTmpfs(const std::filesystem::path& mountPoint, const std::string& options, unsigned long flags = 0)
        : m_path(mountPoint) {
        std::filesystem::create_directories(m_path);
        if (::mount("tmpfs", m_path.c_str(), "tmpfs", flags, options.c_str()) == 0) {
            m_mounted = true;
        } else {
            m_reason = "cannot mount a tmpfs on " + m_path.string() + " (" + std::strerror(errno) +
                       "); this test needs root";
        }
    }
    ~SmallTmpfs() {
        if (m_mounted) ::umount2(m_path.c_str(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool Mounted() const { return m_mounted; }
    const std::string& Reason() const { return m_reason; }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
    bool m_mounted = false;
    std::string m_reason;
};

}  // namespace qvx::test
