#include "QV+Analog/DataList/CQVxAnalogDisplayTriggerListPane.h"

#include "QV+Analog/QVxAppPrompts.h"
#include "QV+Analog/QVxAppText.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxWinCommon/QVxClockTime.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinCommon/QVxUtils.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QVBoxLayout>

#include <spdlog/spdlog.h>

#include <algorithm>
#include <exception>

// --- CQVxAnalogDisplayTriggerList ---------------------------------------------

CQVxAnalogDisplayTriggerList::CQVxAnalogDisplayTriggerList(const QVxAnalogDisplayTriggerListModel& model,
                                                           QWidget* parent)
    : QVxFsListCtrl(parent), m_model(model) {
    setObjectName(QStringLiteral("CQVxAnalogDisplayTriggerList"));
    for (int c = 0; c < QVxAnalogDisplayTriggerListModel::kColumnCount; ++c)
        InsertColumn(c, QString::fromStdString(m_model.GetColumnText(c)), Qt::AlignRight, kColumnWidth);
}

void CQVxAnalogDisplayTriggerList::SetItemCount(int count) {
    const int selected = GetSelectedRow();
    m_itemCount = std::max(0, count);
    Refresh();  // resets the list's own selection
    if (selected >= 0 && selected < m_itemCount) SelectRow(selected);
}

void CQVxAnalogDisplayTriggerList::GrowItemCount(int count) {
    AppendRows(m_itemCount, std::max(m_itemCount, count),
               [this, count] { m_itemCount = std::max(m_itemCount, count); });
    viewport()->update();
}

QString CQVxAnalogDisplayTriggerList::GetColumnString(int row, int column) const {
    if (row < 0 || row >= m_itemCount) return {};
    if (m_liveHit) {
        // During a trace the report is not open yet: the hits found so far, with the
        // values of the records already written.
        const auto hit = m_liveHit(static_cast<std::size_t>(row));
        if (!hit) return {};
        return QString::fromStdString(m_model.GetLiveText(*hit, static_cast<std::size_t>(row), column));
    }
    try {
        return QString::fromStdString(m_model.GetText(static_cast<std::size_t>(row), column));
    } catch (const std::exception&) {
        return QStringLiteral("-");  // logged by the model
    }
}

int CQVxAnalogDisplayTriggerList::GetSelectedRow() const {
    const QModelIndexList rows = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void CQVxAnalogDisplayTriggerList::SelectRow(int row) {
    if (row < 0 || row >= m_itemCount) {
        clearSelection();
        return;
    }
    selectRow(row);
    scrollTo(model()->index(row, 0));
}

void CQVxAnalogDisplayTriggerList::mousePressEvent(QMouseEvent* event) {
    QVxFsListCtrl::mousePressEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid()) Q_EMIT RowClicked(index.row());
}

void CQVxAnalogDisplayTriggerList::keyPressEvent(QKeyEvent* event) {
    const int before = GetSelectedRow();
    QVxFsListCtrl::keyPressEvent(event);
    const int after = GetSelectedRow();
    if (after >= 0 && after != before) Q_EMIT RowSelectedByKey(after);
}

QModelIndex CQVxAnalogDisplayTriggerList::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    if ((action != MoveHome && action != MoveEnd) || m_itemCount == 0)
        return QVxFsListCtrl::moveCursor(action, modifiers);
    const int column = std::max(0, currentIndex().column());
    return model()->index(action == MoveHome ? 0 : m_itemCount - 1, column);
}

// --- CQVxAnalogDisplayTriggerListPane -----------------------------------------

CQVxAnalogDisplayTriggerListPane::CQVxAnalogDisplayTriggerListPane(QVxAnalogViewModel& viewModel,
                                                                   QWidget* parent)
    : QDockWidget(QVxWinGUI::LoadStringW(kGuiStringDisplayTriggerList), parent),
      m_viewModel(viewModel),
      m_model(&viewModel),
      m_list(new CQVxAnalogDisplayTriggerList(m_model, this)) {
    setObjectName(QStringLiteral("CQVxAnalogDisplayTriggerListPane"));
    setFont(QVxWinGUI::GuiFont(9));
    setWidget(m_list);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &CQVxAnalogDisplayTriggerList::RowClicked, this,
            &CQVxAnalogDisplayTriggerListPane::OnRowClicked);
    connect(m_list, &CQVxAnalogDisplayTriggerList::RowSelectedByKey, this,
            &CQVxAnalogDisplayTriggerListPane::OnRowClicked);
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        std::unique_ptr<QMenu> menu(CreateContextMenu(this));
        menu->exec(m_list->viewport()->mapToGlobal(pos));
    });
    m_sessionConnection = m_viewModel.SessionChanged.Connect([this] { Refresh(); });
    m_traceConnection = m_viewModel.TraceStateChanged.Connect([this] { Refresh(); });
    m_syncConnection = m_viewModel.ViewSync.Connect([this](const QVxViewSyncParams& p) { OnViewSync(p); });
    Refresh();
}

CQVxAnalogDisplayTriggerListPane::~CQVxAnalogDisplayTriggerListPane() {
    m_sessionConnection->Disconnect();
    m_traceConnection->Disconnect();
    m_syncConnection->Disconnect();
}

static int ClampedRowCount(std::size_t count) {
    return static_cast<int>(std::min<std::size_t>(count, INT32_MAX));
}

