// Clock-time texts in fixed time zones: the time of day, ISO 8601 with the offset, and
// the cached formatter across second, day and daylight-saving changes.

#include "QVxCore/tests/support/TimeZone.h"
#include "QVxWinCommon/QVxClockTime.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qvx::test::TimeZone;

constexpr std::int64_t kNs = 1'000'000'000;
// 2026-12-08 10:02:37 UTC, plus 123,456,789 ns.
constexpr std::int64_t kStart = 1'796'724'157LL * kNs + 123'456'789;

std::string Formatted(QVxClockTime::Iso8601Formatter& formatter, std::int64_t epochNs) {
    char text[QVxClockTime::Iso8601Formatter::kLength];
    return std::string(text, formatter.Format(epochNs, text));
}

}  // namespace

TEST(ClockTime, TimeOfDayAndIso8601InUtcAndTokyo) {
    {
        TimeZone utc("UTC");
        EXPECT_EQ(QVxClockTime::TimeOfDay(kStart, 9), "10:02:37.123456789");
        EXPECT_EQ(QVxClockTime::TimeOfDay(kStart, 3), "10:02:37.123");
        EXPECT_EQ(QVxClockTime::TimeOfDay(kStart, 0), "10:02:37");
        EXPECT_EQ(QVxClockTime::Iso8601(kStart), "2026-12-08T10:02:37.123456789+00:00");
    }
    {
        TimeZone tokyo("Asia/Tokyo");
        EXPECT_EQ(QVxClockTime::TimeOfDay(kStart, 6), "19:02:37.123456");
        // Five hours later it is the next day in Tokyo.
        EXPECT_EQ(QVxClockTime::Iso8601(kStart + 5 * 3600 * kNs), "2026-12-09T00:02:37.123456789+09:00");
    }
    {
        TimeZone west("America/St_Johns");  // a half-hour offset west of UTC
        EXPECT_EQ(QVxClockTime::Iso8601(kStart), "2026-12-08T06:32:37.123456789-03:30");
    }
    // Before 1970 the fraction still counts forward from the whole second.
    TimeZone utc("UTC");
    EXPECT_EQ(QVxClockTime::Iso8601(-1), "1969-12-31T23:59:59.999999999+00:00");
    EXPECT_EQ(QVxClockTime::TimeOfDay(-kNs / 2, 3), "23:59:59.500");
}

// A typed time of day back to ns since the start: the first such time at or after the
// given one, across midnight, with short fractions; other texts are refused.
TEST(ClockTime, TypedTimeOfDayBecomesTimeSinceTheStart) {
    TimeZone tokyo("Asia/Tokyo");  // kStart is 19:02:37.123456789 there
    using QVxClockTime::TimeSinceOrigin;
    EXPECT_EQ(TimeSinceOrigin(kStart, "19:02:37.123456789", 0), 0);
    EXPECT_EQ(TimeSinceOrigin(kStart, "19:02:38.5", 0), kNs + 376'543'211);
    EXPECT_EQ(TimeSinceOrigin(kStart, "19:03:37.123456789", 0), 60 * kNs);
    EXPECT_EQ(TimeSinceOrigin(kStart, "19:02:38", 0), kNs - 123'456'789);
    // Before the start's time of day: the next day's.
    EXPECT_EQ(TimeSinceOrigin(kStart, "19:02:37.123456788", 0), 86'400 * kNs - 1);
    EXPECT_EQ(TimeSinceOrigin(kStart, "0:00:00", 0), (4 * 3600 + 57 * 60 + 22) * kNs + 876'543'211);
    // The end of a range: at or after its start.
    EXPECT_EQ(TimeSinceOrigin(kStart, "19:02:38.5", 5 * kNs), 86'400 * kNs + kNs + 376'543'211);
    EXPECT_EQ(TimeSinceOrigin(kStart, "19:02:42.123456789", 5 * kNs), 5 * kNs);
    for (const char* bad : {"", "19:02", "19:2:37", "24:00:00", "19:60:00", "19:02:37.1234567890",
                            "19:02:37x", "1000", "-1:00:00"}) {
        EXPECT_FALSE(TimeSinceOrigin(kStart, bad, 0).has_value()) << bad;
    }
}

TEST(ClockTime, FractionDigitsShowEveryStepExactly) {
    EXPECT_EQ(QVxClockTime::FractionDigitsFor(2 * kNs), 0);
    EXPECT_EQ(QVxClockTime::FractionDigitsFor(500'000'000), 3);
    EXPECT_EQ(QVxClockTime::FractionDigitsFor(20'000), 6);
    EXPECT_EQ(QVxClockTime::FractionDigitsFor(10), 9);
    EXPECT_EQ(QVxClockTime::FractionDigitsFor(0), 9);
}

TEST(ClockTime, CachedFormatterFollowsSecondsDaysAndDaylightSaving) {
    TimeZone berlin("Europe/Berlin");
    QVxClockTime::Iso8601Formatter formatter;
    // 2026-03-29 00:59:59.999999990 UTC: the last record before summer time begins.
    constexpr std::int64_t kBeforeChange = 1'774'745'999LL * kNs + 999'999'990;
    EXPECT_EQ(Formatted(formatter, kBeforeChange), "2026-03-29T01:59:59.999999990+01:00");
    EXPECT_EQ(Formatted(formatter, kBeforeChange + 10), "2026-03-29T03:00:00.000000000+02:00");
    // Back within an earlier second, and a plain run within one second.
    EXPECT_EQ(Formatted(formatter, kBeforeChange - kNs), "2026-03-29T01:59:58.999999990+01:00");
    EXPECT_EQ(Formatted(formatter, kBeforeChange - kNs + 5), "2026-03-29T01:59:58.999999995+01:00");
    for (std::int64_t t = kStart; t < kStart + 3 * kNs; t += kNs / 4) {
        EXPECT_EQ(Formatted(formatter, t), QVxClockTime::Iso8601(t));
    }
}
