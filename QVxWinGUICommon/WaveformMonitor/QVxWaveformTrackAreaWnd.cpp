#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackAreaWnd.h"

#include "QVxCore/Presenters/WaveformPresenter.h"
#include "QVxCore/WaveformVisualSettings.h"
#include "QVxWinGUICommon/Common/PopupPlacement.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/IQVxWaveformExtension.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformMarkerSettingDlg.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformTrackSettingPopupDlg.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrack.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackArea.h"

#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

using namespace qvx::trackarea;

CQVxTrackSplitterTracker::CQVxTrackSplitterTracker(QWidget* parent) : QWidget(parent) {
    setObjectName("splitterTracker");
    hide();
}

void CQVxTrackSplitterTracker::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), QColor(0x42, 0x42, 0x42));
}

CQVxWaveformTrackAreaWnd::CQVxWaveformTrackAreaWnd(CQVxWaveformMonitorWnd* parent)
    : QWidget(parent),
      m_parent(parent),
      m_area(std::make_unique<CQVxWaveformTrackArea>(this)),
      m_hScroll(new QScrollBar(Qt::Horizontal, this)),
      m_vScroll(new QScrollBar(Qt::Vertical, this)),
      m_tracker(new CQVxTrackSplitterTracker(this)),
      m_markerDlg(new QVxWaveformMarkerSettingDlg(this)) {
    setObjectName(QVxWinGUI::ControlName(kId));
    m_markerDlg->setAutoFillBackground(true);  // covers the ruler under the whole strip
    // The owning window is still being built here (its extension is not set yet): only its
    // props count until the first layout or paint.
    m_markerDlg->setVisible(m_parent && m_parent->GetProps().markersEnabled);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_hScroll->setObjectName(QVxWinGUI::ControlName(kHorizontalScrollBarId));
    m_vScroll->setObjectName(QVxWinGUI::ControlName(kVerticalScrollBarId));
    m_vScroll->hide();
    m_hScroll->setEnabled(false);
    connect(m_hScroll, &QScrollBar::actionTriggered, this, &CQVxWaveformTrackAreaWnd::OnScrollAction);
    connect(this, &CQVxWaveformTrackAreaWnd::TrackSettingsRequested, this,
            &CQVxWaveformTrackAreaWnd::ShowTrackSettingsDlg);
}

void CQVxWaveformTrackAreaWnd::ShowTrackSettingsDlg(int track, QRect at) {
    if (!m_presenter || track < 0 || static_cast<std::size_t>(track) >= m_presenter->TrackCount()) return;
    if (!m_trackSettingsDlg) {
        m_trackSettingsDlg =
            new QVxWaveformTrackSettingPopupDlg(static_cast<std::uint32_t>(m_presenter->GetUsage()), this);
        connect(m_trackSettingsDlg, &QVxWaveformTrackSettingPopupDlg::TrackSettingsChanged, this, [this] {
            Layout();
            update();
            Q_EMIT VisualSettingsChanged();
        });
    }
    m_trackSettingsDlg->Load(&m_presenter->Track(static_cast<std::size_t>(track)));
    // Right of the button, or left of it where the screen ends (a maximised window puts
    // CH1's button at the screen's right edge).
    QVxPopupPlacement::PlacePopup(m_trackSettingsDlg, this, at, QVxPopupPlacement::Side::kRight);
    m_trackSettingsDlg->show();
}

CQVxWaveformTrackAreaWnd::~CQVxWaveformTrackAreaWnd() = default;

void CQVxWaveformTrackAreaWnd::Setup(qvx::WaveformPresenter* presenter) {
    // The popup edits a track presenter of the previous presenter, which its owner
    // is about to destroy or has destroyed: it lets go of it and closes.
    if (m_trackSettingsDlg) {
        m_trackSettingsDlg->Load(nullptr);
        m_trackSettingsDlg->close();
    }
    m_presenter = presenter;
    m_panning = m_splitterDrag = false;
    m_heightDragTrack = 0;
    m_flagDrag = -1;
    m_downTrack = m_handleDrag = nullptr;
    m_area->Setup(presenter);
    m_markerDlg->Setup(presenter);
    Layout();
    // The whole area shows the new presenter's tracks, scale and markers now, not
    // on the next mouse move.
    update();
}

