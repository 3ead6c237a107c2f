#include "QV+Analog/Pictures/QVxReport.h"

#include "QV+Analog/Pictures/QVxReportDocument.h"
#include "QV+Analog/QVxAppText.h"
#include "QV+AnalogCore/Export/QVxExportTarget.h"

#include <QDateTime>
#include <QLocale>
#include <QPageSize>
#include <QPdfWriter>

#include <algorithm>

namespace {

QString Grouped(std::uint64_t n) {
    QString digits = QString::number(n);
    for (int i = digits.size() - 3; i > 0; i -= 3) digits.insert(i, QLatin1Char(','));
    return digits;
}

// "12.345678900 s": ns as seconds with every digit.
QString SecondsText(std::int64_t ns) {
    return QStringLiteral("%1.%2 s").arg(ns / 1'000'000'000).arg(ns % 1'000'000'000, 9, 10, QLatin1Char('0'));
}

QString BytesText(std::uint64_t bytes) {
    return QStringLiteral("%1 bytes (%2 MiB)")
        .arg(Grouped(bytes))
        .arg(static_cast<double>(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
}

QString VoltsText(std::int32_t milliVolts) {
    return QStringLiteral("±%1 V").arg(milliVolts / 1000.0, 0, 'g', 6);
}

QString Volts(double v) {
    return QString::number(v, 'f', 6) + QStringLiteral(" V");
}

}  // namespace

QString QVxReportTimeText(std::int64_t nsSince1970, bool utc) {
    const std::int64_t seconds = nsSince1970 / 1'000'000'000 - (nsSince1970 % 1'000'000'000 < 0 ? 1 : 0);
    const std::int64_t fraction = nsSince1970 - seconds * 1'000'000'000;
    QDateTime time = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
    if (!utc) time = time.toLocalTime();
    QString text = time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                   QStringLiteral(".%1").arg(fraction, 9, 10, QLatin1Char('0'));
    if (utc) return text + QStringLiteral(" UTC");
    const int offset = time.offsetFromUtc();
    return text + QStringLiteral(" (UTC%1%2:%3)")
                      .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                      .arg(std::abs(offset) / 3600, 2, 10, QLatin1Char('0'))
                      .arg(std::abs(offset) % 3600 / 60, 2, 10, QLatin1Char('0'));
}

void QVxReportSessionSection::Write(QVxReportDocument& document, const QVxReportContent& c) const {
    document.Title(QVxAppString(kAppStringReportTitle) + QStringLiteral(": ") + c.sessionName);
    document.KeyValues({
        {QVxAppString(kAppStringReportSession), c.sessionName},
        {QVxAppString(kAppStringReportPath), c.sessionPath},
        {QVxAppString(kAppStringReportStartLocal), QVxReportTimeText(c.startTimeNs, false)},
        {QVxAppString(kAppStringReportStartUtc), QVxReportTimeText(c.startTimeNs, true)},
        {QVxAppString(kAppStringReportLength), SecondsText(c.lengthNs)},
        {QVxAppString(kAppStringReportRecords), Grouped(c.records)},
        {QVxAppString(kAppStringReportSize), BytesText(c.bytes)},
        {QVxAppString(kAppStringReportSampling),
         Grouped(static_cast<std::uint64_t>(std::max(0, c.samplingHz))) + QStringLiteral(" Hz")},
    });
    std::vector<QStringList> rows;
    for (const QVxReportChannel& ch : c.channels) {
        rows.push_back({QStringLiteral("CH%1").arg(ch.channel + 1), ch.name,
                        ch.enabled ? QStringLiteral("✓") : QVxAppString(kAppStringReportOff),
                        VoltsText(ch.rangeMilliVolts), QStringLiteral("x%1").arg(ch.probeFactor)});
    }
    document.Heading(QVxAppString(kAppStringReportChannels));
    document.Table(QVxAppString(kAppStringReportChannelColumns).split(QLatin1Char('|')), rows,
                   {2, 4, 2, 2, 2});
}

void QVxReportPictureSection::Write(QVxReportDocument& document, const QVxReportContent&) const {
    document.Heading(QVxAppString(kAppStringReportWaveform));
    document.Picture(m_size, m_paint);
}

void QVxReportMeasurementSection::Write(QVxReportDocument& document, const QVxReportContent& c) const {
    const auto& m = c.measurement;
    QString span =
        QVxAppString(c.spanFromMarkers ? kAppStringMeasurementMarkers : kAppStringMeasurementWindow);
    span.replace(span.indexOf(QStringLiteral("%s")), 2, QStringLiteral("%1 ns").arg(m.fromNs));
    span.replace(span.indexOf(QStringLiteral("%s")), 2, QStringLiteral("%1 ns").arg(m.toNs));
    document.Heading(QVxAppString(kAppStringMeasurementTitle) + QStringLiteral(" (") + span +
                     QStringLiteral(")"));
    if (m.status != qvx::analog::SpanMeasurement::Status::kDone) {
        document.Paragraph(QVxAppString(kAppStringReportMeasurementFailed));
    } else if (m.channels.empty()) {
        document.Paragraph(QVxAppString(kAppStringMeasurementNoData));
    } else {
        std::vector<QStringList> rows;
        for (const auto& ch : m.channels) {
            rows.push_back({QStringLiteral("CH%1").arg(ch.channel + 1), Grouped(ch.records), Volts(ch.min),
                            Volts(ch.max), Volts(ch.peakToPeak), Volts(ch.mean), Volts(ch.rms),
                            ch.frequencyHz ? QString::number(*ch.frequencyHz, 'g', 7) + QStringLiteral(" Hz")
                                           : QStringLiteral("-")});
        }
        document.Table(QVxAppString(kAppStringMeasurementColumns).split(QLatin1Char('|')), rows,
                       {3, 3, 3, 3, 3, 3, 3, 3});
    }
    document.Paragraph(QVxAppString(kAppStringReportHitCount).arg(Grouped(c.hitCount)));
}

void QVxReportHitListSection::Write(QVxReportDocument& document, const QVxReportContent& c) const {
    document.NewPage();
    document.Heading(QVxAppString(kAppStringReportHitList).arg(Grouped(c.hitCount), Grouped(c.hits.size())));
    if (c.hits.empty()) {
        document.Paragraph(QVxAppString(kAppStringReportNoHits));
        return;
    }
    std::vector<QStringList> rows;
    rows.reserve(c.hits.size());
    for (const QVxReportHit& hit : c.hits) {
        rows.push_back({QString::number(hit.number), QString::number(hit.dataIndex + 1),
                        hit.timeNs ? QString::number(*hit.timeNs) : QStringLiteral("-"),
                        hit.widthNs > 0 ? QString::number(hit.widthNs) : QStringLiteral("-")});
    }
    document.Table(QVxAppString(kAppStringReportHitColumns).split(QLatin1Char('|')), rows, {1, 3, 4, 3});
}

QVxReport QVxReport::Standard(QSize pictureSize, std::function<void(QPainter&)> paint) {
    QVxReport report;
    report.Add(std::make_unique<QVxReportSessionSection>());
    report.Add(std::make_unique<QVxReportPictureSection>(pictureSize, std::move(paint)));
    report.Add(std::make_unique<QVxReportMeasurementSection>());
    report.Add(std::make_unique<QVxReportHitListSection>());
    return report;
}

void QVxReport::InsertBeforeHitList(std::unique_ptr<IQVxReportSection> section) {
    const auto list = std::find_if(m_sections.begin(), m_sections.end(), [](const auto& s) {
        return dynamic_cast<const QVxReportHitListSection*>(s.get()) != nullptr;
    });
    m_sections.insert(list, std::move(section));
}

std::optional<QString> QVxReport::Write(const std::filesystem::path& path, const QVxReportContent& content,
                                        const QDateTime& created) const {
    QVxExportTarget target(path);
    const QString writePath = QString::fromStdString(target.WritePath().string());
    {
        QPdfWriter writer(writePath);
        writer.setCreator(QStringLiteral("QV+Analog " QVX_APP_VERSION));
        writer.setTitle(QVxAppString(kAppStringReportTitle) + QStringLiteral(": ") + content.sessionName);
        const bool letter = QLocale().measurementSystem() == QLocale::ImperialUSSystem;
        writer.setPageSize(QPageSize(letter ? QPageSize::Letter : QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 12), QPageLayout::Millimeter);
        const QString footer = QVxAppString(kAppStringReportFooter)
                                   .arg(QStringLiteral("QV+Analog"), QStringLiteral(QVX_APP_VERSION),
                                        created.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        QVxReportDocument document(writer, footer);
        if (!document.IsOpen())
            return QStringLiteral("cannot create %1").arg(QString::fromStdString(path.string()));
        for (const auto& section : m_sections) section->Write(document, content);
        m_pages = document.PageCount();
        if (!document.Finish())
            return QStringLiteral("cannot write %1").arg(QString::fromStdString(path.string()));
    }
    std::error_code ec;
    if (!target.IsDirect() && (std::filesystem::file_size(target.WritePath(), ec) == 0 || ec))
        return QStringLiteral("cannot write %1").arg(QString::fromStdString(path.string()));
    if (!target.IsDirect() && !target.Commit())
        return QStringLiteral("cannot replace %1").arg(QString::fromStdString(path.string()));
    return std::nullopt;
}
