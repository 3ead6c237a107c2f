#pragma once
// The display trigger as the dialog edits it: mode, source channel and position of
// the session's settings, and the per-channel level, sensitivity, slope and pulse
// width of the source channel. Every setter stores the value and raises
// SettingsChanged, unless that signal is already being raised (a handler that
// writes back does not start another round). It also holds the mark list the
// track area draws as flags. GUI thread only.

#include "QVxCore/AnalogSettingsCodes.h"
#include "QVxCore/Color.h"
#include "QVxCore/Presenters/Signal.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qvx {

class AnalogSettings;
struct AnalogDisplayTriggerSettings;
class WaveformPresenter;

// One flag of the mark list: an id, whether it is shown, its colour, its time (ns) and
// the text shown while the pointer rests on its flag (UTF-8; may be empty).
struct WaveformMark {
    int id = 0;
    bool visible = true;
    Color color;
    std::int64_t time = 0;
    std::string label{};  // the tooltip of its flag (a bookmark's name and note)

    friend bool operator==(const WaveformMark&, const WaveformMark&) = default;
};

class WaveformDisplayTriggerPresenter {
public:
    WaveformDisplayTriggerPresenter() = default;
    WaveformDisplayTriggerPresenter(const WaveformDisplayTriggerPresenter&) = delete;
    WaveformDisplayTriggerPresenter& operator=(const WaveformDisplayTriggerPresenter&) = delete;

    Signal<> SettingsChanged;
    Signal<> MarkListChanged;
    // A mark's drag ended at this time (ns): the owner of the marks stores it.
    Signal<int, std::int64_t> MarkMoved;
    // The selected mark changed (its id, 0 for none).
    Signal<int> SelectedMarkChanged;

    // Both may be null (no session); neither is owned. Raises SettingsChanged.
    void Setup(WaveformPresenter* presenter, AnalogSettings* settings);
    WaveformPresenter* GetWaveformPresenter() const { return m_presenter; }
    AnalogSettings* GetSettings() const { return m_settings; }

    // The source channel's per-channel settings, or null without settings.
    AnalogDisplayTriggerSettings* GetSourceSettings() const;

    // Setters refuse (log the failed check, change nothing) without settings or
    // with a value outside its range.
    void SetMode(DisplayTriggerMode mode);
    void SetSourceChannel(std::int32_t channel);  // 0..3
    void SetPosition(double fraction);            // 0..1 of the view width
    void SetSlope(TriggerSlope slope);            // of the source channel
    void SetLevel(std::int64_t milliVolts);       // of the source channel
    void SetLevelUnit(VoltageDisplayUnit unit);
    void SetSensitivity(std::int32_t samples);  // >= 1
    void SetWidth(std::int64_t nanoSeconds);    // >= 1
    void SetWidthUnit(TimeDisplayUnit unit);
    void SetComparison(WidthComparison comparison);

    const std::vector<WaveformMark>& GetMarkList() const { return m_marks; }
    void SetMarkList(std::vector<WaveformMark> marks);
    void SetMarkVisible(int id, bool visible);
    const WaveformMark* FindMark(int id) const;
    // Moves a mark while it is dragged (MarkListChanged); FinishMarkMove then raises
    // MarkMoved with its time. Unknown ids log the failed check.
    void SetMarkTime(int id, std::int64_t time);
    void FinishMarkMove(int id);
    // The mark drawn as selected (0: none). An id that is not in the list selects none.
    void SetSelectedMark(int id);
    int GetSelectedMark() const { return m_selectedMark; }

private:
    void RaiseSettingsChanged();

    WaveformPresenter* m_presenter = nullptr;
    AnalogSettings* m_settings = nullptr;
    std::vector<WaveformMark> m_marks;
    int m_selectedMark = 0;
    bool m_raising = false;
};

}  // namespace qvx
