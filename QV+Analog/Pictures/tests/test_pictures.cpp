// Pictures and reports of a stored recording through the headless monitor window: the
// clipboard, the PNG and the screen are one picture; the SVG keeps texts as vectors; a
// refused or failed save leaves the target as it was; the PDF report holds the session,
// the start time, the measured values and the hit list, checked with poppler-utils.
// Pictures go to QVX_SCREENSHOT_DIR when it is set, to be looked at.

#include "QV+Analog/Pictures/QVxPictureFile.h"
#include "QV+Analog/Pictures/QVxRecordingView.h"
#include "QV+Analog/Pictures/QVxReport.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "QVxWinCommon/QVxLanguage.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QSvgRenderer>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// 1 kHz sine on CH1, a 2 kHz square on CH2, CH3 and CH4 flat, at 100 ns per record.
qvx::test::Samples Signal(std::uint64_t index) {
    const double phase = 2 * M_PI * static_cast<double>(index) / 10000.0;
    const auto sine = static_cast<std::uint16_t>(8192 + std::lround(6000 * std::sin(phase)));
    const auto square = static_cast<std::uint16_t>((index / 2500) % 2 ? 12000 : 4000);
    return {sine, square, 8192, 9000};
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a poppler tool; its standard output, or empty when it failed.
QString RunTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

void KeepScreenshot(const QImage& image, const QString& name) {
    const QString dir = qEnvironmentVariable("QVX_SCREENSHOT_DIR");
    if (!dir.isEmpty()) image.save(dir + QLatin1Char('/') + name);
}

class PictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        qvx::test::ReportBuilder(Repo())
            .SampleValues(Signal)
            .StartTime(1'765'000'000, 123'456'789)
            .AddFile(0, 200'000);
        reader = qvx::ReportDataReader::Open(Repo());
        ASSERT_TRUE(reader);
        view = std::make_unique<QVxRecordingView>(reader, settings, false, QSize(1000, 700));
        view->ShowWhole();
        view->SetMarkers(5'000'000, 12'000'000);
    }
    void TearDown() override { QVxSetLanguage(QVxLanguage::kJapanese); }

    fs::path Repo() const { return dir.Path() / "repo"; }
    CQVxWaveformMonitorWnd& Window() { return view->Window(); }

    QVxReportContent Content(const qvx::AnalogDisplayTriggerList* hits) {
        QVxReportSource source;
        source.sessionName = QStringLiteral("bench-run-7");
        source.sessionPath = Repo();
        source.reader = reader.get();
        source.settings = &settings;
        source.hits = hits;
        const QVxReportSpan span = QVxChooseReportSpan(settings, 0, view->LastTimeNs() + 1);
        source.fromNs = span.fromNs;
        source.toNs = span.toNs;
        source.spanFromMarkers = span.fromMarkers;
        return QVxGatherReportContent(source);
    }

    std::optional<QString> WriteReport(const fs::path& path, const QVxReportContent& content) {
        QVxReport report = QVxReport::Standard(Window().size(), [this](QPainter& p) {
            CQVxWaveformPicture::PaintVectors(Window(), p, QRectF(QPointF(0, 0), Window().size()));
        });
        return report.Write(path, content, QDateTime(QDate(2026, 12, 9), QTime(10, 0)));
    }

    qvx::test::TempDir dir{"pictures"};
    qvx::AnalogSettings settings;
    qvx::ReportDataReaderPtr reader;
    std::unique_ptr<QVxRecordingView> view;
};

TEST_F(PictureTest, ClipboardPngAndScreenAreOnePictureAndTheSvgKeepsTexts) {
    const QImage shown = Window().grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_TRUE(Window().BmpCopyToClipboard());
    const QImage copied = QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
    const fs::path png = dir.Path() / "window.png";
    const fs::path svg = dir.Path() / "window.svg";
    ASSERT_EQ(QVxSavePicture(Window(), png, {}, QStringLiteral("t")), std::nullopt);
    ASSERT_EQ(QVxSavePicture(Window(), svg, {}, QStringLiteral("bench-run-7")), std::nullopt);
    const QImage saved = QImage(QString::fromStdString(png.string())).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(1000, 700));
    EXPECT_EQ(copied, shown);
    EXPECT_EQ(saved, shown);
    KeepScreenshot(saved, QStringLiteral("picture-window.png"));

    QSvgRenderer renderer(QString::fromStdString(svg.string()));
    ASSERT_TRUE(renderer.isValid());
    EXPECT_EQ(renderer.viewBox(), QRect(0, 0, 1000, 700));
    const std::string text = ReadText(svg);
    for (const char* name :
         {">Channel 1<", ">Channel 2<", ">Channel 3<", ">Channel 4<", ">CH1<", "Marker1 (M1)"})
        EXPECT_NE(text.find(name), std::string::npos) << name;
    // Only the settings buttons' icons and the check boxes are bitmaps: the tracks are vectors.
    std::size_t images = 0;
    for (std::size_t at = text.find("<image"); at != std::string::npos; at = text.find("<image", at + 1))
        ++images;
    EXPECT_LE(images, 8u);
    QImage rendered(1000, 700, QImage::Format_RGB32);
    rendered.fill(Qt::white);
    QPainter painter(&rendered);
    renderer.render(&painter);
    painter.end();
    KeepScreenshot(rendered, QStringLiteral("picture-window-svg.png"));
    // The SVG draws what the PNG shows: CH1's sine in CH1's track (rows 52 to 200), in
    // about as many pixels of its line colour.
    auto lineColourPixels = [](const QImage& image) {
        int n = 0;
        for (int y = 52; y < 200; ++y)
            for (int x = 270; x < 990; ++x) {
                const QColor c = image.pixelColor(x, y);
                n += c.red() > 180 && c.green() < 120 && c.blue() < 120;
            }
        return n;
    };
    const int inPng = lineColourPixels(saved), inSvg = lineColourPixels(rendered);
    EXPECT_GT(inPng, 1000);
    EXPECT_NEAR(inSvg, inPng, inPng / 2);
}

