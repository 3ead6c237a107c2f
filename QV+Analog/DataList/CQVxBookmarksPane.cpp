#include "QV+Analog/DataList/CQVxBookmarksPane.h"

#include "QV+Analog/QVxAppPrompts.h"
#include "QV+Analog/QVxAppText.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxWinCommon/QVxClockTime.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/PaintSupport.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <spdlog/spdlog.h>

using qvx::trackarea::ToQColor;

namespace {

constexpr int kTimeWidth = 130;
constexpr int kTextWidth = 140;
constexpr int kValueWidth = 90;

// The colours offered by the context menu; the first is the default mark colour.
constexpr qvx::Color kPalette[] = {QVxAnalogBookmarks::kDefaultColor,
                                   {220, 50, 47},
                                   {38, 139, 210},
                                   {211, 54, 130},
                                   {181, 137, 0},
                                   {108, 113, 196}};

QIcon Swatch(const qvx::Color& c) {
    QPixmap pixmap(14, 14);
    pixmap.fill(ToQColor(c));
    return QIcon(pixmap);
}

}  // namespace

// --- CQVxBookmarkList -------------------------------------------------------------

CQVxBookmarkList::CQVxBookmarkList(QVxAnalogViewModel& viewModel, QVxAnalogBookmarkListModel& model,
                                   QWidget* parent)
    : QVxFsListCtrl(parent), m_viewModel(viewModel), m_model(model) {
    setObjectName(QStringLiteral("CQVxBookmarkList"));
    for (int c = 0; c < QVxAnalogBookmarkListModel::kColumnCount; ++c) {
        const bool text =
            c == QVxAnalogBookmarkListModel::kNameColumn || c == QVxAnalogBookmarkListModel::kNoteColumn;
        InsertColumn(c, QString::fromStdString(m_model.GetColumnText(c)),
                     text ? Qt::AlignLeft : Qt::AlignRight,
                     c == 0 ? kTimeWidth
                     : text ? kTextWidth
                            : kValueWidth);
    }
    SetEditTextLimit(static_cast<int>(qvx::kMaxBookmarkTextLength));
}

QString CQVxBookmarkList::GetColumnString(int row, int column) const {
    if (row < 0) return {};
    return QString::fromStdString(m_model.GetText(static_cast<std::size_t>(row), column));
}

bool CQVxBookmarkList::IsEditable(int, int column) const {
    return column == QVxAnalogBookmarkListModel::kNameColumn ||
           column == QVxAnalogBookmarkListModel::kNoteColumn;
}

void CQVxBookmarkList::SetColumnString(int row, int column, const QString& text) {
    const std::int32_t id = m_model.GetId(static_cast<std::size_t>(row));
    QVxAnalogBookmarks& bookmarks = m_viewModel.GetBookmarks();
    const auto problem = column == QVxAnalogBookmarkListModel::kNameColumn
                             ? bookmarks.Rename(id, text.toStdString())
                             : bookmarks.SetNote(id, text.toStdString());
    if (problem)
        QVxAppPrompts::Get().ShowMessage(
            this, QVxAppString(kAppStringBookmarkRefused).arg(QString::fromStdString(*problem)));
}

void CQVxBookmarkList::GetCellColors(int row, int column, QColor& text, QColor& background) const {
    QVxFsListCtrl::GetCellColors(row, column, text, background);
    const qvx::AnalogBookmark* b = m_model.GetBookmark(static_cast<std::size_t>(row));
    if (!b || IsSelected(row)) return;
    if (!b->visible) text = QColor(150, 150, 150);
    if (column == QVxAnalogBookmarkListModel::kTimeColumn) {
        // A light tint of the mark's colour, so a row and its flag are found together.
        const QColor mark = ToQColor(b->color.IsSet() ? b->color : QVxAnalogBookmarks::kDefaultColor);
        background =
            QColor((mark.red() + 3 * 255) / 4, (mark.green() + 3 * 255) / 4, (mark.blue() + 3 * 255) / 4);
    }
}

