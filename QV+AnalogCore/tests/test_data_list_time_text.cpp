// Time texts of the lists and read-outs: unit division, "," groups and signs.

#include "QVxCore/Utils.h"
#include "QVxCore/tests/waveform_test_support.h"
#include "QVxWinCommon/QVxUtils.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

TEST(TimeTextTest, GroupsDigitsInThreesFromTheRight) {
    EXPECT_EQ(QVxUtils::MakeTimeToDisplayString(0, 3), "0");
    EXPECT_EQ(QVxUtils::MakeTimeToDisplayString(999, 3), "999");
    EXPECT_EQ(QVxUtils::MakeTimeToDisplayString(1000, 3), "1,000");
    EXPECT_EQ(QVxUtils::MakeTimeToDisplayString(1234567, 3), "1,234,567");
    EXPECT_EQ(QVxUtils::MakeTimeToDisplayString(123456789012, 3), "123,456,789,012");
    EXPECT_EQ(QVxUtils::MakeTimeToDisplayString(std::numeric_limits<std::int64_t>::max(), 3),
              "9,223,372,036,854,775,807");
}

TEST(TimeTextTest, NegativeTimesNeverPutAGroupMarkAfterTheSign) {
    EXPECT_EQ(QVxUtils::MakeTimeToDisplayString(-1234, 3), "-1,234");
    EXPECT_EQ(QVxUtils::MakeTimeToDisplayString(-123, 3), "-123");
    EXPECT_EQ(QVxUtils::MakeTimeToDisplayString(-123456, 3), "-123,456");
    EXPECT_EQ(QVxUtils::MakeTimeToDisplayString(std::numeric_limits<std::int64_t>::min(), 3),
              "-9,223,372,036,854,775,808");
}

TEST(TimeTextTest, UnitsDivideAndTruncateTowardZero) {
    EXPECT_EQ(QVxUtils::MakeTimeToDisplayString(1'234'567'890'123, 0), "1,234");
    EXPECT_EQ(QVxUtils::MakeTimeToDisplayString(1'999'999, 1), "1");
    EXPECT_EQ(QVxUtils::MakeTimeToDisplayString(-1'999'999, 1), "-1");
    EXPECT_EQ(QVxUtils::MakeTimeToDisplayString(-999, 2), "0");  // no "-0"
    EXPECT_EQ(QVxUtils::MakeTimeToDisplayString(12'345'678, 2), "12,345");

    char text[QVxUtils::kTimeTextCapacity];
    const std::size_t length = QVxUtils::FormatTimeToDisplayString(-9'876'543'210, 3, text);
    EXPECT_EQ(std::string(text, length), "-9,876,543,210");
}

TEST(TimeTextTest, UnitNamesAndUnknownUnits) {
    EXPECT_EQ(QVxUtils::MakeTimeUnitString(0), "s");
    EXPECT_EQ(QVxUtils::MakeTimeUnitString(1), "ms");
    EXPECT_EQ(QVxUtils::MakeTimeUnitString(2), "us");
    EXPECT_EQ(QVxUtils::MakeTimeUnitString(3), "ns");

    qvx::test::LogCapture log;
    EXPECT_THROW(QVxUtils::MakeTimeUnitString(4), qvx::UnreachableError);
    EXPECT_THROW(QVxUtils::MakeTimeToDisplayString(1, -1), qvx::UnreachableError);
    EXPECT_TRUE(log.Contains("Uneachable code."));
}

}  // namespace
