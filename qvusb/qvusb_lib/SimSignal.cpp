#include "qvusb/qvusb_lib/SimSignal.h"

#include <array>
#include <cmath>
#include <cstring>

namespace qvusb {

namespace {

using report::kNanosecondsPerTick;
using report::kRawSampleMax;  // also the mask of a converter code's 14 bits
using report::kRawSampleMidScale;
constexpr uint64_t kBurstPeriodNs = 100'000'000;  // CH4 pulse bursts every 100 ms
constexpr uint64_t kPulseSpacingNs = 1'000'000;
constexpr int kPulsesPerBurst = 5;
constexpr uint64_t kFirstPulseWidthNs = 50'000;  // 50, 100, 200, 400, 800 us

const std::array<int16_t, 4096>& SineTable() {
    static const std::array<int16_t, 4096> table = [] {
        std::array<int16_t, 4096> t{};
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = static_cast<int16_t>(std::lround(6000.0 * std::sin(2.0 * M_PI * i / 4096.0)));
        return t;
    }();
    return table;
}

void PutRecord(uint8_t* out, uint64_t timeStamp, uint16_t ch1, uint16_t ch2, uint16_t ch3, uint16_t ch4) {
    const uint64_t word = timeStamp & report::kRecordTimeMask;
    std::memcpy(out, &word, 8);
    const uint16_t samples[4] = {ch1, ch2, ch3, ch4};
    std::memcpy(out + 8, samples, 8);
}

uint32_t Noise(uint64_t index) {
    uint64_t x = index * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 32;
    return static_cast<uint32_t>(x);
}

bool InPulse(uint64_t ns) {
    const uint64_t inBurst = ns % kBurstPeriodNs;
    const uint64_t pulse = inBurst / kPulseSpacingNs;
    if (pulse >= static_cast<uint64_t>(kPulsesPerBurst)) return false;
    return inBurst % kPulseSpacingNs < (kFirstPulseWidthNs << pulse);
}

void DemoRecord(uint64_t index, uint64_t timeStamp, uint8_t* out) {
    const uint64_t ns = timeStamp * kNanosecondsPerTick;
    // CH1: 1 kHz sine.
    const uint16_t ch1 =
        static_cast<uint16_t>(kRawSampleMidScale + SineTable()[(ns % 1'000'000) * 4096 / 1'000'000]);
    // CH2: 100 Hz square.
    const uint16_t ch2 = static_cast<uint16_t>(ns % 10'000'000 < 5'000'000 ? kRawSampleMidScale + 4000
                                                                           : kRawSampleMidScale - 4000);
    // CH3: 10 Hz triangle between -5000 and +5000.
    const uint64_t phase = ns % 100'000'000;  // 0..1e8
    const int64_t tri =
        phase < 50'000'000 ? static_cast<int64_t>(phase) : static_cast<int64_t>(100'000'000 - phase);
    const uint16_t ch3 = static_cast<uint16_t>(kRawSampleMidScale - 5000 + tri * 10000 / 50'000'000);
    // CH4: noise of +-200 codes, with a burst of pulses of growing width every 100 ms.
    const int noise = static_cast<int>(Noise(index) % 401) - 200;
    const uint16_t ch4 = static_cast<uint16_t>(kRawSampleMidScale + noise + (InPulse(ns) ? 6000 : 0));
    PutRecord(out, timeStamp, ch1, ch2, ch3, ch4);
}

}  // namespace

uint64_t SimRecordTiming::TimeStamp(uint64_t index) const {
    if (externalClock) return (firstEdgeNs + index * edgeSpacingNs) / kNanosecondsPerTick;
    return startNs / kNanosecondsPerTick +
           static_cast<uint64_t>(static_cast<unsigned __int128>(index) * 100'000'000u / rate);
}

namespace {

// The fixed-rate time stamps of consecutive records, TimeStamp(i) for i = first, first + 1,
// ...: floor(i x 100,000,000 / rate) grows by the quotient of 100,000,000 / rate and
// carries the remainder, so that only the first record needs the 128-bit division (the
// simulated unit at full speed made tens of millions of them a second).
class FixedRateTicks {
public:
    FixedRateTicks(const SimRecordTiming& timing, uint64_t first)
        : m_base(timing.startNs / kNanosecondsPerTick),
          m_rate(timing.rate),
          m_stepQuotient(100'000'000u / timing.rate),
          m_stepRemainder(100'000'000u % timing.rate) {
        const unsigned __int128 scaled = static_cast<unsigned __int128>(first) * 100'000'000u;
        m_quotient = static_cast<uint64_t>(scaled / m_rate);
        m_remainder = static_cast<uint64_t>(scaled % m_rate);
    }
    uint64_t Current() const { return m_base + m_quotient; }
    void Next() {
        m_quotient += m_stepQuotient;
        m_remainder += m_stepRemainder;
        if (m_remainder >= m_rate) {
            m_remainder -= m_rate;
            ++m_quotient;
        }
    }

private:
    uint64_t m_base, m_rate, m_stepQuotient, m_stepRemainder, m_quotient = 0, m_remainder = 0;
};

}  // namespace

void GenerateRecords(SimSignal signal, const SimRecordTiming& timing, uint64_t firstIndex, uint64_t count,
                     uint8_t* out) {
    const bool fixedRate = !timing.externalClock && timing.rate != 0;
    FixedRateTicks ticks(fixedRate ? timing : SimRecordTiming{}, fixedRate ? firstIndex : 0);
    for (uint64_t n = 0; n < count; ++n, out += kReportRecordSize, ticks.Next()) {
        const uint64_t i = firstIndex + n;
        const uint64_t timeStamp = fixedRate ? ticks.Current() : timing.TimeStamp(i);
        if (signal == SimSignal::kCounter) {
            PutRecord(out, timeStamp, static_cast<uint16_t>(i & kRawSampleMax),
                      static_cast<uint16_t>((i >> 14) & kRawSampleMax),
                      static_cast<uint16_t>((7 * i) & kRawSampleMax),
                      static_cast<uint16_t>(kRawSampleMax - (i & kRawSampleMax)));
        } else {
            DemoRecord(i, timeStamp, out);
        }
    }
}

}  // namespace qvusb
