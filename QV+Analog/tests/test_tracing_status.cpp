// Tracing status form: checks before a start, storing the form, the range lists,
// controls per trace and device state, the settings button, and a trace started
// and stopped through the button with the simulated unit.

#include "QV+Analog/TracingStatus/CQVxAnalogTracingStatusDlg.h"
#include "QV+Analog/TracingStatus/CTracePane.h"
#include "QV+Analog/tests/app_test_support.h"
#include "QV+AnalogCore/QVxAppStrings.h"
#include "QV+AnalogCore/tests/analog_view_model_test_support.h"
#include "QVxCore/Archive.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/tests/text_fit_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimeEdit>

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <thread>

// Readable failure output for texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

using Dlg = CQVxAnalogTracingStatusDlg;

constexpr std::uintmax_t kMiB = 1'048'576;

QString AppString(int id) {
    const std::string_view text = QVxLoadAppString(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// With QVX_SCREENSHOT_DIR set, saves `widget` there as NAME.png for a look.
void SaveScreenshot(QWidget& widget, const char* name) {
    const QByteArray folder = qgetenv("QVX_SCREENSHOT_DIR");
    if (folder.isEmpty()) return;
    widget.grab().save(QString::fromLocal8Bit(folder) + QLatin1Char('/') + QLatin1String(name) + ".png");
}

class TracingStatusTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QVPLUS_TEMP_DIR", dir.Path().c_str(), 1);
        ::setenv("QVPLUS_SIM_FAULTS", "", 1);
        ::setenv("QVPLUS_SIM_SPEED", "", 1);
        ::setenv("QVPLUS_SIM_SIGNAL", "demo", 1);
        ::setenv("QVPLUS_SIMULATED_UNITS", "", 1);  // no unit until a test lists one
        qvx::Interaction::Init(&interaction);
        auto repair = qvx::AnalogEnvData::MakeCacheFolderRepair(
            [](const std::filesystem::path&) { return std::optional<std::filesystem::path>(); });
        ASSERT_TRUE(viewModel.Init(&env, repair, {QVX_TEST_BITSTREAM}));
        sessionChanges = viewModel.SessionChanged.Connect([this] { ++sessionChangeCount; });
    }

    void TearDown() override {
        dlg.reset();
        viewModel.Shutdown();
        QCoreApplication::processEvents();
        qvx::Interaction::Clear();
        ::unsetenv("QVPLUS_TEMP_DIR");
        ::unsetenv("QVPLUS_SIMULATED_UNITS");
    }

    CQVxAnalogTracingStatusDlg& MakeDialog() {
        dlg = std::make_unique<CQVxAnalogTracingStatusDlg>(viewModel);
        dlg->resize(320, 720);
        dlg->SetFreeSpaceQuery([this](const std::filesystem::path&) { return freeSpace; });
        return *dlg;
    }

    template <typename W>
    W* Find(int id) const {
        W* w = dlg->findChild<W*>(QVxWinGUI::ControlName(id));
        EXPECT_NE(w, nullptr) << id;
        return w;
    }

    // Lists the simulated units; with exactly one the list connects it at once.
    void ListUnits(const char* units) {
        ::setenv("QVPLUS_SIMULATED_UNITS", units, 1);
        auto& devices = *viewModel.GetDeviceManagerViewModel();
        devices.RefreshDeviceList();
        devices.JoinConnectionThread();
        QCoreApplication::processEvents();
    }

    template <typename Pred>
    bool WaitFor(Pred pred, std::chrono::seconds limit = std::chrono::seconds(120)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > end) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    qvx::AnalogSettings& Settings() { return *viewModel.GetSessionSettings(); }

    qvx::test::TempDir dir{"tracing"};
    qvx::test::RecordingPrompts prompts;
    qvx::test::ScopedPrompts scopedPrompts{prompts};
    qvx::test::InlineInteraction interaction;
    qvx::AnalogEnvData env;
    QVxAnalogViewModel viewModel;
    std::shared_ptr<qvx::SignalConnection> sessionChanges;
    int sessionChangeCount = 0;
    std::optional<std::uintmax_t> freeSpace = 100 * kMiB;
    std::unique_ptr<CQVxAnalogTracingStatusDlg> dlg;
};

