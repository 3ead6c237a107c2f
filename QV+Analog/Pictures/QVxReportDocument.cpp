#include "QV+Analog/Pictures/QVxReportDocument.h"

#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QFontMetrics>
#include <QPdfWriter>

#include <algorithm>
#include <numeric>

namespace {

constexpr int kFooterHeight = 90;  // device units: about 7.6 mm
constexpr int kCellPadding = 12;

// Latin letters and digits from a Latin family, the rest from the interface's Japanese
// font: the CJK font's digits come out of the PDF without their characters, so a
// viewer's search and copy (and pdftotext) would miss every number.
QFont ReportFont(int points, bool bold = false) {
    QFont font = QVxWinGUI::GuiFont(points);
    font.setFamilies(QStringList{QStringLiteral("DejaVu Sans")} + font.families() +
                     QStringList{font.family()});
    font.setBold(bold);
    // No ligatures: "first" stays five letters for a search in the PDF.
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

}  // namespace

QVxReportDocument::QVxReportDocument(QPdfWriter& writer, QString footer)
    : m_writer(writer),
      m_footer(std::move(footer)),
      m_titleFont(ReportFont(16, true)),
      m_headingFont(ReportFont(12, true)),
      m_textFont(ReportFont(9)),
      m_smallFont(ReportFont(7)) {
    m_writer.setResolution(kResolution);
    if (!m_painter.begin(&m_writer)) return;
    const QRect page = m_writer.pageLayout().paintRectPixels(kResolution);
    m_body = QRect(0, 0, page.width(), page.height() - kFooterHeight);
    m_y = m_body.top();
}

QVxReportDocument::~QVxReportDocument() {
    if (m_painter.isActive()) m_painter.end();
}

int QVxReportDocument::LineHeight(const QFont& font) {
    m_painter.setFont(font);
    return m_painter.fontMetrics().lineSpacing();
}

void QVxReportDocument::Room(int height) {
    if (m_y + height <= m_body.bottom() || m_y == m_body.top()) return;
    NewPage();
}

void QVxReportDocument::NewPage() {
    Footer();
    m_writer.newPage();
    ++m_page;
    m_y = m_body.top();
}

void QVxReportDocument::Footer() {
    m_painter.save();
    m_painter.setFont(m_smallFont);
    m_painter.setPen(Qt::darkGray);
    const QRect area(m_body.left(), m_body.bottom() + kFooterHeight / 3, m_body.width(),
                     kFooterHeight * 2 / 3);
    m_painter.drawLine(area.topLeft(), area.topRight());
    m_painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, m_footer);
    m_painter.drawText(area, Qt::AlignRight | Qt::AlignVCenter, QString::number(m_page));
    m_painter.restore();
}

void QVxReportDocument::Text(const QFont& font, const QString& text, int gapAfter) {
    m_painter.setFont(font);
    const QRect bounds =
        m_painter.boundingRect(QRect(m_body.left(), 0, m_body.width(), 100000), Qt::TextWordWrap, text);
    Room(bounds.height());
    m_painter.setPen(Qt::black);
    m_painter.drawText(QRect(m_body.left(), m_y, m_body.width(), bounds.height()), Qt::TextWordWrap, text);
    m_y += bounds.height() + gapAfter;
}

void QVxReportDocument::Title(const QString& text) {
    Text(m_titleFont, text, LineHeight(m_textFont));
}

void QVxReportDocument::Heading(const QString& text) {
    Room(LineHeight(m_headingFont) * 3);  // never a heading alone at a page's foot
    m_y += LineHeight(m_textFont) / 2;
    Text(m_headingFont, text, LineHeight(m_textFont) / 3);
}

void QVxReportDocument::Paragraph(const QString& text) {
    Text(m_textFont, text, LineHeight(m_textFont) / 3);
}

void QVxReportDocument::KeyValues(const std::vector<std::pair<QString, QString>>& rows) {
    const int line = LineHeight(m_textFont);
    int keyWidth = 0;
    for (const auto& [key, value] : rows)
        keyWidth = std::max(keyWidth, m_painter.fontMetrics().horizontalAdvance(key));
    keyWidth += 2 * kCellPadding;
    for (const auto& [key, value] : rows) {
        Room(line);
        m_painter.setFont(m_textFont);
        m_painter.setPen(Qt::black);
        m_painter.drawText(QRect(m_body.left(), m_y, keyWidth, line), Qt::AlignLeft | Qt::AlignVCenter, key);
        m_painter.drawText(QRect(m_body.left() + keyWidth, m_y, m_body.width() - keyWidth, line),
                           Qt::AlignLeft | Qt::AlignVCenter, value);
        m_y += line;
    }
    m_y += line / 3;
}

void QVxReportDocument::Table(const QStringList& header, const std::vector<QStringList>& rows,
                              const std::vector<int>& weights, int leftColumns) {
    const int line = LineHeight(m_textFont) + kCellPadding;
    const int total = std::max(1, std::accumulate(weights.begin(), weights.end(), 0));
    std::vector<int> lefts{m_body.left()};
    for (int w : weights) lefts.push_back(lefts.back() + m_body.width() * w / total);
    auto drawRow = [&](const QStringList& cells, bool head) {
        QFont font = m_textFont;
        font.setBold(head);
        m_painter.setFont(font);
        if (head) m_painter.fillRect(QRect(m_body.left(), m_y, m_body.width(), line), QColor(230, 230, 230));
        m_painter.setPen(Qt::black);
        for (int c = 0; c < cells.size() && c + 1 < static_cast<int>(lefts.size()); ++c) {
            const QRect cell(lefts[static_cast<std::size_t>(c)] + kCellPadding, m_y,
                             lefts[static_cast<std::size_t>(c) + 1] - lefts[static_cast<std::size_t>(c)] -
                                 2 * kCellPadding,
                             line);
            m_painter.drawText(cell, (c < leftColumns ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter,
                               cells[c]);
        }
        m_painter.setPen(QColor(160, 160, 160));
        m_painter.drawLine(m_body.left(), m_y + line, m_body.right(), m_y + line);
        m_y += line;
    };
    Room(2 * line);
    drawRow(header, true);
    for (const QStringList& row : rows) {
        if (m_y + line > m_body.bottom()) {
            NewPage();
            drawRow(header, true);  // the header again on each page the table continues on
        }
        drawRow(row, false);
    }
    m_y += line / 2;
}

void QVxReportDocument::Picture(QSize size, const std::function<void(QPainter&)>& paint) {
    if (size.isEmpty()) return;
    const double scale = std::min(static_cast<double>(m_body.width()) / size.width(),
                                  static_cast<double>(m_body.height()) / size.height());
    const int height = static_cast<int>(size.height() * scale);
    Room(height);
    m_painter.save();
    m_painter.translate(m_body.left(), m_y);
    m_painter.scale(scale, scale);
    m_painter.setClipRect(QRect(QPoint(0, 0), size));
    paint(m_painter);
    m_painter.restore();
    m_y += height + LineHeight(m_textFont) / 2;
}

bool QVxReportDocument::Finish() {
    if (!m_painter.isActive()) return false;
    Footer();
    return m_painter.end();
}
