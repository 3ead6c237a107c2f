#include "QV+Analog/DataList/CAnalogDataListPane.h"

#include "QV+Analog/QVxAppPrompts.h"
#include "QV+Analog/QVxAppText.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/Presenters/Interaction.h"
#include "QVxWinCommon/QVxClockTime.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinGUICommon/Common/CQVxProgressDlg.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

#include <spdlog/spdlog.h>

#include <algorithm>
#include <atomic>

// Rows of the view model's data list.
class CAnalogDataListPane::ViewModelSource : public IAnalogDataListSource {
public:
    explicit ViewModelSource(const QVxAnalogDataListViewModel& model) : m_model(model) {}
    std::uint64_t GetRowCount() const override { return m_model.GetRowCount(); }
    std::uint64_t GetFirstIndex() const override { return m_model.GetFirstIndex(); }
    std::string GetColumnText(int column) const override { return m_model.GetColumnText(column); }
    std::string GetText(std::uint64_t row, int column) const override { return m_model.GetText(row, column); }

private:
    const QVxAnalogDataListViewModel& m_model;
};

// The pane's client: the placement window with the list, the two scroll bars
// and the corner square between them.
class AnalogDataListHolder : public QWidget {
public:
    AnalogDataListHolder(CAnalogDataListPane* pane, QWidget* parent) : QWidget(parent), m_pane(pane) {
        setObjectName(QVxWinGUI::ControlName(CAnalogDataListPane::kHolderId));
        resize(100, 100);
    }

protected:
    void resizeEvent(QResizeEvent*) override { m_pane->LayoutHolder(); }
    void paintEvent(QPaintEvent*) override {
        // The corner where the two bars meet, in the button-face colour.
        const QScrollBar* v = m_pane->GetVerticalBar();
        const QScrollBar* h = m_pane->GetHorizontalBar();
        if (!v || !h) return;
        QPainter painter(this);
        painter.fillRect(QRect(v->x(), h->y(), v->width(), h->height()), palette().color(QPalette::Button));
    }

private:
    CAnalogDataListPane* m_pane;
};

CAnalogDataListPane::CAnalogDataListPane(QVxAnalogViewModel& viewModel, QWidget* parent)
    : QDockWidget(QVxWinGUI::LoadStringW(kGuiStringAnalogDataList), parent),
      m_viewModel(viewModel),
      m_dataList(&viewModel),
      m_viewModelSource(std::make_unique<ViewModelSource>(m_dataList)),
      m_holder(new AnalogDataListHolder(this, this)),
      m_placement(new QWidget(m_holder)),
      m_list(new AnalogDataList(m_placement)),
      m_verticalBar(new QScrollBar(Qt::Vertical, m_holder)),
      m_horizontalBar(new QScrollBar(Qt::Horizontal, m_holder)) {
    setObjectName(QStringLiteral("CAnalogDataListPane"));
    setFont(QVxWinGUI::GuiFont(9));
    setWidget(m_holder);
    m_placement->setObjectName(QStringLiteral("AnalogDataListPlacement"));
    m_verticalBar->setObjectName(QStringLiteral("AnalogDataListVScroll"));
    m_horizontalBar->setObjectName(QStringLiteral("AnalogDataListHScroll"));
    m_list->SetVerticalBar(m_verticalBar);
    m_list->SetSource(m_viewModelSource.get());
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);

    connect(m_list, &AnalogDataList::RowClicked, this, &CAnalogDataListPane::OnRowClicked);
    connect(m_list, &AnalogDataList::RowSelectedByKey, this, &CAnalogDataListPane::OnRowClicked);
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        std::unique_ptr<QMenu> menu(CreateContextMenu(this));
        menu->exec(m_list->viewport()->mapToGlobal(pos));
    });
    // Horizontal scrolling moves the list inside its placement window.
    connect(m_horizontalBar, &QScrollBar::valueChanged, this, [this] { LayoutHolder(); });
    connect(m_list->horizontalHeader(), &QHeaderView::sectionResized, this, [this] { LayoutHolder(); });

    m_sessionConnection = m_viewModel.SessionChanged.Connect([this] { Refresh(); });
    m_traceConnection = m_viewModel.TraceStateChanged.Connect([this] { Refresh(); });
    LayoutHolder();
}

CAnalogDataListPane::~CAnalogDataListPane() {
    m_sessionConnection->Disconnect();
    m_traceConnection->Disconnect();
}

void CAnalogDataListPane::SetSource(const IAnalogDataListSource* source) {
    m_list->SetSource(source ? source : m_viewModelSource.get());
}

void CAnalogDataListPane::Refresh() {
    if (m_viewModel.GetClockTimeOrigin())
        m_list->EnsureColumnFits(1, QString::fromUtf8(QVxClockTime::kTimeOfDaySample));
    m_list->Reload();
}

void CAnalogDataListPane::OnTraceTimer() {
    Refresh();
}

void CAnalogDataListPane::LayoutHolder() {
    const int barWidth = m_verticalBar->sizeHint().width();
    const int barHeight = m_horizontalBar->sizeHint().height();
    const int width = std::max(0, m_holder->width() - barWidth);
    const int height = std::max(0, m_holder->height() - barHeight);
    m_placement->setGeometry(0, 0, width, height);
    m_verticalBar->setGeometry(width, 0, barWidth, height);
    m_horizontalBar->setGeometry(0, height, width, barHeight);

    const int listWidth = m_list->horizontalHeader()->length() + 2 * m_list->frameWidth();
    {
        const QSignalBlocker block(m_horizontalBar);
        m_horizontalBar->setRange(0, std::max(0, listWidth - width));
        m_horizontalBar->setPageStep(std::max(1, width));
        m_horizontalBar->setSingleStep(AnalogDataList::kColumnWidth / 10);
    }
    m_list->setGeometry(-m_horizontalBar->value(), 0, std::max(listWidth, width), height);
    m_holder->update();
}