TEST_F(TracingStatusTest, DataVolumeLimitMustStayBelowTheFreeSpaceAndBeAtLeastOneMiB) {
    MakeDialog();
    auto* box = Find<QCheckBox>(Dlg::kStopBySizeId);
    auto* limit = Find<QLineEdit>(Dlg::kStopSizeId);
    box->setChecked(true);

    limit->setText(QStringLiteral("100"));  // exactly the free space
    EXPECT_FALSE(dlg->Verify());
    ASSERT_EQ(prompts.messages.size(), 1);
    const QString over = AppString(kAppStringDataSizeOverFreeSpace);
    EXPECT_TRUE(prompts.messages[0].startsWith(over.left(over.indexOf(QStringLiteral("%s")))));
    EXPECT_FALSE(prompts.messages[0].contains(QStringLiteral("%s")));
    EXPECT_EQ(dlg->focusWidget(), limit);

    limit->setText(QStringLiteral("99"));
    EXPECT_TRUE(dlg->Verify());

    for (const char* text : {"0", ""}) {
        prompts.messages.clear();
        limit->setText(QString::fromLatin1(text));
        EXPECT_FALSE(dlg->Verify()) << text;
        EXPECT_EQ(prompts.messages, QStringList{AppString(kAppStringStopDataSizeTooSmall)}) << text;
    }

    // A failing free-space query refuses the start without a box (it is logged).
    prompts.messages.clear();
    freeSpace.reset();
    limit->setText(QStringLiteral("1"));
    EXPECT_FALSE(dlg->Verify());
    EXPECT_TRUE(prompts.messages.isEmpty());

    // The limit of an automatic stop that is off does not hold the start back.
    box->setChecked(false);
    limit->setText(QStringLiteral("0"));
    EXPECT_TRUE(dlg->Verify());

    // A refused start stores nothing and starts nothing.
    box->setChecked(true);
    const int before = sessionChangeCount;
    dlg->OnBnClickedStartStop();
    EXPECT_EQ(sessionChangeCount, before);
    EXPECT_EQ(viewModel.GetTraceState(), QVxAnalogViewModel::kIdle);
}

TEST_F(TracingStatusTest, RotationTimeMustBePositiveAndWithinTheFrequencysMaximum) {
    MakeDialog();
    auto* rotation = Find<QCheckBox>(Dlg::kRotationId);
    auto* picker = Find<QTimeEdit>(Dlg::kRotationTimeId);
    auto* frequency = Find<QComboBox>(Dlg::kSamplingFrequencyId);
    rotation->setChecked(true);

    picker->setTime(QTime(0, 0, 0));
    EXPECT_FALSE(dlg->Verify());
    EXPECT_EQ(prompts.messages, QStringList{QVxWinGUI::LoadStringW(kGuiStringEnterTime)});
    EXPECT_EQ(dlg->focusWidget(), picker);

    prompts.messages.clear();
    frequency->setCurrentIndex(2);  // 10M: at most 120 s
    picker->setTime(QTime(0, 2, 1));
    EXPECT_FALSE(dlg->Verify());
    EXPECT_EQ(prompts.messages,
              QStringList{QStringLiteral("現在のサンプリング周波数で指定できる最大時間は 00:02:00 です。")});

    picker->setTime(QTime(0, 2, 0));
    EXPECT_TRUE(dlg->Verify());
    rotation->setChecked(false);
    picker->setTime(QTime(0, 0, 0));
    EXPECT_TRUE(dlg->Verify());
}

TEST_F(TracingStatusTest, StoringWritesTheFormAndANewFrequencyBringsItsLongestRotationTime) {
    Settings().reportFileRotationTimeS = 600;
    MakeDialog();
    EXPECT_EQ(Find<QTimeEdit>(Dlg::kRotationTimeId)->time(), QTime(0, 10, 0));
    EXPECT_EQ(Find<QLabel>(Dlg::kEstimateId)->text(),
              QStringLiteral("約 10.0 GByte"));  // 600 s at 1M: 20 files

    // Without a frequency change the picker's value is stored as it stands.
    Find<QTimeEdit>(Dlg::kRotationTimeId)->setTime(QTime(0, 5, 0));
    dlg->StoreForm();
    EXPECT_EQ(Settings().reportFileRotationTimeS, 300u);

    Find<QComboBox>(Dlg::kSamplingFrequencyId)->setCurrentIndex(0);                      // 100K: 4 hours
    EXPECT_EQ(Find<QLabel>(Dlg::kEstimateId)->text(), QStringLiteral("約 22.5 GByte"));  // 14400 s: 45 files
    Find<QCheckBox>(Dlg::kStopBySizeId)->setChecked(true);
    Find<QLineEdit>(Dlg::kStopSizeId)->setText(QStringLiteral("42"));
    Find<QCheckBox>(Dlg::kStopByTimeId)->setChecked(true);
    Find<QTimeEdit>(Dlg::kStopTimeId)->setTime(QTime(1, 2, 3));
    Find<QCheckBox>(Dlg::kRotationId)->setChecked(false);
    const int before = sessionChangeCount;
    dlg->StoreForm();
    EXPECT_EQ(sessionChangeCount, before + 1);
    EXPECT_EQ(Settings().samplingFrequency, 0);
    EXPECT_EQ(Settings().reportFileRotationTimeS, 14400u);
    EXPECT_TRUE(Settings().enableStopDataSize);
    EXPECT_EQ(Settings().stopDataSizeMB, 42);
    EXPECT_TRUE(Settings().enableStopElapsedTime);
    EXPECT_EQ(Settings().stopElapsedTimeMS, 3'723'000u);
    EXPECT_FALSE(Settings().enableReportFileRotation);

    // Edits survive the periodic device-list change; a settings change reloads them.
    Find<QLineEdit>(Dlg::kStopSizeId)->setText(QStringLiteral("7"));
    viewModel.GetDeviceManagerViewModel()->Changed.Emit();
    EXPECT_EQ(Find<QLineEdit>(Dlg::kStopSizeId)->text(), QStringLiteral("7"));
    viewModel.SessionChanged.Emit();
    EXPECT_EQ(Find<QLineEdit>(Dlg::kStopSizeId)->text(), QStringLiteral("42"));
}

