// Hostile family peers against a listening instance: a peer that connects and never
// writes, one that sends a line of 1 GiB, one that opens 1,000 connections. None may hold
// up the owning thread's event loop for more than a moment or make the instance buffer
// without bound, and well-behaved peers keep being served. The hostile peers run on a
// thread of their own with plain POSIX sockets, so they can block as a real one would.

#include "QVxWinCommon/DataClasses/QVxAppIntegration.h"
#include "QVxWinCommon/tests/family_test_support.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using qvx::test::RunUntil;

namespace {

// Far above an event loop pass, far below what a user notices as a frozen window; a
// blocking read or an unbounded loop over a peer's bytes exceeds it by orders of magnitude.
constexpr qint64 kMomentMs = 2000;

int ConnectRaw(const fs::path& socketPath) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 20, '\n');
    }
    return 0;
}

std::size_t OpenDescriptors() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

// Runs the event loop until `done`, measuring the longest time between two ticks of a
// 10 ms timer (how long the owning thread was held up) and the highest resident memory.
struct LoopWatch {
    qint64 longestGapMs = 0;
    long peakKiB = 0;

    bool RunUntil(const std::function<bool()>& done, int limitMs = 60000) {
        QTimer tick;
        QElapsedTimer sinceTick;
        sinceTick.start();
        QObject::connect(&tick, &QTimer::timeout, [&] {
            longestGapMs = std::max(longestGapMs, sinceTick.restart());
            peakKiB = std::max(peakKiB, ResidentKiB());
        });
        tick.start(10);
        return qvx::test::RunUntil(done, limitMs);
    }
};

class HostilePeerTest : public qvx::test::FamilyFolderTest {
protected:
    void SetUp() override {
        FamilyFolderTest::SetUp();
        m_target.SetSyncTimeHandler([this](std::int64_t absNs) { m_times.push_back(absNs); });
        m_target.SetReportCheckHandler([](const std::string& path) { return path.ends_with("yes.json"); });
        ASSERT_TRUE(m_target.Start());
        ASSERT_TRUE(m_sender.Start());
        const std::vector<QVxAppIntegration::Peer> peers = m_sender.ListPeers();
        ASSERT_EQ(peers.size(), 1u);
        m_peer = peers.front();
    }

    // A well-behaved peer is still served: its time arrives and its check is answered.
    void ExpectServed(std::int64_t time) {
        EXPECT_EQ(m_sender.SendSyncTime(time), 1u);
        EXPECT_TRUE(RunUntil([&] { return !m_times.empty() && m_times.back() == time; }));
        EXPECT_EQ(m_sender.CheckLoadedReport(m_peer, "/q/yes.json"), std::optional<bool>(true));
    }

    QVxAppIntegration m_target{"target"};
    QVxAppIntegration m_sender{"sender"};
    QVxAppIntegration::Peer m_peer;
    std::vector<std::int64_t> m_times;
};

TEST_F(HostilePeerTest, SilentConnectionIsClosedAfterTheIdleTimeAndBlocksNothing) {
    const int silent = ConnectRaw(m_target.SocketPath());
    ASSERT_GE(silent, 0);
    LoopWatch watch;
    ExpectServed(11);

    // The instance closes the connection: the peer reads the end of the stream.
    std::atomic<bool> closed{false};
    std::thread reader([&] {
        char byte = 0;
        closed = ::read(silent, &byte, 1) == 0;
    });
    EXPECT_TRUE(watch.RunUntil([&] { return closed.load(); }, QVxAppIntegration::kIdleTimeoutMs * 6));
    ::shutdown(silent, SHUT_RDWR);
    reader.join();
    ::close(silent);
    EXPECT_TRUE(closed);
    EXPECT_LT(watch.longestGapMs, kMomentMs);
    ExpectServed(12);
}

TEST_F(HostilePeerTest, GigabyteLineIsDroppedWithoutBeingBuffered) {
    constexpr std::uint64_t kLineBytes = 1ull << 30;
    const long before = ResidentKiB();
    std::atomic<std::uint64_t> sent{0};
    std::atomic<bool> finished{false};
    std::thread peer([&] {
        const int fd = ConnectRaw(m_target.SocketPath());
        const std::vector<char> chunk(1 << 20, 'x');
        while (fd >= 0 && sent < kLineBytes) {
            const ssize_t n = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
            if (n <= 0) break;  // the instance closed the connection
            sent += static_cast<std::uint64_t>(n);
        }
        if (fd >= 0) {
            ::send(fd, "\n", 1, MSG_NOSIGNAL);
            ::close(fd);
        }
        finished = true;
    });
    LoopWatch watch;
    const bool ended = watch.RunUntil([&] { return finished.load(); }, 120000);
    peer.join();
    ASSERT_TRUE(ended);
    // Cut off near the line bound, long before the gigabyte.
    EXPECT_LT(sent.load(), 64ull << 20);
    EXPECT_LT(watch.peakKiB - before, 64 * 1024);
    EXPECT_LT(watch.longestGapMs, kMomentMs);
    ExpectServed(21);
}

TEST_F(HostilePeerTest, ThousandConnectionsAreCappedAndPeersAreStillServed) {
    constexpr int kConnections = 1000;
    const std::size_t descriptorsBefore = OpenDescriptors();
    std::vector<int> fds;
    std::atomic<bool> opened{false};
    std::thread peer([&] {
        for (int i = 0; i < kConnections; ++i) {
            const int fd = ConnectRaw(m_target.SocketPath());
            if (fd >= 0) fds.push_back(fd);
        }
        opened = true;
    });
    LoopWatch watch;
    const bool done = watch.RunUntil([&] { return opened.load(); });
    peer.join();
    ASSERT_TRUE(done);
    EXPECT_EQ(fds.size(), static_cast<std::size_t>(kConnections));
    ExpectServed(31);

    // The instance holds at most its cap of connections: everything else open here is the
    // hostile peer's own ends, the sender's and a few of the test's.
    const std::size_t instanceSide = OpenDescriptors() - descriptorsBefore - fds.size();
    EXPECT_LE(instanceSide, QVxAppIntegration::kMaxConnections + 8);
    EXPECT_LT(watch.longestGapMs, kMomentMs);
    for (const int fd : fds) ::close(fd);
    EXPECT_TRUE(watch.RunUntil([&] { return OpenDescriptors() <= descriptorsBefore + 8; }));
    ExpectServed(32);
}

}  // namespace
