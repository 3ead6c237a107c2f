#pragma once
// What the data list and the display-trigger list need from the analog view
// model: the open session (settings, report reader, hit list) and the current
// oscillograph view model, whose value texts the lists show. GUI thread.

namespace qvx {
class AnalogSession;
}
class QVxAnalogOscilloGraphViewModel;

class IQVxAnalogListOwner {
public:
    virtual ~IQVxAnalogListOwner() = default;

    // The open session, or null while none is open.
    virtual qvx::AnalogSession* GetCurrentSession() const = 0;

    // The oscillograph view model of the open session, or null while there is none.
    virtual QVxAnalogOscilloGraphViewModel* GetCurrentOscilloGraphViewModel() const = 0;
};
