#include "QVxWinGUICommon/Common/QVxUnitValuePropertyField.h"

#include "QVxWinGUICommon/Common/UnitValueText.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

// The drag thumb: reports the pointer's delta from the press.
class QVxUnitValueThumb : public QWidget {
public:
    explicit QVxUnitValueThumb(QVxUnitValuePropertyField* field) : QWidget(field), m_field(field) {
        setObjectName("thumb");
        setCursor(Qt::SplitVCursor);
        m_image = QVxUtils::LoadImageFromResource(QVxUnitValuePropertyField::kThumbImageId);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        p.setPen(QColor(192, 192, 192));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        if (m_image) {
            const QPoint at((width() - m_image->width()) / 2, (height() - m_image->height()) / 2);
            p.drawPixmap(at, *m_image);
        }
    }
    void mousePressEvent(QMouseEvent* e) override {
        m_dragging = true;
        m_down = e->position().toPoint();
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (m_dragging) Q_EMIT m_field->ThumbDragged(e->position().toPoint() - m_down);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (!m_dragging) return;
        m_dragging = false;
        Q_EMIT m_field->ThumbReleased(e->position().toPoint() - m_down);
    }

private:
    QVxUnitValuePropertyField* m_field;
    std::shared_ptr<QPixmap> m_image;
    bool m_dragging = false;
    QPoint m_down;
};

QVxUnitValuePropertyField::QVxUnitValuePropertyField(QWidget* parent)
    : QWidget(parent),
      m_edit(new QLineEdit(this)),
      m_combo(new QComboBox(this)),
      m_thumb(new QVxUnitValueThumb(this)) {
    m_edit->setObjectName(QVxWinGUI::ControlName(kEditId));
    m_combo->setObjectName(QVxWinGUI::ControlName(kUnitListId));
    m_combo->hide();
    m_thumb->hide();
    connect(m_edit, &QLineEdit::textEdited, this, [this] {
        if (!m_updating) m_dirty = true;
    });
    connect(m_edit, &QLineEdit::editingFinished, this, &QVxUnitValuePropertyField::Submit);
    connect(m_combo, &QComboBox::currentIndexChanged, this, &QVxUnitValuePropertyField::OnUnitIndexChanged);
    resize(100, 25);
    UpdateDisplay();
}

QVxUnitValuePropertyField::~QVxUnitValuePropertyField() = default;

bool QVxUnitValuePropertyField::Create(QWidget* parent, QRect rect, int id) {
    setParent(parent);
    setObjectName(QVxWinGUI::ControlName(id));
    setGeometry(rect.isEmpty() ? QRect(rect.topLeft(), QSize(100, 25)) : rect);
    show();
    return true;
}

void QVxUnitValuePropertyField::AddUnit(int id, const QString& label, std::int64_t divisor) {
    m_units.push_back({id, label, std::max<std::int64_t>(divisor, 1)});
    m_updating = true;
    m_combo->addItem(label, id);
    m_updating = false;
    if (m_unitIndex < 0) {
        m_unitIndex = 0;
        m_combo->setCurrentIndex(0);
    }
    m_combo->show();
    LayoutChildren();
    UpdateDisplay();
}

void QVxUnitValuePropertyField::SetUnit(int id) {
    for (std::size_t i = 0; i < m_units.size(); ++i) {
        if (m_units[i].id == id) {
            m_unitIndex = static_cast<int>(i);
            m_updating = true;
            m_combo->setCurrentIndex(m_unitIndex);
            m_updating = false;
            UpdateDisplay();
            return;
        }
    }
}

int QVxUnitValuePropertyField::GetUnitId() const {
    return m_unitIndex >= 0 ? m_units[static_cast<std::size_t>(m_unitIndex)].id : -1;
}

void QVxUnitValuePropertyField::SetValue(std::int64_t value) {
    value = std::clamp(value, m_minimum, std::max(m_minimum, m_maximum));
    if (value == m_value) return;
    m_value = value;
    UpdateDisplay();
}

void QVxUnitValuePropertyField::SetMinMax(std::int64_t minimum, std::int64_t maximum) {
    m_minimum = minimum;
    m_maximum = std::max(minimum, maximum);
    SetValue(m_value);
}

