// Construction, header, state-dependent controls and the trace refresh of the
// tracing status form. The editable fields (loading, validation, storing) are in
// CQVxAnalogTracingStatusForm.cpp.

#include "QV+Analog/TracingStatus/CQVxAnalogTracingStatusDlg.h"

#include "QV+Analog/QVxAppPrompts.h"
#include "QV+Analog/QVxAppText.h"
#include "QV+Analog/QVxWheelFocusFilter.h"
#include "QV+Analog/TracingStatus/CQVxBusyIndicator.h"
#include "QV+Analog/TracingStatus/QVxConfigDialogLauncher.h"
#include "QV+AnalogCore/Presenters/QVxAnalogDeviceSelectorModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/Utils.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinGUICommon/Device/CQVxAnalogDeviceSelector.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <spdlog/spdlog.h>

#include <algorithm>
#include <ctime>
#include <exception>

namespace {

template <typename W>
W* Named(W* widget, int id) {
    widget->setObjectName(QVxWinGUI::ControlName(id));
    return widget;
}

QLabel* MakeLabel(QWidget* parent, int id, const QString& text) {
    return Named(new QLabel(text, parent), id);
}

QLineEdit* MakeReadOnlyEdit(QWidget* parent, int id) {
    auto* edit = Named(new QLineEdit(parent), id);
    edit->setReadOnly(true);
    edit->setAlignment(Qt::AlignRight);
    return edit;
}

QTimeEdit* MakeTimePicker(QWidget* parent, int id, QTime minimum) {
    auto* picker = Named(new QTimeEdit(parent), id);
    picker->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    picker->setTimeRange(minimum, QTime(23, 59, 59));
    return picker;
}

// Header colours of the three states.
const QColor kTracingColor(0xFF, 0xD8, 0x9A);
const QColor kConnectedColor(0xB8, 0xE6, 0xB8);
const QColor kOtherColor(0xD8, 0xDC, 0xE2);

}  // namespace

CQVxAnalogTracingStatusDlg::CQVxAnalogTracingStatusDlg(QVxAnalogViewModel& viewModel, QWidget* parent)
    : QWidget(parent), m_viewModel(viewModel) {
    setObjectName(QStringLiteral("dlg%1").arg(kTemplateId));
    setFont(QVxWinGUI::GuiFont(9));
    BuildControls();
    ConnectSignals();
    HandleSignal(true);
}

CQVxAnalogTracingStatusDlg::~CQVxAnalogTracingStatusDlg() {
    for (auto* connection : {&m_sessionChanged, &m_traceStateChanged, &m_devicesChanged}) {
        if (*connection) (*connection)->Disconnect();
    }
    // The selector keeps a pointer to the model; detach it before the model goes.
    if (m_connect) m_connect->Setup(nullptr);
}

void CQVxAnalogTracingStatusDlg::BuildControls() {
    BuildHeader();
    // The fields scroll below the header, which stays in view: in a short pane the
    // connect and start/stop buttons are always at hand. The fields' layout takes
    // over the controls the builders make.
    m_fieldsArea = new QScrollArea(this);
    m_fieldsArea->setObjectName(QStringLiteral("tracingStatusFields"));
    m_fieldsArea->setWidgetResizable(true);
    m_fieldsArea->setFrameShape(QFrame::NoFrame);
    auto* fields = new QWidget(m_fieldsArea);
    auto* outer = new QVBoxLayout(fields);
    outer->setContentsMargins(8, 8, 8, 8);
    outer->setSpacing(6);
    BuildStatus(outer);
    BuildChannels(outer);
    BuildAutomaticStop(outer);
    BuildReportRotation(outer);
    outer->addStretch(1);
    m_fieldsArea->setWidget(fields);
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, kHeaderHeight, 0, 0);
    frame->addWidget(m_fieldsArea);
    // Scrolling the fields over a probe or range box must not change it.
    QVxWheelFocusFilter::Install(fields);

    // The value controls follow their boxes at once.
    for (auto* box : {m_stopBySize, m_stopByTime, m_rotation}) {
        connect(box, &QCheckBox::toggled, this, [this] {
            if (!m_loading) EnableFields(false);
        });
    }
    connect(m_rotationTime, &QTimeEdit::timeChanged, this, [this] { UpdateEstimate(); });
}

