// Device selector button and popup on a scripted device list: state texts and
// colours, buttons enabled by the connection state, connect and disconnect.

#include "QVxWinGUICommon/Device/CQVxAnalogDeviceSelector.h"
#include "text_fit_support.h"

#include <QApplication>
#include <QImage>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Status = QVxDeviceConnectionStatus;

// A device list that records the commands it receives.
struct ScriptedDeviceList : IQVxDeviceSelectorModel {
    qvx::Signal<> changed;
    std::vector<QVxDeviceSelectorEntry> devices;
    int selected = -1;
    int connecting = -1;
    bool tracing = false;
    std::vector<std::string> calls;

    qvx::Signal<>& ChangedSignal() override { return changed; }
    std::vector<QVxDeviceSelectorEntry> Devices() const override { return devices; }
    int SelectedIndex() const override { return selected; }
    int ConnectingIndex() const override { return connecting; }
    bool IsTracing() const override { return tracing; }
    void SelectDevice(int i) override {
        calls.push_back("select " + std::to_string(i));
        selected = i;
        changed.Emit();
    }
    void StartConnection(int i) override {
        calls.push_back("connect " + std::to_string(i));
        connecting = i;
        devices[static_cast<std::size_t>(i)].status = Status::kConnecting;
        changed.Emit();
    }
    void Disconnect(int i) override {
        calls.push_back("disconnect " + std::to_string(i));
        devices[static_cast<std::size_t>(i)].status = Status::kDisconnected;
        connecting = -1;
        changed.Emit();
    }
};

struct DeviceSelectorTest : ::testing::Test {
    ScriptedDeviceList model;
    CQVxAnalogDeviceSelector selector;

    void SetUp() override {
        model.devices = {{L"AN0001", Status::kDisconnected}, {L"AN0002", Status::kDisconnected}};
        selector.Setup(&model);
    }
    CQVxAnalogDeviceSelectorPopupDlg* OpenPopup() {
        selector.click();
        return selector.Popup();
    }
    template <class T = QWidget>
    static T* Child(QWidget* w, const char* name) {
        return w->findChild<T*>(QString::fromLatin1(name));
    }
};

TEST_F(DeviceSelectorTest, ButtonShowsTheSelectedUnitAndItsState) {
    EXPECT_EQ(selector.DeviceIdText(), "");  // nothing selected: background and arrow only
    model.SelectDevice(1);
    EXPECT_EQ(selector.DeviceIdText(), "AN0002");
    EXPECT_EQ(selector.StatusText(), QStringLiteral("未接続"));
    const QColor idle = selector.BackgroundColor();
    model.devices[1].status = Status::kConnecting;
    EXPECT_EQ(selector.StatusText(), QStringLiteral("接続中"));
    model.devices[1].status = Status::kConnected;
    EXPECT_EQ(selector.StatusText(), QStringLiteral("準備完了"));
    const QColor connected = selector.BackgroundColor();
    model.tracing = true;
    EXPECT_NE(idle, connected);
    EXPECT_NE(selector.BackgroundColor(), connected);
    EXPECT_FALSE(selector.grab().isNull());
}

TEST_F(DeviceSelectorTest, ConnectedUnitLeavesOnlyDisconnect) {
    model.selected = 0;
    model.connecting = 0;
    model.devices[0].status = Status::kConnected;
    auto* popup = OpenPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_FALSE(Child<QPushButton>(popup, "connect")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(popup, "disconnect")->isEnabled());
    EXPECT_FALSE(Child(popup, "deviceList")->isEnabled());

    Child<QPushButton>(popup, "disconnect")->click();
    EXPECT_EQ(model.calls, std::vector<std::string>{"disconnect 0"});
    EXPECT_FALSE(popup->isVisible());
    // The same popup is reused and follows the new state.
    EXPECT_EQ(OpenPopup(), popup);
    EXPECT_TRUE(Child<QPushButton>(popup, "connect")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(popup, "disconnect")->isEnabled());
}

