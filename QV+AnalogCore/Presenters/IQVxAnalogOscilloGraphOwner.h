#pragma once
// What the oscillograph view model needs from the object that owns it (the
// analog view model): the open session's settings and the application look.
// Called on the GUI thread only.

#include <cstdint>
#include <optional>

namespace qvx {
class AnalogSettings;
}

class IQVxAnalogOscilloGraphOwner {
public:
    virtual ~IQVxAnalogOscilloGraphOwner() = default;

    // Settings of the open session, or null while no session is open.
    virtual qvx::AnalogSettings* GetSessionSettings() const = 0;

    // True while the application shows its dark look (waveform style theme 1).
    virtual bool IsDarkLook() const = 0;

    // The clock time (ns since 1970) of the open recording's time 0 while clock times are
    // shown and the start time is known; none otherwise.
    virtual std::optional<std::int64_t> GetClockTimeOrigin() const { return std::nullopt; }
};
