// Family protocol: two instances in this process, each on its own socket in a private
// family folder, talking through the real local sockets.

#include "QVxWinCommon/DataClasses/QVxAppIntegration.h"
#include "QVxWinCommon/tests/family_test_support.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;
using qvx::test::RunUntil;
using qvx::test::Settle;

namespace {

struct Received {
    std::vector<std::int64_t> times;
    std::vector<int> traces;
    std::vector<std::string> checks;
};

// Records what `instance` receives; report checks succeed for paths ending in "yes.json".
void Record(QVxAppIntegration& instance, Received& received) {
    instance.SetSyncTimeHandler([&received](std::int64_t absNs) { received.times.push_back(absNs); });
    instance.SetSyncTraceHandler([&received](int wParam) { received.traces.push_back(wParam); });
    instance.SetReportCheckHandler([&received](const std::string& path) {
        received.checks.push_back(path);
        if (path.ends_with("throw.json")) throw std::runtime_error("query unreadable");
        return path.ends_with("yes.json");
    });
}

// A client connection that writes raw bytes, as a faulty or hostile peer would.
struct RawClient {
    explicit RawClient(const fs::path& socketPath) {
        socket.connectToServer(QString::fromStdString(socketPath.string()));
        EXPECT_TRUE(socket.waitForConnected(5000));
    }
    void Send(const QByteArray& bytes) {
        socket.write(bytes);
        socket.flush();
    }
    QLocalSocket socket;
};

class FamilyTest : public qvx::test::FamilyFolderTest {
protected:
    void SetUp() override {
        FamilyFolderTest::SetUp();
        Record(m_b, m_receivedB);
        Record(m_a, m_receivedA);
        ASSERT_TRUE(m_a.Start());
        ASSERT_TRUE(m_b.Start());
        const std::vector<QVxAppIntegration::Peer> peers = m_a.ListPeers();
        ASSERT_EQ(peers.size(), 1u);
        m_peerB = peers.front();
    }