void CQVxWaveformTrackAreaWnd::Layout() {
    if (!m_presenter) return;
    const int barHeight = m_hScroll->sizeHint().height();
    m_area->Layout(width(), height(), barHeight);
    const PixRect& w = m_area->GetWaveformRect();
    m_hScroll->setGeometry(w.left, height() - barHeight, std::max(0, w.Width()), barHeight);
    m_vScroll->setGeometry(width() - m_vScroll->sizeHint().width(), 0, m_vScroll->sizeHint().width(),
                           height());
    UpdateMarkerStripVisibility();
    if (GetNeededHeight() != m_neededHeight) {
        m_neededHeight = GetNeededHeight();
        Q_EMIT NeededHeightChanged(m_neededHeight);
    }
}

int CQVxWaveformTrackAreaWnd::GetNeededHeight() const {
    return m_presenter ? m_area->GetNeededHeight() : 0;
}

CQVxWaveformTrack* CQVxWaveformTrackAreaWnd::FindPitInTrack(QPoint pt) const {
    return m_area->FindTrack(pt);
}

bool CQVxWaveformTrackAreaWnd::IsPitInMouseAnyTrack() const {
    return FindPitInTrack(mapFromGlobal(QCursor::pos())) != nullptr;
}

void CQVxWaveformTrackAreaWnd::SetMarkerToCursor(int marker) {
    if (m_presenter) m_presenter->SetMarkerTime(marker, m_presenter->GetCursorTime());
}

void CQVxWaveformTrackAreaWnd::OnRefreshScroll(qvx::ScrollInfo* info) {
    if (m_inScroll || !m_hScroll || !info) return;
    const bool stored = m_presenter && m_presenter->IsStoredData();
    m_scrollState = ToScrollBar(stored, info->GetHorizontalTotal(), info->GetHorizontalPage(),
                                info->GetHorizontalPosition());
    const QSignalBlocker block(m_hScroll);
    m_hScroll->setEnabled(m_scrollState.enabled);
    m_hScroll->setRange(0, m_scrollState.enabled ? m_scrollState.maximum : 0);
    m_hScroll->setPageStep(std::max(1, m_scrollState.page));
    m_hScroll->setValue(m_scrollState.position);
}

void CQVxWaveformTrackAreaWnd::OnScrollAction(int action) {
    if (!m_presenter) return;
    m_inScroll = true;
    CQVxWaveformTrackArea& a = *m_area;
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            a.LineLeft();
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            a.LineRight();
            break;
        case QAbstractSlider::SliderPageStepSub:
            a.PageLeft();
            break;
        case QAbstractSlider::SliderPageStepAdd:
            a.PageRight();
            break;
        case QAbstractSlider::SliderMove:
            a.SetHorizontalPosition(
                FromScrollBar(m_scrollState, m_hScroll->sliderPosition(), a.GetHorizontalMaximum()));
            break;
        case QAbstractSlider::SliderToMinimum:
            a.SetHorizontalPosition(0);
            break;
        case QAbstractSlider::SliderToMaximum:
            a.SetHorizontalPosition(a.GetHorizontalMaximum());
            break;
        default:
            break;
    }
    m_inScroll = false;
    m_scrollState = ToScrollBar(m_scrollState.enabled, a.GetHorizontalTotal(), a.GetHorizontalPage(),
                                a.GetHorizontalPosition());
    // The slider's own move is applied after this handler: set the mapped position.
    m_hScroll->setSliderPosition(m_scrollState.position);
    update();
}

void CQVxWaveformTrackAreaWnd::resizeEvent(QResizeEvent*) {
    Layout();
}

