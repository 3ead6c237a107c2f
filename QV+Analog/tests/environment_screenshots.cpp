// Renders the environment dialog and the start-up cache-folder dialog into PNGs
// (QWidget::grab) for a look at texts and layout.
// Usage: qvplusanalog-environment-screenshots OUTDIR [--lang ja|en]

#include "QV+Analog/Environment/QVxAnalogEnvDlg.h"
#include "QV+Analog/Environment/QVxReenterChacheFolderDlg.h"
#include "QV+Analog/QVxLanguageChoice.h"
#include "QVxCore/TaskDispatcher.h"

#include <QApplication>
#include <QDir>

#include <cstdio>
#include <string_view>

namespace {

bool Save(QWidget& w, const QString& dir, const char* name) {
    w.show();
    QApplication::processEvents();
    const QString path = QDir(dir).filePath(QString::fromLatin1(name) + ".png");
    if (!w.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(dir);
    qvx::Dispatcher::AttachMain(qvx::Dispatcher::kQtEventLoop);
    ApplyProgramLanguage(QVxChooseLanguage(argc > 3 && std::string_view(argv[2]) == "--lang" ? argv[3] : ""));
    bool ok = true;
    {
        QVxAnalogEnvDlg env(nullptr, QStringLiteral("/home/user/.local/share/qmrs/QV+Analog"));
        ok = Save(env, dir, "environment_dialog") && ok;
        QVxReenterChacheFolderDlg reenter(nullptr, QStringLiteral("/media/usb-disk/qvplus-cache"));
        ok = Save(reenter, dir, "reenter_cache_folder_dialog") && ok;
    }
    qvx::Dispatcher::DestroyMain();
    return ok ? 0 : 1;
}
