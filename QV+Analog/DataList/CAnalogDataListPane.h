#pragma once
// The docking pane "アナログデータリスト": every stored record of the session as
// a row (number, time in ns, CH1..CH4), paged through a 32-bit list with scroll
// bars of its own, with a context menu for the export (CSV or HDF5) of all rows, a
// range of rows, a time range, the markers' span or the waveform's window.
// It follows the view model's session and trace state; the main frame calls
// OnTraceTimer every 100 ms while a trace runs. GUI thread only.

#include "QV+Analog/DataList/AnalogDataList.h"
#include "QV+Analog/DataList/CQVxCsvExportSettingsDlg.h"
#include "QV+AnalogCore/Presenters/QVxAnalogDataListViewModel.h"

#include <QDockWidget>

#include <cstdint>
#include <filesystem>
#include <memory>

class QMenu;
class QScrollBar;
class QVxAnalogViewModel;
class AnalogDataListHolder;

namespace qvx {
class SignalConnection;
}

class CAnalogDataListPane : public QDockWidget {
    Q_OBJECT

public:
    static constexpr int kHolderId = 8000;
    static constexpr int kCsvExportCommandId = 32780;

    // `viewModel` must outlive the pane.
    CAnalogDataListPane(QVxAnalogViewModel& viewModel, QWidget* parent);
    ~CAnalogDataListPane() override;

    // Trace timer tick (100 ms while tracing): re-reads the row count and repaints
    // the visible rows.
    void OnTraceTimer();

    // Titles and cells again, after the time display changed (clock time on or off).
    void RefreshTexts() { Refresh(); }

    // The export is offered when the session's report has at least one row.
    bool CanCsvExport() const;
    // The export command: the settings dialog (format, range and file) with `initial`
    // chosen, then the export behind a cancellable progress dialog.
    void OnCsvExport(CQVxCsvExportSettingsDlg::Range initial = CQVxCsvExportSettingsDlg::Range::kAllRows);
    // The spans of the markers (both set) and of the waveform's window, ns.
    QVxExportTimeSpans GetExportTimeSpans() const;
    // Exports rows `firstRow`...`lastRow` (0-based rows of the list; both -1: all)
    // to `path` behind the progress dialog. A failure is shown as a message and
    // gives false; a cancel keeps the rows written so far and gives true.
    bool ExportCsv(const std::filesystem::path& path, std::int64_t firstRow, std::int64_t lastRow);
    // The same as HDF5 (compressed); a cancel leaves `path` as it was and gives true.
    bool ExportHdf5(const std::filesystem::path& path, std::int64_t firstRow, std::int64_t lastRow);
    // Either export; a failure shows the reason the pipeline gives.
    bool Export(const std::filesystem::path& path, std::int64_t firstRow, std::int64_t lastRow,
                QVxRowExportRequest::Format format);

    // The context menu with its export command, enabled by CanCsvExport (caller owns it).
    QMenu* CreateContextMenu(QWidget* parent);

    // Rows from `source` instead of the view model's data list (null: back to it).
    void SetSource(const IAnalogDataListSource* source);

    AnalogDataList* GetList() const { return m_list; }
    QScrollBar* GetVerticalBar() const { return m_verticalBar; }
    QScrollBar* GetHorizontalBar() const { return m_horizontalBar; }
    QWidget* GetPlacementWindow() const { return m_placement; }
    QVxAnalogDataListViewModel& GetDataListViewModel() { return m_dataList; }

private:
    friend class AnalogDataListHolder;
    class ViewModelSource;

    void Refresh();
    void LayoutHolder();
    void OnRowClicked(std::uint64_t row);

    QVxAnalogViewModel& m_viewModel;
    QVxAnalogDataListViewModel m_dataList;
    std::unique_ptr<ViewModelSource> m_viewModelSource;
    AnalogDataListHolder* m_holder;
    QWidget* m_placement;
    AnalogDataList* m_list;
    QScrollBar* m_verticalBar;
    QScrollBar* m_horizontalBar;
    std::shared_ptr<qvx::SignalConnection> m_sessionConnection;
    std::shared_ptr<qvx::SignalConnection> m_traceConnection;
};
