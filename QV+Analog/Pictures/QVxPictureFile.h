#pragma once
// Picture files of the monitor window: PNG or SVG by the file's extension, written under
// a temporary name and renamed over the target only when complete (QVxExportTarget), so a
// failed save leaves an existing file as it was. GUI thread (it paints the window).

#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformPicture.h"

#include <QString>

#include <filesystem>
#include <optional>

class CQVxWaveformMonitorWnd;

enum class QVxPictureFormat { kPng, kSvg };

// The format of `path`'s extension (".png" or ".svg", any case); none for another one.
std::optional<QVxPictureFormat> QVxPictureFormatOf(const std::filesystem::path& path);

// Writes the picture of `window` to `path`; the reason when nothing was written.
std::optional<QString> QVxSavePicture(CQVxWaveformMonitorWnd& window, const std::filesystem::path& path,
                                      const CQVxWaveformPictureSize& size, const QString& title);
