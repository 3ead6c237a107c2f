// The analog view model's trace: starting the unit, stopping it with drain, the end of a
// trace, and the records the log collector broadcasts while it runs (the collector's thread).

#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"

#include "QV+AnalogCore/Presenters/QVxAnalogStartParams.h"
#include "QV+AnalogCore/QVxAppStrings.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/Presenters/Interaction.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxCore/Utils.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinCommon/QVxNotification.h"

#include <spdlog/spdlog.h>

namespace fs = std::filesystem;

// --- Trace --------------------------------------------------------------------

bool QVxAnalogViewModel::StartTrace() {
    QVX_CHECK_RETURN(CanStartTrace(), false);
    QVX_CHECK_RETURN(m_collector, false);
    if (!FolderExists(m_cacheFolderPath)) {
        QVxNotification::ShowText(QVxLoadAppString(kAppStringCacheFolderMissing));
        return false;
    }
    // Every trace records into a fresh session with the current settings.
    const qvx::AnalogSettings current = m_session ? m_session->GetSettings() : qvx::AnalogSettings();
    if (!ConfirmReplacingRecording(ReplacingRecording::kNewTrace)) return false;
    if (!NewSession(&current)) return false;
    m_session->SetFreshRecording(true);
    if (!m_session->DeleteReportFiles()) return false;
    const qvx::AnalogSettings& settings = m_session->GetSettings();
    // A recording left behind by a crash is found again with these settings.
    if (!m_session->SaveRecordingSettings())
        spdlog::warn("The trace's settings could not be kept beside its recording in {}.",
                     m_session->GetFolderPath().string());

    QVPlusStartParams startParams{};
    m_rate = QVxFillStartParams(settings, startParams);
    m_startTimestampKnown = false;
    m_startSeconds = 0;
    m_startNanoseconds = 0;
    {
        std::lock_guard lock(m_mutex);
        if (!m_collector->Start(*m_session)) {
            QVxNotification::ShowGuiMessage(kGuiStringReportFileFailed);
            return false;
        }
        m_collector->TakeAbortType();
        m_intake.Reset();
        m_hitCount = 0;
        m_hitListFullTold = false;
        m_analyzer.Reset(&settings, &m_session->GetDisplayTriggerList());
    }
    // Outside the mutex: the presenter's lock comes first in the lock order.
    m_oscilloGraph->SetupForAdhocData();
    m_traceState = kTracing;
    m_unsavedRecording = true;

    if (!StartDevice(startParams)) {
        QVxNotification::ShowGuiMessage(kGuiStringTraceStartFailed);
        AbandonTrace();
        return false;
    }
    TraceStateChanged.Emit();
    return true;
}

// Starts the unit under the mutex, so that no batch is taken in meanwhile.
bool QVxAnalogViewModel::StartDevice(QVPlusStartParams& params) {
    QVxDeviceManager* manager = GetDeviceManager();
    std::lock_guard lock(m_mutex);
    if (!QVX_VERIFY(m_collector->GetAbortType() == QVxAbortType::None)) return false;
    if (!m_deviceManagerViewModel->GetConnectedDevice()) {
        QVxDeviceManager::SetLastDeviceError(kDeviceErrorNotOpen);
        return false;
    }
    if (!manager->QVxDevTraceStart(m_collector.get(), params)) return false;
    m_startSeconds = manager->GetStartSeconds();
    m_startNanoseconds = manager->GetStartNanoseconds();
    m_startTimestampKnown = m_startSeconds != 0 || m_startNanoseconds != 0;
    if (m_startTimestampKnown) m_collector->SetStartTime(m_startSeconds, m_startNanoseconds);
    return true;
}

// A trace whose unit did not start: nothing will end it through the collector,
// so it ends here (the empty report file is closed, the state is idle again).
void QVxAnalogViewModel::AbandonTrace() {
    m_collector->CloseWriter();
    m_unsavedRecording = false;
    m_traceState = kIdle;
    m_lastAbortType = QVxAbortType::None;
    m_lastReportOpened = false;
    if (QVxDeviceManager* manager = GetDeviceManager(); manager && !manager->IsOpened()) {
        // The unit was released: forget it in the device list.
        if (auto device = m_deviceManagerViewModel->GetConnectingDevice()) {
            m_deviceManagerViewModel->Disconnect(device);
        }
    }
    TraceStateChanged.Emit();
}

void QVxAnalogViewModel::ReadStartTimestamp() {
    QVxDeviceManager* manager = GetDeviceManager();
    if (!manager) return;
    manager->RefreshStatus();
    const QVPlusStatus status = manager->GetStatus();
    m_startSeconds = status.startSeconds;
    m_startNanoseconds = status.startNanoseconds;
    m_startTimestampKnown = m_startSeconds != 0 || m_startNanoseconds != 0;
    if (m_startTimestampKnown && m_collector) m_collector->SetStartTime(m_startSeconds, m_startNanoseconds);
}

