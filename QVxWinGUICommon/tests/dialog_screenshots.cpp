// Renders each dialog of the GUI library into a PNG (QWidget::grab) for a look at
// captions and layout: display trigger dialog, marker strip, track popup, device
// selection dialog and a notification box.
// Usage: qvx-dialog-screenshots OUTDIR [--lang ja|en] (without --lang: the locale's language)

#include "QVxCore/Presenters/WaveformDisplayTriggerPresenter.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxWinGUICommon/Device/CQVxAnalogDeviceSelector.h"
#include "QVxWinGUICommon/Device/QVxDevSelDlg.h"
#include "QVxWinGUICommon/Device/QVxNotificationImpl.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformDisplayTriggerDlg.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformMarkerSettingDlg.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformTrackSettingPopupDlg.h"
#include "QVxWinGUICommon/tests/dialog_test_support.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <string_view>

namespace {

// Two units, the first connected.
struct TwoUnits : IQVxDeviceSelectorModel {
    qvx::Signal<> changed;
    qvx::Signal<>& ChangedSignal() override { return changed; }
    std::vector<QVxDeviceSelectorEntry> Devices() const override {
        return {{L"AN0001", QVxDeviceConnectionStatus::kConnected},
                {L"AN0002", QVxDeviceConnectionStatus::kDisconnected}};
    }
    int SelectedIndex() const override { return 0; }
    int ConnectingIndex() const override { return 0; }
    bool IsTracing() const override { return false; }
    void SelectDevice(int) override {}
    void StartConnection(int) override {}
    void Disconnect(int) override {}
};

QString s_outDir;
int s_failures = 0;

void Save(QWidget& w, const char* name) {
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
    QApplication::setApplicationDisplayName("QV+Analog");
    const bool languageGiven = argc == 4 && std::string_view(argv[2]) == "--lang";
    if (argc != 2 && !languageGiven) {
        std::fprintf(stderr, "usage: qvx-dialog-screenshots OUTDIR [--lang ja|en]\n");
        return 2;
    }
    s_outDir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(s_outDir)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    qvx::Dispatcher::AttachMain(qvx::Dispatcher::kQtEventLoop);
    QVxSetLanguage(QVxChooseLanguage(languageGiven ? argv[3] : ""));

    qvx::AnalogSettings settings;
    settings.visualSettings.tracks[1].name = L"電源電圧";
    settings.displayTriggerMode = qvx::DisplayTriggerMode::kSingle;
    settings.displayTriggerSourceChannel = 1;
    settings.displayTriggerSettings[1].slope = qvx::TriggerSlope::kHighWidth;
    settings.visualSettings.timeUnit = qvx::TimeDisplayUnit::kMicroSecond;
    settings.visualSettings.markers[0] = {true, 1'234'000, {}};
    settings.visualSettings.markers[1] = {true, 5'000'000, {}};
    qvx::test::EmptyWaveformPresenter waveform(&settings.visualSettings, qvx::WaveformUsage::kGeneric);

    qvx::WaveformDisplayTriggerPresenter trigger;
    trigger.Setup(&waveform, &settings);
    {
        CQVxWaveformDisplayTriggerDlg dlg;
        dlg.Setup(&trigger);
        Save(dlg, "display-trigger");
        trigger.SetMode(qvx::DisplayTriggerMode::kNone);
        Save(dlg, "display-trigger-none");
    }
    {
        QVxWaveformMarkerSettingDlg strip;
        strip.Setup(&waveform);
        Save(strip, "marker-strip");
    }
    {
        QVxWaveformTrackSettingPopupDlg popup(1);
        popup.Load(&waveform.Track(1));
        Save(popup, "track-popup");
    }
    {
        QVxDeviceManager manager(QVxDeviceManager::kAnalogCaptureMode, {});
        QVxDevSelDlg dlg(&manager, QVxWinGUI::LoadStringW(25001));
        if (auto* list = dlg.findChild<QTreeWidget*>("id1000"); list && list->topLevelItemCount() > 0) {
            list->topLevelItem(0)->setSelected(true);
        }
        Save(dlg, "device-selection");
    }
    {
        TwoUnits units;
        CQVxAnalogDeviceSelector selector;
        selector.resize(selector.sizeHint());
        selector.Setup(&units);
        Save(selector, "device-selector");
        CQVxAnalogDeviceSelectorPopupDlg popup(&units);
        Save(popup, "device-selector-popup");
    }
    {
        QVxNotificationImpl notification;
        QTimer::singleShot(50, [] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                    Save(*box, "notification");
                    box->accept();
                }
            }
        });
        notification.OnNotifyError(8, 0xEE03);
    }
    qvx::Dispatcher::DestroyMain();
    return s_failures == 0 ? 0 : 1;
}
