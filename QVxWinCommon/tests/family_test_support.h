#pragma once
// Shared pieces of the family protocol tests: a private family folder for the test,
// this test program accepted as a family member, and an event loop runner.

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace qvx::test {

// Runs the event loop until `done` holds. The limit only keeps a broken build from
// hanging the test run; it is not a timing requirement.
inline bool RunUntil(const std::function<bool()>& done, int limitMs = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Lets queued work run for a while, so that a wrong extra delivery would show.
inline void Settle(int ms = 150) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

inline std::string OwnProgramName() {
    return std::filesystem::read_symlink("/proc/self/exe").filename().string();
}

// A socket file nobody listens on, as an instance that crashed leaves it.
inline void MakeDeadSocketFile(const std::filesystem::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
}

// A pid no process can have: above the kernel's largest pid.
inline long EndedPid() {
    long pidMax = 4194304;
    std::ifstream("/proc/sys/kernel/pid_max") >> pidMax;
    return pidMax + 1;
}

// A fresh family folder (mode 0700) named by QVPLUS_FAMILY_DIR, and this program
// accepted as a family member through QVPLUS_FAMILY_EXE_MATCH.
class FamilyFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qvx-family-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_folder = pattern;
        ::setenv("QVPLUS_FAMILY_DIR", m_folder.c_str(), 1);
        ::setenv("QVPLUS_FAMILY_EXE_MATCH", OwnProgramName().c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("QVPLUS_FAMILY_DIR");
        ::unsetenv("QVPLUS_FAMILY_EXE_MATCH");
        std::error_code ec;
        std::filesystem::permissions(m_folder, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(m_folder, ec);
    }

    std::filesystem::path m_folder;
};

}  // namespace qvx::test