void CQVxAnalogTracingStatusDlg::BuildHeader() {
    // Connect button and start/stop button side by side, the busy animation over
    // the right half. Placed by LayoutHeader.
    m_connect = Named(new CQVxAnalogDeviceSelector(this), kConnectId);
    if (auto* devices = m_viewModel.GetDeviceManagerViewModel()) {
        m_selectorModel = std::make_unique<QVxAnalogDeviceSelectorModel>(devices, &m_viewModel);
        m_connect->Setup(m_selectorModel.get());
    }
    m_startStop = Named(new QPushButton(QVxWinGUI::LoadStringW(kGuiStringStart), this), kStartStopId);
    m_startStop->setFont(QVxWinGUI::GuiFont(15));
    connect(m_startStop, &QPushButton::clicked, this, [this] { OnBnClickedStartStop(); });
    m_busy = new CQVxBusyIndicator(this);
    m_busy->setObjectName(QStringLiteral("busyIndicator"));
    m_busy->hide();
    m_busyTimer = new QTimer(this);
    m_busyTimer->setInterval(kBusyIntervalMs);
    connect(m_busyTimer, &QTimer::timeout, this, [this] { OnBusyTimer(); });
    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setInterval(kRefreshIntervalMs);
    connect(m_refreshTimer, &QTimer::timeout, this, [this] { OnRefreshTimer(); });
}

void CQVxAnalogTracingStatusDlg::BuildStatus(QBoxLayout* outer) {
    auto* status = new QGridLayout();
    status->setHorizontalSpacing(6);
    status->setVerticalSpacing(4);
    m_firmware = MakeLabel(this, kFirmwareId, QString());
    m_firmware->setMinimumHeight(m_firmware->fontMetrics().height());  // no jump when it fills
    status->addWidget(m_firmware, 0, 0, 1, 3);
    status->addWidget(MakeLabel(this, kStartTimeLabelId, QVxWinGUI::LoadStringW(kGuiStringStarted)), 1, 0);
    m_startTime = MakeReadOnlyEdit(this, kStartTimeId);
    status->addWidget(m_startTime, 1, 1);
    status->addWidget(MakeLabel(this, kElapsedLabelId, QVxWinGUI::LoadStringW(kGuiStringElapsedTime)), 2, 0);
    m_elapsed = MakeReadOnlyEdit(this, kElapsedId);
    status->addWidget(m_elapsed, 2, 1);
    status->addWidget(MakeLabel(this, kElapsedUnitId, QStringLiteral("ms")), 2, 2);
    status->addWidget(MakeLabel(this, kDataSizeLabelId, QVxWinGUI::LoadStringW(kGuiStringLogDataAcquired)), 3,
                      0);
    m_dataSize = MakeReadOnlyEdit(this, kDataSizeId);
    status->addWidget(m_dataSize, 3, 1);
    status->addWidget(MakeLabel(this, kDataSizeUnitId, QStringLiteral("KBytes")), 3, 2);
    status->addWidget(MakeLabel(this, kBufferUseLabelId, QVxWinGUI::LoadStringW(kGuiStringBufferUsage)), 4,
                      0);
    m_bufferUse = Named(new QProgressBar(this), kBufferUseId);
    m_bufferUse->setRange(0, 100);
    m_bufferUse->setValue(0);
    status->addWidget(m_bufferUse, 4, 1, 1, 2);
    status->setColumnStretch(1, 1);
    outer->addLayout(status);

    m_config = Named(new QPushButton(QVxWinGUI::LoadStringW(kGuiStringAcquisitionSettings), this), kConfigId);
    connect(m_config, &QPushButton::clicked, this, [this] { OnBnClickedConfig(); });
    outer->addWidget(m_config);
}

