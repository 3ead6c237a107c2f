#include "QVxWinCommon/QVxClockTime.h"

#include "QVxWinCommon/QVxUtils.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <ctime>

namespace QVxClockTime {

namespace {

constexpr std::int64_t kNsPerSecond = 1'000'000'000;

// Whole seconds (rounded down, also before 1970) and the ns within the second.
struct SplitTime {
    std::int64_t seconds;
    std::int64_t nanoseconds;  // 0..999,999,999
};

SplitTime Split(std::int64_t epochNs) {
    std::int64_t seconds = epochNs / kNsPerSecond;
    std::int64_t nanoseconds = epochNs % kNsPerSecond;
    if (nanoseconds < 0) {
        nanoseconds += kNsPerSecond;
        --seconds;
    }
    return {seconds, nanoseconds};
}

// Local broken-down time; reads the TZ variable again, so that a change takes effect.
std::tm LocalTime(std::int64_t seconds) {
    tzset();
    const auto t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!localtime_r(&t, &local)) gmtime_r(&t, &local);
    return local;
}

// The fraction `nanoseconds` as its first `digits` digits, for example "123" for 3.
void PutFraction(std::int64_t nanoseconds, int digits, char* out) {
    char all[9];
    for (int i = 8; i >= 0; --i) {
        all[i] = static_cast<char>('0' + nanoseconds % 10);
        nanoseconds /= 10;
    }
    std::memcpy(out, all, static_cast<std::size_t>(digits));
}

constexpr std::int64_t kNsPerDay = 86'400 * kNsPerSecond;

// ns since midnight of "H:MM:SS[.fffffffff]"; none for another text.
std::optional<std::int64_t> ParseTimeOfDay(const std::string& text) {
    std::size_t i = 0;
    auto number = [&](std::size_t minDigits, std::size_t maxDigits) -> std::optional<std::int64_t> {
        std::int64_t value = 0;
        std::size_t digits = 0;
        while (i < text.size() && digits < maxDigits && text[i] >= '0' && text[i] <= '9') {
            value = value * 10 + (text[i++] - '0');
            ++digits;
        }
        if (digits < minDigits) return std::nullopt;
        return value;
    };
    const auto hours = number(1, 2);
    if (!hours || i >= text.size() || text[i++] != ':') return std::nullopt;
    const auto minutes = number(2, 2);
    if (!minutes || i >= text.size() || text[i++] != ':') return std::nullopt;
    const auto seconds = number(2, 2);
    if (!seconds || *hours > 23 || *minutes > 59 || *seconds > 59) return std::nullopt;
    std::int64_t fraction = 0;
    if (i < text.size() && text[i] == '.') {
        ++i;
        const std::size_t first = i;
        const auto digits = number(0, 9);
        fraction = digits.value_or(0);
        for (std::size_t n = i - first; n < 9; ++n) fraction *= 10;
    }
    if (i != text.size()) return std::nullopt;
    return ((*hours * 60 + *minutes) * 60 + *seconds) * kNsPerSecond + fraction;
}

}  // namespace

std::optional<std::int64_t> TimeSinceOrigin(std::int64_t clockOrigin, const std::string& text,
                                            std::int64_t notBefore) {
    const auto wanted = ParseTimeOfDay(text);
    if (!wanted) return std::nullopt;
    // The local clock time of `notBefore`, as ns since its midnight.
    const SplitTime split = Split(clockOrigin + notBefore);
    const std::tm local = LocalTime(split.seconds);
    const std::int64_t base =
        ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * kNsPerSecond + split.nanoseconds;
    std::int64_t ahead = *wanted - base;
    if (ahead < 0) ahead += kNsPerDay;  // the range passes midnight
    return notBefore + ahead;
}

int FractionDigitsFor(std::int64_t stepNs) {
    if (stepNs <= 0) return 9;
    if (stepNs % kNsPerSecond == 0) return 0;
    if (stepNs % 1'000'000 == 0) return 3;
    if (stepNs % 1'000 == 0) return 6;
    return 9;
}

std::string TimeOfDay(std::int64_t epochNs, int fractionDigits) {
    const SplitTime split = Split(epochNs);
    const std::tm local = LocalTime(split.seconds);
    std::string text = fmt::format("{:02}:{:02}:{:02}", local.tm_hour, local.tm_min, local.tm_sec);
    if (fractionDigits > 0) {
        const int digits = fractionDigits > 9 ? 9 : fractionDigits;
        char fraction[9];
        PutFraction(split.nanoseconds, digits, fraction);
        text += '.';
        text.append(fraction, static_cast<std::size_t>(digits));
    }
    return text;
}

std::string PointInTime(std::optional<std::int64_t> clockOrigin, std::int64_t timeNs, int unit,
                        std::int64_t stepNs) {
    if (clockOrigin) return TimeOfDay(*clockOrigin + timeNs, FractionDigitsFor(stepNs));
    return QVxUtils::MakeTimeToDisplayString(timeNs, unit) + " " + QVxUtils::MakeTimeUnitString(unit);
}

std::string Iso8601(std::int64_t epochNs) {
    char text[Iso8601Formatter::kLength];
    Iso8601Formatter formatter;
    return std::string(text, formatter.Format(epochNs, text));
}

std::size_t Iso8601Formatter::Format(std::int64_t epochNs, char* out) {
    const SplitTime split = Split(epochNs);
    if (split.seconds != m_second) {
        const std::tm local = LocalTime(split.seconds);
        // Years past 9999 or before 0 do not fit the fixed width; no recording has them.
        const int year = std::min(std::max(local.tm_year + 1900, 0), 9999);
        fmt::format_to_n(m_dateTime, sizeof m_dateTime, "{:04}-{:02}-{:02}T{:02}:{:02}:{:02}", year,
                         local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
        const long offsetMinutes = local.tm_gmtoff / 60;
        const long magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
        fmt::format_to_n(m_offset, sizeof m_offset, "{}{:02}:{:02}", offsetMinutes < 0 ? '-' : '+',
                         magnitude / 60 % 100, magnitude % 60);
        m_second = split.seconds;
    }
    std::memcpy(out, m_dateTime, sizeof m_dateTime);
    out[19] = '.';
    PutFraction(split.nanoseconds, 9, out + 20);
    std::memcpy(out + 29, m_offset, sizeof m_offset);
    return kLength;
}

}  // namespace QVxClockTime
