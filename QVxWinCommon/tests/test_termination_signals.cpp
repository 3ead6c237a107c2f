// SIGTERM, SIGHUP and SIGINT reach the installing thread's event loop as calls of the
// handler, one per signal and in order, instead of ending the process; a second object
// installs nothing; the dispositions from before come back when the object goes.

#include "QVxWinCommon/QVxTerminationSignals.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <vector>

namespace {

std::vector<int> DeliveredWithin(const std::vector<int>& seen, std::size_t expected, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (seen.size() < expected && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return seen;
}

extern "C" void SentinelHandler(int) {}

}  // namespace

TEST(TerminationSignals, EachSignalReachesTheEventLoopInOrderAndNothingElseIsInstalledMeanwhile) {
    std::vector<int> seen;
    QVxTerminationSignals installed([&seen](int number) { seen.push_back(number); });
    ASSERT_TRUE(installed.IsInstalled());

    // The handler runs in the event loop, not inside raise().
    ASSERT_EQ(std::raise(SIGTERM), 0);
    EXPECT_TRUE(seen.empty());
    ASSERT_EQ(std::raise(SIGHUP), 0);
    ASSERT_EQ(std::raise(SIGINT), 0);
    EXPECT_EQ(DeliveredWithin(seen, 3, 5000), (std::vector<int>{SIGTERM, SIGHUP, SIGINT}));

    // A second object while one lives installs nothing; the first one still gets the signals.
    std::vector<int> secondSeen;
    {
        QVxTerminationSignals second([&secondSeen](int number) { secondSeen.push_back(number); });
        EXPECT_FALSE(second.IsInstalled());
    }
    ASSERT_EQ(std::raise(SIGTERM), 0);
    EXPECT_EQ(DeliveredWithin(seen, 4, 5000).size(), 4u);
    EXPECT_TRUE(secondSeen.empty());
    EXPECT_STREQ(QVxTerminationSignals::Name(SIGHUP), "SIGHUP");
}

TEST(TerminationSignals, TheDispositionsFromBeforeComeBackAndANewObjectInstallsAgain) {
    struct sigaction sentinel {};
    sentinel.sa_handler = &SentinelHandler;
    sigemptyset(&sentinel.sa_mask);
    for (const int number : QVxTerminationSignals::kSignals)
        ASSERT_EQ(::sigaction(number, &sentinel, nullptr), 0);
    {
        QVxTerminationSignals installed([](int) {});
        ASSERT_TRUE(installed.IsInstalled());
        struct sigaction now {};
        ::sigaction(SIGTERM, nullptr, &now);
        EXPECT_NE(now.sa_handler, &SentinelHandler);
    }
    for (const int number : QVxTerminationSignals::kSignals) {
        struct sigaction now {};
        ::sigaction(number, nullptr, &now);
        EXPECT_EQ(now.sa_handler, &SentinelHandler) << number;
    }
    std::vector<int> seen;
    QVxTerminationSignals again([&seen](int number) { seen.push_back(number); });
    ASSERT_TRUE(again.IsInstalled());
    ASSERT_EQ(std::raise(SIGHUP), 0);
    EXPECT_EQ(DeliveredWithin(seen, 1, 5000), (std::vector<int>{SIGHUP}));
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