void CQVxAnalogTracingStatusDlg::BuildChannels(QBoxLayout* outer) {
    // Per channel: enable box, probe and voltage range.
    auto* channels = new QGridLayout();
    channels->setHorizontalSpacing(6);
    channels->setVerticalSpacing(4);
    channels->addWidget(MakeLabel(this, kChannelHeaderId, QVxAppString(kAppStringChannelHeader)), 0, 0);
    channels->addWidget(MakeLabel(this, kProbeHeaderId, QVxAppString(kAppStringProbeHeader)), 0, 1);
    channels->addWidget(MakeLabel(this, kRangeHeaderId, QVxAppString(kAppStringRangeHeader)), 0, 2);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const auto i = static_cast<std::size_t>(ch);
        m_channels[i] = Named(new QCheckBox(QStringLiteral("CH%1:").arg(ch + 1), this), kChannelIds[i]);
        m_probes[i] = Named(new QComboBox(this), kProbeIds[i]);
        m_probes[i]->addItem(QStringLiteral("x1"));
        m_probes[i]->addItem(QStringLiteral("x10"));
        m_ranges[i] = Named(new QComboBox(this), kRangeIds[i]);
        channels->addWidget(m_channels[i], ch + 1, 0);
        channels->addWidget(m_probes[i], ch + 1, 1);
        channels->addWidget(m_ranges[i], ch + 1, 2);
        connect(m_probes[i], &QComboBox::currentIndexChanged, this, [this, ch](int) { OnProbeChanged(ch); });
        connect(m_ranges[i], &QComboBox::currentIndexChanged, this, [this, ch](int index) {
            if (!m_loading && index >= 0) m_rangeIndexes[static_cast<std::size_t>(ch)] = index;
        });
    }
    channels->addWidget(MakeLabel(this, kSamplingFrequencyLabelId, QVxAppString(kAppStringSamplingFrequency)),
                        kChannelCount + 1, 0, 1, 2);
    m_samplingFrequency = Named(new QComboBox(this), kSamplingFrequencyId);
    m_samplingFrequency->addItems({QStringLiteral("100K"), QStringLiteral("1M"), QStringLiteral("10M")});
    channels->addWidget(m_samplingFrequency, kChannelCount + 1, 2);
    connect(m_samplingFrequency, &QComboBox::currentIndexChanged, this,
            [this](int index) { OnSamplingFrequencyChanged(index); });
    channels->setColumnStretch(1, 1);
    channels->setColumnStretch(2, 1);
    outer->addLayout(channels);
}

void CQVxAnalogTracingStatusDlg::BuildAutomaticStop(QBoxLayout* outer) {
    auto* stopGroup = Named(new QGroupBox(QVxAppString(kAppStringAutoStop), this), kStopGroupId);
    auto* stop = new QGridLayout(stopGroup);
    m_stopBySize = Named(new QCheckBox(QVxAppString(kAppStringStopBySize), stopGroup), kStopBySizeId);
    stop->addWidget(m_stopBySize, 0, 0, 1, 2);
    stop->addWidget(MakeLabel(stopGroup, kStopSizeLabelId, QVxAppString(kAppStringStopSize)), 1, 0);
    m_stopSize = Named(new QLineEdit(stopGroup), kStopSizeId);
    // A number edit: digits only, at most what a 32-bit MiB count holds.
    m_stopSize->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,9}")), m_stopSize));
    m_stopSize->setAlignment(Qt::AlignRight);
    stop->addWidget(m_stopSize, 1, 1);
    m_stopByTime = Named(new QCheckBox(QVxAppString(kAppStringStopByTime), stopGroup), kStopByTimeId);
    stop->addWidget(m_stopByTime, 2, 0, 1, 2);
    stop->addWidget(MakeLabel(stopGroup, kStopTimeLabelId, QVxAppString(kAppStringStopTime)), 3, 0);
    m_stopTime = MakeTimePicker(stopGroup, kStopTimeId, QTime(0, 0, 1));
    stop->addWidget(m_stopTime, 3, 1);
    stop->setColumnStretch(1, 1);
    outer->addWidget(stopGroup);
}

