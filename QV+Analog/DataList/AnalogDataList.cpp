#include "QV+Analog/DataList/AnalogDataList.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionHeader>
#include <QWheelEvent>

#include <spdlog/spdlog.h>

#include <exception>

namespace Paging = AnalogDataListPaging;

// --- AnalogDataListHeader -----------------------------------------------------

AnalogDataListHeader::AnalogDataListHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setObjectName(QStringLiteral("AnalogDataListHeader"));
    setSectionsClickable(false);
    setHighlightSections(false);
    setDefaultAlignment(Qt::AlignCenter);
}

void AnalogDataListHeader::SetTitles(std::vector<QString> titles) {
    m_titles = std::move(titles);
    viewport()->update();
}

QString AnalogDataListHeader::GetTitle(int column) const {
    return column >= 0 && column < static_cast<int>(m_titles.size())
               ? m_titles[static_cast<std::size_t>(column)]
               : QString();
}

void AnalogDataListHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    if (!rect.isValid()) return;
    // The header's own state and palette first, as QHeaderView::paintSection does. A style
    // option without them carries a copy of the application's palette that is new in every
    // paint, and the style then caches a new picture of the section on every repaint: ten
    // repaints a second during a trace filled the pixmap cache.
    QStyleOptionHeader option;
    initStyleOption(&option);
    initStyleOptionForIndex(&option, logicalIndex);
    option.rect = rect;
    option.text = GetTitle(logicalIndex);
    option.textAlignment = Qt::AlignCenter;
    painter->save();
    style()->drawControl(QStyle::CE_Header, &option, painter, this);
    painter->restore();
}

// --- AnalogDataList ---------------------------------------------------------------

AnalogDataList::AnalogDataList(QWidget* parent)
    : QVxFsListCtrl(parent), m_header(new AnalogDataListHeader(this)) {
    setObjectName(QStringLiteral("AnalogDataList"));
    setHorizontalHeader(m_header);
    setSelectionMode(QAbstractItemView::NoSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    for (int c = 0; c < kColumnCount; ++c) InsertColumn(c, QString(), Qt::AlignRight, kColumnWidth);
    Reload();
}

void AnalogDataList::SetSource(const IAnalogDataListSource* source) {
    m_source = source;
    m_page = 0;
    m_position = 0;
    m_selected = -1;
    m_selectedPage = 0;
    Reload();
}

void AnalogDataList::SetVerticalBar(QScrollBar* bar) {
    m_bar = bar;
    if (!m_bar) return;
    m_bar->setSingleStep(1);
    connect(m_bar, &QScrollBar::actionTriggered, this, &AnalogDataList::OnBarAction);
    connect(m_bar, &QScrollBar::valueChanged, this, &AnalogDataList::OnBarValue);
    UpdateBar();
}

void AnalogDataList::Reload() {
    std::vector<QString> titles;
    for (int c = 0; c < kColumnCount; ++c) {
        std::string text;
        if (m_source) {
            try {
                text = m_source->GetColumnText(c);
            } catch (const std::exception&) {
                text.clear();  // logged by the source
            }
        }
        titles.push_back(QString::fromStdString(text));
    }
    m_header->SetTitles(std::move(titles));

    m_total = m_source ? m_source->GetRowCount() : 0;
    const std::uint64_t top = m_total == 0 ? 0 : std::min(GetTopRow(), m_total - 1);
    const Paging::PagePosition split = Paging::Split(top);
    m_page = split.page;
    m_position = split.position;
    if (m_selected >= 0 && static_cast<std::uint64_t>(m_selected) >= m_total) ClearSelection();
    UpdateBar();
    m_shownRows = -1;  // forces the list to re-read its rows
    UpdateShownRows();
}

void AnalogDataList::ScrollToRow(std::uint64_t row) {
    SetTop(Paging::ClampRow(static_cast<std::int64_t>(std::min<std::uint64_t>(row, INT64_MAX)), m_total));
}

void AnalogDataList::Scroll(Paging::ScrollStep step) {
    SetTop(Paging::ScrollTarget(m_total, GetTopRow(), step, GetVisibleRowCount()));
}

void AnalogDataList::MoveToRow(std::uint64_t row) {
    if (m_total == 0) {
        ClearSelection();
        return;
    }
    row = std::min(row, m_total - 1);
    m_selected = static_cast<std::int64_t>(row);
    m_selectedPage = Paging::Split(row).page;
    SetTop(Paging::TopRowToShow(GetTopRow(), row, GetVisibleRowCount()));
    viewport()->update();
}

void AnalogDataList::ClearSelection() {
    m_selected = -1;
    m_selectedPage = 0;
    viewport()->update();
}

int AnalogDataList::RowHeight() const {
    return std::max(1, verticalHeader()->defaultSectionSize());
}

int AnalogDataList::GetVisibleRowCount() const {
    return std::max(1, viewport()->height() / RowHeight());
}

QString AnalogDataList::GetColumnString(int row, int column) const {
    if (!m_source || row < 0 || row >= m_shownRows) return {};
    try {
        return QString::fromStdString(
            m_source->GetText(GetTopRow() + static_cast<std::uint64_t>(row), column));
    } catch (const std::exception&) {
        return QStringLiteral("-");  // logged by the source
    }
}

void AnalogDataList::GetCellColors(int row, int column, QColor& text, QColor& background) const {
    QVxFsListCtrl::GetCellColors(row, column, text, background);
    if (m_selected >= 0 &&
        GetTopRow() + static_cast<std::uint64_t>(row) == static_cast<std::uint64_t>(m_selected)) {
        text = palette().color(QPalette::HighlightedText);
        background = palette().color(QPalette::Highlight);
    }
}

void AnalogDataList::keyPressEvent(QKeyEvent* event) {
    Paging::SelectKey key;
    switch (event->key()) {
        case Qt::Key_PageUp:
            key = Paging::SelectKey::PageUp;
            break;
        case Qt::Key_PageDown:
            key = Paging::SelectKey::PageDown;
            break;
        case Qt::Key_End:
            key = Paging::SelectKey::End;
            break;
        case Qt::Key_Home:
            key = Paging::SelectKey::Home;
            break;
        case Qt::Key_Up:
            key = Paging::SelectKey::Up;
            break;
        case Qt::Key_Down:
            key = Paging::SelectKey::Down;
            break;
        default:
            QVxFsListCtrl::keyPressEvent(event);
            return;
    }
    event->accept();
    if (m_total == 0) return;
    // Without a selection the keys start from the top row.
    const std::int64_t before = m_selected;
    const std::uint64_t from = before >= 0 ? static_cast<std::uint64_t>(before) : GetTopRow();
    MoveToRow(Paging::SelectionTarget(m_total, from, key, GetVisibleRowCount()));
    if (m_selected >= 0 && m_selected != before)
        Q_EMIT RowSelectedByKey(static_cast<std::uint64_t>(m_selected));
}

void AnalogDataList::wheelEvent(QWheelEvent* event) {
    event->accept();
    const int delta = event->angleDelta().y();
    if (delta == 0 || m_total == 0) return;
    SetTop(Paging::WheelTarget(m_total, GetTopRow(), delta));
}

void AnalogDataList::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || !index.isValid() || index.row() >= m_shownRows) {
        event->accept();
        return;
    }
    const std::uint64_t row = GetTopRow() + static_cast<std::uint64_t>(index.row());
    m_selected = static_cast<std::int64_t>(row);
    m_selectedPage = Paging::Split(row).page;
    viewport()->update();
    event->accept();
    Q_EMIT RowClicked(row);
}

