#pragma once
// The frame's central view: the waveform monitor window (markers enabled, id 1234)
// bound to the view model's current oscillograph, the application's paint
// extension, the border colour by trace state, the waveform context commands and
// the view synchronisation the view model asks for; it scrolls vertically when it is
// lower than the monitor's tracks and footer need. GUI thread only.

#include "QVxCore/Presenters/Signal.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class CQVxWaveformMonitorWnd;
class IQVxWaveformExtension;
class QScrollArea;
class QVxAnalogViewModel;
struct QVxViewSyncParams;

class CQVxAnalogScopeView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMonitorId = 1234;

    CQVxAnalogScopeView(QVxAnalogViewModel& viewModel, QWidget* parent = nullptr);
    ~CQVxAnalogScopeView() override;

    // Binds the monitor window to the view model's current oscillograph (null
    // unbinds); called on every session change.
    void Bind();
    void UpdateBorderColor();
    CQVxWaveformMonitorWnd* GetMonitorWnd() const { return m_monitor; }
    // The vertical scrolling of the monitor window when the view is lower than it needs.
    QScrollArea* GetMonitorScroll() const { return m_scroll; }
    IQVxWaveformExtension* GetExtension() const { return m_extension.get(); }

    // Commands of the waveform context menu (CQVxWaveformMonitorWnd's kCopyCommand,
    // the time unit, the marker-to-cursor, the bookmark and the marked-range export
    // commands); others are ignored.
    void OnCommand(int id);
    // Moves the cursor to `time` ns (from the recording start) and centres the
    // viewport on it; with trigger alignment and an active display trigger the
    // viewport is placed so that `time` falls at the trigger position instead.
    void ShowTime(std::int64_t time, bool alignToTrigger);

    // The absolute time of a relative one: session start (s, ns) + `time` ns;
    // none while no report is loaded.
    std::optional<std::int64_t> ToAbsoluteTime(std::int64_t time) const;
    // Asks the family's other instances to follow to `time` ns (as a double click does).
    void SendTimeToPeers(std::int64_t time);

Q_SIGNALS:
    // Double click in the waveform: the absolute time (ns since the epoch) to send
    // to the other instances of the family.
    void SyncTimeRequested(qint64 absNs);
    // "M1-M2 をエクスポート...": the export of the span between the markers.
    void ExportMarkedRangeRequested();

private:
    void OnSyncView(const QVxViewSyncParams& params);

    QVxAnalogViewModel& m_viewModel;
    CQVxWaveformMonitorWnd* m_monitor;
    QScrollArea* m_scroll;
    std::unique_ptr<IQVxWaveformExtension> m_extension;
    std::vector<std::shared_ptr<qvx::SignalConnection>> m_connections;
};
