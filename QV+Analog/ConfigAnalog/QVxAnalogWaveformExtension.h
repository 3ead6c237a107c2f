#pragma once
// The application's overlays in the waveform monitor window: the banner for
// damaged report data, the display trigger's position line and flag, its level
// line on the source track, the level pointer in the source track's scale strip
// and the V/DIV factor of every enabled track. Installed into the window with
// SetExtension; reads the view model at each paint. GUI thread only (paint).

#include "QVxWinGUICommon/WaveformMonitor/IQVxWaveformExtension.h"

#include <QColor>

#include <optional>

class QVxAnalogViewModel;

class QVxAnalogWaveformExtension : public IQVxWaveformExtension {
public:
    // Colour of the display trigger's position line.
    static constexpr QRgb kTriggerLineColor = 0xFFA00000;  // RGB(160, 0, 0)
    // Fill of the damaged-data banner (white text on it).
    static constexpr QRgb kBannerColor = 0xFFB02020;  // RGB(176, 32, 32)

    // `viewModel` is not owned and must outlive the extension.
    explicit QVxAnalogWaveformExtension(QVxAnalogViewModel& viewModel);
    ~QVxAnalogWaveformExtension() override;

    void OnPaintArea(CQVxWaveformTrackArea* area, QPainter& painter, const QRect& client,
                     const QRect& waveform) override;
    void OnPaintTrack(CQVxWaveformTrack* track, QPainter& painter, const QRect& waveform) override;
    void OnPaintCaption(QVxWaveformCaption* caption, QPainter& painter, std::int64_t time,
                        const QRect& captionRect, const QRect& scaleArea) override;

    // True when the live intake saw record times go backwards (damaged report data).
    virtual bool IsReportDataDamaged() const;
    // The damaged-data banner.
    bool HasTopLeftBanner() const override { return IsReportDataDamaged(); }
    // True while the session's display trigger mode is single or repeat.
    bool IsDisplayTriggerActive() const;
    // Row, relative to the track's waveform top, of the display trigger level on
    // `track` when it is the source channel's track and a trigger is active.
    std::optional<int> TriggerLevelRow(const CQVxWaveformTrack& track) const;

private:
    QVxAnalogViewModel& m_viewModel;
};
