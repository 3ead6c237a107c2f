// Display trigger dialog: enabling by mode and slope, the controls showing the
// source channel's settings, and every control writing back through the presenter
// with the unit arithmetic of its field.

#include "QVxCore/Presenters/WaveformDisplayTriggerPresenter.h"
#include "QVxWinGUICommon/Common/QVxUnitValuePropertyField.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformDisplayTriggerDlg.h"
#include "QVxWinGUICommon/tests/dialog_test_support.h"
#include "QVxWinGUICommon/tests/text_fit_support.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace {

using Dlg = CQVxWaveformDisplayTriggerDlg;

struct DisplayTriggerDlgTest : ::testing::Test {
    qvx::AnalogSettings settings;
    qvx::test::EmptyWaveformPresenter waveform{&settings.visualSettings};
    qvx::WaveformDisplayTriggerPresenter presenter;
    CQVxWaveformDisplayTriggerDlg dlg;

    void SetUp() override {
        presenter.Setup(&waveform, &settings);
        dlg.Setup(&presenter);
    }
    template <class T = QWidget>
    T* Ctrl(int id) {
        T* w = dlg.findChild<T*>(QVxWinGUI::ControlName(id));
        EXPECT_NE(w, nullptr) << id;
        return w;
    }
    QVxUnitValuePropertyField* Field(int id) { return Ctrl<QVxUnitValuePropertyField>(id); }
    // Types `text` into a field's edit and submits it with Enter.
    void Enter(int fieldId, const QString& text) {
        auto* edit =
            Field(fieldId)->findChild<QLineEdit*>(QVxWinGUI::ControlName(QVxUnitValuePropertyField::kEditId));
        ASSERT_NE(edit, nullptr);
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    void ChooseUnit(int fieldId, int index) {
        Field(fieldId)
            ->findChild<QComboBox*>(QVxWinGUI::ControlName(QVxUnitValuePropertyField::kUnitListId))
            ->setCurrentIndex(index);
    }
};

constexpr int kBelowModes[] = {
    Dlg::kSourceLabelId,   Dlg::kSourceId,    Dlg::kLevelLabelId,       Dlg::kLevelId,
    Dlg::kPositionLabelId, Dlg::kPositionId,  Dlg::kSensitivityLabelId, Dlg::kSensitivityId,
    Dlg::kSlopeIds[0],     Dlg::kSlopeIds[1], Dlg::kSlopeIds[2],        Dlg::kSlopeIds[3]};
constexpr int kWidthControls[] = {Dlg::kWidthLabelId, Dlg::kWidthId, Dlg::kComparisonLabelId,
                                  Dlg::kComparisonId};

TEST_F(DisplayTriggerDlgTest, EnablingFollowsModeAndSlope) {
    settings.displayTriggerMode = qvx::DisplayTriggerMode::kNone;
    settings.displayTriggerSettings[0].slope = qvx::TriggerSlope::kHighWidth;
    dlg.UpdateControls();
    for (int id : {Dlg::kModeIds[0], Dlg::kModeIds[1], Dlg::kModeIds[2]})
        EXPECT_TRUE(Ctrl(id)->isEnabled()) << id;
    for (int id : kBelowModes) EXPECT_FALSE(Ctrl(id)->isEnabled()) << id;
    for (int id : kWidthControls) EXPECT_FALSE(Ctrl(id)->isEnabled()) << id;
    EXPECT_TRUE(Ctrl<QPushButton>(Dlg::kModeIds[0])->isChecked());

    Ctrl<QPushButton>(Dlg::kModeIds[1])->click();  // Single
    EXPECT_EQ(settings.displayTriggerMode, qvx::DisplayTriggerMode::kSingle);
    for (int id : kBelowModes) EXPECT_TRUE(Ctrl(id)->isEnabled()) << id;
    for (int id : kWidthControls) EXPECT_TRUE(Ctrl(id)->isEnabled()) << id;

    Ctrl<QPushButton>(Dlg::kSlopeIds[0])->click();  // rising edge: no width, no comparison
    EXPECT_EQ(settings.displayTriggerSettings[0].slope, qvx::TriggerSlope::kRising);
    for (int id : kWidthControls) EXPECT_FALSE(Ctrl(id)->isEnabled()) << id;
    EXPECT_TRUE(Ctrl<QPushButton>(Dlg::kSlopeIds[0])->isChecked());
    Ctrl<QPushButton>(Dlg::kSlopeIds[3])->click();  // low pulse width
    EXPECT_EQ(settings.displayTriggerSettings[0].slope, qvx::TriggerSlope::kLowWidth);
    for (int id : kWidthControls) EXPECT_TRUE(Ctrl(id)->isEnabled()) << id;
    Ctrl<QPushButton>(Dlg::kModeIds[2])->click();
    EXPECT_EQ(settings.displayTriggerMode, qvx::DisplayTriggerMode::kRepeat);
    EXPECT_TRUE(Ctrl<QPushButton>(Dlg::kModeIds[2])->isChecked());
    EXPECT_FALSE(Ctrl<QPushButton>(Dlg::kModeIds[1])->isChecked());
}

TEST_F(DisplayTriggerDlgTest, ShowsTheSourceChannelsSettings) {
    settings.visualSettings.tracks[2].name = L"電源";
    settings.displayTriggerMode = qvx::DisplayTriggerMode::kSingle;
    settings.displayTriggerSourceChannel = 2;
    settings.displayTriggerPosition = 0.379;
    auto& s = settings.displayTriggerSettings[2];
    s.voltageLevel = 2500;
    s.voltageLevelDisplayUnit = qvx::VoltageDisplayUnit::kMilliVolt;
    s.sensitivityCount = 12;
    s.slope = qvx::TriggerSlope::kFalling;
    s.edgeWidthTime = 3'000'000;
    s.edgeWidthTimeDisplayUnit = qvx::TimeDisplayUnit::kMicroSecond;
    s.widthEdgeComparison = qvx::WidthComparison::kOutside;
    presenter.Setup(&waveform, &settings);  // raises the signal: the dialog refreshes

    auto* source = Ctrl<QComboBox>(Dlg::kSourceId);
    ASSERT_EQ(source->count(), 4);
    EXPECT_EQ(source->currentIndex(), 2);
    EXPECT_EQ(source->itemText(2), QStringLiteral("電源"));
    EXPECT_EQ(Field(Dlg::kPositionId)->DisplayText(), "37");  // truncated percentage
    EXPECT_EQ(Field(Dlg::kLevelId)->GetUnitId(), 1);
    EXPECT_EQ(Field(Dlg::kLevelId)->DisplayText(), "2500");
    EXPECT_EQ(Field(Dlg::kSensitivityId)->GetValue(), 12);
    EXPECT_TRUE(Ctrl<QPushButton>(Dlg::kSlopeIds[1])->isChecked());
    EXPECT_EQ(Field(Dlg::kWidthId)->GetUnitId(), 2);
    EXPECT_EQ(Field(Dlg::kWidthId)->DisplayText(), "3000");
    EXPECT_EQ(Ctrl<QComboBox>(Dlg::kComparisonId)->currentIndex(), 1);
    EXPECT_EQ(Ctrl<QLabel>(Dlg::kSourceLabelId)->text(), QStringLiteral("トリガーソース"));

    // A track renamed later shows up on the waveform presenter's ViewportChanged.
    settings.visualSettings.tracks[0].name = L"CH1 renamed";
    waveform.SetViewportBeginTimeOffset(0);
    EXPECT_EQ(source->itemText(0), "CH1 renamed");
}

TEST_F(DisplayTriggerDlgTest, EditsReachTheSettingsWithUnitArithmetic) {
    settings.displayTriggerMode = qvx::DisplayTriggerMode::kSingle;
    settings.displayTriggerSettings[1].slope = qvx::TriggerSlope::kHighWidth;
    presenter.SetSourceChannel(1);
    auto& s = settings.displayTriggerSettings[1];

    ChooseUnit(Dlg::kLevelId, 0);  // V
    EXPECT_EQ(s.voltageLevelDisplayUnit, qvx::VoltageDisplayUnit::kVolt);
    Enter(Dlg::kLevelId, "3");
    EXPECT_EQ(s.voltageLevel, 3000);
    ChooseUnit(Dlg::kLevelId, 1);  // mV: the value stays, only the unit is stored
    EXPECT_EQ(s.voltageLevelDisplayUnit, qvx::VoltageDisplayUnit::kMilliVolt);
    Enter(Dlg::kLevelId, "125");
    EXPECT_EQ(s.voltageLevel, 125);

    Enter(Dlg::kPositionId, "80");
    EXPECT_DOUBLE_EQ(settings.displayTriggerPosition, 0.8);
    Enter(Dlg::kPositionId, "250");  // above the field's range: 100 %
    EXPECT_DOUBLE_EQ(settings.displayTriggerPosition, 1.0);
    Enter(Dlg::kSensitivityId, "0");  // below the range: one sample
    EXPECT_EQ(s.sensitivityCount, 1);
    Enter(Dlg::kSensitivityId, "40");
    EXPECT_EQ(s.sensitivityCount, 40);

    ChooseUnit(Dlg::kWidthId, 2);  // us
    EXPECT_EQ(s.edgeWidthTimeDisplayUnit, qvx::TimeDisplayUnit::kMicroSecond);
    Enter(Dlg::kWidthId, "15");
    EXPECT_EQ(s.edgeWidthTime, 15'000);
    ChooseUnit(Dlg::kWidthId, 0);  // s
    Enter(Dlg::kWidthId, "2");
    EXPECT_EQ(s.edgeWidthTime, 2'000'000'000);
    Enter(Dlg::kWidthId, "3");  // 3 s is beyond the 32-bit ns limit: clamped
    EXPECT_EQ(s.edgeWidthTime, 2'147'483'647);

    Ctrl<QComboBox>(Dlg::kComparisonId)->setCurrentIndex(1);
    EXPECT_EQ(s.widthEdgeComparison, qvx::WidthComparison::kOutside);
    Ctrl<QComboBox>(Dlg::kSourceId)->setCurrentIndex(3);
    EXPECT_EQ(settings.displayTriggerSourceChannel, 3);
    // The controls now show channel 3, whose settings were not touched.
    EXPECT_EQ(Field(Dlg::kSensitivityId)->GetValue(), settings.displayTriggerSettings[3].sensitivityCount);
    EXPECT_EQ(s.sensitivityCount, 40);
}

// A pulse width or level between two whole units keeps its digits in every unit.
TEST_F(DisplayTriggerDlgTest, WidthAndLevelKeepTheirDecimals) {
    settings.displayTriggerMode = qvx::DisplayTriggerMode::kSingle;
    auto& s = settings.displayTriggerSettings[0];
    s.slope = qvx::TriggerSlope::kHighWidth;
    s.edgeWidthTime = 300'000;
    s.edgeWidthTimeDisplayUnit = qvx::TimeDisplayUnit::kMilliSecond;  // ms
    s.voltageLevelDisplayUnit = qvx::VoltageDisplayUnit::kVolt;       // V
    s.voltageLevel = 1000;
    presenter.SetSourceChannel(0);
    EXPECT_EQ(Field(Dlg::kWidthId)->DisplayText(), "0.3");
    Enter(Dlg::kWidthId, "0.45");
    EXPECT_EQ(s.edgeWidthTime, 450'000);
    EXPECT_EQ(Field(Dlg::kWidthId)->DisplayText(), "0.45");
    Enter(Dlg::kLevelId, "1.5");
    EXPECT_EQ(s.voltageLevel, 1500);
    EXPECT_EQ(Field(Dlg::kLevelId)->DisplayText(), "1.5");
    Enter(Dlg::kLevelId, "x");
    EXPECT_EQ(s.voltageLevel, 1500);
    EXPECT_FALSE(Field(Dlg::kLevelId)->GetLastInputNote().isEmpty());
}

TEST_F(DisplayTriggerDlgTest, CorruptValuesDoNotEndTheProgram) {
    settings.displayTriggerMode = static_cast<qvx::DisplayTriggerMode>(7);
    settings.displayTriggerSettings[0].slope = static_cast<qvx::TriggerSlope>(9);
    settings.displayTriggerPosition = 3.0;
    EXPECT_NO_THROW(dlg.UpdateControls());
    for (int id : {Dlg::kModeIds[0], Dlg::kModeIds[1], Dlg::kModeIds[2], Dlg::kSlopeIds[0], Dlg::kSlopeIds[1],
                   Dlg::kSlopeIds[2], Dlg::kSlopeIds[3]})
        EXPECT_FALSE(Ctrl<QPushButton>(id)->isChecked()) << id;
    EXPECT_EQ(Field(Dlg::kPositionId)->GetValue(), 100);

    CQVxWaveformDisplayTriggerDlg detached;  // no presenter: clicks do nothing
    EXPECT_NO_THROW(detached.findChild<QPushButton*>(QVxWinGUI::ControlName(Dlg::kModeIds[1]))->click());
}

// Made narrower than its captions need (a narrow pane), the dialog keeps them whole:
// "トリガー感度(サンプル数)" lost its closing parenthesis to the fields' 120 pixels.
TEST_F(DisplayTriggerDlgTest, CaptionsStayWholeInANarrowDialog) {
    for (bool english : {false, true}) {
        std::optional<text_fit::ScopedEnglish> language;
        if (english) language.emplace();
        CQVxWaveformDisplayTriggerDlg narrow;
        narrow.resize(200, 300);
        narrow.show();
        QApplication::processEvents();
        EXPECT_GT(narrow.width(), 200);
        EXPECT_EQ(text_fit::ClippedTexts(narrow).join("; ").toStdString(), "") << "english " << english;
        auto* sensitivity = narrow.findChild<QLabel*>(QVxWinGUI::ControlName(Dlg::kSensitivityLabelId));
        ASSERT_NE(sensitivity, nullptr);
        EXPECT_GE(sensitivity->width(), sensitivity->fontMetrics().horizontalAdvance(sensitivity->text()));
    }
}

}  // namespace
