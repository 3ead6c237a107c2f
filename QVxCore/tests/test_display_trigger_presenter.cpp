// Display trigger presenter: setters reach the session's settings (the source
// channel's for the per-channel values), refuse values out of range and without
// settings, and raise one SettingsChanged per change even when a handler writes back.

#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Presenters/WaveformDisplayTriggerPresenter.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using qvx::AnalogSettings;
using qvx::WaveformDisplayTriggerPresenter;

struct DisplayTriggerPresenterTest : ::testing::Test {
    AnalogSettings settings;
    WaveformDisplayTriggerPresenter presenter;
    int raised = 0;
    std::shared_ptr<qvx::SignalConnection> conn;

    void SetUp() override {
        presenter.Setup(nullptr, &settings);
        conn = presenter.SettingsChanged.Connect([this] { ++raised; });
    }
};

TEST_F(DisplayTriggerPresenterTest, PerChannelValuesGoToTheSourceChannelOnly) {
    presenter.SetSourceChannel(2);
    presenter.SetSlope(qvx::TriggerSlope::kLowWidth);
    presenter.SetLevel(-1500);
    presenter.SetLevelUnit(qvx::VoltageDisplayUnit::kVolt);
    presenter.SetSensitivity(7);
    presenter.SetWidth(2'500'000);
    presenter.SetWidthUnit(qvx::TimeDisplayUnit::kMicroSecond);
    presenter.SetComparison(qvx::WidthComparison::kOutside);
    EXPECT_EQ(raised, 8);

    const auto& s = settings.displayTriggerSettings[2];
    EXPECT_EQ(s.slope, qvx::TriggerSlope::kLowWidth);
    EXPECT_EQ(s.voltageLevel, -1500);
    EXPECT_EQ(s.voltageLevelDisplayUnit, qvx::VoltageDisplayUnit::kVolt);
    EXPECT_EQ(s.sensitivityCount, 7);
    EXPECT_EQ(s.edgeWidthTime, 2'500'000);
    EXPECT_EQ(s.edgeWidthTimeDisplayUnit, qvx::TimeDisplayUnit::kMicroSecond);
    EXPECT_EQ(s.widthEdgeComparison, qvx::WidthComparison::kOutside);
    const qvx::AnalogDisplayTriggerSettings defaults;
    for (int ch : {0, 1, 3}) EXPECT_EQ(settings.displayTriggerSettings[ch], defaults) << ch;
    EXPECT_EQ(presenter.GetSourceSettings(), &settings.displayTriggerSettings[2]);
}

TEST_F(DisplayTriggerPresenterTest, GlobalValuesAndRefusals) {
    presenter.SetMode(qvx::DisplayTriggerMode::kRepeat);
    presenter.SetPosition(0.25);
    EXPECT_EQ(settings.displayTriggerMode, qvx::DisplayTriggerMode::kRepeat);
    EXPECT_DOUBLE_EQ(settings.displayTriggerPosition, 0.25);
    EXPECT_EQ(raised, 2);

    const AnalogSettings before = settings;
    presenter.SetMode(static_cast<qvx::DisplayTriggerMode>(3));
    presenter.SetMode(static_cast<qvx::DisplayTriggerMode>(-1));
    presenter.SetSourceChannel(4);
    presenter.SetSourceChannel(-1);
    presenter.SetPosition(1.5);
    presenter.SetPosition(std::numeric_limits<double>::quiet_NaN());
    presenter.SetSlope(static_cast<qvx::TriggerSlope>(4));
    presenter.SetLevelUnit(static_cast<qvx::VoltageDisplayUnit>(2));
    presenter.SetSensitivity(0);
    presenter.SetWidth(0);
    presenter.SetWidthUnit(static_cast<qvx::TimeDisplayUnit>(4));
    presenter.SetComparison(static_cast<qvx::WidthComparison>(2));
    EXPECT_EQ(settings, before);
    EXPECT_EQ(raised, 2);
}

TEST_F(DisplayTriggerPresenterTest, WithoutSettingsNothingIsWritten) {
    presenter.Setup(nullptr, nullptr);
    const int afterSetup = raised;
    EXPECT_EQ(presenter.GetSourceSettings(), nullptr);
    presenter.SetMode(qvx::DisplayTriggerMode::kSingle);
    presenter.SetSlope(qvx::TriggerSlope::kFalling);
    presenter.SetLevel(10);
    EXPECT_EQ(raised, afterSetup);
    EXPECT_EQ(settings.displayTriggerMode, qvx::DisplayTriggerMode::kNone);
}

TEST_F(DisplayTriggerPresenterTest, HandlerWritingBackStartsNoSecondRound) {
    // A dialog refreshing its controls writes the values back; that must store
    // them but not recurse into another notification.
    auto writeBack = presenter.SettingsChanged.Connect([this] {
        presenter.SetPosition(0.75);
        presenter.SetSlope(qvx::TriggerSlope::kFalling);
    });
    presenter.SetMode(qvx::DisplayTriggerMode::kSingle);
    EXPECT_EQ(raised, 1);
    EXPECT_DOUBLE_EQ(settings.displayTriggerPosition, 0.75);
    EXPECT_EQ(settings.displayTriggerSettings[0].slope, qvx::TriggerSlope::kFalling);
    presenter.SetMode(qvx::DisplayTriggerMode::kRepeat);  // the flag is cleared again afterwards
    EXPECT_EQ(raised, 2);
}

TEST_F(DisplayTriggerPresenterTest, MarkListVisibility) {
    int listChanged = 0;
    auto c = presenter.MarkListChanged.Connect([&] { ++listChanged; });
    presenter.SetMarkList({{1, true, qvx::Color(255, 0, 0), 100}, {2, true, qvx::Color(0, 255, 0), 200}});
    presenter.SetMarkVisible(2, false);
    presenter.SetMarkVisible(2, false);  // no change, no signal
    presenter.SetMarkVisible(9, false);  // unknown id: refused
    EXPECT_EQ(listChanged, 2);
    ASSERT_EQ(presenter.GetMarkList().size(), 2u);
    EXPECT_TRUE(presenter.GetMarkList()[0].visible);
    EXPECT_FALSE(presenter.GetMarkList()[1].visible);
}

}  // namespace