TEST_F(TracingStatusTest, RangeListFollowsTheProbeAndKeepsTheRangeIndex) {
    Settings().visualSettings.tracks[1].probeAttenuationRatio = 0;
    Settings().channelVoltages[1] = 3;
    Settings().visualSettings.tracks[2].enabled = false;
    MakeDialog();
    auto* probe = Find<QComboBox>(Dlg::kProbeIds[1]);
    auto* range = Find<QComboBox>(Dlg::kRangeIds[1]);
    auto items = [](QComboBox* c) {
        QStringList list;
        for (int i = 0; i < c->count(); ++i) list << c->itemText(i);
        return list;
    };
    EXPECT_EQ(items(range), (QStringList{"100mV", "200mV", "500mV", "1V", "2V", "4V"}));
    EXPECT_EQ(range->currentText(), QStringLiteral("1V"));
    EXPECT_FALSE(Find<QCheckBox>(Dlg::kChannelIds[2])->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(Dlg::kChannelIds[1])->isChecked());

    probe->setCurrentIndex(1);
    EXPECT_EQ(items(range), (QStringList{"1V", "2V", "5V", "10V", "20V", "40V"}));
    EXPECT_EQ(range->currentText(), QStringLiteral("10V"));
    range->setCurrentIndex(5);
    probe->setCurrentIndex(0);
    EXPECT_EQ(range->currentText(), QStringLiteral("4V"));

    dlg->StoreForm();
    EXPECT_EQ(Settings().visualSettings.tracks[1].probeAttenuationRatio, 0);
    EXPECT_EQ(Settings().channelVoltages[1], 5);

    // A channel box reaches the settings with the rest of the form, when it is stored.
    Find<QCheckBox>(Dlg::kChannelIds[2])->setChecked(true);
    EXPECT_FALSE(Settings().visualSettings.tracks[2].enabled);
    dlg->StoreForm();
    EXPECT_TRUE(Settings().visualSettings.tracks[2].enabled);
}

// Nothing of the form reaches the settings before it validates: neither a channel box nor
// the longest rotation time a new frequency brings.
TEST_F(TracingStatusTest, ARefusedStartLeavesTheSettingsAsTheyWere) {
    Settings().reportFileRotationTimeS = 600;
    MakeDialog();
    const std::optional<std::string> before = qvx::Archive::ToText(Settings());
    ASSERT_TRUE(before);
    const int changes = sessionChangeCount;
    Find<QCheckBox>(Dlg::kChannelIds[1])->setChecked(false);
    Find<QComboBox>(Dlg::kSamplingFrequencyId)->setCurrentIndex(2);  // 10M: at most 120 s
    EXPECT_EQ(Find<QTimeEdit>(Dlg::kRotationTimeId)->time(), QTime(0, 2, 0));
    Find<QCheckBox>(Dlg::kStopBySizeId)->setChecked(true);
    Find<QLineEdit>(Dlg::kStopSizeId)->setText(QStringLiteral("0"));

    dlg->OnBnClickedStartStop();
    EXPECT_EQ(prompts.messages, QStringList{AppString(kAppStringStopDataSizeTooSmall)});
    EXPECT_EQ(qvx::Archive::ToText(Settings()), before);
    EXPECT_EQ(sessionChangeCount, changes);
    EXPECT_FALSE(Find<QCheckBox>(Dlg::kChannelIds[1])->isChecked());  // the form keeps the edits

    Find<QLineEdit>(Dlg::kStopSizeId)->setText(QStringLiteral("5"));
    ASSERT_TRUE(dlg->Verify());
    dlg->StoreForm();
    EXPECT_FALSE(Settings().visualSettings.tracks[1].enabled);
    EXPECT_EQ(Settings().samplingFrequency, 2);
    EXPECT_EQ(Settings().reportFileRotationTimeS, 120u);
}

