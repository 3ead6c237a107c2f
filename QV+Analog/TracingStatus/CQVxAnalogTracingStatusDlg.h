#pragma once
// The tracing status form (template 308) of the left pane "トレース実行": connect the
// unit, start and stop a trace, see its start time, elapsed time, data size and
// the unit's buffer use, and edit the acquisition settings that are not trigger
// settings (channels, probes, ranges, sampling frequency, automatic stop, report
// rotation). It follows the view model's settings, its trace state and the device
// list through their signals. GUI thread only.

#include "QVxCore/Presenters/Signal.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimeEdit;
class QTimer;
class QVxAnalogViewModel;
class QVxAnalogDeviceSelectorModel;
class CQVxAnalogDeviceSelector;
class CQVxBusyIndicator;

namespace qvx {
class AnalogSettings;
}

class CQVxAnalogTracingStatusDlg : public QWidget {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 308;
    static constexpr int kHeaderHeight = 60;  // pixels painted in the state colour
    static constexpr int kChannelCount = 4;
    static constexpr int kBusyIntervalMs = 100;
    static constexpr int kRefreshIntervalMs = 200;

    // Free bytes available to the user on the file system that holds `folder`;
    // nullopt when the query fails.
    using FreeSpaceQuery = std::function<std::optional<std::uintmax_t>(const std::filesystem::path& folder)>;
    // Shows the collection settings dialog on `settings` (a copy); true on OK.
    using ConfigDialogRunner =
        std::function<bool(QWidget* parent, qvx::AnalogSettings* settings, bool readOnly)>;

    explicit CQVxAnalogTracingStatusDlg(QVxAnalogViewModel& viewModel, QWidget* parent = nullptr);
    ~CQVxAnalogTracingStatusDlg() override;
    CQVxAnalogTracingStatusDlg(const CQVxAnalogTracingStatusDlg&) = delete;
    CQVxAnalogTracingStatusDlg& operator=(const CQVxAnalogTracingStatusDlg&) = delete;

    // The start/stop button's action: stops a running trace, else validates and
    // stores the form and starts a trace. The family protocol presses it remotely.
    void OnBnClickedStartStop();
    // The settings button's action: the collection settings dialog on a copy of the
    // settings, read-only unless the unit is connected; OK replaces the settings.
    void OnBnClickedConfig();

    // Shows, hides and enables the controls for the trace and device state; with
    // `reloadFields` the editable fields are filled from the session's settings.
    // Throws (QVX_UNREACHABLE) for a trace or device state outside the known ones.
    void UpdateControls(bool reloadFields);

    // Checks the form before a start; shows the refusal and moves the focus on failure.
    bool Verify();
    // Writes the form into the session's settings and announces the change.
    void StoreForm();

    // Replaces the free-space query (tests); null restores std::filesystem::space.
    void SetFreeSpaceQuery(FreeSpaceQuery query);
    // Replaces the collection settings dialog (tests); null restores the real one.
    void SetConfigDialogRunner(ConfigDialogRunner runner);

    // The header colour of the current state (tracing or stopping, connected, other).
    QColor HeaderColor() const;
    bool IsBusyAnimationRunning() const;
    bool IsRefreshTimerRunning() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildControls();
    void LayoutHeader();
    void ConnectSignals();
    void LoadFields(const qvx::AnalogSettings& settings);
    void EnableFields(bool tracing);
    void FillRangeList(int channel, int rangeIndex);
    void OnProbeChanged(int channel);
    void OnSamplingFrequencyChanged(int index);
    void OnChannelToggled(int channel, bool checked);
    void UpdateEstimate();
    void UpdateFirmwareText();
    void UpdateStartTime();
    void RefreshStatus();
    void OnRefreshTimer();
    void OnBusyTimer();
    void HandleSignal(bool reloadFields);
    int CurrentDeviceStatus() const;
    std::int32_t ReadDataSizeMB(bool* ok) const;

    QVxAnalogViewModel& m_viewModel;
    std::unique_ptr<QVxAnalogDeviceSelectorModel> m_selectorModel;
    std::shared_ptr<qvx::SignalConnection> m_sessionChanged;
    std::shared_ptr<qvx::SignalConnection> m_traceStateChanged;
    std::shared_ptr<qvx::SignalConnection> m_devicesChanged;
    FreeSpaceQuery m_freeSpaceQuery;
    ConfigDialogRunner m_configDialogRunner;

    // Header.
    CQVxAnalogDeviceSelector* m_connect = nullptr;  // 5077
    QPushButton* m_startStop = nullptr;             // 5009
    CQVxBusyIndicator* m_busy = nullptr;
    QTimer* m_busyTimer = nullptr;
    QTimer* m_refreshTimer = nullptr;  // timer 6

    // Status.
    QPushButton* m_config = nullptr;      // 5011
    QLabel* m_firmware = nullptr;         // 5057
    QLineEdit* m_startTime = nullptr;     // 5056
    QLineEdit* m_elapsed = nullptr;       // 5004
    QLineEdit* m_dataSize = nullptr;      // 5005
    QProgressBar* m_bufferUse = nullptr;  // 5006

    // Acquisition settings.
    std::array<QCheckBox*, kChannelCount> m_channels{};        // 5071-5074
    std::array<QComboBox*, kChannelCount> m_probes{};          // 5016-5019
    std::array<QComboBox*, kChannelCount> m_ranges{};          // 5020-5023
    std::array<std::int32_t, kChannelCount> m_rangeIndexes{};  // selected range per channel
    QComboBox* m_samplingFrequency = nullptr;                  // 5024
    QCheckBox* m_stopBySize = nullptr;                         // 5051
    QLineEdit* m_stopSize = nullptr;                           // 5052
    QCheckBox* m_stopByTime = nullptr;                         // 5053
    QTimeEdit* m_stopTime = nullptr;                           // 5054
    QCheckBox* m_rotation = nullptr;                           // 5087
    QTimeEdit* m_rotationTime = nullptr;                       // 5088
    QLabel* m_estimate = nullptr;                              // 5089

    // Cached firmware text of the connected unit (asked once per connection).
    std::wstring m_firmwareDeviceId;
    QString m_firmwareText;
    bool m_loading = false;  // fields are being filled from the settings
    bool m_storing = false;  // our own settings-changed emission
};
