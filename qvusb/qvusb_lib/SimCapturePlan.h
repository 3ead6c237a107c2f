#pragma once
// What the simulated unit captures after a start command, decoded from the 16-byte control
// block: the sampling rate or the TRG3 external clock, and the capture window set by the
// start and stop triggers. The simulated trigger inputs:
//   TRG1: 1 Hz square wave 0..5 V, rising 0.5 s after the start command (falling at 1.0 s);
//   TRG2: 1 Hz square wave 0..5 V, rising 0.25 s after the start command (falling at 0.75 s);
//   TRG3: 10 kHz clock, rising edges at k x 100 us, falling edges 50 us later;
//   TRG4 set: the capture runs as without triggers.
// Times are nanoseconds since the start command; so are the records' time stamps (in 10 ns
// ticks), with or without a start trigger: the first record of a capture held by a start
// trigger carries the trigger's time.

#include "qvusb/qvusb_lib/SimSignal.h"

#include <cstdint>
#include <limits>

namespace qvusb {

constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();

struct SimCapturePlan {
    SimRecordTiming timing;
    uint64_t beginNs = 0;     // start trigger met (0 without start trigger)
    uint64_t endNs = kNever;  // stop trigger met

    static SimCapturePlan FromControlBlock(const uint8_t* block16);
    // Records sampled before time nowNs (and before the stop trigger).
    uint64_t SampledBy(uint64_t nowNs) const;
};

// First edge of a trigger input (1 or 2) at or after fromNs; rising when rising is true.
uint64_t SimTriggerEdge(int input, bool rising, uint64_t fromNs);

}  // namespace qvusb
