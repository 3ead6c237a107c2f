// HDF5 export of the data list: every value and attribute read back through the HDF5 C
// API for the whole report, a time range across two report files and a rotated report;
// the CF scaling against the value texts for every code of every range and probe; time
// range edges; and failures and cancels that must leave the target as it was.

#include "hdf5_test_support.h"
#include "list_test_support.h"

#include "QV+AnalogCore/Export/QVxAnalogHdf5Writer.h"
#include "QV+AnalogCore/Presenters/QVxAnalogDataListViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogRecordDecoding.h"
#include "QVxCore/Archive.h"
#include "QVxCore/Presenters/Interaction.h"
#include "QVxCore/ReportData/ReportFile.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxCore/tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

namespace {

using qvx::test::Hdf5File;
using qvx::test::ReadWholeFile;
using Pair = std::pair<std::uint64_t, std::uint64_t>;
constexpr auto kPerFile = qvx::kRecordsPerReportFile;
const char* const kChannels[] = {"/ch1", "/ch2", "/ch3", "/ch4"};

// Samples beyond the 14-bit range on every channel, so that clamping shows.
qvx::test::Samples WideSamples(std::uint64_t index) {
    return {static_cast<std::uint16_t>(index * 7 % 65536), static_cast<std::uint16_t>(index % 16384),
            static_cast<std::uint16_t>(16383 + index % 3), static_cast<std::uint16_t>(65535 - index % 100)};
}

class Hdf5ExportTest : public ::testing::Test {
protected:
    qvx::test::TempDir dir{"hdf5"};
    qvx::test::ListOwner owner{dir.Path() / "session"};
    QVxAnalogDataListViewModel model{&owner};
    std::filesystem::path out = dir.Path() / "out.h5";

    // A different range and probe per channel; CH4 is hidden and named in Japanese.
    void UseMixedChannelSettings() { qvx::test::UseMixedChannelSettings(owner.session->GetSettings()); }

