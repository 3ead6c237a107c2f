// QV+Analog: records the four analog channels of a NAVO+ unit into report files,
// shows them while they arrive and lets the user examine a finished recording.
//
//   QV+Analog [--simulate] [--lang ja|en] [SESSION.qvxa]
//   QV+Analog --help | --version

#include "QV+Analog/QVxAnalogScopeApp.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // --help and --version answer before Qt starts, so they need no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(CQVxAnalogScopeApp::UsageText(), stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("QV+Analog %s\n", QVX_APP_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QV+Analog"));
    QApplication::setApplicationDisplayName(QStringLiteral("QV+Analog"));
    QApplication::setOrganizationName(QStringLiteral("OrvalenData"));
    QApplication::setApplicationVersion(QStringLiteral(QVX_APP_VERSION));
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    int rc = 1;
    {
        CQVxAnalogScopeApp::Options options;
        options.arguments = arguments;
        CQVxAnalogScopeApp scopeApp(std::move(options));
        if (scopeApp.InitInstance()) rc = QApplication::exec();
    }
    qvx::Dispatcher::DestroyMain();
    return rc;
}
