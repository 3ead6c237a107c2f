// Marker strip texts and toggling; the track popup's nearest V/DIV entry and its
// changes written straight into the track's visual settings.

#include "QVxCore/Presenters/WaveformTrackPresenter.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxColorButton.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformMarkerSettingDlg.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformTrackSettingPopupDlg.h"
#include "QVxWinGUICommon/tests/dialog_test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using Marker = QVxWaveformMarkerSettingDlg;
using Popup = QVxWaveformTrackSettingPopupDlg;

struct MarkerStripTest : ::testing::Test {
    qvx::AnalogSettings settings;
    qvx::test::EmptyWaveformPresenter presenter{&settings.visualSettings, qvx::WaveformUsage::kGeneric};
    QVxWaveformMarkerSettingDlg strip;
    QCheckBox* Box(int id) { return strip.findChild<QCheckBox*>(QVxWinGUI::ControlName(id)); }
    QString Difference() {
        return strip.findChild<QLabel*>(QVxWinGUI::ControlName(Marker::kDifferenceLabelId))->text();
    }

    void SetUp() override {
        settings.visualSettings.timeUnit = qvx::TimeDisplayUnit::kMicroSecond;  // us
        settings.visualSettings.markers[0] = {true, 1'234'000, {}};
        settings.visualSettings.markers[1] = {false, 5'000'000, {}};
        strip.Setup(&presenter);
    }
};

TEST_F(MarkerStripTest, OnlyM1SetLeavesTheDifferenceEmpty) {
    EXPECT_EQ(Box(Marker::kCheckIds[0])->text(), "Marker1 (M1): 1,234 us");
    EXPECT_EQ(Box(Marker::kCheckIds[1])->text(), "Marker2 (M2): 5,000 us");
    EXPECT_EQ(Difference(), "");
    EXPECT_TRUE(Box(Marker::kCheckIds[0])->isChecked());
    EXPECT_FALSE(Box(Marker::kCheckIds[1])->isChecked());
    EXPECT_EQ(Box(Marker::kCheckIds[1])->size(), QSize(400, 16));
}

TEST_F(MarkerStripTest, TogglingAndMovingMarkersRefreshTheTexts) {
    Box(Marker::kCheckIds[1])->click();
    EXPECT_TRUE(settings.visualSettings.markers[1].enabled);
    EXPECT_EQ(Box(Marker::kCheckIds[1])->text(), "Marker2 (M2): 5,000 us");
    EXPECT_EQ(Difference(), "(M2-M1: 3,766 us)");

    presenter.SetMarkerTime(1, 1'000'000);  // before M1: a negative difference
    EXPECT_EQ(Box(Marker::kCheckIds[1])->text(), "Marker2 (M2): 1,000 us");
    EXPECT_EQ(Difference(), "(M2-M1: -234 us)");
    EXPECT_TRUE(strip.toolTip().endsWith("(M2-M1: -234 us)"));

    Box(Marker::kCheckIds[0])->click();
    EXPECT_FALSE(settings.visualSettings.markers[0].enabled);
    EXPECT_EQ(Difference(), "");
}

TEST_F(MarkerStripTest, AnalogUsageTakesTheUnitFromTheTimeScale) {
    qvx::test::EmptyWaveformPresenter analog{&settings.visualSettings, qvx::WaveformUsage::kAnalog};
    settings.visualSettings.markers[0].time = 3'000'000'000;
    analog.ResetViewportScale(100'000'000);  // 0.1 s per pixel: whole seconds
    strip.Setup(&analog);
    EXPECT_EQ(Box(Marker::kCheckIds[0])->text(), "Marker1 (M1): 3 s");
    analog.ResetViewportScale(10);  // 10 ns per pixel
    EXPECT_NE(Box(Marker::kCheckIds[0])->text(), "Marker1 (M1): 3 s");
}

TEST(TrackPopup, NearestScalingEntry) {
    const auto label = [](double scaling) {
        return Popup::kScalings[Popup::NearestScalingIndex(scaling)].label;
    };
    EXPECT_STREQ(label(0.0625), "12.5%");
    EXPECT_STREQ(label(0.1875), "12.5%");  // half way: the earlier entry
    EXPECT_STREQ(label(3.0), "200%");
    EXPECT_STREQ(label(1.01), "100%");
    EXPECT_STREQ(label(64.0), "6400%");
    EXPECT_STREQ(label(1000.0), "6400%");
}

struct TrackPopupTest : ::testing::Test {
    qvx::AnalogSettings settings;
    qvx::test::EmptyWaveformPresenter presenter{&settings.visualSettings};
    qvx::WaveformTrackVisualSettings& track = settings.visualSettings.tracks[1];
    int changed = 0;

    template <class T>
    static T* Ctrl(QWidget& popup, int id) {
        return popup.findChild<T*>(QVxWinGUI::ControlName(id));
    }
};

TEST_F(TrackPopupTest, LoadShowsTheTrackAndChangesApplyAtOnce) {
    track.name = L"電圧A";
    track.verticalScaling = 0.0625;
    track.verticalResolutionOffset = 0.5;
    track.backgroundColor = qvx::Color::FromRgba32(0x00FFFFFF);  // unset
    Popup popup(1);
    QObject::connect(&popup, &Popup::TrackSettingsChanged, [this] { ++changed; });
    popup.Load(&presenter.Track(1));

    auto* scaling = Ctrl<QComboBox>(popup, Popup::kScalingId);
    ASSERT_NE(scaling, nullptr);
    EXPECT_EQ(scaling->currentText(), "12.5%");
    auto* name = Ctrl<QLineEdit>(popup, Popup::kNameId);
    EXPECT_EQ(name->text(), QStringLiteral("電圧A"));
    EXPECT_EQ(changed, 0);  // loading writes nothing

    scaling->setCurrentIndex(5);  // 400 %: the offset shrinks by the change ratio
    EXPECT_DOUBLE_EQ(track.verticalScaling, 4.0);
    EXPECT_DOUBLE_EQ(track.verticalResolutionOffset, 0.5 / 64.0);
    EXPECT_EQ(changed, 1);

    name->selectAll();
    QTest::keyClicks(name, "Vbat");
    EXPECT_EQ(track.name, L"Vbat");
    EXPECT_EQ(track.backgroundColor.a, 0);  // an untouched background stays unset

    // The automatic entry of the background button: the loaded colour, now set.
    auto* back = Ctrl<QVxColorButton>(popup, Popup::kBackColorId);
    back->Menu()->findChild<QAction*>("automatic")->trigger();
    EXPECT_EQ(track.backgroundColor, qvx::Color(255, 255, 255, 255));
    auto* line = Ctrl<QVxColorButton>(popup, Popup::kLineColorId);
    line->SetAutomaticColor(QColor(10, 20, 30));
    line->Menu()->findChild<QAction*>("automatic")->trigger();
    EXPECT_EQ(track.lineColor, qvx::Color(10, 20, 30, 255));
    EXPECT_GE(changed, 4);
}

TEST_F(TrackPopupTest, GenericUsageHasNoScalingRow) {
    Popup popup(0);
    popup.Load(&presenter.Track(0));
    EXPECT_EQ(Ctrl<QComboBox>(popup, Popup::kScalingId), nullptr);
    EXPECT_NE(Ctrl<QLineEdit>(popup, Popup::kNameId), nullptr);
    popup.Load(nullptr);  // no track: edits go nowhere
    QTest::keyClicks(Ctrl<QLineEdit>(popup, Popup::kNameId), "x");
    EXPECT_EQ(settings.visualSettings.tracks[0].name, L"Channel 1");
}

}  // namespace
