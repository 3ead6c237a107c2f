// qvanalog image and report: the forms of each command, the files they write, and every
// refusal (exit status 1, a message naming the option, an existing output left as it was).
// With QVX_LARGE_TEST_DIR set, an SVG of a fully zoomed-out recording of 2^26 records
// (1 GiB, made in that folder and removed after) is checked to stay under 5 MB.

#include "tools/qvanalog/tests/QvanalogRunner.h"

#include "QVxCore/tests/support/ReportBuilder.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using qvanalog_test::RunQvanalog;
using qvanalog_test::Slurp;

// Standard output of a shell command, or empty when it failed.
std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        if (::pclose(pipe) != 0) out.clear();
    }
    return out;
}

class PictureCommands : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new qvx::test::TempDir("picture-commands");
        const auto made =
            RunQvanalog({"make-demo-report", (s_dir->Path() / "demo").string(), "--records", "300000"});
        ASSERT_EQ(made.status, 0) << made.err;
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    static std::string Demo() { return (s_dir->Path() / "demo").string(); }
    static std::string Out(const std::string& name) { return (s_dir->Path() / name).string(); }
    static qvx::test::TempDir* s_dir;
};
qvx::test::TempDir* PictureCommands::s_dir = nullptr;

TEST_F(PictureCommands, ImageWritesPngAndSvgOfTheChosenSpanAndSize) {
    auto r = RunQvanalog({"image", Demo(), "--out", Out("whole.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(QImage(QString::fromStdString(Out("whole.png"))).size(), QSize(1280, 800));

    r = RunQvanalog({"image", Demo(), "--from", "1000000", "--to", "9000000", "--width", "900", "--height",
                     "600", "--dark", "--markers", "2000000,5000000", "--out", Out("span.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    const QImage span(QString::fromStdString(Out("span.png")));
    EXPECT_EQ(span.size(), QSize(900, 600));
    EXPECT_LT(QColor(span.pixel(600, 300)).lightness(), 100) << "the dark look's waveform background";

    r = RunQvanalog({"image", Demo(), "--markers", "2000000,5000000", "--out", Out("whole.SVG")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string svg = Slurp(Out("whole.SVG"));
    EXPECT_NE(svg.find("viewBox=\"0 0 1280 800\""), std::string::npos);
    for (const char* text : {">Channel 1<", ">Channel 4<", "Marker1 (M1)", "<title>demo</title>"})
        EXPECT_NE(svg.find(text), std::string::npos) << text;
}

TEST_F(PictureCommands, ReportWritesAPdfInTheChosenLanguage) {
    const auto r = RunQvanalog(
        {"--lang", "en", "report", Demo(), "--from", "0", "--to", "20000000", "--out", Out("report.pdf")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("pages"), std::string::npos);
    EXPECT_NE(Shell("pdfinfo '" + Out("report.pdf") + "'").find("Pages:"), std::string::npos);
    const std::string text = Shell("pdftotext -layout '" + Out("report.pdf") + "' -");
    for (const char* expected : {"Measurement report: demo", "300,000", "Visible range: 0 ns - 20000000 ns",
                                 "Display-trigger hits: 0", "No display-trigger hits.", "QV+Analog "})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

TEST_F(PictureCommands, EveryRefusalNamesItsOptionAndLeavesTheOutputAsItWas) {
    const std::string kept = Out("kept.png");
    { std::ofstream(kept) << "old"; }
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::string demo = Demo();
    const std::vector<Case> cases = {
        {{"image", demo, "--out", kept, "--zoom", "2"}, "unknown option --zoom"},
        {{"image", demo}, "--out FILE is required"},
        {{"image", demo, "--out", Out("x.gif")}, "--out must name a .png or .svg file"},
        {{"image", demo, "--out", Out("missing/x.png")}, "--out: no such folder"},
        {{"image", demo, "--out", s_dir->Path().string() + "/demo.png/"}, "--out"},
        {{"image", demo, "--from", "10", "--out", kept}, "--from and --to need whole numbers"},
        {{"image", demo, "--from", "x", "--to", "10", "--out", kept}, "--from and --to need whole numbers"},
        {{"image", demo, "--from", "10", "--to", "10", "--out", kept}, "--from must be less than --to"},
        {{"image", demo, "--from", "-5", "--to", "10", "--out", kept}, "--from must be 0 or more"},
        {{"image", demo, "--width", "900", "--out", kept}, "--width and --height need"},
        {{"image", demo, "--width", "20", "--height", "600", "--out", kept}, "--width and --height need"},
        {{"image", demo, "--width", "90000", "--height", "600", "--out", kept}, "--width and --height need"},
        {{"image", demo, "--markers", "100", "--out", kept}, "--markers needs M1NS,M2NS"},
        {{"image", demo, "--markers", "1,-2", "--out", kept}, "--markers needs M1NS,M2NS"},
        {{"image", "--out", kept}, "expected one PATH argument"},
        {{"image", demo, demo, "--out", kept}, "expected one PATH argument"},
        {{"image", Out("nothing-here"), "--out", kept}, "nothing-here"},
        {{"image", demo, "--out", kept, "--out", kept}, "--out is given more than once"},
        {{"report", demo, "--out", kept}, "--out must name a .pdf file"},
        {{"report", demo, "--dark", "--out", Out("r.pdf")}, "unknown option --dark"},
        {{"report", demo, "--to", "5", "--out", Out("r.pdf")}, "--from and --to need whole numbers"},
        {{"report", demo}, "--out FILE is required"},
    };
    for (const Case& c : cases) {
        const auto r = RunQvanalog(c.args);
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        EXPECT_EQ(r.status, 1) << joined;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << joined << "\n" << r.err;
    }
    EXPECT_EQ(Slurp(kept), "old");
    EXPECT_FALSE(fs::exists(Out("r.pdf")));
}

TEST(LargePicture, SvgOfAZoomedOutRecordingOf2Pow26RecordsStaysUnder5MB) {
    // 1.1 GiB of records in the temporary folder, or in QVX_LARGE_TEST_DIR when that is set.
    const char* base = std::getenv("QVX_LARGE_TEST_DIR");
    qvx::test::TempDir temp("picture-2pow26");
    const fs::path dir = base && *base ? fs::path(base) / "picture-2pow26" : temp.Path();
    fs::remove_all(dir);
    fs::create_directories(dir);
    if (fs::space(dir).available < (std::uintmax_t{3} << 30))
        GTEST_SKIP() << "less than 3 GiB free in " << dir.string();
    // A 1 kHz sine on CH1 and noise-like codes on CH2 at 100 ns per record: every column
    // of the zoomed-out window holds a full swing.
    qvx::test::ReportBuilder(dir / "repo")
        .SampleValues([](std::uint64_t i) -> qvx::test::Samples {
            const auto saw = static_cast<std::uint16_t>((i * 7) % 16384);
            const auto tri = static_cast<std::uint16_t>(i % 20000 < 10000 ? i % 10000 : 10000 - i % 10000);
            return {saw, static_cast<std::uint16_t>((i * 2654435761u) >> 18 & 16383), tri, 8192};
        })
        .AddFile(0, std::uint64_t{1} << 25)
        .AddFile(1, std::uint64_t{1} << 25);
    const std::string svg = (dir / "whole.svg").string();
    const auto r = RunQvanalog({"image", (dir / "repo").string(), "--out", svg}, 600);
    EXPECT_EQ(r.status, 0) << r.err;
    const auto bytes = fs::file_size(svg);
    std::cout << "SVG of 2^26 records, zoomed out: " << bytes << " bytes\n";
    EXPECT_LT(bytes, 5u * 1000 * 1000);
    fs::remove_all(dir);
}

}  // namespace
