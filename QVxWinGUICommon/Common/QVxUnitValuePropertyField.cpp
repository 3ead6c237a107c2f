#include "QVxWinGUICommon/Common/QVxUnitValuePropertyField.h"

#include "QVxWinGUICommon/Common/UnitValueText.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>

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
    m_edit->setObjectName("id101");
    m_combo->setObjectName("id102");
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
    setObjectName(QStringLiteral("id%1").arg(id));
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
    m_edit->setText(QString::fromStdString(qvx::unitvalue::FormatValue(m_value, Divisor(), m_decimalPlaces)));
    m_updating = false;
    m_dirty = false;
}

void QVxUnitValuePropertyField::Submit() {
    if (m_updating || !m_dirty) return;
    const auto value = qvx::unitvalue::ParseValue(m_edit->text().toStdString(), Divisor(), m_decimalPlaces,
                                                  m_minimum, m_maximum);
    if (!value) {
        UpdateDisplay();
        return;
    }
    m_value = *value;
    UpdateDisplay();
    if (m_valueChanged) m_valueChanged(m_value);
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
