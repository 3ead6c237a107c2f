#pragma once
// Pictures of a waveform monitor window as the user sees it: frame, tracks, ruler,
// captions with their read-outs, markers and the marker strip, the display-trigger
// pointer, the settings buttons, the scroll bar and the footer. Every picture is painted
// by the window's own paint code (QWidget::render), so the screen, the clipboard and the
// files never differ. On a vector device (SVG, PDF) the track area paints its lines and
// texts straight into the device instead of through its pixel buffer. Columns are drawn
// as min/max bars whatever the zoom, so a picture of a zoomed-out recording holds one
// bar per column, never a point per record. GUI thread only.

#include "QVxWinGUICommon/QVxWinGUICommonExport.h"

#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>

class CQVxWaveformMonitorWnd;
class QIODevice;
class QPainter;

// A picture's size: the window's own size (an invalid `size`) or a chosen one in pixels
// of the window's layout, and the pixels of the file per layout pixel (3.125 turns a 96
// dpi layout into a 300 dpi print).
struct CQVxWaveformPictureSize {
    QSize size;
    double scale = 1.0;
};

class QVXWINGUICOMMON_EXPORT CQVxWaveformPicture {
public:
    static constexpr double kMinScale = 0.25;
    static constexpr double kMaxScale = 8.0;
    static constexpr int kMaxSide = 16384;  // pixels of a window laid out for a picture

    // Paints the whole window into `painter` at its origin (one layout pixel per unit).
    static void Paint(CQVxWaveformMonitorWnd& window, QPainter& painter);
    // Paints the window as vectors into `painter` (a PDF page), scaled into `target`: its
    // SVG drawn by Qt SVG. Painting the widgets straight into a PDF loses everything after
    // the first clipped track, while the SVG path draws every part alike on any device.
    static void PaintVectors(CQVxWaveformMonitorWnd& window, QPainter& painter, const QRectF& target);
    // The window's pixels: at its own size and scale 1 they equal what the screen shows.
    static QImage RenderImage(CQVxWaveformMonitorWnd& window, const CQVxWaveformPictureSize& size = {});
    // PNG of RenderImage into `out`; false when it could not be written.
    static bool WritePng(CQVxWaveformMonitorWnd& window, QIODevice& out,
                         const CQVxWaveformPictureSize& size = {});
    // SVG (lines and texts as vectors) into `out`, titled `title`; false when not written.
    static bool WriteSvg(CQVxWaveformMonitorWnd& window, QIODevice& out, const QString& title,
                         const CQVxWaveformPictureSize& size = {});
    // Why `size` cannot be laid out (empty, too large, scale out of range); empty when it can.
    static QString CheckSize(const CQVxWaveformPictureSize& size);
};

// Lays the window out at a picture's size while it lives and back at its own size after.
class QVXWINGUICOMMON_EXPORT CQVxWaveformPictureLayout {
public:
    CQVxWaveformPictureLayout(CQVxWaveformMonitorWnd& window, QSize size);
    ~CQVxWaveformPictureLayout();
    CQVxWaveformPictureLayout(const CQVxWaveformPictureLayout&) = delete;
    CQVxWaveformPictureLayout& operator=(const CQVxWaveformPictureLayout&) = delete;

private:
    CQVxWaveformMonitorWnd& m_window;
    QSize m_ownSize;
    QSize m_ownMinimum;
    QSize m_ownMaximum;
    bool m_resized = false;
};
