#pragma once
// The display-trigger hits of one recording, kept by the session and saved in the
// report metadata file "meta" of its "repo" folder.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qvx {

struct AnalogDisplayTriggerItem {
    std::int64_t dataIndex = 0;  // global record index of the record that completed the hit
    std::int64_t widthNSec = 0;  // pulse width in ns for a pulse-width hit, 0 for an edge hit

    friend bool operator==(const AnalogDisplayTriggerItem&, const AnalogDisplayTriggerItem&) = default;
};

// Hits in the order they were found.
using AnalogDisplayTriggerList = std::vector<AnalogDisplayTriggerItem>;

// Hits one recording stores at most (16 bytes each in memory, about 100 bytes each
// in "meta"); later hits are only counted, so that a trigger firing on noise cannot
// exhaust the memory or make "meta" too large to load.
inline constexpr std::size_t kMaxStoredDisplayTriggerHits = 1'000'000;

}  // namespace qvx
