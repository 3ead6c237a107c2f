#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"

#include "QVxCore/Presenters/WaveformDisplayTriggerPresenter.h"
#include "QVxCore/Presenters/WaveformPresenter.h"
#include "QVxCore/WaveformVisualSettings.h"
#include "QVxWinGUICommon/Common/CQVxIconButton.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/PaintSupport.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformCaption.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformPicture.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrack.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackArea.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackAreaWnd.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QThread>

#include <spdlog/spdlog.h>

int CQVxWaveformMonitorWnd::s_trackHeight = 150;

CQVxWaveformMonitorWnd::CQVxWaveformMonitorWnd(CQVxWaveformMonitorWndProps props, QWidget* parent)
    : QWidget(parent),
      m_props(props),
      m_trackArea(new CQVxWaveformTrackAreaWnd(this)),
      m_borderColor(qvx::WaveformStyle::GetColor(0, qvx::WaveformStyle::kSlotSeparator)) {
    setFocusPolicy(Qt::ClickFocus);
    m_trackArea->installEventFilter(this);
    connect(m_trackArea, &CQVxWaveformTrackAreaWnd::DoubleClickedAtTime, this,
            &CQVxWaveformMonitorWnd::DoubleClickedAtTime);
}

CQVxWaveformMonitorWnd::~CQVxWaveformMonitorWnd() {
    Disconnect();
}

void CQVxWaveformMonitorWnd::Disconnect() {
    if (m_viewportConnection) m_viewportConnection->Disconnect();
    if (m_scaleConnection) m_scaleConnection->Disconnect();
    m_viewportConnection.reset();
    m_scaleConnection.reset();
}

void CQVxWaveformMonitorWnd::Setup(qvx::WaveformPresenter* presenter) {
    Disconnect();
    m_presenter = presenter;
    m_trackArea->Setup(presenter);
    if (!presenter) return;
    auto follow = [this] {
        m_trackArea->GetGraphArea()->Refresh();
        m_trackArea->Layout();
        Redraw();
    };
    m_viewportConnection = presenter->ViewportChanged.Connect(follow);
    m_scaleConnection = presenter->ScaleChanged.Connect(follow);
    SetConfigPopupEnabled(m_configPopupEnabled);
    update();
}

void CQVxWaveformMonitorWnd::Redraw() {
    // FetchRenderData logs the failed thread check itself and then does nothing.
    if (m_presenter && !m_presenter->IsStoredData()) m_presenter->FetchRenderData();
    if (QThread::currentThread() != thread()) {
        // Widgets are touched on their own thread only: the repaint is queued there.
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_trackArea->update();
                update();
            },
            Qt::QueuedConnection);
        return;
    }
    m_trackArea->update();
    update();
}

// The window as it is shown, painted by the one picture path that also writes the files.
QImage CQVxWaveformMonitorWnd::GrabTrackAreaImage() {
    return CQVxWaveformPicture::RenderImage(*this);
}

bool CQVxWaveformMonitorWnd::BmpCopyToClipboard() {
    QClipboard* clipboard = QApplication::clipboard();
    if (!clipboard) return false;
    clipboard->setImage(GrabTrackAreaImage());
    return true;
}

void CQVxWaveformMonitorWnd::SetMarkPresenter(qvx::WaveformDisplayTriggerPresenter* marks) {
    m_trackArea->GetGraphArea()->SetMarkPresenter(marks);
}

void CQVxWaveformMonitorWnd::ShowSyncedCursor() {
    if (auto* area = m_trackArea->GetGraphArea()) area->ShowSyncedCursor(true);
    Redraw();
}

int CQVxWaveformMonitorWnd::GetTrackHeight() {
    return s_trackHeight;
}
void CQVxWaveformMonitorWnd::SetTrackHeight(int height) {
    s_trackHeight = height;
}

void CQVxWaveformMonitorWnd::SetBorderColor(const qvx::Color& color) {
    m_borderColor = color;
    update();
}

void CQVxWaveformMonitorWnd::SetConfigPopupEnabled(bool enabled) {
    m_configPopupEnabled = enabled;
    CQVxWaveformTrackArea* area = m_trackArea->GetGraphArea();
    for (std::size_t i = 0; i < area->TrackCount(); ++i) {
        CQVxWaveformTrack& t = area->Track(i);
        t.GetCaption()->GetButton()->setVisible(enabled && t.IsEnabled());
    }
}

qvx::WaveformUsage CQVxWaveformMonitorWnd::GetUsage() const {
    return m_presenter ? m_presenter->GetUsage() : qvx::WaveformUsage::kGeneric;
}

void CQVxWaveformMonitorWnd::resizeEvent(QResizeEvent*) {
    m_trackArea->setGeometry(rect().adjusted(kBorderWidth, kBorderWidth, -kBorderWidth, -kBorderWidth));
}

void CQVxWaveformMonitorWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(qvx::trackarea::ToQColor(m_borderColor));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.drawRect(rect().adjusted(1, 1, -2, -2));
}

