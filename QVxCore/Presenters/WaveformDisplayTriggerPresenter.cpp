#include "QVxCore/Presenters/WaveformDisplayTriggerPresenter.h"

#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Utils.h"

#include <algorithm>

namespace qvx {

void WaveformDisplayTriggerPresenter::Setup(WaveformPresenter* presenter, AnalogSettings* settings) {
    m_presenter = presenter;
    m_settings = settings;
    RaiseSettingsChanged();
}

AnalogDisplayTriggerSettings* WaveformDisplayTriggerPresenter::GetSourceSettings() const {
    if (!m_settings) return nullptr;
    const std::int32_t channel = m_settings->displayTriggerSourceChannel;
    if (channel < 0 || channel >= AnalogSettings::kChannelCount) return nullptr;
    return &m_settings->displayTriggerSettings[static_cast<std::size_t>(channel)];
}

void WaveformDisplayTriggerPresenter::SetMode(DisplayTriggerMode mode) {
    QVX_CHECK(m_settings);
    QVX_CHECK(IsValid(mode));
    m_settings->displayTriggerMode = mode;
    RaiseSettingsChanged();
}

void WaveformDisplayTriggerPresenter::SetSourceChannel(std::int32_t channel) {
    QVX_CHECK(m_settings);
    QVX_CHECK(channel >= 0 && channel < AnalogSettings::kChannelCount);
    m_settings->displayTriggerSourceChannel = channel;
    RaiseSettingsChanged();
}

void WaveformDisplayTriggerPresenter::SetPosition(double fraction) {
    QVX_CHECK(m_settings);
    QVX_CHECK(fraction >= 0.0 && fraction <= 1.0);  // also refuses NaN
    m_settings->displayTriggerPosition = fraction;
    RaiseSettingsChanged();
}

void WaveformDisplayTriggerPresenter::SetSlope(TriggerSlope slope) {
    AnalogDisplayTriggerSettings* s = GetSourceSettings();
    QVX_CHECK(s);
    QVX_CHECK(IsValid(slope));
    s->slope = slope;
    RaiseSettingsChanged();
}

void WaveformDisplayTriggerPresenter::SetLevel(std::int64_t milliVolts) {
    AnalogDisplayTriggerSettings* s = GetSourceSettings();
    QVX_CHECK(s);
    s->voltageLevel = milliVolts;
    RaiseSettingsChanged();
}

void WaveformDisplayTriggerPresenter::SetLevelUnit(VoltageDisplayUnit unit) {
    AnalogDisplayTriggerSettings* s = GetSourceSettings();
    QVX_CHECK(s);
    QVX_CHECK(IsValid(unit));
    s->voltageLevelDisplayUnit = unit;
    RaiseSettingsChanged();
}

void WaveformDisplayTriggerPresenter::SetSensitivity(std::int32_t samples) {
    AnalogDisplayTriggerSettings* s = GetSourceSettings();
    QVX_CHECK(s);
    QVX_CHECK(samples >= 1);
    s->sensitivityCount = samples;
    RaiseSettingsChanged();
}

void WaveformDisplayTriggerPresenter::SetWidth(std::int64_t nanoSeconds) {
    AnalogDisplayTriggerSettings* s = GetSourceSettings();
    QVX_CHECK(s);
    QVX_CHECK(nanoSeconds >= 1);
    s->edgeWidthTime = nanoSeconds;
    RaiseSettingsChanged();
}

void WaveformDisplayTriggerPresenter::SetWidthUnit(TimeDisplayUnit unit) {
    AnalogDisplayTriggerSettings* s = GetSourceSettings();
    QVX_CHECK(s);
    QVX_CHECK(IsValid(unit));
    s->edgeWidthTimeDisplayUnit = unit;
    RaiseSettingsChanged();
}

void WaveformDisplayTriggerPresenter::SetComparison(WidthComparison comparison) {
    AnalogDisplayTriggerSettings* s = GetSourceSettings();
    QVX_CHECK(s);
    QVX_CHECK(IsValid(comparison));
    s->widthEdgeComparison = comparison;
    RaiseSettingsChanged();
}

void WaveformDisplayTriggerPresenter::SetMarkList(std::vector<WaveformMark> marks) {
    m_marks = std::move(marks);
    if (m_selectedMark != 0 && !FindMark(m_selectedMark)) {
        m_selectedMark = 0;
        SelectedMarkChanged.Emit(0);
    }
    MarkListChanged.Emit();
}

const WaveformMark* WaveformDisplayTriggerPresenter::FindMark(int id) const {
    const auto it =
        std::find_if(m_marks.begin(), m_marks.end(), [id](const WaveformMark& m) { return m.id == id; });
    return it == m_marks.end() ? nullptr : &*it;
}

void WaveformDisplayTriggerPresenter::SetMarkTime(int id, std::int64_t time) {
    const WaveformMark* mark = FindMark(id);
    QVX_CHECK(mark);
    if (mark->time == time) return;
    const_cast<WaveformMark*>(mark)->time = time;
    MarkListChanged.Emit();
}

void WaveformDisplayTriggerPresenter::FinishMarkMove(int id) {
    const WaveformMark* mark = FindMark(id);
    QVX_CHECK(mark);
    MarkMoved.Emit(id, mark->time);
}

void WaveformDisplayTriggerPresenter::SetSelectedMark(int id) {
    if (id != 0 && !FindMark(id)) id = 0;
    if (id == m_selectedMark) return;
    m_selectedMark = id;
    SelectedMarkChanged.Emit(id);
    MarkListChanged.Emit();  // the flags are drawn anew
}

void WaveformDisplayTriggerPresenter::SetMarkVisible(int id, bool visible) {
    const auto it =
        std::find_if(m_marks.begin(), m_marks.end(), [id](const WaveformMark& m) { return m.id == id; });
    QVX_CHECK(it != m_marks.end());
    if (it->visible == visible) return;
    it->visible = visible;
    MarkListChanged.Emit();
}

void WaveformDisplayTriggerPresenter::RaiseSettingsChanged() {
    // A handler that writes a value back (a control refreshed from the settings)
    // stores it but starts no second round of notifications.
    if (m_raising) return;
    m_raising = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_raising};
    SettingsChanged.Emit();
}

}  // namespace qvx
