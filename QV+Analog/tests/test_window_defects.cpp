// The window while its session changes under open popups and dialogs, the save-as
// refusals, help without a launcher, and readable text in every look (the contrast
// of text against its background measured in renders of the panes).

#include "QV+Analog/DataList/AnalogDataList.h"
#include "QV+Analog/DataList/CAnalogDataListPane.h"
#include "QV+Analog/DataList/CQVxAnalogDisplayTriggerListPane.h"
#include "QV+Analog/QVxAnalogAboutDlg.h"
#include "QV+Analog/QVxAnalogLooks.h"
#include "QV+Analog/QVxAnalogScopeView.h"
#include "QV+Analog/TracingStatus/CQVxAnalogTracingStatusDlg.h"
#include "QV+Analog/tests/app_fixture.h"
#include "QVxCore/Presenters/WaveformTrackPresenter.h"
#include "QVxWinGUICommon/Device/CQVxAnalogDeviceSelector.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformDisplayTriggerDlg.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformTrackSettingPopupDlg.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackArea.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackAreaWnd.h"

#include <QDockWidget>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>

namespace fs = std::filesystem;
using qvx::test::AppTest;
using qvx::test::SaveShot;

namespace {

// WCAG contrast ratio of two colours (1 to 21).
double Contrast(const QColor& a, const QColor& b) {
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The most frequent colour of the image: the background a text is drawn on.
QColor Dominant(const QImage& image) {
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) ++counts[image.pixel(x, y)];
    QRgb best = 0;
    int most = -1;
    for (const auto& [rgb, n] : counts)
        if (n > most) best = rgb, most = n;
    return QColor(best);
}

// The strongest contrast of any pixel against the background: a text's glyphs.
double TextContrast(const QImage& image) {
    const QColor background = Dominant(image);
    double best = 1.0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            best = std::max(best, Contrast(QColor(image.pixel(x, y)), background));
    return best;
}

QImage Render(QWidget* widget) {
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

class WindowDefectsTest : public AppTest {
protected:
    CQVxWaveformTrackAreaWnd* TrackArea() { return Frame().GetView()->GetMonitorWnd()->GetTrackAreaWnd(); }

    // The track popup edits a track of the presenter the window shows, or none.
    void ExpectNoStaleBinding(const char* step) {
        SCOPED_TRACE(step);
        auto* presenter = ViewModel().GetOscilloGraphViewModel();
        EXPECT_EQ(Frame().GetView()->GetMonitorWnd()->GetPresenter(), presenter);
        EXPECT_EQ(TrackArea()->GetGraphArea()->GetPresenter(), presenter);
        EXPECT_EQ(ViewModel().GetDisplayTriggerPresenter().GetWaveformPresenter(), presenter);
        if (auto* popup = TrackArea()->GetTrackSettingsDlg()) {
            qvx::WaveformTrackPresenter* track = popup->GetTrack();
            bool current = track == nullptr;
            for (std::size_t i = 0; presenter && i < presenter->TrackCount(); ++i)
                current |= track == &presenter->Track(i);
            EXPECT_TRUE(current) << "the popup keeps a track presenter of a replaced presenter";
        }
    }

    // Opens CH1's popup and types into its name field, as the user did.
    QLineEdit* OpenTrackPopupAndType() {
        TrackArea()->ShowTrackSettingsDlg(0, QRect(20, 20, 16, 16));
        auto* name = TrackArea()->GetTrackSettingsDlg()->findChild<QLineEdit*>(
            QVxWinGUI::ControlName(QVxWaveformTrackSettingPopupDlg::kNameId));
        name->setFocus();
        QTest::keyClicks(name, "x");
        return name;
    }
};

TEST_F(WindowDefectsTest, PopupsAndDialogsStayOpenThroughASessionChangeATraceStartAndALookChange) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitConnected());
    QLineEdit* name = OpenTrackPopupAndType();
    auto* selector = Frame().GetTracingStatusDlg()->findChild<CQVxAnalogDeviceSelector*>(
        QVxWinGUI::ControlName(CQVxAnalogTracingStatusDlg::kConnectId));
    ASSERT_NE(selector, nullptr);
    selector->click();
    QVxAnalogAboutDlg about(&Frame());
    about.show();
    ExpectNoStaleBinding("opened");

    // A trace start replaces the session and the presenter under the popup; the
    // name field still has the focus and takes keys.
    UseDemoDisplayTrigger();
    ASSERT_TRUE(ViewModel().StartTrace());
    ExpectNoStaleBinding("trace started");
    QTest::keyClicks(name, "abc");
    QTest::qWait(300);
    OpenTrackPopupAndType();
    ViewModel().StopTrace();
    ASSERT_TRUE(WaitIdle());
    ExpectNoStaleBinding("trace ended");
    QTest::keyClicks(name, "d");

