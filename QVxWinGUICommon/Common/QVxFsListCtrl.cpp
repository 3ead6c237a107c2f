#include "QVxWinGUICommon/Common/QVxFsListCtrl.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <functional>

// Forwards every cell to the list's virtual operations.
class QVxFsListModel : public QAbstractTableModel {
public:
    explicit QVxFsListModel(QVxFsListCtrl* list) : QAbstractTableModel(list), m_list(list) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : m_list->GetRealItemCount();
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_titles.size());
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o == Qt::Horizontal && role == Qt::DisplayRole && section < static_cast<int>(m_titles.size()))
            return m_titles[static_cast<std::size_t>(section)];
        return {};
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const int row = index.row();
        const int col = index.column();
        const bool check = m_list->IsCheckBox(row, col);
        switch (role) {
            case Qt::DisplayRole:
            case Qt::EditRole:
                return check ? QVariant() : QVariant(m_list->GetColumnString(row, col));
            case Qt::CheckStateRole:
                return check ? QVariant(m_list->IsChecked(row, col) ? Qt::Checked : Qt::Unchecked)
                             : QVariant();
            case Qt::TextAlignmentRole:
                return QVariant::fromValue(m_list->GetColumnFormat(col) | Qt::AlignVCenter);
            case Qt::ForegroundRole:
            case Qt::BackgroundRole: {
                QColor text, background;
                m_list->GetCellColors(row, col, text, background);
                return role == Qt::ForegroundRole ? text : background;
            }
            default:
                return {};
        }
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (m_list->IsEditable(index.row(), index.column()) ||
            m_list->IsComboSelectable(index.row(), index.column()))
            f |= Qt::ItemIsEditable;
        return f;
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (role != Qt::EditRole) return false;
        m_list->SetColumnString(index.row(), index.column(), value.toString());
        Q_EMIT dataChanged(index, index);
        return true;
    }
    void Reset() {
        beginResetModel();
        endResetModel();
    }
    void Append(int oldCount, int newCount, const std::function<void()>& append) {
        beginInsertRows(QModelIndex(), oldCount, newCount - 1);
        append();
        endInsertRows();
    }

    std::vector<QString> m_titles;

private:
    QVxFsListCtrl* m_list;
};

// In-place editors: a drop-down of the cell's strings or a line edit with the limit.
class QVxFsListDelegate : public QStyledItemDelegate {
public:
    explicit QVxFsListDelegate(QVxFsListCtrl* list) : QStyledItemDelegate(list), m_list(list) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        if (m_list->IsComboSelectable(index.row(), index.column())) {
            auto* combo = new QComboBox(parent);
            combo->setObjectName("QVxFsInPlaceCmb");
            combo->addItems(m_list->GetLBStrings(index.row(), index.column()));
            return combo;
        }
        auto* edit = new QLineEdit(parent);
        edit->setObjectName("QVxFsInPlaceEdit");
        if (m_list->GetEditTextLimit() > 0) edit->setMaxLength(m_list->GetEditTextLimit());
        return edit;
    }
    // The cell, then its right and bottom grid lines in the list's grid colour.
    // The lines are drawn here rather than by a style sheet: a style sheet keeps
    // the palette of the look it was polished in (header, scroll bars and the empty
    // area stayed black after leaving the dark look).
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(m_list->GetGridColor());
        const QRect r = option.rect;
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->restore();
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        const QString text = m_list->GetColumnString(index.row(), index.column());
        if (auto* combo = qobject_cast<QComboBox*>(editor)) {
            combo->setCurrentIndex(std::max(0, combo->findText(text)));
        } else if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
            edit->setText(text);
        }
    }
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        // Esc closes the editor without committing: the list hears of the cancel.
        if (!m_committed) m_list->CancelEdit(index.row(), index.column());
        m_committed = false;
        QStyledItemDelegate::destroyEditor(editor, index);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        m_committed = true;
        QStyledItemDelegate::setModelData(editor, model, index);
    }

private:
    QVxFsListCtrl* m_list;
    mutable bool m_committed = false;
};

