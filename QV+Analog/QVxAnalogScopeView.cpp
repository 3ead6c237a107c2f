#include "QV+Analog/QVxAnalogScopeView.h"

#include "QV+Analog/ConfigAnalog/QVxAnalogWaveformExtension.h"
#include "QV+Analog/QVxAnalogLooks.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/Utils.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/IQVxWaveformExtension.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackAreaWnd.h"

#include <QScrollArea>
#include <QVBoxLayout>

#include <spdlog/spdlog.h>

#include <algorithm>
#include <limits>

CQVxAnalogScopeView::CQVxAnalogScopeView(QVxAnalogViewModel& viewModel, QWidget* parent)
    : QWidget(parent),
      m_viewModel(viewModel),
      m_monitor(new CQVxWaveformMonitorWnd(CQVxWaveformMonitorWndProps{true}, this)),
      m_extension(std::make_unique<QVxAnalogWaveformExtension>(viewModel)) {
    m_monitor->setObjectName(QVxWinGUI::ControlName(kMonitorId));
    // The monitor fills the view, but never gets lower than its tracks and footer need
    // (readable fitted tracks, or the fixed track height): below that the view scrolls
    // vertically.
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("monitorScroll"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(m_monitor);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scroll);
    connect(m_monitor->GetTrackAreaWnd(), &CQVxWaveformTrackAreaWnd::NeededHeightChanged, this,
            [this](int height) {
                m_monitor->setMinimumHeight(height + 2 * CQVxWaveformMonitorWnd::kBorderWidth);
            });
    m_monitor->SetWndShowContext(this);
    m_monitor->SetExtension(m_extension.get());
    connect(m_monitor, &CQVxWaveformMonitorWnd::CommandTriggered, this, &CQVxAnalogScopeView::OnCommand);
    m_monitor->SetMarkPresenter(&m_viewModel.GetDisplayTriggerPresenter());
    connect(m_monitor, &CQVxWaveformMonitorWnd::DoubleClickedAtTime, this, [this](quint64 time) {
        if (const auto abs = ToAbsoluteTime(static_cast<std::int64_t>(time))) Q_EMIT SyncTimeRequested(*abs);
    });
    m_connections.push_back(m_viewModel.SessionChanged.Connect([this] { Bind(); }));
    m_connections.push_back(m_viewModel.TraceStateChanged.Connect([this] { UpdateBorderColor(); }));
    m_connections.push_back(
        m_viewModel.ViewSync.Connect([this](const QVxViewSyncParams& params) { OnSyncView(params); }));
    if (auto* devices = m_viewModel.GetDeviceManagerViewModel())
        m_connections.push_back(devices->Changed.Connect([this] { UpdateBorderColor(); }));
    Bind();
}

CQVxAnalogScopeView::~CQVxAnalogScopeView() {
    for (auto& connection : m_connections) connection->Disconnect();
    m_monitor->Setup(nullptr);
}

void CQVxAnalogScopeView::Bind() {
    m_monitor->Setup(m_viewModel.GetOscilloGraphViewModel());
    UpdateBorderColor();
}

void CQVxAnalogScopeView::UpdateBorderColor() {
    auto* devices = m_viewModel.GetDeviceManagerViewModel();
    const bool connected = devices && devices->GetConnectedDevice();
    const bool tracing = m_viewModel.isTracing();
    m_monitor->SetBorderColor(QVxAnalogLooks::ToColor(
        connected && tracing ? QVxAnalogLooks::TracingColor() : QVxAnalogLooks::IdleBorderColor()));
}

void CQVxAnalogScopeView::OnCommand(int id) {
    using Wnd = CQVxWaveformMonitorWnd;
    auto* presenter = m_viewModel.GetOscilloGraphViewModel();
    if (id == Wnd::kCopyCommand) {
        m_monitor->BmpCopyToClipboard();
    } else if (id >= Wnd::kTimeUnitNsCommand && id <= Wnd::kTimeUnitSecondsCommand) {
        // ns is time unit 3 ... s is time unit 0.
        if (presenter)
            presenter->SetTimeUnit(static_cast<qvx::TimeDisplayUnit>(Wnd::kTimeUnitSecondsCommand - id));
    } else if (id == Wnd::kMarkerToCursorCommands[0] || id == Wnd::kMarkerToCursorCommands[1]) {
        m_monitor->GetTrackAreaWnd()->SetMarkerToCursor(id - Wnd::kMarkerToCursorCommands[0]);
    } else if (id == Wnd::kAddBookmarkCommand) {
        if (!presenter) return;
        if (const auto problem = m_viewModel.GetBookmarks().Add(presenter->GetCursorTime()))
            spdlog::warn("No bookmark was added: {}", *problem);
    } else if (id == Wnd::kDeleteBookmarkCommand) {
        m_viewModel.GetBookmarks().DeleteSelected();
    } else if (id == Wnd::kExportMarkedRangeCommand) {
        Q_EMIT ExportMarkedRangeRequested();
        return;
    } else {
        return;
    }
    m_monitor->update();
}

std::optional<std::int64_t> CQVxAnalogScopeView::ToAbsoluteTime(std::int64_t time) const {
    const auto* session = m_viewModel.GetSession();
    if (!session || !session->GetReportData()) return std::nullopt;
    return session->GetReportData()->GetStartTimeNs() + time;
}

void CQVxAnalogScopeView::SendTimeToPeers(std::int64_t time) {
    if (const auto abs = ToAbsoluteTime(time)) Q_EMIT SyncTimeRequested(*abs);
}

void CQVxAnalogScopeView::ShowTime(std::int64_t time, bool alignToTrigger) {
    auto* presenter = m_viewModel.GetOscilloGraphViewModel();
    if (!presenter) {
        spdlog::error("session [CQVxAnalogScopeView::OnSyncView]");
        return;
    }
    const std::int64_t width = presenter->GetWritingRenderData().ViewportWidthTime();
    const auto* settings = m_viewModel.GetSessionSettings();
    std::int64_t begin = 0;
    if (alignToTrigger && settings && settings->displayTriggerMode != qvx::DisplayTriggerMode::kNone) {
        begin =
            time - static_cast<std::int64_t>(static_cast<double>(width) * settings->displayTriggerPosition);
    } else {
        begin = time - width / 2;
    }
    // The cursor goes to the time shown and is drawn there, so the values at it can be read.
    presenter->UpdateCursorTime(std::max<std::int64_t>(time, 0));
    presenter->SetViewportBeginTimeOffset(std::max<std::int64_t>(begin, 0));
    m_monitor->ShowSyncedCursor();
}

void CQVxAnalogScopeView::OnSyncView(const QVxViewSyncParams& params) {
    if (params.origin == this) return;
    ShowTime(params.time, params.option == 1);
}