TEST_F(DeviceSelectorTest, ConnectDropsAConnectingUnitFirst) {
    model.selected = 0;
    model.connecting = 0;
    model.devices[0].status = Status::kConnecting;
    auto* popup = OpenPopup();
    auto* list = Child<CQVxFlexListBox>(popup, "deviceList");
    ASSERT_EQ(list->count(), 2);
    list->setCurrentRow(1);  // selecting an item selects the unit
    ASSERT_EQ(model.calls, std::vector<std::string>{"select 1"});
    Child<QPushButton>(popup, "connect")->click();
    EXPECT_EQ(model.calls, (std::vector<std::string>{"select 1", "select 1", "disconnect 0", "connect 1"}));
    EXPECT_EQ(selector.StatusText(), QStringLiteral("接続中"));
    EXPECT_FALSE(popup->isVisible());
}

// The English state texts tell connecting, connected and not connected apart (the
// connecting text said "Connected").
TEST_F(DeviceSelectorTest, EnglishStateTextsNameEachState) {
    text_fit::ScopedEnglish english;
    model.SelectDevice(0);
    EXPECT_EQ(selector.StatusText(), QStringLiteral("Not connected"));
    model.devices[0].status = Status::kConnecting;
    EXPECT_EQ(selector.StatusText(), QStringLiteral("Connecting"));
    model.devices[0].status = Status::kConnected;
    EXPECT_EQ(selector.StatusText(), QStringLiteral("Ready"));
}

// A selector at the bottom of the screen opens its list above itself, on the screen.
TEST_F(DeviceSelectorTest, PopupStaysOnTheScreen) {
    const QRect screen = selector.screen()->availableGeometry();
    selector.resize(selector.sizeHint());
    selector.move(screen.right() - selector.width() + 1, screen.bottom() - selector.height() + 1);
    selector.show();
    QApplication::processEvents();
    auto* popup = OpenPopup();
    ASSERT_NE(popup, nullptr);
    const QRect shown(popup->pos(), popup->size());
    EXPECT_TRUE(screen.contains(shown)) << shown.x() << "," << shown.y();
    EXPECT_LE(shown.bottom(), selector.mapToGlobal(QPoint(0, 0)).y());  // above the button
    QTest::keyClick(popup, Qt::Key_Escape);                             // Escape closes it
    EXPECT_FALSE(popup->isVisible());
}

// Pixels of `image` inside `area` within a small distance of `colour`.
int PixelsNear(const QImage& image, const QRect& area, const QColor& colour) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                    std::abs(c.blue() - colour.blue()) <
                40)
                ++count;
        }
    }
    return count;
}

// While connected the list is disabled, yet the selected (connected) unit's id is drawn
// in the highlighted-text colour on the highlight, not in the disabled grey.
TEST_F(DeviceSelectorTest, ConnectedUnitsIdKeepsTheHighlightedTextColour) {
    model.selected = 0;
    model.connecting = 0;
    model.devices[0].status = Status::kConnected;
    auto* popup = OpenPopup();
    ASSERT_NE(popup, nullptr);
    auto* list = Child<CQVxFlexListBox>(popup, "deviceList");
    ASSERT_FALSE(list->isEnabled());
    QApplication::processEvents();
    const QImage shot = list->viewport()->grab().toImage();
    const QRect row = list->visualRect(list->model()->index(0, 0));
    // The id's text, right of the 24-pixel icon.
    const QRect text(row.left() + 8 + 24 + 16, row.top() + 4, row.width() - 8 - 24 - 16 - 4,
                     row.height() - 8);
    const QPalette& pal = list->palette();
    EXPECT_GT(PixelsNear(shot, text, pal.color(QPalette::Active, QPalette::HighlightedText)), 5);
    EXPECT_EQ(PixelsNear(shot, text, pal.color(QPalette::Disabled, QPalette::Text)), 0);
}

}  // namespace
