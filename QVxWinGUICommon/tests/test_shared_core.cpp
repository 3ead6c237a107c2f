// The GUI library and the program that links it share one copy of the core
// libraries: the main dispatcher, the language of the texts and the notification
// service set by the program are the ones the library's code sees.

#include "QVxCore/TaskDispatcher.h"
#include "QVxWinCommon/QVxLanguage.h"
#include "QVxWinGUICommon/Common/CQVxProgressDlg.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <gtest/gtest.h>

namespace {

// The language set by this program is the one of the library's string table.
TEST(SharedCore, TheProgramsLanguageIsTheLibrarysLanguage) {
    QVxSetLanguage(QVxLanguage::kEnglish);
    const QString english = QVxWinGUI::LoadStringW(25001);
    QVxSetLanguage(QVxLanguage::kJapanese);
    const QString japanese = QVxWinGUI::LoadStringW(25001);
    EXPECT_EQ(english, "Select NAVO+");
    EXPECT_EQ(japanese, "NAVO+の選択");
}

// A progress dialog run without a main dispatcher attaches one on the GUI thread;
// it is the program's main dispatcher, not one of the library's own.
TEST(SharedCore, TheDispatcherTheLibraryAttachesIsTheProgramsMainDispatcher) {
    qvx::Dispatcher::DestroyMain();
    ASSERT_EQ(qvx::Dispatcher::GetMainInstance(), nullptr);
    EXPECT_TRUE(CQVxProgressDlg::Run(qvx::InteractionRunBehaviors::kNone, [](qvx::ProgressToken*) {}));
    EXPECT_NE(qvx::Dispatcher::GetMainInstance(), nullptr);
    // The dispatcher of test_main.cpp again, for the tests that follow.
    qvx::Dispatcher::DestroyMain();
    qvx::Dispatcher::AttachMain(qvx::Dispatcher::kQtEventLoop);
}

}  // namespace
