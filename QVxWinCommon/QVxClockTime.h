#pragma once
// Texts of clock times: a recording's time (ns since the trace start) added to its start
// time (ns since 1970) and shown as the time of day in the local time zone (the TZ
// variable is honoured). Used by the ruler and read-outs, the lists and the CSV exports
// when the view shows clock time. Pure functions and a formatter object of one thread.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace QVxClockTime {

// Digits of the second's fraction, 0, 3, 6 or 9, that show every multiple of `stepNs`
// exactly: 500 ms gives 3, 20 us gives 6, 10 ns gives 9. A step of 0 or less gives 9.
int FractionDigitsFor(std::int64_t stepNs);

// A time of day with nine fraction digits, for sizing the columns that show one.
inline constexpr const char* kTimeOfDaySample = "00:00:00.000000000";

// "19:02:37" with `fractionDigits` (0..9) digits of the second behind a ".", truncated:
// "19:02:37.123456789" for 9. Local time zone.
std::string TimeOfDay(std::int64_t epochNs, int fractionDigits);

// The time a typed time of day names, as ns since the recording's time 0 whose clock
// time is `clockOrigin` (ns since 1970): the first time at or after `notBefore` ns (0 for
// a range's start, the start for its end) at which the local clock shows `text`.
// `text` is "H:MM:SS" or "HH:MM:SS" with up to nine fraction digits after a "." (hours
// 0..23); none for any other text.
std::optional<std::int64_t> TimeSinceOrigin(std::int64_t clockOrigin, const std::string& text,
                                            std::int64_t notBefore);

// A point in time as the ruler and the read-outs show it: with `clockOrigin` (the clock
// time of time 0) the time of day with the fraction digits that tell apart times `stepNs`
// apart, otherwise the time since the start in `unit` (0 s .. 3 ns) followed by the unit:
// "1,250 ms".
std::string PointInTime(std::optional<std::int64_t> clockOrigin, std::int64_t timeNs, int unit,
                        std::int64_t stepNs);

// ISO 8601 in the local time zone with the nanoseconds and the UTC offset:
// "2026-12-08T19:02:37.123456789+09:00".
std::string Iso8601(std::int64_t epochNs);

// Iso8601 for loops over many records: the local date and time of a second is worked out
// once, so a row costs only its fraction while the second stays the same.
class Iso8601Formatter {
public:
    static constexpr std::size_t kLength = 35;  // every text has this many bytes

    // Writes the text of `epochNs` at `out` (kLength bytes, not terminated); returns kLength.
    std::size_t Format(std::int64_t epochNs, char* out);

private:
    std::int64_t m_second = INT64_MIN;
    char m_dateTime[19] = {};  // "YYYY-MM-DDTHH:MM:SS"
    char m_offset[6] = {};     // "+HH:MM"
};

}  // namespace QVxClockTime
