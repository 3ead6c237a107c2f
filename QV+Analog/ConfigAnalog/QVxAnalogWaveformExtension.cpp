#include "QV+Analog/ConfigAnalog/QVxAnalogWaveformExtension.h"

#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Presenters/WaveformPresenter.h"
#include "QVxCore/Presenters/WaveformStyle.h"
#include "QVxCore/Presenters/WaveformTrackPresenter.h"
#include "QVxCore/WaveformVisualSettings.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/PaintSupport.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformCaption.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrack.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackArea.h"

#include <QPolygon>

#include <cmath>

using namespace qvx::trackarea;

namespace {

// Right edge (exclusive) and bottom edge (exclusive) of a rectangle, as the
// painters of the waveform window count them.
int RightOf(const QRect& r) {
    return r.x() + r.width();
}
int BottomOf(const QRect& r) {
    return r.y() + r.height();
}

// The "T" of the trigger's flag and pointer, in the read-out text colour.
void DrawTriggerLetter(QPainter& p, const qvx::WaveformStyle& style, const QRect& box) {
    p.setBrush(Qt::NoBrush);
    p.setFont(QVxWinGUI::GuiFont(8));
    p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotText)));
    p.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, QStringLiteral("T"));
}

}  // namespace

QVxAnalogWaveformExtension::QVxAnalogWaveformExtension(QVxAnalogViewModel& viewModel)
    : m_viewModel(viewModel) {}

QVxAnalogWaveformExtension::~QVxAnalogWaveformExtension() = default;

bool QVxAnalogWaveformExtension::IsReportDataDamaged() const {
    return m_viewModel.TimeWentBackwards();
}

bool QVxAnalogWaveformExtension::IsDisplayTriggerActive() const {
    const qvx::AnalogSettings* settings = m_viewModel.GetSessionSettings();
    return settings && settings->displayTriggerMode != qvx::DisplayTriggerMode::kNone;
}

std::optional<int> QVxAnalogWaveformExtension::TriggerLevelRow(const CQVxWaveformTrack& track) const {
    const qvx::AnalogSettings* settings = m_viewModel.GetSessionSettings();
    const qvx::WaveformTrackPresenter* tp = track.GetTrackPresenter();
    if (!settings || !tp || settings->displayTriggerMode == qvx::DisplayTriggerMode::kNone)
        return std::nullopt;
    const int channel = settings->displayTriggerSourceChannel;
    // A source channel outside CH1..CH4 (a damaged settings file) has no track.
    if (channel < 0 || channel >= qvx::AnalogSettings::kChannelCount || tp->GetChannelIndex() != channel)
        return std::nullopt;
    const std::int64_t levelMilliVolts =
        settings->displayTriggerSettings[static_cast<std::size_t>(channel)].voltageLevel;
    // The level on the raw converter scale (8192 = 0 V), as the analyzer compares it,
    // then centred like the track's values.
    const double raw = std::trunc(settings->GetDataRangeMilliVolts(channel, levelMilliVolts));
    if (!std::isfinite(raw) || std::abs(raw) > 1e15) return std::nullopt;
    const std::int64_t value = static_cast<std::int64_t>(raw) + QVxAnalogOscilloGraphViewModel::kRangeLow;
    return tp->ValueToY(value);
}

void QVxAnalogWaveformExtension::OnPaintArea(CQVxWaveformTrackArea* area, QPainter& p, const QRect&,
                                             const QRect& waveform) {
    if (!area || !area->GetPresenter()) return;
    qvx::WaveformPresenter* presenter = area->GetPresenter();
    const qvx::WaveformStyle& style = presenter->GetStyle();
    p.save();

    if (IsReportDataDamaged()) {
        const QString text = QVxWinGUI::LoadStringW(kGuiStringDamagedData);
        p.setFont(QVxWinGUI::GuiFont(10));
        const QSize size = p.fontMetrics().size(Qt::TextSingleLine, text);
        const QRect box(2, 2, size.width() + 8, size.height() + 8);
        p.fillRect(box, QColor::fromRgb(kBannerColor));
        p.setPen(Qt::white);
        p.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, text);
    }

    if (IsDisplayTriggerActive() && waveform.width() > 0) {
        const double fraction = presenter->OnGetDisplayTriggerPosition();
        if (std::isfinite(fraction) && fraction >= 0.0 && fraction <= 1.0) {
            const int x = waveform.x() + static_cast<int>(waveform.width() * fraction);
            const int top = waveform.y();
            p.setPen(QColor::fromRgb(kTriggerLineColor));
            VLine(p, x, top, BottomOf(waveform));
            // The "T" flag above the line, its point touching the waveform top.
            const QPolygon flag({QPoint(x - 7, top - 20), QPoint(x + 7, top - 20), QPoint(x + 7, top - 6),
                                 QPoint(x, top - 1), QPoint(x - 7, top - 6)});
            p.setBrush(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotAreaBackground)));
            p.drawPolygon(flag);
            DrawTriggerLetter(p, style, QRect(x - 7, top - 20, 14, 19));
        }
    }
    p.restore();
}

