// One QApplication for every application test (offscreen platform, set by CTest),
// and the main dispatchers of both copies of the core on this thread, as the
// program attaches them.

#include "QVxCore/TaskDispatcher.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    qvx::Dispatcher::AttachMain(qvx::Dispatcher::kQtEventLoop);
    QVxWinGUI::Init();
    const int rc = RUN_ALL_TESTS();
    QVxWinGUI::Exit();
    qvx::Dispatcher::DestroyMain();
    return rc;
}
