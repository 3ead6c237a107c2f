#include "QV+Analog/Analysis/CQVxCyclePane.h"

#include "QV+Analog/Analysis/CQVxCycleHistogram.h"
#include "QV+Analog/Analysis/CQVxCycleListModel.h"
#include "QV+Analog/QVxAppText.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/Presenters/WaveformRenderData.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

using qvx::analog::CycleLimit;
using qvx::analog::kCycleParameterCount;
using qvx::analog::QVxAnalogCycleJobs;

namespace {

constexpr int kProgressMs = 100;

// A limit cell: empty for no limit, otherwise a number; none when it is neither.
std::optional<std::optional<double>> ParseLimitCell(const QTableWidgetItem* item) {
    const QString text = item ? item->text().trimmed() : QString();
    if (text.isEmpty()) return std::optional<double>();
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return std::optional<double>(v);
}

QString Number(double v) {
    return std::isfinite(v) ? QString::number(v, 'g', 8) : QStringLiteral("-");
}

}  // namespace

CQVxCyclePane::CQVxCyclePane(QVxAnalogViewModel& viewModel, QWidget* parent)
    : QDockWidget(QVxAppString(kAppStringCyclesTitle), parent), m_viewModel(viewModel) {
    setObjectName(QStringLiteral("CyclePane"));
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);
    // The fields scroll sideways when the pane is narrower than they are, so that the pane
    // does not widen its docking area at the data list's expense.
    auto* controls = new QScrollArea;
    controls->setWidget(CreateControls());
    controls->setWidgetResizable(true);
    controls->setFrameShape(QFrame::NoFrame);
    controls->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    controls->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    controls->setFixedHeight(controls->widget()->sizeHint().height() +
                             controls->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    layout->addWidget(controls);

    m_stats = new QTableWidget(static_cast<int>(kCycleParameterCount), kStatsColumnCount);
    m_stats->setObjectName(QStringLiteral("cycleStats"));
    m_stats->setHorizontalHeaderLabels(QVxAppString(kAppStringCyclesStatsColumns).split(QLatin1Char('|')));
    m_stats->verticalHeader()->hide();
    m_stats->verticalHeader()->setDefaultSectionSize(m_stats->fontMetrics().height() + 6);
    m_stats->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    const QStringList names = QVxAppString(kAppStringCyclesParameters).split(QLatin1Char('|'));
    for (int row = 0; row < static_cast<int>(kCycleParameterCount); ++row) {
        for (int col = 0; col < kStatsColumnCount; ++col) {
            auto* item = new QTableWidgetItem(col == kName ? names.value(row) : QString());
            if (col != kLower && col != kUpper) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            if (col != kName) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_stats->setItem(row, col, item);
        }
    }

    m_model = new CQVxCycleListModel(this);
    m_list = new QTableView;
    m_list->setObjectName(QStringLiteral("cycleList"));
    m_list->setModel(m_model);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 4);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_violationsOnly = new QCheckBox(QVxAppString(kAppStringCyclesViolationsOnly));
    m_violationsOnly->setObjectName(QStringLiteral("cycleViolationsOnly"));
    auto* listBox = new QWidget;
    auto* listLayout = new QVBoxLayout(listBox);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->addWidget(m_violationsOnly);
    listLayout->addWidget(m_list);

    auto* histogramBox = new QWidget;
    auto* histogramLayout = new QVBoxLayout(histogramBox);
    histogramLayout->setContentsMargins(0, 0, 0, 0);
    auto* histogramRow = new QHBoxLayout;
    histogramRow->addWidget(new QLabel(QVxAppString(kAppStringCyclesHistogram)));
    m_histogramParameter = new QComboBox;
    m_histogramParameter->setObjectName(QStringLiteral("cycleHistogramParameter"));
    m_histogramParameter->addItems(names);
    histogramRow->addWidget(m_histogramParameter, 1);
    histogramLayout->addLayout(histogramRow);
    m_histogram = new CQVxCycleHistogram;
    histogramLayout->addWidget(m_histogram, 1);

    // Side by side: the pane sits in the low docking area, wide rather than tall.
    auto* split = new QSplitter(Qt::Horizontal);
    split->addWidget(m_stats);
    split->addWidget(listBox);
    split->addWidget(histogramBox);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 3);
    split->setStretchFactor(2, 2);
    split->setChildrenCollapsible(false);
    for (QWidget* part : {static_cast<QWidget*>(m_stats), listBox, histogramBox}) part->setMinimumWidth(80);
    layout->addWidget(split, 1);
    setWidget(body);

    connect(m_violationsOnly, &QCheckBox::toggled, this, [this](bool on) { m_model->SetViolationsOnly(on); });
    connect(m_list, &QTableView::clicked, this, [this](const QModelIndex& index) { GoToRow(index.row()); });
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { GoToRow(current.row()); });
    connect(m_histogramParameter, &QComboBox::currentIndexChanged, this, [this] { ShowHistogram(); });
    m_progressTimer.setInterval(kProgressMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &CQVxCyclePane::ShowProgress);
    m_connections.push_back(m_jobs.Changed.Connect([this] { ShowResult(); }));
    m_connections.push_back(m_viewModel.SessionChanged.Connect([this] { m_jobs.Clear(); }));
    ShowResult();
}

