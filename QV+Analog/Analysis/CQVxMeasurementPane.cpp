#include "QV+Analog/Analysis/CQVxMeasurementPane.h"

#include "QV+Analog/Analysis/QVxAnalysisViewFollowing.h"

#include "QV+Analog/QVxAppText.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/Presenters/WaveformRenderData.h"
#include "QVxCore/WaveformVisualSettings.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

using qvx::analog::QVxAnalogMeasurementJobs;

namespace {

enum Column { kChannel, kRecords, kMin, kMax, kPeakToPeak, kMean, kRms, kFrequency, kColumnCount };

// Volts with a fixed six decimals (1 uV), so that the columns line up and a mean near 0 V
// reads as a number rather than in exponent form.
QString Volts(double v) {
    return QString::number(v, 'f', 6) + QStringLiteral(" V");
}

}  // namespace

CQVxMeasurementPane::CQVxMeasurementPane(QVxAnalogViewModel& viewModel, QWidget* parent)
    : QDockWidget(QVxAppString(kAppStringMeasurementTitle), parent),
      m_viewModel(viewModel),
      m_span(new QLabel),
      m_table(new QTableWidget(0, kColumnCount)) {
    setObjectName(QStringLiteral("MeasurementPane"));
    m_span->setObjectName(QStringLiteral("measurementSpan"));
    m_table->setObjectName(QStringLiteral("measurementTable"));
    m_table->setHorizontalHeaderLabels(QVxAppString(kAppStringMeasurementColumns).split(QLatin1Char('|')));
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_span);
    layout->addWidget(m_table);
    setWidget(body);

    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &CQVxMeasurementPane::MeasureNow);
    m_connections.push_back(m_jobs.Changed.Connect([this] { ShowResult(); }));
    m_connections.push_back(m_viewModel.SessionChanged.Connect([this] {
        m_jobs.Clear();
        Bind();
    }));
    m_connections.push_back(m_viewModel.TraceStateChanged.Connect([this] { m_settle.start(); }));
    Bind();
}

CQVxMeasurementPane::~CQVxMeasurementPane() {
    for (auto& connection : m_presenterConnections) connection->Disconnect();
    for (auto& connection : m_connections) connection->Disconnect();
}

void CQVxMeasurementPane::Bind() {
    QVxFollowViewChanges(m_viewModel, m_presenterConnections, m_settle);
}

std::optional<QVxAnalogMeasurementJobs::Request> CQVxMeasurementPane::MakeRequest() const {
    const qvx::AnalogSession* session = m_viewModel.GetSession();
    const auto* presenter = m_viewModel.GetOscilloGraphViewModel();
    if (!session || !session->GetReportData() || m_viewModel.isTracing() || !presenter) return std::nullopt;
    QVxAnalogMeasurementJobs::Request request;
    request.reportFolder = session->GetReportFolderPath();
    request.settings = session->GetSettings();
    const QVxReportSpan span = QVxAnalysisSpan(request.settings, *presenter);
    request.fromNs = span.fromNs;
    request.toNs = span.toNs;
    // Only what changes the values counts: the viewport and marker colours do not.
    request.settings.visualSettings.markers = {};
    request.settings.visualSettings.timeScale = 0;
    return request;
}

void CQVxMeasurementPane::MeasureNow() {
    if (const auto request = MakeRequest()) {
        m_jobs.Measure(*request);
    } else {
        m_jobs.Clear();
    }
    ShowResult();
}

void CQVxMeasurementPane::ShowResult() {
    const qvx::AnalogSession* session = m_viewModel.GetSession();
    const auto& result = m_jobs.GetResult();
    if (!session || !result) {
        m_span->setText(m_jobs.IsBusy() ? QVxAppString(kAppStringMeasurementBusy)
                                        : QVxAppString(kAppStringMeasurementNoData));
        m_table->setRowCount(0);
        return;
    }
    QString span = QVxAnalysisSpanText(session->GetSettings().visualSettings, result->fromNs, result->toNs);
    if (m_jobs.IsBusy()) span += QStringLiteral("  ") + QVxAppString(kAppStringMeasurementBusy);
    m_span->setText(span);

    m_table->setRowCount(static_cast<int>(result->channels.size()));
    for (std::size_t row = 0; row < result->channels.size(); ++row) {
        const auto& c = result->channels[row];
        const QString texts[kColumnCount] = {
            QStringLiteral("CH%1").arg(c.channel + 1),
            QString::number(c.records),
            Volts(c.min),
            Volts(c.max),
            Volts(c.peakToPeak),
            Volts(c.mean),
            Volts(c.rms),
            c.frequencyHz ? QString::number(*c.frequencyHz, 'g', 7) + QStringLiteral(" Hz")
                          : QStringLiteral("-")};
        for (int col = 0; col < kColumnCount; ++col) {
            auto* item = new QTableWidgetItem(texts[col]);
            if (col != kChannel) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(static_cast<int>(row), col, item);
        }
    }
}