void AnalogDataList::mouseDoubleClickEvent(QMouseEvent* event) {
    // No in-place editing: a double click is a second click.
    mousePressEvent(event);
}

void AnalogDataList::resizeEvent(QResizeEvent* event) {
    QVxFsListCtrl::resizeEvent(event);
    UpdateBar();
    UpdateShownRows();
}

void AnalogDataList::OnBarAction(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            Scroll(Paging::ScrollStep::LineDown);
            break;
        case QAbstractSlider::SliderSingleStepSub:
            Scroll(Paging::ScrollStep::LineUp);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            Scroll(Paging::ScrollStep::PageDown);
            break;
        case QAbstractSlider::SliderPageStepSub:
            Scroll(Paging::ScrollStep::PageUp);
            break;
        case QAbstractSlider::SliderToMinimum:
            Scroll(Paging::ScrollStep::Home);
            break;
        case QAbstractSlider::SliderToMaximum:
            Scroll(Paging::ScrollStep::End);
            break;
        default:
            break;  // a drag moves within the page (valueChanged)
    }
}

void AnalogDataList::OnBarValue(int value) {
    if (value == m_position) return;
    SetTop(Paging::Join({m_page, value}));
}

void AnalogDataList::SetTop(std::uint64_t row) {
    const Paging::PagePosition split = Paging::Split(m_total == 0 ? 0 : std::min(row, m_total - 1));
    const bool pageChanged = split.page != m_page;
    m_page = split.page;
    m_position = split.position;
    if (pageChanged || !m_bar || m_bar->value() != m_position) UpdateBar();
    UpdateShownRows();
}

void AnalogDataList::UpdateBar() {
    if (!m_bar) return;
    const std::int32_t rows = Paging::RowsInPage(m_total, m_page);
    const QSignalBlocker block(m_bar);
    m_bar->setRange(0, std::max(0, rows - 1));
    m_bar->setPageStep(GetVisibleRowCount());
    // Also the slider position, which a bar action in progress applies after its handlers.
    m_bar->setValue(m_position);
    m_bar->setSliderPosition(m_position);
    m_bar->setEnabled(m_total > 1);
}

void AnalogDataList::UpdateShownRows() {
    const int rowHeight = RowHeight();
    const std::uint64_t capacity =
        static_cast<std::uint64_t>((viewport()->height() + rowHeight - 1) / rowHeight);
    const std::uint64_t top = GetTopRow();
    const std::uint64_t remaining = m_total > top ? m_total - top : 0;
    const int shown = static_cast<int>(std::min(capacity, remaining));
    if (shown != m_shownRows) {
        m_shownRows = shown;
        Refresh();
    }
    viewport()->update();
}
