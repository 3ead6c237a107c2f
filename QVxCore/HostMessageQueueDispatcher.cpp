#include "QVxCore/HostMessageQueueDispatcher.h"

#include "QVxCore/Utils.h"

namespace qvx {

void HostMessageQueueDispatcher::WaitForComplete() {
    QVX_NOTIMPLEMENTED();
}

bool HostMessageQueueDispatcher::IsAllTaskFinished() {
    QVX_NOTIMPLEMENTED();
}

void HostMessageQueueDispatcher::Post(Dispatcher::Action action, void* parameter) {
    std::lock_guard lock(m_mutex);
    m_queue.emplace_back(std::move(action), parameter);
}

bool HostMessageQueueDispatcher::ProcessInvoke() {
    std::lock_guard run(m_runMutex);
    std::pair<Dispatcher::Action, void*> entry;
    {
        std::lock_guard lock(m_mutex);
        if (m_queue.empty()) {
            return false;
        }
        entry = std::move(m_queue.front());
        m_queue.pop_front();
    }
    // An exception from the action reaches the host that drains the queue.
    entry.first(entry.second);
    return true;
}

}  // namespace qvx