void CQVxAnalogTracingStatusDlg::BuildReportRotation(QBoxLayout* outer) {
    auto* reportGroup = Named(new QGroupBox(QVxAppString(kAppStringReportData), this), kReportGroupId);
    auto* report = new QGridLayout(reportGroup);
    m_rotation = Named(new QCheckBox(QVxWinGUI::LoadStringW(kGuiStringDiscardOldReportData), reportGroup),
                       kRotationId);
    report->addWidget(m_rotation, 0, 0, 1, 2);
    report->addWidget(
        MakeLabel(reportGroup, kRotationTimeLabelId, QVxWinGUI::LoadStringW(kGuiStringMinimumKeepTime)), 1,
        0);
    m_rotationTime = MakeTimePicker(reportGroup, kRotationTimeId, QTime(0, 0, 0));
    report->addWidget(m_rotationTime, 1, 1);
    m_estimate = MakeLabel(reportGroup, kEstimateId, QString());
    m_estimate->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    report->addWidget(m_estimate, 2, 0, 1, 2);
    report->setColumnStretch(1, 1);
    outer->addWidget(reportGroup);
}

void CQVxAnalogTracingStatusDlg::ConnectSignals() {
    m_statusSession = m_viewModel.GetSessionSerial();
    m_sessionChanged = m_viewModel.SessionChanged.Connect([this] { OnSessionChanged(); });
    m_traceStateChanged = m_viewModel.TraceStateChanged.Connect([this] {
        HandleSignal(true);
        const std::int32_t state = m_viewModel.GetTraceState();
        if ((state == QVxAnalogViewModel::kTracing || state == QVxAnalogViewModel::kStopping) &&
            !m_refreshTimer->isActive()) {
            m_refreshTimer->start();
        }
    });
    // The device list changes every periodic refresh: only the buttons and the
    // firmware text follow, so that edits in progress are kept.
    if (auto* devices = m_viewModel.GetDeviceManagerViewModel()) {
        m_devicesChanged = devices->Changed.Connect([this] { HandleSignal(false); });
    }
}

void CQVxAnalogTracingStatusDlg::OnSessionChanged() {
    // Another session (opened, new, or the fresh one of a trace about to start): the start
    // time, elapsed time, size and buffer use of the last trace are not its own.
    if (m_viewModel.GetSessionSerial() != m_statusSession) {
        m_statusSession = m_viewModel.GetSessionSerial();
        if (!m_viewModel.isTracing()) ClearTraceStatus();
    }
    // Our own store already shows what it wrote; only the buttons follow.
    HandleSignal(!m_storing);
}

void CQVxAnalogTracingStatusDlg::HandleSignal(bool reloadFields) {
    // A state outside the known ones is logged by UpdateControls; it must not
    // unwind through the signal's caller.
    try {
        UpdateControls(reloadFields);
    } catch (const std::exception&) {
    }
}

int CQVxAnalogTracingStatusDlg::CurrentDeviceStatus() const {
    const auto* devices = m_viewModel.GetDeviceManagerViewModel();
    if (!devices) return static_cast<int>(QVxDeviceConnectionStatus::kDisconnected);
    auto device = devices->GetConnectingDevice();
    if (!device) device = devices->GetSelectedDevice();
    return static_cast<int>(device ? device->GetDeviceConnectionStatus()
                                   : QVxDeviceConnectionStatus::kDisconnected);
}

