#pragma once
// Signals: a view model announces a change to any number of handlers.
//
// Not thread-safe: connect and emit on the thread that owns the view model (the
// GUI thread). Worker threads post an action through the main dispatcher that emits.
//
//   qvx::Signal<std::uint64_t> changed;
//   std::shared_ptr<qvx::SignalConnection> c = changed.Connect([](std::uint64_t v) { ... });
//   changed.Emit(42);
//   c->Disconnect();   // releasing `c` alone does not disconnect

#include <cstddef>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace qvx {

namespace detail {

struct SignalConnectionDataBase {
    bool connected = false;
};

template <class Handler>
struct SignalConnectionData final : SignalConnectionDataBase {
    std::function<Handler> handler;
};

class SignalInternalDataBase {
public:
    virtual ~SignalInternalDataBase() = default;
    // Frees `slot` for reuse: false when it was in the list (now disconnected),
    // true when it is not in the list (its position was reused, or the signal is gone).
    virtual bool Disconnect(const SignalConnectionDataBase* slot) = 0;
};

template <class Handler>
class SignalInternalData final : public SignalInternalDataBase {
public:
    // Slot order is connection order. A freed position is reused by the next
    // Connect with a fresh SignalConnectionData, so an old connection never
    // reaches its successor's handler and a running handler is never overwritten.
    std::vector<std::shared_ptr<SignalConnectionData<Handler>>> m_slots;

    bool Disconnect(const SignalConnectionDataBase* slot) override {
        for (auto& s : m_slots) {
            if (s.get() == slot) {
                s->connected = false;
                return false;
            }
        }
        return true;
    }
};

template <class Handler>
class SignalCore;

}  // namespace detail

// A handle on one connected handler, handed out through a shared pointer. It keeps
// the signal's internal data alive, so it may outlive the signal.
class SignalConnection {
public:
    SignalConnection(std::shared_ptr<detail::SignalInternalDataBase> data,
                     std::weak_ptr<detail::SignalConnectionDataBase> slot)
        : m_data(std::move(data)), m_slot(std::move(slot)) {}

    // Stops the handler from being called and frees its slot; later calls do nothing.
    void Disconnect() {
        if (auto slot = m_slot.lock()) {
            m_data->Disconnect(slot.get());
        }
        m_slot.reset();
    }

    // True until Disconnect, or until the signal is destroyed.
    bool IsConnected() const {
        auto slot = m_slot.lock();
        return slot && slot->connected;
    }

private:
    std::shared_ptr<detail::SignalInternalDataBase> m_data;
    std::weak_ptr<detail::SignalConnectionDataBase> m_slot;
};

namespace detail {

template <class R, class... Args>
class SignalCore<R(Args...)> {
public:
    using Handler = R(Args...);

    SignalCore() = default;
    SignalCore(const SignalCore&) = delete;
    SignalCore& operator=(const SignalCore&) = delete;

    // Connections that outlive the signal then refer to an empty list; the
    // handlers (and what they captured) are released here.
    ~SignalCore() {
        if (m_data) {
            m_data->m_slots.clear();
        }
    }

    std::shared_ptr<SignalConnection> Connect(std::function<Handler> handler) {
        if (!m_data) {
            m_data = std::make_shared<SignalInternalData<Handler>>();
        }
        auto slot = std::make_shared<SignalConnectionData<Handler>>();
        slot->handler = std::move(handler);
        slot->connected = true;
        auto& slotList = m_data->m_slots;
        std::size_t i = 0;
        while (i < slotList.size() && slotList[i]->connected) {
            ++i;
        }
        if (i < slotList.size()) {
            slotList[i] = slot;
        } else {
            slotList.push_back(slot);
        }
        return std::make_shared<SignalConnection>(m_data, slot);
    }

    // Calls every connected handler in slot order. A re-entrant Emit (from inside a
    // handler) does nothing. Handlers connected during an Emit are called from the
    // next one on; handlers disconnected during it are skipped. A connected slot
    // with an empty handler throws std::bad_function_call.
    void Emit(Args... args) {
        if (!m_data || m_emitting) {
            return;
        }
        m_emitting = true;
        struct Reset {
            bool& flag;
            ~Reset() { flag = false; }
        } reset{m_emitting};
        // A copy of the slot list: handlers may connect (growing the list or reusing
        // a freed position) or disconnect while it is walked. A handler must not
        // destroy the signal.
        const auto slotList = m_data->m_slots;
        for (const auto& slot : slotList) {
            if (slot->connected) {
                slot->handler(args...);
            }
        }
    }

    bool IsEmitting() const { return m_emitting; }

private:
    std::shared_ptr<SignalInternalData<Handler>> m_data;
    bool m_emitting = false;
};

}  // namespace detail

// Signal<> for handlers taking nothing, Signal<std::uint64_t>, Signal<const X&>...
template <class... Args>
using Signal = detail::SignalCore<void(Args...)>;

}  // namespace qvx
