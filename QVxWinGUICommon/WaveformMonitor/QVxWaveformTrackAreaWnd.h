#pragma once
// The track area window: paints the track area through a double buffer, turns
// mouse input into presenter calls (pan, zoom, markers, cursor, vertical scaling
// and offset, splitter drag) and keeps the 64-bit scroll position in a 32-bit
// scroll bar (the vertical one stays hidden). GUI thread only.

#include "QVxWinGUICommon/QVxWinGUICommonExport.h"
#include "QVxWinGUICommon/WaveformMonitor/ScrollInfo.h"
#include "QVxWinGUICommon/WaveformMonitor/TrackAreaGeometry.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <memory>

class QScrollBar;
class CQVxTrackSplitterTracker;
class CQVxWaveformMonitorWnd;
class CQVxWaveformTrack;
class CQVxWaveformTrackArea;
class QVxWaveformMarkerSettingDlg;
class QVxWaveformTrackSettingPopupDlg;

namespace qvx {
class WaveformPresenter;
}

class QVXWINGUICOMMON_EXPORT CQVxWaveformTrackAreaWnd : public QWidget, public qvx::ScrollContentContainer {
    Q_OBJECT

public:
    static constexpr int kId = 101;
    static constexpr int kHorizontalScrollBarId = 700;
    static constexpr int kVerticalScrollBarId = 701;
    static constexpr int kMinTrackHeight = 40;  // px

    explicit CQVxWaveformTrackAreaWnd(CQVxWaveformMonitorWnd* parent);
    ~CQVxWaveformTrackAreaWnd() override;

    void Setup(qvx::WaveformPresenter* presenter);
    void Layout();
    CQVxWaveformTrack* FindPitInTrack(QPoint pt) const;
    // The position (1-based, among the shown tracks) of the track whose lower border's
    // handle (TrackBorderHandle: in the label column) is under the point; 0 for none.
    int HitTrackBorder(QPoint pt) const;
    bool IsPitInMouseAnyTrack() const;
    // Marker 0 (M1) or 1 (M2) to the presenter's cursor time.
    void SetMarkerToCursor(int marker);
    CQVxWaveformMonitorWnd* GetParentWnd() const { return m_parent; }
    CQVxWaveformTrackArea* GetGraphArea() const { return m_area.get(); }
    bool IsVerticalScrollBarEnabled() const { return false; }
    QScrollBar* HorizontalScrollBar() const { return m_hScroll; }
    // The area painted into an image of the client size.
    QImage RenderImage();
    // Opens (creating it on first use) the settings popup of track `track` right of
    // `at` (this window's pixels; its left side where the screen ends there), kept on
    // the screen.
    void ShowTrackSettingsDlg(int track, QRect at);
    QVxWaveformTrackSettingPopupDlg* GetTrackSettingsDlg() const { return m_trackSettingsDlg; }
    // The marker strip in the top-left corner (shown when the window's props enable markers).
    QVxWaveformMarkerSettingDlg* GetMarkerSettingsDlg() const { return m_markerDlg; }
    static constexpr int kMarkerStripHeight = 49;  // px, inside the 50-pixel ruler
    bool IsRepaintPending() const { return m_repaintPending; }
    // The client height (px) that shows every shown track and the footer whole (0
    // without presenter).
    int GetNeededHeight() const;

    void OnRefreshScroll(qvx::ScrollInfo* info) override;

    // The dynamic property that holds the id of the selected mark flag (0 for none).
    static constexpr const char* kSelectedMarkerProperty = "PROP_SELECTED_MARKER";

Q_SIGNALS:
    void DoubleClickedAtTime(quint64 time);
    // The shared track height was set by dragging a track's lower border (fitting the
    // tracks to the window is off from then on).
    void TrackHeightDragged(int sharedHeight);
    void VisualSettingsChanged();
    // A track's settings button was pressed: the track settings popup belongs at
    // (at.right, at.top) for track `track`.
    void TrackSettingsRequested(int track, QRect at);
    // The client height that shows every shown track and the footer whole changed
    // (fit to height switched, the shared track height, the tracks shown): an embedding
    // that scrolls keeps the window at least this high (px).
    void NeededHeightChanged(int height);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void OnScrollAction(int action);
    void UpdateCursorShape(QPoint pt);
    void DragTrackHeight(QPoint pt);
    void UpdateSplitterGhost();
    void RequestRedraw();
    // Shown when markers are enabled, unless the extension's banner needs the corner.
    void UpdateMarkerStripVisibility();
    bool StartMarkDrag(QPoint pt);
    void ShowMarkLabel(QPoint pt);
    void DragMark(QPoint delta);

    CQVxWaveformMonitorWnd* m_parent;
    qvx::WaveformPresenter* m_presenter = nullptr;
    std::unique_ptr<CQVxWaveformTrackArea> m_area;
    QScrollBar* m_hScroll;
    QScrollBar* m_vScroll;
    CQVxTrackSplitterTracker* m_tracker;
    QVxWaveformTrackSettingPopupDlg* m_trackSettingsDlg = nullptr;  // child, created on first use
    QVxWaveformMarkerSettingDlg* m_markerDlg;                       // child
    qvx::trackarea::ScrollBarState m_scrollState;
    bool m_inScroll = false;

    // Drag state.
    bool m_panning = false;
    QPoint m_down;
    CQVxWaveformTrack* m_downTrack = nullptr;
    double m_downOffset = 0.0;
    std::int64_t m_downBegin = 0;
    bool m_splitterDrag = false;
    int m_heightDragTrack = 0;       // 1-based position among the shown tracks of the dragged border; 0 none
    bool m_heightDragMoved = false;  // the dragged border has left its place since the press
    int m_downTrackHeight = 0;
    int m_downLabelWidth = 0;
    int m_splitterX = 0;
    int m_flagDrag = -1;
    std::int64_t m_flagDownTime = 0;
    int m_markDrag = 0;  // id of the dragged mark flag; 0 none
    bool m_markDragMoved = false;
    CQVxWaveformTrack* m_handleDrag = nullptr;
    bool m_repaintPending = false;
    int m_neededHeight = 0;  // as last announced by NeededHeightChanged
};

// The 2-pixel ghost line shown while the splitter is dragged.
class QVXWINGUICOMMON_EXPORT CQVxTrackSplitterTracker : public QWidget {
    Q_OBJECT

public:
    explicit CQVxTrackSplitterTracker(QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};
