#include "QV+Analog/Analysis/QVxAnalysisViewFollowing.h"

#include "QV+Analog/QVxAppText.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/WaveformVisualSettings.h"
#include "QVxWinCommon/QVxUtils.h"
#include "QVxWinGUICommon/WaveformMonitor/TrackAreaGeometry.h"

#include <algorithm>

namespace {

// "12.345 ms" in the unit the marker strip uses.
QString TimeText(const qvx::WaveformVisualSettings& visual, std::int64_t ns) {
    const int unit = qvx::trackarea::ChooseTimeUnit(true, visual.timeScale,
                                                    std::min(static_cast<int>(visual.timeUnit), 3));
    return QString::fromStdString(QVxUtils::MakeTimeToDisplayString(ns, unit) + " " +
                                  QVxUtils::MakeTimeUnitString(unit));
}

}  // namespace

QVxReportSpan QVxAnalysisSpan(const qvx::AnalogSettings& settings,
                              const QVxAnalogOscilloGraphViewModel& presenter) {
    const auto& data = presenter.GetWritingRenderData();
    const std::int64_t begin = data.GetViewportBeginTimeOffset();
    return QVxChooseReportSpan(settings, begin, begin + data.ViewportWidthTime());
}

QString QVxAnalysisSpanText(const qvx::WaveformVisualSettings& visual, std::int64_t fromNs,
                            std::int64_t toNs) {
    const bool markers = visual.markers[0].enabled && visual.markers[1].enabled;
    QString span = QVxAppString(markers ? kAppStringMeasurementMarkers : kAppStringMeasurementWindow);
    span.replace(span.indexOf(QStringLiteral("%s")), 2, TimeText(visual, fromNs));
    span.replace(span.indexOf(QStringLiteral("%s")), 2, TimeText(visual, toNs));
    return span;
}

void QVxFollowViewChanges(QVxAnalogViewModel& viewModel,
                          std::vector<std::shared_ptr<qvx::SignalConnection>>& connections, QTimer& settle) {
    for (auto& connection : connections) connection->Disconnect();
    connections.clear();
    if (auto* presenter = viewModel.GetOscilloGraphViewModel()) {
        connections.push_back(presenter->ViewportChanged.Connect([&settle] { settle.start(); }));
        connections.push_back(presenter->ScaleChanged.Connect([&settle] { settle.start(); }));
    }
    settle.start();
}
