#include "QV+Analog/QVxAppPrompts.h"

#include <gtest/gtest.h>

TEST(AppPrompts, TableFiltersBecomeQtFilters) {
    EXPECT_EQ(QVxAppPrompts::QtFilterFromTable("設定ﾌｧｲﾙ(*.qvxa)|*.qvxa||"), QString("設定ﾌｧｲﾙ(*.qvxa)"));
    EXPECT_EQ(QVxAppPrompts::QtFilterFromTable("CSV file(*.csv)|*.csv||"), QString("CSV file(*.csv)"));
    EXPECT_EQ(QVxAppPrompts::QtFilterFromTable("Text|*.txt|All|*||"), QString("Text (*.txt);;All (*)"));
    EXPECT_EQ(QVxAppPrompts::QtFilterFromTable(""), QString());
}
