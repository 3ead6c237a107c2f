#include "QVxCore/Presenters/InteractionTaskRunner.h"

#include "QVxCore/TaskDispatcher.h"
#include "QVxCore/Utils.h"

#include <spdlog/spdlog.h>

#include <exception>
#include <utility>

namespace qvx {

InteractionTaskRunner::InteractionTaskRunner(ProgressToken::ProgressReporter progress,
                                             ProgressToken::CaptionReporter caption)
    : m_token(std::move(progress), std::move(caption)) {}

InteractionTaskRunner::~InteractionTaskRunner() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

bool InteractionTaskRunner::Start(InteractionTask task, std::function<void()> onFinished) {
    QVX_CHECK_RETURN(!m_worker.joinable(), false);
    QVX_CHECK_RETURN(!m_finished.load(), false);
    m_worker = std::thread(&InteractionTaskRunner::WorkerMain, this, std::move(task), std::move(onFinished));
    return true;
}

void InteractionTaskRunner::WorkerMain(InteractionTask task, std::function<void()> onFinished) {
    try {
        if (!task) {
            QVX_NOTIMPLEMENTED();
        }
        task(&m_token);
    } catch (const std::exception& e) {
        spdlog::error("An error has occurred: {}", e.what());
        m_token.RequestCancel();
    } catch (...) {
        spdlog::error("An unknown error has occurred.");
        m_token.RequestCancel();
    }
    {
        std::lock_guard lock(m_mutex);
        m_finished.store(true);
    }
    m_finishedChanged.notify_all();
    if (onFinished) {
        // After the task's own updates, so the display has shown them when it closes.
        if (!Dispatcher::PostToMain(std::move(onFinished))) {
            spdlog::error("No main dispatcher: the end of the task is not reported.");
        }
    }
}

void InteractionTaskRunner::WaitFinished(const std::function<void()>& pump,
                                         std::chrono::milliseconds interval) {
    QVX_CHECK(m_worker.joinable());
    for (;;) {
        if (pump) {
            pump();
        }
        std::unique_lock lock(m_mutex);
        if (m_finished.load()) {
            break;
        }
        m_finishedChanged.wait_for(lock, interval, [this] { return m_finished.load(); });
    }
    // Updates posted by the task's last steps.
    if (pump) {
        pump();
    }
}

bool InteractionTaskRunner::Join() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
    return !m_token.IsCancelRequested();
}

bool InteractionTaskRunner::RunAndWait(const InteractionTask& task, ProgressToken::ProgressReporter progress,
                                       ProgressToken::CaptionReporter caption,
                                       const std::function<void()>& pump) {
    InteractionTaskRunner runner(std::move(progress), std::move(caption));
    if (!runner.Start(task)) {
        return false;
    }
    runner.WaitFinished(pump);
    return runner.Join();
}

}  // namespace qvx
