#pragma once
// The counter pattern of the simulated unit: record i (from 0 at each acquisition start) has
// time stamp floor(i x 1e8 / rate) in 10 ns ticks (plus the start trigger's time, in ticks, for
// a capture held by one) and samples i mod 16384, (i div 16384) mod 16384, 7i mod 16384 and
// 16383 - (i mod 16384). Records are 16 bytes, little-endian: a 48-bit time stamp in the first
// 8 bytes, then CH1..CH4 as u16.

#include <cstdint>
#include <cstring>

namespace qvusb::test {

inline uint64_t CounterTimeStamp(uint64_t i, uint64_t rate, uint64_t startTicks = 0) {
    return startTicks + static_cast<uint64_t>(static_cast<unsigned __int128>(i) * 100000000u / rate);
}

inline bool MatchesCounterPattern(const uint8_t* record, uint64_t i, uint64_t rate, uint64_t startTicks = 0) {
    uint64_t word = 0;
    uint16_t ch[4];
    std::memcpy(&word, record, 8);
    std::memcpy(ch, record + 8, 8);
    return (word & 0xFFFFFFFFFFFFull) == CounterTimeStamp(i, rate, startTicks) && ch[0] == (i & 16383) &&
           ch[1] == ((i >> 14) & 16383) && ch[2] == ((7 * i) & 16383) && ch[3] == 16383 - (i & 16383);
}

}  // namespace qvusb::test