TEST_F(PictureTest, ChosenSizeAndScaleLayOutTheWindowAndPutItBack) {
    const QImage image = CQVxWaveformPicture::RenderImage(Window(), {QSize(800, 500), 2.0});
    EXPECT_EQ(image.size(), QSize(1600, 1000));
    EXPECT_EQ(Window().size(), QSize(1000, 700));
    const QImage again = CQVxWaveformPicture::RenderImage(Window());
    EXPECT_EQ(again, Window().grab().toImage().convertToFormat(QImage::Format_RGB32));
    EXPECT_FALSE(CQVxWaveformPicture::CheckSize({QSize(800, 500), 20.0}).isEmpty());
    EXPECT_FALSE(CQVxWaveformPicture::CheckSize({QSize(0, 500), 1.0}).isEmpty());
    EXPECT_FALSE(CQVxWaveformPicture::CheckSize({QSize(20000, 500), 1.0}).isEmpty());
}

TEST_F(PictureTest, RefusedOrFailedSavesLeaveTheTargetAsItWas) {
    const fs::path kept = dir.Path() / "kept.png";
    std::ofstream(kept) << "old";
    EXPECT_TRUE(QVxSavePicture(Window(), dir.Path() / "kept.bmp", {}, {}).has_value());
    EXPECT_TRUE(QVxSavePicture(Window(), dir.Path() / "missing" / "x.png", {}, {}).has_value());
    EXPECT_TRUE(QVxSavePicture(Window(), kept, {QSize(), 100.0}, {}).has_value());
    EXPECT_EQ(ReadText(kept), "old");
    // A complete save replaces it, and leaves no temporary file behind.
    ASSERT_EQ(QVxSavePicture(Window(), kept, {}, {}), std::nullopt);
    EXPECT_FALSE(QImage(QString::fromStdString(kept.string())).isNull());
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path())) files += entry.is_regular_file();
    EXPECT_EQ(files, 1);
    // A report to a folder that does not exist is refused the same way.
    EXPECT_TRUE(WriteReport(dir.Path() / "missing" / "r.pdf", Content(nullptr)).has_value());
}