    // Another session opened through the menu command.
    const fs::path saved = dir.Path() / "s1" / "s1.qvxa";
    fs::create_directories(saved.parent_path());
    ASSERT_TRUE(Frame().SaveSessionAs(QString::fromStdString(saved.string())));
    OpenTrackPopupAndType();
    selector->click();
    ASSERT_TRUE(Frame().OpenSession(QString::fromStdString(saved.string())));
    ExpectNoStaleBinding("session opened");
    QTest::keyClicks(name, "e");

    // Looks switched with everything open.
    OpenTrackPopupAndType();
    Frame().ApplyLook(QVxAnalogLooks::kBlack);
    ExpectNoStaleBinding("black look");
    QTest::keyClicks(name, "f");
    Frame().ApplyLook(QVxAnalogLooks::kStandard);
    ExpectNoStaleBinding("standard look");
    QApplication::processEvents();
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("|").toStdString();
}

// Single display trigger on the demo's CH4 pulses: once the trigger's window is
// complete the live view stays on it, the trigger's record at the trigger
// position, while the trace goes on.
TEST_F(WindowDefectsTest, ASingleTriggerFreezesTheLiveViewWithTheTriggerAtItsPosition) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitConnected());
    Frame().resize(1400, 900);
    Frame().show();
    qvx::test::UseDemoPulseTrigger(*ViewModel().GetSessionSettings(),
                                   qvx::QVxAnalogDisplayTriggerAnalyzer::kModeSingle);
    ASSERT_TRUE(ViewModel().StartTrace());
    auto* presenter = ViewModel().GetOscilloGraphViewModel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ViewModel().IsLiveDisplayHeld(); }, 20000));
    QTest::qWait(600);  // more batches and trace-timer repaints
    const auto offset = ViewModel().GetTriggerViewOffset();
    ASSERT_TRUE(offset.has_value());
    const auto& shown = presenter->GetPaintRenderData();
    const std::int64_t tpp = shown.GetTimeParPixel();
    EXPECT_EQ(shown.GetViewportBeginTimeOffset(), *offset - *offset % tpp);
    EXPECT_GT(shown.GetLastTime(), shown.GetViewportBeginTimeOffset() + shown.ViewportWidthTime())
        << "the trace went on past the held window";
    SaveShot(&Frame(), "live-view-held-on-trigger");
    ViewModel().StopTrace();
    ASSERT_TRUE(WaitIdle());
    SaveShot(&Frame(), "stored-view-after-trigger");
}

TEST_F(WindowDefectsTest, SaveAsRefusesAFolderWithAnotherReportAndNamesAFailedSave) {
    ASSERT_TRUE(Start());
    RecordTrace(300);
    const fs::path other = dir.Path() / "other";
    fs::create_directories(other / "repo");
    std::ofstream(other / "repo" / "00000000.DAT") << "another session's data";
    ASSERT_FALSE(Frame().SaveSessionAs(QString::fromStdString((other / "new.qvxa").string())));
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0], QString("このフォルダには以前のレポートデータが保存されているため、現在の"
                                           "レポートデータを保存できません。"));
    EXPECT_FALSE(fs::exists(other / "new.qvxa"));
    EXPECT_EQ(fs::file_size(other / "repo" / "00000000.DAT"), 22u);

    // A settings file that cannot be written: a folder stands where it belongs.
    const fs::path blocked = dir.Path() / "blocked" / "s.qvxa";
    fs::create_directories(blocked);
    prompts.messages.clear();
    ASSERT_FALSE(Frame().SaveSessionAs(QString::fromStdString(blocked.string())));
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0], QString("設定ファイルを保存できませんでした。"));

    // Saving the session again next to its own report is no refusal.
    const fs::path saved = dir.Path() / "mine" / "a.qvxa";
    fs::create_directories(saved.parent_path());
    prompts.messages.clear();
    ASSERT_TRUE(Frame().SaveSessionAs(QString::fromStdString(saved.string())));
    ASSERT_TRUE(Frame().OpenSession(QString::fromStdString(saved.string())));
    EXPECT_TRUE(Frame().SaveSessionAs(QString::fromStdString((saved.parent_path() / "b.qvxa").string())));
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("|").toStdString();
}

