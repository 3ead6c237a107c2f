// The trace configuration dialog (opening, enabling, checks and writing on OK,
// read-only mode) and the application's overlays in the waveform window.

#include "QV+Analog/ConfigAnalog/CQVxConfigAnalogDlg.h"
#include "QV+Analog/ConfigAnalog/QVxAnalogWaveformExtension.h"
#include "QV+Analog/tests/app_test_support.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Presenters/Interaction.h"
#include "QVxCore/Presenters/WaveformTrackPresenter.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrack.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackArea.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackAreaWnd.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <utility>

namespace {

using Dlg = CQVxConfigAnalogDlg;

const QString kRangeMessage = QString::fromUtf8("しきい値は100mVから4000mVの範囲で入力してください。");

class ConfigDialogTest : public ::testing::Test {
protected:
    qvx::test::RecordingPrompts prompts;
    qvx::test::ScopedPrompts scoped{prompts};
    qvx::AnalogSettings settings;
    std::unique_ptr<CQVxConfigAnalogDlg> dlg;

    void Open(bool readOnly = false) {
        dlg = std::make_unique<CQVxConfigAnalogDlg>(nullptr, &settings, readOnly);
        dlg->show();
        dlg->activateWindow();
        QApplication::processEvents();
    }
    template <class W>
    W* Get(int id) const {
        W* w = dlg->findChild<W*>(QVxWinGUI::ControlName(id));
        EXPECT_NE(w, nullptr) << "control " << id;
        return w;
    }
    QCheckBox* Box(int id) const { return Get<QCheckBox>(id); }
    QComboBox* List(int id) const { return Get<QComboBox>(id); }
    QSpinBox* Edit(int id) const { return Get<QSpinBox>(id); }
    bool Enabled(int id) const { return Get<QWidget>(id)->isEnabled(); }
    void Choose(int radio) { Get<QRadioButton>(radio)->click(); }
    void PressOk() { Get<QPushButton>(Dlg::kOkButtonId)->click(); }
    bool Accepted() const { return dlg->result() == QDialog::Accepted; }
    // Saves the dialog's image into $QVX_CONFIG_SHOTS (for looking at it), if set.
    void Shot(const char* name) const {
        if (const char* out = std::getenv("QVX_CONFIG_SHOTS"))
            dlg->grab().save(QString::fromUtf8(out) + "/" + name + ".png");
    }
    QString FocusName() const { return dlg->focusWidget() ? dlg->focusWidget()->objectName() : QString(); }
};

TEST_F(ConfigDialogTest, ThresholdLimitsAreAcceptedAndValuesJustOutsideAreRefusedAtTheirEdit) {
    struct Threshold {
        int radio, edit;
        std::int32_t qvx::AnalogSettings::*saved;
    };
    const Threshold thresholds[] = {
        {Dlg::kRadioStartStop, Dlg::kThreshold1Id, &qvx::AnalogSettings::trigger1ChThreshold},
        {Dlg::kRadioStartStop, Dlg::kThreshold2Id, &qvx::AnalogSettings::trigger2ChThreshold},
        {Dlg::kRadioExternalClock, Dlg::kThreshold3Id, &qvx::AnalogSettings::trigger3ChThreshold},
    };
    const std::pair<int, bool> values[] = {{100, true}, {4000, true}, {99, false}, {4001, false}};
    for (const Threshold& t : thresholds) {
        for (const auto& [value, ok] : values) {
            SCOPED_TRACE(testing::Message() << "edit " << t.edit << " value " << value);
            settings = qvx::AnalogSettings();
            settings.trigger1ChStartMode = qvx::TriggerChannelMode::kHigh;
            const qvx::AnalogSettings before = settings;
            prompts.messages.clear();
            Open();
            Choose(t.radio);
            Edit(t.edit)->setValue(value);
            PressOk();
            EXPECT_EQ(Accepted(), ok);
            if (ok) {
                EXPECT_TRUE(prompts.messages.isEmpty());
                EXPECT_EQ(settings.*t.saved, value);
            } else {
                EXPECT_EQ(prompts.messages, QStringList{kRangeMessage});
                EXPECT_EQ(FocusName(), QVxWinGUI::ControlName(t.edit));
                EXPECT_TRUE(dlg->isVisible());
                EXPECT_EQ(settings, before);  // nothing written before every check passed
            }
        }
    }
}

TEST_F(ConfigDialogTest, ThresholdEditsTakeOnlyDigitsAndAnEmptyEntryIsRefused) {
    Open();
    Choose(Dlg::kRadioStartStop);
    Box(Dlg::kTriggerBoxIds[0])->setChecked(true);
    auto* line = Edit(Dlg::kThreshold1Id)->findChild<QLineEdit*>();
    ASSERT_NE(line, nullptr);
    line->selectAll();
    QTest::keyClicks(line, "abc");
    EXPECT_EQ(Edit(Dlg::kThreshold1Id)->value(), 2047);

    line->clear();
    PressOk();
    EXPECT_FALSE(Accepted());
    EXPECT_EQ(prompts.messages, QStringList{kRangeMessage});
    EXPECT_EQ(settings, qvx::AnalogSettings());
}

TEST_F(ConfigDialogTest, StartStopWithoutAnyTickedTriggerAsksForOne) {
    Open();
    Choose(Dlg::kRadioStartStop);
    PressOk();
    EXPECT_FALSE(Accepted());
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].startsWith(
        QString::fromUtf8("TRG1，TRG2：スタート，ストップトリガーを使用するには")));
    EXPECT_EQ(FocusName(), QVxWinGUI::ControlName(Dlg::kTriggerBoxIds[0]));
}

