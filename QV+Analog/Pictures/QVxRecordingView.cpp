#include "QV+Analog/Pictures/QVxRecordingView.h"

#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackArea.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackAreaWnd.h"

#include <algorithm>

QVxRecordingView::QVxRecordingView(std::shared_ptr<qvx::ReportDataReader> reader,
                                   qvx::AnalogSettings& settings, bool dark, QSize size)
    : m_settings(settings),
      m_dark(dark),
      m_presenter(
          std::make_unique<QVxAnalogOscilloGraphViewModel>(static_cast<IQVxAnalogOscilloGraphOwner*>(this))),
      m_window(std::make_unique<CQVxWaveformMonitorWnd>(CQVxWaveformMonitorWndProps{true})) {
    m_presenter->SetOption(qvx::WaveformPresenter::kOptionVerticalDivisions, 1);
    m_window->setFont(QVxWinGUI::GuiFont(10));
    m_window->resize(size);
    // Shown but never put on a screen: the window and its children then lay out at once
    // (as on screen) whenever their size changes, before the records load.
    m_window->setAttribute(Qt::WA_DontShowOnScreen);
    m_window->show();
    m_window->Setup(m_presenter.get());
    m_presenter->SetupForStoredData(std::move(reader));
}

QVxRecordingView::~QVxRecordingView() {
    m_window->Setup(nullptr);
}

int QVxRecordingView::WaveformColumns() const {
    const auto& layout = m_window->GetTrackAreaWnd()->GetGraphArea()->GetLayout();
    return std::max(1, layout.waveform.Width());
}

std::int64_t QVxRecordingView::LastTimeNs() const {
    const auto& reader = m_presenter->GetReader();
    // The reader keeps the last time stamp in 10 ns ticks.
    return reader ? qvx::TicksToNs(std::min(reader->GetLastTime(), qvx::kMaxTicksInNs)) : 0;
}

void QVxRecordingView::ShowSpan(std::int64_t fromNs, std::int64_t toNs) {
    const std::int64_t columns = WaveformColumns();
    const std::int64_t span = std::max<std::int64_t>(1, toNs - fromNs);
    m_presenter->ResetViewportScale(std::max<std::int64_t>(1, (span + columns - 1) / columns));
    m_presenter->SetViewportBeginTimeOffset(std::max<std::int64_t>(0, fromNs));
}

void QVxRecordingView::ShowWhole() {
    ShowSpan(0, LastTimeNs() + 1);
}

void QVxRecordingView::SetMarkers(std::int64_t m1Ns, std::int64_t m2Ns) {
    m_presenter->SetMarkerTime(0, m1Ns);
    m_presenter->SetMarkerTime(1, m2Ns);
    m_presenter->SetMarkerEnabled(0, true);
    m_presenter->SetMarkerEnabled(1, true);
}
