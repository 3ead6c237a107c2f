#include "QVxWinGUICommon/Device/CQVxAnalogDeviceSelector.h"

#include "QVxCore/Presenters/WaveformTrackPresenter.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinGUICommon/Common/PopupPlacement.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>

namespace {

// Dialog units of the popup (190 x 177) in pixels of the 9-point font.
constexpr int kPopupWidth = 190 * 3 / 2;
constexpr int kPopupHeight = 177 * 13 / 8;

bool AnyConnected(const std::vector<QVxDeviceSelectorEntry>& devices) {
    for (const auto& d : devices) {
        if (d.status == QVxDeviceConnectionStatus::kConnected) return true;
    }
    return false;
}

class FlexItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return QSize(option.rect.width(), CQVxFlexListBox::kItemHeight);
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QPalette& pal = option.palette;
        const bool selected = option.state & QStyle::State_Selected;
        const bool enabled = option.state & QStyle::State_Enabled;
        const QRect r = option.rect.adjusted(1, 1, -2, -2);
        p->save();
        // The selected unit keeps the active highlight and its highlighted-text colour also
        // while the list is disabled (a unit is connected): the disabled grey text was
        // unreadable on the highlight.
        p->fillRect(r,
                    selected ? pal.color(QPalette::Active, QPalette::Highlight) : pal.color(QPalette::Base));
        p->setPen(pal.color(QPalette::Mid));
        p->drawRect(r);
        static const QPixmap icon = QVxDeviceIcon();
        const int iconX = r.left() + 8;
        p->drawPixmap(iconX, r.center().y() - icon.height() / 2, icon);
        const QColor text = selected   ? pal.color(QPalette::Active, QPalette::HighlightedText)
                            : !enabled ? pal.color(QPalette::Disabled, QPalette::Text)
                                       : pal.color(QPalette::Text);
        p->setPen(text);
        const QRect textRect(iconX + icon.width() + 16, r.top(), r.right() - iconX - icon.width() - 16,
                             r.height());
        p->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, index.data().toString());
        if (option.state & QStyle::State_HasFocus) {
            QPen focus(text, 1, Qt::DotLine);
            p->setPen(focus);
            p->drawRect(r.adjusted(2, 2, -2, -2));
        }
        p->restore();
    }
};

}  // namespace

QPixmap QVxDeviceIcon() {
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x30, 0x30, 0x50), 1.5));
    p.setBrush(QColor(0x4A, 0x78, 0xC8));
    p.drawRoundedRect(QRectF(2.5, 6.5, 15, 12), 2, 2);
    p.setBrush(QColor(0xC0, 0xC0, 0xC8));
    p.drawRect(QRectF(17.5, 10.5, 5, 4));
    p.setPen(QPen(Qt::white, 1.5));
    p.drawLine(QPointF(5.5, 14.5), QPointF(8.5, 10.5));
    p.drawLine(QPointF(8.5, 10.5), QPointF(11.5, 14.5));
    p.drawLine(QPointF(11.5, 14.5), QPointF(14.5, 10.5));
    return pm;
}

CQVxFlexListBox::CQVxFlexListBox(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new FlexItemDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
}

// --- Popup