    qvx::test::ReportBuilder Builder() {
        return qvx::test::ReportBuilder(owner.session->GetReportFolderPath())
            .StartTime(1'700'000'000, 123'456'789);
    }

    // Every value of the file against the records [first, first + count) of `builder`.
    void ExpectRecords(const qvx::test::ReportBuilder& builder, std::uint64_t first, std::uint64_t count) {
        Hdf5File file(out);
        ASSERT_TRUE(file.IsOpen());
        const auto times = file.Column<std::int64_t>("/time_ns", H5T_NATIVE_INT64);
        ASSERT_EQ(times.size(), count);
        EXPECT_EQ(file.Int("/", "first_record_index"), static_cast<std::int64_t>(first));
        EXPECT_EQ(file.Int("/", "record_count"), static_cast<std::int64_t>(count));
        for (std::size_t c = 0; c < 4; ++c) {
            const auto codes = file.Column<std::uint16_t>(kChannels[c], H5T_NATIVE_UINT16);
            ASSERT_EQ(codes.size(), count);
            for (std::uint64_t i = 0; i < count; ++i) {
                const std::uint16_t stored = builder.SamplesAt(first + i)[c];
                ASSERT_EQ(codes[i], std::min(stored, qvx::kRawSampleMax)) << kChannels[c] << " " << i;
            }
        }
        for (std::uint64_t i = 0; i < count; ++i)
            ASSERT_EQ(times[i], static_cast<std::int64_t>(builder.TimeAt(first + i) * 10)) << i;
    }
};

TEST_F(Hdf5ExportTest, WholeReportWithEveryValueAndAttribute) {
    UseMixedChannelSettings();
    // Chunks of 1000 records: three whole chunks and a partial one, with read pieces of
    // 8192 records that end inside chunks.
    constexpr std::uint64_t kCount = 3 * 8192 + 5;
    auto builder = Builder().SampleValues(&WideSamples);
    builder.AddFile(0, kCount);
    ASSERT_TRUE(owner.OpenReport());
    std::string error;
    ASSERT_TRUE(model.ExportHdf5(out, -1, -1, nullptr, {1000, 1}, &error)) << error;
    ExpectRecords(builder, 0, kCount);

    Hdf5File file(out);
    constexpr std::int64_t kStartNs = 1'700'000'000'123'456'789;
    EXPECT_EQ(file.Int("/", "start_time_ns"), kStartNs);
    EXPECT_EQ(file.Text("/", "start_time"), "2023-11-14T22:13:20.123456789Z");
    EXPECT_EQ(file.Text("/time_ns", "units"), "nanoseconds since 2023-11-14T22:13:20.123456789Z");
    EXPECT_EQ(file.Int("/", "sampling_frequency"), 10'485'760);
    EXPECT_EQ(file.Text("/", "program"), "QV+Analog");
    EXPECT_FALSE(file.Text("/", "program_version").empty());
    EXPECT_EQ(file.Text("/", "source_session"), "unsaved");  // no settings file yet

    // Full scale per channel: 100 mV, 4 V, 5 V (x10 probe), 40 V (x10 probe).
    const double fullScale[] = {0.1, 4.0, 5.0, 40.0};
    const std::int64_t probes[] = {1, 1, 10, 10};
    for (std::size_t c = 0; c < 4; ++c) {
        SCOPED_TRACE(kChannels[c]);
        EXPECT_EQ(file.Text(kChannels[c], "units"), "V");
        EXPECT_DOUBLE_EQ(file.Double(kChannels[c], "add_offset"), -fullScale[c]);
        EXPECT_DOUBLE_EQ(file.Double(kChannels[c], "scale_factor"), 2 * fullScale[c] / 16383);
        EXPECT_EQ(file.Int(kChannels[c], "range_mV"), std::llround(fullScale[c] * 1000));
        EXPECT_EQ(file.Int(kChannels[c], "probe_factor"), probes[c]);
        EXPECT_EQ(file.Int(kChannels[c], "enabled"), c == 3 ? 0 : 1);
        EXPECT_EQ(file.Layout(kChannels[c]), std::make_pair(hsize_t{1000}, true));
    }
    EXPECT_EQ(file.Text("/ch1", "long_name"), "Channel 1");
    EXPECT_EQ(file.Text("/ch4", "long_name"), "ポンプ電流");
}

TEST_F(Hdf5ExportTest, CfScalingReproducesTheValueTextOfEveryCodeOfEveryRangeAndProbe) {
    Builder().AddFile(0, 1);
    ASSERT_TRUE(owner.OpenReport());
    auto& settings = owner.session->GetSettings();
    for (int probe = 0; probe < 2; ++probe) {
        for (int range = 0; range < 6; ++range) {
            SCOPED_TRACE(testing::Message() << "probe " << probe << " range " << range);
            settings.channelVoltages[0] = range;
            settings.visualSettings.tracks[0].probeAttenuationRatio = probe;
            ASSERT_TRUE(model.ExportHdf5(out, -1, -1, nullptr));
            Hdf5File file(out);
            const double scale = file.Double("/ch1", "scale_factor");
            const double offset = file.Double("/ch1", "add_offset");
            for (std::uint16_t code = 0; code <= qvx::kRawSampleMax; ++code) {
                const std::string text = owner.graph->OnMakeDisplayValue(0, qvx::CentredSample(code));
                // The text is the value rounded down to its decimals, in mV or V.
                const bool milli = text.ends_with("mV");
                const double shown = std::stod(text) / (milli ? 1000.0 : 1.0);
                const auto dot = text.find('.');
                const auto decimals =
                    static_cast<int>(text.find_first_not_of("0123456789", dot + 1) - dot - 1);
                const double step = std::pow(10.0, -decimals) / (milli ? 1000.0 : 1.0);
                const double volts = code * scale + offset;
                ASSERT_LE(shown, volts + 1e-9) << code << " " << text;
                ASSERT_LT(volts - shown, step - 1e-9 * step + 1e-9) << code << " " << text;
            }
        }
    }
}

TEST_F(Hdf5ExportTest, TimeRangeAcrossTwoReportFiles) {
    // File 0 is full (sparse: its last block is written), file 1 holds 1000 records;
    // time = index x 100 ns.
    auto builder = Builder();
    builder.AddFile(0, kPerFile, qvx::test::ReportBuilder::kSparse).AddFile(1, 1000);
    ASSERT_TRUE(owner.OpenReport());
    const auto fromNs = static_cast<std::int64_t>((kPerFile - 300) * 100);
    const auto toNs = static_cast<std::int64_t>((kPerFile + 299) * 100);
    const auto rows = model.RowsOfTimeRange(fromNs, toNs);
    ASSERT_EQ(rows, Pair(kPerFile - 300, kPerFile + 300));
    std::string error;
    ASSERT_TRUE(model.ExportHdf5(out, static_cast<std::int64_t>(rows->first),
                                 static_cast<std::int64_t>(rows->second) - 1, nullptr, {256, 0}, &error))
        << error;
    ExpectRecords(builder, kPerFile - 300, 600);
    EXPECT_EQ(Hdf5File(out).Layout("/ch2"), std::make_pair(hsize_t{256}, false));
}

TEST_F(Hdf5ExportTest, TimeRangeEdges) {
    Builder().AddFile(0, 100);  // times 0, 100, ..., 9900 ns
    ASSERT_TRUE(owner.OpenReport());
    EXPECT_EQ(model.RowsOfTimeRange(0, 9900), Pair(0, 100));
    EXPECT_EQ(model.RowsOfTimeRange(0, 1'000'000), Pair(0, 100));
    EXPECT_EQ(model.RowsOfTimeRange(101, 399), Pair(2, 4));  // both ends between two records
    EXPECT_EQ(model.RowsOfTimeRange(300, 300), Pair(3, 4));  // exactly one record
    EXPECT_EQ(model.RowsOfTimeRange(301, 399), Pair(4, 4));  // none
    EXPECT_EQ(model.RowsOfTimeRange(20'000, 30'000), Pair(100, 100));
    EXPECT_EQ(model.RowsOfTimeRange(500, 400), std::nullopt);
    EXPECT_EQ(model.RowsOfTimeRange(-1, 400), std::nullopt);
}

TEST_F(Hdf5ExportTest, RotatedReportExportsWhatIsStored) {
    auto builder = Builder();
    builder.AddFile(2, 700);  // files 0 and 1 were removed by rotation
    ASSERT_TRUE(owner.OpenReport());
    ASSERT_TRUE(model.ExportHdf5(out, -1, -1, nullptr, {128, 1}));
    ExpectRecords(builder, 2 * kPerFile, 700);
    // A time range before the first stored record selects from it on.
    const auto rows = model.RowsOfTimeRange(0, static_cast<std::int64_t>((2 * kPerFile + 9) * 100));
    EXPECT_EQ(rows, Pair(0, 10));
}

TEST_F(Hdf5ExportTest, FailuresAndCancelsLeaveTheTargetAsItWas) {
    Builder().AddFile(0, 3 * qvx::ReportFile::kBlockRecords);
    ASSERT_TRUE(owner.OpenReport());
    const std::string before = "an older file the user keeps";
    { std::ofstream(out) << before; }
    qvx::test::LogCapture log;
    std::string error;
    // A full disk (files cannot grow past 64 KiB).
    {
        qvx::test::FileSizeLimit limit(64 << 10);
        EXPECT_FALSE(model.ExportHdf5(out, -1, -1, nullptr, {1024, 0}, &error));
    }
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadWholeFile(out), before);

