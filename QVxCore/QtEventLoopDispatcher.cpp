#include "QVxCore/QtEventLoopDispatcher.h"

#include "QVxCore/Utils.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <spdlog/spdlog.h>

#include <algorithm>
#include <exception>

namespace qvx {

namespace {

// Lives in the attached thread and runs one queued action per dispatch event.
class DispatchReceiver final : public QObject {
public:
    explicit DispatchReceiver(std::shared_ptr<QtEventLoopDispatcher::SharedQueue> queue)
        : m_queue(std::move(queue)) {}

    bool event(QEvent* e) override {
        if (e->type() == QtEventLoopDispatcher::EventType()) {
            m_queue->RunNext();
            return true;
        }
        return QObject::event(e);
    }

private:
    std::shared_ptr<QtEventLoopDispatcher::SharedQueue> m_queue;
};

}  // namespace

bool QtEventLoopDispatcher::SharedQueue::RunNext() {
    std::shared_ptr<DispatcherActionEntry> entry;
    {
        std::lock_guard lock(mutex);
        auto it = std::find_if(entries.begin(), entries.end(), [](const auto& e) { return !e->started; });
        if (it == entries.end()) {
            return false;
        }
        entry = *it;
        entry->started = true;
        ++runningDepth;
    }
    // Outside the lock: the action may post again or open a nested event loop that
    // runs the following entries.
    try {
        entry->action(entry->parameter);
    } catch (const std::exception& e) {
        // Nothing can catch it beyond the event loop; log it and go on with the queue.
        spdlog::error("A dispatched action has failed: {}", e.what());
    } catch (...) {
        spdlog::error("A dispatched action has failed with an unknown error.");
    }
    std::lock_guard lock(mutex);
    --runningDepth;
    // Removed by address, keeping the order of the others; gone already when
    // Detach cleared the queue meanwhile.
    auto it = std::find(entries.begin(), entries.end(), entry);
    if (it != entries.end()) {
        entries.erase(it);
    }
    return true;
}

bool QtEventLoopDispatcher::SharedQueue::HasUnstarted() {
    std::lock_guard lock(mutex);
    return std::any_of(entries.begin(), entries.end(), [](const auto& e) { return !e->started; });
}

int QtEventLoopDispatcher::EventType() {
    static const int type = QEvent::registerEventType();
    return type;
}

QtEventLoopDispatcher::QtEventLoopDispatcher() : m_queue(std::make_shared<SharedQueue>()) {}

QtEventLoopDispatcher::~QtEventLoopDispatcher() {
    Detach();
}

bool QtEventLoopDispatcher::Attach() {
    if (EventType() < 0) {
        spdlog::error("Failed QEvent::registerEventType.");
        return false;
    }
    if (QCoreApplication::instance() == nullptr) {
        spdlog::error("Failed to attach the dispatcher: no QCoreApplication.");
        return false;
    }
    std::lock_guard lock(m_queue->mutex);
    QVX_CHECK_RETURN(m_queue->receiver == nullptr, false);
    m_thread = QThread::currentThread();
    m_queue->receiver = new DispatchReceiver(m_queue);
    // Entries queued while detached get their events now.
    for (std::size_t i = 0; i < m_queue->entries.size(); ++i) {
        QCoreApplication::postEvent(m_queue->receiver, new QEvent(static_cast<QEvent::Type>(EventType())));
    }
    return true;
}

void QtEventLoopDispatcher::Detach() {
    QObject* receiver = nullptr;
    bool deleteNow = false;
    {
        std::lock_guard lock(m_queue->mutex);
        m_queue->entries.clear();
        receiver = m_queue->receiver;
        m_queue->receiver = nullptr;
        // Deleting the receiver is only safe on its own thread and outside its event().
        deleteNow = receiver != nullptr && receiver->thread() == QThread::currentThread() &&
                    m_queue->runningDepth == 0;
        m_thread = nullptr;
    }
    if (deleteNow) {
        delete receiver;  // also drops its pending dispatch events
    } else if (receiver != nullptr) {
        receiver->deleteLater();
    }
}

void QtEventLoopDispatcher::WaitForComplete() {
    QVX_CHECK(m_thread == QThread::currentThread());
    // Entries that have started but not returned are on this thread's stack (we are
    // inside them); only those that have not started are waited for.
    while (m_queue->HasUnstarted()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        // A dispatch event swallowed by an event filter must not make this spin
        // forever: run the next entry directly. Its own event then finds nothing.
        m_queue->RunNext();
    }
}

void QtEventLoopDispatcher::Post(Dispatcher::Action action, void* parameter) {
    auto entry = std::make_shared<DispatcherActionEntry>();
    entry->action = std::move(action);
    entry->parameter = parameter;
    std::lock_guard lock(m_queue->mutex);
    m_queue->entries.push_back(std::move(entry));
    // Queued but not run while detached.
    if (m_queue->receiver != nullptr) {
        QCoreApplication::postEvent(m_queue->receiver, new QEvent(static_cast<QEvent::Type>(EventType())));
    }
}

bool QtEventLoopDispatcher::IsAllTaskFinished() {
    std::lock_guard lock(m_queue->mutex);
    return m_queue->entries.empty();
}

bool QtEventLoopDispatcher::ProcessInvoke() {
    QVX_UNREACHABLE();
}

}  // namespace qvx
