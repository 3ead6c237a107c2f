// Display trigger dialog: enabling by mode and slope, the controls showing the
// source channel's settings, and every control writing back through the presenter
// with the unit arithmetic of its field.

#include "QVxCore/Presenters/WaveformDisplayTriggerPresenter.h"
#include "QVxWinGUICommon/Common/QVxUnitValuePropertyField.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformDisplayTriggerDlg.h"
#include "QVxWinGUICommon/tests/dialog_test_support.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

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
        T* w = dlg.findChild<T*>(QStringLiteral("id%1").arg(id));
        EXPECT_NE(w, nullptr) << id;
        return w;
    }
    QVxUnitValuePropertyField* Field(int id) { return Ctrl<QVxUnitValuePropertyField>(id); }
    // Types `text` into a field's edit and submits it with Enter.
    void Enter(int fieldId, const QString& text) {
        auto* edit = Field(fieldId)->findChild<QLineEdit*>("id101");
        ASSERT_NE(edit, nullptr);
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    void ChooseUnit(int fieldId, int index) {
        Field(fieldId)->findChild<QComboBox*>("id102")->setCurrentIndex(index);
    }
};

constexpr int kBelowModes[] = {1026, 1017, 1025, 1031, 1036, 1037, 1024, 1033, 1027, 1028, 1029, 1030};
constexpr int kWidthControls[] = {1034, 1032, 1035, 1018};

TEST_F(DisplayTriggerDlgTest, EnablingFollowsModeAndSlope) {
    settings.displayTriggerMode = 0;
    settings.displayTriggerSettings[0].slope = 2;
    dlg.UpdateControls();
    for (int id : {1020, 1021, 1022}) EXPECT_TRUE(Ctrl(id)->isEnabled()) << id;
    for (int id : kBelowModes) EXPECT_FALSE(Ctrl(id)->isEnabled()) << id;
    for (int id : kWidthControls) EXPECT_FALSE(Ctrl(id)->isEnabled()) << id;
    EXPECT_TRUE(Ctrl<QPushButton>(1020)->isChecked());

    Ctrl<QPushButton>(1021)->click();  // Single
    EXPECT_EQ(settings.displayTriggerMode, 1);
    for (int id : kBelowModes) EXPECT_TRUE(Ctrl(id)->isEnabled()) << id;
    for (int id : kWidthControls) EXPECT_TRUE(Ctrl(id)->isEnabled()) << id;

    Ctrl<QPushButton>(1027)->click();  // rising edge: no width, no comparison
    EXPECT_EQ(settings.displayTriggerSettings[0].slope, 0);
    for (int id : kWidthControls) EXPECT_FALSE(Ctrl(id)->isEnabled()) << id;
    EXPECT_TRUE(Ctrl<QPushButton>(1027)->isChecked());
    Ctrl<QPushButton>(1030)->click();  // low pulse width
    EXPECT_EQ(settings.displayTriggerSettings[0].slope, 3);
    for (int id : kWidthControls) EXPECT_TRUE(Ctrl(id)->isEnabled()) << id;
    Ctrl<QPushButton>(1022)->click();
    EXPECT_EQ(settings.displayTriggerMode, 2);
    EXPECT_TRUE(Ctrl<QPushButton>(1022)->isChecked());
    EXPECT_FALSE(Ctrl<QPushButton>(1021)->isChecked());
}

TEST_F(DisplayTriggerDlgTest, ShowsTheSourceChannelsSettings) {
    settings.visualSettings.tracks[2].name = L"電源";
    settings.displayTriggerMode = 1;
    settings.displayTriggerSourceChannel = 2;
    settings.displayTriggerPosition = 0.379;
    auto& s = settings.displayTriggerSettings[2];
    s.voltageLevel = 2500;
    s.voltageLevelDisplayUnit = 1;
    s.sensitivityCount = 12;
    s.slope = 1;
    s.edgeWidthTime = 3'000'000;
    s.edgeWidthTimeDisplayUnit = 2;
    s.widthEdgeComparison = 1;
    presenter.Setup(&waveform, &settings);  // raises the signal: the dialog refreshes

    auto* source = Ctrl<QComboBox>(1017);
    ASSERT_EQ(source->count(), 4);
    EXPECT_EQ(source->currentIndex(), 2);
    EXPECT_EQ(source->itemText(2), QStringLiteral("電源"));
    EXPECT_EQ(Field(1037)->DisplayText(), "37");  // truncated percentage
    EXPECT_EQ(Field(1031)->GetUnitId(), 1);
    EXPECT_EQ(Field(1031)->DisplayText(), "2500");
    EXPECT_EQ(Field(1033)->GetValue(), 12);
    EXPECT_TRUE(Ctrl<QPushButton>(1028)->isChecked());
    EXPECT_EQ(Field(1032)->GetUnitId(), 2);
    EXPECT_EQ(Field(1032)->DisplayText(), "3000");
    EXPECT_EQ(Ctrl<QComboBox>(1018)->currentIndex(), 1);
    EXPECT_EQ(Ctrl<QLabel>(1026)->text(), QStringLiteral("トリガーソース"));

    // A track renamed later shows up on the waveform presenter's ViewportChanged.
    settings.visualSettings.tracks[0].name = L"CH1 renamed";
    waveform.SetViewportBeginTimeOffset(0);
    EXPECT_EQ(source->itemText(0), "CH1 renamed");
}

