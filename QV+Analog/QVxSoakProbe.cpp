#include "QV+Analog/QVxSoakProbe.h"

#include "QV+Analog/DataList/CAnalogDataListPane.h"
#include "QV+Analog/MainFrm.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"

#include <QDateTime>
#include <QScrollBar>

#include <spdlog/spdlog.h>

#include <algorithm>
#include <cstdlib>

std::unique_ptr<QVxSoakProbe> QVxSoakProbe::FromEnvironment(QVxAnalogViewModel& viewModel,
                                                            CMainFrame& frame) {
    const char* path = std::getenv(kFileVariable);
    if (!path || !*path) return nullptr;
    std::FILE* out = std::fopen(path, "a");
    if (!out) {
        spdlog::error("The soak probe file {} cannot be opened.", path);
        return nullptr;
    }
    const char* exercise = std::getenv(kExerciseVariable);
    const int seconds = exercise && *exercise ? std::max(0, std::atoi(exercise)) : 10;
    spdlog::info("Soak probe: a sample a second into {}, a user's actions every {} s.", path, seconds);
    return std::make_unique<QVxSoakProbe>(viewModel, frame, out, seconds);
}

QVxSoakProbe::QVxSoakProbe(QVxAnalogViewModel& viewModel, CMainFrame& frame, std::FILE* out,
                           int exerciseSeconds)
    : m_viewModel(viewModel), m_frame(frame), m_out(out), m_exerciseSeconds(exerciseSeconds) {
    m_tick.setTimerType(Qt::PreciseTimer);
    m_tick.setInterval(kTickMs);
    QObject::connect(&m_tick, &QTimer::timeout, [this] { OnTick(); });
    m_tick.start();
    m_sinceTick.start();
    m_sinceSample.start();
}

QVxSoakProbe::~QVxSoakProbe() {
    std::fclose(m_out);
}

// Every kTickMs: the lateness of this tick; once a second a sample, every m_exerciseSeconds
// the user's actions.
void QVxSoakProbe::OnTick() {
    m_worstLatenessMs = std::max<std::int64_t>(m_worstLatenessMs, m_sinceTick.restart() - kTickMs);
    if (m_sinceSample.elapsed() < 1000) return;
    m_sinceSample.restart();
    WriteSample();
    m_worstLatenessMs = 0;
    if (m_exerciseSeconds > 0 && ++m_samples % m_exerciseSeconds == 0) Exercise();
}

void QVxSoakProbe::WriteSample() {
    std::fprintf(m_out, "%lld %lld %.1f %llu %llu %d\n",
                 static_cast<long long>(QDateTime::currentMSecsSinceEpoch()),
                 static_cast<long long>(m_worstLatenessMs), BufferUsePercent(),
                 static_cast<unsigned long long>(m_viewModel.GetRecordCount()),
                 static_cast<unsigned long long>(m_viewModel.GetDisplayTriggerHitCount()),
                 static_cast<int>(m_viewModel.GetTraceState()));
    std::fflush(m_out);
}

// The unit's memory fill in % of its size, as the library reports it now; 0 without a unit.
double QVxSoakProbe::BufferUsePercent() const {
    auto* devices = m_viewModel.GetDeviceManagerViewModel();
    const std::optional<QVxAnalogUnitStatus> status = devices ? devices->RefreshUnitStatus() : std::nullopt;
    return status ? status->bufferFillPercent : 0.0;
}

void QVxSoakProbe::Exercise() {
    ++m_exercises;
    StepZoom();
    MoveMarkers();
    ScrollDataList();
}

// One step of the scaling list: in on odd turns, back out on even ones.
void QVxSoakProbe::StepZoom() {
    auto* presenter = m_viewModel.GetOscilloGraphViewModel();
    qvx::AnalogSettings* settings = m_viewModel.GetSessionSettings();
    if (!presenter || !settings) return;
    const int direction = m_exercises % 2 == 1 ? -1 : 1;
    presenter->ResetViewportScale(
        presenter->GetScalingList().StepTimeParPixel(settings->visualSettings.timeScale, direction));
}

// M1 and M2 to a third and two thirds of what was taken in so far, swapped every other turn.
void QVxSoakProbe::MoveMarkers() {
    auto* presenter = m_viewModel.GetOscilloGraphViewModel();
    const std::int64_t last = m_viewModel.GetLastRecordTime();
    if (!presenter || last <= 0) return;
    const bool swap = m_exercises % 2 == 0;
    presenter->SetMarkerTime(0, swap ? last * 2 / 3 : last / 3);
    presenter->SetMarkerTime(1, swap ? last / 3 : last * 2 / 3);
}

void QVxSoakProbe::ScrollDataList() {
    CAnalogDataListPane* pane = m_frame.GetDataListPane();
    if (!pane) return;
    QScrollBar* bar = pane->GetVerticalBar();
    bar->setValue(m_exercises % 2 == 1 ? bar->maximum() : bar->minimum());
}
