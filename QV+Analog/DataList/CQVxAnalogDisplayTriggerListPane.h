#pragma once
// The docking pane "表示トリガーリスト": the display trigger hits of the session
// (number, data number, time and pulse width in ns, CH1..CH4). The selection
// follows the record the views were synchronised to; a click or a key that moves
// the selection synchronises the views to the hit's record. The main frame calls OnTraceTimer every 100 ms
// while a trace runs. GUI thread only.

#include "QV+AnalogCore/Presenters/QVxAnalogDisplayTriggerListModel.h"
#include "QVxCore/DisplayTriggerList.h"
#include "QVxWinGUICommon/Common/QVxFsListCtrl.h"

#include <QDockWidget>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QMenu;
class QVxAnalogViewModel;
struct QVxViewSyncParams;

namespace qvx {
class SignalConnection;
}

// The list control: rows of the model up to the item count the pane sets.
class CQVxAnalogDisplayTriggerList : public QVxFsListCtrl {
    Q_OBJECT

public:
    static constexpr int kColumnWidth = 100;

    CQVxAnalogDisplayTriggerList(const QVxAnalogDisplayTriggerListModel& model, QWidget* parent);

    // The hit of a row while a trace appends hits on the log collector's thread, copied
    // under the view model's lock; nullopt past the hits stored.
    using LiveHit = std::function<std::optional<qvx::AnalogDisplayTriggerItem>(std::size_t row)>;

    // Rows shown (at most the model's rows); re-reads every row and keeps the selected one.
    void SetItemCount(int count);
    // More rows of the same hits: appended, the rows shown and the selection stay; the
    // visible cells are painted again, since records written since fill their times and values.
    void GrowItemCount(int count);
    // While a trace runs the cells come from `hit`; empty: the model's rows.
    void SetLiveHits(LiveHit hit) { m_liveHit = std::move(hit); }
    int GetRealItemCount() const override { return m_itemCount; }
    QString GetColumnString(int row, int column) const override;
    // The selected row, or -1.
    int GetSelectedRow() const;
    void SelectRow(int row);

Q_SIGNALS:
    void RowClicked(int row);
    // A key moved the selection to `row` (arrows, Page Up/Down, Home, End).
    void RowSelectedByKey(int row);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Home and End go to the first and the last row (with or without Ctrl) and keep the
    // column, so that the list does not scroll sideways.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    const QVxAnalogDisplayTriggerListModel& m_model;
    LiveHit m_liveHit;
    int m_itemCount = 0;
};

class CQVxAnalogDisplayTriggerListPane : public QDockWidget {
    Q_OBJECT

public:
    static constexpr int kCsvExportCommandId = 32781;
    static constexpr const char* kFileFilter = "CSV file(*.csv)|*.csv||";

    // `viewModel` must outlive the pane.
    CQVxAnalogDisplayTriggerListPane(QVxAnalogViewModel& viewModel, QWidget* parent);
    ~CQVxAnalogDisplayTriggerListPane() override;

    // Trace timer tick: the item count becomes the number of hits found and the
    // last one is scrolled into view.
    void OnTraceTimer();

    // The export command (not while a trace runs): a save dialog, then the UTF-8
    // CSV file. False (with a message) when the file cannot be written; false
    // without one when cancelled.
    bool CanCsvExport() const;
    bool OnCsvExport();
    bool ExportCsv(const std::filesystem::path& path);

    // The context menu (caller owns it): a bookmark at the selected hit (of a stored
    // report: also the hits of a find all), and the export command.
    QMenu* CreateContextMenu(QWidget* parent);
    // Adds a bookmark at `time` ns; false (with a message) when it is refused.
    bool AddBookmark(std::int64_t time);

    CQVxAnalogDisplayTriggerList* GetList() const { return m_list; }
    // The session's list was replaced (a search of the stored report): show it.
    void ShowSessionHits() { Refresh(); }

    // Titles and cells again, after the time display changed (clock time on or off).
    void RefreshTexts();

private:
    void Refresh();
    void OnViewSync(const QVxViewSyncParams& params);
    void OnRowClicked(int row);
    std::optional<std::int64_t> SelectedHitTime() const;

    QVxAnalogViewModel& m_viewModel;
    QVxAnalogDisplayTriggerListModel m_model;
    CQVxAnalogDisplayTriggerList* m_list;
    bool m_live = false;
    std::shared_ptr<qvx::SignalConnection> m_sessionConnection;
    std::shared_ptr<qvx::SignalConnection> m_traceConnection;
    std::shared_ptr<qvx::SignalConnection> m_syncConnection;
};