CQVxAnalogDeviceSelectorPopupDlg::CQVxAnalogDeviceSelectorPopupDlg(IQVxDeviceSelectorModel* model,
                                                                   QWidget* parent)
    : QDialog(parent, Qt::Popup | Qt::FramelessWindowHint), m_model(model) {
    setObjectName(QStringLiteral("deviceSelectorPopup"));
    setFont(QVxWinGUI::GuiFont(9));
    resize(kPopupWidth, kPopupHeight);
    m_list = new CQVxFlexListBox(this);
    m_list->setObjectName(QStringLiteral("deviceList"));
    m_connect = new QPushButton(QVxWinGUI::LoadStringW(kGuiStringConnect), this);
    m_connect->setObjectName(QStringLiteral("connect"));
    m_disconnect = new QPushButton(QVxWinGUI::LoadStringW(kGuiStringDisconnect), this);
    m_disconnect->setObjectName(QStringLiteral("disconnect"));
    const int m = 6;
    const int bh = 26;
    const int bw = (kPopupWidth - 3 * m) / 2;
    m_list->setGeometry(m, m, kPopupWidth - 2 * m, kPopupHeight - 3 * m - bh);
    m_connect->setGeometry(m, kPopupHeight - m - bh, bw, bh);
    m_disconnect->setGeometry(2 * m + bw, kPopupHeight - m - bh, bw, bh);

    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_updating && m_model && row >= 0) m_model->SelectDevice(row);
    });
    connect(m_connect, &QPushButton::clicked, this, &CQVxAnalogDeviceSelectorPopupDlg::OnConnect);
    connect(m_disconnect, &QPushButton::clicked, this, &CQVxAnalogDeviceSelectorPopupDlg::OnDisconnect);
    if (m_model) m_changed = m_model->ChangedSignal().Connect([this] { UpdateControls(); });
    UpdateControls();
}

CQVxAnalogDeviceSelectorPopupDlg::~CQVxAnalogDeviceSelectorPopupDlg() {
    if (m_changed) m_changed->Disconnect();
}

void CQVxAnalogDeviceSelectorPopupDlg::UpdateControls() {
    if (!m_model) return;
    m_updating = true;
    const auto devices = m_model->Devices();
    m_list->clear();
    for (const auto& d : devices) m_list->addItem(QString::fromStdString(qvx::WideToUtf8(d.id)));
    const int selected = m_model->SelectedIndex();
    if (selected >= 0 && selected < m_list->count()) m_list->setCurrentRow(selected);
    m_updating = false;
    // While a unit is connected only disconnecting is offered.
    const bool connected = AnyConnected(devices);
    m_list->setEnabled(!connected);
    m_connect->setEnabled(!connected && m_list->currentRow() >= 0);
    m_disconnect->setEnabled(connected);
}

void CQVxAnalogDeviceSelectorPopupDlg::OnConnect() {
    const int row = m_list->currentRow();
    if (!m_model || row < 0) return;
    m_model->SelectDevice(row);
    const int connecting = m_model->ConnectingIndex();
    const auto devices = m_model->Devices();
    if (connecting >= 0 && static_cast<std::size_t>(connecting) < devices.size() &&
        devices[static_cast<std::size_t>(connecting)].status != QVxDeviceConnectionStatus::kDisconnected) {
        m_model->Disconnect(connecting);
    }
    m_model->StartConnection(row);
    close();
}

void CQVxAnalogDeviceSelectorPopupDlg::OnDisconnect() {
    if (m_model && m_model->ConnectingIndex() >= 0) m_model->Disconnect(m_model->ConnectingIndex());
    close();
}

// --- Button

CQVxAnalogDeviceSelector::CQVxAnalogDeviceSelector(QWidget* parent) : QAbstractButton(parent) {
    setObjectName(QStringLiteral("deviceSelector"));
    setFont(QVxWinGUI::GuiFont(9));
    connect(this, &QAbstractButton::clicked, this, &CQVxAnalogDeviceSelector::ShowPopup);
}

CQVxAnalogDeviceSelector::~CQVxAnalogDeviceSelector() {
    if (m_changed) m_changed->Disconnect();
}

void CQVxAnalogDeviceSelector::Setup(IQVxDeviceSelectorModel* model) {
    if (m_changed) m_changed->Disconnect();
    m_changed.reset();
    delete m_popup;
    m_popup = nullptr;
    m_model = model;
    if (m_model) m_changed = m_model->ChangedSignal().Connect([this] { update(); });
    update();
}

QString CQVxAnalogDeviceSelector::DeviceIdText() const {
    if (!m_model) return {};
    const auto devices = m_model->Devices();
    const int i = m_model->SelectedIndex();
    if (i < 0 || static_cast<std::size_t>(i) >= devices.size()) return {};
    return QString::fromStdString(qvx::WideToUtf8(devices[static_cast<std::size_t>(i)].id));
}

