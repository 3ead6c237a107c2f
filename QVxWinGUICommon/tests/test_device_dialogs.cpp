// Notification texts and message boxes, and the device selection dialog on the
// simulated units (QVPLUS_SIMULATED_UNITS lists their serial numbers).

#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinGUICommon/Device/QVxDevSelDlg.h"
#include "QVxWinGUICommon/Device/QVxNotificationImpl.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

std::string Gui(int id) {
    return std::string(QVxLoadGuiString(id));
}

TEST(NotificationTexts, CodeRangesAndLibraryCodes) {
    QVxNotificationImpl n;
    EXPECT_EQ(n.OnLoadResourceString(8, 0xEE03), Gui(25022));
    EXPECT_FALSE(Gui(25022).empty());
    EXPECT_EQ(n.OnLoadResourceString(8, 5), "[qvusb]Unknown error. code = 5");
    EXPECT_EQ(n.OnLoadResourceString(1500, 0), "");
    EXPECT_EQ(n.OnLoadResourceString(2, 0), "");
    EXPECT_EQ(n.OnLoadResourceString(0, 9), "");
    EXPECT_EQ(n.OnLoadResourceString(-3, 9), "");
    EXPECT_EQ(n.OnLoadResourceString(3000, 7), "Unknown error. code = 3000, sub code = 7");
    EXPECT_EQ(n.OnLoadResourceString(99, 4), "[devmgr]Unknown error. code = 99, sub code = 4");
    EXPECT_EQ(n.OnLoadResourceString(12, 0), Gui(25094));  // 25095 holds the same text
    EXPECT_EQ(n.OnLoadQVUSBErrorMessage(0xEE05), Gui(25024));
    // Code 1: the system's text for errno-style numbers (2: no such file).
    EXPECT_FALSE(n.OnLoadResourceString(1, 2).empty());
}

TEST(NotificationTexts, NotifyErrorShowsThePlainMessageBox) {
    QVxNotificationImpl n;
    QString shown;
    QTimer::singleShot(0, [&shown] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                shown = box->text();
                EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
                EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
                box->accept();
            }
        }
    });
    n.OnNotifyError(8, 0xEE02);  // returns once the box was closed
    EXPECT_EQ(shown.toStdString(), Gui(25021));
}

struct DevSelDlgTest : ::testing::Test {
    QVxDeviceManager manager{QVxDeviceManager::kAnalogCaptureMode, {}};
    void SetUp() override { QVxDevSelDlg::ResetDefaultPosition(); }
    void TearDown() override { ::unsetenv("QVPLUS_SIMULATED_UNITS"); }
    static void Units(const char* serials) { ::setenv("QVPLUS_SIMULATED_UNITS", serials, 1); }
};

TEST_F(DevSelDlgTest, NoUnitsKeepsOkDisabled) {
    Units("");
    QVxDevSelDlg dlg(&manager, "NAVO+の選択");
    auto* list = dlg.findChild<QTreeWidget*>(QVxWinGUI::ControlName(QVxDevSelDlg::kListId));
    auto* ok = dlg.findChild<QPushButton*>(QVxWinGUI::ControlName(QVxDevSelDlg::kOkId));
    ASSERT_TRUE(list && ok);
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_EQ(ok->text().toStdString(), Gui(25002));
    EXPECT_EQ(list->headerItem()->text(0), "ID");

    QVxDevSelDlg none(nullptr, "x");  // no manager: empty as well
    EXPECT_FALSE(none.findChild<QPushButton*>(QVxWinGUI::ControlName(QVxDevSelDlg::kOkId))->isEnabled());
}

TEST_F(DevSelDlgTest, ListsAnalogUnitsAndReturnsTheChosenOne) {
    Units("AN0001,TR0002,AN0003");
    QVxDevSelDlg dlg(&manager, "NAVO+の選択");
    auto* list = dlg.findChild<QTreeWidget*>(QVxWinGUI::ControlName(QVxDevSelDlg::kListId));
    auto* ok = dlg.findChild<QPushButton*>(QVxWinGUI::ControlName(QVxDevSelDlg::kOkId));
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "AN0001");
    EXPECT_EQ(list->topLevelItem(1)->text(0), "AN0003");
    EXPECT_FALSE(ok->isEnabled());

    list->topLevelItem(1)->setSelected(true);
    EXPECT_TRUE(ok->isEnabled());
    ok->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.GetSelectedDevID().id, L"AN0003");
    EXPECT_EQ(dlg.GetSelectedDevID().index, 2);

    // Refresh after a unit was unplugged: the selection is gone, OK disabled again.
    Units("AN0001");
    dlg.findChild<QPushButton*>(QVxWinGUI::ControlName(QVxDevSelDlg::kRefreshId))->click();
    EXPECT_EQ(list->topLevelItemCount(), 1);
    EXPECT_FALSE(ok->isEnabled());
}

TEST_F(DevSelDlgTest, DuplicateSerialShowsTheMessageAndListsNothing) {
    struct Recorder : QVxNotificationBase {
        std::vector<std::string> shown;
        void OnNotifyErrorMessage(const std::string& text) override { shown.push_back(text); }
    } recorder;
    QVxNotification::Set(&recorder);
    Units("AN0001,AN0001");
    QVxDevSelDlg dlg(&manager, "x");
    QVxNotification::Set(nullptr);
    EXPECT_EQ(dlg.findChild<QTreeWidget*>(QVxWinGUI::ControlName(QVxDevSelDlg::kListId))->topLevelItemCount(),
              0);
    ASSERT_EQ(recorder.shown.size(), 1u);
    EXPECT_EQ(recorder.shown[0], Gui(25094));
}

TEST_F(DevSelDlgTest, LaterDialogsReuseTheRememberedRectangle) {
    Units("");
    QRect moved;
    {
        QVxDevSelDlg first(&manager, "x");
        first.show();
        first.setGeometry(120, 90, 520, 330);
        moved = first.geometry();
        EXPECT_EQ(QVxDevSelDlg::DefaultPosition(), moved);
    }
    QVxDevSelDlg second(&manager, "x");
    second.show();
    EXPECT_EQ(second.geometry(), moved);
    // The buttons follow the size: Close keeps its distance to the right edge.
    auto* close = second.findChild<QPushButton*>(QVxWinGUI::ControlName(QVxDevSelDlg::kCloseId));
    EXPECT_EQ(second.width() - close->geometry().right(), 1 + 10);
}

}  // namespace