TEST_F(ConfigDialogTest, OnlyStopTrg2SavesItsModeAndKeepsBothConditionsButAFullPairSavesItsOwn) {
    settings.triggerStartCondition = qvx::TriggerCondition::kAnd;
    settings.triggerStopCondition = qvx::TriggerCondition::kAnd;
    settings.trigger1ChThreshold = 300;
    Open();
    Choose(Dlg::kRadioStartStop);
    Box(Dlg::kTriggerBoxIds[3])->setChecked(true);
    List(Dlg::kLevelListIds[3])->setCurrentIndex(1);   // Low
    List(Dlg::kStartConditionId)->setCurrentIndex(0);  // lists of an incomplete pair are not saved
    List(Dlg::kStopConditionId)->setCurrentIndex(0);
    Edit(Dlg::kThreshold2Id)->setValue(1500);
    PressOk();
    ASSERT_TRUE(Accepted());
    EXPECT_EQ(settings.trigger2ChStopMode, qvx::TriggerChannelMode::kLow);
    EXPECT_EQ(settings.trigger1ChStartMode, qvx::TriggerChannelMode::kOff);
    EXPECT_EQ(settings.trigger2ChStartMode, qvx::TriggerChannelMode::kOff);
    EXPECT_EQ(settings.trigger1ChStopMode, qvx::TriggerChannelMode::kOff);
    EXPECT_EQ(settings.triggerStartCondition, qvx::TriggerCondition::kAnd);
    EXPECT_EQ(settings.triggerStopCondition, qvx::TriggerCondition::kAnd);
    EXPECT_EQ(settings.trigger1ChThreshold, 300);
    EXPECT_EQ(settings.trigger2ChThreshold, 1500);

    Open();
    Box(Dlg::kTriggerBoxIds[0])->setChecked(true);
    Box(Dlg::kTriggerBoxIds[1])->setChecked(true);
    List(Dlg::kStartConditionId)->setCurrentIndex(0);
    PressOk();
    ASSERT_TRUE(Accepted());
    EXPECT_EQ(settings.trigger1ChStartMode, qvx::TriggerChannelMode::kHigh);
    EXPECT_EQ(settings.triggerStartCondition, qvx::TriggerCondition::kOr);
    EXPECT_EQ(settings.triggerStopCondition, qvx::TriggerCondition::kAnd);
}

