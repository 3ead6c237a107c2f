// The English interface: the language choice of the program (--lang, the
// environment dialog's saved choice, the locale), no Japanese text outside the
// string tables, and the dialogs laid out in English without cut texts.

#include "QV+Analog/ConfigAnalog/CQVxConfigAnalogDlg.h"
#include "QV+Analog/DataList/CQVxCsvExportSettingsDlg.h"
#include "QV+Analog/Environment/CQVxRecoveryDlg.h"
#include "QV+Analog/Environment/QVxAnalogEnvDlg.h"
#include "QV+Analog/Environment/QVxReenterChacheFolderDlg.h"
#include "QV+Analog/QVxAnalogAboutDlg.h"
#include "QV+Analog/QVxAnalogScopeApp.h"
#include "QV+Analog/QVxLanguageChoice.h"
#include "QV+AnalogCore/QVxAppStrings.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "QVxWinCommon/tests/string_table_checks.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/tests/text_fit_support.h"

#include <QComboBox>
#include <QLabel>
#include <QSettings>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class ProgramLanguage : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) ::unsetenv(name);
    }
    void TearDown() override { ::setenv("LC_ALL", "C.UTF-8", 1); }

    qvx::test::TempDir dir{"language"};
    QSettings settings{QString::fromStdString((dir.Path() / "frame.ini").string()), QSettings::IniFormat};
};

TEST_F(ProgramLanguage, CommandLineThenSavedChoiceThenLocale) {
    EXPECT_EQ(ChooseProgramLanguage({}, settings), QVxLanguage::kJapanese);
    ::setenv("LANG", "en_US.UTF-8", 1);
    EXPECT_EQ(SavedLanguageChoice(settings), QString("auto"));
    EXPECT_EQ(ChooseProgramLanguage({}, settings), QVxLanguage::kEnglish);

    SaveLanguageChoice(settings, "ja");
    EXPECT_EQ(ChooseProgramLanguage({}, settings), QVxLanguage::kJapanese);
    EXPECT_EQ(ChooseProgramLanguage("en", settings), QVxLanguage::kEnglish);
    SaveLanguageChoice(settings, "en");
    ::setenv("LANG", "ja_JP.UTF-8", 1);
    EXPECT_EQ(ChooseProgramLanguage({}, settings), QVxLanguage::kEnglish);
    EXPECT_EQ(ChooseProgramLanguage("ja", settings), QVxLanguage::kJapanese);
    // A value written by hand that means nothing counts as "auto".
    SaveLanguageChoice(settings, "klingon");
    EXPECT_EQ(SavedLanguageChoice(settings), QString("auto"));
    EXPECT_EQ(ChooseProgramLanguage({}, settings), QVxLanguage::kJapanese);
}

TEST(ProgramCommandLine, TakesLangJaOrEn) {
    const auto line = CQVxAnalogScopeApp::ParseCommandLine({"--lang", "en", "--simulate", "a.qvxa"});
    EXPECT_TRUE(line.error.isEmpty()) << line.error.toStdString();
    EXPECT_EQ(line.language, QString("en"));
    EXPECT_TRUE(line.simulate);
    EXPECT_EQ(line.sessionFile, QString("a.qvxa"));
    EXPECT_TRUE(CQVxAnalogScopeApp::ParseCommandLine({"a.qvxa"}).language.isEmpty());
    EXPECT_FALSE(CQVxAnalogScopeApp::ParseCommandLine({"--lang", "fr"}).error.isEmpty());
    EXPECT_FALSE(CQVxAnalogScopeApp::ParseCommandLine({"--lang"}).error.isEmpty());
}

// The Japanese string literals of one source line, outside // comments.
std::string JapaneseLiterals(const std::string& line) {
    std::string found;
    bool inString = false;
    std::string literal;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (inString) {
            if (c == '\\') {
                literal += line.substr(i, 2);
                ++i;
            } else if (c == '"') {
                inString = false;
                if (string_table_checks::HasJapanese(literal)) found += "\"" + literal + "\" ";
                literal.clear();
            } else {
                literal += c;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '\'') {
            i += line.compare(i + 1, 1, "\\") == 0 ? 3 : 2;  // a character literal
        } else if (line.compare(i, 2, "//") == 0) {
            break;
        }
    }
    return found;
}

