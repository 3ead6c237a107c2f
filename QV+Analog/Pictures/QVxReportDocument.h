#pragma once
// The pages of a PDF report: a text flow of headings, paragraphs, label-value lists,
// tables and pictures from the top of the body down, a new page when the next block does
// not fit, and the footer (program, version, creation time, page number) on every page.
// Lengths are in the writer's device units (300 per inch). One thread at a time.

#include <QFont>
#include <QPainter>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>
#include <vector>

class QPdfWriter;

class QVxReportDocument {
public:
    static constexpr int kResolution = 300;  // device units per inch

    // `footer` is the left part of every page's footer (program, version, creation time).
    QVxReportDocument(QPdfWriter& writer, QString footer);
    ~QVxReportDocument();
    QVxReportDocument(const QVxReportDocument&) = delete;
    QVxReportDocument& operator=(const QVxReportDocument&) = delete;

    // False when the writer's file could not be started.
    bool IsOpen() const { return m_painter.isActive(); }

    void Title(const QString& text);
    void Heading(const QString& text);
    void Paragraph(const QString& text);
    void KeyValues(const std::vector<std::pair<QString, QString>>& rows);
    // A table with a header row; columns share the body's width by `weights`; the first
    // `leftColumns` columns are left-aligned (texts), the others right-aligned (numbers).
    void Table(const QStringList& header, const std::vector<QStringList>& rows,
               const std::vector<int>& weights, int leftColumns = 1);
    // A picture `size` units large (layout pixels) painted by `paint`, scaled to the
    // body's width and kept whole on one page.
    void Picture(QSize size, const std::function<void(QPainter&)>& paint);
    void NewPage();

    // Finishes the last page; false when the file could not be completed.
    bool Finish();
    int PageCount() const { return m_page; }

private:
    int LineHeight(const QFont& font);
    void Room(int height);
    void Footer();
    void Text(const QFont& font, const QString& text, int gapAfter);

    QPdfWriter& m_writer;
    QPainter m_painter;
    QString m_footer;
    QRect m_body;
    int m_y = 0;
    int m_page = 1;
    QFont m_titleFont, m_headingFont, m_textFont, m_smallFont;
};
