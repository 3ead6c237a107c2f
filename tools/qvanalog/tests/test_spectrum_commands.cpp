// qvanalog spectrum and spectrogram, run as the built program on generated reports: the
// JSON's figures and arrays, the CSV and the PNG (each replacing its file only when complete),
// and the refusals with the option they name.

#include "QVxCore/AnalogSettings.h"
#include "QVxCore/tests/support/ReportBuilder.h"

#include "tools/qvanalog/tests/QvanalogRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <numbers>

namespace fs = std::filesystem;
using qvanalog_test::Result;
using qvanalog_test::RunQvanalog;
using qvanalog_test::Slurp;
using qvx::test::ReportBuilder;
using qvx::test::TempDir;

namespace {

constexpr std::uint64_t kRecords = 40'000;  // 100 ns apart: 10 MHz
constexpr double kToneHz = 250'123.0;
constexpr double kAmplitudeCodes = 4000;

// A session "s.qvxa" beside the report folder "repo": CH1 a tone with a 2nd harmonic 40 dB
// below it, CH2 off in the session.
class SpectrumCommands : public ::testing::Test {
protected:
    void SetUp() override {
        ReportBuilder(dir.Path() / "repo")
            .SampleValues([](std::uint64_t i) {
                const double phase = 2 * std::numbers::pi * kToneHz * static_cast<double>(i) * 100e-9;
                const double v =
                    8192 + kAmplitudeCodes * std::sin(phase) + kAmplitudeCodes / 100 * std::sin(2 * phase);
                return qvx::test::Samples{static_cast<std::uint16_t>(std::lround(v)), 8192, 8192, 8192};
            })
            .AddFile(0, kRecords);
        ASSERT_EQ(RunQvanalog({"settings", "init", session.string()}).status, 0);
        auto settings = nlohmann::json::parse(Slurp(session));
        settings["value0"]["visualSettings"]["tracks"][1]["enabled"] = false;
        std::ofstream(session) << settings.dump(4);
    }
    TempDir dir{"spectrum-cli"};
    fs::path session = dir.Path() / "s.qvxa";
};

TEST_F(SpectrumCommands, JsonHoldsTheSpectrumAndItsFigures) {
    const Result r = RunQvanalog({"spectrum", session.string(), "--channel", "1", "--nfft", "4096",
                                  "--window", "flattop", "--from", "0", "--to", "3000000", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j.at("channel"), 1);
    EXPECT_EQ(j.at("from"), 0);
    EXPECT_EQ(j.at("to"), 3'000'000);
    EXPECT_DOUBLE_EQ(j.at("sampleRateHz").get<double>(), 10e6);
    EXPECT_EQ(j.at("nfft"), 4096);
    EXPECT_EQ(j.at("window"), "flattop");
    EXPECT_EQ(j.at("segments"), (30'000 - 4096) / 2048 + 1);
    for (const char* key : {"frequencyHz", "vrms", "dbv", "psd"}) EXPECT_EQ(j.at(key).size(), 2049u) << key;
    EXPECT_DOUBLE_EQ(j["frequencyHz"][1].get<double>(), 10e6 / 4096);
    // The session's range of CH1: volts = (code - 8191.5) x 2F / 16383.
    const qvx::AnalogSettings defaults;
    const double volts = kAmplitudeCodes * 2 * defaults.GetChannelRangeMilliVolts(0) / 1000.0 / 16383;
    const auto& peak = j.at("peaks").at(0);
    EXPECT_NEAR(peak.at("frequencyHz").get<double>(), kToneHz, 0.01 * 10e6 / 4096);
    EXPECT_NEAR(peak.at("dbv").get<double>(), 20 * std::log10(volts / std::sqrt(2.0)), 0.02);
    EXPECT_NEAR(j.at("thdDb").get<double>(), -40, 0.1);
    EXPECT_NEAR(j.at("fundamentalHz").get<double>(), kToneHz, 0.01 * 10e6 / 4096);
    for (const char* key : {"enbwHz", "snrDb", "sinadDb", "sfdrDb", "enob"})
        EXPECT_TRUE(j.at(key).is_number()) << key;

    // Without a span: the whole report, and N the largest power of two giving 8 segments.
    const Result whole =
        RunQvanalog({"spectrum", (dir.Path() / "repo").string(), "--channel", "2", "--json"});
    ASSERT_EQ(whole.status, 0) << whole.err;
    const auto w = nlohmann::json::parse(whole.out);
    EXPECT_EQ(w.at("nfft"), 8192);
    EXPECT_EQ(w.at("to"), static_cast<std::int64_t>(kRecords - 1) * 100 + 10);  // a tick after the last
    EXPECT_TRUE(w.at("peaks").empty()) << "CH2 holds a constant";
}

TEST_F(SpectrumCommands, CsvAndPngReplaceTheirFilesOnlyWhenComplete) {
    const fs::path csv = dir.Path() / "spectrum.csv";
    const fs::path png = dir.Path() / "picture.png";
    std::ofstream(csv) << "old";
    std::ofstream(png) << "old";
    // Refused: the files stay as they were.
    EXPECT_EQ(RunQvanalog(
                  {"spectrum", session.string(), "--channel", "1", "--nfft", "65536", "--csv", csv.string()})
                  .status,
              1);
    EXPECT_EQ(RunQvanalog({"spectrogram", session.string(), "--channel", "2", "--png", png.string()}).status,
              1);
    EXPECT_EQ(Slurp(csv), "old");
    EXPECT_EQ(Slurp(png), "old");

    const Result written = RunQvanalog(
        {"spectrum", session.string(), "--channel", "1", "--nfft", "1024", "--csv", csv.string()});
    ASSERT_EQ(written.status, 0) << written.err;
    std::ifstream in(csv);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "frequency_Hz,vrms_V,dBV,psd_V2_per_Hz");
    int rows = 0;
    while (std::getline(in, line)) ++rows;
    EXPECT_EQ(rows, 513);

    const Result drawn = RunQvanalog({"spectrogram", session.string(), "--channel", "1", "--nfft", "256",
                                      "--columns", "100", "--log-frequency", "--png", png.string()});
    ASSERT_EQ(drawn.status, 0) << drawn.err;
    EXPECT_NE(drawn.out.find("100 columns"), std::string::npos) << drawn.out;
    EXPECT_EQ(Slurp(png).substr(1, 3), "PNG");
}

TEST_F(SpectrumCommands, BadArgumentsAreRefusedNamingTheOption) {
    const std::string s = session.string();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"spectrum", s}, "--channel"},
        {{"spectrum", s, "--channel", "0"}, "--channel"},
        {{"spectrum", s, "--channel", "2"}, "--channel 2"},  // off in the session
        {{"spectrum", s, "--channel", "1", "--nfft", "1000"}, "--nfft"},
        {{"spectrum", s, "--channel", "1", "--nfft", "128"}, "--nfft"},
        {{"spectrum", s, "--channel", "1", "--nfft", "2097152"}, "--nfft"},
        {{"spectrum", s, "--channel", "1", "--nfft", "65536"}, "--nfft"},  // more than the records
        {{"spectrum", s, "--channel", "1", "--from", "0", "--to", "20000"}, "--from/--to"},
        {{"spectrum", s, "--channel", "1", "--from", "0"}, "--from and --to"},
        {{"spectrum", s, "--channel", "1", "--window", "hamming"}, "--window"},
        {{"spectrum", s, "--channel", "1", "--detrend", "linear"}, "--detrend"},
        {{"spectrum", s, "--channel", "1", "--json", "--csv", "x.csv"}, "--csv"},
        {{"spectrum", s, "--channel", "1", "--columns", "5"}, "unknown option"},
        {{"spectrum", s, "--channel", "1", "--csv", s}, "file of the session"},
        {{"spectrogram", s, "--channel", "1"}, "--png"},
        {{"spectrogram", s, "--channel", "1", "--columns", "2001", "--png", "x.png"}, "--columns"},
        {{"spectrogram", s, "--channel", "1", "--columns", "0", "--png", "x.png"}, "--columns"},
    };
    for (const auto& [args, reason] : cases) {
        const Result result = RunQvanalog(args);
        EXPECT_EQ(result.status, 1) << args.back();
        EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
        EXPECT_TRUE(result.out.empty()) << result.out;
    }
}

}  // namespace
