// One QApplication for every application test (offscreen platform, set by CTest),
// and the main dispatcher on this thread, as the program attaches it.

#include "QVxCore/TaskDispatcher.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    qvx::Dispatcher::AttachMain(qvx::Dispatcher::kQtEventLoop);
    const int rc = RUN_ALL_TESTS();
    qvx::Dispatcher::DestroyMain();
    return rc;
}
