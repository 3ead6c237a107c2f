#pragma once
// The owner-drawn report list as a Qt item view: a subclass supplies rows, cell
// texts, cell colours, check boxes and in-place editing through the virtual
// operations below; the view draws cells with those colours, toggles check boxes
// on a left click and opens an editor (line edit or drop-down) on a double click
// of a selected cell. Rows are int. GUI thread only.

#include "QVxWinGUICommon/QVxWinGUICommonExport.h"

#include <QColor>
#include <QStringList>
#include <QTableView>

#include <functional>

class QVxFsListModel;

class QVXWINGUICOMMON_EXPORT QVxFsListCtrl : public QTableView {
    Q_OBJECT

public:
    explicit QVxFsListCtrl(QWidget* parent = nullptr);
    ~QVxFsListCtrl() override;

    void InsertColumn(int column, const QString& title, Qt::Alignment format = Qt::AlignLeft, int width = 80);
    int GetColumnCount() const;
    // A new title for an existing column; the header repaints.
    void SetColumnTitle(int column, const QString& title);
    // Widens `column` so that `text` fits in it with the cell margins; never narrows it.
    void EnsureColumnFits(int column, const QString& text);
    // Re-reads the row count and every cell.
    void Refresh();
    // Rows [oldCount, newCount) are appended by `append`, after which GetRealItemCount
    // returns newCount: the view inserts them and keeps its selection, scroll position and
    // laid-out rows, which Refresh would throw away. Without new rows: `append`, then Refresh.
    void AppendRows(int oldCount, int newCount, const std::function<void()>& append);
    void SetEditTextLimit(int limit) { m_editTextLimit = limit; }
    int GetEditTextLimit() const { return m_editTextLimit; }
    void SetNormalColors(const QColor& text, const QColor& background);
    void SetGridColor(const QColor& color);
    QColor GetGridColor() const { return m_gridColor; }

    // --- Extension points (defaults: plain list of item texts).
    virtual int GetRealItemCount() const { return static_cast<int>(m_items.size()); }
    virtual QString GetColumnString(int row, int column) const;
    virtual void SetColumnString(int row, int column, const QString& text);
    virtual Qt::Alignment GetColumnFormat(int column) const;
    // Text and background of a cell: the selection colours for a selected row.
    virtual void GetCellColors(int row, int column, QColor& text, QColor& background) const;
    virtual bool IsCheckBox(int, int) const { return false; }
    virtual bool IsChecked(int, int) const { return false; }
    virtual void SetCheckData(int, int, bool) {}
    virtual bool IsEditable(int, int) const { return false; }
    virtual bool IsComboSelectable(int, int) const { return false; }
    virtual QStringList GetLBStrings(int, int) const { return {}; }
    virtual void CellLeftDblClicked(int, int) {}
    virtual void CancelEdit(int, int) {}
    bool IsSelected(int row) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    friend class QVxFsListModel;
    friend class QVxFsListDelegate;

    QVxFsListModel* m_model;
    std::vector<QStringList> m_items;
    std::vector<Qt::Alignment> m_formats;
    QColor m_normalText = Qt::black;
    QColor m_normalBackground = Qt::white;
    QColor m_gridColor = QColor(192, 192, 192);
    int m_editTextLimit = 0;
};
