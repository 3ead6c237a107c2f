#include "QV+Analog/Analysis/CQVxCycleHistogram.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

CQVxCycleHistogram::CQVxCycleHistogram(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("cycleHistogram"));
    setMinimumHeight(110);
}

void CQVxCycleHistogram::SetValues(const std::vector<double>& values, std::optional<double> lower,
                                   std::optional<double> upper) {
    m_lower = lower;
    m_upper = upper;
    m_bins.assign(kBins, 0);
    bool any = false;
    double low = 0, high = 0;
    const auto take = [&](double v) {
        low = any ? std::min(low, v) : v;
        high = any ? std::max(high, v) : v;
        any = true;
    };
    for (double v : values)
        if (!std::isnan(v)) take(v);
    if (lower) take(*lower);
    if (upper) take(*upper);
    if (!any) low = 0, high = 1;
    if (high <= low) {  // one value: a range around it
        const double half = std::max(std::abs(low) * 1e-3, 1e-9);
        low -= half;
        high += half;
    }
    // A margin so that values on a limit stay inside the outer bins.
    m_valuesLow = low;
    m_valuesHigh = high;
    const double margin = (high - low) * 0.02;
    m_low = low - margin;
    m_high = high + margin;
    for (double v : values) {
        if (std::isnan(v)) continue;
        const auto bin = static_cast<int>((v - m_low) / (m_high - m_low) * kBins);
        ++m_bins[static_cast<std::size_t>(std::clamp(bin, 0, kBins - 1))];
    }
    update();
}

void CQVxCycleHistogram::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const int textHeight = fontMetrics().height();
    const QRect plot = rect().adjusted(6, 6, -6, -textHeight - 6);
    if (plot.width() < 10 || plot.height() < 10 || m_bins.empty()) return;
    const std::uint64_t most = *std::max_element(m_bins.begin(), m_bins.end());
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 120, 200));
    for (int b = 0; b < kBins; ++b) {
        if (most == 0 || m_bins[static_cast<std::size_t>(b)] == 0) continue;
        const int x0 = plot.left() + plot.width() * b / kBins;
        const int x1 = plot.left() + plot.width() * (b + 1) / kBins;
        // At least one pixel, so that a single cycle in a bin shows.
        const int h = std::max(1, static_cast<int>(static_cast<double>(plot.height()) *
                                                   static_cast<double>(m_bins[static_cast<std::size_t>(b)]) /
                                                   static_cast<double>(most)));
        p.drawRect(QRect(x0, plot.bottom() - h + 1, std::max(1, x1 - x0 - 1), h));
    }
    p.setPen(palette().text().color());
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    const auto xOf = [&](double v) {
        return plot.left() + static_cast<int>((v - m_low) / (m_high - m_low) * plot.width());
    };
    p.setPen(QPen(QColor(220, 30, 30), 2));
    for (const auto& limit : {m_lower, m_upper})
        if (limit) p.drawLine(xOf(*limit), plot.top(), xOf(*limit), plot.bottom());
    p.setPen(palette().text().color());
    const QRect labels(plot.left(), plot.bottom() + 3, plot.width(), textHeight);
    p.drawText(labels, Qt::AlignLeft | Qt::AlignVCenter, QString::number(m_valuesLow, 'g', 7));
    p.drawText(labels, Qt::AlignRight | Qt::AlignVCenter, QString::number(m_valuesHigh, 'g', 7));
}