void CQVxAnalogDisplayTriggerListPane::Refresh() {
    // The time column's title follows the time display (and whether a start time is known).
    constexpr int kTimeColumn = 2;
    m_list->SetColumnTitle(kTimeColumn, QString::fromStdString(m_model.GetColumnText(kTimeColumn)));
    if (m_viewModel.GetClockTimeOrigin())
        m_list->EnsureColumnFits(kTimeColumn, QString::fromUtf8(QVxClockTime::kTimeOfDaySample));
    // A running trace appends to the session's list on the log collector's
    // thread: the list then reads the hits it paints under the view model's lock.
    m_live = m_viewModel.GetTraceState() != QVxAnalogViewModel::kIdle;
    if (m_live)
        m_list->SetLiveHits([this](std::size_t row) { return m_viewModel.CopyDisplayTriggerHit(row); });
    else
        m_list->SetLiveHits({});
    m_list->SetItemCount(ClampedRowCount(m_viewModel.GetStoredDisplayTriggerHitCount()));
}

void CQVxAnalogDisplayTriggerListPane::RefreshTexts() {
    Refresh();
}

void CQVxAnalogDisplayTriggerListPane::OnTraceTimer() {
    // Ten times a second during a trace: the new hits are appended, the rows are not
    // read again, so the list's cost does not grow with the hits found.
    if (m_live && m_viewModel.GetTraceState() != QVxAnalogViewModel::kIdle)
        m_list->GrowItemCount(ClampedRowCount(m_viewModel.GetStoredDisplayTriggerHitCount()));
    else
        Refresh();
    const int count = m_list->GetRealItemCount();
    if (count > 0) m_list->scrollTo(m_list->model()->index(count - 1, 0));
}

void CQVxAnalogDisplayTriggerListPane::OnViewSync(const QVxViewSyncParams& params) {
    if (params.origin == m_list) return;  // this list asked: its row is selected already
    const auto row = m_viewModel.FindDisplayTriggerHit(params.dataIndex,
                                                       static_cast<std::size_t>(m_list->GetRealItemCount()));
    m_list->SelectRow(row ? static_cast<int>(*row)
                          : -1);  // -1: the record is no hit, the selection is cleared
}

void CQVxAnalogDisplayTriggerListPane::OnRowClicked(int row) {
    if (row < 0) return;
    const auto hit = m_viewModel.CopyDisplayTriggerHit(static_cast<std::size_t>(row));
    if (!hit) return;
    const std::int64_t dataIndex = hit->dataIndex;
    if (dataIndex >= 0) m_viewModel.SyncViewsToDataIndex(static_cast<std::uint64_t>(dataIndex), m_list, 1);
}

QMenu* CQVxAnalogDisplayTriggerListPane::CreateContextMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    const std::optional<std::int64_t> time = SelectedHitTime();
    QAction* bookmark = menu->addAction(QVxAppString(kAppStringAddBookmark));
    bookmark->setObjectName(QStringLiteral("addBookmark"));
    bookmark->setEnabled(time.has_value());
    connect(bookmark, &QAction::triggered, this, [this, time] { AddBookmark(*time); });
    menu->addSeparator();
    QAction* action = menu->addAction(QVxAppString(kAppStringCsvExportMenu));
    action->setObjectName(QVxWinGUI::CommandName(kCsvExportCommandId));
    action->setEnabled(CanCsvExport());
    connect(action, &QAction::triggered, this, [this] { OnCsvExport(); });
    return menu;
}

// The time of the selected hit's record, while the stored report is shown (a running
// trace has no report to bookmark yet).
std::optional<std::int64_t> CQVxAnalogDisplayTriggerListPane::SelectedHitTime() const {
    const int row = m_list->GetSelectedRow();
    const qvx::AnalogSession* session = m_viewModel.GetSession();
    if (m_live || row < 0 || !session || !session->GetReportData()) return std::nullopt;
    const auto& hits = session->GetDisplayTriggerList();
    if (static_cast<std::size_t>(row) >= hits.size() || hits[static_cast<std::size_t>(row)].dataIndex < 0)
        return std::nullopt;
    const auto index = static_cast<std::uint64_t>(hits[static_cast<std::size_t>(row)].dataIndex);
    const auto& reader = session->GetReportData();
    const std::uint8_t* record =
        index < reader->GetTotalRecordCount() ? reader->ReadRecordByIndex(index) : nullptr;
    if (!record) return std::nullopt;
    return qvx::RecordTimeNs(record);
}

bool CQVxAnalogDisplayTriggerListPane::AddBookmark(std::int64_t time) {
    const auto problem = m_viewModel.GetBookmarks().Add(time);
    if (!problem) return true;
    QVxAppPrompts::Get().ShowMessage(
        this, QVxAppString(kAppStringBookmarkRefused).arg(QString::fromStdString(*problem)));
    return false;
}

bool CQVxAnalogDisplayTriggerListPane::CanCsvExport() const {
    return m_viewModel.GetSession() != nullptr;
}

bool CQVxAnalogDisplayTriggerListPane::OnCsvExport() {
    if (!CanCsvExport()) return false;
    const QString path = QVxAppPrompts::Get().GetSaveFileName(
        this, QVxAppPrompts::QtFilterFromTable(kFileFilter), QStringLiteral("csv"));
    if (path.isEmpty()) return false;
    return ExportCsv(std::filesystem::path(path.toStdString()));
}

bool CQVxAnalogDisplayTriggerListPane::ExportCsv(const std::filesystem::path& path) {
    // A running trace still appends to the session's list: the hits found so far are
    // copied under its lock and exported.
    const bool exported = m_viewModel.GetTraceState() == QVxAnalogViewModel::kIdle
                              ? m_model.ExportCsv(path)
                              : m_model.ExportLiveCsv(path, m_viewModel.CopyDisplayTriggerHits(0));
    if (exported) return true;
    spdlog::error("CSV export of the display-trigger list to \"{}\" failed", path.string());
    QVxAppPrompts::Get().ShowMessage(
        this, QVxAppString(kAppStringCsvWriteFailed).arg(QString::fromStdString(path.string())));
    return false;
}