TEST(TextSources, JapaneseTextsLiveOnlyInTheStringTables) {
    // Every text shown to the user has an English form, which only the tables hold.
    const fs::path root = QVX_SOURCE_DIR;
    const fs::path tables[] = {root / "QV+AnalogCore/QVxAppStrings.cpp",
                               root / "QVxWinCommon/QVxGuiStrings.cpp"};
    int files = 0;
    for (const char* folder :
         {"QV+Analog", "QVxWinGUICommon", "QV+AnalogCore", "QVxWinCommon", "QVxCore", "tools"}) {
        for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
            const fs::path& path = entry.path();
            if (path.extension() != ".cpp" && path.extension() != ".h") continue;
            if (path.string().find("/tests/") != std::string::npos) continue;
            if (std::find(std::begin(tables), std::end(tables), path) != std::end(tables)) continue;
            ++files;
            std::ifstream in(path);
            std::string line;
            for (int number = 1; std::getline(in, line); ++number) {
                const auto start = line.find_first_not_of(" \t");
                if (start != std::string::npos && (line[start] == '*' || line.compare(start, 2, "/*") == 0))
                    continue;
                const std::string literals = JapaneseLiterals(line);
                EXPECT_TRUE(literals.empty()) << path.string() << ":" << number << ": " << literals;
            }
        }
    }
    EXPECT_GT(files, 100);
}

TEST(TextSources, TheScanFindsLiteralsButNotComments) {
    EXPECT_EQ(JapaneseLiterals(R"(f(QStringLiteral("開始"));  // "停止")"), "\"開始\" ");
    EXPECT_EQ(JapaneseLiterals(R"(x = '"'; y = "a\"閉じる";)"), "\"a\\\"閉じる\" ");
    EXPECT_EQ(JapaneseLiterals(R"(int kStart = 25049;  // "開始")"), "");
}

// Each dialog of the program, shown in English at its own size.
TEST(EnglishDialogs, NoTextIsCut) {
    text_fit::ScopedEnglish english;
    qvx::AnalogSettings settings;
    settings.trigger1ChStartMode = qvx::TriggerChannelMode::kHigh;
    QVxAnalogEnvDlg environment(nullptr, QStringLiteral("/home/bench/.local/share/qmrs/QV+Analog"));
    QVxReenterChacheFolderDlg reenter(nullptr, QStringLiteral("/media/usb-disk/qv-cache"));
    CQVxConfigAnalogDlg config(nullptr, &settings, false);
    QVxAnalogAboutDlg about;
    std::vector<qvx::OrphanedRecording> orphans(1);
    orphans[0].problemKind = qvx::OrphanedRecording::Problem::kShortDataFiles;
    CQVxRecoveryDlg recovery(orphans);
    QVxExportTimeSpans spans;
    spans.markers = std::make_pair(std::int64_t{1'250'000}, std::int64_t{3'750'000});
    spans.visible = std::make_pair(std::int64_t{0}, std::int64_t{10'000'000});
    CQVxCsvExportSettingsDlg exportSettings(0, 62'914'559, nullptr, spans);

    for (QDialog* dialog : std::initializer_list<QDialog*>{&environment, &reenter, &config, &about, &recovery,
                                                           &exportSettings}) {
        text_fit::ShowLaidOut(*dialog);
        EXPECT_EQ(text_fit::ClippedTexts(*dialog).join("; ").toStdString(), "")
            << dialog->objectName().toStdString();
        dialog->hide();
    }
    // The texts are the English ones, the language choice included.
    EXPECT_EQ(environment.windowTitle(), QString("Environment"));
    auto* languages =
        environment.findChild<QComboBox*>(QVxWinGUI::ControlName(QVxAnalogEnvDlg::kLanguageListId));
    ASSERT_NE(languages, nullptr);
    EXPECT_EQ(languages->itemText(2), QString("English"));
}

TEST(EnglishDialogs, TheCheckSeesACutText) {
    QWidget window;
    auto* label = new QLabel(QStringLiteral("Stop when the total data exceeds the limit"), &window);
    label->setGeometry(0, 0, 40, 20);
    auto* wrapped = new QLabel(QStringLiteral("A word-wrapped label may be narrower than one line"), &window);
    wrapped->setWordWrap(true);
    wrapped->setGeometry(0, 30, 40, 60);
    window.show();
    QApplication::processEvents();
    const QStringList clipped = text_fit::ClippedTexts(window);
    ASSERT_EQ(clipped.size(), 1);
    EXPECT_TRUE(clipped[0].startsWith("Stop when")) << clipped[0].toStdString();
}

}  // namespace