void QVxAnalogWaveformExtension::OnPaintTrack(CQVxWaveformTrack* track, QPainter& p, const QRect& waveform) {
    if (!track || !track->GetTrackPresenter()) return;
    const std::optional<int> row = TriggerLevelRow(*track);
    if (!row || *row < 0 || *row > waveform.height()) return;
    const qvx::WaveformTrackVisualSettings* s = track->GetTrackPresenter()->GetVisualSettings();
    if (!s) return;
    p.save();
    p.setPen(ToQColor(s->lineColor));
    HLine(p, waveform.x(), RightOf(waveform), waveform.y() + *row);
    p.restore();
}

void QVxAnalogWaveformExtension::OnPaintCaption(QVxWaveformCaption* caption, QPainter& p, std::int64_t,
                                                const QRect& r, const QRect&) {
    if (!caption || !caption->GetTrack() || !caption->GetTrack()->GetTrackPresenter()) return;
    CQVxWaveformTrack& track = *caption->GetTrack();
    qvx::WaveformTrackPresenter* tp = track.GetTrackPresenter();
    qvx::WaveformPresenter* presenter = tp->GetPresenter();
    const qvx::WaveformTrackVisualSettings* s = tp->GetVisualSettings();
    if (!presenter || !s) return;
    const qvx::WaveformStyle& style = presenter->GetStyle();
    p.save();

    if (presenter->GetOption(qvx::WaveformPresenter::kOptionVerticalDivisions) != 0) {
        const std::optional<int> row = TriggerLevelRow(track);
        const int waveformHeight = track.GetLayout().waveform.Height();
        if (row && *row >= 0 && *row <= waveformHeight) {
            const int y = track.GetLayout().waveform.top + *row;
            const int right = RightOf(r);
            const QPolygon pointer({QPoint(right - 20, y - 7), QPoint(right - 5, y - 7), QPoint(right, y),
                                    QPoint(right - 5, y + 7), QPoint(right - 20, y + 7)});
            p.setPen(ToQColor(s->lineColor));
            p.setBrush(ToQColor(
                Tint(s->lineColor, style.GetColor(qvx::WaveformStyle::kSlotAreaBackground), 28, 227)));
            p.drawPolygon(pointer);
            DrawTriggerLetter(p, style, QRect(right - 20, y - 7, 15, 14));
        }
    }

    // The track's vertical zoom as a whole percentage (truncated).
    const double percent = std::trunc(s->verticalScaling * 100.0);
    const int shown = std::isfinite(percent) && std::abs(percent) < 1e9 ? static_cast<int>(percent) : 0;
    const QString text =
        QVxWinGUI::LoadStringW(kGuiStringVerticalScaling) + QStringLiteral(": %1%").arg(shown);
    p.setFont(QVxWinGUI::GuiFont(10));
    p.setPen(ToQColor(style.GetColor(qvx::WaveformStyle::kSlotText)));
    const int left = r.x() + 44;
    // In a track too low for both, the marker read-outs keep their lines and the scaling
    // (which the scale labels also tell) is left out rather than drawn over them.
    const int textTop = BottomOf(r) - 8 - p.fontMetrics().height();
    if (textTop >= caption->GetReadoutBottom()) {
        p.drawText(QRect(left, r.y(), std::max(0, RightOf(r) - left), std::max(0, r.height() - 8)),
                   Qt::AlignLeft | Qt::AlignBottom | Qt::TextSingleLine, text);
    }
    p.restore();
}
