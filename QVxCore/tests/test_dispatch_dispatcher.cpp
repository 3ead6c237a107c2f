#include "QVxCore/TaskDispatcher.h"
#include "QVxCore/Utils.h"
#include "QVxCore/tests/test_dispatch_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using qvx::Dispatcher;

// Records the order in which actions ran (main-thread writes only, unless stated).
struct Journal {
    std::mutex mutex;
    std::vector<std::string> entries;
    void Add(std::string s) {
        std::lock_guard lock(mutex);
        entries.push_back(std::move(s));
    }
};

class QtEventLoopDispatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        qvx::test::EnsureCoreApplication();
        m_dispatcher = Dispatcher::Create(Dispatcher::kQtEventLoop);
        ASSERT_TRUE(m_dispatcher->Attach());
    }
    std::unique_ptr<Dispatcher> m_dispatcher;
};

TEST_F(QtEventLoopDispatcherTest, ActionsFromAWorkerRunOnTheAttachedThreadInPostingOrderExactlyOnce) {
    constexpr int kCount = 2000;
    std::vector<int> ran;
    std::atomic<int> offThread{0};
    QThread* const mainThread = QThread::currentThread();
    std::thread worker([&] {
        for (int i = 0; i < kCount; ++i) {
            m_dispatcher->Post([&, i] {
                if (QThread::currentThread() != mainThread) ++offThread;
                ran.push_back(i);
            });
        }
    });
    worker.join();
    EXPECT_FALSE(m_dispatcher->IsAllTaskFinished());
    m_dispatcher->WaitForComplete();

    EXPECT_TRUE(m_dispatcher->IsAllTaskFinished());
    EXPECT_EQ(offThread.load(), 0);
    ASSERT_EQ(ran.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i) ASSERT_EQ(ran[i], i);

    // Nothing runs a second time from the events already delivered.
    QCoreApplication::processEvents();
    EXPECT_EQ(ran.size(), static_cast<std::size_t>(kCount));
}

// An action opens a modal loop (as a message box does). The following actions,
// queued before and while it runs, run inside that loop, in order and once; the
// loop is ended by one of them.
TEST_F(QtEventLoopDispatcherTest, ActionsRunInsideANestedModalLoopOpenedByAnAction) {
    Journal journal;
    QEventLoop* modal = nullptr;
    std::thread worker;

    m_dispatcher->Post([&] {
        journal.Add("A begin");
        QEventLoop loop;
        modal = &loop;
        worker = std::thread([&] {
            m_dispatcher->Post([&] { journal.Add("D"); });
            m_dispatcher->Post([&] {
                journal.Add("E quits");
                modal->quit();
            });
        });
        loop.exec();
        modal = nullptr;
        journal.Add("A end");
    });
    m_dispatcher->Post([&] { journal.Add("B"); });
    m_dispatcher->Post([&] { journal.Add("C"); });

    m_dispatcher->WaitForComplete();
    worker.join();
    m_dispatcher->Post([&] { journal.Add("F"); });
    m_dispatcher->WaitForComplete();
    QCoreApplication::processEvents();

    const std::vector<std::string> expected{"A begin", "B", "C", "D", "E quits", "A end", "F"};
    EXPECT_EQ(journal.entries, expected);
    EXPECT_TRUE(m_dispatcher->IsAllTaskFinished());
}

TEST_F(QtEventLoopDispatcherTest, WaitForCompleteInsideAnActionRunsTheRestAndReturns) {
    std::vector<std::string> ran;
    m_dispatcher->Post([&] {
        ran.push_back("outer");
        m_dispatcher->Post([&] { ran.push_back("posted inside"); });
        m_dispatcher->WaitForComplete();
        ran.push_back("outer end");
    });
    m_dispatcher->Post([&] { ran.push_back("next"); });
    m_dispatcher->WaitForComplete();
    const std::vector<std::string> expected{"outer", "next", "posted inside", "outer end"};
    EXPECT_EQ(ran, expected);
}

