#pragma once
// Monitor windows on generated reports for the widget tests.

#include "QV+AnalogCore/Presenters/IQVxAnalogOscilloGraphOwner.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrack.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackArea.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformTrackAreaWnd.h"

#include <QApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <memory>

namespace qvx::test {

class ViewOwner : public IQVxAnalogOscilloGraphOwner {
public:
    AnalogSettings settings;
    AnalogSettings* GetSessionSettings() const override { return const_cast<AnalogSettings*>(&settings); }
    bool IsDarkLook() const override { return false; }
};

// A 1000 x 800 monitor window on a report of `records` records 100 ns apart whose
// CH1 is raw +4096 and CH2 raw -4096 throughout, at 100 ns per pixel.
class MonitorWindowTest : public ::testing::Test {
protected:
    TempDir dir{"gui-monitor"};
    ViewOwner owner;
    std::unique_ptr<QVxAnalogOscilloGraphViewModel> vm;
    std::unique_ptr<CQVxWaveformMonitorWnd> wnd;

    void Open(CQVxWaveformMonitorWndProps props = {}, std::uint64_t records = 5000) {
        ReportBuilder(dir.Path())
            .Times([](std::uint64_t i) { return i * 10; })
            .SampleValues([](std::uint64_t) {
                return Samples{8192 + 4096, 8192 - 4096, 8192, 8192};
            })
            .AddFile(0, records);
        owner.settings.visualSettings.timeScale = 100;
        vm = std::make_unique<QVxAnalogOscilloGraphViewModel>(&owner);
        vm->SetOption(2, 0);  // no horizontal divisions over the background
        wnd = std::make_unique<CQVxWaveformMonitorWnd>(props);
        wnd->resize(1000, 800);
        wnd->Setup(vm.get());
        vm->SetupForStoredData(ReportDataReader::Open(dir.Path()));
        wnd->show();
        QApplication::processEvents();
    }
    CQVxWaveformTrackAreaWnd* AreaWnd() const { return wnd->GetTrackAreaWnd(); }
    CQVxWaveformTrackArea& Area() const { return *AreaWnd()->GetGraphArea(); }
    const trackarea::PixRect& Wave() const { return Area().GetWaveformRect(); }
    QImage Grab() const { return AreaWnd()->grab().toImage(); }
    std::int64_t Begin() const { return vm->GetWritingRenderData().GetViewportBeginTimeOffset(); }
    std::int64_t Tpp() const { return vm->GetWritingRenderData().GetTimeParPixel(); }
    WaveformVisualSettings& Visual() { return owner.settings.visualSettings; }
};

inline QColor Rgb(const Color& c) {
    return QColor(c.r, c.g, c.b);
}

}  // namespace qvx::test
