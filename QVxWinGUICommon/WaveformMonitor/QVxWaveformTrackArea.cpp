#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackArea.h"

#include "QVxCore/Presenters/WaveformPresenter.h"
#include "QVxCore/WaveformVisualSettings.h"
#include "QVxWinCommon/QVxClockTime.h"
#include "QVxWinCommon/QVxUtils.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/IQVxWaveformExtension.h"
#include "QVxWinGUICommon/WaveformMonitor/PaintSupport.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrack.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackAreaWnd.h"

#include <climits>

using namespace qvx::trackarea;

namespace {

QString TimeText(std::int64_t t, int unit) {
    return QString::fromStdString(QVxUtils::MakeTimeToDisplayString(t, unit));
}
QString UnitText(int unit) {
    return QString::fromStdString(QVxUtils::MakeTimeUnitString(unit));
}

// A point in time as the ruler and the read-outs show it (the time of day in clock-time mode).
QString PointInTimeText(const qvx::WaveformPresenter& presenter, std::int64_t t, int unit,
                        std::int64_t stepNs) {
    return QString::fromStdString(QVxClockTime::PointInTime(presenter.OnGetClockOrigin(), t, unit, stepNs));
}

}  // namespace

CQVxWaveformTrackArea::CQVxWaveformTrackArea(CQVxWaveformTrackAreaWnd* wnd)
    : qvx::ScrollInfo(wnd), m_wnd(wnd) {}

CQVxWaveformTrackArea::~CQVxWaveformTrackArea() = default;

void CQVxWaveformTrackArea::Setup(qvx::WaveformPresenter* presenter) {
    m_tracks.clear();
    m_presenter = presenter;
    if (!presenter) return;
    for (std::size_t i = 0; i < presenter->TrackCount(); ++i)
        m_tracks.push_back(std::make_unique<CQVxWaveformTrack>(this, &presenter->Track(i), i));
}

IQVxWaveformExtension* CQVxWaveformTrackArea::GetExtension() const {
    return m_wnd->GetParentWnd() ? m_wnd->GetParentWnd()->GetExtension() : nullptr;
}

bool CQVxWaveformTrackArea::IsConfigPopupEnabled() const {
    return m_wnd->GetParentWnd() ? m_wnd->GetParentWnd()->IsConfigPopupEnabled() : false;
}

const qvx::WaveformRenderData& CQVxWaveformTrackArea::PaintData() const {
    return m_presenter->GetPaintRenderData();
}

void CQVxWaveformTrackArea::Layout(int width, int height, int scrollBarHeight) {
    if (!m_presenter) return;
    qvx::WaveformVisualSettings* vs = m_presenter->GetVisualSettings();
    AreaLayoutInput in;
    in.clientWidth = width;
    in.clientHeight = height;
    in.scrollBarHeight = scrollBarHeight;
    in.labelWidth = vs ? vs->labelAreaWidth : 0;
    in.fitToHeight = m_presenter->GetOption(qvx::WaveformPresenter::kOptionFitToHeight) != 0;
    in.sharedTrackHeight = CQVxWaveformMonitorWnd::GetTrackHeight();
    for (const auto& t : m_tracks) in.trackEnabled.push_back(t->IsEnabled());
    m_layout = LayoutArea(in);
    m_neededHeight = NeededClientHeight(in);
    if (in.fitToHeight) CQVxWaveformMonitorWnd::SetTrackHeight(m_layout.trackHeight);
    for (std::size_t i = 0; i < m_tracks.size(); ++i) m_tracks[i]->Layout(m_layout.tracks[i], in.labelWidth);
    // On another thread the presenter logs the failed thread check and keeps its width.
    if (m_layout.waveform.Width() > 0) m_presenter->ResetViewportWidth(m_layout.waveform.Width());
    Refresh();
}

CQVxWaveformTrack* CQVxWaveformTrackArea::FindTrack(QPoint pt) const {
    for (const auto& t : m_tracks) {
        if (t->IsEnabled() && t->GetLayout().track.Contains(pt.x(), pt.y())) return t.get();
    }
    return nullptr;
}

int CQVxWaveformTrackArea::MarkerX(int marker) const {
    const qvx::WaveformVisualSettings* vs = m_presenter ? m_presenter->GetVisualSettings() : nullptr;
    if (!vs || !vs->markers[static_cast<std::size_t>(marker)].enabled) return INT_MIN;
    const auto& d = PaintData();
    const std::int64_t x =
        TimeToX(vs->markers[static_cast<std::size_t>(marker)].time, d.GetViewportBeginTimeOffset(),
                d.GetTimeParPixel(), m_layout.waveform.left);
    return x < INT_MIN / 2 || x > INT_MAX / 2 ? INT_MIN : static_cast<int>(x);
}