CQVxCyclePane::~CQVxCyclePane() {
    for (auto& connection : m_connections) connection->Disconnect();
}

QWidget* CQVxCyclePane::CreateControls() {
    auto* controls = new QWidget;
    auto* column = new QVBoxLayout(controls);
    column->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QVxAppString(kAppStringCyclesChannel)));
    m_channel = new QComboBox;
    m_channel->setObjectName(QStringLiteral("cycleChannel"));
    for (int ch = 1; ch <= 4; ++ch) m_channel->addItem(QStringLiteral("CH%1").arg(ch));
    row->addWidget(m_channel);
    row->addWidget(new QLabel(QVxAppString(kAppStringCyclesLevel)));
    m_level = new QDoubleSpinBox;
    m_level->setObjectName(QStringLiteral("cycleLevel"));
    m_level->setRange(-1e6, 1e6);
    m_level->setDecimals(1);
    row->addWidget(m_level);
    row->addWidget(new QLabel(QVxAppString(kAppStringCyclesHysteresis)));
    m_hysteresis = new QLineEdit;
    m_hysteresis->setObjectName(QStringLiteral("cycleHysteresis"));
    m_hysteresis->setMaximumWidth(80);
    row->addWidget(m_hysteresis);
    row->addStretch(1);
    column->addLayout(row);

    // The second row: the span, the commands, the verdict and the progress; two short rows
    // keep the pane narrow enough to share the low docking area with the data list.
    auto* verdictRow = new QHBoxLayout;
    m_span = new QComboBox;
    m_span->setObjectName(QStringLiteral("cycleSpan"));
    m_span->addItems(QVxAppString(kAppStringCyclesSpans).split(QLatin1Char('|')));
    verdictRow->addWidget(m_span);
    m_run = new QPushButton(QVxAppString(kAppStringCyclesRun));
    m_run->setObjectName(QStringLiteral("cycleRun"));
    m_cancel = new QPushButton(QVxAppString(kAppStringCyclesCancel));
    m_cancel->setObjectName(QStringLiteral("cycleCancel"));
    verdictRow->addWidget(m_run);
    verdictRow->addWidget(m_cancel);
    m_verdict = new QLabel;
    m_verdict->setObjectName(QStringLiteral("cycleVerdict"));
    QFont bold = m_verdict->font();
    bold.setBold(true);
    m_verdict->setFont(bold);
    m_progress = new QProgressBar;
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    m_progress->setMaximumWidth(120);
    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("cycleStatus"));
    m_status->setMinimumWidth(0);
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    verdictRow->addWidget(m_verdict);
    verdictRow->addWidget(m_progress);
    verdictRow->addWidget(m_status, 1);
    column->addLayout(verdictRow);

    connect(m_run, &QPushButton::clicked, this, [this] { Run(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { CancelRun(); });
    return controls;
}

std::optional<QVxAnalogCycleJobs::Request> CQVxCyclePane::MakeRequest(QString& refusal) const {
    const qvx::AnalogSession* session = m_viewModel.GetSession();
    const auto* presenter = m_viewModel.GetOscilloGraphViewModel();
    if (!session || !session->GetReportData() || m_viewModel.isTracing() || !presenter) {
        refusal = QVxAppString(kAppStringCyclesNoData);
        return std::nullopt;
    }
    QVxAnalogCycleJobs::Request request;
    request.reportFolder = session->GetReportFolderPath();
    request.settings = session->GetSettings();
    auto& cycles = request.cycles;
    cycles.channel = m_channel->currentIndex();
    cycles.levelMv = m_level->value();
    const QString hysteresis = m_hysteresis->text().trimmed();
    if (!hysteresis.isEmpty()) {
        bool ok = false;
        const double h = hysteresis.toDouble(&ok);
        if (!ok || !std::isfinite(h) || h < 0) {
            refusal = QVxAppString(kAppStringCyclesBadHysteresis);
            return std::nullopt;
        }
        cycles.hysteresisMv = h;
    }
    const QStringList names = QVxAppString(kAppStringCyclesParameters).split(QLatin1Char('|'));
    for (int row = 0; row < static_cast<int>(kCycleParameterCount); ++row) {
        const auto lower = ParseLimitCell(m_stats->item(row, kLower));
        const auto upper = ParseLimitCell(m_stats->item(row, kUpper));
        if (!lower || !upper || (*lower && *upper && **lower > **upper)) {
            refusal = QVxAppString(kAppStringCyclesBadLimit).arg(names.value(row));
            return std::nullopt;
        }
        cycles.limits[static_cast<std::size_t>(row)] = CycleLimit{*lower, *upper};
    }
    const auto& markers = request.settings.visualSettings.markers;
    switch (m_span->currentIndex()) {
        case kSpanMarkers:
            if (!markers[0].enabled || !markers[1].enabled) {
                refusal = QVxAppString(kAppStringCyclesNeedMarkers);
                return std::nullopt;
            }
            cycles.fromNs = std::min(markers[0].time, markers[1].time);
            cycles.toNs = std::max(markers[0].time, markers[1].time);
            break;
        case kSpanWindow: {
            const auto& data = presenter->GetWritingRenderData();
            cycles.fromNs = data.GetViewportBeginTimeOffset();
            cycles.toNs = cycles.fromNs + data.ViewportWidthTime();
            break;
        }
        default:
            cycles.fromNs = 0;
            cycles.toNs = std::numeric_limits<std::int64_t>::max();
            break;
    }
    if (const auto error = qvx::analog::CheckCycleRequest(request.settings, cycles)) {
        refusal = QString::fromStdString(*error);
        return std::nullopt;
    }
    return request;
}

bool CQVxCyclePane::Run() {
    QString refusal;
    const auto request = MakeRequest(refusal);
    if (!request) {
        m_status->setText(refusal);
        return false;
    }
    m_jobs.Measure(*request);
    return true;
}

void CQVxCyclePane::CancelRun() {
    if (!m_jobs.IsBusy()) return;
    m_jobs.Cancel();
    m_status->setText(QVxAppString(kAppStringCyclesCancelled));
}

bool CQVxCyclePane::GoToRow(int row) {
    const qvx::analog::Cycle* cycle = m_model->CycleOfRow(row);
    if (!cycle) return false;
    const auto time = static_cast<std::int64_t>(std::llround(cycle->startNs));
    m_viewModel.SyncViewsToTime(time, m_list);
    Q_EMIT JumpedToTime(time);
    return true;
}

void CQVxCyclePane::ShowProgress() {
    const auto [done, total] = m_jobs.GetProgress();
    const int permille =
        total == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(1000, done * 1000 / total));
    m_progress->setValue(permille);
    m_status->setText(QVxAppString(kAppStringCyclesBusy).arg(permille / 10));
}

