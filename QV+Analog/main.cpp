// QV+Analog: records the four analog channels of a NAVO+ unit into report files,
// shows them while they arrive and lets the user examine a finished recording.
//
//   QV+Analog [--simulate] [SESSION.qvxa]

#include "QV+Analog/QVxAnalogScopeApp.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QApplication>

int main(int argc, char** argv) {
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
    QVxWinGUI::Exit();
    qvx::Dispatcher::DestroyMain();
    return rc;
}
