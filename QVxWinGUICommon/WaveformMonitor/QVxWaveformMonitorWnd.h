#pragma once
// The waveform monitor window an application embeds: a 2-pixel framed child
// holding the track area, bound to one waveform presenter, with the context menu
// (commands as actions "cmd<id>", delivered to the command window), copy to the
// clipboard (also Ctrl+C), per-track captions and the paint extension.
// GUI thread only.

#include "QVxCore/Color.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinGUICommon/QVxWinGUICommonExport.h"

#include <QImage>
#include <QKeySequence>
#include <QMenu>
#include <QWidget>

#include <cstdint>
#include <memory>

class CQVxWaveformTrackAreaWnd;
class IQVxWaveformExtension;

namespace qvx {
class SignalConnection;
class WaveformDisplayTriggerPresenter;
class WaveformPresenter;
enum class WaveformUsage : std::uint32_t;
}  // namespace qvx

struct CQVxWaveformMonitorWndProps {
    bool markersEnabled = true;
};

class QVXWINGUICOMMON_EXPORT CQVxWaveformMonitorWnd : public QWidget {
    Q_OBJECT

public:
    static constexpr int kBorderWidth = 2;
    static constexpr int kContextMenuId = 4228;
    // Context menu commands (the CommandTriggered ids, also the ids of their
    // prompts in the library's string table).
    static constexpr int kCopyCommand = kGuiStringCopyGraphPrompt;
    static constexpr int kTimeUnitNsCommand = kGuiStringTimeUnitNsPrompt;  // then us, ms, s
    static constexpr int kTimeUnitSecondsCommand = kGuiStringTimeUnitSecondsPrompt;
    static constexpr int kMarkerToCursorCommands[2] = {kGuiStringMoveMarker1Prompt,
                                                       kGuiStringMoveMarker2Prompt};
    // The keys of those commands while the window has the focus: M (M1) and Shift+M (M2).
    static QKeySequence MarkerHereKey(int marker) {
        return marker == 0 ? QKeySequence(Qt::Key_M) : QKeySequence(Qt::SHIFT | Qt::Key_M);
    }
    static constexpr int kFirstChannelCommand = kGuiStringChannel1Prompt;  // CH1-CH8 shown or hidden
    static constexpr int kLastChannelCommand = kGuiStringChannel8Prompt;
    // "M1-M2 をエクスポート..." (analog windows with markers; enabled when both are set).
    static constexpr int kExportMarkedRangeCommand = 17016;
    // Bookmarks (windows given a mark presenter): add one at the cursor (key B), delete
    // the selected one (key Delete).
    static constexpr int kAddBookmarkCommand = kGuiStringAddBookmarkPrompt;
    static constexpr int kDeleteBookmarkCommand = kGuiStringDeleteBookmarkPrompt;
    static QKeySequence AddBookmarkKey() { return QKeySequence(Qt::Key_B); }
    static QKeySequence DeleteBookmarkKey() { return QKeySequence(Qt::Key_Delete); }

    explicit CQVxWaveformMonitorWnd(CQVxWaveformMonitorWndProps props, QWidget* parent = nullptr);
    ~CQVxWaveformMonitorWnd() override;

    // Binds `presenter` (not owned; may be replaced later) and follows its viewport
    // and scale changes.
    void Setup(qvx::WaveformPresenter* presenter);
    // The mark list drawn as flags, whose flags are selected and dragged here, and the
    // bookmark commands of the context menu and keys (not owned; null for none).
    void SetMarkPresenter(qvx::WaveformDisplayTriggerPresenter* marks);
    // Ad-hoc data: fetches the newest render data first (presenter's thread only).
    // Then repaints.
    void Redraw();
    // Draws the presenter's cursor, just set from outside the window (a list, a peer), as
    // a line with the per-track values until the mouse moves over the waveform.
    void ShowSyncedCursor();
    // The window's image as shown (less a shown vertical scroll bar) to the clipboard.
    bool BmpCopyToClipboard();
    QImage GrabTrackAreaImage();

    static int GetTrackHeight();
    static void SetTrackHeight(int height);
    void SetBorderColor(const qvx::Color& color);
    void SetConfigPopupEnabled(bool enabled);
    bool IsConfigPopupEnabled() const { return m_configPopupEnabled; }
    void SetExtension(IQVxWaveformExtension* extension) { m_extension = extension; }
    IQVxWaveformExtension* GetExtension() const { return m_extension; }
    // The window that receives the context menu's commands (its actions' triggers
    // are also announced by CommandTriggered).
    void SetWndShowContext(QWidget* window) { m_wndShowContext = window; }
    qvx::WaveformUsage GetUsage() const;
    const CQVxWaveformMonitorWndProps& GetProps() const { return m_props; }
    CQVxWaveformTrackAreaWnd* GetTrackAreaWnd() const { return m_trackArea; }
    qvx::WaveformPresenter* GetPresenter() const { return m_presenter; }

    // The context menu for the current presenter and props (null without presenter).
    std::unique_ptr<QMenu> MakeContextMenu();

Q_SIGNALS:
    void DoubleClickedAtTime(quint64 time);
    void CommandTriggered(int id);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AddExportMarkedRange(QMenu* menu);
    void Disconnect();

    CQVxWaveformMonitorWndProps m_props;
    qvx::WaveformPresenter* m_presenter = nullptr;
    CQVxWaveformTrackAreaWnd* m_trackArea;
    IQVxWaveformExtension* m_extension = nullptr;
    qvx::Color m_borderColor;
    QWidget* m_wndShowContext = nullptr;
    bool m_configPopupEnabled = true;
    std::shared_ptr<qvx::SignalConnection> m_viewportConnection;
    std::shared_ptr<qvx::SignalConnection> m_scaleConnection;
    static int s_trackHeight;
};
