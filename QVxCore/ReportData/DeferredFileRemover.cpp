#include "QVxCore/ReportData/DeferredFileRemover.h"

#include <fcntl.h>
#include <unistd.h>

namespace qvx {

DeferredFileRemover::~DeferredFileRemover() {
    {
        std::lock_guard lock(m_mutex);
        m_exit = true;
    }
    m_queued.notify_one();
    if (m_thread.joinable()) m_thread.join();
}

bool DeferredFileRemover::Remove(const std::filesystem::path& path) {
    // Non-blocking and not through a link: only a regular file's storage is worth keeping
    // open, and opening must never wait (a FIFO) or reach outside the folder.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    bool removed = false;
    try {
        removed = std::filesystem::remove(path);
    } catch (...) {
        if (descriptor >= 0) ::close(descriptor);
        throw;
    }
    if (descriptor >= 0) Release(descriptor);
    return removed;
}

void DeferredFileRemover::Release(int descriptor) {
    {
        std::lock_guard lock(m_mutex);
        m_descriptors.push_back(descriptor);
        if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
    }
    m_queued.notify_one();
}

void DeferredFileRemover::WaitUntilReleased() {
    std::unique_lock lock(m_mutex);
    m_released.wait(lock, [this] { return m_descriptors.empty() && !m_closing; });
}

// The remover's thread: closes the queued descriptors, the last reference to each removed
// file, until the remover ends; whatever is queued then is closed before it returns.
void DeferredFileRemover::Run() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_queued.wait(lock, [this] { return m_exit || !m_descriptors.empty(); });
        if (m_descriptors.empty()) return;  // m_exit with nothing left
        std::vector<int> batch;
        batch.swap(m_descriptors);
        m_closing = true;
        lock.unlock();
        for (const int descriptor : batch) ::close(descriptor);
        lock.lock();
        m_closing = false;
        if (m_descriptors.empty()) m_released.notify_all();
    }
}

}  // namespace qvx
