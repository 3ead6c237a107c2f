#pragma once
// Runs actions, posted from any thread, on the thread that owns a dispatcher
// (normally the GUI thread). Worker threads reach the GUI only through the main
// dispatcher.
//
// Kinds given to Dispatcher::Create / AttachMain:
//   0  QtEventLoopDispatcher: bound to the Qt event loop of the attaching thread;
//      actions run there in posting order, exactly once, also inside modal loops.
//   1  HostMessageQueueDispatcher: a plain queue that its host drains with ProcessInvoke.
//   any other value: no implementation; Post runs the action at once on the caller.

#include <functional>
#include <memory>
#include <mutex>

namespace qvx {

class Dispatcher {
public:
    // An action receives the untyped parameter given to Post (null for the
    // parameterless form).
    using Action = std::function<void(void*)>;
    using SimpleAction = std::function<void()>;

    static constexpr int kQtEventLoop = 0;
    static constexpr int kHostMessageQueue = 1;
    static constexpr int kSynchronous = 2;

    // The platform part of a dispatcher. Calls come in through Dispatcher.
    class TaskDispatcherImpl {
    public:
        virtual ~TaskDispatcherImpl() = default;
        // Binds to the calling thread; false (logged) when that is impossible.
        virtual bool Attach() = 0;
        // Unbinds and drops queued actions.
        virtual void Detach() = 0;
        // Runs the owning thread's event loop until every queued action has run.
        virtual void WaitForComplete() = 0;
        // Queues `action` with `parameter`; callable from any thread.
        virtual void Post(Action action, void* parameter) = 0;
        // True when nothing is queued.
        virtual bool IsAllTaskFinished() = 0;
        // Runs one queued action now; false when there was none.
        virtual bool ProcessInvoke() = 0;
    };

    ~Dispatcher();
    Dispatcher(const Dispatcher&) = delete;
    Dispatcher& operator=(const Dispatcher&) = delete;

    // Builds an unattached dispatcher of `kind`.
    static std::unique_ptr<Dispatcher> Create(int kind);

    // Creates the process-wide main instance and attaches it to the calling
    // thread. Fails (logged "!s_mainInstance") when a main instance exists.
    // Returns what Attach returned (true for kinds without implementation).
    static bool AttachMain(int kind);

    // The main instance, or null. Shared so that a worker that is posting keeps it
    // alive while the GUI thread tears it down.
    static std::shared_ptr<Dispatcher> GetMainInstance();

    // Posts to the main instance; false (nothing posted, nothing run) when there is none.
    static bool PostToMain(SimpleAction action);

    // Detaches the main instance, clears it and destroys it once no worker holds
    // it any more. Called at program exit on the thread that attached it.
    static void DestroyMain();

    // Attaches to the calling thread (true for kinds without implementation).
    bool Attach();
    void Detach();

    // With an implementation: queue for the owning thread. Without: run now, here.
    void Post(SimpleAction action);
    void Post(Action action, void* parameter = nullptr);

    // Owning thread only. Runs the event loop until every action queued so far has
    // run (actions still on the calling stack, when called from inside one, excepted).
    void WaitForComplete();
    bool IsAllTaskFinished();
    // Runs one queued action on the calling thread (host queue kind).
    bool ProcessInvoke();

    bool HasImplementation() const { return m_impl != nullptr; }

private:
    explicit Dispatcher(std::unique_ptr<TaskDispatcherImpl> impl);

    // Null when the dispatcher has no thread to post to.
    std::unique_ptr<TaskDispatcherImpl> m_impl;
    // Guards Post/Attach/Detach/IsAllTaskFinished calls into m_impl. Not held while
    // actions run (WaitForComplete, ProcessInvoke), so actions may post again.
    std::mutex m_mutex;

    static std::mutex s_mainMutex;
    static std::shared_ptr<Dispatcher> s_mainInstance;
};

}  // namespace qvx
