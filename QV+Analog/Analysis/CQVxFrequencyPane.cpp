#include "QV+Analog/Analysis/CQVxFrequencyPane.h"

#include "QV+Analog/Analysis/QVxAnalysisViewFollowing.h"

#include "QV+Analog/Analysis/CQVxFrequencyPlot.h"
#include "QV+Analog/QVxAppPrompts.h"
#include "QV+Analog/QVxAppText.h"
#include "QV+AnalogCore/Analysis/SpectrumCsv.h"
#include "QV+AnalogCore/Analysis/SpectrumPlotSupport.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/Presenters/WaveformRenderData.h"
#include "QVxCore/WaveformVisualSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

#include <spdlog/spdlog.h>

using qvx::analog::QVxAnalogSpectrumJobs;
using qvx::analog::SpectrumRequest;
using qvx::analog::SpectrumResult;

namespace {

QString Hz(double hz) {
    return QString::fromStdString(qvx::analog::FrequencyText(hz));
}

QString Figure(const std::optional<double>& value, const char* unit) {
    return value ? QString::number(*value, 'f', 2) + QString::fromLatin1(unit) : QStringLiteral("-");
}

// The figures and the peaks as a small table of rich text.
QString FiguresText(const SpectrumResult& r) {
    const QStringList names = QVxAppString(kAppStringSpectrumFigureNames).split(QLatin1Char('|'));
    const auto& f = r.figures;
    const QString values[] = {f.fundamentalHz ? Hz(*f.fundamentalHz) : QStringLiteral("-"),
                              Figure(f.thdDb, " dB"),
                              Figure(f.snrDb, " dB"),
                              Figure(f.sinadDb, " dB"),
                              Figure(f.sfdrDb, " dB"),
                              Figure(f.enob, "")};
    QString html = QStringLiteral("<table cellspacing='2'>");
    for (int i = 0; i < names.size() && i < 6; ++i)
        html += QStringLiteral("<tr><td>%1</td><td align='right'>%2</td></tr>").arg(names[i], values[i]);
    html += QStringLiteral("</table><p><b>%1</b></p><table cellspacing='2'>")
                .arg(QVxAppString(kAppStringSpectrumPeaks));
    for (const auto& peak : f.peaks) {
        html += QStringLiteral("<tr><td align='right'>%1</td><td align='right'>%2 dBV</td></tr>")
                    .arg(Hz(peak.frequencyHz), QString::number(peak.dbv, 'f', 1));
    }
    return html + QStringLiteral("</table>");
}

}  // namespace

CQVxFrequencyPane::CQVxFrequencyPane(QVxAnalogViewModel& viewModel, QWidget* parent)
    : QDockWidget(QVxAppString(kAppStringSpectrumTitle), parent), m_viewModel(viewModel) {
    setObjectName(QStringLiteral("SpectrumPane"));
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);
    m_plot = new CQVxFrequencyPlot(body);  // before the controls, which connect to it
    layout->addWidget(CreateControls());
    m_span = new QLabel(body);
    m_span->setObjectName(QStringLiteral("spectrumSpan"));
    layout->addWidget(m_span);
    auto* row = new QHBoxLayout;
    row->addWidget(m_plot, 1);
    m_figures = new QLabel(body);
    m_figures->setObjectName(QStringLiteral("spectrumFigures"));
    m_figures->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_figures->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The figures and ten peaks scroll when the pane is low.
    auto* figures = new QScrollArea(body);
    figures->setWidget(m_figures);
    figures->setWidgetResizable(true);
    figures->setFrameShape(QFrame::NoFrame);
    figures->setMinimumWidth(200);
    row->addWidget(figures);
    layout->addLayout(row, 1);
    // The pane scrolls rather than widen or heighten the dock area it shares with the lists.
    auto* scroller = new QScrollArea(this);
    scroller->setWidget(body);
    scroller->setWidgetResizable(true);
    scroller->setFrameShape(QFrame::NoFrame);
    setWidget(scroller);
    connect(m_plot, &CQVxFrequencyPlot::ExportCsvRequested, this, &CQVxFrequencyPane::OnExportCsv);

    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &CQVxFrequencyPane::ComputeNow);
    m_connections.push_back(m_jobs.Changed.Connect([this] { ShowResult(); }));
    m_connections.push_back(m_viewModel.SessionChanged.Connect([this] {
        m_jobs.Clear();
        Bind();
    }));
    m_connections.push_back(m_viewModel.TraceStateChanged.Connect([this] { m_settle.start(); }));
    // Emitted when the pane is shown or hidden and when its tab is selected or not.
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        m_inFront = visible;
        if (visible) m_settle.start();
    });
    Bind();
}

