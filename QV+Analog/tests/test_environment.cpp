// The environment dialog and the start-up cache-folder dialog: the OK checks, the
// browse and reset buttons, the preference chain of the menu command and the
// answer of the start-up repair. Every box and folder browser is answered by the
// recording prompts; modal runs are driven from a timer inside their event loop.

#include "QV+Analog/Environment/QVxAnalogEnvDlg.h"
#include "QV+Analog/Environment/QVxReenterChacheFolderDlg.h"
#include "QV+Analog/QVxAppText.h"
#include "QV+Analog/QVxLanguageChoice.h"
#include "QV+Analog/tests/app_test_support.h"
#include "QV+AnalogCore/QVxAppStrings.h"
#include "QVxCore/AnalogEnvData.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

namespace {

QString FromPath(const fs::path& path) {
    return QString::fromStdU16String(path.u16string());
}

template <typename T>
T* Child(QWidget* dialog, const QString& name) {
    T* child = dialog->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name.toStdString();
    return child;
}

QLineEdit* PathEdit(QWidget* dialog) {
    return Child<QLineEdit>(dialog, QVxWinGUI::ControlName(QVxAnalogEnvDlg::kPathEditId));
}

void Click(QWidget* dialog, int id) {
    if (auto* button = Child<QPushButton>(dialog, QVxWinGUI::ControlName(id))) button->click();
}

// Runs `step` on the application's modal dialog once exec() has shown it. A step
// that leaves the dialog open (a failed expectation) has it rejected, so that a
// broken test ends instead of waiting for a user.
void WhenModal(std::function<void(QDialog*)> step) {
    auto tries = std::make_shared<int>(0);
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [step, tries, poll] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            if (++*tries < 500) {
                QTimer::singleShot(10, *poll);
            } else {
                ADD_FAILURE() << "no modal dialog appeared";
                *poll = nullptr;
            }
            return;
        }
        step(dialog);
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the dialog stayed open";
            dialog->done(QDialog::Rejected);
        }
        *poll = nullptr;  // ends the self-reference
    };
    QTimer::singleShot(0, *poll);
}

class EnvironmentDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_temp.isValid());
        m_oldTemp = qgetenv(qvx::AnalogEnvData::kTempDirVariable);
        m_hadTemp = qEnvironmentVariableIsSet(qvx::AnalogEnvData::kTempDirVariable);
        qputenv(qvx::AnalogEnvData::kTempDirVariable, m_temp.path().toUtf8());
        m_root = fs::path(m_temp.path().toStdU16String());
        fs::create_directories(m_root / "cacheA");
        fs::create_directories(m_root / "cacheB");
    }
    void TearDown() override {
        if (m_hadTemp)
            qputenv(qvx::AnalogEnvData::kTempDirVariable, m_oldTemp);
        else
            qunsetenv(qvx::AnalogEnvData::kTempDirVariable);
    }

    fs::path DefaultCacheFolder() const { return m_root / "qmrs" / "QV+Analog"; }

    QTemporaryDir m_temp;
    QByteArray m_oldTemp;
    bool m_hadTemp = false;
    fs::path m_root;
    qvx::test::RecordingPrompts m_prompts;
    qvx::test::ScopedPrompts m_scope{m_prompts};
};

TEST_F(EnvironmentDialogs, OkRefusesEmptyBlankAndMissingFoldersAndTakesAnExistingOne) {
    const QString enter = QVxAppString(kAppStringEnterCacheFolder);
    const QString notFound = QVxAppString(kAppStringCacheFolderNotFound);
    ASSERT_FALSE(enter.isEmpty());
    ASSERT_FALSE(notFound.isEmpty());

    struct Case {
        QString text;
        QString message;
    };
    const Case refused[] = {
        {QString(), enter},
        {QStringLiteral("   "), notFound},
        {FromPath(m_root / "missing"), notFound},
        // A file is no folder.
        {FromPath(m_root / "file.txt"), notFound},
        // Spaces around a valid folder are part of the name.
        {FromPath(m_root / "cacheA") + " ", notFound},
    };
    std::ofstream(m_root / "file.txt") << "x";
    for (const Case& c : refused) {
        QVxAnalogEnvDlg dialog(nullptr, c.text);
        m_prompts.messages.clear();
        Click(&dialog, QVxAnalogEnvDlg::kOkButtonId);
        EXPECT_EQ(m_prompts.messages, QStringList{c.message}) << c.text.toStdString();
        EXPECT_NE(dialog.result(), QDialog::Accepted) << c.text.toStdString();
        EXPECT_EQ(dialog.GetPath(), c.text);
    }

    QVxAnalogEnvDlg dialog(nullptr, FromPath(m_root / "cacheA"));
    m_prompts.messages.clear();
    Click(&dialog, QVxAnalogEnvDlg::kOkButtonId);
    EXPECT_TRUE(m_prompts.messages.isEmpty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.GetPath(), FromPath(m_root / "cacheA"));
}