TEST_F(ConfigDialogTest, ExternalClockNeitherChecksNorSavesTrg1Trg2AndClearsStartStop) {
    settings.trigger1ChStartMode = qvx::TriggerChannelMode::kHigh;
    settings.trigger2ChStopMode = qvx::TriggerChannelMode::kLow;
    settings.trigger1ChThreshold = 99;  // out of range, but not this branch's business
    settings.trigger2ChThreshold = 5000;
    Open();
    Choose(Dlg::kRadioExternalClock);
    Edit(Dlg::kThreshold1Id)->setValue(4500);
    List(Dlg::kEdgeId)->setCurrentIndex(1);
    Edit(Dlg::kThreshold3Id)->setValue(700);
    PressOk();
    ASSERT_TRUE(Accepted());
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_EQ(settings.trigger1ChThreshold, 99);
    EXPECT_EQ(settings.trigger2ChThreshold, 5000);
    EXPECT_EQ(settings.trigger3ChMode, qvx::TriggerChannelMode::kLow);
    EXPECT_EQ(settings.trigger3ChThreshold, 700);
    EXPECT_EQ(settings.trigger1ChStartMode, qvx::TriggerChannelMode::kOff);
    EXPECT_EQ(settings.trigger2ChStopMode, qvx::TriggerChannelMode::kOff);
    EXPECT_FALSE(settings.trigger4ChEnabled);
}

TEST_F(ConfigDialogTest, SyncAndNoneClearTheOtherModesButKeepThresholds) {
    settings.trigger3ChMode = qvx::TriggerChannelMode::kHigh;
    settings.trigger3ChThreshold = 50;
    Open();
    Choose(Dlg::kRadioSync);
    PressOk();
    ASSERT_TRUE(Accepted());
    EXPECT_TRUE(settings.trigger4ChEnabled);
    EXPECT_EQ(settings.trigger3ChMode, qvx::TriggerChannelMode::kOff);
    EXPECT_EQ(settings.trigger3ChThreshold, 50);

    Open();
    Choose(Dlg::kRadioNone);
    PressOk();
    ASSERT_TRUE(Accepted());
    EXPECT_FALSE(settings.trigger4ChEnabled);
}

TEST_F(ConfigDialogTest, ReadOnlyShowsCloseAndSavesNothing) {
    settings.trigger1ChStartMode = qvx::TriggerChannelMode::kLow;
    settings.trigger1ChThreshold = 99999;  // would be refused if it were checked
    const qvx::AnalogSettings before = settings;
    Open(true);
    Shot("config-readonly");
    EXPECT_EQ(dlg->windowTitle(), QString::fromUtf8("データ収集設定"));
    EXPECT_FALSE(Get<QPushButton>(Dlg::kOkButtonId)->isVisible());
    EXPECT_EQ(Get<QPushButton>(Dlg::kCancelButtonId)->text(), QString::fromUtf8("閉じる"));
    EXPECT_TRUE(Enabled(Dlg::kCancelButtonId));
    for (int id :
         {Dlg::kRadioNone,         Dlg::kRadioStartStop,    Dlg::kRadioExternalClock, Dlg::kRadioSync,
          Dlg::kTriggerBoxIds[0],  Dlg::kTriggerBoxIds[1],  Dlg::kTriggerBoxIds[2],   Dlg::kTriggerBoxIds[3],
          Dlg::kLevelListIds[0],   Dlg::kLevelListIds[1],   Dlg::kLevelListIds[2],    Dlg::kLevelListIds[3],
          Dlg::kStartConditionId,  Dlg::kStopConditionId,   Dlg::kThreshold1Id,       Dlg::kThreshold2Id,
          Dlg::kThreshold1LabelId, Dlg::kThreshold2LabelId, Dlg::kEdgeLabelId,        Dlg::kEdgeId,
          Dlg::kThreshold3LabelId, Dlg::kThreshold3Id}) {
        EXPECT_FALSE(Enabled(id)) << id;
    }
    // Enter (the dialog's accept) must not write either.
    dlg->accept();
    EXPECT_FALSE(Accepted());
    EXPECT_EQ(settings, before);
    EXPECT_TRUE(prompts.messages.isEmpty());
    Open(true);
    Get<QPushButton>(Dlg::kCancelButtonId)->click();
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    EXPECT_EQ(settings, before);
}