TEST_F(QtEventLoopDispatcherTest, WaitForCompleteOnAnotherThreadReturnsAtOnceWithAnError) {
    qvx::test::LogCapture log;
    bool ran = false;
    m_dispatcher->Post([&] { ran = true; });
    std::thread([&] { m_dispatcher->WaitForComplete(); }).join();
    EXPECT_FALSE(ran);
    EXPECT_EQ(log.ErrorCount(), 1);
    m_dispatcher->WaitForComplete();
    EXPECT_TRUE(ran);
}

TEST_F(QtEventLoopDispatcherTest, DetachDropsQueuedActionsAndLaterPostsWaitForAnAttach) {
    int ran = 0;
    m_dispatcher->Post([&] { ++ran; });
    m_dispatcher->Detach();
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, 0);
    EXPECT_TRUE(m_dispatcher->IsAllTaskFinished());

    m_dispatcher->Post([&] { ran += 10; });
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, 0);
    ASSERT_TRUE(m_dispatcher->Attach());
    m_dispatcher->WaitForComplete();
    EXPECT_EQ(ran, 10);
}

TEST_F(QtEventLoopDispatcherTest, AThrowingActionIsLoggedAndTheQueueGoesOn) {
    qvx::test::LogCapture log;
    bool after = false;
    m_dispatcher->Post([] { throw std::runtime_error("disk gone"); });
    m_dispatcher->Post([&] { after = true; });
    m_dispatcher->WaitForComplete();
    EXPECT_TRUE(after);
    EXPECT_TRUE(log.Contains("disk gone"));
}

class MainDispatcherTest : public ::testing::Test {
protected:
    void SetUp() override { qvx::test::EnsureCoreApplication(); }
    void TearDown() override { Dispatcher::DestroyMain(); }
};

TEST_F(MainDispatcherTest, SecondAttachMainFailsAndKeepsTheFirst) {
    qvx::test::LogCapture log;
    ASSERT_TRUE(Dispatcher::AttachMain(Dispatcher::kQtEventLoop));
    auto first = Dispatcher::GetMainInstance();
    EXPECT_FALSE(Dispatcher::AttachMain(Dispatcher::kHostMessageQueue));
    EXPECT_EQ(log.ErrorCount(), 1);
    EXPECT_EQ(Dispatcher::GetMainInstance(), first);
    EXPECT_TRUE(first->HasImplementation());
}

TEST_F(MainDispatcherTest, TeardownDropsQueuedActionsAndAllowsANewMain) {
    ASSERT_TRUE(Dispatcher::AttachMain(Dispatcher::kQtEventLoop));
    int ran = 0;
    EXPECT_TRUE(Dispatcher::PostToMain([&] { ++ran; }));
    auto heldByWorker = Dispatcher::GetMainInstance();
    Dispatcher::DestroyMain();
    EXPECT_EQ(Dispatcher::GetMainInstance(), nullptr);
    // A worker still holding the old instance posts into a detached queue.
    heldByWorker->Post([&] { ++ran; });
    heldByWorker.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, 0);
    EXPECT_TRUE(Dispatcher::AttachMain(Dispatcher::kSynchronous));
}

TEST(SynchronousDispatcher, PostRunsTheActionBeforeReturningOnTheCallingThread) {
    auto d = Dispatcher::Create(Dispatcher::kSynchronous);
    EXPECT_FALSE(d->HasImplementation());
    EXPECT_TRUE(d->Attach());
    std::thread::id where;
    std::thread([&] {
        d->Post([&] { where = std::this_thread::get_id(); });
        EXPECT_EQ(where, std::this_thread::get_id());
    }).join();
}

TEST(HostMessageQueueDispatcher, DrainsInOrderAndActionsMayPostAgain) {
    auto d = Dispatcher::Create(Dispatcher::kHostMessageQueue);
    ASSERT_TRUE(d->Attach());
    std::vector<int> ran;
    d->Post([&] {
        ran.push_back(1);
        d->Post([&] { ran.push_back(3); });  // would deadlock if run under the queue lock
    });
    d->Post([&] { ran.push_back(2); });
    EXPECT_TRUE(ran.empty());
    while (d->ProcessInvoke()) {
    }
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(d->ProcessInvoke());
}

}  // namespace
