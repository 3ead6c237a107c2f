#include "QV+Analog/Analysis/CQVxFrequencyPlot.h"

#include "QV+Analog/QVxAppText.h"
#include "QV+AnalogCore/Analysis/SpectrumPlotSupport.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>

#include <algorithm>
#include <cmath>

using qvx::analog::FrequencyAxis;
using qvx::analog::SpectrumResult;

namespace {

constexpr int kLeft = 56, kTop = 22, kRight = 56, kBottom = 34;
constexpr int kLabelledPeaks = 5;
constexpr double kShownDepthDb = 160;

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

CQVxFrequencyPlot::CQVxFrequencyPlot(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("spectrumPlot"));
    setMouseTracking(true);
    setMinimumSize(240, 120);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
}

void CQVxFrequencyPlot::SetResult(std::shared_ptr<const SpectrumResult> result) {
    m_result = std::move(result);
    Invalidate();
}

void CQVxFrequencyPlot::SetLogFrequency(bool logarithmic) {
    m_logFrequency = logarithmic;
    Invalidate();
}

void CQVxFrequencyPlot::SetShowSpectrogram(bool spectrogram) {
    m_spectrogram = spectrogram;
    Invalidate();
}

void CQVxFrequencyPlot::SetMessage(const QString& message) {
    m_message = message;
    update();
}

bool CQVxFrequencyPlot::HasSpectrum() const {
    return m_result && m_result->status == SpectrumResult::Status::kDone && !m_result->power.empty();
}

void CQVxFrequencyPlot::Invalidate() {
    m_columns.clear();
    m_image = QImage();
    update();
}

QRect CQVxFrequencyPlot::PlotArea() const {
    return QRect(kLeft, kTop, std::max(1, width() - kLeft - kRight), std::max(1, height() - kTop - kBottom));
}

void CQVxFrequencyPlot::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Invalidate();
}

// Bins [k0, k1) under pixel column x: those whose frequency lies in its width.
void CQVxFrequencyPlot::ComputeColumns(int width) {
    const SpectrumResult& r = *m_result;
    const FrequencyAxis axis = FrequencyAxis::Of(r, m_logFrequency);
    const double binHz = r.FrequencyHz(1);
    const auto bins = static_cast<std::int64_t>(r.power.size());
    m_columns.assign(static_cast<std::size_t>(width), {NAN, NAN});
    float top = -INFINITY;
    for (int x = 0; x < width; ++x) {
        const double lowHz = axis.HzAt(static_cast<double>(x) / width);
        const double highHz = axis.HzAt(static_cast<double>(x + 1) / width);
        auto k0 = static_cast<std::int64_t>(std::ceil(lowHz / binHz - 0.5));
        auto k1 = static_cast<std::int64_t>(std::ceil(highHz / binHz - 0.5));
        k0 = std::clamp<std::int64_t>(k0, 0, bins - 1);
        k1 = std::clamp<std::int64_t>(std::max(k1, k0 + 1), 1, bins);
        float lo = INFINITY, hi = -INFINITY;
        for (auto k = k0; k < k1; ++k) {
            const auto db = static_cast<float>(r.Dbv(static_cast<std::size_t>(k)));
            lo = std::min(lo, db);
            hi = std::max(hi, db);
        }
        m_columns[static_cast<std::size_t>(x)] = {lo, hi};
        if (std::isfinite(hi)) top = std::max(top, hi);
    }
    m_topDb = std::isfinite(top) ? std::ceil(top / 10) * 10 + 10 : 0;
    m_bottomDb = m_topDb - kShownDepthDb;
}

int CQVxFrequencyPlot::XOfHz(const QRect& area, double hz) const {
    const FrequencyAxis axis = FrequencyAxis::Of(*m_result, m_logFrequency);
    return area.left() + static_cast<int>(std::lround(axis.FractionOf(hz) * area.width()));
}

void CQVxFrequencyPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect area = PlotArea();
    p.setPen(QColor(160, 160, 160));
    p.drawRect(area.adjusted(-1, -1, 0, 0));
    if (!HasSpectrum()) {
        p.setPen(Qt::black);
        p.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, m_message);
        return;
    }
    if (m_spectrogram && m_result->spectrogram) {
        PaintSpectrogram(p, area);
    } else {
        PaintSpectrum(p, area);
    }
    PaintFrequencyAxis(p, area);
    PaintReadout(p, area);
}

