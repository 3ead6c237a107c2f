#pragma once
// Layout and painting model of the whole track area: ruler, tracks, waveform
// rectangle and footer, the markers and their flags, the cross-hair, and the
// horizontal scroll model in pixels over the recording. Owned by the track area
// window. GUI thread only.

#include "QVxWinGUICommon/QVxWinGUICommonExport.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMarkFlags.h"
#include "QVxWinGUICommon/WaveformMonitor/ScrollInfo.h"
#include "QVxWinGUICommon/WaveformMonitor/TrackAreaGeometry.h"

#include <QPainter>
#include <QPoint>

#include <array>
#include <memory>
#include <vector>

namespace qvx {
class WaveformPresenter;
class WaveformRenderData;
}  // namespace qvx

class CQVxWaveformTrack;
class CQVxWaveformTrackAreaWnd;
class IQVxWaveformExtension;

class QVXWINGUICOMMON_EXPORT CQVxWaveformTrackArea : public qvx::ScrollInfo {
public:
    explicit CQVxWaveformTrackArea(CQVxWaveformTrackAreaWnd* wnd);
    ~CQVxWaveformTrackArea() override;

    // Binds the presenter (may be null) and builds one track per track presenter.
    void Setup(qvx::WaveformPresenter* presenter);
    // Lays out the area in a client of `width` x `height` with a horizontal scroll
    // bar `scrollBarHeight` high; sets the presenter's viewport width.
    void Layout(int width, int height, int scrollBarHeight);
    // Paints everything into `p` (the double buffer of the client rectangle).
    void Paint(QPainter& p, const QRect& client);

    // The first enabled track whose rectangle holds the point, or null.
    CQVxWaveformTrack* FindTrack(QPoint pt) const;
    // Marker flag (0 M1, 1 M2) under the point, or -1.
    int HitMarkerFlag(QPoint pt) const;
    // The mark list drawn as mark flags (not owned; null for none).
    void SetMarkPresenter(qvx::WaveformDisplayTriggerPresenter* marks);
    qvx::WaveformDisplayTriggerPresenter* GetMarkPresenter() const { return m_markFlags.GetMarks(); }
    // Id of the mark flag under the point (after M1 and M2), or 0.
    int HitMarkFlag(QPoint pt) const;
    // Where the mark flags are drawn now.
    CQVxWaveformMarkFlags::View MarkView() const;
    // Zero-level handle under the point, or null.
    CQVxWaveformTrack* HitZeroHandle(QPoint pt) const;
    // Refreshes the pointer-over state of the flags and handles; true when one changed.
    bool UpdateHover(QPoint pt);

    void SetMousePoint(QPoint pt) { m_mouse = pt; }
    // Whether the presenter's cursor, set from elsewhere (a list, a peer), is drawn as a
    // line with the per-track values while the mouse is not over the waveform.
    void ShowSyncedCursor(bool show) { m_syncedCursor = show; }
    bool IsSyncedCursorShown() const { return m_syncedCursor; }
    // x of the line drawn for the cursor: the mouse's, else the synced cursor's; -1 for none.
    int CrossX() const;
    QPoint GetMousePoint() const { return m_mouse; }
    const qvx::trackarea::AreaLayout& GetLayout() const { return m_layout; }
    // The client height (px) that shows every shown track and the footer whole, as of
    // the last Layout (trackarea::NeededClientHeight); 0 before it.
    int GetNeededHeight() const { return m_neededHeight; }
    const qvx::trackarea::PixRect& GetWaveformRect() const { return m_layout.waveform; }
    qvx::WaveformPresenter* GetPresenter() const { return m_presenter; }
    CQVxWaveformTrackAreaWnd* GetWnd() const { return m_wnd; }
    IQVxWaveformExtension* GetExtension() const;
    bool IsConfigPopupEnabled() const;
    std::size_t TrackCount() const { return m_tracks.size(); }
    CQVxWaveformTrack& Track(std::size_t i) const { return *m_tracks[i]; }
    // The render data painted in the current mode.
    const qvx::WaveformRenderData& PaintData() const;
    // x of a marker flag's time, or INT_MIN when the marker is not shown.
    int MarkerX(int marker) const;

    // qvx::ScrollInfo: pixels of the whole recording at the current zoom.
    std::uint64_t GetHorizontalTotal() const override;
    std::uint64_t GetVerticalTotal() const override { return 0; }
    std::uint64_t GetHorizontalPage() const override;
    std::uint64_t GetVerticalPage() const override;
    void SetHorizontalPosition(std::uint64_t position) override;
    std::uint64_t GetHorizontalPosition() const override;
    void SetVerticalPosition(std::uint64_t) override {}
    std::uint64_t GetVerticalPosition() const override { return 0; }

private:
    void PaintGrid(QPainter& p, int unit);
    void PaintMarkers(QPainter& p);
    void PaintFlags(QPainter& p);
    void PaintCrossHair(QPainter& p, int x);
    void PaintCursorTime(QPainter& p, int unit, int x);
    void PaintFooter(QPainter& p, int unit);

    CQVxWaveformTrackAreaWnd* m_wnd;
    qvx::WaveformPresenter* m_presenter = nullptr;
    std::vector<std::unique_ptr<CQVxWaveformTrack>> m_tracks;
    qvx::trackarea::AreaLayout m_layout;
    int m_neededHeight = 0;
    QPoint m_mouse{-1, -1};
    bool m_syncedCursor = false;
    std::array<bool, 2> m_flagHover{false, false};
    CQVxWaveformMarkFlags m_markFlags;
};
