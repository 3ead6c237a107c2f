#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformCaption.h"

#include "QVxCore/Presenters/WaveformPresenter.h"
#include "QVxCore/Presenters/WaveformTrackPresenter.h"
#include "QVxCore/WaveformVisualSettings.h"
#include "QVxWinGUICommon/Common/CQVxIconButton.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/IQVxWaveformExtension.h"
#include "QVxWinGUICommon/WaveformMonitor/PaintSupport.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrack.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackArea.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackAreaWnd.h"

#include <spdlog/spdlog.h>

using namespace qvx::trackarea;

QVxWaveformCaption::QVxWaveformCaption(CQVxWaveformTrack* track) : m_track(track) {
    QWidget* parent = track->GetArea()->GetWnd();
    const int channel = track->GetTrackPresenter()->GetChannelIndex();
    m_button = new CQVxIconButton(parent);
    m_button->setObjectName(QVxWinGUI::ControlName(kSettingsButtonIdBase + channel));
    if (!m_button->SetImage(kSettingsButtonImageId)) {
        spdlog::error("Failed SettingButton.Create(). [QVxWaveformCaption::Setup]");
    }
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->hide();
    auto* wnd = track->GetArea()->GetWnd();
    QObject::connect(m_button, &QPushButton::clicked, wnd, [wnd, this] {
        Q_EMIT wnd->TrackSettingsRequested(static_cast<int>(m_track->GetIndex()), m_button->geometry());
    });
}

QVxWaveformCaption::~QVxWaveformCaption() {
    delete m_button;
}

void QVxWaveformCaption::Layout(const TrackLayout& layout, bool showButton) {
    m_button->setGeometry(ToQRect(layout.settingsButton));
    m_button->setVisible(showButton);
}

void QVxWaveformCaption::Paint(QPainter& p, const PixRect& r, std::int64_t time) {
    if (!m_track->IsEnabled() || r.IsEmpty()) return;
    qvx::WaveformTrackPresenter* tp = m_track->GetTrackPresenter();
    qvx::WaveformPresenter* presenter = tp->GetPresenter();
    const qvx::WaveformStyle& style = presenter->GetStyle();
    const qvx::WaveformTrackVisualSettings& s = *tp->GetVisualSettings();
    const int channel = tp->GetChannelIndex();

    const qvx::Color background =
        Tint(s.lineColor, style.GetColor(qvx::WaveformStyle::kSlotRulerBackground), 28, 227);
    if (background != m_lastBackground) {
        m_lastBackground = background;
        m_button->SetBackgroundColor(ToQColor(background));
    }
    p.fillRect(ToQRect(r), ToQColor(background));

    p.setFont(QVxWinGUI::GuiFont(10));
    p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotText)));
    p.drawText(QRect(r.left, r.top + 4, 36, 16), Qt::AlignCenter | Qt::TextSingleLine,
               QStringLiteral("CH%1").arg(channel + 1));
    p.drawText(QRect(r.left + 44, r.top + 4, std::max(0, r.Width() - 48), std::max(0, r.Height() - 8)),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, QString::fromStdString(tp->GetTrackName()));

    const int h = p.fontMetrics().height();
    PaintMarkerReadouts(p, r, h);

    if (presenter->GetOption(qvx::WaveformPresenter::kOptionVerticalDivisions) != 0) {
        const PixRect strip{r.right - kScaleStripWidth, r.top, r.right, r.bottom};
        p.fillRect(
            ToQRect(strip),
            ToQColor(Tint(s.lineColor, style.GetColor(qvx::WaveformStyle::kSlotAreaBackground), 28, 227)));
        if (tp->GetPlacementMode() == qvx::waveform::TrackPlacement::kUnsigned) {
            spdlog::error("UnSigned ruler not implemented. [QVxWaveformCaption::Paint]");
        }
        p.setFont(QVxWinGUI::GuiFont(8));
        for (const Division& d :
             VerticalDivisions(r.top, r.bottom, s.verticalResolutionOffset, s.verticalScaling)) {
            const bool major = d.number % 5 == 0;
            p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotSeparator)));
            HLine(p, r.right - (major ? 5 : 2), r.right, d.y);
            if (!major) continue;
            const double value = -(d.number / 5) / s.verticalScaling;
            p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotSecondaryText)));
            p.drawText(QRect(r.right - kScaleStripWidth, d.y - h / 2, kScaleStripWidth - 9, h),
                       Qt::AlignRight | Qt::AlignVCenter,
                       QString::fromStdString(presenter->OnMakeDisplayNormalizedValue(channel, value)));
        }
    }
    if (IQVxWaveformExtension* ext = m_track->GetArea()->GetExtension()) {
        ext->OnPaintCaption(this, p, time, ToQRect(r), QRect(r.left, r.top + 31, r.Width(), r.Height() - 50));
    }
    p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotRule)));
    VLine(p, r.left + 36, r.top, r.bottom - 1);
    HLine(p, r.left, r.right, r.bottom - 2);
    p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotSeparator)));
    HLine(p, r.left, r.right, r.bottom - 1);
}

