#include "QV+Analog/Pictures/QVxFramePictures.h"

#include "QV+Analog/Pictures/QVxPictureFile.h"
#include "QV+Analog/Pictures/QVxReport.h"
#include "QV+Analog/QVxAppPrompts.h"
#include "QV+Analog/QVxAppText.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"

#include <QApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QPainter>
#include <QSpinBox>

CQVxImageSizeDlg::CQVxImageSizeDlg(QWidget* parent, QSize windowSize)
    : QDialog(parent), m_width(new QSpinBox), m_height(new QSpinBox), m_scale(new QDoubleSpinBox) {
    setWindowTitle(QVxAppString(kAppStringImageSizeTitle));
    setObjectName(QStringLiteral("imageSizeDlg"));
    for (QSpinBox* box : {m_width, m_height}) box->setRange(200, CQVxWaveformPicture::kMaxSide);
    m_width->setObjectName(QStringLiteral("imageWidth"));
    m_height->setObjectName(QStringLiteral("imageHeight"));
    m_scale->setObjectName(QStringLiteral("imageScale"));
    m_width->setValue(windowSize.width());
    m_height->setValue(windowSize.height());
    m_scale->setRange(CQVxWaveformPicture::kMinScale, CQVxWaveformPicture::kMaxScale);
    m_scale->setDecimals(3);
    m_scale->setSingleStep(0.25);
    m_scale->setValue(1.0);
    auto* form = new QFormLayout(this);
    form->addRow(QVxAppString(kAppStringImageWidth), m_width);
    form->addRow(QVxAppString(kAppStringImageHeight), m_height);
    form->addRow(QVxAppString(kAppStringImageScale), m_scale);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

CQVxWaveformPictureSize CQVxImageSizeDlg::GetSize() const {
    return {QSize(m_width->value(), m_height->value()), m_scale->value()};
}

namespace QVxFramePictures {

QString SessionName(const QVxAnalogViewModel& viewModel) {
    const qvx::AnalogSession* session = viewModel.GetSession();
    return session && !session->GetSettingFilePath().empty()
               ? QString::fromStdString(session->GetSettingFilePath().stem().string())
               : QVxAppString(kAppStringUntitled);
}

bool SaveImage(QWidget* parent, CQVxWaveformMonitorWnd& window, const QVxAnalogViewModel& viewModel,
               const QString& path, const CQVxWaveformPictureSize& size) {
    const auto failure = QVxSavePicture(window, path.toStdString(), size, SessionName(viewModel));
    if (failure)
        QVxAppPrompts::Get().ShowMessage(parent, QVxAppString(kAppStringImageSaveFailed).arg(*failure));
    return !failure;
}

bool SaveReport(QWidget* parent, CQVxWaveformMonitorWnd& window, QVxAnalogViewModel& viewModel,
                const QString& path, std::vector<std::unique_ptr<IQVxReportSection>> analyses) {
    qvx::AnalogSession* session = viewModel.GetSession();
    QVxAnalogOscilloGraphViewModel* presenter = viewModel.GetOscilloGraphViewModel();
    if (!session || !session->GetReportData() || !presenter || !presenter->IsStoredData()) {
        QVxAppPrompts::Get().ShowMessage(parent, QVxAppString(kAppStringReportNeedsRecording));
        return false;
    }
    const auto& data = presenter->GetWritingRenderData();
    const std::int64_t viewBegin = data.GetViewportBeginTimeOffset();
    const QVxReportSpan span =
        QVxChooseReportSpan(session->GetSettings(), viewBegin, viewBegin + data.ViewportWidthTime());
    QVxReportSource source;
    source.sessionName = SessionName(viewModel);
    source.sessionPath =
        session->GetSettingFilePath().empty() ? session->GetFolderPath() : session->GetSettingFilePath();
    source.reader = session->GetReportData().get();
    source.overview = presenter->GetOverview().get();
    source.settings = &session->GetSettings();
    source.hits = &session->GetDisplayTriggerList();
    source.fromNs = span.fromNs;
    source.toNs = span.toNs;
    source.spanFromMarkers = span.fromMarkers;

    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QVxReportContent content = QVxGatherReportContent(source);
    std::optional<QString> failure;
    if (content.measurement.status != qvx::analog::SpanMeasurement::Status::kDone) {
        failure = QVxAppString(kAppStringReportMeasurementFailed);
    } else {
        QVxReport report = QVxReport::Standard(window.size(), [&window](QPainter& painter) {
            CQVxWaveformPicture::PaintVectors(window, painter, QRectF(QPointF(0, 0), window.size()));
        });
        for (auto& section : analyses) report.InsertBeforeHitList(std::move(section));
        failure = report.Write(path.toStdString(), content, QDateTime::currentDateTime());
    }
    QApplication::restoreOverrideCursor();
    if (failure)
        QVxAppPrompts::Get().ShowMessage(parent, QVxAppString(kAppStringReportSaveFailed).arg(*failure));
    return !failure;
}

void AskAndSaveImage(QWidget* parent, CQVxWaveformMonitorWnd& window, const QVxAnalogViewModel& viewModel) {
    const QString path = QVxAppPrompts::Get().GetSaveFileName(parent, QVxAppString(kAppStringImageFileFilter),
                                                              QStringLiteral("png"));
    if (path.isEmpty()) return;
    CQVxImageSizeDlg dialog(parent, window.size());
    if (dialog.exec() != QDialog::Accepted) return;
    CQVxWaveformPictureSize size = dialog.GetSize();
    if (size.size == window.size()) size.size = QSize();  // the window as it is
    SaveImage(parent, window, viewModel, path, size);
}

void AskAndSaveReport(QWidget* parent, CQVxWaveformMonitorWnd& window, QVxAnalogViewModel& viewModel,
                      std::vector<std::unique_ptr<IQVxReportSection>> analyses) {
    const QString path = QVxAppPrompts::Get().GetSaveFileName(parent, QVxAppString(kAppStringPdfFileFilter),
                                                              QStringLiteral("pdf"));
    if (!path.isEmpty()) SaveReport(parent, window, viewModel, path, std::move(analyses));
}

}  // namespace QVxFramePictures