TEST_F(ConfigDialogTest, OpeningChoosesTheRadioAndShowsTheStoredLevels) {
    struct Case {
        const char* what;
        void (*set)(qvx::AnalogSettings&);
        int radio;
    };
    const Case cases[] = {
        {"defaults", [](qvx::AnalogSettings&) {}, Dlg::kRadioNone},
        {"stop TRG2", [](qvx::AnalogSettings& s) { s.trigger2ChStopMode = qvx::TriggerChannelMode::kHigh; },
         Dlg::kRadioStartStop},
        {"TRG3 over start/stop",
         [](qvx::AnalogSettings& s) {
             s.trigger1ChStartMode = qvx::TriggerChannelMode::kHigh;
             s.trigger3ChMode = qvx::TriggerChannelMode::kLow;
         },
         Dlg::kRadioExternalClock},
        {"TRG4 over everything",
         [](qvx::AnalogSettings& s) {
             s.trigger3ChMode = qvx::TriggerChannelMode::kHigh;
             s.trigger1ChStopMode = qvx::TriggerChannelMode::kHigh;
             s.trigger4ChEnabled = true;
         },
         Dlg::kRadioSync},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        settings = qvx::AnalogSettings();
        c.set(settings);
        Open();
        EXPECT_EQ(dlg->GetRadio(), c.radio);
        EXPECT_TRUE(Get<QRadioButton>(c.radio)->isChecked());
    }

    settings = qvx::AnalogSettings();
    settings.trigger1ChStartMode = qvx::TriggerChannelMode::kLow;
    settings.trigger2ChStartMode = qvx::TriggerChannelMode::kHigh;
    settings.trigger1ChStopMode = qvx::TriggerChannelMode::kOff;
    settings.trigger2ChStopMode = qvx::TriggerChannelMode::kLow;
    settings.triggerStartCondition = qvx::TriggerCondition::kAnd;
    settings.trigger1ChThreshold = 150;
    settings.trigger2ChThreshold = 3900;
    settings.trigger3ChMode = qvx::TriggerChannelMode::kOff;
    settings.trigger3ChThreshold = 1234;
    Open();
    Shot("config-startstop");
    EXPECT_TRUE(Box(Dlg::kTriggerBoxIds[0])->isChecked());
    EXPECT_TRUE(Box(Dlg::kTriggerBoxIds[1])->isChecked());
    EXPECT_FALSE(Box(Dlg::kTriggerBoxIds[2])->isChecked());
    EXPECT_TRUE(Box(Dlg::kTriggerBoxIds[3])->isChecked());
    EXPECT_EQ(List(Dlg::kLevelListIds[0])->currentText(), "Low");
    EXPECT_EQ(List(Dlg::kLevelListIds[1])->currentText(), "High");
    EXPECT_EQ(List(Dlg::kLevelListIds[2])->currentText(), "High");
    EXPECT_EQ(List(Dlg::kLevelListIds[3])->currentText(), "Low");
    EXPECT_EQ(List(Dlg::kStartConditionId)->currentText(), "AND");
    EXPECT_EQ(List(Dlg::kStopConditionId)->currentText(), "OR");
    EXPECT_EQ(Edit(Dlg::kThreshold1Id)->value(), 150);
    EXPECT_EQ(Edit(Dlg::kThreshold2Id)->value(), 3900);
    EXPECT_EQ(List(Dlg::kEdgeId)->currentText(), "High");
    EXPECT_EQ(Edit(Dlg::kThreshold3Id)->value(), 1234);
}

