#include "QV+AnalogCore/Presenters/QVxAnalogLiveIntake.h"
#include "QV+AnalogCore/Presenters/QVxAnalogStartParams.h"
#include "QV+AnalogCore/QVxAppStrings.h"
#include "QV+AnalogCore/tests/analog_view_model_test_support.h"
#include "QV+AnalogCore/tests/oscillograph_test_support.h"
#include "QVxCore/Archive.h"
#include "QVxWinCommon/QVxGuiStrings.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>

namespace fs = std::filesystem;
using qvx::test::AnalogViewModelTest;

namespace {

// --- Start record ------------------------------------------------------------

TEST(AnalogStartParams, EverySettingLandsInItsFieldAndBadValuesAreInternalErrors) {
    qvx::AnalogSettings s;
    s.channelVoltages = {0, 1, 4, 5};
    s.samplingFrequency = 2;
    s.trigger1ChStartMode = qvx::TriggerChannelMode::kHigh;
    s.trigger1ChStopMode = qvx::TriggerChannelMode::kLow;
    s.trigger2ChStartMode = qvx::TriggerChannelMode::kLow;
    s.trigger2ChStopMode = qvx::TriggerChannelMode::kHigh;
    s.trigger3ChMode = qvx::TriggerChannelMode::kHigh;
    s.trigger4ChEnabled = true;
    s.triggerStartCondition = qvx::TriggerCondition::kAnd;
    s.trigger1ChThreshold = -5;
    s.trigger2ChThreshold = 5000;
    s.trigger3ChThreshold = 100;
    s.splitDataSizeMB = 500;
    s.enableStopDataSize = true;
    s.stopDataSizeMB = 100;
    s.stopElapsedTimeMS = 1234;  // not enabled

    QVPlusStartParams p;
    std::memset(&p, 0xAB, sizeof p);  // every byte not set must come out zero
    EXPECT_EQ(QVxFillStartParams(s, p), 10'000'000u);
    EXPECT_EQ(p.kind, 1u);
    EXPECT_EQ(p.samplingCode, 2);
    EXPECT_EQ(std::vector<int>(p.rangeCodes, p.rangeCodes + 4), (std::vector<int>{0, 6, 26, 32}));
    EXPECT_EQ(p.triggerFlags, 0xFF);
    EXPECT_EQ(p.ch1StartSlope, 1);
    EXPECT_EQ(p.ch1StopSlope, 0);
    EXPECT_EQ(p.ch2StartSlope, 0);
    EXPECT_EQ(p.ch2StopSlope, 1);
    EXPECT_EQ(p.ch3Slope, 1);
    EXPECT_EQ(p.startCondition, 1);
    EXPECT_EQ(p.stopCondition, 0);
    EXPECT_EQ(p.threshold1, 0);
    EXPECT_EQ(p.threshold2, 4095);
    EXPECT_EQ(p.threshold3, 100);
    EXPECT_EQ(p.splitSize, 500LL * 1048576);
    EXPECT_EQ(p.stopSize, 100LL * 1048576);
    EXPECT_EQ(p.stopTimeMs, 0u);
    EXPECT_EQ(p.optionFlags, 0);
    EXPECT_EQ(p.optionWord, 0);
    EXPECT_TRUE(
        std::all_of(std::begin(p.reservedCan), std::end(p.reservedCan), [](auto b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(std::begin(p.reserved3), std::end(p.reserved3), [](auto b) { return b == 0; }));
    EXPECT_EQ(p.outputFolder, nullptr);  // the application writes the report files itself
    ASSERT_NE(p.filePrefix, nullptr);
    EXPECT_STREQ(p.filePrefix, "");
    EXPECT_EQ(p.dataCallback, &QVxDeviceManager::DataCallback);

    // Unused triggers leave flags and slopes alone; disabled limits are 0.
    qvx::AnalogSettings plain;
    plain.enableStopElapsedTime = true;
    plain.stopElapsedTimeMS = 600'000;
    EXPECT_EQ(QVxFillStartParams(plain, p), 1'000'000u);
    EXPECT_EQ(p.triggerFlags, 0);
    EXPECT_EQ(p.rangeCodes[0], 14);
    EXPECT_EQ(p.stopSize, 0);
    EXPECT_EQ(p.stopTimeMs, 600'000u);

    auto throwsFor = [&](auto change) {
        qvx::AnalogSettings bad;
        change(bad);
        qvx::test::LogCapture log;
        EXPECT_THROW(QVxFillStartParams(bad, p), std::exception);
    };
    throwsFor([](qvx::AnalogSettings& b) { b.channelVoltages[3] = 6; });
    throwsFor([](qvx::AnalogSettings& b) { b.samplingFrequency = 3; });
    throwsFor([](qvx::AnalogSettings& b) { b.trigger3ChMode = static_cast<qvx::TriggerChannelMode>(3); });
    throwsFor([](qvx::AnalogSettings& b) { b.triggerStopCondition = static_cast<qvx::TriggerCondition>(2); });
}

// --- Live intake -----------------------------------------------------------------

std::vector<std::uint8_t> Records(
    std::initializer_list<std::pair<std::uint64_t, std::uint16_t>> timesAndCh1) {
    std::vector<std::uint8_t> out;
    for (const auto& [ticks, ch1] : timesAndCh1) {
        const auto r = qvx::test::MakeRecord(ticks, {ch1, 8192, 8192, 8192});
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

class LiveIntakeTest : public ::testing::Test {
protected:
    void SetUp() override {
        owner.settings.visualSettings = qvx::test::FourTrackSettings(1000);  // 1 us per column
        presenter = std::make_unique<QVxAnalogOscilloGraphViewModel>(&owner);
        presenter->SetupForAdhocData();
        presenter->ResetViewportWidth(10);  // queued, applied by the first batch
    }

    void Fold(const std::vector<std::uint8_t>& records) {
        qvx::WaveformPresenter::WriteBatch batch(*presenter);
        intake.Fold(&batch.RenderData(), records.data(), static_cast<std::int64_t>(records.size() / 16),
                    nullptr);
    }

    const qvx::WaveformRenderData& Data() const { return presenter->GetWritingRenderData(); }
    int ValidColumns(std::size_t line) const {
        const auto& bins = Data().Line(line).Columns();
        return static_cast<int>(
            std::count_if(bins.begin(), bins.end(), [](const auto& b) { return b.valid; }));
    }

    qvx::test::FakeOwner owner;
    std::unique_ptr<QVxAnalogOscilloGraphViewModel> presenter;
    QVxAnalogLiveIntake intake;
};

TEST_F(LiveIntakeTest, RecordsOfOneColumnGiveOneMinMaxPairAndTheWindowFollowsTheNewest) {
    // 15.0 us and 15.4 us fall into column 5 of the window [10 us, 20 us).
    Fold(Records({{1500, 100}, {1540, 300}, {2000, 200}}));
    EXPECT_EQ(Data().GetViewportBeginTimeOffset(), 10'000);
    EXPECT_EQ(Data().GetLastTime(), 20'000);
    const auto& bin = Data().Line(0).Columns()[5];
    ASSERT_TRUE(bin.valid);
    EXPECT_EQ(bin.minValue, 100 - 8192);
    EXPECT_EQ(bin.maxValue, 300 - 8192);
    EXPECT_EQ(bin.first.time, 15'000);  // both points at the column's start
    EXPECT_EQ(bin.last.time, 15'000);
    EXPECT_EQ(ValidColumns(0), 1);
    EXPECT_EQ(Data().Line(3).Columns()[5].maxValue, 0);
    EXPECT_EQ(intake.GetRecordCount(), 3u);
    EXPECT_FALSE(intake.TimeWentBackwards());
}

TEST_F(LiveIntakeTest, ABatchLeftOfTheWindowOnlyMovesIt) {
    Fold(Records({{1500, 100}, {2000, 200}}));
    // The batch's newest record moves the window to [40 us, 50 us); the others lie left of it.
    Fold(Records({{3000, 1}, {3500, 2}, {5000, 3}}));
    EXPECT_EQ(Data().GetViewportBeginTimeOffset(), 40'000);
    for (std::size_t line = 0; line < 4; ++line) EXPECT_EQ(ValidColumns(line), 0) << line;
    EXPECT_EQ(intake.GetRecordCount(), 5u);
}

TEST_F(LiveIntakeTest, TimeGoingBackwardsIsMarkedAcrossBatches) {
    Fold(Records({{100, 1}, {200, 1}}));
    EXPECT_FALSE(intake.TimeWentBackwards());
    Fold(Records({{150, 1}, {300, 1}}));  // older than the previous batch's last record
    EXPECT_TRUE(intake.TimeWentBackwards());
    EXPECT_EQ(Data().GetLastTime(), 3000);
    intake.Reset();
    EXPECT_FALSE(intake.TimeWentBackwards());
}

TEST_F(LiveIntakeTest, TheUnfinishedNewestColumnIsShownByTheNextBatchOfTheSameTraceOnly) {
    // 20.0 us lies right of the window [10 us, 20 us): kept open, not lost.
    Fold(Records({{1500, 100}, {2000, 200}}));
    EXPECT_EQ(ValidColumns(0), 1);
    // The next batch completes column [20 us, 21 us) with a raw value above the 14-bit range.
    Fold(Records({{2080, 0xFFFF}, {3000, 1}}));
    ASSERT_EQ(Data().GetViewportBeginTimeOffset(), 20'000);
    const auto& bin = Data().Line(0).Columns()[0];
    ASSERT_TRUE(bin.valid);
    EXPECT_EQ(bin.minValue, 200 - 8192);
    EXPECT_EQ(bin.maxValue, 8191);  // full scale, as the stored view decodes it
    EXPECT_EQ(ValidColumns(0), 1);

    // A new trace does not inherit the column the previous one left open at 30 us.
    intake.Reset();
    presenter->SetupForAdhocData();
    Fold(Records({{4000, 7}}));
    ASSERT_EQ(Data().GetViewportBeginTimeOffset(), 30'000);
    EXPECT_EQ(ValidColumns(0), 0);

    // After a zoom the open column (1 us wide) is dropped, not filed into a 2 us column.
    presenter->ResetViewportScale(2000);
    Fold(Records({{6000, 9}}));
    ASSERT_EQ(Data().GetTimeParPixel(), 2000);
    ASSERT_EQ(Data().GetViewportBeginTimeOffset(), 40'000);
    EXPECT_EQ(ValidColumns(0), 0);
}

// A 1 kHz sine of +-6000 codes on CH1 at 1 MS/s, fed in batches of the irregular
// sizes the unit delivers (from a few records up to 4 MiB): after every batch each
// column of the live window holds exactly the minimum and maximum of all records of
// its time span, as the stored view would show them.
TEST_F(LiveIntakeTest, ASineShowsTheMinimumAndMaximumOfEveryRecordOfEachColumn) {
    constexpr std::int64_t kRecords = 700'000;  // 700 ms, one record per us
    auto sine = [](std::int64_t us) {
        return static_cast<std::int64_t>(std::lround(6000.0 * std::sin(2.0 * M_PI * (us % 1000) / 1000.0)));
    };
    std::vector<std::uint8_t> all;
    all.reserve(static_cast<std::size_t>(kRecords) * 16);
    for (std::int64_t us = 0; us < kRecords; ++us) {
        const auto raw = static_cast<std::uint16_t>(8192 + sine(us));
        const auto r = qvx::test::MakeRecord(static_cast<std::uint64_t>(us) * 100, {raw, 8192, 8192, 8192});
        all.insert(all.end(), r.begin(), r.end());
    }
    const std::int64_t batchSizes[] = {32, 1024, 700, 1536, 3, 4096, 96, 16384, 2500, 262'144};
    for (const std::int64_t usPerColumn : {200, 1000}) {
        SCOPED_TRACE(usPerColumn);
        intake.Reset();
        presenter->ResetViewportScale(usPerColumn * 1000);
        presenter->SetupForAdhocData();
        presenter->ResetViewportWidth(300);
        std::int64_t done = 0;
        for (std::size_t b = 0; done < kRecords; ++b) {
            const std::int64_t n = std::min(batchSizes[b % std::size(batchSizes)], kRecords - done);
            {
                qvx::WaveformPresenter::WriteBatch batch(*presenter);
                intake.Fold(&batch.RenderData(), all.data() + done * 16, n, nullptr);
            }
            done += n;
            const auto& columns = Data().Columns();
            const auto& bins = Data().Line(0).Columns();
            ASSERT_EQ(columns.size(), 300u);
            int wrong = 0;
            for (std::size_t c = 0; c < columns.size(); ++c) {
                const std::int64_t first = columns[c].start / 1000, end = columns[c].end / 1000;  // us
                if (first < 0) {
                    wrong += bins[c].valid;
                    continue;
                }
                ASSERT_LE(end, done) << "the window ends at the newest record";
                std::int64_t lo = sine(first), hi = lo;
                for (std::int64_t us = first; us < end; ++us)
                    lo = std::min(lo, sine(us)), hi = std::max(hi, sine(us));
                wrong += !bins[c].valid || bins[c].minValue != lo || bins[c].maxValue != hi;
            }
            ASSERT_EQ(wrong, 0) << "after batch " << b << " of " << n << " records, " << done << " in all";
        }
        if (usPerColumn == 1000) {  // a whole period per column: the full band everywhere
            for (const auto& bin : Data().Line(0).Columns()) {
                EXPECT_EQ(bin.minValue, -6000);
                EXPECT_EQ(bin.maxValue, 6000);
            }
        }
    }
}

// Single display trigger on CH2's rising edge at 10,487 us of a 1 MS/s trace, a
// 1000-column window of 1 us columns, trigger position 50 %. The edge's window
// completes long before the end of a 4 MiB batch, and with small batches the
// records before the edge arrive in earlier batches: either way the held frame
// shows [9,987 us, 10,987 us) with the edge at the trigger position, not the
// newest records (the display once froze a quarter second later on a flat stretch).
TEST_F(LiveIntakeTest, AHeldDisplayShowsTheTriggerWindowWithTheEdgeAtTheTriggerPosition) {
    constexpr std::int64_t kEdgeUs = 10'487, kPulseEndUs = 10'700, kRecords = 600'000;
    qvx::AnalogSettings settings;
    settings.displayTriggerMode = qvx::QVxAnalogDisplayTriggerAnalyzer::kModeSingle;
    settings.displayTriggerSourceChannel = 1;
    auto& trigger = settings.displayTriggerSettings[1];
    trigger.slope = qvx::QVxAnalogDisplayTriggerAnalyzer::kHighEdge;
    trigger.sensitivityCount = 1;
    trigger.voltageLevel = 1000;
    const auto level = qvx::QVxAnalogDisplayTriggerAnalyzer::MakeRawTriggerLevel(settings, 1, 1000);
    const auto high = static_cast<std::uint16_t>(level + 500), low = static_cast<std::uint16_t>(8192);
    std::vector<std::uint8_t> all;
    all.reserve(static_cast<std::size_t>(kRecords) * 16);
    for (std::int64_t us = 0; us < kRecords; ++us) {
        const bool pulse = us >= kEdgeUs && us < kPulseEndUs;
        const auto r = qvx::test::MakeRecord(static_cast<std::uint64_t>(us) * 100,
                                             {8192, pulse ? high : low, 8192, 8192});
        all.insert(all.end(), r.begin(), r.end());
    }
    for (const std::int64_t batchRecords : {262'144, 700}) {
        SCOPED_TRACE(batchRecords);
        qvx::AnalogDisplayTriggerList hits;
        qvx::QVxAnalogDisplayTriggerAnalyzer analyzer;
        analyzer.Reset(&settings, &hits);
        intake.Reset();
        presenter->SetupForAdhocData();
        presenter->ResetViewportWidth(1000);
        bool wrote = false;
        std::int64_t done = 0;
        while (done < kRecords) {
            const std::int64_t n = std::min(batchRecords, kRecords - done);
            qvx::WaveformPresenter::WriteBatch batch(*presenter);
            intake.Fold(&batch.RenderData(), all.data() + done * 16, n, &analyzer);
            done += n;
            EXPECT_FALSE(wrote && intake.WroteTriggerFrame()) << "the frame is written once";
            if (intake.WroteTriggerFrame()) {
                wrote = true;
                break;
            }
        }
        ASSERT_TRUE(wrote);
        ASSERT_EQ(hits.size(), 1u);
        EXPECT_EQ(hits[0].dataIndex, kEdgeUs);
        EXPECT_TRUE(analyzer.IsDisplayHeld());
        EXPECT_EQ(Data().GetViewportBeginTimeOffset(), (kEdgeUs - 500) * 1000);
        const auto& bins = Data().Line(1).Columns();
        ASSERT_EQ(bins.size(), 1000u);
        int wrong = 0;
        for (std::size_t c = 0; c < bins.size(); ++c) {
            const std::int64_t us = kEdgeUs - 500 + static_cast<std::int64_t>(c);
            const std::int64_t expected = (us >= kEdgeUs && us < kPulseEndUs ? high : low) - 8192;
            wrong += !bins[c].valid || bins[c].minValue != expected || bins[c].maxValue != expected;
        }
        EXPECT_EQ(wrong, 0);
        ASSERT_TRUE(intake.GetTriggerViewOffset().has_value());
        EXPECT_EQ(*intake.GetTriggerViewOffset(), (kEdgeUs - 500) * 1000);
    }
}

// One live view fed two ways: runs of records between display trigger hits (as every
// batch with rising times is folded) and record by record. Irregular times (equal
// stamps, gaps, one batch that goes backwards), columns of 1 us and of 7 us (which
// span batches and end inside the 1 us record spacing), batches that end on and beside
// column edges, and a pulse trigger whose edges and hits fall at batch edges. After
// every batch both give the same render data, counts, trigger state, frames and hits.
class LiveIntakeRunsTest : public ::testing::Test {
protected:
    struct Side {
        qvx::test::FakeOwner owner;
        std::unique_ptr<QVxAnalogOscilloGraphViewModel> presenter;
        QVxAnalogLiveIntake intake;
        qvx::QVxAnalogDisplayTriggerAnalyzer analyzer;
        qvx::AnalogDisplayTriggerList hits;
    };

    void Start(Side& side, const qvx::AnalogSettings& settings, std::int64_t nsPerColumn,
               bool recordByRecord) {
        side.owner.settings.visualSettings = qvx::test::FourTrackSettings(nsPerColumn);
        side.presenter = std::make_unique<QVxAnalogOscilloGraphViewModel>(&side.owner);
        side.presenter->SetupForAdhocData();
        side.presenter->ResetViewportWidth(50);
        side.intake.Reset();
        side.intake.SetRecordByRecord(recordByRecord);
        side.hits.clear();
        side.analyzer.Reset(&settings, &side.hits);
    }

    static void Fold(Side& side, const std::uint8_t* records, std::int64_t count, bool analyse) {
        qvx::WaveformPresenter::WriteBatch batch(*side.presenter);
        side.intake.Fold(&batch.RenderData(), records, count, analyse ? &side.analyzer : nullptr);
    }

    static void ExpectSame(const Side& a, const Side& b) {
        const auto& ra = a.presenter->GetWritingRenderData();
        const auto& rb = b.presenter->GetWritingRenderData();
        ASSERT_EQ(ra.GetViewportBeginTimeOffset(), rb.GetViewportBeginTimeOffset());
        ASSERT_EQ(ra.GetLastTime(), rb.GetLastTime());
        for (std::size_t line = 0; line < 4; ++line)
            ASSERT_TRUE(ra.Line(line).Columns() == rb.Line(line).Columns()) << "line " << line;
        ASSERT_EQ(a.intake.GetRecordCount(), b.intake.GetRecordCount());
        ASSERT_EQ(a.intake.TimeWentBackwards(), b.intake.TimeWentBackwards());
        ASSERT_EQ(a.intake.WroteTriggerFrame(), b.intake.WroteTriggerFrame());
        ASSERT_EQ(a.intake.GetTriggerViewOffset(), b.intake.GetTriggerViewOffset());
        ASSERT_EQ(a.analyzer.GetTriggerTime(), b.analyzer.GetTriggerTime());
        ASSERT_EQ(a.analyzer.GetTriggersFound(), b.analyzer.GetTriggersFound());
        ASSERT_EQ(a.analyzer.GetTriggerWindowsCompleted(), b.analyzer.GetTriggerWindowsCompleted());
        ASSERT_EQ(a.analyzer.GetConfirmCounter(), b.analyzer.GetConfirmCounter());
        ASSERT_EQ(a.analyzer.GetPulseStart(), b.analyzer.GetPulseStart());
        ASSERT_EQ(a.analyzer.GetPreviousSample(), b.analyzer.GetPreviousSample());
        ASSERT_EQ(a.hits, b.hits);
    }
};

TEST_F(LiveIntakeRunsTest, RunsBetweenHitsGiveExactlyWhatRecordByRecordGives) {
    qvx::AnalogSettings settings;
    settings.displayTriggerSourceChannel = 1;
    auto& trigger = settings.displayTriggerSettings[1];
    trigger.voltageLevel = 1000;
    trigger.edgeWidthTime = 40'000;
    const auto level = qvx::QVxAnalogDisplayTriggerAnalyzer::MakeRawTriggerLevel(settings, 1, 1000);

    // Times: mostly 1 us apart, some equal, some gaps of up to 60 us. CH2 pulses of 5 to
    // 60 us; CH1 a sawtooth with values above 14 bits; CH3 and CH4 noise.
    std::mt19937 random(3);
    constexpr std::size_t kRecords = 40'000;
    std::vector<std::uint8_t> all;
    std::uint64_t ticks = 0;
    bool high = false;
    std::int64_t untilToggle = 10;
    for (std::size_t i = 0; i < kRecords; ++i) {
        const auto step = random() % 16;
        ticks += step == 0 ? 0 : step == 1 ? 100 * (random() % 60) : 100;
        if (--untilToggle <= 0) high = !high, untilToggle = 5 + static_cast<std::int64_t>(random() % 56);
        const auto ch2 =
            static_cast<std::uint16_t>(high ? level + 1 + random() % 3000 : level - random() % 3000);
        const auto r = qvx::test::MakeRecord(
            ticks, {static_cast<std::uint16_t>((i * 977) % 20'000), ch2, static_cast<std::uint16_t>(random()),
                    static_cast<std::uint16_t>(random() % 16384)});
        all.insert(all.end(), r.begin(), r.end());
    }
    // One batch goes back in time: records 20,000 to 20,009 are 3 ms older.
    for (std::size_t i = 20'000; i < 20'010; ++i) {
        const std::uint64_t t = qvx::LoadLE64(all.data() + i * 16) - 30'000;
        qvx::StoreLE64(all.data() + i * 16, t);
    }

    using Analyzer = qvx::QVxAnalogDisplayTriggerAnalyzer;
    struct Case {
        qvx::DisplayTriggerMode mode;
        int slope, sensitivity;
        std::int64_t nsPerColumn;
    };
    const Case cases[] = {{Analyzer::kModeNone, 0, 1, 1000},   {Analyzer::kModeNone, 0, 1, 7000},
                          {Analyzer::kModeSingle, 0, 1, 1000}, {Analyzer::kModeRepeat, 1, 3, 7000},
                          {Analyzer::kModeRepeat, 2, 2, 1000}, {Analyzer::kModeRepeat, 3, 1, 7000},
                          {Analyzer::kModeSingle, 2, 4, 7000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "mode " << static_cast<int>(c.mode) << " slope " << c.slope << " sensitivity "
                     << c.sensitivity << " ns per column " << c.nsPerColumn);
        settings.displayTriggerMode = c.mode;
        trigger.slope = static_cast<qvx::TriggerSlope>(c.slope);
        trigger.sensitivityCount = c.sensitivity;
        Side runs, single;
        Start(runs, settings, c.nsPerColumn, false);
        Start(single, settings, c.nsPerColumn, true);
        std::size_t done = 0;
        for (std::size_t b = 0; done < kRecords; ++b) {
            std::size_t n = 1 + random() % (b % 5 == 0 ? 3000 : 200);
            n = std::min(n, kRecords - done);
            const bool analyse = b % 17 != 3;  // some batches without the analyzer
            Fold(runs, all.data() + done * 16, static_cast<std::int64_t>(n), analyse);
            Fold(single, all.data() + done * 16, static_cast<std::int64_t>(n), analyse);
            done += n;
            ASSERT_NO_FATAL_FAILURE(ExpectSame(runs, single)) << "after batch " << b << ", record " << done;
        }
        EXPECT_TRUE(runs.intake.TimeWentBackwards());
        if (c.mode != Analyzer::kModeNone) {
            EXPECT_FALSE(runs.hits.empty());
        }
    }
}

// --- View model without a unit ----------------------------------------------------

TEST_F(AnalogViewModelTest, WithoutAUnitATraceDoesNotStartAndTheModelStaysUsable) {
    qvx::test::LogCapture log;
    viewModel.StopTrace();
    EXPECT_EQ(log.ErrorCount(), 1);
    EXPECT_EQ(viewModel.GetTraceState(), QVxAnalogViewModel::kIdle);
    viewModel.Broadcast(Records({{1, 1}}).data(), 1);
    EXPECT_EQ(log.ErrorCount(), 2);
    EXPECT_EQ(viewModel.GetRecordCount(), 0u);

    const qvx::AnalogSession* before = viewModel.GetSession();
    viewModel.GetSessionSettings()->samplingFrequency = 2;
    EXPECT_FALSE(viewModel.StartTrace());
    ASSERT_EQ(notes.shown.size(), 1u);
    EXPECT_EQ(notes.shown[0], QVxLoadGuiString(25058));
    EXPECT_EQ(viewModel.GetTraceState(), QVxAnalogViewModel::kIdle);
    EXPECT_NE(viewModel.GetSession(), before);  // a fresh session with the settings copied
    EXPECT_EQ(viewModel.GetSessionSettings()->samplingFrequency, 2);
    EXPECT_EQ(viewModel.GetRate(), 10'000'000u);
    EXPECT_EQ(QVxDeviceManager::GetLastDeviceError(), kDeviceErrorNotOpen);

    // Nothing is left half-started: sessions and the next start are allowed again.
    EXPECT_TRUE(viewModel.CanStartTrace());
    EXPECT_TRUE(viewModel.NewSession(nullptr));
    EXPECT_FALSE(viewModel.StartTrace());
    EXPECT_EQ(notes.shown.size(), 2u);
}

TEST_F(AnalogViewModelTest, AMissingCacheFolderRefusesTheStart) {
    const qvx::AnalogSession* before = viewModel.GetSession();
    fs::remove_all(viewModel.GetCacheFolderPath());
    EXPECT_FALSE(viewModel.StartTrace());
    ASSERT_EQ(notes.shown.size(), 1u);
    EXPECT_EQ(notes.shown[0], QVxLoadAppString(kAppStringCacheFolderMissing));
    EXPECT_EQ(viewModel.GetSession(), before);
}

TEST_F(AnalogViewModelTest, OpenSyncsViewsOnlyToIndexesOfTheReport) {
    const fs::path folder = dir.Path() / "stored";
    qvx::test::ReportBuilder(folder / "repo").AddFile(0, 100);
    qvx::AnalogSettings settings;
    ASSERT_TRUE(qvx::Archive::Save(settings, folder / "s.qvxa"));

    int changed = 0;
    auto c1 = viewModel.SessionChanged.Connect([&] { ++changed; });
    std::vector<QVxViewSyncParams> syncs;
    auto c2 = viewModel.ViewSync.Connect([&](const QVxViewSyncParams& p) { syncs.push_back(p); });

    EXPECT_FALSE(viewModel.OpenSession(folder / "missing.qvxa"));
    EXPECT_EQ(changed, 0);
    ASSERT_TRUE(viewModel.OpenSession(folder / "s.qvxa"));
    EXPECT_EQ(changed, 1);
    ASSERT_TRUE(viewModel.GetOscilloGraphViewModel()->IsStoredData());
    EXPECT_EQ(viewModel.GetDisplayTriggerPresenter().GetWaveformPresenter(),
              viewModel.GetOscilloGraphViewModel());
    EXPECT_EQ(viewModel.GetDisplayTriggerPresenter().GetSettings(), viewModel.GetSessionSettings());

    const int origin = 0;
    viewModel.SyncViewsToDataIndex(50, &origin, 1);
    viewModel.SyncViewsToDataIndex(99, nullptr, 0);
    viewModel.SyncViewsToDataIndex(100, nullptr, 0);  // one past the last record
    viewModel.SyncViewsToDataIndex(std::uint64_t{1} << 40, nullptr, 0);
    ASSERT_EQ(syncs.size(), 2u);
    EXPECT_EQ(syncs[0].time, 50 * 10 * 10);  // 10 ticks apart, 10 ns per tick
    EXPECT_EQ(syncs[0].dataIndex, 50u);
    EXPECT_EQ(syncs[0].origin, &origin);
    EXPECT_EQ(syncs[0].option, 1);
    EXPECT_EQ(syncs[1].dataIndex, 99u);

    // A session without report data answers nothing.
    ASSERT_TRUE(viewModel.NewSession(nullptr));
    viewModel.SyncViewsToDataIndex(0, nullptr, 0);
    EXPECT_EQ(syncs.size(), 2u);
}

// --- Report query ------------------------------------------------------------------

TEST(AnalogReportPath, InsideComparesWholeComponents) {
    EXPECT_TRUE(QVxAnalogViewModel::IsPathInside("/data/s1/repo", "/data/s1"));
    EXPECT_TRUE(QVxAnalogViewModel::IsPathInside("/data/s1/repo/", "/data/s1/"));
    EXPECT_TRUE(QVxAnalogViewModel::IsPathInside("/data/s1", "/data/s1"));
    EXPECT_FALSE(QVxAnalogViewModel::IsPathInside("/data/s10/repo", "/data/s1"));
    EXPECT_FALSE(QVxAnalogViewModel::IsPathInside("/data/s1/../s10/repo", "/data/s1"));
    EXPECT_FALSE(QVxAnalogViewModel::IsPathInside("/data", "/data/s1"));
    EXPECT_FALSE(QVxAnalogViewModel::IsPathInside("", "/data/s1"));
}

class ReportQueryTest : public AnalogViewModelTest {
protected:
    fs::path Query(const std::string& text) {
        const fs::path file = dir.Path() / ("query" + std::to_string(++m_count) + ".json");
        std::ofstream(file) << text;
        return file;
    }
    fs::path QueryFor(const fs::path& report) {
        return Query(
            nlohmann::json{{"reportFullPath", report.string()}, {"commandResultFilePath", Result().string()}}
                .dump());
    }
    fs::path Result() const { return dir.Path() / "result.json"; }
    nlohmann::json Answer() const { return nlohmann::json::parse(std::ifstream(Result())); }

private:
    int m_count = 0;
};

TEST_F(ReportQueryTest, AReportIsOpenOnlyInsideTheSessionFolder) {
    const fs::path session = viewModel.GetSession()->GetFolderPath();
    ASSERT_TRUE(viewModel.HandleReportQuery(QueryFor(session / "repo")));
    EXPECT_EQ(Answer(), (nlohmann::json{{"isReportOpen", true}}));

    // A sibling whose name only begins with the session folder's name.
    ASSERT_TRUE(viewModel.HandleReportQuery(QueryFor(fs::path(session.string() + "0") / "repo")));
    EXPECT_EQ(Answer(), (nlohmann::json{{"isReportOpen", false}}));

    // Without its report folder the session holds no report.
    fs::remove_all(viewModel.GetSession()->GetReportFolderPath());
    ASSERT_TRUE(viewModel.HandleReportQuery(QueryFor(session / "repo")));
    EXPECT_EQ(Answer(), (nlohmann::json{{"isReportOpen", false}}));
}

TEST_F(ReportQueryTest, BadQueriesAreAnsweredFalseWithALogLine) {
    const std::string report = (viewModel.GetSession()->GetFolderPath() / "repo").string();
    const std::vector<std::string> bad = {
        "{not json",
        "[1, 2]",
        nlohmann::json{{"reportFullPath", report}}.dump(),
        nlohmann::json{{"reportFullPath", 7}, {"commandResultFilePath", Result().string()}}.dump(),
    };
    for (const auto& text : bad) {
        qvx::test::LogCapture log;
        EXPECT_FALSE(viewModel.HandleReportQuery(Query(text))) << text;
        EXPECT_TRUE(log.Contains("report query")) << text;
    }
    qvx::test::LogCapture log;
    EXPECT_FALSE(viewModel.HandleReportQuery(dir.Path() / "absent.json"));
    EXPECT_FALSE(fs::exists(Result()));
    const fs::path nowhere = dir.Path() / "no" / "such" / "folder" / "r.json";
    EXPECT_FALSE(viewModel.HandleReportQuery(Query(
        nlohmann::json{{"reportFullPath", report}, {"commandResultFilePath", nowhere.string()}}.dump())));
}

}  // namespace
