#pragma once
// Texts of times for the waveform read-outs and the lists: a time in ns shown in
// one of the time units (0 s, 1 ms, 2 us, 3 ns) as a whole number with ","
// between every group of three digits. Pure functions, any thread.

#include <cstddef>
#include <cstdint>
#include <string>

namespace QVxUtils {

// Longest text FormatTimeToDisplayString can produce (INT64_MIN in ns with its
// six separators is 26 characters), plus room to spare.
inline constexpr std::size_t kTimeTextCapacity = 32;

// The time `timeNs` divided by 10^9, 10^6, 10^3 or 1 for `unit` 0..3 (truncated
// toward zero) with "," every three digits from the right, never right after a
// leading "-": 1234567 ns in unit 3 gives "1,234,567", -1234 gives "-1,234".
// Any other unit logs "Uneachable code." and throws qvx::UnreachableError.
std::string MakeTimeToDisplayString(std::int64_t timeNs, int unit);

// The same text written to `out` (at least kTimeTextCapacity bytes, not
// terminated); returns its length. For loops that format many rows.
std::size_t FormatTimeToDisplayString(std::int64_t timeNs, int unit, char* out);

// "s", "ms", "us" or "ns" for unit 0..3; any other unit is unreachable (throws).
std::string MakeTimeUnitString(int unit);

}  // namespace QVxUtils