int CQVxWaveformTrackArea::HitMarkerFlag(QPoint pt) const {
    for (int m = 0; m < 2; ++m) {
        const int x = MarkerX(m);
        if (x != INT_MIN && pt.x() >= x - 10 && pt.x() < x + 10 && pt.y() >= 0 && pt.y() < 30) return m;
    }
    return -1;
}

void CQVxWaveformTrackArea::SetMarkPresenter(qvx::WaveformDisplayTriggerPresenter* marks) {
    m_markFlags.Bind(marks, [this, marks] {
        m_wnd->setProperty(CQVxWaveformTrackAreaWnd::kSelectedMarkerProperty, marks->GetSelectedMark());
        m_wnd->update();
    });
    m_wnd->update();
}

CQVxWaveformMarkFlags::View CQVxWaveformTrackArea::MarkView() const {
    CQVxWaveformMarkFlags::View view;
    view.waveform = m_layout.waveform;
    if (m_presenter) {
        view.viewportBegin = PaintData().GetViewportBeginTimeOffset();
        view.timeParPixel = PaintData().GetTimeParPixel();
    }
    return view;
}

int CQVxWaveformTrackArea::HitMarkFlag(QPoint pt) const {
    return m_presenter ? m_markFlags.HitTest(pt, MarkView()) : 0;
}

CQVxWaveformTrack* CQVxWaveformTrackArea::HitZeroHandle(QPoint pt) const {
    for (const auto& t : m_tracks) {
        if (t->IsEnabled() && t->HasZeroHandle() && t->GetZeroHandleRect().Contains(pt.x(), pt.y()))
            return t.get();
    }
    return nullptr;
}

bool CQVxWaveformTrackArea::UpdateHover(QPoint pt) {
    bool changed = false;
    const int flag = HitMarkerFlag(pt);
    for (int m = 0; m < 2; ++m) {
        const bool over = flag == m;
        changed |= m_flagHover[static_cast<std::size_t>(m)] != over;
        m_flagHover[static_cast<std::size_t>(m)] = over;
    }
    // A mark flag under an M1/M2 flag is not the one the pointer is over.
    changed |= m_markFlags.UpdateHover(flag >= 0 ? QPoint(-1, -1) : pt, MarkView());
    CQVxWaveformTrack* handle = HitZeroHandle(pt);
    for (const auto& t : m_tracks) t->SetZeroHandleHover(t.get() == handle);
    return changed;
}

void CQVxWaveformTrackArea::Paint(QPainter& p, const QRect& client) {
    if (!m_presenter || m_layout.area.IsEmpty()) return;
    const qvx::WaveformStyle& style = m_presenter->GetStyle();
    p.fillRect(client, ToQColor(style.GetColor(qvx::WaveformStyle::kSlotAreaBackground)));
    const qvx::WaveformVisualSettings* vs = m_presenter->GetVisualSettings();
    const int settingsUnit = vs ? std::min(static_cast<int>(vs->timeUnit), 3) : 1;
    const int unit = ChooseTimeUnit(m_presenter->GetUsage() == qvx::WaveformUsage::kAnalog,
                                    PaintData().GetTimeParPixel(), settingsUnit);
    const PixRect& a = m_layout.area;
    p.fillRect(QRect(a.left, a.top, a.Width(), kRulerBand),
               ToQColor(style.GetColor(qvx::WaveformStyle::kSlotRulerBackground)));
    p.fillRect(QRect(a.left, a.top + kRulerBand, a.Width(), kRulerBand),
               ToQColor(style.GetColor(qvx::WaveformStyle::kSlotAreaBackground)));
    for (const auto& t : m_tracks) {
        if (!t->IsEnabled()) continue;
        const auto& s = *t->GetTrackPresenter()->GetVisualSettings();
        const TrackLayout& l = t->GetLayout();
        p.fillRect(
            ToQRect(l.track),
            ToQColor(s.backgroundColor.IsSet() ? s.backgroundColor
                                               : style.GetColor(qvx::WaveformStyle::kSlotLabelBackground)));
        const QColor band = ToQColor(
            Tint(s.backgroundColor, style.GetColor(qvx::WaveformStyle::kSlotRulerBackground), 208, 47));
        p.fillRect(QRect(l.track.left, l.track.top, l.track.Width(), l.waveform.top - l.track.top), band);
        p.fillRect(
            QRect(l.track.left, l.waveform.bottom, l.track.Width(), l.track.bottom - l.waveform.bottom),
            band);
    }
    PaintGrid(p, unit);
    for (const auto& t : m_tracks) t->Paint(p, PaintData());
    PaintMarkers(p);
    PaintFlags(p);
    m_markFlags.Paint(p, MarkView(), m_presenter->GetStyle());
    const int crossX = CrossX();
    PaintCrossHair(p, crossX);
    if (IQVxWaveformExtension* ext = GetExtension())
        ext->OnPaintArea(this, p, client, ToQRect(m_layout.waveform));
    // The cursor's time over the extension's marks in the ruler (a trigger flag), which
    // would otherwise hide part of it.
    PaintCursorTime(p, unit, crossX);
    for (const auto& t : m_tracks) t->PaintCaptionBand(p, crossX);
    PaintFooter(p, unit);
}

