#pragma once
// The analog data list: one row per stored record, paged through a list that
// counts in int. The list shows only the rows that fit into its window, starting
// at the 64-bit top row page x kPageRows + position; the external vertical scroll
// bar holds the position within the page and the page is kept here. The selection
// is a 64-bit row as well. GUI thread only.

#include "QV+Analog/DataList/AnalogDataListPaging.h"
#include "QVxWinGUICommon/Common/QVxFsListCtrl.h"

#include <QHeaderView>

#include <cstdint>
#include <string>
#include <vector>

class QScrollBar;

// Where the list's rows come from: the data list view model in the program.
class IAnalogDataListSource {
public:
    virtual ~IAnalogDataListSource() = default;
    virtual std::uint64_t GetRowCount() const = 0;
    // Global record index of row 0.
    virtual std::uint64_t GetFirstIndex() const = 0;
    virtual std::string GetColumnText(int column) const = 0;
    virtual std::string GetText(std::uint64_t row, int column) const = 0;
};

// Column titles painted from texts the list sets (the time column carries its unit).
class AnalogDataListHeader : public QHeaderView {
    Q_OBJECT

public:
    explicit AnalogDataListHeader(QWidget* parent);
    void SetTitles(std::vector<QString> titles);
    QString GetTitle(int column) const;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    std::vector<QString> m_titles;
};

class AnalogDataList : public QVxFsListCtrl {
    Q_OBJECT

public:
    static constexpr int kColumnCount = 6;  // #, time, CH1..CH4
    static constexpr int kColumnWidth = 100;

    explicit AnalogDataList(QWidget* parent);

    // `source` (not owned) must outlive the list; null shows nothing.
    void SetSource(const IAnalogDataListSource* source);
    // The external bar that holds the position within the page (not owned).
    void SetVerticalBar(QScrollBar* bar);

    // Re-reads the column titles, the row count and the visible cells; the top
    // row and the selection are kept within the new count.
    void Reload();

    // Scroll bar and wheel: the top row becomes `row` (clamped), split into page
    // and position. The selection stays.
    void ScrollToRow(std::uint64_t row);
    void Scroll(AnalogDataListPaging::ScrollStep step);
    // Selects `row` (clamped) and scrolls so that it is visible.
    void MoveToRow(std::uint64_t row);
    void ClearSelection();

    std::uint64_t GetPage() const { return m_page; }
    std::int32_t GetPosition() const { return m_position; }
    std::uint64_t GetTopRow() const { return AnalogDataListPaging::Join({m_page, m_position}); }
    std::uint64_t GetTotal() const { return m_total; }
    std::int64_t GetSelectedRow() const { return m_selected; }
    std::uint64_t GetSelectedPage() const { return m_selectedPage; }
    // Rows that fit completely into the window (at least 1).
    int GetVisibleRowCount() const;

    // QVxFsListCtrl: rows shown in the window, relative to the top row.
    int GetRealItemCount() const override { return m_shownRows; }
    QString GetColumnString(int row, int column) const override;
    void GetCellColors(int row, int column, QColor& text, QColor& background) const override;

Q_SIGNALS:
    // A row was clicked (64-bit row of the list).
    void RowClicked(std::uint64_t row);
    // A key moved the selection to `row` (64-bit row of the list).
    void RowSelectedByKey(std::uint64_t row);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnBarAction(int action);
    void OnBarValue(int value);
    void SetTop(std::uint64_t row);
    void UpdateBar();
    void UpdateShownRows();
    int RowHeight() const;

    const IAnalogDataListSource* m_source = nullptr;
    AnalogDataListHeader* m_header;
    QScrollBar* m_bar = nullptr;
    std::uint64_t m_total = 0;
    std::uint64_t m_page = 0;
    std::int32_t m_position = 0;
    std::int64_t m_selected = -1;  // 64-bit row; -1: none
    std::uint64_t m_selectedPage = 0;
    int m_shownRows = 0;
};
