// The workers that let exports format and compress pieces of a file on every core: results
// come back in submission order however the tasks finish, a task that throws is reported as
// failed without stopping the rest, and destruction with tasks still queued is safe.

#include "QV+AnalogCore/Export/QVxOrderedWorkers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

TEST(OrderedWorkers, TasksComeBackInSubmissionOrderAndAThrowingTaskFailsAlone) {
    QVxOrderedWorkers workers(3);
    EXPECT_EQ(workers.GetWorkerCount(), 3u);
    std::vector<std::atomic<bool>> ran(12);
    for (std::size_t i = 0; i < ran.size(); ++i) {
        workers.Submit([&ran, i] {
            // Earlier tasks take longer, so later ones finish first.
            std::this_thread::sleep_for(std::chrono::milliseconds(2 * (12 - static_cast<int>(i)) % 7));
            if (i == 5) throw std::runtime_error("broken piece");
            ran[i] = true;
        });
    }
    EXPECT_EQ(workers.Pending(), 12u);
    for (std::size_t i = 0; i < ran.size(); ++i) {
        const bool ok = workers.TakeOldest();
        EXPECT_EQ(ok, i != 5) << "task " << i;
        // Taking a task back means it has run: its results are there to use.
        EXPECT_EQ(ran[i].load(), i != 5) << "task " << i;
    }
    EXPECT_EQ(workers.Pending(), 0u);
}

TEST(OrderedWorkers, DestroyingWithQueuedTasksWaitsForTheRunningOnesOnly) {
    std::atomic<int> started{0};
    std::atomic<bool> release{false};
    std::thread releaser;
    {
        QVxOrderedWorkers workers(1);
        for (int i = 0; i < 5; ++i) {
            workers.Submit([&] {
                ++started;
                while (!release) std::this_thread::yield();
            });
        }
        while (started == 0) std::this_thread::yield();
        // The running task ends only after the destructor has begun.
        releaser = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            release = true;
        });
    }
    releaser.join();
    EXPECT_EQ(started.load(), 1);  // the four queued tasks never ran
}
