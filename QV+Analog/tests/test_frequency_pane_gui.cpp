// The spectrum pane in the window, on a recording of the simulated unit's demo signal: it
// follows the markers (while in front) with the spectrum the analysis computes, paints one
// level range per pixel column, switches to the spectrogram, says why it shows nothing,
// exports its CSV, and reads in English with --lang en. Screenshots go to $QVX_SCREENSHOT_DIR when set.

#include "QV+Analog/Analysis/CQVxFrequencyPane.h"
#include "QV+Analog/Analysis/CQVxFrequencyPlot.h"
#include "QV+Analog/Analysis/CQVxMeasurementPane.h"
#include "QV+Analog/MainFrm.h"
#include "QV+Analog/QVxLanguageChoice.h"
#include "QV+Analog/tests/app_fixture.h"
#include "QV+AnalogCore/Analysis/ReportSpectrum.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/AnalogSession.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include <cmath>
#include <fstream>

namespace {

using qvx::analog::SpectrumResult;
using qvx::test::AppTest;

class SpectrumPaneGui : public AppTest {
protected:
    void TearDown() override {
        AppTest::TearDown();
        ApplyProgramLanguage(QVxLanguage::kJapanese);
    }
    qvx::WaveformPresenter& Presenter() { return *ViewModel().GetOscilloGraphViewModel(); }
    CQVxFrequencyPane* ShowSpectrumPane() {
        Frame().resize(1400, 900);
        Frame().show();
        auto* pane = Frame().GetSpectrumPane();
        pane->raise();
        return pane;
    }
    // Waits for the pane's result of the span [m1, m2).
    bool WaitForSpan(CQVxFrequencyPane& pane, std::int64_t m1, std::int64_t m2, bool spectrogram) {
        return QTest::qWaitFor(
            [&] {
                const auto& r = pane.GetJobs().GetResult();
                return !pane.GetJobs().IsBusy() && r && r->fromNs == m1 && r->toNs == m2 &&
                       r->spectrogram.has_value() == spectrogram;
            },
            30000);
    }
    void Screenshot(QWidget& widget, const QString& name) {
        const QString outDir = qEnvironmentVariable("QVX_SCREENSHOT_DIR");
        if (outDir.isEmpty()) return;
        QApplication::processEvents();
        EXPECT_TRUE(widget.grab().save(outDir + "/" + name));
    }
};

TEST_F(SpectrumPaneGui, FollowsTheMarkersSwitchesToTheSpectrogramAndExportsCsv) {
    ASSERT_TRUE(Start());
    RecordTrace(600);
    auto* pane = ShowSpectrumPane();
    EXPECT_EQ(pane->windowTitle(), QStringLiteral("スペクトル"));
    const std::int64_t m1 = 50'000'000, m2 = 450'000'000;  // ns
    Presenter().SetMarkerTime(0, m2);
    Presenter().SetMarkerTime(1, m1);
    ASSERT_TRUE(WaitForSpan(*pane, m1, m2, false));
    // The same as the analysis on the GUI thread's reader, with the defaults (CH1, Hann, N auto).
    qvx::analog::SpectrumRequest request;
    request.fromNs = m1;
    request.toNs = m2;
    const auto expected = qvx::analog::ComputeSpectrum(*ViewModel().GetSession()->GetReportData(), nullptr,
                                                       *ViewModel().GetSessionSettings(), request);
    const auto got = pane->GetJobs().GetResult();
    ASSERT_EQ(got->status, SpectrumResult::Status::kDone);
    EXPECT_EQ(got->nfft, expected.nfft);
    EXPECT_EQ(got->segments, expected.segments);
    EXPECT_EQ(got->power, expected.power);
    ASSERT_FALSE(got->figures.peaks.empty());
    EXPECT_NEAR(got->figures.peaks.front().frequencyHz, 1000, 5) << "the demo's CH1 tone";
    EXPECT_TRUE(pane->GetSpanLabel()->text().startsWith(QStringLiteral("M1-M2")));
    EXPECT_TRUE(pane->GetFiguresLabel()->text().contains(QStringLiteral("THD")));
    QApplication::processEvents();
    Screenshot(*pane, "spectrum_pane_ja.png");
    // One level range per pixel column, the smaller first.
    const auto& columns = pane->GetPlot()->GetColumnLevels();
    ASSERT_FALSE(columns.empty());
    for (const auto& [lo, hi] : columns) {
        if (std::isfinite(hi)) {
            EXPECT_LE(lo, hi);
        }
    }

    // The largest N paints the same number of columns.
    pane->GetPointsBox()->setCurrentIndex(pane->GetPointsBox()->count() - 1);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !pane->GetJobs().IsBusy() && pane->GetJobs().GetResult()->nfft == 1'048'576; }, 30000));
    EXPECT_EQ(pane->GetJobs().GetResult()->status, SpectrumResult::Status::kTooFewRecords)
        << "400 ms of the demo's 1 MHz hold fewer than 1,048,576 records";
    pane->GetPointsBox()->setCurrentIndex(pane->GetPointsBox()->findText(QStringLiteral("65536")));
    pane->GetLogFrequencyBox()->setChecked(true);
    pane->GetSpectrogramBox()->setChecked(true);
    ASSERT_TRUE(WaitForSpan(*pane, m1, m2, true));
    EXPECT_EQ(pane->GetJobs().GetResult()->nfft, 65'536u);
    Screenshot(*pane, "spectrogram_pane_ja.png");

    const auto csv = dir.Path() / "spectrum.csv";
    EXPECT_TRUE(pane->ExportCsv(csv));
    std::ifstream in(csv);
    std::string title;
    std::getline(in, title);
    EXPECT_EQ(title, "frequency_Hz,vrms_V,dBV,psd_V2_per_Hz");
    EXPECT_FALSE(pane->ExportCsv(ViewModel().GetSession()->GetSettingFilePath())) << "never over the session";

    // A channel that is off says so.
    ViewModel().GetSessionSettings()->visualSettings.tracks[2].enabled = false;
    pane->GetChannelBox()->setCurrentIndex(2);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto& r = pane->GetJobs().GetResult();
            return !pane->GetJobs().IsBusy() && r && r->status == SpectrumResult::Status::kChannelOff;
        },
        30000));

    // Behind the measurement pane it computes nothing; in front again, it catches up.
    pane->GetChannelBox()->setCurrentIndex(0);
    Frame().GetMeasurementPane()->raise();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !pane->IsInFront(); }, 5000));
    Presenter().SetMarkerTime(1, m1 + 100'000'000);
    QTest::qWait(3 * CQVxFrequencyPane::kSettleMs);
    EXPECT_FALSE(pane->GetJobs().IsBusy());
    EXPECT_EQ(pane->GetJobs().GetResult()->fromNs, m1);
    pane->raise();
    ASSERT_TRUE(WaitForSpan(*pane, m1 + 100'000'000, m2, true));
}

TEST_F(SpectrumPaneGui, ReadsInEnglish) {
    ASSERT_TRUE(Start({"--lang", "en"}));
    RecordTrace(300);
    auto* pane = ShowSpectrumPane();
    EXPECT_EQ(pane->windowTitle(), QStringLiteral("Spectrum"));
    const std::int64_t m1 = 20'000'000, m2 = 250'000'000;
    Presenter().SetMarkerTime(0, m1);
    Presenter().SetMarkerTime(1, m2);
    ASSERT_TRUE(WaitForSpan(*pane, m1, m2, false));
    EXPECT_TRUE(pane->GetFiguresLabel()->text().contains(QStringLiteral("Fundamental")));
    EXPECT_EQ(pane->GetWindowBox()->currentText(), QStringLiteral("Hann"));
    Screenshot(*pane, "spectrum_pane_en.png");
    pane->GetSpectrogramBox()->setChecked(true);
    ASSERT_TRUE(WaitForSpan(*pane, m1, m2, true));
    Screenshot(*pane, "spectrogram_pane_en.png");
}

}  // namespace
