// The editable fields of the tracing status form: filling them from the session's
// settings, the range lists per probe, the rotation estimate, the firmware text,
// the checks before a start and writing the form back. GUI thread only.

#include "QV+Analog/QVxAppPrompts.h"

#include "QV+Analog/QVxAppText.h"
#include "QV+Analog/TracingStatus/CQVxAnalogTracingStatusDlg.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QV+AnalogCore/QVxAppStrings.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Utils.h"
#include "QVxWinCommon/DataClasses/QVxDeviceManager.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStorageInfo>
#include <QTimeEdit>

#include <spdlog/spdlog.h>

#include <algorithm>
#include <string>
#include <system_error>

namespace {

constexpr int kProbeCount = 2;
constexpr int kRangeCount = 6;
constexpr int kFrequencyCount = 3;
constexpr std::int64_t kLastSecondOfDay = 23 * 3600 + 59 * 60 + 59;
constexpr std::uint64_t kBytesPerMiB = 1'048'576;

// Range list items per probe index (0 = x1, 1 = x10); index 0-5 in both.
const char* const kRangeTexts[kProbeCount][kRangeCount] = {
    {"100mV", "200mV", "500mV", "1V", "2V", "4V"},
    {"1V", "2V", "5V", "10V", "20V", "40V"},
};

QTime TimeOfDay(std::int64_t seconds, std::int64_t minimum) {
    return QTime(0, 0).addSecs(static_cast<int>(std::clamp(seconds, minimum, kLastSecondOfDay)));
}

std::int64_t Seconds(const QTimeEdit* picker) {
    return QTime(0, 0).secsTo(picker->time());
}

// A string-table text with one "%s", filled with `value`.
QString FillText(const QString& format, const QString& value) {
    QString text = format;
    const qsizetype at = text.indexOf(QStringLiteral("%s"));
    if (at >= 0) text.replace(at, 2, value);
    return text;
}

std::optional<std::uintmax_t> FileSystemFreeSpace(const std::filesystem::path& folder) {
    std::error_code ec;
    const std::filesystem::space_info info = std::filesystem::space(folder, ec);
    if (ec) return std::nullopt;
    return info.available;
}

// The mount point holding `folder`, standing in for the drive letter in messages.
QString VolumeText(const std::filesystem::path& folder) {
    const QStorageInfo storage(QString::fromStdString(folder.string()));
    return storage.isValid() ? storage.rootPath() : QString::fromStdString(folder.string());
}

}  // namespace

void CQVxAnalogTracingStatusDlg::LoadFields(const qvx::AnalogSettings& settings) {
    m_loading = true;
    const auto& tracks = settings.visualSettings.tracks;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const auto i = static_cast<std::size_t>(ch);
        const bool hasTrack = i < tracks.size();
        m_channels[i]->setChecked(hasTrack && tracks[i].enabled);
        const std::int32_t probe = hasTrack ? tracks[i].probeAttenuationRatio : -1;
        m_probes[i]->setCurrentIndex(probe >= 0 && probe < kProbeCount ? probe : -1);
        m_rangeIndexes[i] = settings.channelVoltages[i];
        FillRangeList(ch, m_rangeIndexes[i]);
    }
    const std::int32_t frequency = settings.samplingFrequency;
    m_samplingFrequency->setCurrentIndex(frequency >= 0 && frequency < kFrequencyCount ? frequency : -1);
    m_stopBySize->setChecked(settings.enableStopDataSize);
    m_stopSize->setText(QString::number(settings.stopDataSizeMB));
    m_stopByTime->setChecked(settings.enableStopElapsedTime);
    m_stopTime->setTime(TimeOfDay(settings.stopElapsedTimeMS / 1000, 1));
    m_rotation->setChecked(settings.enableReportFileRotation);
    m_rotationTime->setTime(TimeOfDay(settings.reportFileRotationTimeS, 0));
    m_loading = false;
    UpdateEstimate();
}