int CQVxBookmarkList::GetSelectedRow() const {
    const QModelIndexList rows = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void CQVxBookmarkList::SelectRow(int row) {
    if (row < 0 || row >= GetRealItemCount()) {
        clearSelection();
        return;
    }
    selectRow(row);
    scrollTo(model()->index(row, 0));
}

void CQVxBookmarkList::mousePressEvent(QMouseEvent* event) {
    QVxFsListCtrl::mousePressEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid()) Q_EMIT RowActivated(index.row());
}

void CQVxBookmarkList::keyPressEvent(QKeyEvent* event) {
    if (state() != QAbstractItemView::EditingState) {
        if (event->key() == Qt::Key_Delete) {
            Q_EMIT DeleteRequested();
            return;
        }
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            if (GetSelectedRow() >= 0) Q_EMIT RowActivated(GetSelectedRow());
            return;
        }
    }
    const int before = GetSelectedRow();
    QVxFsListCtrl::keyPressEvent(event);
    const int after = GetSelectedRow();
    if (after >= 0 && after != before) Q_EMIT RowActivated(after);
}

// --- CQVxBookmarksPane ------------------------------------------------------------

CQVxBookmarksPane::CQVxBookmarksPane(QVxAnalogViewModel& viewModel, QWidget* parent)
    : QDockWidget(QVxAppString(kAppStringBookmarksPane), parent),
      m_viewModel(viewModel),
      m_model(&viewModel),
      m_list(new CQVxBookmarkList(viewModel, m_model, this)) {
    setObjectName(QStringLiteral("CQVxBookmarksPane"));
    setFont(QVxWinGUI::GuiFont(9));
    setWidget(m_list);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &CQVxBookmarkList::RowActivated, this, &CQVxBookmarksPane::OnRowActivated);
    connect(m_list, &CQVxBookmarkList::DeleteRequested, this, [this] {
        if (const std::int32_t id = SelectedId()) Report(m_viewModel.GetBookmarks().Delete(id));
    });
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        std::unique_ptr<QMenu> menu(CreateContextMenu(this));
        menu->exec(m_list->viewport()->mapToGlobal(pos));
    });
    m_bookmarksConnection = m_viewModel.GetBookmarks().Changed.Connect([this] { Refresh(); });
    m_sessionConnection = m_viewModel.SessionChanged.Connect([this] { Refresh(); });
    Refresh();
}

CQVxBookmarksPane::~CQVxBookmarksPane() {
    m_bookmarksConnection->Disconnect();
    m_sessionConnection->Disconnect();
}

void CQVxBookmarksPane::Refresh() {
    m_model.Refresh();
    m_list->SetColumnTitle(0, QString::fromStdString(m_model.GetColumnText(0)));
    if (m_viewModel.GetClockTimeOrigin())
        m_list->EnsureColumnFits(0, QString::fromUtf8(QVxClockTime::kTimeOfDaySample));
    m_list->Refresh();
    m_list->SelectRow(m_model.FindRow(m_viewModel.GetBookmarks().GetSelected()));
}

void CQVxBookmarksPane::RefreshTexts() {
    setWindowTitle(QVxAppString(kAppStringBookmarksPane));
    for (int c = 0; c < QVxAnalogBookmarkListModel::kColumnCount; ++c)
        m_list->SetColumnTitle(c, QString::fromStdString(m_model.GetColumnText(c)));
    Refresh();
}

std::int32_t CQVxBookmarksPane::SelectedId() const {
    const int row = m_list->GetSelectedRow();
    return row < 0 ? 0 : m_model.GetId(static_cast<std::size_t>(row));
}

void CQVxBookmarksPane::OnRowActivated(int row) {
    GoTo(m_model.GetId(static_cast<std::size_t>(row)));
}

bool CQVxBookmarksPane::GoTo(std::int32_t id) {
    const qvx::AnalogBookmark* b = m_viewModel.GetBookmarks().Find(id);
    if (!b) return false;
    m_viewModel.GetBookmarks().Select(id);
    m_viewModel.SyncViewsToTime(b->timeNSec, m_list);
    Q_EMIT JumpedToTime(b->timeNSec);
    return true;
}

