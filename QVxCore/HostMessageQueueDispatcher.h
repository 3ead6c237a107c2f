#pragma once
// Dispatcher kind 1: a queue that posts to no window system. Its host drains it by
// calling ProcessInvoke on the thread where the actions are to run.

#include "QVxCore/TaskDispatcher.h"

#include <deque>
#include <mutex>
#include <utility>

namespace qvx {

class HostMessageQueueDispatcher final : public Dispatcher::TaskDispatcherImpl {
public:
    bool Attach() override { return true; }
    void Detach() override {}
    // WaitForComplete and IsAllTaskFinished are not available with this kind (the
    // host decides when to drain): they log "Not implemented." and throw.
    void WaitForComplete() override;
    bool IsAllTaskFinished() override;
    void Post(Dispatcher::Action action, void* parameter) override;
    // Runs the oldest queued action on the calling thread. Actions run one at a
    // time (concurrent drainers wait), but outside the queue lock, so an action may
    // post to this same dispatcher or drain it further.
    bool ProcessInvoke() override;

private:
    std::mutex m_mutex;  // guards m_queue
    std::deque<std::pair<Dispatcher::Action, void*>> m_queue;
    std::recursive_mutex m_runMutex;  // held while an action runs
};

}  // namespace qvx
