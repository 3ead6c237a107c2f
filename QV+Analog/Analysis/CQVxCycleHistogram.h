#pragma once
// The cycle pane's histogram of one parameter: 60 bins over the range of the values and
// the limits, bars of the cycles in each bin, the limits as red lines and the range's ends
// (values and limits) written below. GUI thread.

#include <QWidget>

#include <optional>
#include <vector>

class CQVxCycleHistogram : public QWidget {
    Q_OBJECT

public:
    static constexpr int kBins = 60;

    explicit CQVxCycleHistogram(QWidget* parent = nullptr);

    // The values (NaN skipped) and the limits of the parameter shown.
    void SetValues(const std::vector<double>& values, std::optional<double> lower,
                   std::optional<double> upper);

    const std::vector<std::uint64_t>& GetBins() const { return m_bins; }
    double GetLow() const { return m_low; }
    double GetHigh() const { return m_high; }

    QSize sizeHint() const override { return {400, 140}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<std::uint64_t> m_bins;
    double m_low = 0;
    double m_high = 1;
    double m_valuesLow = 0;  // the values' and limits' range, written below the bars
    double m_valuesHigh = 1;
    std::optional<double> m_lower;
    std::optional<double> m_upper;
};