bool CQVxBookmarksPane::GoToNext(bool forward) {
    auto* graph = m_viewModel.GetOscilloGraphViewModel();
    if (!graph) return false;
    const std::int64_t cursor = graph->GetCursorTime();
    const auto target =
        forward ? m_viewModel.GetBookmarks().Next(cursor) : m_viewModel.GetBookmarks().Previous(cursor);
    return target && GoTo(target->id);
}

void CQVxBookmarksPane::Report(const std::optional<std::string>& problem) {
    if (!problem) return;
    spdlog::warn("Bookmark not changed: {}", *problem);
    QVxAppPrompts::Get().ShowMessage(
        this, QVxAppString(kAppStringBookmarkRefused).arg(QString::fromStdString(*problem)));
}

void CQVxBookmarksPane::Rename(std::int32_t id, bool note) {
    const int row = m_model.FindRow(id);
    if (row < 0) return;
    const int column =
        note ? QVxAnalogBookmarkListModel::kNoteColumn : QVxAnalogBookmarkListModel::kNameColumn;
    m_list->SelectRow(row);
    m_list->edit(m_list->model()->index(row, column));
}

QMenu* CQVxBookmarksPane::CreateContextMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("bookmarksMenu"));
    const std::int32_t id = SelectedId();
    const qvx::AnalogBookmark* selected = m_viewModel.GetBookmarks().Find(id);
    auto add = [&](int stringId, const char* name, auto&& run) {
        QAction* a = menu->addAction(QVxAppString(stringId));
        a->setObjectName(QString::fromLatin1(name));
        a->setEnabled(selected != nullptr);
        connect(a, &QAction::triggered, this, run);
        return a;
    };
    add(kAppStringRenameBookmark, "renameBookmark", [this, id] { Rename(id, false); });
    add(kAppStringEditBookmarkNote, "editBookmarkNote", [this, id] { Rename(id, true); });
    QMenu* colours = menu->addMenu(QVxAppString(kAppStringRecolourBookmark));
    colours->setObjectName(QStringLiteral("bookmarkColours"));
    colours->setEnabled(selected != nullptr);
    for (const qvx::Color& c : kPalette) {
        QAction* a = colours->addAction(Swatch(c), QString::fromStdString(c.ToText()));
        connect(a, &QAction::triggered, this,
                [this, id, c] { Report(m_viewModel.GetBookmarks().SetColor(id, c)); });
    }
    QAction* shown = add(kAppStringShowBookmark, "showBookmark",
                         [this, id](bool on) { Report(m_viewModel.GetBookmarks().SetVisible(id, on)); });
    shown->setCheckable(true);
    shown->setChecked(selected && selected->visible);
    QAction* remove = add(kAppStringDeleteBookmark, "deleteBookmark",
                          [this, id] { Report(m_viewModel.GetBookmarks().Delete(id)); });
    remove->setShortcut(QKeySequence(Qt::Key_Delete));
    menu->addSeparator();
    QAction* csv = menu->addAction(QVxAppString(kAppStringExportBookmarks));
    csv->setObjectName(QStringLiteral("exportBookmarks"));
    csv->setEnabled(m_model.GetRowCount() > 0);
    connect(csv, &QAction::triggered, this, [this] {
        const QString path = QVxAppPrompts::Get().GetSaveFileName(
            this, QVxAppPrompts::QtFilterFromTable(kFileFilter), QStringLiteral("csv"));
        if (!path.isEmpty()) ExportCsv(std::filesystem::path(path.toStdString()));
    });
    return menu;
}

bool CQVxBookmarksPane::ExportCsv(const std::filesystem::path& path) {
    if (m_model.ExportCsv(path)) return true;
    spdlog::error("CSV export of the bookmarks to \"{}\" failed", path.string());
    QVxAppPrompts::Get().ShowMessage(
        this, QVxAppString(kAppStringCsvWriteFailed).arg(QString::fromStdString(path.string())));
    return false;
}
