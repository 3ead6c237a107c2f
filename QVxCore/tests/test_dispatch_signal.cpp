#include "QVxCore/Presenters/Signal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

TEST(Signal, HandlersRunInConnectionOrderAndReEntrantEmitHasNoEffect) {
    qvx::Signal<std::uint64_t> signal;
    std::vector<std::string> calls;
    auto a = signal.Connect([&](std::uint64_t v) {
        calls.push_back("a" + std::to_string(v));
        signal.Emit(v + 100);  // ignored: this signal is emitting
    });
    // The handle is dropped at once: releasing it does not disconnect.
    signal.Connect([&](std::uint64_t v) { calls.push_back("b" + std::to_string(v)); });
    signal.Emit(1);
    EXPECT_EQ(calls, (std::vector<std::string>{"a1", "b1"}));
    EXPECT_FALSE(signal.IsEmitting());

    calls.clear();
    signal.Emit(2);  // the mark was cleared after the first emit
    EXPECT_EQ(calls, (std::vector<std::string>{"a2", "b2"}));
}

TEST(Signal, AFreedSlotIsReusedInPlaceAndAStaleConnectionCannotDisconnectItsSuccessor) {
    qvx::Signal<> signal;
    std::string calls;
    auto a = signal.Connect([&] { calls += 'a'; });
    auto b = signal.Connect([&] { calls += 'b'; });
    auto c = signal.Connect([&] { calls += 'c'; });

    b->Disconnect();
    EXPECT_FALSE(b->IsConnected());
    signal.Emit();
    EXPECT_EQ(calls, "ac");

    // The next connection takes b's position, so it runs before c.
    calls.clear();
    auto d = signal.Connect([&] { calls += 'd'; });
    signal.Emit();
    EXPECT_EQ(calls, "adc");

    // Disconnecting b again must not touch d, which now sits in b's old slot.
    b->Disconnect();
    calls.clear();
    signal.Emit();
    EXPECT_EQ(calls, "adc");
    EXPECT_TRUE(d->IsConnected());
}

TEST(Signal, ConnectAndDisconnectDuringEmit) {
    qvx::Signal<> signal;
    std::string calls;
    std::shared_ptr<qvx::SignalConnection> late;
    std::shared_ptr<qvx::SignalConnection> b;
    std::shared_ptr<qvx::SignalConnection> c;
    auto a = signal.Connect([&] {
        calls += 'a';
        c->Disconnect();  // c comes later in this emit: skipped
        if (!late) late = signal.Connect([&] { calls += 'n'; });
    });
    b = signal.Connect([&] {
        calls += 'b';
        b->Disconnect();  // a handler may disconnect itself
    });
    c = signal.Connect([&] { calls += 'c'; });

    signal.Emit();
    EXPECT_EQ(calls, "ab");  // the new handler is not called by the emit that connected it
    calls.clear();
    signal.Emit();
    // 'n' took c's freed position (the first free one when it connected).
    EXPECT_EQ(calls, "an");
}

TEST(Signal, ConnectionsOutliveTheSignalAndItsHandlersAreReleased) {
    auto captured = std::make_shared<int>(1);
    std::shared_ptr<qvx::SignalConnection> connection;
    {
        qvx::Signal<> signal;
        connection = signal.Connect([captured] {});
        EXPECT_EQ(captured.use_count(), 2);
        EXPECT_TRUE(connection->IsConnected());
    }
    EXPECT_EQ(captured.use_count(), 1);
    EXPECT_FALSE(connection->IsConnected());
    connection->Disconnect();  // safe on a dead signal
    EXPECT_FALSE(connection->IsConnected());
}

TEST(Signal, AnEmptyHandlerThrowsAndTheEmittingMarkIsCleared) {
    qvx::Signal<> signal;
    auto c = signal.Connect(std::function<void()>{});
    EXPECT_THROW(signal.Emit(), std::bad_function_call);
    EXPECT_FALSE(signal.IsEmitting());
}

}  // namespace
