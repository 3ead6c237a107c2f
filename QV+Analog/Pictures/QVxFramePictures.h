#pragma once
// The main frame's picture commands on the monitor window as the user sees it: "Save
// Image..." (PNG or SVG, at the window's size or a chosen size and scale) and "Report..."
// (a PDF of the stored recording: session, picture, measurement between M1 and M2 or over
// the visible window, display-trigger hits). The report reads the session's report and
// overview on the GUI thread, which owns them; the measurement reads the overview's block
// sums, so a long recording costs a few block reads. GUI thread only.

#include "QV+Analog/Pictures/QVxReport.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformPicture.h"

#include <QDialog>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class CQVxWaveformMonitorWnd;
class QDoubleSpinBox;
class QSpinBox;
class QVxAnalogViewModel;

// Asks the width, height (layout pixels) and scale of a picture; starts at the window's.
class CQVxImageSizeDlg : public QDialog {
    Q_OBJECT

public:
    CQVxImageSizeDlg(QWidget* parent, QSize windowSize);
    CQVxWaveformPictureSize GetSize() const;

private:
    QSpinBox* m_width;
    QSpinBox* m_height;
    QDoubleSpinBox* m_scale;
};

namespace QVxFramePictures {

// The session's name as the title shows it (the settings file's name, or "Untitled").
QString SessionName(const QVxAnalogViewModel& viewModel);

// Writes the picture to `path`; a failure is shown as a message. True when written.
bool SaveImage(QWidget* parent, CQVxWaveformMonitorWnd& window, const QVxAnalogViewModel& viewModel,
               const QString& path, const CQVxWaveformPictureSize& size);
// Writes the report of the open session's stored recording to `path`, with `analyses` (the
// analysis panes' figures) before the display-trigger list; a failure (also no stored
// recording) is shown as a message. True when written.
bool SaveReport(QWidget* parent, CQVxWaveformMonitorWnd& window, QVxAnalogViewModel& viewModel,
                const QString& path, std::vector<std::unique_ptr<IQVxReportSection>> analyses = {});

// The menu commands: the file dialog (and the size dialog), then the functions above.
void AskAndSaveImage(QWidget* parent, CQVxWaveformMonitorWnd& window, const QVxAnalogViewModel& viewModel);
void AskAndSaveReport(QWidget* parent, CQVxWaveformMonitorWnd& window, QVxAnalogViewModel& viewModel,
                      std::vector<std::unique_ptr<IQVxReportSection>> analyses = {});

}  // namespace QVxFramePictures