void CQVxWaveformTrackArea::PaintGrid(QPainter& p, int unit) {
    const qvx::WaveformStyle& style = m_presenter->GetStyle();
    const auto& d = PaintData();
    const PixRect& w = m_layout.waveform;
    // In clock-time mode the lines and their labels sit on round times of day.
    const TimeGrid grid = MakeTimeGrid(d.GetViewportBeginTimeOffset(), d.GetTimeParPixel(), w.left, w.right,
                                       m_presenter->OnGetClockOrigin().value_or(0));
    const QColor gridColor = ToQColor(style.GetColor(qvx::WaveformStyle::kSlotGrid));
    p.setFont(QVxWinGUI::GuiFont(8));
    const QRect band(0, kRulerBand, 0, kRulerBand);
    auto label = [&](int x, std::int64_t t) {
        const QString text = PointInTimeText(*m_presenter, t, unit, 5 * grid.division);
        p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotText)));
        p.drawText(QRect(x + 4, band.top(), p.fontMetrics().horizontalAdvance(text) + 2, band.height() - 1),
                   Qt::AlignBottom | Qt::AlignLeft | Qt::TextSingleLine, text);
    };
    for (const GridLine& g : grid.lines) {
        p.setPen(QPen(gridColor, 1, g.major ? Qt::SolidLine : Qt::DotLine));
        VLine(p, g.x, g.major ? w.top - 10 : w.top, w.bottom);
        if (g.major) label(g.x, g.time);
    }
    if (grid.leadingMajorTime > 0) {
        const QString text = PointInTimeText(*m_presenter, grid.leadingMajorTime, unit, 5 * grid.division);
        if (grid.leadingMajorX + 4 + p.fontMetrics().horizontalAdvance(text) >= 0)
            label(grid.leadingMajorX, grid.leadingMajorTime);
    }
    p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotSeparator)));
    HLine(p, m_layout.area.left, m_layout.area.right, 49);
    p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotSecondaryText)));
    const QString perDiv =
        QStringLiteral("Time/div: %1 %2").arg(TimeText(grid.division, unit), UnitText(unit));
    p.drawText(QRect(m_layout.area.left, 0, m_layout.area.Width() - 4, kRulerBand),
               Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, perDiv);
}

void CQVxWaveformTrackArea::PaintMarkers(QPainter& p) {
    const qvx::WaveformStyle& style = m_presenter->GetStyle();
    const int x1 = MarkerX(0);
    const int x2 = MarkerX(1);
    for (int m = 0; m < 2; ++m) {
        const int x = m == 0 ? x1 : x2;
        if (x == INT_MIN) continue;
        p.setPen(QPen(ToQColor(style.GetMarkerColor(m)), 1));
        VLine(p, x, kRulerBand, m_layout.waveform.bottom);
    }
    if (x1 != INT_MIN && x2 != INT_MIN) {
        p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotSecondaryText)));
        p.drawLine(x1, 37, x2, 37);
    }
}

void CQVxWaveformTrackArea::PaintFlags(QPainter& p) {
    const qvx::WaveformStyle& style = m_presenter->GetStyle();
    p.setFont(QVxWinGUI::GuiFont(8));
    for (int m = 0; m < 2; ++m) {
        const int x = MarkerX(m);
        if (x == INT_MIN) continue;
        const QPolygon flag(
            {QPoint(x - 10, 0), QPoint(x + 10, 0), QPoint(x + 10, 20), QPoint(x, 30), QPoint(x - 10, 20)});
        DrawPentagon(p, flag, ToQColor(style.GetColor(qvx::WaveformStyle::kSlotRule)), 1,
                     ToQColor(style.GetColor(m_flagHover[static_cast<std::size_t>(m)]
                                                 ? qvx::WaveformStyle::kSlotAreaBackground
                                                 : qvx::WaveformStyle::kSlotRulerBackground)));
        p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotText)));
        p.drawText(QRect(x - 10, 0, 20, 22), Qt::AlignCenter, QStringLiteral("M%1").arg(m + 1));
    }
}

int CQVxWaveformTrackArea::CrossX() const {
    const PixRect& w = m_layout.waveform;
    if (w.Contains(m_mouse.x(), m_mouse.y())) return m_mouse.x();
    if (!m_syncedCursor || !m_presenter) return -1;
    const auto& d = PaintData();
    const std::int64_t x =
        TimeToX(m_presenter->GetCursorTime(), d.GetViewportBeginTimeOffset(), d.GetTimeParPixel(), w.left);
    return x >= w.left && x < w.right ? static_cast<int>(x) : -1;
}