TEST_F(EnvironmentDialogs, RelativeFolderIsStoredAbsolute) {
    const fs::path old = fs::current_path();
    fs::current_path(m_root);
    QVxAnalogEnvDlg dialog(nullptr, QStringLiteral("cacheB/../cacheA"));
    Click(&dialog, QVxAnalogEnvDlg::kOkButtonId);
    fs::current_path(old);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.GetPath(), FromPath(m_root / "cacheA"));
}

TEST_F(EnvironmentDialogs, BrowseAndResetFillTheEdit) {
    QVxAnalogEnvDlg dialog(nullptr, FromPath(m_root / "cacheA"));
    auto* browse = Child<QToolButton>(&dialog, QString::fromLatin1(QVxAnalogEnvDlg::kBrowseButtonName));
    ASSERT_NE(browse, nullptr);

    // A cancelled browser keeps the text; a chosen folder replaces it.
    browse->click();
    EXPECT_EQ(dialog.GetPath(), FromPath(m_root / "cacheA"));
    m_prompts.paths.push_back(FromPath(m_root / "cacheB"));
    browse->click();
    EXPECT_EQ(dialog.GetPath(), FromPath(m_root / "cacheB"));
    EXPECT_EQ(m_prompts.dialogFilters, QStringList({QVxAppString(kAppStringCacheFolderBrowseTitle),
                                                    QVxAppString(kAppStringCacheFolderBrowseTitle)}));

    // Reset answered No changes nothing and creates nothing.
    m_prompts.answers = {false};
    Click(&dialog, QVxAnalogEnvDlg::kResetButtonId);
    EXPECT_EQ(m_prompts.questions, QStringList{QVxAppString(kAppStringResetCacheFolder)});
    EXPECT_EQ(dialog.GetPath(), FromPath(m_root / "cacheB"));
    EXPECT_FALSE(fs::exists(m_root / "qmrs"));

    // Yes puts the default cache folder, created, below QVPLUS_TEMP_DIR.
    m_prompts.answers = {true};
    Click(&dialog, QVxAnalogEnvDlg::kResetButtonId);
    EXPECT_EQ(dialog.GetPath(), FromPath(DefaultCacheFolder()));
    EXPECT_TRUE(fs::is_directory(DefaultCacheFolder()));
    Click(&dialog, QVxAnalogEnvDlg::kOkButtonId);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(m_prompts.messages.isEmpty());
}

TEST_F(EnvironmentDialogs, ResetWhenTheDefaultFolderCannotBeMadeShowsNotFound) {
    // The temporary base is a file: no folder can be created below it.
    std::ofstream(m_root / "blocker") << "x";
    qputenv(qvx::AnalogEnvData::kTempDirVariable, FromPath(m_root / "blocker").toUtf8());
    QVxAnalogEnvDlg dialog(nullptr, FromPath(m_root / "cacheA"));
    m_prompts.answers = {true};
    Click(&dialog, QVxAnalogEnvDlg::kResetButtonId);
    EXPECT_EQ(m_prompts.messages, QStringList{QVxAppString(kAppStringCacheFolderNotFound)});
    EXPECT_EQ(dialog.GetPath(), FromPath(m_root / "cacheA"));
}

TEST_F(EnvironmentDialogs, EditPreferencesStoresOnlyOnOk) {
    qvx::AnalogEnvData env;
    env.SetCacheFolderPath(m_root / "cacheA");
    ASSERT_TRUE(env.SavePrefs());
    const auto prefsFile = qvx::AnalogEnvData::GetPrefsFilePath(false);
    ASSERT_TRUE(prefsFile);

    // Reset then Cancel: the default folders exist now, the preference does not change.
    WhenModal([this](QDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("環境設定"));
        EXPECT_EQ(PathEdit(dialog)->text(), FromPath(m_root / "cacheA"));
        m_prompts.answers = {true};
        Click(dialog, QVxAnalogEnvDlg::kResetButtonId);
        EXPECT_EQ(PathEdit(dialog)->text(), FromPath(DefaultCacheFolder()));
        Click(dialog, QVxAnalogEnvDlg::kCancelButtonId);
    });
    EXPECT_FALSE(QVxAnalogEnvDlg::EditPreferences(nullptr, env));
    EXPECT_EQ(env.GetCacheFolderPath(), m_root / "cacheA");
    qvx::AnalogEnvData stored;
    ASSERT_TRUE(stored.LoadPrefs(*prefsFile));
    EXPECT_EQ(stored.GetCacheFolderPath(), m_root / "cacheA");

    // A refused OK keeps the dialog open; a valid folder is stored and saved.
    WhenModal([this](QDialog* dialog) {
        PathEdit(dialog)->setText(FromPath(m_root / "gone"));
        Click(dialog, QVxAnalogEnvDlg::kOkButtonId);
        EXPECT_TRUE(dialog->isVisible());
        PathEdit(dialog)->setText(FromPath(m_root / "cacheB"));
        Click(dialog, QVxAnalogEnvDlg::kOkButtonId);
    });
    m_prompts.messages.clear();
    EXPECT_TRUE(QVxAnalogEnvDlg::EditPreferences(nullptr, env));
    EXPECT_EQ(m_prompts.messages, QStringList{QVxAppString(kAppStringCacheFolderNotFound)});
    EXPECT_EQ(env.GetCacheFolderPath(), m_root / "cacheB");
    ASSERT_TRUE(stored.LoadPrefs(*prefsFile));
    EXPECT_EQ(stored.GetCacheFolderPath(), m_root / "cacheB");
}