void CQVxAnalogTracingStatusDlg::EnableFields(bool tracing) {
    // While a trace runs the caller passes true; a box toggled by the user passes
    // false and the running state is read again.
    const std::int32_t state = m_viewModel.GetTraceState();
    const bool editable =
        !tracing && state != QVxAnalogViewModel::kTracing && state != QVxAnalogViewModel::kStopping;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const auto i = static_cast<std::size_t>(ch);
        m_channels[i]->setEnabled(editable);
        m_probes[i]->setEnabled(editable);
        m_ranges[i]->setEnabled(editable);
    }
    m_samplingFrequency->setEnabled(editable);
    m_stopBySize->setEnabled(editable);
    m_stopSize->setEnabled(editable && m_stopBySize->isChecked());
    m_stopByTime->setEnabled(editable);
    m_stopTime->setEnabled(editable && m_stopByTime->isChecked());
    m_rotation->setEnabled(editable);
    m_rotationTime->setEnabled(editable && m_rotation->isChecked());
}

void CQVxAnalogTracingStatusDlg::FillRangeList(int channel, int rangeIndex) {
    const auto i = static_cast<std::size_t>(channel);
    const bool wasLoading = m_loading;
    m_loading = true;  // the list's own change handler must not overwrite the index
    QComboBox* ranges = m_ranges[i];
    ranges->clear();
    const int probe = m_probes[i]->currentIndex();
    if (probe >= 0 && probe < kProbeCount) {
        for (const char* text : kRangeTexts[probe]) ranges->addItem(QString::fromLatin1(text));
        ranges->setCurrentIndex(rangeIndex >= 0 && rangeIndex < kRangeCount ? rangeIndex : -1);
    }
    m_loading = wasLoading;
}

void CQVxAnalogTracingStatusDlg::OnProbeChanged(int channel) {
    if (m_loading) return;  // LoadFields fills the range list itself
    FillRangeList(channel, m_rangeIndexes[static_cast<std::size_t>(channel)]);
}

void CQVxAnalogTracingStatusDlg::OnSamplingFrequencyChanged(int index) {
    if (m_loading || index < 0 || index >= kFrequencyCount) return;
    // A new frequency brings its own longest rotation time; the picker shows it at
    // once, so the check before a start and the stored value agree with the screen.
    m_rotationTime->setTime(TimeOfDay(qvx::AnalogSettings::GetFileRotationMaxSeconds(index), 0));
    UpdateEstimate();
}

void CQVxAnalogTracingStatusDlg::UpdateEstimate() {
    const int frequency = m_samplingFrequency->currentIndex();
    if (frequency < 0 || frequency >= kFrequencyCount) {
        m_estimate->clear();
        return;
    }
    qvx::AnalogSettings probe;
    probe.samplingFrequency = frequency;
    // Kept report files of 512 MiB each, in GiB.
    const double gib =
        static_cast<double>(probe.GetRotationFileCount(static_cast<std::uint32_t>(Seconds(m_rotationTime)))) *
        0.5;
    m_estimate->setText(FillText(QVxAppString(kAppStringAboutGByte), QString::asprintf("%.1lf", gib)));
}

void CQVxAnalogTracingStatusDlg::UpdateFirmwareText() {
    const auto* devices = m_viewModel.GetDeviceManagerViewModel();
    const auto connected = devices ? devices->GetConnectedDevice() : nullptr;
    if (!connected) {
        m_firmwareDeviceId.clear();
        m_firmwareText.clear();
        m_firmware->clear();
        return;
    }
    // The library opens the unit to read its release number: once per connection.
    if (m_firmwareDeviceId != connected->GetDeviceId() || m_firmwareText.isEmpty()) {
        const QVxDeviceVersions versions = QVxDeviceManager::GetVersions(connected->GetDeviceId());
        const std::uint16_t fpga = versions.fpga;
        const std::uint16_t firmware = versions.firmware;
        const QString fpgaText = QString::asprintf("FPGA %d.%d", fpga >> 8, fpga & 0xFF);
        const QString fx3Text =
            firmware == 0 ? QString() : QString::asprintf("FX3 %d.%d", firmware >> 8, firmware & 0xFF);
        m_firmwareText = QStringLiteral("%1 / %2").arg(fpgaText, fx3Text);
        m_firmwareDeviceId = connected->GetDeviceId();
    }
    m_firmware->setText(m_firmwareText);
}

