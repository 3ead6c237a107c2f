#pragma once
// What the data list and the display-trigger list need from the analog view
// model: the open session (settings, report reader, hit list) and the current
// oscillograph view model, whose value texts the lists show. GUI thread.

#include <cstdint>
#include <optional>

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

    // The clock time (ns since 1970) of the open recording's time 0 while the lists show
    // clock times; none while they show the time since the start.
    virtual std::optional<std::int64_t> GetClockTimeOrigin() const { return std::nullopt; }
};