void QVxUnitValuePropertyField::SetDecimalPart(int places) {
    m_decimalPlaces = std::clamp(places, 0, 18);
    UpdateDisplay();
}

void QVxUnitValuePropertyField::SetExactDecimals(bool exact) {
    m_exact = exact;
    UpdateDisplay();
}

void QVxUnitValuePropertyField::SetShowThumb(bool show) {
    m_showThumb = show;
    m_thumb->setVisible(show);
    LayoutChildren();
}

QString QVxUnitValuePropertyField::DisplayText() const {
    return m_edit->text();
}

std::int64_t QVxUnitValuePropertyField::Divisor() const {
    return m_unitIndex >= 0 ? m_units[static_cast<std::size_t>(m_unitIndex)].divisor : 1;
}

void QVxUnitValuePropertyField::UpdateDisplay() {
    m_updating = true;
    m_edit->setText(
        QString::fromStdString(m_exact ? qvx::unitvalue::FormatExactValue(m_value, Divisor())
                                       : qvx::unitvalue::FormatValue(m_value, Divisor(), m_decimalPlaces)));
    m_updating = false;
    m_dirty = false;
}

std::optional<std::int64_t> QVxUnitValuePropertyField::ParseText() const {
    const std::string text = m_edit->text().toStdString();
    if (m_exact) return qvx::unitvalue::ParseExactValue(text, Divisor());
    return qvx::unitvalue::ParseValue(text, Divisor(), m_decimalPlaces,
                                      std::numeric_limits<std::int64_t>::min(),
                                      std::numeric_limits<std::int64_t>::max());
}

void QVxUnitValuePropertyField::Submit() {
    if (m_updating || !m_dirty) return;
    const QString typed = m_edit->text();
    const auto parsed = ParseText();
    if (!parsed) {
        UpdateDisplay();
        NoteInput(QVxWinGUI::LoadStringW(kGuiStringNotANumber).arg(typed));
        return;
    }
    const std::int64_t value = std::clamp(*parsed, m_minimum, std::max(m_minimum, m_maximum));
    m_value = value;
    UpdateDisplay();
    if (value != *parsed) {
        const QString unit =
            m_unitIndex >= 0 ? m_units[static_cast<std::size_t>(m_unitIndex)].label : QString();
        auto text = [this](std::int64_t v) {
            return QString::fromStdString(qvx::unitvalue::FormatExactValue(v, Divisor()));
        };
        NoteInput(QVxWinGUI::LoadStringW(kGuiStringClampedToRange)
                      .arg(text(m_minimum), text(m_maximum), unit, m_edit->text())
                      .replace(QStringLiteral("  "), QStringLiteral(" ")));
    } else {
        m_lastInputNote.clear();
    }
    if (m_valueChanged) m_valueChanged(m_value);
}

void QVxUnitValuePropertyField::NoteInput(const QString& note) {
    m_lastInputNote = note;
    if (isVisible()) QToolTip::showText(m_edit->mapToGlobal(QPoint(0, m_edit->height())), note, m_edit);
    Q_EMIT InputNoted(note);
}

void QVxUnitValuePropertyField::OnUnitIndexChanged(int index) {
    if (m_updating || index < 0 || index >= static_cast<int>(m_units.size())) return;
    m_unitIndex = index;
    if (m_unitChanged) m_unitChanged(m_units[static_cast<std::size_t>(index)].id);
    UpdateDisplay();
}

void QVxUnitValuePropertyField::resizeEvent(QResizeEvent*) {
    LayoutChildren();
}

void QVxUnitValuePropertyField::LayoutChildren() {
    const int comboHeight = std::min(height(), m_combo->sizeHint().height());
    const int t = m_showThumb ? comboHeight : 0;
    const int comboWidth = m_units.empty() ? 0 : kComboWidth;
    m_combo->setGeometry(width() - t - kComboWidth, 0, kComboWidth, comboHeight);
    m_edit->setGeometry(0, 0, std::max(0, width() - comboWidth - t), comboHeight);
    m_thumb->setGeometry(width() - t, 0, t, t);
    m_innerControlHeight = comboHeight;
}
