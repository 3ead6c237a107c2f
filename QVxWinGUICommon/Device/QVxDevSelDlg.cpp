#include "QVxWinGUICommon/Device/QVxDevSelDlg.h"

#include "QVxCore/Presenters/WaveformTrackPresenter.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinCommon/QVxNotification.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>

namespace {

// The dialog's template in dialog units, converted with the 9-point font's base
// units (x 3/2 across, x 13/8 down).
constexpr int DuX(int v) {
    return v * 3 / 2;
}
constexpr int DuY(int v) {
    return v * 13 / 8;
}

constexpr int kMargin = DuX(7);
constexpr int kButtonWidth = DuX(50);
constexpr int kButtonHeight = DuY(14);
constexpr int kButtonGap = DuX(4);
constexpr int kListColumnWidth = 200;

}  // namespace

QRect QVxDevSelDlg::m_rectDefaultPosition;

QVxDevSelDlg::QVxDevSelDlg(QVxDeviceManager* manager, const QString& caption, QWidget* parent)
    : QDialog(parent), m_manager(manager) {
    setWindowTitle(caption);
    setWindowIcon(QApplication::windowIcon());
    setFont(QVxWinGUI::GuiFont(9));
    resize(DuX(309), DuY(176));
    setMinimumSize(DuX(170), DuY(80));

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QVxWinGUI::ControlName(kListId));
    m_list->setColumnCount(1);
    m_list->setHeaderLabels({QVxWinGUI::LoadStringW(kGuiStringSelectUnitIdHeader)});
    m_list->setColumnWidth(0, kListColumnWidth);
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setIconSize(QSize(16, 16));

    m_refresh = new QPushButton(QVxWinGUI::LoadStringW(kGuiStringSelectUnitRefresh), this);
    m_refresh->setObjectName(QVxWinGUI::ControlName(kRefreshId));
    m_ok = new QPushButton(QVxWinGUI::LoadStringW(kGuiStringSelectUnitConnect), this);
    m_ok->setObjectName(QVxWinGUI::ControlName(kOkId));
    m_ok->setDefault(true);
    m_close = new QPushButton(QVxWinGUI::LoadStringW(kGuiStringClose), this);
    m_close->setObjectName(QVxWinGUI::ControlName(kCloseId));

    connect(m_refresh, &QPushButton::clicked, this, &QVxDevSelDlg::FillList);
    connect(m_ok, &QPushButton::clicked, this, &QVxDevSelDlg::OnOk);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &QVxDevSelDlg::UpdateOkButton);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &QVxDevSelDlg::OnOk);

    LayoutControls();
    FillList();
}

void QVxDevSelDlg::FillList() {
    m_list->clear();
    m_ids.clear();
    if (m_manager) {
        if (!QVxDeviceManager::GetAvailableDevice(m_manager->GetCaptureMode(), &m_ids)) {
            // The same serial number was listed twice: nothing is offered.
            QVxNotification::ShowGuiMessage(kGuiStringConnectionInterrupted);
        }
        const QIcon icon = windowIcon();
        for (const QVxQVUsbDeviceId& id : m_ids) {
            auto* item = new QTreeWidgetItem(m_list);
            item->setText(0, QString::fromStdString(qvx::WideToUtf8(id.id)));
            item->setIcon(0, icon);
        }
    }
    UpdateOkButton();
}

void QVxDevSelDlg::OnOk() {
    const QList<QTreeWidgetItem*> items = m_list->selectedItems();
    if (items.isEmpty()) return;
    const int row = m_list->indexOfTopLevelItem(items.front());
    if (row < 0 || static_cast<std::size_t>(row) >= m_ids.size()) return;
    m_selected = m_ids[static_cast<std::size_t>(row)];
    accept();
}

void QVxDevSelDlg::UpdateOkButton() {
    m_ok->setEnabled(!m_list->selectedItems().isEmpty());
}

void QVxDevSelDlg::LayoutControls() {
    // The list fills the client area above the buttons; refresh stays at the
    // bottom left, OK and Close at the bottom right.
    const int w = width();
    const int h = height();
    const int buttonTop = h - kMargin - kButtonHeight;
    m_list->setGeometry(kMargin, kMargin, w - 2 * kMargin, buttonTop - kMargin - kButtonGap - kMargin / 2);
    m_refresh->setGeometry(kMargin, buttonTop, kButtonWidth, kButtonHeight);
    m_close->setGeometry(w - kMargin - kButtonWidth, buttonTop, kButtonWidth, kButtonHeight);
    m_ok->setGeometry(w - kMargin - 2 * kButtonWidth - kButtonGap, buttonTop, kButtonWidth, kButtonHeight);
}

void QVxDevSelDlg::RememberGeometry() {
    if (m_shown && isVisible()) m_rectDefaultPosition = geometry();
}

void QVxDevSelDlg::showEvent(QShowEvent* event) {
    if (!m_shown && m_rectDefaultPosition.isValid()) setGeometry(m_rectDefaultPosition);
    m_shown = true;
    QDialog::showEvent(event);
}

void QVxDevSelDlg::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    RememberGeometry();
}

void QVxDevSelDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayoutControls();
    RememberGeometry();
}
