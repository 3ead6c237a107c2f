// The GUI library's dialogs laid out in English: no label, button or list cuts
// its text.

#include "QVxCore/Presenters/WaveformDisplayTriggerPresenter.h"
#include "QVxWinCommon/DataClasses/QVxDeviceManager.h"
#include "QVxWinGUICommon/Device/QVxDevSelDlg.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformDisplayTriggerDlg.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformMarkerSettingDlg.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformTrackSettingPopupDlg.h"
#include "QVxWinGUICommon/tests/dialog_test_support.h"
#include "QVxWinGUICommon/tests/text_fit_support.h"

#include <gtest/gtest.h>

namespace {

TEST(EnglishLayout, TheLibrarysDialogsCutNoText) {
    text_fit::ScopedEnglish english;
    qvx::AnalogSettings settings;
    settings.displayTriggerMode = qvx::DisplayTriggerMode::kSingle;
    settings.displayTriggerSettings[0].slope =
        qvx::TriggerSlope::kHighWidth;  // a pulse: the pulse-width rows are shown
    settings.visualSettings.markers[0] = {true, 1'234'000, {}};
    settings.visualSettings.markers[1] = {true, 5'000'000, {}};
    qvx::test::EmptyWaveformPresenter waveform(&settings.visualSettings, qvx::WaveformUsage::kGeneric);
    qvx::WaveformDisplayTriggerPresenter trigger;
    trigger.Setup(&waveform, &settings);

    CQVxWaveformDisplayTriggerDlg triggerDlg;
    triggerDlg.Setup(&trigger);
    QVxWaveformMarkerSettingDlg strip;
    strip.Setup(&waveform);
    QVxWaveformTrackSettingPopupDlg popup(0);
    popup.Load(&waveform.Track(0));
    QVxDeviceManager manager(QVxDeviceManager::kAnalogCaptureMode, {});
    QVxDevSelDlg devices(&manager, QVxWinGUI::LoadStringW(25001));

    for (QWidget* w : std::initializer_list<QWidget*>{&triggerDlg, &strip, &popup, &devices}) {
        text_fit::ShowLaidOut(*w);
        EXPECT_EQ(text_fit::ClippedTexts(*w).join("; ").toStdString(), "") << w->metaObject()->className();
        w->hide();
    }
    EXPECT_EQ(devices.windowTitle(), QString("Select NAVO+"));
}

}  // namespace
