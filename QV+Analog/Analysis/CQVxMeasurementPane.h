#pragma once
// The docking pane "測定": per enabled channel, the records, minimum, maximum, peak-to-peak,
// mean, RMS and frequency between M1 and M2, or over the visible window when the markers
// are not both on. It follows the waveform presenter's changes (markers, scrolling,
// zoom) after a short pause and computes on a worker thread (QVxAnalogMeasurementJobs),
// whose result comes back through the main dispatcher. GUI thread only.

#include "QV+AnalogCore/Analysis/QVxAnalogReportAnalysisTasks.h"

#include <QDockWidget>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QTableWidget;
class QVxAnalogViewModel;

namespace qvx {
class SignalConnection;
}

class CQVxMeasurementPane : public QDockWidget {
    Q_OBJECT

public:
    static constexpr int kSettleMs = 150;  // pause after the last change before measuring

    // `viewModel` must outlive the pane.
    CQVxMeasurementPane(QVxAnalogViewModel& viewModel, QWidget* parent);
    ~CQVxMeasurementPane() override;

    // The span to measure now (markers or window) and starts the job; nothing without a
    // stored report.
    void MeasureNow();
    QTableWidget* GetTable() const { return m_table; }
    QLabel* GetSpanLabel() const { return m_span; }
    const qvx::analog::QVxAnalogMeasurementJobs& GetJobs() const { return m_jobs; }

private:
    void Bind();
    std::optional<qvx::analog::QVxAnalogMeasurementJobs::Request> MakeRequest() const;
    void ShowResult();

    QVxAnalogViewModel& m_viewModel;
    QLabel* m_span;
    QTableWidget* m_table;
    QTimer m_settle;
    qvx::analog::QVxAnalogMeasurementJobs m_jobs;
    std::vector<std::shared_ptr<qvx::SignalConnection>> m_presenterConnections;  // of the current presenter
    std::vector<std::shared_ptr<qvx::SignalConnection>> m_connections;
};
