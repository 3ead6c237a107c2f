#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformPicture.h"

#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageWriter>
#include <QPainter>
#include <QSvgGenerator>
#include <QSvgRenderer>

#include <cmath>

namespace {

QSize ScaledSize(QSize layout, double scale) {
    return QSize(static_cast<int>(std::lround(layout.width() * scale)),
                 static_cast<int>(std::lround(layout.height() * scale)));
}

}  // namespace

CQVxWaveformPictureLayout::CQVxWaveformPictureLayout(CQVxWaveformMonitorWnd& window, QSize size)
    : m_window(window),
      m_ownSize(window.size()),
      m_ownMinimum(window.minimumSize()),
      m_ownMaximum(window.maximumSize()) {
    if (!size.isValid() || size == m_ownSize) return;
    m_resized = true;
    // Fixed while the picture is made: a scroll area holding the window would otherwise
    // size it back to its viewport at once.
    m_window.setFixedSize(size);
    // A hidden window gets its resize events only when shown or rendered: deliver them now
    // so the tracks lay out and load the columns of the new width before painting.
    QCoreApplication::sendPostedEvents(&m_window, QEvent::Resize);
}

CQVxWaveformPictureLayout::~CQVxWaveformPictureLayout() {
    if (!m_resized) return;
    m_window.setMinimumSize(m_ownMinimum);
    m_window.setMaximumSize(m_ownMaximum);
    m_window.resize(m_ownSize);
}

void CQVxWaveformPicture::Paint(CQVxWaveformMonitorWnd& window, QPainter& painter) {
    window.render(&painter, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
}

QString CQVxWaveformPicture::CheckSize(const CQVxWaveformPictureSize& size) {
    if (size.size.isValid() && (size.size.width() < 1 || size.size.height() < 1))
        return QStringLiteral("the width and height must be at least 1 pixel");
    if (size.size.width() > kMaxSide || size.size.height() > kMaxSide)
        return QStringLiteral("the width and height must be at most %1 pixels").arg(kMaxSide);
    if (!(size.scale >= kMinScale && size.scale <= kMaxScale))
        return QStringLiteral("the scale must lie between %1 and %2").arg(kMinScale).arg(kMaxScale);
    return {};
}

QImage CQVxWaveformPicture::RenderImage(CQVxWaveformMonitorWnd& window, const CQVxWaveformPictureSize& size) {
    const CQVxWaveformPictureLayout layout(window, size.size);
    QImage image(ScaledSize(window.size(), size.scale), QImage::Format_RGB32);
    image.fill(window.palette().color(QPalette::Window));
    QPainter painter(&image);
    painter.scale(size.scale, size.scale);
    Paint(window, painter);
    return image;
}

bool CQVxWaveformPicture::WritePng(CQVxWaveformMonitorWnd& window, QIODevice& out,
                                   const CQVxWaveformPictureSize& size) {
    const QImage image = RenderImage(window, size);
    QImageWriter writer(&out, "png");
    const double dotsPerMetre = 96.0 / 0.0254 * size.scale;  // a 96 dpi layout at `scale`
    QImage tagged = image;
    tagged.setDotsPerMeterX(static_cast<int>(std::lround(dotsPerMetre)));
    tagged.setDotsPerMeterY(static_cast<int>(std::lround(dotsPerMetre)));
    return writer.write(tagged);
}

bool CQVxWaveformPicture::WriteSvg(CQVxWaveformMonitorWnd& window, QIODevice& out, const QString& title,
                                   const CQVxWaveformPictureSize& size) {
    const CQVxWaveformPictureLayout layout(window, size.size);
    const QSize pixels = ScaledSize(window.size(), size.scale);
    QSvgGenerator generator;
    generator.setOutputDevice(&out);
    generator.setSize(pixels);
    generator.setViewBox(QRect(QPoint(0, 0), pixels));
    generator.setTitle(title);
    generator.setResolution(static_cast<int>(std::lround(96 * size.scale)));
    QPainter painter;
    if (!painter.begin(&generator)) return false;
    painter.scale(size.scale, size.scale);
    Paint(window, painter);
    return painter.end() && out.isOpen();
}

void CQVxWaveformPicture::PaintVectors(CQVxWaveformMonitorWnd& window, QPainter& painter,
                                       const QRectF& target) {
    QBuffer svg;
    svg.open(QIODevice::WriteOnly);
    if (!WriteSvg(window, svg, QString())) return;
    QSvgRenderer renderer(svg.data());
    renderer.render(&painter, target);
}
