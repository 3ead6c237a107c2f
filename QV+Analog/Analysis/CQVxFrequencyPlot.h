#pragma once
// The plot of the spectrum pane: the averaged spectrum in dBV over frequency (linear or
// logarithmic), painted as the smallest and largest level of the bins under each pixel
// column, so a spectrum of 1,048,576 points paints as fast as one of 256 (the columns are
// computed once per result and width); labels on the five largest peaks; a read-out of the
// frequency and level under the mouse. Or the spectrogram: time across, frequency up,
// colour for dBV with its scale. The context menu offers the CSV export. GUI thread only.

#include "QV+AnalogCore/Analysis/ReportSpectrum.h"

#include <QImage>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

class CQVxFrequencyPlot : public QWidget {
    Q_OBJECT

public:
    explicit CQVxFrequencyPlot(QWidget* parent);

    // `result` may be null (nothing to show) or a refusal (its message is shown instead).
    void SetResult(std::shared_ptr<const qvx::analog::SpectrumResult> result);
    void SetLogFrequency(bool logarithmic);
    void SetShowSpectrogram(bool spectrogram);
    void SetMessage(const QString& message);  // shown when there is no spectrum

    // The smallest and largest dBV of each pixel column of the plot area (for tests).
    const std::vector<std::pair<float, float>>& GetColumnLevels() const { return m_columns; }

Q_SIGNALS:
    void ExportCsvRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRect PlotArea() const;
    bool HasSpectrum() const;
    void Invalidate();
    void ComputeColumns(int width);
    void PaintSpectrum(QPainter& p, const QRect& area);
    void PaintSpectrogram(QPainter& p, const QRect& area);
    void PaintFrequencyAxis(QPainter& p, const QRect& area);
    void PaintReadout(QPainter& p, const QRect& area);
    int XOfHz(const QRect& area, double hz) const;

    std::shared_ptr<const qvx::analog::SpectrumResult> m_result;
    bool m_logFrequency = false;
    bool m_spectrogram = false;
    QString m_message;
    std::vector<std::pair<float, float>> m_columns;  // per pixel column; NaN where no bin lies
    double m_topDb = 0, m_bottomDb = -100;
    QImage m_image;  // the spectrogram at the plot area's size
    std::optional<QPoint> m_mouse;
};
