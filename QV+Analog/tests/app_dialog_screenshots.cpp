// Renders the application's dialogs into PNGs (QWidget::grab) for a look at their
// captions and layout: About, the collection settings dialog (editable and
// read-only), the environment dialog, the start-up cache-folder dialog and the
// start-up list of orphaned recordings with the question before a discard, and the
// export settings dialog.
// Usage: qvplusanalog-dialog-screenshots OUTDIR [--lang ja|en]
// (without --lang the texts follow the locale, as in the program)

#include "QV+Analog/ConfigAnalog/CQVxConfigAnalogDlg.h"
#include "QV+Analog/DataList/CQVxCsvExportSettingsDlg.h"
#include "QV+Analog/Environment/CQVxRecoveryDlg.h"
#include "QV+Analog/Environment/QVxAnalogEnvDlg.h"
#include "QV+Analog/Environment/QVxReenterChacheFolderDlg.h"
#include "QV+Analog/QVxAnalogAboutDlg.h"
#include "QV+Analog/QVxAppText.h"
#include "QV+Analog/QVxLanguageChoice.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <string_view>

namespace {

QString s_outDir;
int s_failures = 0;

void Save(QWidget& w, const char* name) {
    w.setFont(QVxWinGUI::GuiFont(10));
    w.show();
    QApplication::processEvents();
    const QString path = QDir(s_outDir).filePath(QString::fromLatin1(name) + ".png");
    if (!w.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++s_failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: qvplusanalog-dialog-screenshots OUTDIR [--lang ja|en]\n");
        return 2;
    }
    ApplyProgramLanguage(QVxChooseLanguage(argc > 3 && std::string_view(argv[2]) == "--lang" ? argv[3] : ""));
    s_outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(s_outDir);

    QVxAnalogAboutDlg about;
    Save(about, "about");

    // TRG1/TRG2 start and stop triggers with both start boxes ticked.
    qvx::AnalogSettings settings;
    settings.trigger1ChStartMode = qvx::TriggerChannelMode::kHigh;
    settings.trigger2ChStartMode = qvx::TriggerChannelMode::kLow;
    settings.trigger2ChStopMode = qvx::TriggerChannelMode::kHigh;
    settings.triggerStartCondition = qvx::TriggerCondition::kAnd;
    CQVxConfigAnalogDlg config(nullptr, &settings, false);
    Save(config, "config-analog");
    qvx::AnalogSettings readOnlySettings;
    readOnlySettings.trigger3ChMode = qvx::TriggerChannelMode::kLow;
    CQVxConfigAnalogDlg readOnly(nullptr, &readOnlySettings, true);
    Save(readOnly, "config-analog-readonly");

    QVxAnalogEnvDlg environment(nullptr, QStringLiteral("/home/bench/.local/share/qmrs/QV+Analog"));
    Save(environment, "environment");
    QVxReenterChacheFolderDlg reenter(nullptr, QStringLiteral("/media/usb-disk/qv-cache"));
    Save(reenter, "reenter-cache-folder");

    // A whole recording, one cut short by a power cut, one whose files are damaged and one
    // whose settings file is damaged.
    std::vector<qvx::OrphanedRecording> orphans(4);
    orphans[0].id = std::string(32, 'a');
    orphans[0].records = 62'914'560;
    orphans[0].bytes = 1'006'634'496;
    orphans[0].startTimeNs = 1'796'745'878'819'845'798;
    orphans[0].lengthNs = 6'000'000'000;
    orphans[0].readable = orphans[0].hasSettings = true;
    orphans[1] = orphans[0];
    orphans[1].records = 1'048'576;
    orphans[1].bytes = 16'777'739;
    orphans[1].tornBytes = 11;
    orphans[1].lengthNs = 100'000'000;
    orphans[1].problem = "the last 11 bytes are no whole record";
    orphans[1].problemKind = qvx::OrphanedRecording::Problem::kTornTail;
    orphans[2].id = std::string(32, 'c');
    orphans[2].bytes = 0;
    orphans[2].problem = "1 data file(s) shorter than a header";
    orphans[2].problemKind = qvx::OrphanedRecording::Problem::kShortDataFiles;
    orphans[3] = orphans[0];
    orphans[3].id = std::string(32, 'd');
    orphans[3].hasSettings = false;
    orphans[3].problem = "the settings file is damaged; the default settings are used";
    orphans[3].problemKind = qvx::OrphanedRecording::Problem::kDamagedSettings;
    CQVxRecoveryDlg recovery(orphans);
    Save(recovery, "orphaned-recordings");
    // The question "破棄" asks, as the program shows it (saved, then answered No).
    QTimer::singleShot(100, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            Save(*box, "orphaned-recordings-discard-question");
            box->reject();
        }
    });
    QVxAppPrompts::Get().ConfirmDeletion(&recovery, QVxAppString(kAppStringRecoveryDiscardQuestion));

    // The data list's export, with an M1-M2 span and a visible span to offer.
    QVxExportTimeSpans spans;
    spans.markers = std::make_pair(std::int64_t{1'250'000}, std::int64_t{3'750'000});
    spans.visible = std::make_pair(std::int64_t{0}, std::int64_t{10'000'000});
    CQVxCsvExportSettingsDlg exportSettings(0, 62'914'559, nullptr, spans);
    Save(exportSettings, "export-settings");
    return s_failures == 0 ? 0 : 1;
}