TEST_F(EnvironmentDialogs, LanguageChoiceIsShownAndSavedOnlyOnOk) {
    qvx::AnalogEnvData env;
    env.SetCacheFolderPath(m_root / "cacheA");
    QSettings settings(FromPath(m_root / "frame.ini"), QSettings::IniFormat);
    SaveLanguageChoice(settings, "en");
    auto languageList = [](QDialog* dialog) {
        return dialog->findChild<QComboBox*>(QVxWinGUI::ControlName(QVxAnalogEnvDlg::kLanguageListId));
    };

    // The saved choice is shown; Cancel keeps it.
    WhenModal([&](QDialog* dialog) {
        ASSERT_NE(languageList(dialog), nullptr);
        EXPECT_EQ(languageList(dialog)->currentText(), QStringLiteral("English"));
        EXPECT_EQ(languageList(dialog)->itemText(1), QStringLiteral("日本語"));
        languageList(dialog)->setCurrentIndex(1);
        Click(dialog, QVxAnalogEnvDlg::kCancelButtonId);
    });
    EXPECT_FALSE(QVxAnalogEnvDlg::EditPreferences(nullptr, env, &settings));
    EXPECT_EQ(SavedLanguageChoice(settings), QStringLiteral("en"));

    // OK saves it, for the next start.
    WhenModal([&](QDialog* dialog) {
        languageList(dialog)->setCurrentIndex(0);
        Click(dialog, QVxAnalogEnvDlg::kOkButtonId);
    });
    EXPECT_TRUE(QVxAnalogEnvDlg::EditPreferences(nullptr, env, &settings));
    EXPECT_EQ(SavedLanguageChoice(settings), QStringLiteral("auto"));
    EXPECT_EQ(QVxCurrentLanguage(), QVxLanguage::kJapanese);  // this run keeps its language
}

TEST_F(EnvironmentDialogs, StartUpDialogEndsTheProgramOrGivesTheEnteredFolder) {
    const fs::path old = m_root / "deleted";
    WhenModal([&](QDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("キャッシュフォルダの再設定"));
        EXPECT_EQ(PathEdit(dialog)->text(), FromPath(old));
        auto* exit = Child<QPushButton>(dialog, QVxWinGUI::ControlName(QVxAnalogEnvDlg::kCancelButtonId));
        EXPECT_EQ(exit->text(), QStringLiteral("アプリケーションの終了"));
        exit->click();
    });
    EXPECT_EQ(QVxReenterChacheFolderDlg::Ask(old), std::nullopt);

    WhenModal([this](QDialog* dialog) {
        Click(dialog, QVxAnalogEnvDlg::kOkButtonId);  // the old folder is still missing
        EXPECT_TRUE(dialog->isVisible());
        PathEdit(dialog)->setText(FromPath(m_root / "cacheB"));
        Click(dialog, QVxAnalogEnvDlg::kOkButtonId);
    });
    m_prompts.messages.clear();
    EXPECT_EQ(QVxReenterChacheFolderDlg::Ask(old), m_root / "cacheB");
    EXPECT_EQ(m_prompts.messages, QStringList{QVxAppString(kAppStringCacheFolderNotFound)});
}

TEST_F(EnvironmentDialogs, StartUpRepairAsksOnlyForAStoredMissingFolder) {
    const auto repair = qvx::AnalogEnvData::MakeCacheFolderRepair(&QVxReenterChacheFolderDlg::Ask);

    // No preferences file: the default folder without a dialog.
    qvx::AnalogEnvData first;
    EXPECT_TRUE(first.LoadPrefsAndRepair(repair));
    EXPECT_EQ(first.GetCacheFolderPath(), DefaultCacheFolder());

    // A stored folder that was deleted: the dialog opens with it; OK continues.
    qvx::AnalogEnvData env;
    env.SetCacheFolderPath(m_root / "deleted");
    ASSERT_TRUE(env.SavePrefs());
    WhenModal([this](QDialog* dialog) {
        EXPECT_EQ(PathEdit(dialog)->text(), FromPath(m_root / "deleted"));
        PathEdit(dialog)->setText(FromPath(m_root / "cacheA"));
        Click(dialog, QVxAnalogEnvDlg::kOkButtonId);
    });
    EXPECT_TRUE(env.LoadPrefsAndRepair(repair));
    EXPECT_EQ(env.GetCacheFolderPath(), m_root / "cacheA");

    // The exit button ends start-up.
    WhenModal([](QDialog* dialog) { Click(dialog, QVxAnalogEnvDlg::kCancelButtonId); });
    EXPECT_FALSE(env.LoadPrefsAndRepair(repair));
}

}  // namespace