QImage CQVxWaveformTrackAreaWnd::RenderImage() {
    QImage image(size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    m_area->Paint(p, rect());
    return image;
}

void CQVxWaveformTrackAreaWnd::paintEvent(QPaintEvent*) {
    m_repaintPending = false;
    UpdateMarkerStripVisibility();
    QPainter painter(this);
    // A picture on a vector device (SVG, PDF) or a scaled one gets the lines and texts
    // themselves; the screen and unscaled images get the pixel buffer, as always.
    const bool vector = painter.paintEngine()->type() != QPaintEngine::Raster ||
                        painter.deviceTransform().type() > QTransform::TxTranslate;
    if (vector) {
        painter.fillRect(rect(), palette().color(QPalette::Window));
        painter.setClipRect(rect());
        m_area->Paint(painter, rect());
        return;
    }
    QPixmap buffer(size());
    buffer.fill(palette().color(QPalette::Window));
    {
        QPainter bp(&buffer);
        m_area->Paint(bp, rect());
    }
    painter.drawPixmap(0, 0, buffer);
}

void CQVxWaveformTrackAreaWnd::UpdateMarkerStripVisibility() {
    const IQVxWaveformExtension* extension = m_parent ? m_parent->GetExtension() : nullptr;
    const bool shown =
        m_parent && m_parent->GetProps().markersEnabled && !(extension && extension->HasTopLeftBanner());
    if (m_markerDlg->isVisibleTo(this) != shown) m_markerDlg->setVisible(shown);
    // Also sized to nothing when hidden: a grab of a window that is not on screen yet
    // paints its hidden children too.
    const auto* visual = m_presenter ? m_presenter->GetVisualSettings() : nullptr;
    const int width = shown && visual ? std::max(0, visual->labelAreaWidth) : 0;
    m_markerDlg->setGeometry(0, 0, width, shown ? kMarkerStripHeight : 0);
}

void CQVxWaveformTrackAreaWnd::RequestRedraw() {
    if (m_parent) m_parent->Redraw();
    update();
    m_repaintPending = true;
}

void CQVxWaveformTrackAreaWnd::mousePressEvent(QMouseEvent* e) {
    if (!m_presenter || e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
    const QPoint pt = e->position().toPoint();
    m_down = pt;
    const int flag = m_area->HitMarkerFlag(pt);
    if (flag >= 0) {
        m_flagDrag = flag;
        m_flagDownTime = m_presenter->GetVisualSettings()->markers[static_cast<std::size_t>(flag)].time;
        return;
    }
    if (StartMarkDrag(pt)) return;
    if (CQVxWaveformTrack* handle = m_area->HitZeroHandle(pt)) {
        m_handleDrag = handle;
        m_downOffset = handle->GetTrackPresenter()->GetVisualSettings()->verticalResolutionOffset;
        return;
    }
    if (const int border = HitTrackBorder(pt)) {
        m_heightDragTrack = border;
        m_heightDragMoved = false;
        m_downTrackHeight = m_area->GetLayout().trackHeight;
        return;
    }
    CQVxWaveformTrack* track = FindPitInTrack(pt);
    if (track && track->GetLayout().splitter.Contains(pt.x(), pt.y())) {
        m_splitterDrag = true;
        m_downLabelWidth = m_presenter->GetVisualSettings()->labelAreaWidth;
        m_splitterX = pt.x();
        UpdateSplitterGhost();
        return;
    }
    m_panning = true;
    m_downTrack = track;
    m_downOffset = track ? track->GetTrackPresenter()->GetVisualSettings()->verticalResolutionOffset : 0.0;
    m_downBegin = m_area->PaintData().GetViewportBeginTimeOffset();
}

// The label of the mark flag under the pointer as the tooltip; none elsewhere.
void CQVxWaveformTrackAreaWnd::ShowMarkLabel(QPoint pt) {
    const qvx::WaveformDisplayTriggerPresenter* marks = m_area->GetMarkPresenter();
    const qvx::WaveformMark* mark = marks ? marks->FindMark(m_area->HitMarkFlag(pt)) : nullptr;
    setToolTip(mark ? QString::fromStdString(mark->label) : QString());
}

// A press on a mark flag selects its mark and starts dragging it.
bool CQVxWaveformTrackAreaWnd::StartMarkDrag(QPoint pt) {
    qvx::WaveformDisplayTriggerPresenter* marks = m_area->GetMarkPresenter();
    const int id = m_area->HitMarkFlag(pt);
    if (!marks || id == 0) return false;
    m_markDrag = id;
    m_markDragMoved = false;
    m_flagDownTime = marks->FindMark(id)->time;
    setProperty(kSelectedMarkerProperty, id);
    marks->SetSelectedMark(id);
    update();
    return true;
}

// The dragged mark follows the pointer, kept inside the recording.
void CQVxWaveformTrackAreaWnd::DragMark(QPoint delta) {
    qvx::WaveformDisplayTriggerPresenter* marks = m_area->GetMarkPresenter();
    if (!marks || !marks->FindMark(m_markDrag)) {
        m_markDrag = 0;  // the list changed under the drag
        return;
    }
    const auto& d = m_area->PaintData();
    const std::int64_t time = std::clamp<std::int64_t>(m_flagDownTime + delta.x() * d.GetTimeParPixel(), 0,
                                                       std::max<std::int64_t>(0, d.GetLastTime()));
    m_markDragMoved |= delta.x() != 0;
    marks->SetMarkTime(m_markDrag, time);
}

void CQVxWaveformTrackAreaWnd::mouseMoveEvent(QMouseEvent* e) {
    const QPoint pt = e->position().toPoint();
    UpdateCursorShape(pt);
    if (m_repaintPending || !m_presenter) return;
    const QPoint delta = pt - m_down;
    const std::int64_t tpp = m_area->PaintData().GetTimeParPixel();
    if (m_splitterDrag) {
        m_splitterX = pt.x();
        UpdateSplitterGhost();
        return;
    }
    if (m_heightDragTrack > 0) {
        DragTrackHeight(pt);
        return;
    }
    if (m_panning) {
        if ((e->modifiers() & Qt::ShiftModifier) &&
            m_presenter->GetOption(qvx::WaveformPresenter::kOptionVerticalMouseScaling) && m_downTrack) {
            qvx::WaveformTrackPresenter* tp = m_downTrack->GetTrackPresenter();
            tp->GetVisualSettings()->verticalResolutionOffset = OffsetAfterDrag(
                m_downOffset, delta.y(), tp->GetPixelScale(), tp->GetVisualSettings()->verticalScaling,
                tp->GetRangeLow(), tp->GetRangeHigh());
            Layout();
        } else {
            m_presenter->SetViewportBeginTimeOffset(std::max<std::int64_t>(0, m_downBegin - delta.x() * tpp));
        }
    } else if (m_markDrag != 0) {
        DragMark(delta);
    } else if (m_flagDrag >= 0) {
        m_presenter->SetMarkerTime(m_flagDrag, std::max<std::int64_t>(0, m_flagDownTime + delta.x() * tpp));
    } else if (m_handleDrag) {
        qvx::WaveformTrackPresenter* tp = m_handleDrag->GetTrackPresenter();
        tp->GetVisualSettings()->verticalResolutionOffset =
            OffsetAfterDrag(m_downOffset, delta.y(), tp->GetPixelScale(),
                            tp->GetVisualSettings()->verticalScaling, tp->GetRangeLow(), tp->GetRangeHigh());
        Layout();
    } else {
        m_area->UpdateHover(pt);
        ShowMarkLabel(pt);
        const PixRect& w = m_area->GetWaveformRect();
        if (w.Contains(pt.x(), pt.y())) {
            m_area->SetMousePoint(pt);
            m_area->ShowSyncedCursor(false);  // the mouse's cursor from now on
            if (m_presenter->IsStoredData()) {
                const auto& d = m_area->PaintData();
                const std::int64_t t =
                    std::min(d.GetLastTime(), XToTime(pt.x(), d.GetViewportBeginTimeOffset(), tpp, w.left));
                if (t >= 0) m_presenter->UpdateCursorTime(t);
            }
        } else {
            m_area->SetMousePoint(QPoint(-1, -1));
        }
    }
    RequestRedraw();
}

void CQVxWaveformTrackAreaWnd::mouseReleaseEvent(QMouseEvent* e) {
    if (!m_presenter || e->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(e);
    const QPoint pt = e->position().toPoint();
    if (m_heightDragTrack > 0) {
        DragTrackHeight(pt);
        m_heightDragTrack = 0;
        // A click on the handle that did not move the border leaves the heights (and fitting) alone.
        if (m_heightDragMoved) Q_EMIT TrackHeightDragged(CQVxWaveformMonitorWnd::GetTrackHeight());
        return;
    }
    const bool wasFlag = m_flagDrag >= 0 || m_markDrag != 0;
    m_flagDrag = -1;
    if (m_markDrag != 0) {
        qvx::WaveformDisplayTriggerPresenter* marks = m_area->GetMarkPresenter();
        if (m_markDragMoved && marks && marks->FindMark(m_markDrag)) marks->FinishMarkMove(m_markDrag);
        m_markDrag = 0;
    }
    if (m_handleDrag) {
        m_handleDrag = nullptr;
        update();
        return;
    }
    if (wasFlag) {
        update();
        return;
    }
    if (m_splitterDrag) {
        m_splitterDrag = false;
        m_presenter->GetVisualSettings()->labelAreaWidth =
            std::clamp(m_downLabelWidth + pt.x() - m_down.x(), 0, kMaxLabelWidth);
        UpdateSplitterGhost();
        Layout();
        update();
        Q_EMIT VisualSettingsChanged();
        return;
    }
    if (m_panning) {
        m_panning = false;
        const bool click = std::abs(pt.x() - m_down.x()) <= kMarkerClickSlop &&
                           std::abs(pt.y() - m_down.y()) <= kMarkerClickSlop;
        const bool markers = m_parent && m_parent->GetProps().markersEnabled;
        if (click && markers && m_presenter->IsStoredData()) {
            // The time under the press, at the viewport of the press.
            const auto& d = m_area->PaintData();
            const std::int64_t t =
                XToTime(m_down.x(), m_downBegin, d.GetTimeParPixel(), m_area->GetWaveformRect().left);
            m_presenter->SetMarkerTime((e->modifiers() & Qt::ShiftModifier) ? 1 : 0,
                                       std::max<std::int64_t>(0, t));
            update();
        }
    }
    m_downTrack = nullptr;
}

void CQVxWaveformTrackAreaWnd::mouseDoubleClickEvent(QMouseEvent* e) {
    if (!m_presenter) return QWidget::mouseDoubleClickEvent(e);
    const auto& d = m_area->PaintData();
    const std::int64_t t = XToTime(e->position().toPoint().x(), d.GetViewportBeginTimeOffset(),
                                   d.GetTimeParPixel(), m_area->GetWaveformRect().left);
    Q_EMIT DoubleClickedAtTime(static_cast<quint64>(t));
}

void CQVxWaveformTrackAreaWnd::wheelEvent(QWheelEvent* e) {
    if (!m_presenter || m_repaintPending) {
        e->accept();
        return;
    }
    const int dy = e->angleDelta().y();
    if (dy == 0) return;
    const bool away = dy > 0;
    CQVxWaveformTrack* track = FindPitInTrack(e->position().toPoint());
    if (e->modifiers() == Qt::ControlModifier &&
        m_presenter->GetOption(qvx::WaveformPresenter::kOptionVerticalMouseScaling) && track) {
        qvx::WaveformTrackPresenter* tp = track->GetTrackPresenter();
        const double s = tp->GetVisualSettings()->verticalScaling;
        tp->SetVerticalScaling(away ? s * 2 : s / 2);
        Layout();
    } else {
        const std::int64_t tpp = m_area->PaintData().GetTimeParPixel();
        m_presenter->ResetViewportScale(m_presenter->GetScalingList().StepTimeParPixel(tpp, away ? -1 : 1));
    }
    update();
    m_repaintPending = true;
    e->accept();
}

void CQVxWaveformTrackAreaWnd::leaveEvent(QEvent*) {
    m_area->SetMousePoint(QPoint(-1, -1));
    update();
}

void CQVxWaveformTrackAreaWnd::UpdateCursorShape(QPoint pt) {
    CQVxWaveformTrack* track = m_presenter ? FindPitInTrack(pt) : nullptr;
    const bool overSplitter =
        m_splitterDrag || (track && track->GetLayout().splitter.Contains(pt.x(), pt.y()));
    const bool overBorder = m_heightDragTrack > 0 || (m_presenter && HitTrackBorder(pt) > 0);
    setCursor(overBorder ? Qt::SplitVCursor : overSplitter ? Qt::SplitHCursor : Qt::ArrowCursor);
}

// Only the border's handle in the label column grips it: over the waveform a press near a
// border is a pan or a marker click, and the splitter strip keeps its own drag.
int CQVxWaveformTrackAreaWnd::HitTrackBorder(QPoint pt) const {
    if (!m_presenter) return 0;
    int shown = 0;
    for (std::size_t i = 0; i < m_area->TrackCount(); ++i) {
        const CQVxWaveformTrack& track = m_area->Track(i);
        if (!track.IsEnabled()) continue;
        ++shown;
        if (TrackBorderHandle(track.GetLayout()).Contains(pt.x(), pt.y())) return shown;
    }
    return 0;
}

// The grabbed border follows the mouse: every shown track takes the height that puts the
// n-th border there, the shared height is set and the tracks no longer fit the window.
void CQVxWaveformTrackAreaWnd::DragTrackHeight(QPoint pt) {
    const int count = static_cast<int>(m_area->TrackCount());
    int enabled = 0;
    for (int i = 0; i < count; ++i) enabled += m_area->Track(static_cast<std::size_t>(i)).IsEnabled() ? 1 : 0;
    if (enabled == 0) return;
    const int height =
        std::max(kMinTrackHeight, m_downTrackHeight + (pt.y() - m_down.y()) / m_heightDragTrack);
    if (!m_heightDragMoved && height == m_downTrackHeight) return;  // not moved yet: fitting stays
    m_heightDragMoved = true;
    m_presenter->SetOption(qvx::WaveformPresenter::kOptionFitToHeight, 0);
    // The layout gives the hidden tracks' room to the shown ones: shared = height x shown / all.
    CQVxWaveformMonitorWnd::SetTrackHeight(height * enabled / count);
    Layout();
    update();
}

void CQVxWaveformTrackAreaWnd::UpdateSplitterGhost() {
    if (!m_splitterDrag) {
        m_tracker->hide();
        return;
    }
    m_tracker->setGeometry(m_splitterX - 1, 0, 2, height());
    m_tracker->show();
    m_tracker->raise();
    m_tracker->repaint();
}
