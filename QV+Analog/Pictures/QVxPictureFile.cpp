#include "QV+Analog/Pictures/QVxPictureFile.h"

#include "QV+AnalogCore/Export/QVxExportTarget.h"

#include <QFile>

#include <unistd.h>
#include <cerrno>
#include <cstring>

std::optional<QVxPictureFormat> QVxPictureFormatOf(const std::filesystem::path& path) {
    const QString extension = QString::fromStdString(path.extension().string()).toLower();
    if (extension == QStringLiteral(".png")) return QVxPictureFormat::kPng;
    if (extension == QStringLiteral(".svg")) return QVxPictureFormat::kSvg;
    return std::nullopt;
}

std::optional<QString> QVxSavePicture(CQVxWaveformMonitorWnd& window, const std::filesystem::path& path,
                                      const CQVxWaveformPictureSize& size, const QString& title) {
    const auto format = QVxPictureFormatOf(path);
    if (!format) return QStringLiteral("the file name must end in .png or .svg");
    if (const QString refused = CQVxWaveformPicture::CheckSize(size); !refused.isEmpty()) return refused;
    QVxExportTarget target(path);
    const int fd = target.OpenForWriting();
    if (fd < 0)
        return QStringLiteral("cannot create %1: %2")
            .arg(QString::fromStdString(path.string()), QString::fromLocal8Bit(std::strerror(errno)));
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return QStringLiteral("cannot write %1").arg(QString::fromStdString(path.string()));
    }
    const bool painted = *format == QVxPictureFormat::kPng
                             ? CQVxWaveformPicture::WritePng(window, file, size)
                             : CQVxWaveformPicture::WriteSvg(window, file, title, size);
    const bool flushed = file.flush() && (target.IsDirect() || ::fsync(file.handle()) == 0);
    const bool written = painted && flushed && file.error() == QFileDevice::NoError;
    file.close();
    if (!written) return QStringLiteral("cannot write %1").arg(QString::fromStdString(path.string()));
    if (!target.IsDirect() && !target.Commit())
        return QStringLiteral("cannot replace %1").arg(QString::fromStdString(path.string()));
    return std::nullopt;
}