CQVxFrequencyPane::~CQVxFrequencyPane() {
    for (auto& connection : m_presenterConnections) connection->Disconnect();
    for (auto& connection : m_connections) connection->Disconnect();
}

QWidget* CQVxFrequencyPane::CreateControls() {
    auto* controls = new QWidget(this);
    auto* row = new QHBoxLayout(controls);
    row->setContentsMargins(0, 0, 0, 0);
    m_channel = new QComboBox(controls);
    m_channel->setObjectName(QStringLiteral("spectrumChannel"));
    for (int ch = 1; ch <= qvx::AnalogSettings::kChannelCount; ++ch)
        m_channel->addItem(QStringLiteral("CH%1").arg(ch));
    m_window = new QComboBox(controls);
    m_window->setObjectName(QStringLiteral("spectrumWindow"));
    m_window->addItems(QVxAppString(kAppStringSpectrumWindowNames).split(QLatin1Char('|')));
    m_window->setCurrentIndex(static_cast<int>(qvx::analog::SpectrumWindow::kHann));
    m_points = new QComboBox(controls);
    m_points->setObjectName(QStringLiteral("spectrumPoints"));
    m_points->addItem(QVxAppString(kAppStringSpectrumPointsAuto), 0);
    for (std::size_t n = SpectrumRequest::kMinNfft; n <= SpectrumRequest::kMaxNfft; n *= 2)
        m_points->addItem(QString::number(n), static_cast<qulonglong>(n));
    m_logFrequency = new QCheckBox(QVxAppString(kAppStringSpectrumLogFrequency), controls);
    m_logFrequency->setObjectName(QStringLiteral("spectrumLogFrequency"));
    m_spectrogram = new QCheckBox(QVxAppString(kAppStringSpectrumShowSpectrogram), controls);
    m_spectrogram->setObjectName(QStringLiteral("spectrumSpectrogram"));
    const auto addLabelled = [&](int textId, QWidget* box) {
        row->addWidget(new QLabel(QVxAppString(textId), controls));
        row->addWidget(box);
    };
    addLabelled(kAppStringSpectrumChannel, m_channel);
    addLabelled(kAppStringSpectrumWindowFunction, m_window);
    addLabelled(kAppStringSpectrumPoints, m_points);
    row->addWidget(m_logFrequency);
    row->addWidget(m_spectrogram);
    row->addStretch(1);

    for (QComboBox* box : {m_channel, m_window, m_points})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { m_settle.start(); });
    connect(m_spectrogram, &QCheckBox::toggled, this, [this](bool on) {
        m_plot->SetShowSpectrogram(on);
        m_settle.start();
    });
    connect(m_logFrequency, &QCheckBox::toggled, m_plot, &CQVxFrequencyPlot::SetLogFrequency);
    return controls;
}

void CQVxFrequencyPane::Bind() {
    QVxFollowViewChanges(m_viewModel, m_presenterConnections, m_settle);
}

