// The program's string table: every text in Japanese and English with the same
// placeholders, and lookups in each language.

#include "QV+AnalogCore/QVxAppStrings.h"
#include "QVxWinCommon/tests/string_table_checks.h"

#include <gtest/gtest.h>

namespace {

TEST(AppStringTable, EveryRowHasBothFormsWithTheSamePlaceholders) {
    string_table_checks::ExpectSoundTable(QVxAppStringRows());
}

TEST(AppStringTable, LookupsFollowTheCurrentLanguage) {
    EXPECT_EQ(QVxLoadAppString(kAppStringUntitled), "無題");
    EXPECT_EQ(QVxLoadAppString(kAppStringSessionFileFilter), "設定ﾌｧｲﾙ(*.qvxa)|*.qvxa||");
    QVxSetLanguage(QVxLanguage::kEnglish);
    EXPECT_EQ(QVxLoadAppString(kAppStringUntitled), "Untitled");
    EXPECT_EQ(QVxLoadAppString(kAppStringSessionFileFilter), "Settings file (*.qvxa)|*.qvxa||");
    EXPECT_EQ(QVxLoadAppString(kAppStringOpenSettingsFailed), "Could not open the given settings file.");
    EXPECT_EQ(QVxLoadAppString(3), "");
    QVxSetLanguage(QVxLanguage::kJapanese);
}

}  // namespace
