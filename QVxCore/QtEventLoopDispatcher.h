#pragma once
// Dispatcher kind 0: bound to the Qt event loop of the thread that attaches it.
//
// Each Post queues an entry and posts one QEvent of a process-wide registered
// type to a receiver object living in the attached thread. Every such event runs
// the oldest entry that has not started yet, so actions start in posting order
// and run exactly once, whichever loop delivers the event: the thread's main loop,
// a modal QDialog/QMessageBox loop or any nested QEventLoop, including one opened
// by an action itself. An entry stays queued until its action has returned.
//
// This takes the place of a message-hook dispatcher of a Win32 build; the entry
// and queue keep that design's shape.

#include "QVxCore/TaskDispatcher.h"

#include <deque>
#include <memory>
#include <mutex>

class QObject;
class QThread;

namespace qvx {

class QtEventLoopDispatcher final : public Dispatcher::TaskDispatcherImpl {
public:
    struct DispatcherActionEntry {
        Dispatcher::Action action;
        void* parameter = nullptr;
        bool started = false;  // set on the attached thread just before the action runs
    };

    // Queue shared with the receiver object, which may outlive this dispatcher
    // by a deferred deletion when it is detached from another thread.
    struct SharedQueue {
        std::mutex mutex;
        std::deque<std::shared_ptr<DispatcherActionEntry>> entries;
        QObject* receiver = nullptr;  // lives in the attached thread; null when detached
        int runningDepth = 0;         // actions on the attached thread's stack

        // Attached thread: runs the oldest entry that has not started. False when none.
        bool RunNext();
        bool HasUnstarted();
    };

    QtEventLoopDispatcher();
    ~QtEventLoopDispatcher() override;

    // Needs a QCoreApplication; the calling thread must run a Qt event loop (or
    // WaitForComplete) for actions to run.
    bool Attach() override;
    void Detach() override;
    void WaitForComplete() override;
    void Post(Dispatcher::Action action, void* parameter) override;
    bool IsAllTaskFinished() override;
    // Not used with this kind: actions run from the event loop.
    bool ProcessInvoke() override;

    // The QEvent type used for posted actions, registered once per process; -1 when
    // Qt has no event type left.
    static int EventType();

private:
    std::shared_ptr<SharedQueue> m_queue;
    QThread* m_thread = nullptr;  // attached thread; null when detached
};

}  // namespace qvx
