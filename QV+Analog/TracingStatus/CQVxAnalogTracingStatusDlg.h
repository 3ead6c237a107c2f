#pragma once
// The tracing status form (template 308) of the left pane "トレース実行": connect the
// unit, start and stop a trace, see its start time, elapsed time, data size and
// the unit's buffer use, and edit the acquisition settings that are not trigger
// settings (channels, probes, ranges, sampling frequency, automatic stop, report
// rotation). It follows the view model's settings, its trace state and the device
// list through their signals. GUI thread only.

#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Presenters/Signal.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QBoxLayout;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;
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
    static constexpr int kChannelCount = qvx::AnalogSettings::kChannelCount;
    static constexpr int kBusyIntervalMs = 100;
    static constexpr int kRefreshIntervalMs = 200;

    // Control ids; each control's object name is "id<N>".
    // Header.
    static constexpr int kConnectId = 5077;
    static constexpr int kStartStopId = 5009;
    // Trace status.
    static constexpr int kFirmwareId = 5057;
    static constexpr int kStartTimeLabelId = 5008;
    static constexpr int kStartTimeId = 5056;
    static constexpr int kElapsedLabelId = 5001;
    static constexpr int kElapsedId = 5004;
    static constexpr int kElapsedUnitId = 5007;
    static constexpr int kDataSizeLabelId = 5002;
    static constexpr int kDataSizeId = 5005;
    static constexpr int kDataSizeUnitId = 5012;
    static constexpr int kBufferUseLabelId = 5003;
    static constexpr int kBufferUseId = 5006;
    static constexpr int kConfigId = 5011;
    // Channels, probes, ranges and the sampling frequency.
    static constexpr int kChannelHeaderId = 5063;
    static constexpr int kProbeHeaderId = 5064;
    static constexpr int kRangeHeaderId = 5065;
    static constexpr int kChannelIds[kChannelCount] = {5071, 5072, 5073, 5074};
    static constexpr int kProbeIds[kChannelCount] = {5016, 5017, 5018, 5019};
    static constexpr int kRangeIds[kChannelCount] = {5020, 5021, 5022, 5023};
    static constexpr int kSamplingFrequencyLabelId = 5070;
    static constexpr int kSamplingFrequencyId = 5024;
    // Automatic stop.
    static constexpr int kStopGroupId = 5058;
    static constexpr int kStopBySizeId = 5051;
    static constexpr int kStopSizeLabelId = 5060;
    static constexpr int kStopSizeId = 5052;
    static constexpr int kStopByTimeId = 5053;
    static constexpr int kStopTimeLabelId = 5061;
    static constexpr int kStopTimeId = 5054;
    // Report data rotation.
    static constexpr int kReportGroupId = 5091;
    static constexpr int kRotationId = 5087;
    static constexpr int kRotationTimeLabelId = 5090;
    static constexpr int kRotationTimeId = 5088;
    static constexpr int kEstimateId = 5089;

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

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildControls();
    void BuildHeader();
    void BuildStatus(QBoxLayout* outer);
    void BuildChannels(QBoxLayout* outer);
    void BuildAutomaticStop(QBoxLayout* outer);
    void BuildReportRotation(QBoxLayout* outer);
    void LayoutHeader();
    void ConnectSignals();
    void LoadFields(const qvx::AnalogSettings& settings);
    void EnableFields(bool tracing);
    void FillRangeList(int channel, int rangeIndex);
    void OnProbeChanged(int channel);
    void OnSamplingFrequencyChanged(int index);
    void UpdateEstimate();
    void UpdateFirmwareText();
    void UpdateStartTime();
    void RefreshStatus();
    void ClearTraceStatus();
    void OnSessionChanged();
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
    CQVxAnalogDeviceSelector* m_connect = nullptr;
    QPushButton* m_startStop = nullptr;
    CQVxBusyIndicator* m_busy = nullptr;
    QTimer* m_busyTimer = nullptr;
    QTimer* m_refreshTimer = nullptr;     // timer 6
    QScrollArea* m_fieldsArea = nullptr;  // every field below the header

    // Status.
    QPushButton* m_config = nullptr;
    QLabel* m_firmware = nullptr;
    QLineEdit* m_startTime = nullptr;
    QLineEdit* m_elapsed = nullptr;
    QLineEdit* m_dataSize = nullptr;
    QProgressBar* m_bufferUse = nullptr;

    // Acquisition settings.
    std::array<QCheckBox*, kChannelCount> m_channels{};
    std::array<QComboBox*, kChannelCount> m_probes{};
    std::array<QComboBox*, kChannelCount> m_ranges{};
    std::array<std::int32_t, kChannelCount> m_rangeIndexes{};  // selected range per channel
    QComboBox* m_samplingFrequency = nullptr;
    QCheckBox* m_stopBySize = nullptr;
    QLineEdit* m_stopSize = nullptr;
    QCheckBox* m_stopByTime = nullptr;
    QTimeEdit* m_stopTime = nullptr;
    QCheckBox* m_rotation = nullptr;
    QTimeEdit* m_rotationTime = nullptr;
    QLabel* m_estimate = nullptr;

    // Cached firmware text of the connected unit (asked once per connection).
    std::wstring m_firmwareDeviceId;
    QString m_firmwareText;
    bool m_loading = false;             // fields are being filled from the settings
    bool m_storing = false;             // our own settings-changed emission
    std::uint64_t m_statusSession = 0;  // the view model's session serial the trace status belongs to
};
