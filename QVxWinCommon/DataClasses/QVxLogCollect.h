#pragma once
// Receiver of a trace's captured data. The device manager calls OnData on the
// device library's delivery thread and OnTraceFinished on its watch thread.

#include <atomic>
#include <cstddef>
#include <cstdint>

// Why a trace ended other than by the user's stop.
enum class QVxAbortType : std::int32_t {
    None = 0,
    DeviceError = 1,   // the acquisition unit reported an error
    LowDiskSpace = 2,  // free disk space fell to 1 GiB
    WriteFailed = 3,   // a record block could not be written completely
};

class QVxLogCollect {
public:
    virtual ~QVxLogCollect() = default;

    // Exchanges the abort type with None and returns the old one.
    virtual QVxAbortType TakeAbortType() { return static_cast<QVxAbortType>(m_abortType.exchange(0)); }
    virtual bool IsAvailable() const { return true; }
    // Right after the library accepted the start.
    virtual void OnTraceStarted() {}
    // The library reports that the acquisition has stopped (watch thread).
    virtual void OnTraceFinished() {}
    // The same notice for the library's other stop mode; unused by the analog collector.
    virtual void OnOtherModeTraceFinished() {}
    // One block of `elementSize` x `elementCount` bytes; bit 0 of `flags` marks the last block.
    virtual void OnData(const void* buffer, std::size_t elementSize, std::size_t elementCount,
                        std::uint32_t flags) = 0;
    // Stop the trace because of an error; may be called more than once.
    virtual void OnAbort() {}

    QVxAbortType GetAbortType() const { return static_cast<QVxAbortType>(m_abortType.load()); }
    // Sets `type` only while no abort is recorded; true when it was set.
    bool SetAbortTypeIfNone(QVxAbortType type) {
        std::int32_t none = 0;
        return m_abortType.compare_exchange_strong(none, static_cast<std::int32_t>(type));
    }

protected:
    std::atomic<std::int32_t> m_abortType{0};
};
