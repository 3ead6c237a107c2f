#pragma once
// What the window's analysis panes share: the span they measure (M1 to M2 when both markers
// are on, else the visible window) and a settle timer restarted whenever the view scrolls,
// zooms or a marker moves, so that they compute again once the view rests. GUI thread.

#include "QV+Analog/Pictures/QVxReportContent.h"
#include "QVxCore/Presenters/Signal.h"

#include <QString>
#include <QTimer>

#include <cstdint>

#include <memory>
#include <vector>

class QVxAnalogViewModel;
class QVxAnalogOscilloGraphViewModel;
namespace qvx {
struct WaveformVisualSettings;
}

// The span over `presenter`'s view with the markers of `settings`.
QVxReportSpan QVxAnalysisSpan(const qvx::AnalogSettings& settings,
                              const QVxAnalogOscilloGraphViewModel& presenter);

// "M1-M2: from 〜 to" or the visible window's text, the times in the unit the view shows.
QString QVxAnalysisSpanText(const qvx::WaveformVisualSettings& visual, std::int64_t fromNs,
                            std::int64_t toNs);

// Connects the current presenter's viewport and scale changes to `settle` (a zoom comes as
// ScaleChanged, scrolling and markers as ViewportChanged), replacing `connections`, and
// starts it once.
void QVxFollowViewChanges(QVxAnalogViewModel& viewModel,
                          std::vector<std::shared_ptr<qvx::SignalConnection>>& connections, QTimer& settle);