    // A cancel at the first progress report.
    qvx::ProgressToken token({}, {});
    token.RequestCancel();
    EXPECT_FALSE(model.ExportHdf5(out, -1, -1, &token, {}, &error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(ReadWholeFile(out), before);

    // A record that cannot be read: the report file shrinks while the export runs.
    const auto dat = owner.session->GetReportFolderPath() / "00000000.DAT";
    ASSERT_TRUE(qvx::Dispatcher::AttachMain(qvx::Dispatcher::kSynchronous));
    qvx::ProgressToken shrinking(
        [&](std::int64_t, std::int64_t) {
            std::filesystem::resize_file(dat, 512 + qvx::ReportFile::kBlockRecords * 16);
        },
        {});
    std::uint64_t unreadableRow = 0;
    const bool exported = model.ExportHdf5(out, -1, -1, &shrinking, {}, &error, &unreadableRow);
    qvx::Dispatcher::DestroyMain();
    EXPECT_FALSE(exported);
    EXPECT_EQ(unreadableRow, qvx::ReportFile::kBlockRecords + 1);
    EXPECT_EQ(ReadWholeFile(out), before);

    // Nothing but the kept file is left in the folder (no temporary file).
    EXPECT_EQ(qvx::test::FolderEntries(dir.Path()), (std::vector<std::string>{"out.h5", "session"}));

    // A missing folder, a device and the session's own files are refused.
    EXPECT_FALSE(model.ExportHdf5(dir.Path() / "missing" / "x.h5", -1, -1, nullptr, {}, &error));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
    EXPECT_FALSE(model.ExportHdf5("/dev/null", -1, -1, nullptr, {}, &error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(model.ExportHdf5(dat, -1, -1, nullptr, {}, &error));
    EXPECT_NE(error.find("is a file of the session"), std::string::npos) << error;
}

TEST_F(Hdf5ExportTest, CsvOnAFullDiskKeepsTheOldFileAndASuccessReplacesIt) {
    Builder().AddFile(0, 20'000);
    ASSERT_TRUE(owner.OpenReport());
    const auto csv = dir.Path() / "out.csv";
    { std::ofstream(csv) << "old"; }
    qvx::test::LogCapture log;
    {
        qvx::test::FileSizeLimit limit(64 << 10);
        EXPECT_FALSE(model.ExportCsv(csv, -1, -1, nullptr));
    }
    EXPECT_TRUE(log.Contains("write failed"));
    EXPECT_EQ(ReadWholeFile(csv), "old");
    EXPECT_EQ(qvx::test::FolderEntries(dir.Path()), (std::vector<std::string>{"out.csv", "session"}));
    // Through a symbolic link the file it names is replaced; the link stays.
    std::filesystem::create_symlink(csv, dir.Path() / "link.csv");
    ASSERT_TRUE(model.ExportCsv(dir.Path() / "link.csv", 0, 0, nullptr));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.Path() / "link.csv"));
    EXPECT_EQ(qvx::test::CountLines(ReadWholeFile(csv)), 2u);
}

TEST(Hdf5Writer, RefusesMoreOrFewerRecordsThanAnnounced) {
    qvx::test::TempDir dir("hdf5writer");
    qvx::test::LogCapture log;
    QVxAnalogHdf5Header header;
    header.recordCount = 3;
    const std::int64_t times[4] = {0, 10, 20, 30};
    const std::uint16_t codes[4] = {1, 2, 3, 4};
    const std::array<const std::uint16_t*, 4> columns{codes, codes, codes, codes};
    {
        QVxAnalogHdf5Writer writer;
        ASSERT_TRUE(writer.Create(dir.Path() / "a.h5", header));
        EXPECT_FALSE(writer.Append(times, columns, 4));
    }
    {
        QVxAnalogHdf5Writer writer;
        ASSERT_TRUE(writer.Create(dir.Path() / "a.h5", header));
        ASSERT_TRUE(writer.Append(times, columns, 2));
        EXPECT_FALSE(writer.Finish());
        EXPECT_NE(writer.GetError().find("2 of 3 records"), std::string::npos);
    }
    EXPECT_TRUE(qvx::test::FolderEntries(dir.Path()).empty());
}

TEST(Hdf5Writer, ChunksMustComeInOrderAndWithinTheRecordsAnnounced) {
    qvx::test::TempDir dir("hdf5chunks");
    qvx::test::LogCapture log;
    QVxAnalogHdf5Header header;
    header.recordCount = 6;
    std::int64_t times[4] = {0, 10, 20, 30};
    std::uint16_t codes[4] = {1, 2, 3, 4};
    const std::array<QVxAnalogHdf5Writer::ChunkBytes, QVxAnalogHdf5Writer::kDatasetCount> chunk{
        {{times, sizeof times},
         {codes, sizeof codes},
         {codes, sizeof codes},
         {codes, sizeof codes},
         {codes, sizeof codes}}};
    {
        QVxAnalogHdf5Writer writer;
        ASSERT_TRUE(writer.Create(dir.Path() / "a.h5", header, {.chunkRecords = 4, .deflateLevel = 0}));
        EXPECT_EQ(writer.GetChunkRecords(), 4u);
        EXPECT_FALSE(writer.WriteChunk(4, 2, chunk));  // the chunk at record 0 is missing
    }
    {
        QVxAnalogHdf5Writer writer;
        ASSERT_TRUE(writer.Create(dir.Path() / "a.h5", header, {.chunkRecords = 4, .deflateLevel = 0}));
        ASSERT_TRUE(writer.WriteChunk(0, 4, chunk));
        EXPECT_FALSE(writer.WriteChunk(4, 4, chunk));  // two records past the end
        EXPECT_NE(writer.GetError().find("2 records more than the 6 announced"), std::string::npos);
    }
    EXPECT_TRUE(qvx::test::FolderEntries(dir.Path()).empty());
}

}  // namespace

namespace {

// Exit status of a shell command.
int RunShell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Hdf5ExportTest, H5pyReadsATimeRangeInVoltsAsTheDataListShowsThem) {
    const std::string python = QVX_SYSTEM_PYTHON;
    if (RunShell(python + " -c 'import h5py' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << python
                     << " cannot import h5py (Debian package python3-h5py, installed by scripts/setup.sh)";
    UseMixedChannelSettings();
    Builder().SampleValues(&WideSamples).AddFile(0, 5000);
    ASSERT_TRUE(owner.OpenReport());
    const auto rows = model.RowsOfTimeRange(123'450, 345'678);  // records 1235 to 3456
    ASSERT_EQ(rows, Pair(1235, 3457));
    const auto first = static_cast<std::int64_t>(rows->first);
    const auto last = static_cast<std::int64_t>(rows->second) - 1;
    const auto csv = dir.Path() / "range.csv";
    ASSERT_TRUE(model.ExportHdf5(out, first, last, nullptr));
    ASSERT_TRUE(model.ExportCsv(csv, first, last, nullptr));
    EXPECT_EQ(
        RunShell(python + " '" + QVX_H5PY_CHECK_SCRIPT + "' '" + out.string() + "' '" + csv.string() + "'"),
        0);
}

}  // namespace

// A recording not saved yet has no lasting place (its folder moves when it is saved): it
// says so; once saved, the settings file names it.
TEST_F(Hdf5ExportTest, SourceSessionIsUnsavedUntilTheRecordingIsSavedAndThenItsSettingsFile) {
    Builder().AddFile(0, 100);
    ASSERT_TRUE(owner.OpenReport());
    owner.session->SetFreshRecording(true);  // this run's trace
    qvx::AnalogSettings settings = owner.session->GetSettings();
    ASSERT_TRUE(qvx::Archive::Save(settings, owner.session->GetRecordingSettingsPath()));
    std::string error;
    ASSERT_TRUE(model.ExportHdf5(out, -1, -1, nullptr, {1000, 1}, &error)) << error;
    EXPECT_EQ(Hdf5File(out).Text("/", "source_session"), "unsaved");

    const std::filesystem::path saved = dir.Path() / "kept" / "kept.qvxa";
    std::filesystem::create_directories(saved.parent_path());
    ASSERT_EQ(owner.session->SaveAs(saved, nullptr), qvx::AnalogSession::kSaved);
    const std::filesystem::path again = dir.Path() / "again.h5";
    ASSERT_TRUE(model.ExportHdf5(again, -1, -1, nullptr, {1000, 1}, &error)) << error;
    EXPECT_EQ(Hdf5File(again).Text("/", "source_session"), saved.string());
}
