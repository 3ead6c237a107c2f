#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrack.h"

#include "QVxCore/Presenters/WaveformPresenter.h"
#include "QVxCore/WaveformVisualSettings.h"
#include "QVxWinGUICommon/Common/CQVxIconButton.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/IQVxWaveformExtension.h"
#include "QVxWinGUICommon/WaveformMonitor/PaintSupport.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformCaption.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackArea.h"

#include <QPaintEngine>
#include <QPixmap>

using namespace qvx::trackarea;

CQVxWaveformTrack::CQVxWaveformTrack(CQVxWaveformTrackArea* area, qvx::WaveformTrackPresenter* trackPresenter,
                                     std::size_t index)
    : m_area(area), m_trackPresenter(trackPresenter), m_index(index) {
    m_caption = std::make_unique<QVxWaveformCaption>(this);
}

CQVxWaveformTrack::~CQVxWaveformTrack() = default;

qvx::WaveformTrackVisualSettings* CQVxWaveformTrack::Settings() const {
    return m_trackPresenter ? m_trackPresenter->GetVisualSettings() : nullptr;
}

bool CQVxWaveformTrack::IsEnabled() const {
    const auto* s = Settings();
    return s && s->enabled;
}

void CQVxWaveformTrack::Layout(const PixRect& track, int labelWidth) {
    qvx::WaveformPresenter* presenter = m_area->GetPresenter();
    const bool analog = presenter->GetUsage() == qvx::WaveformUsage::kAnalog;
    m_layout = LayoutTrack(track, labelWidth, analog,
                           presenter->GetOption(qvx::WaveformPresenter::kOptionVerticalDivisions) != 0);
    const int h = m_layout.waveform.Height();
    m_trackPresenter->SetHeight(h);
    const auto range = m_trackPresenter->GetRangeHigh() - m_trackPresenter->GetRangeLow();
    m_trackPresenter->SetPixelScale(range > 0 ? static_cast<double>(h) / static_cast<double>(range) : 1.0);
    m_hasZeroHandle = analog;
    m_zeroHandle = ZeroHandleRect(m_layout.waveform, m_trackPresenter->ValueToY(0));
    m_caption->Layout(m_layout, m_area->IsConfigPopupEnabled() && IsEnabled());
}

int CQVxWaveformTrack::ValueToY(std::int64_t value) const {
    return m_layout.waveform.top + m_trackPresenter->ValueToY(value);
}

