#include "qvusb/qvusb_lib/SimCapturePlan.h"

#include <algorithm>

namespace qvusb {

namespace {

constexpr uint64_t kTriggerPeriodNs = 1'000'000'000;
constexpr uint64_t kClockPeriodNs = 100'000;  // TRG3, 10 kHz
constexpr uint64_t kRates[4] = {102'400, 1'048'576, 10'485'760, 10'485'760};

// Combines two optional trigger times: OR takes the first, AND the later of both.
uint64_t Combine(bool use1, uint64_t t1, bool use2, uint64_t t2, bool andCondition) {
    if (use1 && use2) return andCondition ? std::max(t1, t2) : std::min(t1, t2);
    if (use1) return t1;
    if (use2) return t2;
    return kNever;
}

}  // namespace

uint64_t SimTriggerEdge(int input, bool rising, uint64_t fromNs) {
    const uint64_t base =
        input == 1 ? (rising ? 500'000'000 : 1'000'000'000) : (rising ? 250'000'000 : 750'000'000);
    if (fromNs <= base) return base;
    const uint64_t periods = (fromNs - base + kTriggerPeriodNs - 1) / kTriggerPeriodNs;
    return base + periods * kTriggerPeriodNs;
}

SimCapturePlan SimCapturePlan::FromControlBlock(const uint8_t* block) {
    SimCapturePlan plan;
    const uint8_t flags = static_cast<uint8_t>(block[0] >> 3);  // trigger-flag bits 0..4
    const bool ch12 = (flags & 0x03) != 0;
    const bool ch3 = (flags & 0x04) != 0;
    const bool ch4 = (flags & 0x08) != 0;
    plan.timing.rate = kRates[(block[0] >> 1) & 0x03];
    if (ch4) return plan;  // TRG4: as without triggers

    if (ch12) {
        const uint8_t b1 = block[1];
        const bool start1 = b1 & 0x01, start2 = b1 & 0x10, stop1 = b1 & 0x04, stop2 = b1 & 0x40;
        if (start1 || start2) {
            plan.beginNs = Combine(start1, SimTriggerEdge(1, b1 & 0x02, 0), start2,
                                   SimTriggerEdge(2, b1 & 0x20, 0), block[2] & 0x01);
            plan.timing.startNs = plan.beginNs;  // the unit's clock runs from the start command
        }
        if (stop1 || stop2) {
            const uint64_t from = plan.beginNs + 1;
            plan.endNs = Combine(stop1, SimTriggerEdge(1, b1 & 0x08, from), stop2,
                                 SimTriggerEdge(2, b1 & 0x80, from), block[2] & 0x02);
        }
    }
    if (ch3) {
        // The slope of TRG3 travels in byte 2 only when TRG1/TRG2 are unused; rising otherwise.
        const bool rising = ch12 ? true : (block[2] & 0x04) != 0;
        const uint64_t phase = rising ? 0 : kClockPeriodNs / 2;
        uint64_t first = phase;
        if (plan.beginNs != kNever && plan.beginNs > phase)
            first = phase + (plan.beginNs - phase + kClockPeriodNs - 1) / kClockPeriodNs * kClockPeriodNs;
        plan.timing.externalClock = true;
        plan.timing.firstEdgeNs = first;
        plan.timing.edgeSpacingNs = kClockPeriodNs;
    }
    return plan;
}

uint64_t SimCapturePlan::SampledBy(uint64_t nowNs) const {
    // Counts the records sampled strictly before min(now, end).
    if (beginNs == kNever) return 0;
    const uint64_t until = std::min(nowNs, endNs);
    if (timing.externalClock) {
        if (until <= timing.firstEdgeNs) return 0;
        return (until - timing.firstEdgeNs - 1) / timing.edgeSpacingNs + 1;
    }
    if (until <= beginNs) return 0;
    const unsigned __int128 scaled = static_cast<unsigned __int128>(until - beginNs) * timing.rate;
    return static_cast<uint64_t>((scaled + 999'999'999u) / 1'000'000'000u);
}

}  // namespace qvusb
