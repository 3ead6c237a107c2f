#include "QV+Analog/DataList/CQVxCsvExportSettingsDlg.h"

#include "QV+Analog/QVxAppPrompts.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace {

QLineEdit* MakeNumberEdit(QWidget* parent, int id, std::int64_t value) {
    auto* edit = new QLineEdit(QString::number(value), parent);
    edit->setObjectName(QVxWinGUI::ControlName(id));
    // Row numbers: digits only (at most 19, within the signed 64-bit range).
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,19}")), edit));
    edit->setAlignment(Qt::AlignRight);
    edit->setMinimumWidth(140);
    return edit;
}

}  // namespace

CQVxCsvExportSettingsDlg::CQVxCsvExportSettingsDlg(std::int64_t minimum, std::int64_t maximum,
                                                   QWidget* parent)
    : QDialog(parent), m_minimum(minimum), m_maximum(maximum), m_from(minimum), m_to(maximum) {
    setObjectName(QStringLiteral("dlg%1").arg(kTemplateId));
    setWindowTitle(QStringLiteral("CSV Export"));
    setFont(QVxWinGUI::GuiFont(9));

    auto* group = new QGroupBox(QVxWinGUI::LoadStringW(kGroupStringId), this);
    group->setObjectName(QVxWinGUI::ControlName(kGroupId));
    m_allRows = new QRadioButton(QVxWinGUI::LoadStringW(kAllRowsStringId), group);
    m_allRows->setObjectName(QVxWinGUI::ControlName(kAllRowsId));
    m_range = new QRadioButton(QVxWinGUI::LoadStringW(kRangeStringId), group);
    m_range->setObjectName(QVxWinGUI::ControlName(kRangeId));
    m_fromEdit = MakeNumberEdit(group, kFromId, minimum);
    m_toEdit = MakeNumberEdit(group, kToId, maximum);

    auto* rangeRow = new QHBoxLayout;
    rangeRow->addSpacing(20);
    rangeRow->addWidget(new QLabel(QStringLiteral("#"), group));
    rangeRow->addWidget(m_fromEdit);
    rangeRow->addWidget(new QLabel(QStringLiteral("~"), group));
    rangeRow->addWidget(m_toEdit);
    rangeRow->addStretch();
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_allRows);
    groupLayout->addWidget(m_range);
    groupLayout->addLayout(rangeRow);

    auto* ok = new QPushButton(QVxWinGUI::LoadStringW(kOkStringId), this);
    ok->setObjectName(QVxWinGUI::ControlName(kOkId));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    cancel->setObjectName(QVxWinGUI::ControlName(kCancelId));
    connect(ok, &QPushButton::clicked, this, &CQVxCsvExportSettingsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CQVxCsvExportSettingsDlg::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);

    // All rows at start; the range edits only with the range radio.
    m_allRows->setChecked(true);
    m_fromEdit->setEnabled(false);
    m_toEdit->setEnabled(false);
    connect(m_range, &QRadioButton::toggled, this, [this](bool on) {
        m_fromEdit->setEnabled(on);
        m_toEdit->setEnabled(on);
    });
}

bool CQVxCsvExportSettingsDlg::IsAllRows() const {
    return m_allRows->isChecked();
}

bool CQVxCsvExportSettingsDlg::ReadRange() {
    bool fromOk = false;
    bool toOk = false;
    const qlonglong from = m_fromEdit->text().toLongLong(&fromOk);
    const qlonglong to = m_toEdit->text().toLongLong(&toOk);
    // An empty or unreadable edit is an invalid range as well.
    if (!fromOk || !toOk || from < m_minimum || from > m_maximum || to < m_minimum || to > m_maximum ||
        to < from)
        return false;
    m_from = from;
    m_to = to;
    return true;
}

void CQVxCsvExportSettingsDlg::accept() {
    if (!IsAllRows() && !ReadRange()) {
        QVxAppPrompts::Get().ShowMessage(this, QVxWinGUI::LoadStringW(kRangeInvalidStringId));
        m_fromEdit->setFocus();
        m_fromEdit->selectAll();
        return;
    }
    const QString path = QVxAppPrompts::Get().GetSaveFileName(
        this, QVxAppPrompts::QtFilterFromTable(kFileFilter), QStringLiteral("csv"));
    if (path.isEmpty()) return;  // cancelled: the dialog stays open
    m_outputPath = path;
    QDialog::accept();
}