void CQVxAnalogTracingStatusDlg::UpdateControls(bool reloadFields) {
    const std::int32_t traceState = m_viewModel.GetTraceState();
    bool tracing = false;
    switch (traceState) {
        case QVxAnalogViewModel::kIdle:
            break;
        case QVxAnalogViewModel::kTracing:
        case QVxAnalogViewModel::kStopping:
            tracing = true;
            break;
        default:
            QVX_UNREACHABLE();
    }
    const auto* devices = m_viewModel.GetDeviceManagerViewModel();
    const bool anyUnit = devices && !devices->GetDevices().empty();
    bool busy = false;
    if (!anyUnit) {
        m_connect->hide();
        m_startStop->hide();
        m_config->setEnabled(!tracing);
    } else if (tracing) {
        m_startStop->setText(QVxWinGUI::LoadStringW(kGuiStringStop));
        m_startStop->setEnabled(traceState != QVxAnalogViewModel::kStopping);
        m_startStop->show();
        m_connect->setEnabled(false);
        m_connect->show();
        m_config->setEnabled(false);
    } else {
        m_connect->show();
        m_startStop->setText(QVxWinGUI::LoadStringW(kGuiStringStart));
        switch (static_cast<QVxDeviceConnectionStatus>(CurrentDeviceStatus())) {
            case QVxDeviceConnectionStatus::kConnected:
                m_connect->setEnabled(true);
                m_startStop->setEnabled(true);
                m_startStop->show();
                break;
            case QVxDeviceConnectionStatus::kConnecting:
                m_connect->setEnabled(false);
                m_startStop->hide();
                busy = true;
                break;
            case QVxDeviceConnectionStatus::kDisconnected:
                m_connect->setEnabled(true);
                m_startStop->setEnabled(false);
                m_startStop->show();
                break;
            default:
                QVX_UNREACHABLE();
        }
        m_config->setEnabled(true);
    }
    if (busy) {
        if (!m_busyTimer->isActive()) m_busyTimer->start();
        m_busy->show();
        m_busy->raise();
    } else {
        m_busyTimer->stop();
        m_busy->hide();
    }

    if (reloadFields) {
        if (const qvx::AnalogSettings* settings = m_viewModel.GetSessionSettings()) LoadFields(*settings);
    }
    EnableFields(tracing);
    UpdateFirmwareText();
    update();  // header colour
}

QColor CQVxAnalogTracingStatusDlg::HeaderColor() const {
    const std::int32_t state = m_viewModel.GetTraceState();
    if (state == QVxAnalogViewModel::kTracing || state == QVxAnalogViewModel::kStopping) return kTracingColor;
    if (CurrentDeviceStatus() == static_cast<int>(QVxDeviceConnectionStatus::kConnected))
        return kConnectedColor;
    return kOtherColor;
}

bool CQVxAnalogTracingStatusDlg::IsBusyAnimationRunning() const {
    return m_busyTimer->isActive();
}

bool CQVxAnalogTracingStatusDlg::IsRefreshTimerRunning() const {
    return m_refreshTimer->isActive();
}

void CQVxAnalogTracingStatusDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(QRect(0, 0, width(), kHeaderHeight), HeaderColor());
}

QSize CQVxAnalogTracingStatusDlg::sizeHint() const {
    // The header above every field, none scrolled away.
    const QSize fields = m_fieldsArea->widget()->sizeHint();
    return {fields.width(), kHeaderHeight + fields.height()};
}

void CQVxAnalogTracingStatusDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutHeader();
}

void CQVxAnalogTracingStatusDlg::LayoutHeader() {
    // The header shrunk by 8 pixels: connect button on the left half, start/stop
    // on the right half, the busy animation centred in the right half.
    const QRect inner = QRect(0, 0, width(), kHeaderHeight).adjusted(8, 8, -8, -8);
    const int half = inner.width() / 2;
    const QRect left(inner.left(), inner.top(), half - 2, inner.height());
    const QRect right(inner.left() + half + 2, inner.top(), inner.width() - half - 2, inner.height());
    m_connect->setGeometry(left);
    m_startStop->setGeometry(right);
    m_busy->move(right.center().x() - CQVxBusyIndicator::kSize / 2,
                 right.center().y() - CQVxBusyIndicator::kSize / 2);
}