std::optional<QVxAnalogSpectrumJobs::Request> CQVxFrequencyPane::MakeRequest() const {
    const qvx::AnalogSession* session = m_viewModel.GetSession();
    const auto* presenter = m_viewModel.GetOscilloGraphViewModel();
    if (!session || !session->GetReportData() || m_viewModel.isTracing() || !presenter) return std::nullopt;
    QVxAnalogSpectrumJobs::Request request;
    request.reportFolder = session->GetReportFolderPath();
    request.settings = session->GetSettings();
    auto& spectrum = request.spectrum;
    const QVxReportSpan span = QVxAnalysisSpan(request.settings, *presenter);
    spectrum.fromNs = span.fromNs;
    spectrum.toNs = span.toNs;
    spectrum.channel = m_channel->currentIndex();
    spectrum.window = static_cast<qvx::analog::SpectrumWindow>(m_window->currentIndex());
    spectrum.nfft = static_cast<std::size_t>(m_points->currentData().toULongLong());
    spectrum.columns = m_spectrogram->isChecked() ? kSpectrogramColumns : 0;
    // Only what changes the values counts: the viewport and marker colours do not.
    request.settings.visualSettings.markers = {};
    request.settings.visualSettings.timeScale = 0;
    return request;
}

void CQVxFrequencyPane::ComputeNow() {
    // A pane behind another tab computes nothing; it does when it comes to the front.
    if (!m_inFront) return;
    if (const auto request = MakeRequest()) {
        m_jobs.Compute(*request);
    } else {
        m_jobs.Clear();
    }
    ShowResult();
}

void CQVxFrequencyPane::ShowResult() {
    const qvx::AnalogSession* session = m_viewModel.GetSession();
    const auto& result = m_jobs.GetResult();
    m_plot->SetResult(session ? result : nullptr);
    if (!session || !result) {
        const QString text = m_jobs.IsBusy() ? QVxAppString(kAppStringMeasurementBusy)
                                             : QVxAppString(kAppStringMeasurementNoData);
        m_span->setText(text);
        m_plot->SetMessage(text);
        m_figures->clear();
        return;
    }
    QString span = QVxAnalysisSpanText(session->GetSettings().visualSettings, result->fromNs, result->toNs);
    if (result->status == SpectrumResult::Status::kDone) {
        span += QStringLiteral("  ") +
                QVxAppString(kAppStringSpectrumSegments)
                    .arg(result->segments)
                    .arg(result->nfft)
                    .arg(QString::fromStdString(qvx::analog::FrequencyText(result->sampleRateHz)) +
                         QStringLiteral("/s"));
    }
    if (m_jobs.IsBusy()) span += QStringLiteral("  ") + QVxAppString(kAppStringMeasurementBusy);
    m_span->setText(span);
    switch (result->status) {
        case SpectrumResult::Status::kDone:
            m_figures->setText(FiguresText(*result));
            return;
        case SpectrumResult::Status::kChannelOff:
            m_plot->SetMessage(QVxAppString(kAppStringSpectrumChannelOff));
            break;
        case SpectrumResult::Status::kTooFewRecords:
        case SpectrumResult::Status::kBadNfft:
            m_plot->SetMessage(QVxAppString(kAppStringSpectrumTooFewRecords).arg(result->nfft));
            break;
        case SpectrumResult::Status::kCancelled:
        case SpectrumResult::Status::kReadError:
            m_plot->SetMessage(QVxAppString(kAppStringSpectrumReadFailed));
            break;
    }
    m_figures->clear();
}

bool CQVxFrequencyPane::ExportCsv(const std::filesystem::path& path) const {
    const auto& result = m_jobs.GetResult();
    if (!result || result->status != SpectrumResult::Status::kDone) return false;
    // Never over a file of the session (its settings or report data).
    const qvx::AnalogSession* session = m_viewModel.GetSession();
    if (session && session->IsOwnFile(path)) return false;
    return qvx::analog::WriteSpectrumCsv(*result, path);
}

void CQVxFrequencyPane::OnExportCsv() {
    const QString path = QVxAppPrompts::Get().GetSaveFileName(
        this, QVxAppPrompts::QtFilterFromTable(kFileFilter), QStringLiteral("csv"));
    if (path.isEmpty() || ExportCsv(path.toStdString())) return;
    spdlog::error("CSV export of the spectrum to \"{}\" failed", path.toStdString());
    QVxAppPrompts::Get().ShowMessage(this, QVxAppString(kAppStringCsvWriteFailed).arg(path));
}