std::unique_ptr<QMenu> CQVxWaveformMonitorWnd::MakeContextMenu() {
    if (!m_presenter) return nullptr;
    auto menu = std::make_unique<QMenu>(m_wndShowContext ? m_wndShowContext : this);
    menu->setObjectName(QStringLiteral("menu%1").arg(kContextMenuId));
    auto add = [this](QMenu* to, int id) {
        const QString prompt = QVxWinGUI::LoadStringW(id);
        QAction* a = to->addAction(prompt.section('\n', 1));
        a->setObjectName(QVxWinGUI::CommandName(id));
        a->setStatusTip(prompt.section('\n', 0, 0));
        connect(a, &QAction::triggered, this, [this, id] { Q_EMIT CommandTriggered(id); });
        return a;
    };
    const bool analog = m_presenter->GetUsage() == qvx::WaveformUsage::kAnalog;
    if (m_props.markersEnabled) {
        for (int marker = 0; marker < 2; ++marker) {
            QAction* a = add(menu.get(), kMarkerToCursorCommands[marker]);
            a->setShortcut(MarkerHereKey(marker));
            a->setShortcutVisibleInContextMenu(true);
        }
    }
    if (!analog) {
        if (m_props.markersEnabled) menu->addSeparator();
        QMenu* unit = menu->addMenu(QVxWinGUI::LoadStringW(kGuiStringTimeUnitMenu));
        for (int id = kTimeUnitNsCommand; id <= kTimeUnitSecondsCommand; ++id) add(unit, id);
        menu->addSeparator();
        QMenu* channels = menu->addMenu(QVxWinGUI::LoadStringW(kGuiStringChannelsMenu));
        for (int id = kFirstChannelCommand; id <= kLastChannelCommand; ++id) add(channels, id);
    }
    if (analog && m_props.markersEnabled) AddExportMarkedRange(menu.get());
    if (qvx::WaveformDisplayTriggerPresenter* marks = m_trackArea->GetGraphArea()->GetMarkPresenter()) {
        menu->addSeparator();
        QAction* addBookmark = add(menu.get(), kAddBookmarkCommand);
        addBookmark->setShortcut(AddBookmarkKey());
        addBookmark->setShortcutVisibleInContextMenu(true);
        addBookmark->setEnabled(m_presenter->IsStoredData());
        QAction* deleteBookmark = add(menu.get(), kDeleteBookmarkCommand);
        deleteBookmark->setShortcut(DeleteBookmarkKey());
        deleteBookmark->setShortcutVisibleInContextMenu(true);
        deleteBookmark->setEnabled(marks->GetSelectedMark() != 0);
    }
    if (!menu->isEmpty()) menu->addSeparator();
    add(menu.get(), kCopyCommand);
    return menu;
}

void CQVxWaveformMonitorWnd::AddExportMarkedRange(QMenu* menu) {
    QAction* a = menu->addAction(QVxWinGUI::LoadStringW(kGuiStringExportMarkerRange));
    a->setObjectName(QVxWinGUI::CommandName(kExportMarkedRangeCommand));
    const auto* visual = m_presenter->GetVisualSettings();
    a->setEnabled(visual && visual->markers[0].enabled && visual->markers[1].enabled);
    connect(a, &QAction::triggered, this, [this] { Q_EMIT CommandTriggered(kExportMarkedRangeCommand); });
}

void CQVxWaveformMonitorWnd::contextMenuEvent(QContextMenuEvent* event) {
    std::unique_ptr<QMenu> menu = MakeContextMenu();
    if (!menu) return;
    if (!m_wndShowContext) spdlog::error("m_wndShowContext [CQVxWaveformMonitorWnd::OnContextMenu]");
    menu->exec(event->globalPos());
}

void CQVxWaveformMonitorWnd::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_C) && (event->modifiers() & Qt::ControlModifier)) {
        BmpCopyToClipboard();
        event->accept();
        return;
    }
    // "Marker here": the marker moves to the cursor time, as its context menu command does.
    const QKeySequence pressed(event->keyCombination());
    for (int marker = 0; marker < 2 && m_props.markersEnabled && m_presenter; ++marker) {
        if (pressed == MarkerHereKey(marker)) {
            Q_EMIT CommandTriggered(kMarkerToCursorCommands[marker]);
            event->accept();
            return;
        }
    }
    if (auto* marks = m_trackArea->GetGraphArea()->GetMarkPresenter(); marks && m_presenter) {
        const bool add = pressed == AddBookmarkKey() && m_presenter->IsStoredData();
        const bool remove = pressed == DeleteBookmarkKey() && marks->GetSelectedMark() != 0;
        if (add || remove) {
            Q_EMIT CommandTriggered(add ? kAddBookmarkCommand : kDeleteBookmarkCommand);
            event->accept();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void CQVxWaveformMonitorWnd::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    QWidget::mousePressEvent(event);
}

bool CQVxWaveformMonitorWnd::eventFilter(QObject* watched, QEvent* event) {
    // A press anywhere in the window gives it the focus (for Ctrl+C).
    if (watched == m_trackArea && event->type() == QEvent::MouseButtonPress) setFocus(Qt::MouseFocusReason);
    return QWidget::eventFilter(watched, event);
}
