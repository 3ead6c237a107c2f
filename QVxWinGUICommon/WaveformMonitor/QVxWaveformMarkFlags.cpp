#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMarkFlags.h"

#include "QVxCore/Presenters/WaveformStyle.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/PaintSupport.h"

using namespace qvx::trackarea;

namespace {

constexpr int kFlagHalfWidth = 10;  // px
constexpr int kFlagHeight = 30;     // px, from the top of the ruler

bool FlagHolds(int x, QPoint pt) {
    return x != INT_MIN && pt.x() >= x - kFlagHalfWidth && pt.x() < x + kFlagHalfWidth && pt.y() >= 0 &&
           pt.y() < kFlagHeight;
}

}  // namespace

CQVxWaveformMarkFlags::~CQVxWaveformMarkFlags() {
    if (m_listConnection) m_listConnection->Disconnect();
}

void CQVxWaveformMarkFlags::Bind(qvx::WaveformDisplayTriggerPresenter* marks, std::function<void()> changed) {
    if (m_listConnection) m_listConnection->Disconnect();
    m_listConnection.reset();
    m_marks = marks;
    m_hover = 0;
    if (marks) m_listConnection = marks->MarkListChanged.Connect(std::move(changed));
}

int CQVxWaveformMarkFlags::MarkX(std::int64_t time, const View& view) {
    const std::int64_t x = TimeToX(time, view.viewportBegin, view.timeParPixel, view.waveform.left);
    return x < INT_MIN / 2 || x > INT_MAX / 2 ? INT_MIN : static_cast<int>(x);
}

int CQVxWaveformMarkFlags::HitTest(QPoint pt, const View& view) const {
    if (!m_marks) return 0;
    const auto& list = m_marks->GetMarkList();
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        if (it->visible && FlagHolds(MarkX(it->time, view), pt)) return it->id;
    }
    return 0;
}

bool CQVxWaveformMarkFlags::UpdateHover(QPoint pt, const View& view) {
    const int hover = HitTest(pt, view);
    const bool changed = hover != m_hover;
    m_hover = hover;
    return changed;
}

void CQVxWaveformMarkFlags::Paint(QPainter& p, const View& view, const qvx::WaveformStyle& style) const {
    if (!m_marks) return;
    const int selected = m_marks->GetSelectedMark();
    p.setFont(QVxWinGUI::GuiFont(8));
    for (const qvx::WaveformMark& mark : m_marks->GetMarkList()) {
        const int x = MarkX(mark.time, view);
        if (!mark.visible || x == INT_MIN) continue;
        p.setPen(QPen(ToQColor(mark.color), 1));
        VLine(p, x, view.waveform.top, view.waveform.bottom);
        const QPolygon flag({QPoint(x - kFlagHalfWidth, 0), QPoint(x + kFlagHalfWidth, 0),
                             QPoint(x + kFlagHalfWidth, kFlagHeight - 10), QPoint(x, kFlagHeight),
                             QPoint(x - kFlagHalfWidth, kFlagHeight - 10)});
        const bool isSelected = mark.id == selected;
        DrawPentagon(p, flag,
                     ToQColor(isSelected ? qvx::WaveformStyle::kSelectedMarkHighlight
                                         : style.GetColor(qvx::WaveformStyle::kSlotRule)),
                     isSelected ? 2 : 1,
                     ToQColor(style.GetColor(mark.id == m_hover ? qvx::WaveformStyle::kSlotAreaBackground
                                                                : qvx::WaveformStyle::kSlotRulerBackground)));
        // The mark's colour as a band under the label, so flags tell their marks apart.
        p.fillRect(QRect(x - kFlagHalfWidth + 3, 2, 2 * kFlagHalfWidth - 5, 3), ToQColor(mark.color));
        p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotText)));
        p.drawText(QRect(x - kFlagHalfWidth, 0, 2 * kFlagHalfWidth, 22), Qt::AlignCenter,
                   QStringLiteral("M"));
    }
}
