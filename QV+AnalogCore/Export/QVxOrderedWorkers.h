#pragma once
// A few worker threads that run tasks while the submitting thread takes them back in the
// order it submitted them: an export formats or compresses independent pieces of a file on
// every core and still writes them in file order.
//
// Submit, Pending, TakeOldest and the destructor: the owner's thread only. A task runs on a
// worker and may touch only what the owner handed to it until the owner takes it back.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class QVxOrderedWorkers {
public:
    static constexpr unsigned kMaxWorkers = 8;

    // One worker per core, at least 1 and at most kMaxWorkers.
    static unsigned DefaultWorkerCount();

    explicit QVxOrderedWorkers(unsigned workers = DefaultWorkerCount());
    // Lets running tasks finish, drops the ones no worker has started and joins the workers.
    ~QVxOrderedWorkers();
    QVxOrderedWorkers(const QVxOrderedWorkers&) = delete;
    QVxOrderedWorkers& operator=(const QVxOrderedWorkers&) = delete;

    unsigned GetWorkerCount() const { return static_cast<unsigned>(m_threads.size()); }

    void Submit(std::function<void()> task);

    // Tasks submitted and not yet taken back.
    std::size_t Pending() const { return m_pending.size(); }

    // Waits until the oldest pending task has run and takes it back (Pending() must not be
    // 0). False when the task threw: its job is incomplete.
    bool TakeOldest();

private:
    struct Task {
        std::uint64_t ticket = 0;
        std::function<void()> run;
    };

    void Work();

    std::vector<std::thread> m_threads;
    std::deque<std::uint64_t> m_pending;  // tickets in submission order; owner's thread
    std::uint64_t m_nextTicket = 0;       // owner's thread

    std::mutex m_mutex;
    std::condition_variable m_queued;     // a task was queued, or the workers must stop
    std::condition_variable m_finished;   // a task finished
    std::deque<Task> m_queue;             // not started yet; guarded by m_mutex
    std::vector<std::uint64_t> m_done;    // finished, not taken back; guarded by m_mutex
    std::vector<std::uint64_t> m_failed;  // finished by an exception; guarded by m_mutex
    bool m_stop = false;                  // guarded by m_mutex
};