QStringList QVxWaveformCaption::MarkerReadoutLines(const QString& m1, const QString& m2, const QString& diff,
                                                   bool shareLine) {
    QStringList lines;
    if (shareLine) {
        lines << (m1.isEmpty() ? m2 : m1 + QStringLiteral(", ") + m2);
    } else {
        lines << m1 << m2;
    }
    if (!diff.isEmpty()) lines << diff;
    return lines;
}

void QVxWaveformCaption::PaintMarkerReadouts(QPainter& p, const PixRect& r, int h) {
    m_readoutBottom = r.top + 4 + h;  // below the track name
    qvx::WaveformTrackPresenter* tp = m_track->GetTrackPresenter();
    qvx::WaveformPresenter* presenter = tp->GetPresenter();
    if (!presenter->IsStoredData()) return;
    const int channel = tp->GetChannelIndex();
    const qvx::WaveformVisualSettings* vs = presenter->GetVisualSettings();
    const auto& cache = presenter->GetMarkerValueCache();
    const bool inCache = channel >= 0 && channel < static_cast<int>(qvx::WaveformMarkerValueCache::kChannels);
    auto markerText = [&](int m) -> QString {
        if (!vs || !vs->markers[static_cast<std::size_t>(m)].enabled || !inCache) return {};
        const auto value = cache.values[static_cast<std::size_t>(m)][static_cast<std::size_t>(channel)];
        return QStringLiteral("M%1: %2").arg(m + 1).arg(
            QString::fromStdString(presenter->OnMakeDisplayValue(channel, value)));
    };
    QString diff;
    if (presenter->GetUsage() != qvx::WaveformUsage::kGeneric && vs && vs->markers[0].enabled &&
        vs->markers[1].enabled && inCache) {
        const auto value = cache.values[1][static_cast<std::size_t>(channel)] -
                           cache.values[0][static_cast<std::size_t>(channel)];
        diff = QStringLiteral("M2-M1: %1")
                   .arg(QString::fromStdString(presenter->OnMakeDisplayValue(channel, value)));
    }
    const QStringList lines = MarkerReadoutLines(markerText(0), markerText(1), diff, r.Height() < 5 * h);
    // Half a line under the name; in a column too low for that, straight under it. A line
    // that would leave the column is not drawn.
    const int count = static_cast<int>(lines.size());
    int top = r.top + 4 + h + h / 2;
    if (top + count * h > r.bottom) top = r.top + 4 + h;
    // The texts end before the vertical scale's strip.
    const bool scaleStrip = presenter->GetOption(qvx::WaveformPresenter::kOptionVerticalDivisions) != 0;
    const int width = std::max(0, r.Width() - 48 - (scaleStrip ? kScaleStripWidth : 0));
    for (const QString& text : lines) {
        if (top + h > r.bottom) break;
        DrawReadoutLine(p, QRect(r.left + 44, top, width, h), text);
        top += h;
        if (!text.isEmpty()) m_readoutBottom = top;
    }
}

// A read-out line too wide for the column (M1 and M2 sharing one) is drawn in the 8-point
// font, and cut with an ellipsis only when even that does not fit.
void QVxWaveformCaption::DrawReadoutLine(QPainter& p, const QRect& line, const QString& text) {
    const QFont font = p.font();
    if (p.fontMetrics().horizontalAdvance(text) > line.width()) p.setFont(QVxWinGUI::GuiFont(8));
    const QString shown = p.fontMetrics().elidedText(text, Qt::ElideRight, line.width());
    p.drawText(line, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    p.setFont(font);
}