// The cursor line: at the mouse (with the horizontal line), or at the synced cursor's time.
void CQVxWaveformTrackArea::PaintCrossHair(QPainter& p, int x) {
    const PixRect& w = m_layout.waveform;
    if (x < 0) return;
    p.setPen(QColor(160, 0, 0));
    VLine(p, x, kRulerBand, w.bottom);
    if (w.Contains(m_mouse.x(), m_mouse.y())) HLine(p, w.left, w.right, m_mouse.y());
}

// The cursor line's time in the ruler's second band.
void CQVxWaveformTrackArea::PaintCursorTime(QPainter& p, int unit, int x) {
    const PixRect& w = m_layout.waveform;
    if (x < 0) return;
    const qvx::WaveformStyle& style = m_presenter->GetStyle();
    const bool atMouse = w.Contains(m_mouse.x(), m_mouse.y());
    const auto& d = PaintData();
    const std::int64_t t = atMouse ? XToTime(x, d.GetViewportBeginTimeOffset(), d.GetTimeParPixel(), w.left)
                                   : m_presenter->GetCursorTime();
    const QString text = PointInTimeText(*m_presenter, t, unit, d.GetTimeParPixel());
    p.setFont(QVxWinGUI::GuiFont(10));
    const int width = p.fontMetrics().horizontalAdvance(text) + 2;
    const QRect r(ReadoutX(x, width, m_layout.area.right), kRulerBand + 1, width, kRulerBand - 2);
    p.fillRect(r, ToQColor(style.GetColor(qvx::WaveformStyle::kSlotRulerBackground)));
    p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotText)));
    p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, text);
}

void CQVxWaveformTrackArea::PaintFooter(QPainter& p, int unit) {
    const qvx::WaveformStyle& style = m_presenter->GetStyle();
    const auto& d = PaintData();
    const PixRect& f = m_layout.footer;
    p.setFont(QVxWinGUI::GuiFont(8));
    // The read-out text colour: the area background colour would hide the footer.
    p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotText)));
    const std::int64_t end = d.GetViewportBeginTimeOffset() + d.ViewportWidthTime();
    const QRect r(f.left + 4, f.top + 2, f.Width() - 8, 20);
    const auto footerText = [&](std::int64_t t, std::int64_t stepNs) {
        return m_presenter->OnGetClockOrigin()
                   ? PointInTimeText(*m_presenter, t, unit, stepNs)
                   : QStringLiteral("%1 [%2]").arg(TimeText(t, unit), UnitText(unit));
    };
    p.drawText(r, Qt::AlignLeft | Qt::AlignTop,
               footerText(d.GetViewportBeginTimeOffset(), d.GetTimeParPixel()));
    p.drawText(r, Qt::AlignRight | Qt::AlignTop, footerText(end, d.GetTimeParPixel()));
    if (m_presenter->GetOption(qvx::WaveformPresenter::kOptionLastTimeReadout) != 0) {
        // The newest record's own time (not its column's), so every digit shown is its own.
        p.drawText(r.translated(0, 20), Qt::AlignRight | Qt::AlignTop,
                   QStringLiteral("ReportData LastTime: %1").arg(footerText(d.GetLastRecordTime(), 1)));
    }
}

std::uint64_t CQVxWaveformTrackArea::GetHorizontalTotal() const {
    if (!m_presenter) return 0;
    const auto& d = PaintData();
    return static_cast<std::uint64_t>(std::max<std::int64_t>(d.GetLastTime(), 0) / d.GetTimeParPixel());
}

std::uint64_t CQVxWaveformTrackArea::GetHorizontalPage() const {
    return static_cast<std::uint64_t>(std::max(0, m_layout.waveform.Width()));
}

std::uint64_t CQVxWaveformTrackArea::GetVerticalPage() const {
    return static_cast<std::uint64_t>(std::max(0, m_layout.area.Height()));
}

void CQVxWaveformTrackArea::SetHorizontalPosition(std::uint64_t position) {
    if (!m_presenter) return;
    const std::int64_t tpp = PaintData().GetTimeParPixel();
    m_presenter->SetViewportBeginTimeOffset(static_cast<std::int64_t>(position) * tpp);
}

std::uint64_t CQVxWaveformTrackArea::GetHorizontalPosition() const {
    if (!m_presenter) return 0;
    const auto& d = PaintData();
    return static_cast<std::uint64_t>(std::max<std::int64_t>(d.GetViewportBeginTimeOffset(), 0) /
                                      d.GetTimeParPixel());
}