TEST_F(TracingStatusTest, EnglishTextsFitThePaneAtTheTestWidth) {
    text_fit::ScopedEnglish english;
    MakeDialog();
    ListUnits("AN0001");
    dlg->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(Find<QPushButton>(Dlg::kStartStopId)->text(), QString("Start"));
    EXPECT_EQ(text_fit::ClippedTexts(*dlg).join("; ").toStdString(), "");
}

TEST_F(TracingStatusTest, ControlsFollowTheDeviceState) {
    MakeDialog();
    auto* connect = Find<QWidget>(Dlg::kConnectId);
    auto* startStop = Find<QPushButton>(Dlg::kStartStopId);
    auto* config = Find<QPushButton>(Dlg::kConfigId);

    // No unit listed.
    EXPECT_TRUE(connect->isHidden());
    EXPECT_TRUE(startStop->isHidden());
    const QColor other = dlg->HeaderColor();

    // Two units: listed and selected, none connected.
    ListUnits("AN0001,AN0002");
    EXPECT_FALSE(connect->isHidden());
    EXPECT_TRUE(connect->isEnabled());
    EXPECT_FALSE(startStop->isHidden());
    EXPECT_FALSE(startStop->isEnabled());
    EXPECT_EQ(startStop->text(), QVxWinGUI::LoadStringW(kGuiStringStart));
    EXPECT_TRUE(config->isEnabled());
    EXPECT_FALSE(dlg->IsBusyAnimationRunning());
    EXPECT_TRUE(Find<QLabel>(Dlg::kFirmwareId)->text().isEmpty());

    // Connecting.
    auto selected = viewModel.GetDeviceManagerViewModel()->GetSelectedDevice();
    ASSERT_NE(selected, nullptr);
    selected->SetDeviceConnectionStatus(QVxDeviceConnectionStatus::kConnecting);
    dlg->UpdateControls(false);
    EXPECT_FALSE(connect->isEnabled());
    EXPECT_TRUE(startStop->isHidden());
    EXPECT_TRUE(dlg->IsBusyAnimationRunning());
    EXPECT_TRUE(config->isEnabled());
    SaveScreenshot(*dlg, "trace_form_connecting");
    selected->SetDeviceConnectionStatus(QVxDeviceConnectionStatus::kDisconnected);
    dlg->UpdateControls(false);
    EXPECT_FALSE(dlg->IsBusyAnimationRunning());

    // One unit: connected at once.
    ListUnits("AN0000SIM");
    ASSERT_NE(viewModel.GetDeviceManagerViewModel()->GetConnectedDevice(), nullptr);
    EXPECT_TRUE(connect->isEnabled());
    EXPECT_TRUE(startStop->isEnabled());
    EXPECT_EQ(startStop->text(), QVxWinGUI::LoadStringW(kGuiStringStart));
    EXPECT_TRUE(Find<QLabel>(Dlg::kFirmwareId)->text().startsWith(QStringLiteral("FPGA 2.0 / ")));
    EXPECT_NE(dlg->HeaderColor(), other);
}

TEST_F(TracingStatusTest, SettingsButtonReplacesTheSettingsOnOkOnlyWhenConnected) {
    MakeDialog();
    bool lastReadOnly = false;
    dlg->SetConfigDialogRunner([&](QWidget*, qvx::AnalogSettings* settings, bool readOnly) {
        lastReadOnly = readOnly;
        settings->trigger1ChThreshold = 1234;
        return true;
    });
    dlg->OnBnClickedConfig();
    EXPECT_TRUE(lastReadOnly);
    EXPECT_EQ(Settings().trigger1ChThreshold, 2047);

    ListUnits("AN0000SIM");
    const int before = sessionChangeCount;
    dlg->OnBnClickedConfig();
    EXPECT_FALSE(lastReadOnly);
    EXPECT_EQ(Settings().trigger1ChThreshold, 1234);
    EXPECT_EQ(sessionChangeCount, before + 1);
}

