#pragma once
// The docking pane "ブックマーク" / "Bookmarks": the session's bookmarks by time (time or
// time of day, name, note, CH1..CH4 at that time). A click or Enter moves the views to
// the bookmark through the views' synchronisation and selects it; a double click on a
// name or note edits it in place; Delete removes the selected one. Its context menu
// renames, recolours, hides or shows, deletes and exports the list as CSV. GUI thread only.

#include "QV+AnalogCore/Presenters/QVxAnalogBookmarkListModel.h"
#include "QVxWinGUICommon/Common/QVxFsListCtrl.h"

#include <QDockWidget>

#include <cstdint>
#include <filesystem>
#include <memory>

class QMenu;
class QVxAnalogViewModel;

namespace qvx {
class SignalConnection;
}

// The list control: cells of the model, name and note editable in place.
class CQVxBookmarkList : public QVxFsListCtrl {
    Q_OBJECT

public:
    CQVxBookmarkList(QVxAnalogViewModel& viewModel, QVxAnalogBookmarkListModel& model, QWidget* parent);

    int GetRealItemCount() const override { return static_cast<int>(m_model.GetRowCount()); }
    QString GetColumnString(int row, int column) const override;
    void SetColumnString(int row, int column, const QString& text) override;
    bool IsEditable(int row, int column) const override;
    // A hidden bookmark's row is grey; the time cell shows the bookmark's colour.
    void GetCellColors(int row, int column, QColor& text, QColor& background) const override;
    int GetSelectedRow() const;
    void SelectRow(int row);

Q_SIGNALS:
    // A click, Enter or a key that moved the selection: go to the row's bookmark.
    void RowActivated(int row);
    void DeleteRequested();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QVxAnalogViewModel& m_viewModel;
    QVxAnalogBookmarkListModel& m_model;
};

class CQVxBookmarksPane : public QDockWidget {
    Q_OBJECT

public:
    static constexpr const char* kFileFilter = "CSV file(*.csv)|*.csv||";

    // `viewModel` must outlive the pane.
    CQVxBookmarksPane(QVxAnalogViewModel& viewModel, QWidget* parent);
    ~CQVxBookmarksPane() override;

    CQVxBookmarkList* GetList() const { return m_list; }
    const QVxAnalogBookmarkListModel& GetModel() const { return m_model; }
    // The context menu (caller owns it): rename, note, colour, show, delete, export.
    QMenu* CreateContextMenu(QWidget* parent);
    // Moves the views to bookmark `id` and selects it; false for an unknown id.
    bool GoTo(std::int32_t id);
    // Ctrl+B / Ctrl+Shift+B: the next / previous bookmark from the views' cursor.
    bool GoToNext(bool forward);
    bool ExportCsv(const std::filesystem::path& path);
    // Titles and cells again (language, clock time).
    void RefreshTexts();

Q_SIGNALS:
    // The views moved to `time` ns by a jump to a bookmark: the family peers follow.
    void JumpedToTime(qint64 time);

private:
    void Refresh();
    void OnRowActivated(int row);
    std::int32_t SelectedId() const;
    void Report(const std::optional<std::string>& problem);
    void Rename(std::int32_t id, bool note);
    void Recolour(std::int32_t id);

    QVxAnalogViewModel& m_viewModel;
    QVxAnalogBookmarkListModel m_model;
    CQVxBookmarkList* m_list;
    std::shared_ptr<qvx::SignalConnection> m_bookmarksConnection;
    std::shared_ptr<qvx::SignalConnection> m_sessionConnection;
};
