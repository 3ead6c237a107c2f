#include "SpectrogramPicture.h"

#include "QV+AnalogCore/Analysis/ReportSpectrum.h"
#include "QV+AnalogCore/Analysis/SpectrumPlotSupport.h"
#include "QV+AnalogCore/Export/QVxExportTarget.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

namespace qvanalog {

namespace {

using qvx::analog::FrequencyAxis;
using qvx::analog::Spectrogram;

constexpr int kPlotWidth = 1000;
constexpr int kPlotHeight = 500;
constexpr int kLeft = 90, kTop = 40, kRight = 110, kBottom = 60;
constexpr int kScaleWidth = 20;

// Qt's notes while it starts (e.g. that XDG_RUNTIME_DIR is not set, as under sudo or cron)
// go to the debug log rather than to the command's error output.
void QtMessageToLog(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        spdlog::error("Qt: {}", message.toStdString());
    } else {
        spdlog::debug("Qt: {}", message.toStdString());
    }
}

// Text needs a QGuiApplication; a command line has no display, so the offscreen platform.
std::unique_ptr<QGuiApplication> GuiForFonts() {
    if (QGuiApplication::instance()) return nullptr;
    qInstallMessageHandler(&QtMessageToLog);
    static int argc = 3;
    static char arg0[] = "qvanalog", arg1[] = "-platform", arg2[] = "offscreen";
    static char* argv[] = {arg0, arg1, arg2, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

QColor LevelColor(double fraction) {
    const auto rgb = qvx::analog::SpectrogramColor(fraction);
    return QColor(rgb[0], rgb[1], rgb[2]);
}

// The picture's pixels: each takes the column under it and the row of its frequency.
void PaintCells(QImage& image, const Spectrogram& s, const FrequencyAxis& axis, double binHz,
                std::array<double, 2> levels) {
    const double rowHz = binHz * static_cast<double>(s.binsPerRow);
    for (int y = 0; y < kPlotHeight; ++y) {
        const double hz = axis.HzAt(1.0 - (y + 0.5) / kPlotHeight);
        const auto row =
            std::min(static_cast<std::size_t>(std::max(0.0, std::round(hz / rowHz))), s.rows - 1);
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(kTop + y));
        for (int x = 0; x < kPlotWidth; ++x) {
            const auto column = std::min(static_cast<std::size_t>(x) * s.columns / kPlotWidth, s.columns - 1);
            const float v = s.At(column, row);
            line[kLeft + x] = std::isnan(v) ? qRgb(255, 255, 255)
                                            : LevelColor((v - levels[0]) / (levels[1] - levels[0])).rgb();
        }
    }
}

void PaintAxes(QPainter& p, const Spectrogram& s, const FrequencyAxis& axis, std::array<double, 2> levels,
               int channel) {
    p.setPen(Qt::black);
    p.drawRect(kLeft - 1, kTop - 1, kPlotWidth + 1, kPlotHeight + 1);
    const QFontMetrics metrics(p.font());
    // Time: seconds from the recording's start.
    const double fromS = static_cast<double>(s.fromNs) * 1e-9, toS = static_cast<double>(s.toNs) * 1e-9;
    for (double t : qvx::analog::LinearTicks(fromS, toS, 8)) {
        const int x = kLeft + static_cast<int>(std::lround((t - fromS) / (toS - fromS) * kPlotWidth));
        p.drawLine(x, kTop + kPlotHeight, x, kTop + kPlotHeight + 5);
        const QString text = QString::fromStdString(fmt::format("{:g}", t));
        p.drawText(x - metrics.horizontalAdvance(text) / 2, kTop + kPlotHeight + 8 + metrics.ascent(), text);
    }
    p.drawText(QRect(kLeft, kTop + kPlotHeight + 28, kPlotWidth, 24), Qt::AlignCenter,
               QStringLiteral("time (s)"));
    const auto ticks = axis.logarithmic ? qvx::analog::DecadeTicks(axis.lowHz, axis.highHz)
                                        : qvx::analog::LinearTicks(axis.lowHz, axis.highHz, 8);
    for (double hz : ticks) {
        const int y = kTop + kPlotHeight - static_cast<int>(std::lround(axis.FractionOf(hz) * kPlotHeight));
        p.drawLine(kLeft - 5, y, kLeft, y);
        const QString text = QString::fromStdString(qvx::analog::FrequencyText(hz));
        p.drawText(kLeft - 8 - metrics.horizontalAdvance(text), y + metrics.ascent() / 2, text);
    }
    p.drawText(QRect(0, 8, kLeft + kPlotWidth, 24), Qt::AlignCenter,
               QStringLiteral("CH%1 spectrogram (frequency up, dBV in colour)").arg(channel + 1));
    // The colour scale.
    const int scaleX = kLeft + kPlotWidth + 20;
    for (int y = 0; y < kPlotHeight; ++y) {
        p.setPen(LevelColor(1.0 - (y + 0.5) / kPlotHeight));
        p.drawLine(scaleX, kTop + y, scaleX + kScaleWidth, kTop + y);
    }
    p.setPen(Qt::black);
    p.drawRect(scaleX - 1, kTop - 1, kScaleWidth + 1, kPlotHeight + 1);
    for (double db : qvx::analog::LinearTicks(levels[0], levels[1], 8)) {
        const int y = kTop + kPlotHeight -
                      static_cast<int>(std::lround((db - levels[0]) / (levels[1] - levels[0]) * kPlotHeight));
        p.drawLine(scaleX + kScaleWidth, y, scaleX + kScaleWidth + 4, y);
        p.drawText(scaleX + kScaleWidth + 7, y + metrics.ascent() / 2, QString::number(db, 'g', 4));
    }
    p.drawText(scaleX - 4, kTop - 8, QStringLiteral("dBV"));
}

}  // namespace

bool WriteSpectrogramPng(const qvx::analog::SpectrumResult& result, bool logFrequency,
                         const std::filesystem::path& path) {
    if (!result.spectrogram || result.spectrogram->columns == 0) return false;
    const auto gui = GuiForFonts();
    const Spectrogram& s = *result.spectrogram;
    const FrequencyAxis axis = FrequencyAxis::Of(result, logFrequency);
    const auto levels = qvx::analog::SpectrogramLevelRange(s);
    QImage image(kLeft + kPlotWidth + kRight, kTop + kPlotHeight + kBottom, QImage::Format_RGB32);
    image.fill(Qt::white);
    PaintCells(image, s, axis, result.FrequencyHz(1), levels);
    {
        QPainter painter(&image);
        PaintAxes(painter, s, axis, levels, result.channel);
    }
    QVxExportTarget target(path);
    const int fd = target.OpenForWriting();
    if (fd < 0) {
        spdlog::error("Cannot create {}: {}", target.WritePath().string(), std::strerror(errno));
        return false;
    }
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle) || !image.save(&file, "PNG") ||
        !file.flush() || ::fsync(fd) != 0) {
        spdlog::error("Cannot write {}", target.WritePath().string());
        file.close();
        return false;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) return false;
    return target.Commit();
}

}  // namespace qvanalog
