#pragma once
// Waits of the device protocol in milliseconds. Tests shorten them to keep their run time low;
// the library never changes them itself.

#include <atomic>
#include <cstdint>

namespace qvusb {

struct Timing {
    std::atomic<uint32_t> resetSettleMs{1000};      // after the unit-reset request, before opening
    std::atomic<uint32_t> bitStreamSettleMs{1000};  // after the bit-stream, before asking the result
    std::atomic<uint32_t> idlePollMs{500};          // control thread's idle turn (keep-alive)
    std::atomic<uint32_t> stopSettleMs{100};        // after the stop command while draining
};

Timing& GetTiming();

}  // namespace qvusb