void CQVxWaveformTrack::Paint(QPainter& p, const qvx::WaveformRenderData& data) {
    if (!m_trackPresenter || !IsEnabled()) return;
    const qvx::WaveformStyle& style = m_area->GetPresenter()->GetStyle();
    const qvx::WaveformTrackVisualSettings& s = *Settings();
    const PixRect& t = m_layout.track;
    const PixRect& w = m_layout.waveform;

    m_polyline.clear();
    if (m_index < data.LineCount()) {
        BuildTrackPolyline(
            data.Line(m_index), w.left, w.right, data.GetLastTime(), data.GetViewportBeginTimeOffset(),
            data.GetTimeParPixel(), [this](std::int64_t v) { return ValueToY(v); }, m_polyline);
    }

    p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotSeparator)));
    HLine(p, t.left, t.right, t.bottom - 1);
    p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotAreaBackground)));
    HLine(p, t.left, t.right, t.bottom - 2);

    const QColor grid = ToQColor(style.GetColor(qvx::WaveformStyle::kSlotGrid));
    if (m_area->GetPresenter()->GetOption(qvx::WaveformPresenter::kOptionVerticalDivisions) != 0) {
        for (const Division& d :
             VerticalDivisions(t.top, t.bottom, s.verticalResolutionOffset, s.verticalScaling)) {
            p.setPen(QPen(grid, 1, d.number % 5 == 0 ? Qt::SolidLine : Qt::DotLine));
            HLine(p, w.left, w.right, d.y);
        }
    }
    p.setPen(QPen(grid, 1));
    HLine(p, w.left, w.right, w.top - 1);
    HLine(p, w.left, w.right, w.bottom - 1);

    if (m_polyline.size() >= 2) {
        m_points.resize(m_polyline.size());
        for (std::size_t i = 0; i < m_polyline.size(); ++i)
            m_points[i] = QPoint(m_polyline[i].x, m_polyline[i].y);
        p.save();
        p.setClipRect(ToQRect(t));
        // A 2-pixel line as two 1-pixel passes one pixel apart diagonally: the raster
        // engine draws thin lines directly, while a wide pen goes through the path
        // stroker, which is many times slower on thousands of overlapping strokes.
        p.setPen(QPen(ToQColor(s.lineColor), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        p.drawPolyline(m_points.data(), static_cast<int>(m_points.size()));
        p.translate(1, 1);
        p.drawPolyline(m_points.data(), static_cast<int>(m_points.size()));
        p.restore();
    }
    if (IQVxWaveformExtension* ext = m_area->GetExtension()) ext->OnPaintTrack(this, p, ToQRect(w));
}

void CQVxWaveformTrack::PaintCaptionBand(QPainter& p, int crossX) {
    if (!m_trackPresenter || !IsEnabled()) return;
    qvx::WaveformPresenter* presenter = m_area->GetPresenter();
    const qvx::WaveformStyle& style = presenter->GetStyle();
    const PixRect& t = m_layout.track;
    const PixRect band{m_layout.waveform.left, t.top, t.right, t.top + 20};
    if (band.Width() > 0) {
        // The band and its read-out are laid over the waveform at 172/255 opacity: through a
        // pixel buffer on the screen, drawn directly (as vectors) on a vector device.
        const bool vector = p.paintEngine()->type() != QPaintEngine::Raster;
        QPixmap buffer;
        QPainter bufferPainter;
        QPainter* bp = &p;
        if (vector) {
            p.save();
            p.setOpacity(172.0 / 255.0);
            p.translate(band.left, band.top);
            p.fillRect(QRect(0, 0, band.Width(), band.Height()),
                       ToQColor(style.GetColor(qvx::WaveformStyle::kSlotAreaBackground)));
        } else {
            buffer = QPixmap(band.Width(), band.Height());
            buffer.fill(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotAreaBackground)));
            bufferPainter.begin(&buffer);
            bp = &bufferPainter;
        }
        if (crossX >= 0 && presenter->IsStoredData() && m_trackPresenter->HasCursorValue()) {
            bp->setFont(QVxWinGUI::GuiFont(10));
            bp->setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotText)));
            const QString text = QString::fromStdString(presenter->OnMakeDisplayValue(
                m_trackPresenter->GetChannelIndex(), m_trackPresenter->GetCursorValue()));
            const int width = bp->fontMetrics().horizontalAdvance(text);
            // The settings button lies over the band's right end: the value keeps clear of it.
            const PixRect& button = m_layout.settingsButton;
            const bool buttonShown = m_caption->GetButton() && !m_caption->GetButton()->isHidden();
            const int x = ReadoutXClearOf(crossX, width + 2, band.left, band.right,
                                          buttonShown ? button.left : 0, buttonShown ? button.right : 0) -
                          band.left;
            bp->drawText(QRect(x, 0, width + 2, band.Height()), Qt::AlignBottom | Qt::TextSingleLine, text);
        }
        if (vector) {
            p.restore();
        } else {
            bufferPainter.end();
            p.save();
            p.setOpacity(172.0 / 255.0);
            p.drawPixmap(band.left, band.top, buffer);
            p.restore();
        }
    }
    m_caption->Paint(p, PixRect{0, t.top, m_layout.splitter.left, t.bottom}, presenter->GetCursorTime());
    PaintLabelStrip(p);
    p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotRule)));
    HLine(p, m_layout.waveform.left, t.right, band.bottom - 1);
    PaintZeroHandle(p);
}

void CQVxWaveformTrack::PaintLabelStrip(QPainter& p) {
    const qvx::WaveformStyle& style = m_area->GetPresenter()->GetStyle();
    const PixRect& s = m_layout.splitter;
    if (s.IsEmpty()) return;
    p.fillRect(ToQRect(s), ToQColor(style.GetColor(qvx::WaveformStyle::kSlotAreaBackground)));
    p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotSeparator)));
    VLine(p, s.left, s.top, s.bottom);
    p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotRule)));
    VLine(p, s.right - 1, s.top, s.bottom);
    if (!IsEnabled()) return;
    const qvx::Color line = Settings()->lineColor;
    p.fillRect(QRect(s.left + 1, s.top, s.Width() - 2, s.Height()), ToQColor(line));
    auto dark = [](std::uint8_t c) { return c > 50 ? c - 50 : 0; };
    p.setPen(QColor(dark(line.r), dark(line.g), dark(line.b)));
    HLine(p, s.left + 1, s.right - 1, s.bottom - 1);
    VLine(p, s.right - 2, s.top, s.bottom);
    HLine(p, s.left + 1, s.right - 1, s.bottom - 2);
}

void CQVxWaveformTrack::PaintZeroHandle(QPainter& p) {
    if (!m_hasZeroHandle) return;
    const qvx::WaveformStyle& style = m_area->GetPresenter()->GetStyle();
    const PixRect& r = m_zeroHandle;
    const int h = r.Height();
    const QPolygon shape({QPoint(r.left, r.top), QPoint(r.right - 10, r.top), QPoint(r.right, r.top + h / 2),
                          QPoint(r.right - 10, r.bottom), QPoint(r.left, r.bottom)});
    DrawPentagon(p, shape, ToQColor(style.GetColor(qvx::WaveformStyle::kSlotRule)), 1,
                 ToQColor(style.GetColor(m_zeroHandleHover ? qvx::WaveformStyle::kSlotAreaBackground
                                                           : qvx::WaveformStyle::kSlotRulerBackground)));
    p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotText)));
    p.setFont(QVxWinGUI::GuiFont(8));
    p.drawText(QRect(r.left, r.top, r.Width() - 4, h), Qt::AlignCenter, QStringLiteral("0V"));
}