TEST_F(WindowDefectsTest, HelpWithoutALauncherTellsTheUserWhereThePageIs) {
    ASSERT_TRUE(Start());
    const fs::path page = dir.Path() / "QVPlus-Analog-Help.html";
    std::ofstream(page) << "<html></html>";
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (dir.Path() / "no-launchers").c_str(), 1);
    Frame().OpenHelpFile(QString::fromStdString(page.string()));
    ::setenv("PATH", path.c_str(), 1);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].startsWith("ヘルプを表示できませんでした。"))
        << prompts.messages[0].toStdString();
    EXPECT_TRUE(prompts.messages[0].endsWith(QString::fromStdString(page.string())));
}

// Every look, switched to from the dark one: the lists' empty areas and bars are
// in the look's own colours and every text stands out from its background.
TEST_F(WindowDefectsTest, EveryLookGivesReadableTextInEveryPane) {
    ASSERT_TRUE(Start());
    RecordTrace(300);
    Frame().resize(1400, 900);
    Frame().show();
    auto* selector = Frame().GetTracingStatusDlg()->findChild<CQVxAnalogDeviceSelector*>(
        QVxWinGUI::ControlName(CQVxAnalogTracingStatusDlg::kConnectId));
    CAnalogDataListPane* dataPane = Frame().GetDataListPane();
    CQVxAnalogDisplayTriggerListPane* triggerPane = Frame().GetDisplayTriggerListPane();
    for (const int look : {209, 210, 215, 216, 217, 218, 219}) {
        SCOPED_TRACE(look);
        Frame().ApplyLook(QVxAnalogLooks::kBlack);
        QApplication::processEvents();
        Frame().ApplyLook(look);
        QApplication::processEvents();
        const bool dark = QVxAnalogLooks::IsDarkLook(look);

        // The lists' empty areas (below the few hits; right of the data list's
        // columns, where its own bar strip is), their headers and the pane's bar:
        // all in the look's own light or dark colours, every text readable.
        auto expectLookColours = [&](QWidget* widget, QPoint at, const char* what) {
            const QImage image = Render(widget);
            const QColor empty(image.pixel(at.x() < 0 ? image.width() + at.x() : at.x(),
                                           at.y() < 0 ? image.height() + at.y() : at.y()));
            EXPECT_EQ(empty.lightness() < 128, dark) << what << " " << empty.name().toStdString();
            EXPECT_GE(TextContrast(image), 4.5) << what;
        };
        CQVxAnalogDisplayTriggerList* hits = triggerPane->GetList();
        AnalogDataList* records = dataPane->GetList();
        expectLookColours(hits, QPoint(hits->width() / 2, -8), "hit list empty area");
        expectLookColours(hits->horizontalHeader(), QPoint(-4, 4), "hit list header");
        expectLookColours(records, QPoint(-4, records->height() / 2), "data list right strip");
        expectLookColours(records->horizontalHeader(), QPoint(-4, 4), "data list header");
        const QImage bar = Render(dataPane->GetVerticalBar());
        EXPECT_EQ(Dominant(bar).lightness() < 128, dark) << "bar " << Dominant(bar).name().toStdString();

        // The device selector's id and state on its state background.
        const QImage device = Render(selector);
        const QImage text = device.copy(40, 2, device.width() - 70, device.height() - 4);
        EXPECT_GE(TextContrast(text), 4.5) << "device selector";

        if (look == 210) {
            SaveShot(&Frame(), "look-standard-after-black");
            SaveShot(selector, "device-selector-standard");
        }
        if (look == 216) {
            SaveShot(&Frame(), "look-black");
            SaveShot(selector, "device-selector-black");
        }
    }
}

}  // namespace

// The session dialogs start in the folder of the session shown, or of the last one saved or
// opened while the shown recording has no folder of its own yet.
TEST_F(AppTest, TheOpenAndSaveDialogsStartInTheSessionsFolder) {
    ASSERT_TRUE(Start());
    RecordTrace(300);
    const fs::path saved = dir.Path() / "first" / "first.qvxa";
    fs::create_directories(saved.parent_path());
    prompts.paths.push_back(QString::fromStdString(saved.string()));
    ASSERT_TRUE(Frame().SaveSessionAs());
    EXPECT_EQ(prompts.dialogFolders, QStringList{QString()});  // nothing to go by yet

    const QString folder = QString::fromStdString(saved.parent_path().string());
    EXPECT_FALSE(Frame().OpenSession());  // cancelled
    EXPECT_FALSE(Frame().SaveSessionAs());
    EXPECT_EQ(prompts.dialogFolders, (QStringList{QString(), folder, folder}));

    // A new recording lives in the cache folder until it is saved: the last session's folder.
    RecordTrace(300);
    ASSERT_TRUE(ViewModel().HasUnsavedRecording());
    EXPECT_FALSE(Frame().SaveSessionAs());
    EXPECT_EQ(prompts.dialogFolders.back(), folder);
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("|").toStdString();
}
