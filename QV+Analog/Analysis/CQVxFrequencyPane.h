#pragma once
// The docking pane "スペクトル": the averaged spectrum of one channel between M1 and M2, or
// over the visible window when the markers are not both on, with the choice of channel,
// window function and FFT points, a linear or logarithmic frequency axis, the figures of
// the spectrum (fundamental, THD, SNR, SINAD, SFDR, ENOB) and its largest peaks beside the
// plot, a switch to the spectrogram and the CSV export in the plot's context menu. It
// follows the waveform presenter's changes (markers, scrolling, zoom) after a short pause,
// while it is in front (not behind another tab), and computes on a worker thread (QVxAnalogSpectrumJobs),
// whose result comes back through the main dispatcher. GUI thread only.

#include "QV+AnalogCore/Analysis/QVxAnalogSpectrumJobs.h"

#include <QDockWidget>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

class CQVxFrequencyPlot;
class QCheckBox;
class QComboBox;
class QLabel;
class QVxAnalogViewModel;

namespace qvx {
class SignalConnection;
}

class CQVxFrequencyPane : public QDockWidget {
    Q_OBJECT

public:
    static constexpr int kSettleMs = 150;  // pause after the last change before computing
    static constexpr std::size_t kSpectrogramColumns = 1000;
    static constexpr const char* kFileFilter = "CSV file(*.csv)|*.csv||";

    // `viewModel` must outlive the pane.
    CQVxFrequencyPane(QVxAnalogViewModel& viewModel, QWidget* parent);
    ~CQVxFrequencyPane() override;

    // The span now (markers or window) and starts the job; nothing without a stored report.
    void ComputeNow();
    // Writes the spectrum shown to `path`; false when there is none or the file failed.
    bool ExportCsv(const std::filesystem::path& path) const;

    const qvx::analog::QVxAnalogSpectrumJobs& GetJobs() const { return m_jobs; }
    // Shown, and its tab selected when tabbed.
    bool IsInFront() const { return m_inFront; }
    CQVxFrequencyPlot* GetPlot() const { return m_plot; }
    QComboBox* GetChannelBox() const { return m_channel; }
    QComboBox* GetWindowBox() const { return m_window; }
    QComboBox* GetPointsBox() const { return m_points; }
    QCheckBox* GetLogFrequencyBox() const { return m_logFrequency; }
    QCheckBox* GetSpectrogramBox() const { return m_spectrogram; }
    QLabel* GetSpanLabel() const { return m_span; }
    QLabel* GetFiguresLabel() const { return m_figures; }

private:
    QWidget* CreateControls();
    void Bind();
    std::optional<qvx::analog::QVxAnalogSpectrumJobs::Request> MakeRequest() const;
    void ShowResult();
    void OnExportCsv();

    QVxAnalogViewModel& m_viewModel;
    QComboBox* m_channel = nullptr;
    QComboBox* m_window = nullptr;
    QComboBox* m_points = nullptr;
    QCheckBox* m_logFrequency = nullptr;
    QCheckBox* m_spectrogram = nullptr;
    QLabel* m_span = nullptr;
    QLabel* m_figures = nullptr;
    CQVxFrequencyPlot* m_plot = nullptr;
    bool m_inFront = false;
    QTimer m_settle;
    qvx::analog::QVxAnalogSpectrumJobs m_jobs;
    std::vector<std::shared_ptr<qvx::SignalConnection>> m_presenterConnections;  // of the current presenter
    std::vector<std::shared_ptr<qvx::SignalConnection>> m_connections;
};