void QVxAnalogViewModel::StopTrace() {
    QVX_CHECK(CanStopTrace());
    if (!m_startTimestampKnown) ReadStartTimestamp();
    m_traceState = kStopping;
    TraceStateChanged.Emit();
    QVxDeviceManager* manager = GetDeviceManager();
    manager->Stop(QVPLUS_STOP_DRAIN);
    manager->StartMonitor();
}

// GUI thread, posted by the collector after it closed the last file.
void QVxAnalogViewModel::OnTraceEnded(QVxAbortType abortType) {
    // A notice that arrives after the trace has already ended (the collector may post it
    // more than once) or after the shutdown dropped the session has nothing left to finish.
    if (!m_session || m_traceState.load() == kIdle) {
        m_collector->CloseWriter();
        return;
    }
    CloseRecording();
    m_lastAbortType = abortType;
    m_lastReportOpened = false;
    if (!m_startTimestampKnown) ReadStartTimestamp();
    switch (abortType) {
        case QVxAbortType::None:
            m_lastReportOpened = FinishReport();
            break;
        case QVxAbortType::DeviceError:
            // The files keep the right start time even though the report is not opened.
            m_session->UpdateTestStartTime(m_startSeconds, m_startNanoseconds);
            QVxNotification::ShowGuiMessage(kGuiStringConnectionErrorStopped);
            if (auto device = m_deviceManagerViewModel->GetConnectedDevice())
                m_deviceManagerViewModel->Disconnect(device);
            break;
        case QVxAbortType::LowDiskSpace:
            m_session->UpdateTestStartTime(m_startSeconds, m_startNanoseconds);
            QVxNotification::ShowGuiMessage(kGuiStringLowDiskSpace);
            break;
        case QVxAbortType::WriteFailed:
            m_session->UpdateTestStartTime(m_startSeconds, m_startNanoseconds);
            QVxNotification::ShowGuiMessage(kGuiStringTraceWriteFailed);
            break;
    }
    TraceStateChanged.Emit();
}

// Start time into every header and the reader on "repo", as one task; then the
// presenter shows the stored data, on the last display trigger when there was one.
bool QVxAnalogViewModel::FinishReport() {
    qvx::AnalogSession* session = m_session.get();
    bool opened = false;
    const std::int64_t seconds = m_startSeconds;
    const std::int32_t nanoseconds = m_startNanoseconds;
    qvx::Interaction::Run([&](qvx::ProgressToken* progress) {
        session->UpdateTestStartTime(seconds, nanoseconds);
        opened = session->OpenReportData(progress);
    });
    if (!opened || !session->GetReportData()) return false;
    m_oscilloGraph->SetupForStoredData(session->GetReportData());
    if (const auto offset = m_intake.GetTriggerViewOffset())
        m_oscilloGraph->SetViewportBeginTimeOffset(*offset);
    return true;
}

// Log collector's thread: one batch of records just written to the report files.
void QVxAnalogViewModel::Broadcast(const std::uint8_t* records, std::int64_t count) {
    QVX_CHECK(isTracing());
    QVxAnalogOscilloGraphViewModel* presenter = m_oscilloGraph.get();
    if (!presenter || presenter->IsStoredData()) {
        // No live view to fill: the records are still numbered and analysed.
        std::lock_guard lock(m_mutex);
        m_intake.Fold(nullptr, records, count, &m_analyzer);
        UpdateHitCount();
        return;
    }
    // Before the first display trigger of the trace nothing can hold the display: a batch
    // cannot both find a trigger and complete its window. Such a batch publishes for sure.
    bool publishes = false;
    {
        std::lock_guard lock(m_mutex);
        publishes = m_analyzer.GetTriggersFound() == 0;
    }
    qvx::WaveformPresenter::WriteBatch batch(*presenter, publishes);
    bool held = false;
    {
        std::lock_guard lock(m_mutex);
        m_intake.Fold(&batch.RenderData(), records, count, &m_analyzer);
        UpdateHitCount();
        // Frozen on a complete trigger window: the window keeps the trigger's frame,
        // published once by the batch that wrote it.
        held = m_analyzer.IsDisplayHeld() && !m_intake.WroteTriggerFrame();
    }
    if (!held) batch.PublishAdhoc();
}

// Log collector's thread, under m_mutex: the hits of this trace so far; the user is
// told once when the list stops storing them.
void QVxAnalogViewModel::UpdateHitCount() {
    m_hitCount = m_analyzer.GetHitCount();
    if (!m_analyzer.IsHitListFull() || m_hitListFullTold) return;
    m_hitListFullTold = true;
    const std::size_t limit = m_analyzer.GetMaxStoredHits();
    spdlog::info("Display trigger list full: hits after the first {} are counted, not stored.", limit);
    qvx::Dispatcher::PostToMain([limit] {
        std::string text(QVxLoadAppString(kAppStringDisplayTriggerListFull));
        text.replace(text.find("%s"), 2, std::to_string(limit));
        QVxNotification::ShowText(text);
    });
}

void QVxAnalogViewModel::SetMaxStoredDisplayTriggerHits(std::size_t count) {
    std::lock_guard lock(m_mutex);
    m_analyzer.SetMaxStoredHits(count);
}
