#include "QV+Analog/Pictures/QVxReportAnalysisSections.h"

#include "QV+Analog/Pictures/QVxReportDocument.h"
#include "QV+Analog/QVxAppText.h"

#include <QPainter>

#include <cmath>

namespace {

constexpr std::size_t kReportedPeaks = 5;

QString Decibels(const std::optional<double>& db) {
    return db && std::isfinite(*db) ? QString::number(*db, 'f', 2) + QStringLiteral(" dB")
                                    : QStringLiteral("-");
}

QString Hertz(double hz) {
    return QString::number(hz, 'g', 9) + QStringLiteral(" Hz");
}

QString Figure(double value) {
    return std::isfinite(value) ? QString::number(value, 'g', 6) : QStringLiteral("-");
}

QString Bound(const std::optional<double>& bound) {
    return bound ? QString::number(*bound, 'g', 9) : QString();
}

}  // namespace

void QVxReportSpectrumSection::Write(QVxReportDocument& document, const QVxReportContent&) const {
    if (!m_result || m_result->status != qvx::analog::SpectrumResult::Status::kDone) return;
    const auto& r = *m_result;
    const auto& f = r.figures;
    document.Heading(QVxAppString(kAppStringSpectrumTitle) + QStringLiteral(": CH%1").arg(r.channel + 1));
    const QStringList windows = QVxAppString(kAppStringSpectrumWindowNames).split(QLatin1Char('|'));
    const QStringList names = QVxAppString(kAppStringSpectrumFigureNames).split(QLatin1Char('|'));
    std::vector<std::pair<QString, QString>> rows = {
        {QVxAppString(kAppStringSpectrumWindowFunction), windows.value(static_cast<int>(r.window))},
        {QVxAppString(kAppStringSpectrumPoints),
         QVxAppString(kAppStringSpectrumSegments).arg(r.segments).arg(r.nfft).arg(Hertz(r.sampleRateHz))},
        {names.value(0), f.fundamentalHz ? Hertz(*f.fundamentalHz) : QStringLiteral("-")},
        {names.value(1), Decibels(f.thdDb)},
        {names.value(2), Decibels(f.snrDb)},
        {names.value(3), Decibels(f.sinadDb)},
        {names.value(4), Decibels(f.sfdrDb)},
        {names.value(5), f.enob ? QString::number(*f.enob, 'f', 2) : QStringLiteral("-")},
    };
    for (std::size_t i = 0; i < std::min(kReportedPeaks, f.peaks.size()); ++i) {
        const auto& peak = f.peaks[i];
        rows.emplace_back(
            QVxAppString(kAppStringSpectrumPeaks) + QStringLiteral(" %1").arg(i + 1),
            QStringLiteral("%1, %2 V RMS, %3 dBV")
                .arg(Hertz(peak.frequencyHz), Figure(peak.vrms), QString::number(peak.dbv, 'f', 2)));
    }
    document.KeyValues(rows);
    if (!m_plot.isNull()) {
        const QPixmap plot = m_plot;
        document.Picture(plot.deviceIndependentSize().toSize(),
                         [plot](QPainter& painter) { painter.drawPixmap(QPointF(0, 0), plot); });
    }
}

void QVxReportCycleSection::Write(QVxReportDocument& document, const QVxReportContent&) const {
    if (!m_result) return;
    const auto& request = m_result->request.cycles;
    const auto& r = m_result->result;
    document.Heading(QVxAppString(kAppStringCyclesTitle) + QStringLiteral(": CH%1, L = %2 mV, H = %3 mV")
                                                               .arg(request.channel + 1)
                                                               .arg(request.levelMv, 0, 'g', 7)
                                                               .arg(r.hysteresisMv, 0, 'g', 7));
    document.Paragraph(r.Pass() ? QVxAppString(kAppStringCyclesPass).arg(r.cycles)
                                : QVxAppString(kAppStringCyclesFail).arg(r.cycles).arg(r.violationCount));
    const QStringList parameters = QVxAppString(kAppStringCyclesParameters).split(QLatin1Char('|'));
    std::vector<QStringList> rows;
    for (std::size_t p = 0; p < qvx::analog::kCycleParameterCount; ++p) {
        const auto& s = r.stats[p];
        const bool any = s.count > 0;
        rows.push_back({parameters.value(static_cast<int>(p)), Bound(request.limits[p].lower),
                        Bound(request.limits[p].upper), QString::number(s.count),
                        any ? Figure(s.min) : QStringLiteral("-"), any ? Figure(s.max) : QStringLiteral("-"),
                        any ? Figure(s.mean) : QStringLiteral("-"), any ? Figure(s.std) : QStringLiteral("-"),
                        QString::number(r.violationsByParameter[p])});
    }
    document.Table(QVxAppString(kAppStringCyclesStatsColumns).split(QLatin1Char('|')), rows,
                   {5, 3, 3, 3, 3, 3, 3, 3, 2});
}