TEST_F(ConfigDialogTest, ControlsFollowTheRadioTheBoxesAndTheLevels) {
    settings.trigger1ChStartMode = qvx::TriggerChannelMode::kHigh;
    settings.trigger2ChStartMode = qvx::TriggerChannelMode::kHigh;
    settings.trigger1ChStopMode = qvx::TriggerChannelMode::kHigh;
    Open();
    // Both start boxes ticked: the start combination is offered; one stop box only: not.
    EXPECT_TRUE(Enabled(Dlg::kStartConditionId));
    EXPECT_TRUE(Enabled(Dlg::kStartConditionLabelId));
    EXPECT_FALSE(Enabled(Dlg::kStopConditionId));
    EXPECT_FALSE(Enabled(Dlg::kStopConditionLabelId));
    EXPECT_TRUE(Enabled(Dlg::kThreshold1Id));
    EXPECT_FALSE(Enabled(Dlg::kThreshold3Id));
    EXPECT_FALSE(Enabled(Dlg::kEdgeId));

    Box(Dlg::kTriggerBoxIds[1])->setChecked(false);
    EXPECT_FALSE(Enabled(Dlg::kStartConditionId));

    // Choosing a level ticks its box, which completes the stop pair.
    Q_EMIT List(Dlg::kLevelListIds[3])->activated(1);
    EXPECT_TRUE(Box(Dlg::kTriggerBoxIds[3])->isChecked());
    EXPECT_TRUE(Enabled(Dlg::kStopConditionId));

    Choose(Dlg::kRadioExternalClock);
    for (int id : {Dlg::kStartGroupId, Dlg::kTriggerBoxIds[0], Dlg::kTriggerBoxIds[3], Dlg::kLevelListIds[0],
                   Dlg::kLevelListIds[3], Dlg::kStartConditionId, Dlg::kStopConditionId,
                   Dlg::kThreshold1LabelId, Dlg::kThreshold2LabelId, Dlg::kThreshold1Id, Dlg::kThreshold2Id})
        EXPECT_FALSE(Enabled(id)) << id;
    for (int id : {Dlg::kEdgeLabelId, Dlg::kEdgeId, Dlg::kThreshold3LabelId, Dlg::kThreshold3Id})
        EXPECT_TRUE(Enabled(id)) << id;

    Choose(Dlg::kRadioNone);
    for (int id : {Dlg::kTriggerBoxIds[0], Dlg::kThreshold1Id, Dlg::kEdgeId, Dlg::kThreshold3Id})
        EXPECT_FALSE(Enabled(id)) << id;
    Choose(Dlg::kRadioStartStop);
    EXPECT_TRUE(Enabled(Dlg::kStopConditionId));  // the boxes kept their ticks
    EXPECT_FALSE(Enabled(Dlg::kStartConditionId));
}

// The extension with the damaged-data mark under the test's control (the live
// intake sets it only during a trace).
class DamageableExtension : public QVxAnalogWaveformExtension {
public:
    using QVxAnalogWaveformExtension::QVxAnalogWaveformExtension;
    bool damaged = false;
    bool IsReportDataDamaged() const override { return damaged; }
};

// A monitor window on the view model's oscillograph view model, with the extension installed.
class WaveformExtensionTest : public ::testing::Test {
protected:
    struct InlineInteraction : qvx::IInteraction {
        bool Run(qvx::InteractionRunBehaviors, const qvx::InteractionTask& task) override {
            qvx::ProgressToken token([](std::int64_t, std::int64_t) {}, [](const std::string&) {});
            task(&token);
            return !token.IsCancelRequested();
        }
    };

    QTemporaryDir dir;
    qvx::test::RecordingPrompts prompts;
    qvx::test::ScopedPrompts scoped{prompts};
    InlineInteraction interaction;
    qvx::AnalogEnvData env;
    QVxAnalogViewModel viewModel;
    std::unique_ptr<DamageableExtension> extension;
    std::unique_ptr<CQVxWaveformMonitorWnd> wnd;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ::setenv("QVPLUS_TEMP_DIR", dir.path().toUtf8().constData(), 1);
        ::unsetenv("QVPLUS_SIMULATED_UNITS");
        qvx::Interaction::Init(&interaction);
        auto repair = qvx::AnalogEnvData::MakeCacheFolderRepair(
            [](const std::filesystem::path&) { return std::optional<std::filesystem::path>(); });
        ASSERT_TRUE(viewModel.Init(&env, repair, {QVX_TEST_BITSTREAM}));
        extension = std::make_unique<DamageableExtension>(viewModel);
        wnd = std::make_unique<CQVxWaveformMonitorWnd>(CQVxWaveformMonitorWndProps{});
        wnd->resize(1000, 800);
        wnd->Setup(viewModel.GetOscilloGraphViewModel());
        wnd->SetExtension(extension.get());
        wnd->show();
        QApplication::processEvents();
    }
    void TearDown() override {
        wnd.reset();
        viewModel.Shutdown();
        qvx::Interaction::Clear();
        ::unsetenv("QVPLUS_TEMP_DIR");
    }
    qvx::AnalogSettings& Settings() { return *viewModel.GetSessionSettings(); }
    CQVxWaveformTrackArea& Area() { return *wnd->GetTrackAreaWnd()->GetGraphArea(); }
    QImage Grab() { return wnd->GetTrackAreaWnd()->grab().toImage(); }
};