void CQVxFrequencyPlot::PaintSpectrum(QPainter& p, const QRect& area) {
    if (static_cast<int>(m_columns.size()) != area.width()) ComputeColumns(area.width());
    const auto yOf = [&](double db) {
        const double f = (m_topDb - db) / (m_topDb - m_bottomDb);
        return area.top() + static_cast<int>(std::lround(std::clamp(f, 0.0, 1.0) * (area.height() - 1)));
    };
    // Level grid and labels every 20 dB.
    const QFontMetrics metrics(font());
    for (double db = m_topDb; db >= m_bottomDb; db -= 20) {
        const int y = yOf(db);
        p.setPen(QColor(225, 225, 225));
        p.drawLine(area.left(), y, area.right(), y);
        p.setPen(Qt::black);
        const QString text = QString::number(db, 'f', 0);
        p.drawText(area.left() - 6 - metrics.horizontalAdvance(text), y + metrics.ascent() / 2, text);
    }
    p.drawText(4, kTop - 6, QStringLiteral("dBV"));
    p.setPen(QColor(30, 90, 200));
    for (int x = 0; x < area.width(); ++x) {
        const auto [lo, hi] = m_columns[static_cast<std::size_t>(x)];
        if (std::isnan(hi) || !std::isfinite(hi)) continue;
        p.drawLine(area.left() + x, yOf(std::isfinite(lo) ? lo : m_bottomDb), area.left() + x, yOf(hi));
    }
    // The five largest peaks.
    p.setPen(QColor(200, 40, 40));
    // A label that would overlap one drawn before moves up a line.
    std::vector<QRect> labels;
    const auto& peaks = m_result->figures.peaks;
    for (std::size_t i = 0; i < peaks.size() && i < kLabelledPeaks; ++i) {
        const int x = XOfHz(area, peaks[i].frequencyHz), y = yOf(peaks[i].dbv);
        if (x < area.left() || x > area.right()) continue;
        p.drawLine(x - 4, y - 8, x + 4, y - 8);
        p.drawLine(x - 4, y - 8, x, y - 3);
        p.drawLine(x + 4, y - 8, x, y - 3);
        const QString label = QStringLiteral("%1 %2").arg(
            Text(qvx::analog::FrequencyText(peaks[i].frequencyHz)), QString::number(peaks[i].dbv, 'f', 1));
        const int w = metrics.horizontalAdvance(label);
        const int left = std::clamp(x - w / 2, area.left() + 2, area.right() - w - 2);
        QRect box(left, std::max(area.top(), y - 11 - metrics.height()), w, metrics.height());
        const auto overlaps = [&] {
            return std::any_of(labels.begin(), labels.end(),
                               [&](const QRect& other) { return other.intersects(box); });
        };
        for (int tries = 0; tries < 4 && overlaps(); ++tries) box.translate(0, -metrics.height());
        // In a low plot there may be no room: the peak keeps its mark, without a label.
        if (box.top() < area.top() || overlaps()) continue;
        labels.push_back(box);
        p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, label);
    }
}

void CQVxFrequencyPlot::PaintSpectrogram(QPainter& p, const QRect& area) {
    const auto& s = *m_result->spectrogram;
    const auto levels = qvx::analog::SpectrogramLevelRange(s);
    if (m_image.size() != area.size()) {
        const FrequencyAxis axis = FrequencyAxis::Of(*m_result, m_logFrequency);
        const double rowHz = m_result->FrequencyHz(1) * static_cast<double>(s.binsPerRow);
        m_image = QImage(area.size(), QImage::Format_RGB32);
        for (int y = 0; y < area.height(); ++y) {
            const double hz = axis.HzAt(1.0 - (y + 0.5) / area.height());
            const auto row =
                std::min(static_cast<std::size_t>(std::max(0.0, std::round(hz / rowHz))), s.rows - 1);
            auto* line = reinterpret_cast<QRgb*>(m_image.scanLine(y));
            for (int x = 0; x < area.width(); ++x) {
                const auto column =
                    std::min(static_cast<std::size_t>(x) * s.columns / static_cast<std::size_t>(area.width()),
                             s.columns - 1);
                const float v = s.At(column, row);
                const auto rgb = qvx::analog::SpectrogramColor((v - levels[0]) / (levels[1] - levels[0]));
                line[x] = std::isnan(v) ? qRgb(255, 255, 255) : qRgb(rgb[0], rgb[1], rgb[2]);
            }
        }
    }
    p.drawImage(area.topLeft(), m_image);
    // The colour scale at the right.
    const QRect scale(area.right() + 10, area.top(), 12, area.height());
    for (int y = 0; y < scale.height(); ++y) {
        const auto rgb = qvx::analog::SpectrogramColor(1.0 - (y + 0.5) / scale.height());
        p.setPen(QColor(rgb[0], rgb[1], rgb[2]));
        p.drawLine(scale.left(), scale.top() + y, scale.right(), scale.top() + y);
    }
    p.setPen(Qt::black);
    const QFontMetrics metrics(font());
    p.drawText(scale.left() - 4, kTop - 6, QStringLiteral("dBV"));
    for (double db : qvx::analog::LinearTicks(levels[0], levels[1], 5)) {
        const int y =
            scale.bottom() -
            static_cast<int>(std::lround((db - levels[0]) / (levels[1] - levels[0]) * scale.height()));
        p.drawText(scale.right() + 3, y + metrics.ascent() / 2, QString::number(db, 'f', 0));
    }
    // Time along the bottom, in s from the recording's start.
    const double fromS = static_cast<double>(s.fromNs) * 1e-9, toS = static_cast<double>(s.toNs) * 1e-9;
    for (double t : qvx::analog::LinearTicks(fromS, toS, 6)) {
        const int x = area.left() + static_cast<int>(std::lround((t - fromS) / (toS - fromS) * area.width()));
        const QString text = QString::number(t, 'g', 6) + QStringLiteral(" s");
        p.drawLine(x, area.bottom(), x, area.bottom() + 4);
        p.drawText(x - metrics.horizontalAdvance(text) / 2, area.bottom() + 5 + metrics.ascent(), text);
    }
}

