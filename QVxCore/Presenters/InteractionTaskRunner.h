#pragma once
// Runs an interaction's task on a worker thread for a progress display, without
// any GUI: the Qt progress dialog and the command-line progress bar both build on
// it.
//
//   GUI thread                       worker thread
//   Start(task, onFinished) ───────▶ task(&token)  (token posts progress/caption
//   (modal loop or Wait runs the                   updates through the main
//    posted updates)                               dispatcher)
//   RequestCancel() ──────────────▶ token's cancel flag, polled by the task
//                                   task returns or throws (logged, cancel set)
//   onFinished() ◀── posted through the main dispatcher, after every update
//   Join() → true when not cancelled

#include "QVxCore/Presenters/Interaction.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace qvx {

class InteractionTaskRunner {
public:
    InteractionTaskRunner(ProgressToken::ProgressReporter progress, ProgressToken::CaptionReporter caption);
    // Joins the worker if it is still running.
    ~InteractionTaskRunner();
    InteractionTaskRunner(const InteractionTaskRunner&) = delete;
    InteractionTaskRunner& operator=(const InteractionTaskRunner&) = delete;

    // Starts `task` on a new worker thread; once. When the task has returned (or
    // thrown) the worker marks it finished and posts `onFinished` through the main
    // dispatcher (the dialog closes there). Returns false when already started.
    bool Start(InteractionTask task, std::function<void()> onFinished = {});

    // Any thread: sets the token's cancel flag; the task is expected to poll it.
    void RequestCancel() { m_token.RequestCancel(); }
    bool IsCancelRequested() const { return m_token.IsCancelRequested(); }

    // True once the task has returned or thrown.
    bool IsFinished() const { return m_finished.load(); }

    // Blocks until the task has finished, calling `pump` before each wait of at
    // most `interval` (to drain a host queue, run Qt events or draw a bar).
    void WaitFinished(const std::function<void()>& pump = {},
                      std::chrono::milliseconds interval = std::chrono::milliseconds(50));

    // Joins the worker. True when the cancel flag is still clear: the task ran to
    // its end without cancel or error.
    bool Join();

    // Start, WaitFinished and Join in one call.
    static bool RunAndWait(const InteractionTask& task, ProgressToken::ProgressReporter progress,
                           ProgressToken::CaptionReporter caption, const std::function<void()>& pump = {});

private:
    void WorkerMain(InteractionTask task, std::function<void()> onFinished);

    ProgressToken m_token;
    std::thread m_worker;
    std::atomic<bool> m_finished{false};
    std::mutex m_mutex;
    std::condition_variable m_finishedChanged;
};

}  // namespace qvx