std::int32_t CQVxAnalogTracingStatusDlg::ReadDataSizeMB(bool* ok) const {
    // The validator admits at most 9 digits, so the value fits 32 bits.
    const int value = m_stopSize->text().toInt(ok);
    return *ok ? value : 0;
}

bool CQVxAnalogTracingStatusDlg::Verify() {
    bool sizeOk = false;
    const std::int32_t limitMiB = ReadDataSizeMB(&sizeOk);
    if (m_stopBySize->isChecked()) {
        if (limitMiB > 0) {
            const std::filesystem::path& folder = m_viewModel.GetCacheFolderPath();
            const auto available = m_freeSpaceQuery ? m_freeSpaceQuery(folder) : FileSystemFreeSpace(folder);
            if (!available) {
                spdlog::log(spdlog::source_loc{__FILE__, __LINE__, "CQVxAnalogTracingStatusDlg::Verify"},
                            spdlog::level::err, "GetDiskFreeSpaceEx failed.");
                return false;
            }
            if (static_cast<std::uint64_t>(limitMiB) * kBytesPerMiB >= *available) {
                QVxAppPrompts::Get().ShowMessage(
                    this, FillText(QVxAppString(kAppStringDataSizeOverFreeSpace), VolumeText(folder)));
                m_stopSize->setFocus();
                return false;
            }
        } else {
            QVxAppPrompts::Get().ShowMessage(this, QVxAppString(kAppStringStopDataSizeTooSmall));
            m_stopSize->setFocus();
            return false;
        }
    }
    if (m_rotation->isChecked()) {
        const std::int64_t seconds = Seconds(m_rotationTime);
        const int frequency = m_samplingFrequency->currentIndex();
        if (seconds <= 0) {
            QVxAppPrompts::Get().ShowMessage(this, QVxWinGUI::LoadStringW(kGuiStringEnterTime));
            m_rotationTime->setFocus();
            return false;
        }
        if (frequency >= 0 && frequency < kFrequencyCount &&
            seconds > qvx::AnalogSettings::GetFileRotationMaxSeconds(frequency)) {
            const QString maximum = TimeOfDay(qvx::AnalogSettings::GetFileRotationMaxSeconds(frequency), 0)
                                        .toString(QStringLiteral("HH:mm:ss"));
            QVxAppPrompts::Get().ShowMessage(
                this, FillText(QVxWinGUI::LoadStringW(kGuiStringRotationTimeTooLong), maximum));
            m_rotationTime->setFocus();
            return false;
        }
    }
    return true;
}

void CQVxAnalogTracingStatusDlg::StoreForm() {
    qvx::AnalogSettings* settings = m_viewModel.GetSessionSettings();
    QVX_CHECK(settings);
    auto& tracks = settings->visualSettings.tracks;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const auto i = static_cast<std::size_t>(ch);
        if (i < tracks.size()) {
            tracks[i].enabled = m_channels[i]->isChecked();
            if (m_probes[i]->currentIndex() >= 0)
                tracks[i].probeAttenuationRatio = m_probes[i]->currentIndex();
        }
        if (m_ranges[i]->currentIndex() >= 0) settings->channelVoltages[i] = m_ranges[i]->currentIndex();
    }
    if (m_samplingFrequency->currentIndex() >= 0)
        settings->samplingFrequency = m_samplingFrequency->currentIndex();
    settings->enableStopDataSize = m_stopBySize->isChecked();
    bool sizeOk = false;
    const std::int32_t limitMiB = ReadDataSizeMB(&sizeOk);
    if (sizeOk) settings->stopDataSizeMB = limitMiB;  // an emptied, unused field keeps the old value
    settings->enableStopElapsedTime = m_stopByTime->isChecked();
    settings->stopElapsedTimeMS = static_cast<std::uint32_t>(Seconds(m_stopTime) * 1000);
    settings->enableReportFileRotation = m_rotation->isChecked();
    settings->reportFileRotationTimeS = static_cast<std::uint32_t>(Seconds(m_rotationTime));
    m_storing = true;
    m_viewModel.SessionChanged.Emit();
    m_storing = false;
}
