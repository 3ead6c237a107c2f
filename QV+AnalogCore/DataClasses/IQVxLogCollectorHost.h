#pragma once
// What the log collector needs from the analog view model during a trace.

#include "QVxWinCommon/DataClasses/QVxLogCollect.h"

#include <cstdint>

class IQVxLogCollectorHost {
public:
    virtual ~IQVxLogCollectorHost() = default;

    // Delivery thread: the records just written (16-byte records, `count` of them).
    virtual void Broadcast(const std::uint8_t* records, std::int64_t count) = 0;
    // Any thread: true while the trace is being stopped.
    virtual bool IsStoppingTrace() const = 0;
    // GUI thread: stop the running trace (drain).
    virtual void StopTrace() = 0;
    // GUI thread: the end-of-trace steps after the last file was closed and
    // rotated (tracing state, messages, opening the report, observers).
    virtual void OnTraceEnded(QVxAbortType abortType) = 0;
};