void CQVxAnalogTracingStatusDlg::OnBusyTimer() {
    m_busy->Advance();
}

void CQVxAnalogTracingStatusDlg::OnBnClickedStartStop() {
    const std::int32_t state = m_viewModel.GetTraceState();
    if (state == QVxAnalogViewModel::kTracing || state == QVxAnalogViewModel::kStopping) {
        m_viewModel.StopTrace();
        HandleSignal(false);
        return;
    }
    if (!Verify()) {
        HandleSignal(false);
        return;
    }
    StoreForm();
    const bool started = m_viewModel.StartTrace();
    const std::int32_t after = m_viewModel.GetTraceState();
    if (started) UpdateStartTime();
    if (after == QVxAnalogViewModel::kTracing || after == QVxAnalogViewModel::kStopping) {
        if (!m_refreshTimer->isActive()) m_refreshTimer->start();
        RefreshStatus();
    }
    HandleSignal(false);
}

void CQVxAnalogTracingStatusDlg::OnBnClickedConfig() {
    qvx::AnalogSettings* settings = m_viewModel.GetSessionSettings();
    QVX_CHECK(settings);
    const bool readOnly = CurrentDeviceStatus() != static_cast<int>(QVxDeviceConnectionStatus::kConnected);
    qvx::AnalogSettings copy = *settings;
    const bool accepted = m_configDialogRunner ? m_configDialogRunner(this, &copy, readOnly)
                                               : QVxRunConfigAnalogDialog(this, &copy, readOnly);
    // A read-only dialog changed nothing; replacing would only drop the form's edits.
    if (!accepted || readOnly) return;
    // The session may have been replaced while the dialog was open.
    settings = m_viewModel.GetSessionSettings();
    QVX_CHECK(settings);
    *settings = copy;
    m_viewModel.SessionChanged.Emit();
}

void CQVxAnalogTracingStatusDlg::SetFreeSpaceQuery(FreeSpaceQuery query) {
    m_freeSpaceQuery = std::move(query);
}

void CQVxAnalogTracingStatusDlg::SetConfigDialogRunner(ConfigDialogRunner runner) {
    m_configDialogRunner = std::move(runner);
}

void CQVxAnalogTracingStatusDlg::UpdateStartTime() {
    const std::int64_t seconds = m_viewModel.GetStartSeconds();
    if (seconds == 0) return;  // not known yet
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!::localtime_r(&t, &local)) return;
    m_startTime->setText(QString::asprintf("%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec));
}

void CQVxAnalogTracingStatusDlg::RefreshStatus() {
    UpdateStartTime();
    const auto* devices = m_viewModel.GetDeviceManagerViewModel();
    const std::optional<QVxAnalogUnitStatus> status = devices ? devices->GetUnitStatus() : std::nullopt;
    if (!status) return;
    m_elapsed->setText(QString::number(status->elapsedMs));
    m_dataSize->setText(QString::number(status->bytesAcquired / 1024));
    m_bufferUse->setValue(static_cast<int>(status->bufferPercent));
}

void CQVxAnalogTracingStatusDlg::ClearTraceStatus() {
    m_startTime->clear();
    m_elapsed->clear();
    m_dataSize->clear();
    m_bufferUse->setValue(0);
}

void CQVxAnalogTracingStatusDlg::OnRefreshTimer() {
    RefreshStatus();
    const std::int32_t state = m_viewModel.GetTraceState();
    if (state != QVxAnalogViewModel::kTracing && state != QVxAnalogViewModel::kStopping)
        m_refreshTimer->stop();
}
