#include "QVxCore/Presenters/Interaction.h"

#include "QVxCore/TaskDispatcher.h"
#include "QVxCore/Utils.h"

#include <utility>

namespace qvx {

ProgressToken::ProgressToken(ProgressReporter progress, CaptionReporter caption)
    : m_state(std::make_shared<State>()) {
    m_state->progress = std::move(progress);
    m_state->caption = std::move(caption);
}

bool ProgressToken::SetProgress(std::int64_t current, std::int64_t total) {
    // Drop this update while the previous one has not run yet.
    if (m_state->progressInFlight.exchange(true)) {
        return !m_state->cancelRequested.load();
    }
    const bool posted = Dispatcher::PostToMain([state = m_state, current, total] {
        if (state->progress) {
            state->progress(current, total);
        }
        state->progressInFlight.store(false);
    });
    if (!posted) {
        // No main dispatcher: nothing will run the update, so none is in flight.
        m_state->progressInFlight.store(false);
    }
    return !m_state->cancelRequested.load();
}

void ProgressToken::SetCaption(const std::string& text) {
    Dispatcher::PostToMain([state = m_state, text] {
        if (state->caption) {
            state->caption(text);
        }
    });
}

std::atomic<IInteraction*> Interaction::m_impl{nullptr};

void Interaction::Init(IInteraction* impl) {
    QVX_CHECK(!m_impl);
    m_impl.store(impl);
}

void Interaction::Clear() {
    m_impl.store(nullptr);
}

bool Interaction::Run(const InteractionTask& task) {
    return Run(InteractionRunBehaviors::kNone, task);
}

bool Interaction::Run(InteractionRunBehaviors behaviors, const InteractionTask& task) {
    IInteraction* impl = m_impl.load();
    if (impl == nullptr) {
        QVX_NOTIMPLEMENTED();
    }
    return impl->Run(behaviors, task);
}

}  // namespace qvx