void CQVxCyclePane::ShowResult() {
    const bool busy = m_jobs.IsBusy();
    m_cancel->setEnabled(busy);
    m_progress->setVisible(busy);
    if (busy) {
        if (!m_progressTimer.isActive()) m_progressTimer.start();
        ShowProgress();
    } else {
        m_progressTimer.stop();
    }
    const auto& result = m_jobs.GetResult();
    if (!busy) {
        // The list and the histogram hold the first cycles only when there are very many.
        const bool capped = result && result->cycles.size() < result->result.cycles;
        m_status->setText(m_jobs.Failed() ? QVxAppString(kAppStringCyclesReadError)
                          : capped        ? QVxAppString(kAppStringCyclesListCapped)
                                         .arg(result->cycles.size())
                                         .arg(result->result.cycles)
                                   : QString());
    }
    // Only a new result resets the list (its scroll position and selection).
    if (result.get() != m_shown) {
        m_shown = result.get();
        m_model->SetResult(result);
    }
    if (!result) {
        m_verdict->setText(busy ? QString() : QVxAppString(kAppStringCyclesNoData));
        m_verdict->setStyleSheet(QString());
        for (int row = 0; row < static_cast<int>(kCycleParameterCount); ++row)
            for (int col = kCount; col < kStatsColumnCount; ++col)
                m_stats->item(row, col)->setText(QString());
        ShowHistogram();
        return;
    }
    const auto& r = result->result;
    const bool pass = r.Pass();
    m_verdict->setText(pass ? QVxAppString(kAppStringCyclesPass).arg(r.cycles)
                            : QVxAppString(kAppStringCyclesFail).arg(r.cycles).arg(r.violationCount));
    m_verdict->setStyleSheet(pass ? QStringLiteral("color: white; background: #2e7d32; padding: 2px 8px;")
                                  : QStringLiteral("color: white; background: #c62828; padding: 2px 8px;"));
    for (int row = 0; row < static_cast<int>(kCycleParameterCount); ++row) {
        const auto& s = r.stats[static_cast<std::size_t>(row)];
        const bool any = s.count > 0;
        const QString texts[] = {
            QString::number(s.count),
            any ? QStringLiteral("%1 (#%2)").arg(Number(s.min)).arg(s.minCycle) : QString("-"),
            any ? QStringLiteral("%1 (#%2)").arg(Number(s.max)).arg(s.maxCycle) : QString("-"),
            any ? Number(s.mean) : QStringLiteral("-"),
            any ? Number(s.std) : QStringLiteral("-"),
            QString::number(r.violationsByParameter[static_cast<std::size_t>(row)])};
        for (int col = kCount; col < kStatsColumnCount; ++col) {
            QTableWidgetItem* item = m_stats->item(row, col);
            item->setText(texts[col - kCount]);
            item->setForeground(col == kViolations &&
                                        r.violationsByParameter[static_cast<std::size_t>(row)] > 0
                                    ? QBrush(QColor(198, 40, 40))
                                    : QBrush());
        }
    }
    ShowHistogram();
}

void CQVxCyclePane::ShowHistogram() {
    const auto& result = m_jobs.GetResult();
    const auto p = static_cast<std::size_t>(std::max(0, m_histogramParameter->currentIndex()));
    std::vector<double> values;
    CycleLimit limit;
    if (result) {
        values.reserve(result->cycles.size());
        for (const auto& c : result->cycles) values.push_back(c.values[p]);
        limit = result->request.cycles.limits[p];
    }
    m_histogram->SetValues(values, limit.lower, limit.upper);
}
