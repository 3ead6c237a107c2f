#include "QVxCore/TaskDispatcher.h"

#include "QVxCore/HostMessageQueueDispatcher.h"
#include "QVxCore/QtEventLoopDispatcher.h"
#include "QVxCore/Utils.h"

namespace qvx {

std::mutex Dispatcher::s_mainMutex;
std::shared_ptr<Dispatcher> Dispatcher::s_mainInstance;

Dispatcher::Dispatcher(std::unique_ptr<TaskDispatcherImpl> impl) : m_impl(std::move(impl)) {}

Dispatcher::~Dispatcher() {
    if (m_impl) {
        std::lock_guard lock(m_mutex);
        m_impl->Detach();
    }
}

std::unique_ptr<Dispatcher> Dispatcher::Create(int kind) {
    std::unique_ptr<TaskDispatcherImpl> impl;
    if (kind == kQtEventLoop) {
        impl = std::make_unique<QtEventLoopDispatcher>();
    } else if (kind == kHostMessageQueue) {
        impl = std::make_unique<HostMessageQueueDispatcher>();
    }
    return std::unique_ptr<Dispatcher>(new Dispatcher(std::move(impl)));
}

bool Dispatcher::AttachMain(int kind) {
    std::shared_ptr<Dispatcher> created;
    {
        std::lock_guard lock(s_mainMutex);
        QVX_CHECK_RETURN(!s_mainInstance, false);
        created = std::shared_ptr<Dispatcher>(Create(kind).release());
        s_mainInstance = created;
    }
    // A failed attach leaves the (unattached) instance in place, as the caller
    // fails its start-up and tears it down anyway.
    return created->Attach();
}

std::shared_ptr<Dispatcher> Dispatcher::GetMainInstance() {
    std::lock_guard lock(s_mainMutex);
    return s_mainInstance;
}

bool Dispatcher::PostToMain(SimpleAction action) {
    std::shared_ptr<Dispatcher> main = GetMainInstance();
    if (!main) {
        return false;
    }
    main->Post(std::move(action));
    return true;
}

void Dispatcher::DestroyMain() {
    std::shared_ptr<Dispatcher> main;
    {
        std::lock_guard lock(s_mainMutex);
        main = std::move(s_mainInstance);
        s_mainInstance.reset();
    }
    if (main) {
        main->Detach();
    }
    // Destroyed here, or by the last worker still holding it.
}

bool Dispatcher::Attach() {
    if (!m_impl) {
        return true;
    }
    std::lock_guard lock(m_mutex);
    return m_impl->Attach();
}

void Dispatcher::Detach() {
    if (!m_impl) {
        return;
    }
    std::lock_guard lock(m_mutex);
    m_impl->Detach();
}

void Dispatcher::Post(SimpleAction action) {
    Post([action = std::move(action)](void*) { action(); }, nullptr);
}

void Dispatcher::Post(Action action, void* parameter) {
    if (!m_impl) {
        action(parameter);
        return;
    }
    std::lock_guard lock(m_mutex);
    m_impl->Post(std::move(action), parameter);
}

void Dispatcher::WaitForComplete() {
    if (m_impl) {
        m_impl->WaitForComplete();
    }
}

bool Dispatcher::IsAllTaskFinished() {
    if (!m_impl) {
        return true;
    }
    std::lock_guard lock(m_mutex);
    return m_impl->IsAllTaskFinished();
}

bool Dispatcher::ProcessInvoke() {
    return m_impl ? m_impl->ProcessInvoke() : false;
}

}  // namespace qvx