TEST_F(TracingStatusTest, StartAndStopThroughTheButtonWithTheSimulatedUnit) {
    CTracePane pane(viewModel, nullptr);
    pane.resize(340, 760);
    EXPECT_EQ(pane.windowTitle(), QStringLiteral("トレース実行"));
    dlg.reset(pane.GetDialog());  // the fixture's helpers look into the pane's form
    struct Release {
        std::unique_ptr<CQVxAnalogTracingStatusDlg>& d;
        ~Release() { (void)d.release(); }
    } release{dlg};
    dlg->SetFreeSpaceQuery(
        [](const std::filesystem::path&) { return std::optional<std::uintmax_t>(1ull << 40); });
    SaveScreenshot(pane, "trace_pane_no_unit");
    ListUnits("AN0000SIM");
    SaveScreenshot(pane, "trace_pane_connected");
    auto* startStop = Find<QPushButton>(Dlg::kStartStopId);
    ASSERT_TRUE(startStop->isEnabled());
    Find<QCheckBox>(Dlg::kStopBySizeId)->setChecked(true);
    Find<QLineEdit>(Dlg::kStopSizeId)->setText(QStringLiteral("1000"));

    startStop->click();
    ASSERT_EQ(viewModel.GetTraceState(), QVxAnalogViewModel::kTracing)
        << prompts.messages.join("; ").toStdString();
    EXPECT_EQ(Settings().stopDataSizeMB, 1000);  // the form was stored into the trace's session
    EXPECT_EQ(startStop->text(), QVxWinGUI::LoadStringW(kGuiStringStop));
    EXPECT_TRUE(startStop->isEnabled());
    EXPECT_FALSE(Find<QWidget>(Dlg::kConnectId)->isEnabled());
    EXPECT_FALSE(Find<QPushButton>(Dlg::kConfigId)->isEnabled());
    EXPECT_FALSE(Find<QComboBox>(Dlg::kSamplingFrequencyId)->isEnabled());
    EXPECT_FALSE(Find<QLineEdit>(Dlg::kStopSizeId)->isEnabled());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"))
                    .match(Find<QLineEdit>(Dlg::kStartTimeId)->text())
                    .hasMatch());
    EXPECT_TRUE(dlg->IsRefreshTimerRunning());
    ASSERT_TRUE(WaitFor([&] { return Find<QLineEdit>(Dlg::kElapsedId)->text().toUInt() > 0; }));
    ASSERT_TRUE(WaitFor([&] { return Find<QLineEdit>(Dlg::kDataSizeId)->text().toULongLong() > 0; }));
    SaveScreenshot(pane, "trace_pane_tracing");

    startStop->click();
    EXPECT_EQ(viewModel.GetTraceState(), QVxAnalogViewModel::kStopping);
    EXPECT_FALSE(startStop->isHidden());
    EXPECT_FALSE(startStop->isEnabled());
    EXPECT_EQ(startStop->text(), QVxWinGUI::LoadStringW(kGuiStringStop));

    ASSERT_TRUE(WaitFor([&] { return viewModel.GetTraceState() == QVxAnalogViewModel::kIdle; }));
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("; ").toStdString();
    EXPECT_EQ(startStop->text(), QVxWinGUI::LoadStringW(kGuiStringStart));
    EXPECT_TRUE(startStop->isEnabled());
    EXPECT_TRUE(Find<QComboBox>(Dlg::kSamplingFrequencyId)->isEnabled());
    EXPECT_TRUE(WaitFor([&] { return !dlg->IsRefreshTimerRunning(); }));

    // The trace's figures stay with its own session, also once saved; another session
    // opened shows none.
    EXPECT_FALSE(Find<QLineEdit>(Dlg::kStartTimeId)->text().isEmpty());
    EXPECT_FALSE(Find<QLineEdit>(Dlg::kElapsedId)->text().isEmpty());
    const std::filesystem::path saved = dir.Path() / "saved" / "s.qvxa";
    std::filesystem::create_directories(saved.parent_path());
    ASSERT_TRUE(viewModel.SaveAsSession(saved));
    EXPECT_FALSE(Find<QLineEdit>(Dlg::kDataSizeId)->text().isEmpty());
    ASSERT_TRUE(viewModel.OpenSession(saved));
    EXPECT_TRUE(Find<QLineEdit>(Dlg::kStartTimeId)->text().isEmpty());
    EXPECT_TRUE(Find<QLineEdit>(Dlg::kElapsedId)->text().isEmpty());
    EXPECT_TRUE(Find<QLineEdit>(Dlg::kDataSizeId)->text().isEmpty());
    EXPECT_EQ(Find<QProgressBar>(Dlg::kBufferUseId)->value(), 0);
}

}  // namespace