TEST_F(PictureTest, ReportInBothLanguagesHoldsSessionStartTimeAndMeasuredValues) {
    qvx::AnalogDisplayTriggerList hits;
    for (int i = 0; i < 1500; ++i) hits.push_back({i * 100, i % 3 == 0 ? 2500 : 0});
    for (const QVxLanguage language : {QVxLanguage::kJapanese, QVxLanguage::kEnglish}) {
        QVxSetLanguage(language);
        const bool english = language == QVxLanguage::kEnglish;
        const QVxReportContent content = Content(&hits);
        ASSERT_EQ(content.measurement.status, qvx::analog::SpanMeasurement::Status::kDone);
        ASSERT_TRUE(content.spanFromMarkers);
        ASSERT_EQ(content.hits.size(), 1000u);
        const fs::path pdf = dir.Path() / (english ? "report-en.pdf" : "report-ja.pdf");
        ASSERT_EQ(WriteReport(pdf, content), std::nullopt);
        const QString path = QString::fromStdString(pdf.string());

        const QString info = RunTool(QStringLiteral("pdfinfo"), {path});
        const int pages =
            info.section(QStringLiteral("Pages:"), 1).trimmed().section(QLatin1Char('\n'), 0, 0).toInt();
        EXPECT_GE(pages, 3) << "page 1, then the list of 1000 hits over more pages";
        const QString text =
            RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
        EXPECT_TRUE(text.contains(QStringLiteral("bench-run-7")));
        EXPECT_TRUE(text.contains(QStringLiteral("2025-12-06 05:46:40.123456789 UTC")))
            << text.left(600).toStdString();
        EXPECT_TRUE(
            text.contains(english ? QStringLiteral("Measurement report") : QStringLiteral("測定レポート")));
        EXPECT_TRUE(text.contains(english ? QStringLiteral("1,500 hits; the first 1,000 listed")
                                          : QStringLiteral("1,500 件中 最初の 1,000 件")))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("200,000")));  // records
        for (const auto& ch : content.measurement.channels) {
            EXPECT_TRUE(text.contains(QString::number(ch.max, 'f', 6) + QStringLiteral(" V"))) << ch.channel;
            EXPECT_TRUE(text.contains(QString::number(ch.rms, 'f', 6) + QStringLiteral(" V"))) << ch.channel;
        }
        // The list stops at hit 1000 (data number 99,901) and the footer is on every page.
        EXPECT_TRUE(text.contains(QStringLiteral("99901")));
        EXPECT_FALSE(text.contains(QStringLiteral("100001")));
        EXPECT_EQ(text.count(QStringLiteral("QV+Analog ")), pages);

        const QString prefix =
            QString::fromStdString((dir.Path() / (english ? "page-en" : "page-ja")).string());
        RunTool(QStringLiteral("pdftoppm"),
                {QStringLiteral("-r"), QStringLiteral("80"), QStringLiteral("-f"), QStringLiteral("1"),
                 QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-singlefile"),
                 QStringLiteral("-png"), path, prefix});
        const QImage page(prefix + QStringLiteral(".png"));
        ASSERT_FALSE(page.isNull());
        KeepScreenshot(
            page, english ? QStringLiteral("report-page1-en.png") : QStringLiteral("report-page1-ja.png"));
        // The first page of the hit list, to look at as well.
        RunTool(QStringLiteral("pdftoppm"),
                {QStringLiteral("-r"), QStringLiteral("80"), QStringLiteral("-f"), QStringLiteral("2"),
                 QStringLiteral("-l"), QStringLiteral("2"), QStringLiteral("-singlefile"),
                 QStringLiteral("-png"), path, prefix + QStringLiteral("-2")});
        KeepScreenshot(
            QImage(prefix + QStringLiteral("-2.png")),
            english ? QStringLiteral("report-page2-en.png") : QStringLiteral("report-page2-ja.png"));
    }
}

}  // namespace