QString CQVxAnalogDeviceSelector::StatusText() const {
    if (!m_model) return {};
    const auto devices = m_model->Devices();
    const int i = m_model->SelectedIndex();
    if (i < 0 || static_cast<std::size_t>(i) >= devices.size()) return {};
    switch (devices[static_cast<std::size_t>(i)].status) {
        case QVxDeviceConnectionStatus::kDisconnected:
            return QVxWinGUI::LoadStringW(kGuiStringNotConnected);
        case QVxDeviceConnectionStatus::kConnecting:
            return QVxWinGUI::LoadStringW(kGuiStringConnecting);
        case QVxDeviceConnectionStatus::kConnected:
            return QVxWinGUI::LoadStringW(kGuiStringReady);
    }
    return {};
}

QColor CQVxAnalogDeviceSelector::BackgroundColor() const {
    if (m_model && m_model->IsTracing()) return QColor(0xFF, 0xE4, 0xB5);              // tracing: amber
    if (m_model && AnyConnected(m_model->Devices())) return QColor(0xD4, 0xF0, 0xD4);  // connected: green
    return QColor(0xE8, 0xE8, 0xE8);
}

void CQVxAnalogDeviceSelector::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, BackgroundColor());
    p.setPen(QColor(0xA0, 0xA0, 0xA0));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    // Drop-down arrow on the right.
    const int ax = r.right() - 16;
    const int ay = r.center().y();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x40, 0x40, 0x40));
    const QPointF arrow[3] = {{ax - 5.0, ay - 2.5}, {ax + 5.0, ay - 2.5}, {double(ax), ay + 3.5}};
    p.drawPolygon(arrow, 3);
    const QString id = DeviceIdText();
    if (id.isEmpty()) return;
    static const QPixmap icon = QVxDeviceIcon();
    p.drawPixmap(8, ay - icon.height() / 2, icon);
    // The state backgrounds are light in every look: the text is dark on them,
    // never the dark look's light window text.
    p.setPen(TextColor());
    const QRect textRect(8 + icon.width() + 8, r.top(), ax - 12 - (8 + icon.width() + 8), r.height());
    DrawIdAndStatus(p, textRect, id, StatusText());
}

// The unit id and its state on one line when they fit, else on two lines when the button
// is high enough, else elided; the whole text is always the tooltip.
void CQVxAnalogDeviceSelector::DrawIdAndStatus(QPainter& p, const QRect& textRect, const QString& id,
                                               const QString& status) {
    const QString line = id + QStringLiteral("  ") + status;
    setToolTip(line);
    const QFontMetrics metrics = p.fontMetrics();
    if (metrics.horizontalAdvance(line) <= textRect.width()) {
        p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, line);
        return;
    }
    if (textRect.height() >= 2 * metrics.height()) {
        const QRect top(textRect.left(), textRect.center().y() - metrics.height(), textRect.width(),
                        metrics.height());
        p.drawText(top, Qt::AlignLeft | Qt::TextSingleLine,
                   metrics.elidedText(id, Qt::ElideRight, textRect.width()));
        p.drawText(top.translated(0, metrics.height()), Qt::AlignLeft | Qt::TextSingleLine,
                   metrics.elidedText(status, Qt::ElideRight, textRect.width()));
        return;
    }
    p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
               metrics.elidedText(line, Qt::ElideRight, textRect.width()));
}

void CQVxAnalogDeviceSelector::ShowPopup() {
    if (!m_model) return;
    if (!m_popup) m_popup = new CQVxAnalogDeviceSelectorPopupDlg(m_model, this);
    m_popup->UpdateControls();
    // Below the button, or above it at the bottom of the screen.
    QVxPopupPlacement::PlacePopup(m_popup, this, rect(), QVxPopupPlacement::Side::kBelow);
    m_popup->show();
}