void CAnalogDataListPane::OnRowClicked(std::uint64_t row) {
    m_viewModel.SyncViewsToDataIndex(m_dataList.GetFirstIndex() + row, this, 0);
}

bool CAnalogDataListPane::CanCsvExport() const {
    // The rows offered: the view model's count, and the record indexes it covers.
    const std::uint64_t rows = m_dataList.GetRowCount();
    const std::uint64_t first = m_dataList.GetFirstIndex();
    const std::uint64_t last = rows == 0 ? first : first + rows - 1;
    return rows != 0 && std::min(rows, last - first + 1) != 0;
}

QMenu* CAnalogDataListPane::CreateContextMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    QAction* action = menu->addAction(QVxAppString(kAppStringCsvExportMenu));
    action->setObjectName(QVxWinGUI::CommandName(kCsvExportCommandId));
    action->setEnabled(CanCsvExport());
    connect(action, &QAction::triggered, this, [this] { OnCsvExport(); });
    return menu;
}

QVxExportTimeSpans CAnalogDataListPane::GetExportTimeSpans() const {
    QVxExportTimeSpans spans;
    if (const qvx::AnalogSettings* settings = m_viewModel.GetSessionSettings()) {
        const auto& markers = settings->visualSettings.markers;
        if (markers[0].enabled && markers[1].enabled)
            spans.markers = std::minmax(markers[0].time, markers[1].time);
    }
    if (const auto* graph = m_viewModel.GetOscilloGraphViewModel()) {
        const auto& data = graph->GetWritingRenderData();
        const std::int64_t begin = data.GetViewportBeginTimeOffset();
        if (data.ViewportWidthTime() > 0) spans.visible = std::pair{begin, begin + data.ViewportWidthTime()};
    }
    return spans;
}

void CAnalogDataListPane::OnCsvExport(CQVxCsvExportSettingsDlg::Range initial) {
    using Range = CQVxCsvExportSettingsDlg::Range;
    if (!CanCsvExport()) return;
    const std::uint64_t first = m_dataList.GetFirstIndex();
    const std::uint64_t rows = m_dataList.GetRowCount();
    CQVxCsvExportSettingsDlg dialog(static_cast<std::int64_t>(first + 1),
                                    static_cast<std::int64_t>(first + rows), this, GetExportTimeSpans(),
                                    initial, m_viewModel.GetClockTimeOrigin());
    if (dialog.exec() != QDialog::Accepted) return;
    std::int64_t firstRow = -1;
    std::int64_t lastRow = -1;
    if (dialog.GetRange() == Range::kRows) {
        // Row numbers are 1-based global record numbers; the export counts rows from the first record.
        firstRow = dialog.GetFrom() - static_cast<std::int64_t>(first) - 1;
        lastRow = dialog.GetTo() - static_cast<std::int64_t>(first) - 1;
    } else if (dialog.GetRange() != Range::kAllRows) {
        const auto span = m_dataList.RowsOfTimeRange(dialog.GetFromNs(), dialog.GetToNs());
        if (!span || span->first == span->second) {
            QVxAppPrompts::Get().ShowMessage(this, QVxAppString(kAppStringNoDataInRange));
            return;
        }
        firstRow = static_cast<std::int64_t>(span->first);
        lastRow = static_cast<std::int64_t>(span->second) - 1;
    }
    const std::filesystem::path path(dialog.GetOutputPath().toStdString());
    if (dialog.IsHdf5()) {
        ExportHdf5(path, firstRow, lastRow);
    } else {
        ExportCsv(path, firstRow, lastRow);
    }
}

bool CAnalogDataListPane::ExportHdf5(const std::filesystem::path& path, std::int64_t firstRow,
                                     std::int64_t lastRow) {
    return Export(path, firstRow, lastRow, QVxRowExportRequest::Format::kHdf5);
}

bool CAnalogDataListPane::ExportCsv(const std::filesystem::path& path, std::int64_t firstRow,
                                    std::int64_t lastRow) {
    return Export(path, firstRow, lastRow, QVxRowExportRequest::Format::kCsv);
}

bool CAnalogDataListPane::Export(const std::filesystem::path& path, std::int64_t firstRow,
                                 std::int64_t lastRow, QVxRowExportRequest::Format format) {
    QVxRowExportRequest request = QVxRowExportRequest::ForRows(path, format, firstRow, lastRow);
    if (format == QVxRowExportRequest::Format::kCsv) request.clockOriginNs = m_dataList.GetClockTimeOrigin();
    QVxExportResult result;
    const QVxAnalogDataListViewModel& model = m_dataList;
    // The export runs on the progress dialog's worker thread; `result` is read after it ended.
    CQVxProgressDlg::Run(
        qvx::InteractionRunBehaviors::kCancellable,
        [&](qvx::ProgressToken* token) { result = model.Export(request, token); }, this);
    if (!result.Failed()) return true;
    const QString target = QString::fromStdString(path.string());
    QVxAppPrompts::Get().ShowMessage(
        this, format == QVxRowExportRequest::Format::kHdf5
                  ? QVxAppString(kAppStringHdf5WriteFailed).arg(target, QString::fromStdString(result.error))
                  : QVxAppString(kAppStringCsvWriteFailed).arg(target));
    return false;
}
