#include "QVxCore/Presenters/Interaction.h"
#include "QVxCore/Presenters/InteractionTaskRunner.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxCore/Utils.h"
#include "QVxCore/tests/test_dispatch_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace {

using qvx::Dispatcher;
using qvx::InteractionRunBehaviors;
using qvx::InteractionTaskRunner;
using qvx::ProgressToken;

// Drains a host-queue main dispatcher on the calling thread.
void DrainMain() {
    auto main = Dispatcher::GetMainInstance();
    while (main && main->ProcessInvoke()) {
    }
}

// The main dispatcher is a host queue the test drains by hand, so the moment
// each update runs is under the test's control.
class HostQueueMainTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Dispatcher::AttachMain(Dispatcher::kHostMessageQueue)); }
    void TearDown() override { Dispatcher::DestroyMain(); }
};

TEST_F(HostQueueMainTest, AtMostOneProgressUpdateIsInFlight) {
    std::vector<std::pair<std::int64_t, std::int64_t>> shown;
    ProgressToken token([&](std::int64_t c, std::int64_t t) { shown.emplace_back(c, t); }, {});

    std::thread([&] {
        for (int i = 1; i <= 100; ++i) EXPECT_TRUE(token.SetProgress(i, 100));
    }).join();
    DrainMain();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], std::make_pair(std::int64_t{1}, std::int64_t{100}));

    // Once the update has run, the next one is posted again.
    token.SetProgress(50, 100);
    token.SetProgress(60, 100);
    DrainMain();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].first, 50);
}

TEST_F(HostQueueMainTest, AnUpdateQueuedAfterTheTokenIsGoneStillRunsSafely) {
    int shown = 0;
    {
        ProgressToken token([&](std::int64_t, std::int64_t) { ++shown; }, {});
        token.SetProgress(1, 2);
    }
    DrainMain();
    EXPECT_EQ(shown, 1);
}

TEST_F(HostQueueMainTest, CancelMakesSetProgressFalseAndTheRunFalse) {
    InteractionTaskRunner runner({}, {});
    std::atomic<bool> sawCancel{false};
    std::atomic<bool> started{false};
    ASSERT_TRUE(runner.Start([&](ProgressToken* token) {
        started = true;
        while (token->SetProgress(1, 2)) std::this_thread::yield();
        sawCancel = token->IsCancelRequested();
    }));
    while (!started) std::this_thread::yield();
    runner.RequestCancel();
    runner.WaitFinished(DrainMain);
    EXPECT_FALSE(runner.Join());
    EXPECT_TRUE(sawCancel);
}

TEST_F(HostQueueMainTest, FinishedIsPostedAfterTheTasksLastUpdates) {
    std::vector<std::string> order;
    InteractionTaskRunner runner(
        [&](std::int64_t c, std::int64_t) { order.push_back("progress " + std::to_string(c)); },
        [&](const std::string& s) { order.push_back(s); });
    ASSERT_TRUE(runner.Start(
        [](ProgressToken* token) {
            token->SetCaption("step");
            token->SetProgress(100, 100);
        },
        [&] { order.push_back("close"); }));
    // Nothing drains until the worker is done, so all three are queued.
    while (!runner.IsFinished()) std::this_thread::yield();
    EXPECT_TRUE(runner.Join());
    DrainMain();
    EXPECT_EQ(order, (std::vector<std::string>{"step", "progress 100", "close"}));
}

TEST(InteractionTaskRunner, ExceptionsAreLoggedAndTheRunFails) {
    qvx::test::LogCapture log;
    EXPECT_FALSE(InteractionTaskRunner::RunAndWait(
        [](ProgressToken*) { throw std::runtime_error("bad file"); }, {}, {}));
    EXPECT_TRUE(log.Contains("An error has occurred: bad file"));

    EXPECT_FALSE(InteractionTaskRunner::RunAndWait([](ProgressToken*) { throw 42; }, {}, {}));
    EXPECT_TRUE(log.Contains("An unknown error has occurred."));

    // Without a main dispatcher a task still runs; its updates go nowhere.
    int ran = 0;
    EXPECT_TRUE(InteractionTaskRunner::RunAndWait(
        [&](ProgressToken* t) {
            ++ran;
            EXPECT_TRUE(t->SetProgress(1, 1));
            EXPECT_TRUE(t->SetProgress(1, 1));
        },
        {}, {}));
    EXPECT_EQ(ran, 1);
}

// The progress dialog's shape: a modal loop on the GUI thread that the posted
// "finished" action ends; every update runs on the GUI thread.
TEST(InteractionTaskRunner, QtModalLoopReceivesUpdatesOnTheGuiThreadAndEndsWhenTheTaskReturns) {
    qvx::test::EnsureCoreApplication();
    ASSERT_TRUE(Dispatcher::AttachMain(Dispatcher::kQtEventLoop));
    QThread* const gui = QThread::currentThread();
    std::atomic<int> offThread{0};
    std::int64_t lastPercent = -1;
    QEventLoop modal;
    InteractionTaskRunner runner(
        [&](std::int64_t c, std::int64_t t) {
            if (QThread::currentThread() != gui) ++offThread;
            lastPercent = c * 100 / t;
        },
        {});
    ASSERT_TRUE(runner.Start(
        [](ProgressToken* token) {
            for (int i = 0; i <= 1000; ++i) token->SetProgress(i, 1000);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            token->SetProgress(1000, 1000);
        },
        [&] { modal.quit(); }));
    modal.exec();
    EXPECT_TRUE(runner.Join());
    EXPECT_EQ(offThread.load(), 0);
    EXPECT_EQ(lastPercent, 100);
    Dispatcher::DestroyMain();
}

// An IInteraction in the way the front ends build theirs.
class RunnerInteraction : public qvx::IInteraction {
public:
    bool Run(InteractionRunBehaviors behaviors, const qvx::InteractionTask& task) override {
        lastBehaviors = behaviors;
        return InteractionTaskRunner::RunAndWait(task, {}, {});
    }
    InteractionRunBehaviors lastBehaviors = InteractionRunBehaviors::kMarquee;
};

TEST(Interaction, RunNeedsAnInstalledImplementationAndInitKeepsTheFirst) {
    qvx::test::LogCapture log;
    qvx::Interaction::Clear();
    try {
        qvx::Interaction::Run([](ProgressToken*) {});
        FAIL() << "no exception";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "QVX_NOTIMPLEMENTED");
    }
    EXPECT_TRUE(log.Contains("Not implemented."));

    RunnerInteraction first;
    RunnerInteraction second;
    qvx::Interaction::Init(&first);
    log.Clear();
    qvx::Interaction::Init(&second);  // refused while one is set
    EXPECT_EQ(log.ErrorCount(), 1);
    EXPECT_EQ(qvx::Interaction::GetImpl(), &first);

    EXPECT_TRUE(qvx::Interaction::Run([](ProgressToken*) {}));
    EXPECT_EQ(first.lastBehaviors, InteractionRunBehaviors::kNone);
    EXPECT_FALSE(qvx::Interaction::Run([](ProgressToken*) { throw std::runtime_error("x"); }));

    qvx::Interaction::Clear();
    EXPECT_EQ(qvx::Interaction::GetImpl(), nullptr);
}

}  // namespace