TEST_F(WaveformExtensionTest, ActiveDisplayTriggerDrawsItsPositionLineAndTheSourceTracksLevel) {
    Settings().displayTriggerSourceChannel = 1;
    Settings().displayTriggerPosition = 0.25;
    Settings().displayTriggerSettings[1].voltageLevel = 0;  // 0 V: the middle of the track
    const auto& w = Area().GetWaveformRect();
    const int x = w.left + static_cast<int>(w.Width() * 0.25);
    ASSERT_GE(Area().TrackCount(), 2u);
    const CQVxWaveformTrack& source = Area().Track(1);
    const CQVxWaveformTrack& other = Area().Track(0);
    const int levelY = source.ValueToY(0);
    const int probeX = w.left + w.Width() * 3 / 4;  // away from the position line
    const QColor lineColor(Settings().visualSettings.tracks[1].lineColor.r,
                           Settings().visualSettings.tracks[1].lineColor.g,
                           Settings().visualSettings.tracks[1].lineColor.b);

    QImage off = Grab();
    // Below the source track's translucent caption band and away from the level line.
    const int midY = source.GetLayout().waveform.top + 30;
    EXPECT_NE(off.pixelColor(x, midY), QColor(160, 0, 0));
    EXPECT_NE(off.pixelColor(probeX, levelY), lineColor);

    Settings().displayTriggerMode = qvx::DisplayTriggerMode::kSingle;
    QImage on = Grab();
    if (const char* out = std::getenv("QVX_CONFIG_SHOTS")) on.save(QString::fromUtf8(out) + "/extension.png");
    EXPECT_EQ(on.pixelColor(x, midY), QColor(160, 0, 0));
    EXPECT_EQ(on.pixelColor(x, Area().Track(3).GetLayout().waveform.bottom - 3), QColor(160, 0, 0));
    EXPECT_NE(on.pixelColor(x - 1, midY), QColor(160, 0, 0));
    EXPECT_EQ(on.pixelColor(probeX, levelY), lineColor);
    // Only the source channel's track gets the level line.
    EXPECT_EQ(on.pixelColor(probeX, other.ValueToY(0)), off.pixelColor(probeX, other.ValueToY(0)));
}

TEST_F(WaveformExtensionTest, DamagedDataShowsTheBannerInTheTopLeftCorner) {
    const QColor banner = QColor::fromRgb(QVxAnalogWaveformExtension::kBannerColor);
    EXPECT_NE(Grab().pixelColor(4, 4), banner);
    EXPECT_FALSE(extension->IsDisplayTriggerActive());

    extension->damaged = true;
    Grab();  // the marker strip leaves the corner to the banner from the next paint on
    const QImage on = Grab();
    EXPECT_EQ(on.pixelColor(3, 3), banner);
    EXPECT_NE(on.pixelColor(1, 1), banner);  // the box starts at (2, 2)
    // The white text lies inside the box, which is as wide as the text plus 8 pixels.
    const QFontMetrics fm(QVxWinGUI::GuiFont(10));
    const int width = fm.size(Qt::TextSingleLine, QVxWinGUI::LoadStringW(kGuiStringDamagedData)).width() + 8;
    EXPECT_EQ(on.pixelColor(2 + width - 1, 3), banner);
    EXPECT_NE(on.pixelColor(2 + width + 1, 3), banner);
    int white = 0;
    for (int x = 2; x < 2 + width; ++x) {
        for (int y = 2; y < 2 + fm.height() + 8; ++y) white += on.pixelColor(x, y) == QColor(Qt::white);
    }
    EXPECT_GT(white, 50);
    if (const char* out = std::getenv("QVX_CONFIG_SHOTS")) on.save(QString::fromUtf8(out) + "/damaged.png");
}

}  // namespace