// Frequency ticks: along the bottom for the spectrum, up the left for the spectrogram.
void CQVxFrequencyPlot::PaintFrequencyAxis(QPainter& p, const QRect& area) {
    const FrequencyAxis axis = FrequencyAxis::Of(*m_result, m_logFrequency);
    const auto ticks = axis.logarithmic ? qvx::analog::DecadeTicks(axis.lowHz, axis.highHz)
                                        : qvx::analog::LinearTicks(axis.lowHz, axis.highHz, 6);
    const QFontMetrics metrics(font());
    p.setPen(Qt::black);
    for (double hz : ticks) {
        const QString text = Text(qvx::analog::FrequencyText(hz));
        const double f = axis.FractionOf(hz);
        if (m_spectrogram && m_result->spectrogram) {
            const int y = area.bottom() - static_cast<int>(std::lround(f * area.height()));
            p.drawLine(area.left() - 4, y, area.left(), y);
            p.drawText(area.left() - 6 - metrics.horizontalAdvance(text), y + metrics.ascent() / 2, text);
        } else {
            const int x = area.left() + static_cast<int>(std::lround(f * area.width()));
            p.drawLine(x, area.bottom(), x, area.bottom() + 4);
            p.drawText(x - metrics.horizontalAdvance(text) / 2, area.bottom() + 5 + metrics.ascent(), text);
        }
    }
}

// Frequency and level under the mouse (the largest level of the pixel column's bins).
void CQVxFrequencyPlot::PaintReadout(QPainter& p, const QRect& area) {
    if (!m_mouse || !area.contains(*m_mouse)) return;
    const FrequencyAxis axis = FrequencyAxis::Of(*m_result, m_logFrequency);
    QString text;
    if (m_spectrogram && m_result->spectrogram) {
        const auto& s = *m_result->spectrogram;
        const double hz = axis.HzAt(1.0 - static_cast<double>(m_mouse->y() - area.top()) / area.height());
        const auto row = std::min(
            static_cast<std::size_t>(std::round(hz / (m_result->FrequencyHz(1) * s.binsPerRow))), s.rows - 1);
        const auto column = std::min(static_cast<std::size_t>(m_mouse->x() - area.left()) * s.columns /
                                         static_cast<std::size_t>(area.width()),
                                     s.columns - 1);
        const double t =
            (static_cast<double>(s.fromNs) +
             (static_cast<double>(column) + 0.5) * static_cast<double>(s.toNs - s.fromNs) / s.columns) *
            1e-9;
        text = QStringLiteral("%1 s  %2  %3 dBV")
                   .arg(QString::number(t, 'g', 6), Text(qvx::analog::FrequencyText(hz)),
                        QString::number(s.At(column, row), 'f', 1));
    } else {
        const auto x = static_cast<std::size_t>(m_mouse->x() - area.left());
        if (x >= m_columns.size()) return;
        const double hz = axis.HzAt((static_cast<double>(x) + 0.5) / area.width());
        text = QStringLiteral("%1  %2 dBV")
                   .arg(Text(qvx::analog::FrequencyText(hz)), QString::number(m_columns[x].second, 'f', 1));
        p.setPen(QColor(120, 120, 120));
        p.drawLine(m_mouse->x(), area.top(), m_mouse->x(), area.bottom());
    }
    p.setPen(Qt::black);
    p.drawText(area.left() + 6, kTop - 6, text);
}

void CQVxFrequencyPlot::mouseMoveEvent(QMouseEvent* event) {
    m_mouse = event->position().toPoint();
    update();
}

void CQVxFrequencyPlot::leaveEvent(QEvent*) {
    m_mouse.reset();
    update();
}

void CQVxFrequencyPlot::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* exportCsv = menu.addAction(QVxAppString(kAppStringSpectrumExportCsv));
    exportCsv->setEnabled(HasSpectrum());
    connect(exportCsv, &QAction::triggered, this, &CQVxFrequencyPlot::ExportCsvRequested);
    menu.exec(event->globalPos());
}
