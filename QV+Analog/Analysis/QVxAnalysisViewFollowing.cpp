#include "QV+Analog/Analysis/QVxAnalysisViewFollowing.h"

#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"

QVxReportSpan QVxAnalysisSpan(const qvx::AnalogSettings& settings,
                              const QVxAnalogOscilloGraphViewModel& presenter) {
    const auto& data = presenter.GetWritingRenderData();
    const std::int64_t begin = data.GetViewportBeginTimeOffset();
    return QVxChooseReportSpan(settings, begin, begin + data.ViewportWidthTime());
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
