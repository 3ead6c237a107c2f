#include "QV+AnalogCore/Export/QVxOrderedWorkers.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <exception>

unsigned QVxOrderedWorkers::DefaultWorkerCount() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxWorkers);
}

QVxOrderedWorkers::QVxOrderedWorkers(unsigned workers) {
    const unsigned count = std::clamp(workers, 1u, kMaxWorkers);
    m_threads.reserve(count);
    for (unsigned i = 0; i < count; ++i) m_threads.emplace_back([this] { Work(); });
}

QVxOrderedWorkers::~QVxOrderedWorkers() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_queue.clear();
    }
    m_queued.notify_all();
    for (std::thread& thread : m_threads) thread.join();
}

void QVxOrderedWorkers::Submit(std::function<void()> task) {
    const std::uint64_t ticket = m_nextTicket++;
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back({ticket, std::move(task)});
    }
    m_pending.push_back(ticket);
    m_queued.notify_one();
}

bool QVxOrderedWorkers::TakeOldest() {
    const std::uint64_t ticket = m_pending.front();
    m_pending.pop_front();
    std::unique_lock lock(m_mutex);
    m_finished.wait(lock, [&] { return std::find(m_done.begin(), m_done.end(), ticket) != m_done.end(); });
    m_done.erase(std::find(m_done.begin(), m_done.end(), ticket));
    const auto failed = std::find(m_failed.begin(), m_failed.end(), ticket);
    if (failed == m_failed.end()) return true;
    m_failed.erase(failed);
    return false;
}

// Worker thread: runs queued tasks in order until told to stop.
void QVxOrderedWorkers::Work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_queued.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_stop) return;
        Task task = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        bool ok = true;
        try {
            task.run();
        } catch (const std::exception& e) {
            spdlog::error("An export task failed: {}", e.what());
            ok = false;
        }
        lock.lock();
        m_done.push_back(task.ticket);
        if (!ok) m_failed.push_back(task.ticket);
        m_finished.notify_all();
    }
}