TEST_F(DisplayTriggerDlgTest, EditsReachTheSettingsWithUnitArithmetic) {
    settings.displayTriggerMode = 1;
    settings.displayTriggerSettings[1].slope = 2;
    presenter.SetSourceChannel(1);
    auto& s = settings.displayTriggerSettings[1];

    ChooseUnit(1031, 0);  // V
    EXPECT_EQ(s.voltageLevelDisplayUnit, 0);
    Enter(1031, "3");
    EXPECT_EQ(s.voltageLevel, 3000);
    ChooseUnit(1031, 1);  // mV: the value stays, only the unit is stored
    EXPECT_EQ(s.voltageLevelDisplayUnit, 1);
    Enter(1031, "125");
    EXPECT_EQ(s.voltageLevel, 125);

    Enter(1037, "80");
    EXPECT_DOUBLE_EQ(settings.displayTriggerPosition, 0.8);
    Enter(1037, "250");  // above the field's range: 100 %
    EXPECT_DOUBLE_EQ(settings.displayTriggerPosition, 1.0);
    Enter(1033, "0");  // below the range: one sample
    EXPECT_EQ(s.sensitivityCount, 1);
    Enter(1033, "40");
    EXPECT_EQ(s.sensitivityCount, 40);

    ChooseUnit(1032, 2);  // us
    EXPECT_EQ(s.edgeWidthTimeDisplayUnit, 2);
    Enter(1032, "15");
    EXPECT_EQ(s.edgeWidthTime, 15'000);
    ChooseUnit(1032, 0);  // s
    Enter(1032, "2");
    EXPECT_EQ(s.edgeWidthTime, 2'000'000'000);
    Enter(1032, "3");  // 3 s is beyond the 32-bit ns limit: clamped
    EXPECT_EQ(s.edgeWidthTime, 2'147'483'647);

    Ctrl<QComboBox>(1018)->setCurrentIndex(1);
    EXPECT_EQ(s.widthEdgeComparison, 1);
    Ctrl<QComboBox>(1017)->setCurrentIndex(3);
    EXPECT_EQ(settings.displayTriggerSourceChannel, 3);
    // The controls now show channel 3, whose settings were not touched.
    EXPECT_EQ(Field(1033)->GetValue(), settings.displayTriggerSettings[3].sensitivityCount);
    EXPECT_EQ(s.sensitivityCount, 40);
}

// A pulse width or level between two whole units keeps its digits in every unit.
TEST_F(DisplayTriggerDlgTest, WidthAndLevelKeepTheirDecimals) {
    settings.displayTriggerMode = 1;
    auto& s = settings.displayTriggerSettings[0];
    s.slope = 2;
    s.edgeWidthTime = 300'000;
    s.edgeWidthTimeDisplayUnit = 1;  // ms
    s.voltageLevelDisplayUnit = 0;   // V
    s.voltageLevel = 1000;
    presenter.SetSourceChannel(0);
    EXPECT_EQ(Field(1032)->DisplayText(), "0.3");
    Enter(1032, "0.45");
    EXPECT_EQ(s.edgeWidthTime, 450'000);
    EXPECT_EQ(Field(1032)->DisplayText(), "0.45");
    Enter(1031, "1.5");
    EXPECT_EQ(s.voltageLevel, 1500);
    EXPECT_EQ(Field(1031)->DisplayText(), "1.5");
    Enter(1031, "x");
    EXPECT_EQ(s.voltageLevel, 1500);
    EXPECT_FALSE(Field(1031)->GetLastInputNote().isEmpty());
}

TEST_F(DisplayTriggerDlgTest, CorruptValuesDoNotEndTheProgram) {
    settings.displayTriggerMode = 7;
    settings.displayTriggerSettings[0].slope = 9;
    settings.displayTriggerPosition = 3.0;
    EXPECT_NO_THROW(dlg.UpdateControls());
    for (int id : {1020, 1021, 1022, 1027, 1028, 1029, 1030})
        EXPECT_FALSE(Ctrl<QPushButton>(id)->isChecked()) << id;
    EXPECT_EQ(Field(1037)->GetValue(), 100);

    CQVxWaveformDisplayTriggerDlg detached;  // no presenter: clicks do nothing
    EXPECT_NO_THROW(detached.findChild<QPushButton*>("id1021")->click());
}

}  // namespace