QVxFsListCtrl::QVxFsListCtrl(QWidget* parent) : QTableView(parent), m_model(new QVxFsListModel(this)) {
    setModel(m_model);
    setItemDelegate(new QVxFsListDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    setShowGrid(false);  // the delegate draws the grid lines
}

QVxFsListCtrl::~QVxFsListCtrl() = default;

void QVxFsListCtrl::InsertColumn(int column, const QString& title, Qt::Alignment format, int width) {
    column = std::clamp(column, 0, GetColumnCount());
    m_model->m_titles.insert(m_model->m_titles.begin() + column, title);
    m_formats.insert(m_formats.begin() + column, format);
    m_model->Reset();
    setColumnWidth(column, width);
}

int QVxFsListCtrl::GetColumnCount() const {
    return static_cast<int>(m_model->m_titles.size());
}

void QVxFsListCtrl::SetColumnTitle(int column, const QString& title) {
    if (column < 0 || column >= GetColumnCount()) return;
    if (m_model->m_titles[static_cast<std::size_t>(column)] == title) return;
    m_model->m_titles[static_cast<std::size_t>(column)] = title;
    Q_EMIT m_model->headerDataChanged(Qt::Horizontal, column, column);
}

void QVxFsListCtrl::EnsureColumnFits(int column, const QString& text) {
    constexpr int kCellMargins = 16;  // px, both sides and the grid line
    const int needed = fontMetrics().horizontalAdvance(text) + kCellMargins;
    if (columnWidth(column) < needed) setColumnWidth(column, needed);
}

void QVxFsListCtrl::Refresh() {
    m_model->Reset();
}

void QVxFsListCtrl::AppendRows(int oldCount, int newCount, const std::function<void()>& append) {
    if (newCount <= oldCount) {
        append();
        Refresh();
        return;
    }
    m_model->Append(oldCount, newCount, append);
}

void QVxFsListCtrl::SetNormalColors(const QColor& text, const QColor& background) {
    m_normalText = text;
    m_normalBackground = background;
    viewport()->update();
}

void QVxFsListCtrl::SetGridColor(const QColor& color) {
    m_gridColor = color;
    viewport()->update();
}

QString QVxFsListCtrl::GetColumnString(int row, int column) const {
    if (row < 0 || row >= static_cast<int>(m_items.size())) return {};
    const QStringList& cells = m_items[static_cast<std::size_t>(row)];
    return column >= 0 && column < cells.size() ? cells[column] : QString();
}

void QVxFsListCtrl::SetColumnString(int row, int column, const QString& text) {
    if (row < 0 || column < 0) return;
    if (row >= static_cast<int>(m_items.size())) m_items.resize(static_cast<std::size_t>(row) + 1);
    QStringList& cells = m_items[static_cast<std::size_t>(row)];
    while (cells.size() <= column) cells.append(QString());
    cells[column] = text;
}

Qt::Alignment QVxFsListCtrl::GetColumnFormat(int column) const {
    return column >= 0 && column < static_cast<int>(m_formats.size())
               ? m_formats[static_cast<std::size_t>(column)]
               : Qt::AlignLeft;
}

void QVxFsListCtrl::GetCellColors(int row, int, QColor& text, QColor& background) const {
    if (IsSelected(row)) {
        text = palette().color(QPalette::HighlightedText);
        background = palette().color(QPalette::Highlight);
    } else {
        text = m_normalText;
        background = m_normalBackground;
    }
}

bool QVxFsListCtrl::IsSelected(int row) const {
    return selectionModel() && selectionModel()->isRowSelected(row, QModelIndex());
}

void QVxFsListCtrl::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid() && IsCheckBox(index.row(), index.column())) {
        SetCheckData(index.row(), index.column(), !IsChecked(index.row(), index.column()));
        Q_EMIT m_model->dataChanged(index, index);
    }
    QTableView::mousePressEvent(event);
}

void QVxFsListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid() || !IsSelected(index.row())) {
        QTableView::mouseDoubleClickEvent(event);
        return;
    }
    if (IsComboSelectable(index.row(), index.column()) || IsEditable(index.row(), index.column())) {
        edit(index, QAbstractItemView::AllEditTriggers, event);
    } else {
        CellLeftDblClicked(index.row(), index.column());
    }
}
