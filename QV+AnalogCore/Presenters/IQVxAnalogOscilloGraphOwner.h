#pragma once
// What the oscillograph view model needs from the object that owns it (the
// analog view model): the open session's settings and the application look.
// Called on the GUI thread only.

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
};