    QVxAppIntegration m_a{"a"};
    QVxAppIntegration m_b{"b"};
    Received m_receivedA, m_receivedB;
    QVxAppIntegration::Peer m_peerB;
};

TEST_F(FamilyTest, PeersFindEachOtherButNotThemselves) {
    EXPECT_EQ(m_peerB.pid, ::getpid());
    EXPECT_EQ(m_peerB.socketPath, m_b.SocketPath());
    EXPECT_NE(m_peerB.exePath.find(qvx::test::OwnProgramName()), std::string::npos);
    const std::vector<QVxAppIntegration::Peer> fromB = m_b.ListPeers();
    ASSERT_EQ(fromB.size(), 1u);
    EXPECT_EQ(fromB.front().socketPath, m_a.SocketPath());
    EXPECT_EQ(m_a.CountOtherInstances(qvx::test::OwnProgramName()), 1);
    EXPECT_EQ(m_a.CountOtherInstances("QV+Analog"), 0);

    // Without the match override this program is no family member.
    ::unsetenv("QVPLUS_FAMILY_EXE_MATCH");
    EXPECT_TRUE(m_a.ListPeers().empty());
}

TEST_F(FamilyTest, SyncTimeAndTraceRequestsReachThePeer) {
    const std::int64_t absNs = 1'700'000'000'123'456'789;
    EXPECT_EQ(m_a.SendSyncTime(absNs), 1u);
    ASSERT_TRUE(RunUntil([&] { return !m_receivedB.times.empty(); }));
    EXPECT_EQ(m_b.SendSyncTrace(QVxAppIntegration::kSyncTraceStart), 1u);  // the other way round
    EXPECT_EQ(m_a.SendSyncTrace(QVxAppIntegration::kSyncTraceStart), 1u);
    EXPECT_EQ(m_a.SendSyncTrace(QVxAppIntegration::kSyncTraceStop), 1u);
    ASSERT_TRUE(RunUntil([&] { return m_receivedB.traces.size() == 2 && m_receivedA.traces.size() == 1; }));
    Settle();
    EXPECT_EQ(m_receivedB.times, std::vector<std::int64_t>{absNs});
    EXPECT_EQ(m_receivedB.traces, (std::vector<int>{0, 1}));
    EXPECT_TRUE(m_receivedA.times.empty());
}

TEST_F(FamilyTest, BurstOfFiveTimesIsDeliveredOnceWithTheLast) {
    // Five connections, one message each.
    for (std::int64_t i = 1; i <= 5; ++i) ASSERT_TRUE(m_a.SendSyncTimeTo(m_peerB, i * 1000));
    ASSERT_TRUE(RunUntil([&] { return !m_receivedB.times.empty(); }));
    Settle();
    EXPECT_EQ(m_receivedB.times, std::vector<std::int64_t>{5000});

    // Five lines in one write.
    RawClient client(m_b.SocketPath());
    QByteArray lines;
    for (int i = 1; i <= 5; ++i)
        lines += "{\"message\":\"WM_QVX_SYNC_TO_TIME\",\"absNs\":" + QByteArray::number(i) + "}\n";
    client.Send(lines);
    ASSERT_TRUE(RunUntil([&] { return m_receivedB.times.size() == 2; }));
    Settle();
    EXPECT_EQ(m_receivedB.times, (std::vector<std::int64_t>{5000, 5}));
}

TEST_F(FamilyTest, ReportCheckIsAnsweredOnTheSameConnection) {
    EXPECT_EQ(m_a.CheckLoadedReport(m_peerB, "/q/yes.json"), std::optional<bool>(true));
    EXPECT_EQ(m_a.CheckLoadedReport(m_peerB, "/q/no.json"), std::optional<bool>(false));
    EXPECT_EQ(m_a.CheckLoadedReport(m_peerB, "/q/throw.json"), std::optional<bool>(false));
    EXPECT_EQ(m_receivedB.checks, (std::vector<std::string>{"/q/yes.json", "/q/no.json", "/q/throw.json"}));

    m_b.SetReportCheckHandler(nullptr);
    EXPECT_EQ(m_a.CheckLoadedReport(m_peerB, "/q/yes.json"), std::optional<bool>(false));

    // A peer that takes the request and never answers: the wait ends, without a result.
    QLocalServer mute;
    const fs::path mutePath = m_folder / (std::to_string(::getpid()) + "-mute");
    ASSERT_TRUE(mute.listen(QString::fromStdString(mutePath.string())));
    EXPECT_EQ(m_a.CheckLoadedReport({::getpid(), "", mutePath}, "/q/yes.json", 200), std::nullopt);
}

TEST_F(FamilyTest, BadLinesAreIgnoredAndThePeerKeepsWorking) {
    RawClient client(m_b.SocketPath());
    client.Send(
        "not json\n"
        "[1,2,3]\n"
        "\n"
        "{\"absNs\":5}\n"
        "{\"message\":7}\n"
        "{\"message\":\"WM_SOMETHING_ELSE\",\"absNs\":5}\n"
        "{\"message\":\"WM_QVX_SYNC_TO_TIME\",\"absNs\":\"12\"}\n"
        "{\"message\":\"WM_QVX_SYNC_TO_TIME\",\"absNs\":1.5}\n"
        "{\"message\":\"WM_QVX_SYNC_TO_TIME\",\"absNs\":18446744073709551615}\n"
        "{\"message\":\"WM_QVX_SYNC_TO_TIME\"}\n"
        "{\"message\":\"WM_QVX_SYNC_TRACE\",\"wParam\":\"0\"}\n"
        "{\"message\":\"WM_QVX_SYNC_TRACE\",\"wParam\":4294967296}\n"
        "{\"message\":\"WM_QVX_SYNC_TRACE\",\"wParam\":-4294967296}\n"
        "{\"message\":\"WM_QVX_SYNC_TO_TIME\",\"absNs\":\"\xff\xfe\"}\n"
        "{\"message\":\"WM_QVX_CHECK_LOADED_REPORT\",\"path\":5}\n");
    // The check without a usable path is answered 0 rather than left waiting.
    ASSERT_TRUE(RunUntil([&] { return client.socket.canReadLine(); }));
    EXPECT_EQ(nlohmann::json::parse(client.socket.readLine().toStdString()), (nlohmann::json{{"result", 0}}));

    // Deep nesting inside the line bound.
    RawClient nested(m_b.SocketPath());
    nested.Send(QByteArray(30000, '[') + QByteArray(30000, ']') + "\n");

    // Lines over the bound, with and without their newline, end the connection.
    for (const QByteArray& tail : {QByteArray(), QByteArray("\n")}) {
        RawClient oversize(m_b.SocketPath());
        oversize.Send(QByteArray(QVxAppIntegration::kMaxLineBytes + 10, 'x') + tail);
        ASSERT_TRUE(RunUntil([&] { return oversize.socket.state() == QLocalSocket::UnconnectedState; }));
    }

    EXPECT_EQ(m_a.SendSyncTime(77), 1u);
    EXPECT_EQ(m_a.CheckLoadedReport(m_peerB, "/q/yes.json"), std::optional<bool>(true));
    ASSERT_TRUE(RunUntil([&] { return !m_receivedB.times.empty(); }));
    Settle();
    EXPECT_EQ(m_receivedB.times, std::vector<std::int64_t>{77});
    EXPECT_TRUE(m_receivedB.traces.empty());
}

TEST_F(FamilyTest, EndedAndVanishedPeersAreSkipped) {
    const fs::path ended = m_folder / std::to_string(qvx::test::EndedPid());
    qvx::test::MakeDeadSocketFile(ended);
    // A live process whose socket nobody serves any more.
    const fs::path vanished = m_folder / (std::to_string(::getpid()) + "-gone");
    qvx::test::MakeDeadSocketFile(vanished);
    std::ofstream(m_folder / "notes.txt") << "x";
    std::ofstream(m_folder / (std::to_string(::getpid()) + "-file")) << "x";
    qvx::test::MakeDeadSocketFile(m_folder / "0123");

    const std::vector<QVxAppIntegration::Peer> peers = m_a.ListPeers();
    EXPECT_FALSE(fs::exists(ended));
    ASSERT_EQ(peers.size(), 2u);  // B and the vanished one
    EXPECT_EQ(m_a.SendSyncTime(9), 1u);
    EXPECT_EQ(m_a.CheckLoadedReport({::getpid(), "", vanished}, "/q/yes.json", 500), std::nullopt);
    ASSERT_TRUE(RunUntil([&] { return !m_receivedB.times.empty(); }));
    EXPECT_EQ(m_receivedB.times, std::vector<std::int64_t>{9});
}

TEST_F(FamilyTest, SocketLeftUnderOwnNameIsReplaced) {
    const fs::path stale = m_folder / (std::to_string(::getpid()) + "-c");
    qvx::test::MakeDeadSocketFile(stale);
    QVxAppIntegration c("c");
    Received receivedC;
    Record(c, receivedC);
    ASSERT_TRUE(c.Start());
    EXPECT_EQ(c.SocketPath(), stale);
    EXPECT_EQ(m_a.SendSyncTime(42), 2u);
    ASSERT_TRUE(RunUntil([&] { return !receivedC.times.empty() && !m_receivedB.times.empty(); }));
    EXPECT_EQ(receivedC.times, std::vector<std::int64_t>{42});
}

TEST_F(FamilyTest, ClosingRemovesTheSocket) {
    fs::path path;
    {
        QVxAppIntegration d("d");
        ASSERT_TRUE(d.Start());
        path = d.SocketPath();
        EXPECT_TRUE(fs::exists(path));
        EXPECT_EQ(m_a.ListPeers().size(), 2u);
    }
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(m_a.ListPeers().size(), 1u);
}

using FamilyFolder = qvx::test::FamilyFolderTest;

TEST_F(FamilyFolder, FolderOthersCanUseIsRefused) {
    ASSERT_EQ(::chmod(m_folder.c_str(), 0750), 0);
    QVxAppIntegration instance;
    EXPECT_FALSE(instance.Start());
    EXPECT_FALSE(instance.IsListening());
    EXPECT_TRUE(instance.ListPeers().empty());
    EXPECT_EQ(instance.SendSyncTime(1), 0u);
    std::string error;
    EXPECT_FALSE(QVxAppIntegration::PrepareFamilyFolder(m_folder, error));
    EXPECT_NE(error.find("0750"), std::string::npos) << error;

    // A symbolic link is no folder of ours, even to one that would do.
    ASSERT_EQ(::chmod(m_folder.c_str(), 0700), 0);
    fs::create_directory(m_folder / "real");
    fs::permissions(m_folder / "real", fs::perms::owner_all);
    fs::create_directory_symlink(m_folder / "real", m_folder / "link");
    EXPECT_FALSE(QVxAppIntegration::PrepareFamilyFolder(m_folder / "link", error));
    EXPECT_NE(error.find("not a directory"), std::string::npos) << error;
}

TEST_F(FamilyFolder, MissingFolderIsMadePrivate) {
    const fs::path folder = m_folder / "family";
    ::setenv("QVPLUS_FAMILY_DIR", folder.c_str(), 1);
    QVxAppIntegration instance;
    ASSERT_TRUE(instance.Start());
    EXPECT_EQ(instance.SocketPath(), folder / std::to_string(::getpid()));
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    ::unsetenv("QVPLUS_FAMILY_DIR");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::optional<std::string> savedRuntime =
        runtime ? std::optional<std::string>(runtime) : std::nullopt;
    ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(QVxAppIntegration::FamilyFolder(), fs::path("/run/user/4242/qvplus-family"));
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(QVxAppIntegration::FamilyFolder(),
              fs::path("/tmp/qvplus-family-" + std::to_string(::getuid())));
    if (savedRuntime) ::setenv("XDG_RUNTIME_DIR", savedRuntime->c_str(), 1);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
