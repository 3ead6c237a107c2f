// The interface language: the choice from the locale and from an explicit choice,
// the lookup in the current language, and the GUI library's string table.

#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinCommon/QVxLanguage.h"
#include "QVxWinCommon/tests/string_table_checks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr auto kJa = QVxLanguage::kJapanese;
constexpr auto kEn = QVxLanguage::kEnglish;

// Starts each test with no locale variable set; restores them and the language after.
class LanguageTest : public ::testing::Test {
protected:
    static constexpr const char* kNames[] = {"LC_ALL", "LC_MESSAGES", "LANG"};

    void SetUp() override {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            m_saved.emplace_back(value ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(name);
        }
    }
    void TearDown() override {
        QVxSetLanguage(kJa);
        for (std::size_t i = 0; i < m_saved.size(); ++i) {
            if (m_saved[i])
                ::setenv(kNames[i], m_saved[i]->c_str(), 1);
            else
                ::unsetenv(kNames[i]);
        }
    }

private:
    std::vector<std::optional<std::string>> m_saved;
};

TEST_F(LanguageTest, TheFirstSetLocaleVariableDecidesInPosixOrder) {
    // LC_ALL, then LC_MESSAGES, then LANG; unset and empty ones are skipped.
    EXPECT_EQ(QVxLanguageOfLocale(nullptr, nullptr, nullptr), kJa);
    EXPECT_EQ(QVxLanguageOfLocale("", "", ""), kJa);
    EXPECT_EQ(QVxLanguageOfLocale(nullptr, nullptr, "en_US.UTF-8"), kEn);
    EXPECT_EQ(QVxLanguageOfLocale(nullptr, nullptr, "en"), kEn);
    EXPECT_EQ(QVxLanguageOfLocale(nullptr, nullptr, "ja_JP.UTF-8"), kJa);
    EXPECT_EQ(QVxLanguageOfLocale(nullptr, nullptr, "C.UTF-8"), kJa);
    EXPECT_EQ(QVxLanguageOfLocale(nullptr, nullptr, "de_DE.UTF-8"), kJa);
    EXPECT_EQ(QVxLanguageOfLocale(nullptr, "en_GB.UTF-8", "ja_JP.UTF-8"), kEn);
    EXPECT_EQ(QVxLanguageOfLocale(nullptr, "ja_JP.UTF-8", "en_US.UTF-8"), kJa);
    EXPECT_EQ(QVxLanguageOfLocale("ja_JP.UTF-8", "en_GB.UTF-8", "en_US.UTF-8"), kJa);
    EXPECT_EQ(QVxLanguageOfLocale("en_US.UTF-8", "ja_JP.UTF-8", "ja_JP.UTF-8"), kEn);
    EXPECT_EQ(QVxLanguageOfLocale("", "", "en_US.UTF-8"), kEn);
    EXPECT_EQ(QVxLanguageOfLocale("C", "", "en_US.UTF-8"), kJa);
}

TEST_F(LanguageTest, AnExplicitChoiceOverridesTheEnvironment) {
    ::setenv("LANG", "en_US.UTF-8", 1);
    EXPECT_EQ(QVxLanguageOfEnvironment(), kEn);
    EXPECT_EQ(QVxChooseLanguage(""), kEn);
    EXPECT_EQ(QVxChooseLanguage("auto"), kEn);
    EXPECT_EQ(QVxChooseLanguage("ja"), kJa);
    ::setenv("LC_ALL", "ja_JP.UTF-8", 1);
    EXPECT_EQ(QVxChooseLanguage(""), kJa);
    EXPECT_EQ(QVxChooseLanguage("en"), kEn);

    EXPECT_EQ(QVxParseLanguage("ja"), kJa);
    EXPECT_EQ(QVxParseLanguage("en"), kEn);
    for (const char* other : {"", "auto", "EN", "english", "en_US", "fr"})
        EXPECT_FALSE(QVxParseLanguage(other).has_value()) << other;
}

TEST_F(LanguageTest, LookupsFollowTheCurrentLanguage) {
    // Japanese is the default and gives the texts unchanged.
    EXPECT_EQ(QVxCurrentLanguage(), kJa);
    EXPECT_EQ(QVxLoadGuiString(25049), "開始");
    EXPECT_EQ(QVxLoadGuiString(25060),
              "レポートデータ保存先のディスク容量が1GB以下になったため、トレースを中止します。");
    QVxSetLanguage(kEn);
    EXPECT_EQ(QVxLoadGuiString(25049), "Start");
    EXPECT_EQ(QVxLoadGuiString(25060),
              "The disk holding the report data has 1 GB or less free; the trace is stopped.");
    EXPECT_EQ(QVxLoadGuiString(kGuiStringCancel), "Cancel");
    EXPECT_EQ(QVxLoadGuiString(1), "");  // an unknown id stays empty in both languages
}

TEST(GuiStringTable, EveryRowHasBothFormsWithTheSamePlaceholders) {
    string_table_checks::ExpectSoundTable(QVxGuiStringRows());
}

TEST(GuiStringTable, TheChecksSeeJapaneseAndPlaceholders) {
    using namespace string_table_checks;
    EXPECT_TRUE(HasJapanese("Start 開始"));
    EXPECT_TRUE(HasJapanese("TRG1："));  // full-width colon
    EXPECT_TRUE(HasJapanese("ﾌｧｲﾙ"));    // half-width katakana
    EXPECT_FALSE(HasJapanese("Export M1-M2... (100-4000 mV) 1.0 µs"));
    EXPECT_EQ(Placeholders("%s drive, %d to %dmV, %.1lf GB, %L1 records, %1%, {} {:>8}"),
              (std::vector<std::string>{"%s", "%d", "%d", "%.1lf", "%L1", "%1", "{}", "{:>8}"}));
    EXPECT_TRUE(Placeholders("Trigger position (%)").empty());
}

}  // namespace
