#include "QV+Analog/Analysis/CQVxEventSearchPanel.h"

#include "QV+Analog/QVxAppPrompts.h"
#include "QV+Analog/QVxAppText.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/WaveformVisualSettings.h"
#include "QVxWinGUICommon/Common/CQVxProgressDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

using qvx::analog::EventSearchKind;
using qvx::analog::EventSearchRequest;
using qvx::analog::ReportEventSearch;

CQVxEventSearchPanel::CQVxEventSearchPanel(QVxAnalogViewModel& viewModel, QWidget* parent)
    : QWidget(parent),
      m_viewModel(viewModel),
      m_range(new QComboBox(this)),
      m_previous(new QPushButton(QVxAppString(kAppStringSearchPrevious), this)),
      m_next(new QPushButton(QVxAppString(kAppStringSearchNext), this)),
      m_all(new QPushButton(QVxAppString(kAppStringSearchAll), this)) {
    setObjectName(QStringLiteral("EventSearchPanel"));
    m_range->setObjectName(QStringLiteral("searchRange"));
    m_range->addItem(QVxAppString(kAppStringSearchRangeWhole));
    m_range->addItem(QVxAppString(kAppStringSearchRangeMarkers));
    m_previous->setObjectName(QStringLiteral("searchPrevious"));
    m_previous->setToolTip(QStringLiteral("Shift+F3"));
    m_next->setToolTip(QStringLiteral("F3"));
    m_previous->setToolTip(QStringLiteral("Shift+F3"));
    m_next->setToolTip(QStringLiteral("F3"));
    m_next->setObjectName(QStringLiteral("searchNext"));
    m_all->setObjectName(QStringLiteral("searchAll"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QVxAppString(kAppStringSearchRange), this), 0, 0);
    grid->addWidget(m_range, 0, 1, 1, 2);
    grid->addWidget(m_previous, 1, 0);
    grid->addWidget(m_next, 1, 1);
    grid->addWidget(m_all, 1, 2);
    connect(m_previous, &QPushButton::clicked, this, [this] { FindPrevious(); });
    connect(m_next, &QPushButton::clicked, this, [this] { FindNext(); });
    connect(m_all, &QPushButton::clicked, this, [this] { FindAll(); });
    m_connections.push_back(m_viewModel.SessionChanged.Connect([this] { UpdateEnabled(); }));
    m_connections.push_back(m_viewModel.TraceStateChanged.Connect([this] { UpdateEnabled(); }));
    UpdateEnabled();
}

CQVxEventSearchPanel::~CQVxEventSearchPanel() {
    for (auto& connection : m_connections) connection->Disconnect();
}

bool CQVxEventSearchPanel::CanSearch() const {
    const qvx::AnalogSession* session = m_viewModel.GetSession();
    return session && session->GetReportData() && !m_viewModel.isTracing() &&
           m_viewModel.GetOscilloGraphViewModel();
}

void CQVxEventSearchPanel::UpdateEnabled() {
    const bool can = CanSearch();
    for (QWidget* w : {static_cast<QWidget*>(m_range), static_cast<QWidget*>(m_previous),
                       static_cast<QWidget*>(m_next), static_cast<QWidget*>(m_all)})
        w->setEnabled(can);
}

std::optional<EventSearchRequest> CQVxEventSearchPanel::MakeRequest(EventSearchKind kind) {
    if (!CanSearch()) return std::nullopt;
    const qvx::AnalogSession& session = *m_viewModel.GetSession();
    EventSearchRequest request;
    request.reportFolder = session.GetReportFolderPath();
    request.settings = session.GetSettings();
    request.kind = kind;
    request.maxHits = qvx::kMaxStoredDisplayTriggerHits;
    if (const auto error = ReportEventSearch::CheckSettings(request.settings)) {
        QVxAppPrompts::Get().ShowMessage(this, QString::fromStdString(*error));
        return std::nullopt;
    }
    const auto* presenter = m_viewModel.GetOscilloGraphViewModel();
    request.cursorNs = presenter->GetCursorTime();
    if (m_range->currentIndex() == kRangeMarkers) {
        const auto& markers = request.settings.visualSettings.markers;
        if (!markers[0].enabled || !markers[1].enabled) {
            QVxAppPrompts::Get().ShowMessage(this, QVxAppString(kAppStringSearchNeedsMarkers));
            return std::nullopt;
        }
        request.range = {std::min(markers[0].time, markers[1].time),
                         std::max(markers[0].time, markers[1].time)};
    }
    return request;
}

std::optional<ReportEventSearch::Result> CQVxEventSearchPanel::Run(const EventSearchRequest& request) {
    ReportEventSearch::Result result;
    // The search runs on the progress dialog's worker thread, which joins before Run returns.
    const bool finished = CQVxProgressDlg::Run(
        qvx::InteractionRunBehaviors::kCancellable,
        [&](qvx::ProgressToken* token) {
            token->SetCaption(QVxLoadAppString(kAppStringSearchCaption).data());
            result = qvx::analog::RunEventSearch(request, token);
        },
        this);
    if (!finished || result.status == ReportEventSearch::Status::kCancelled) return std::nullopt;
    if (result.status == ReportEventSearch::Status::kReadError) {
        QVxAppPrompts::Get().ShowMessage(this, QVxAppString(kAppStringSearchReadFailed));
        return std::nullopt;
    }
    return result;
}

bool CQVxEventSearchPanel::FindOne(EventSearchKind kind) {
    const auto request = MakeRequest(kind);
    if (!request) return false;
    const auto result = Run(*request);
    if (!result) return false;
    if (result->hits.empty()) {
        QVxAppPrompts::Get().ShowMessage(this, QVxAppString(kAppStringSearchNoHit));
        return false;
    }
    // The views centre on the hit's record and the cursor moves there.
    m_viewModel.SyncViewsToDataIndex(result->hits.front().index, this, 0);
    return true;
}

bool CQVxEventSearchPanel::FindNext() {
    return FindOne(EventSearchKind::kNext);
}

bool CQVxEventSearchPanel::FindPrevious() {
    return FindOne(EventSearchKind::kPrevious);
}

bool CQVxEventSearchPanel::FindAll() {
    const auto request = MakeRequest(EventSearchKind::kAll);
    if (!request) return false;
    const auto result = Run(*request);
    if (!result) return false;
    m_lastHits = result->hits;
    qvx::AnalogDisplayTriggerList& list = m_viewModel.GetSession()->GetDisplayTriggerList();
    list.clear();
    for (const auto& hit : result->hits)
        list.push_back(qvx::AnalogDisplayTriggerItem{static_cast<std::int64_t>(hit.index), hit.widthNs});
    Q_EMIT HitsReplaced();
    if (result->limitReached) {
        QVxAppPrompts::Get().ShowMessage(
            this, QVxAppString(kAppStringSearchHitLimit)
                      .replace(QStringLiteral("%s"), QString::number(qvx::kMaxStoredDisplayTriggerHits)));
    } else if (result->hits.empty()) {
        QVxAppPrompts::Get().ShowMessage(this, QVxAppString(kAppStringSearchNoHit));
    }
    return !result->hits.empty();
}
