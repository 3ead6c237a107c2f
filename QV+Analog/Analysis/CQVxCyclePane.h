#pragma once
// The docking pane "サイクル": every cycle of one channel of the stored report, over the
// whole recording, M1-M2 or the visible window, with its statistics, limits and verdict,
// the list of cycles (or of the violating ones) and a histogram of one parameter with its
// limits. The measurement runs on a worker thread (QVxAnalogCycleJobs) with progress and
// cancel; a new request cancels the running one. A click on a cycle moves the views to its
// start. GUI thread only.

#include "QV+AnalogCore/Analysis/QVxAnalogCycleJobs.h"

#include <QDockWidget>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QTableWidget;
class QVxAnalogViewModel;
class CQVxCycleListModel;
class CQVxCycleHistogram;

namespace qvx {
class SignalConnection;
}

class CQVxCyclePane : public QDockWidget {
    Q_OBJECT

public:
    enum Span { kSpanWhole, kSpanMarkers, kSpanWindow };
    // Columns of the statistics table; the limits are edited in its two limit columns.
    enum StatsColumn {
        kName,
        kLower,
        kUpper,
        kCount,
        kMin,
        kMax,
        kMean,
        kStd,
        kViolations,
        kStatsColumnCount
    };

    // `viewModel` must outlive the pane.
    CQVxCyclePane(QVxAnalogViewModel& viewModel, QWidget* parent);
    ~CQVxCyclePane() override;

    // Starts the measurement with the pane's fields; false (the reason shown) when they or
    // the session do not allow it.
    bool Run();
    void CancelRun();
    // Moves the views to the start of the cycle in list row `row`; false without one.
    bool GoToRow(int row);

    QComboBox* GetChannelBox() const { return m_channel; }
    QDoubleSpinBox* GetLevelBox() const { return m_level; }
    QLineEdit* GetHysteresisEdit() const { return m_hysteresis; }
    QComboBox* GetSpanBox() const { return m_span; }
    QTableWidget* GetStatsTable() const { return m_stats; }
    QTableView* GetCycleList() const { return m_list; }
    CQVxCycleListModel* GetCycleModel() const { return m_model; }
    QCheckBox* GetViolationsOnlyBox() const { return m_violationsOnly; }
    QComboBox* GetHistogramBox() const { return m_histogramParameter; }
    QLabel* GetVerdictLabel() const { return m_verdict; }
    const qvx::analog::QVxAnalogCycleJobs& GetJobs() const { return m_jobs; }
    qvx::analog::QVxAnalogCycleJobs& GetJobs() { return m_jobs; }
    QLabel* GetStatusLabel() const { return m_status; }

Q_SIGNALS:
    // The views were moved to `time` (ns) from the list.
    void JumpedToTime(qint64 time);

private:
    QWidget* CreateControls();
    std::optional<qvx::analog::QVxAnalogCycleJobs::Request> MakeRequest(QString& refusal) const;
    void ShowResult();
    void ShowProgress();
    void ShowHistogram();

    QVxAnalogViewModel& m_viewModel;
    QComboBox* m_channel = nullptr;
    QDoubleSpinBox* m_level = nullptr;
    QLineEdit* m_hysteresis = nullptr;
    QComboBox* m_span = nullptr;
    QPushButton* m_run = nullptr;
    QPushButton* m_cancel = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_verdict = nullptr;
    QLabel* m_status = nullptr;
    QTableWidget* m_stats = nullptr;
    QCheckBox* m_violationsOnly = nullptr;
    QTableView* m_list = nullptr;
    CQVxCycleListModel* m_model = nullptr;
    QComboBox* m_histogramParameter = nullptr;
    CQVxCycleHistogram* m_histogram = nullptr;
    QTimer m_progressTimer;
    const void* m_shown = nullptr;  // the result the list and the table show
    qvx::analog::QVxAnalogCycleJobs m_jobs;
    std::vector<std::shared_ptr<qvx::SignalConnection>> m_connections;
};
