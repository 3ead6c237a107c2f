#pragma once
// Monitor windows on a made-up recording for the widget tests.

#include "test_waveform_presenter.h"

#include "QVxCore/WaveformVisualSettings.h"
#include "QVxCore/tests/waveform_test_support.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrack.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackArea.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackAreaWnd.h"

#include <QApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

namespace qvx::test {

// Visual settings of four named tracks in four line colours at `timeScale` ns per
// pixel; the markers take the palette's colours.
inline WaveformVisualSettings FourTracks(std::int64_t timeScale) {
    constexpr std::uint32_t kLineColors[] = {0xFFEF5350, 0xFF66BB6A, 0xFF42A5F5, 0xFFFFEE58};
    WaveformVisualSettings visual = FourTrackSettings(timeScale);
    for (std::size_t i = 0; i < visual.tracks.size(); ++i) {
        visual.tracks[i].name = L"Channel " + std::to_wstring(i + 1);
        visual.tracks[i].lineColor = Color::FromArgb32(kLineColors[i]);
    }
    for (auto& marker : visual.markers) marker.color = Color::FromRgba32(0x00000000);
    return visual;
}

// A 1000 x 800 monitor window on `records` records 100 ns apart whose CH1 is
// centred +4096 and CH2 -4096 throughout, at 100 ns per pixel.
class MonitorWindowTest : public ::testing::Test {
protected:
    WaveformVisualSettings visual = FourTracks(100);
    std::unique_ptr<TestWaveformPresenter> vm;
    std::unique_ptr<CQVxWaveformMonitorWnd> wnd;

    void Open(CQVxWaveformMonitorWndProps props = {}, std::int64_t records = 5000) {
        vm = std::make_unique<TestWaveformPresenter>(&visual);
        vm->SetOption(qvx::WaveformPresenter::kOptionVerticalDivisions,
                      0);  // no horizontal divisions over the background
        wnd = std::make_unique<CQVxWaveformMonitorWnd>(props);
        wnd->resize(1000, 800);
        wnd->Setup(vm.get());
        vm->SetupForRecords(records);
        wnd->show();
        QApplication::processEvents();
    }
    CQVxWaveformTrackAreaWnd* AreaWnd() const { return wnd->GetTrackAreaWnd(); }
    CQVxWaveformTrackArea& Area() const { return *AreaWnd()->GetGraphArea(); }
    const trackarea::PixRect& Wave() const { return Area().GetWaveformRect(); }
    QImage Grab() const { return AreaWnd()->grab().toImage(); }
    std::int64_t Begin() const { return vm->GetWritingRenderData().GetViewportBeginTimeOffset(); }
    std::int64_t Tpp() const { return vm->GetWritingRenderData().GetTimeParPixel(); }
    WaveformVisualSettings& Visual() { return visual; }
};

inline QColor Rgb(const Color& c) {
    return QColor(c.r, c.g, c.b);
}

}  // namespace qvx::test
