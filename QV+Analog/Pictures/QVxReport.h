#pragma once
// A PDF report of a stored recording as a sequence of section writers, each adding its
// blocks to the pages in turn. The standard report holds the session (name, path, start
// time, length, records, size, sampling frequency, channels), the picture of the window,
// the measurement with the number of display-trigger hits, and the display-trigger list.
// Further sections (an analysis's figures) are added with Insert before the list. The
// page is A4, or Letter where the locale measures in US units; the texts are in the
// program's language. The file is written under a temporary name and renamed over the
// target only when complete. Runs on the GUI thread (the picture paints a window).

#include "QV+Analog/Pictures/QVxReportContent.h"

#include <QDateTime>
#include <QSize>
#include <QString>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QPainter;
class QVxReportDocument;

class IQVxReportSection {
public:
    virtual ~IQVxReportSection() = default;
    virtual void Write(QVxReportDocument& document, const QVxReportContent& content) const = 0;
};

class QVxReportSessionSection : public IQVxReportSection {
public:
    void Write(QVxReportDocument& document, const QVxReportContent& content) const override;
};

// The monitor window's picture: `size` layout pixels painted by `paint`.
class QVxReportPictureSection : public IQVxReportSection {
public:
    QVxReportPictureSection(QSize size, std::function<void(QPainter&)> paint)
        : m_size(size), m_paint(std::move(paint)) {}
    void Write(QVxReportDocument& document, const QVxReportContent& content) const override;

private:
    QSize m_size;
    std::function<void(QPainter&)> m_paint;
};

// The measurement table of the span (M1 to M2 or the visible window) and the hit count.
class QVxReportMeasurementSection : public IQVxReportSection {
public:
    void Write(QVxReportDocument& document, const QVxReportContent& content) const override;
};

// The display-trigger list on a page of its own: the first hits and their count.
class QVxReportHitListSection : public IQVxReportSection {
public:
    void Write(QVxReportDocument& document, const QVxReportContent& content) const override;
};

class QVxReport {
public:
    // The standard sections, with the window's picture of `pictureSize` drawn by `paint`.
    static QVxReport Standard(QSize pictureSize, std::function<void(QPainter&)> paint);

    void Add(std::unique_ptr<IQVxReportSection> section) { m_sections.push_back(std::move(section)); }
    // Adds `section` just before the display-trigger list (where analysis figures go).
    void InsertBeforeHitList(std::unique_ptr<IQVxReportSection> section);

    // Writes the PDF to `path` (replaced only when complete); the reason when not written.
    // `created` is the creation time printed in every page's footer.
    std::optional<QString> Write(const std::filesystem::path& path, const QVxReportContent& content,
                                 const QDateTime& created) const;
    // The number of pages of the last Write.
    int PageCount() const { return m_pages; }

private:
    std::vector<std::unique_ptr<IQVxReportSection>> m_sections;
    mutable int m_pages = 0;
};

// Texts of the report, also used by the command line's messages.
QString QVxReportTimeText(std::int64_t nsSince1970, bool utc);
