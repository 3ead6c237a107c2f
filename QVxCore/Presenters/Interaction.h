#pragma once
// Interactions: core code runs a long task behind a modal progress display that
// the front end provides (the Qt progress dialog, or a terminal progress bar).
// The task runs on a worker thread and reports through a ProgressToken; the
// display updates run on the main dispatcher's thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace qvx {

// Bit set of how a task is presented.
enum class InteractionRunBehaviors : std::uint32_t {
    kNone = 0,
    kCancellable = 1,  // the user may cancel
    kMarquee = 2,      // no known total: the bar is a marquee
};

constexpr InteractionRunBehaviors operator|(InteractionRunBehaviors a, InteractionRunBehaviors b) {
    return static_cast<InteractionRunBehaviors>(static_cast<std::uint32_t>(a) |
                                                static_cast<std::uint32_t>(b));
}
constexpr bool HasBehavior(InteractionRunBehaviors set, InteractionRunBehaviors bit) {
    return (static_cast<std::uint32_t>(set) & static_cast<std::uint32_t>(bit)) != 0;
}

// Handed to a task on its worker thread. Display updates are posted through the
// main dispatcher; at most one progress update is queued at a time, later ones
// are dropped until it has run. The token may be destroyed while an update is
// still queued.
class ProgressToken {
public:
    // Both run on the main dispatcher's thread.
    using ProgressReporter = std::function<void(std::int64_t current, std::int64_t total)>;
    using CaptionReporter = std::function<void(const std::string& caption)>;

    ProgressToken(ProgressReporter progress, CaptionReporter caption);

    // Worker thread. Returns false once cancelling was requested.
    bool SetProgress(std::int64_t current, std::int64_t total);
    // Worker thread. The text is copied into the posted update.
    void SetCaption(const std::string& text);
    bool IsCancelRequested() const { return m_state->cancelRequested.load(); }

    // Any thread: the Cancel button, or the runner after an error.
    void RequestCancel() { m_state->cancelRequested.store(true); }

private:
    struct State {
        ProgressReporter progress;
        CaptionReporter caption;
        std::atomic<bool> cancelRequested{false};
        std::atomic<bool> progressInFlight{false};
    };
    std::shared_ptr<State> m_state;
};

using InteractionTask = std::function<void(ProgressToken*)>;

class IInteraction {
public:
    virtual ~IInteraction() = default;
    // Runs `task` behind a modal progress display. True when it ran to the end,
    // false after a cancel or an error. Called on the GUI thread.
    virtual bool Run(InteractionRunBehaviors behaviors, const InteractionTask& task) = 0;
};

// The process-wide interaction implementation (one per linked copy of the core).
class Interaction {
public:
    // Installs `impl` (not owned). When one is installed already, logs "!m_impl"
    // and keeps the old one.
    static void Init(IInteraction* impl);
    // Removes the implementation (program exit).
    static void Clear();
    static IInteraction* GetImpl() { return m_impl.load(); }

    // Runs `task` not cancellable with a determinate bar. Without an installed
    // implementation logs "Not implemented." and throws "QVX_NOTIMPLEMENTED".
    static bool Run(const InteractionTask& task);
    // The same with explicit behaviors.
    static bool Run(InteractionRunBehaviors behaviors, const InteractionTask& task);

private:
    // Static, but named as a member: its name is the text logged by a double Init.
    static std::atomic<IInteraction*> m_impl;
};

}  // namespace qvx
