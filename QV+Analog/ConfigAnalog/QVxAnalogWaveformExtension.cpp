#include "QV+Analog/ConfigAnalog/QVxAnalogWaveformExtension.h"

#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"

QVxAnalogWaveformExtension::QVxAnalogWaveformExtension(QVxAnalogViewModel& viewModel)
    : m_viewModel(viewModel) {}

QVxAnalogWaveformExtension::~QVxAnalogWaveformExtension() = default;

bool QVxAnalogWaveformExtension::IsDisplayTriggerActive() const {
    const qvx::AnalogSettings* settings = m_viewModel.GetSessionSettings();
    return settings && settings->displayTriggerMode != 0;
}

std::optional<int> QVxAnalogWaveformExtension::TriggerLevelRow(const CQVxWaveformTrack&) const {
    return std::nullopt;
}

void QVxAnalogWaveformExtension::OnPaintArea(CQVxWaveformTrackArea*, QPainter&, const QRect&, const QRect&) {}

void QVxAnalogWaveformExtension::OnPaintTrack(CQVxWaveformTrack*, QPainter&, const QRect&) {}

void QVxAnalogWaveformExtension::OnPaintCaption(QVxWaveformCaption*, QPainter&, std::int64_t, const QRect&,
                                                const QRect&) {}
