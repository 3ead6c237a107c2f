#include "QV+Analog/Environment/CQVxRecoveryDlg.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include "QV+Analog/QVxAppText.h"

#include <algorithm>

CQVxRecoveryDlg::CQVxRecoveryDlg(const std::vector<qvx::OrphanedRecording>& recordings, QWidget* parent)
    : QDialog(parent), m_recordings(recordings) {
    setWindowTitle(QVxAppString(kAppStringRecoveryTitle));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QVxAppString(kAppStringRecoveryText), this));
    m_table = new QTableWidget(this);
    m_table->setColumnCount(5);
    m_table->setHorizontalHeaderLabels(
        {QVxAppString(kAppStringStartTimeHeader), QVxAppString(kAppStringLengthHeader),
         QVxAppString(kAppStringRecordsHeader), QVxAppString(kAppStringSizeHeader),
         QVxAppString(kAppStringStateHeader)});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table);

    auto* buttons = new QDialogButtonBox(this);
    m_open = buttons->addButton(QVxAppString(kAppStringOpenButton), QDialogButtonBox::ActionRole);
    m_discard = buttons->addButton(QVxAppString(kAppStringDiscardButton), QDialogButtonBox::DestructiveRole);
    QPushButton* later =
        buttons->addButton(QVxAppString(kAppStringLaterButton), QDialogButtonBox::RejectRole);
    connect(m_open, &QPushButton::clicked, this, &CQVxRecoveryDlg::OnOpen);
    connect(m_discard, &QPushButton::clicked, this, &CQVxRecoveryDlg::OnDiscard);
    connect(later, &QPushButton::clicked, this, &QDialog::reject);
    // Enter keeps every recording: "later" is the default button, and neither open nor
    // discard becomes the default when it takes the focus.
    m_open->setAutoDefault(false);
    m_discard->setAutoDefault(false);
    later->setAutoDefault(true);
    later->setDefault(true);
    layout->addWidget(buttons);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &CQVxRecoveryDlg::UpdateButtons);

    FillTable();
    if (m_table->rowCount() > 0) m_table->selectRow(0);
    UpdateButtons();
    resize(720, 300);
}

namespace {

QString ProblemText(const qvx::OrphanedRecording& r) {
    using Problem = qvx::OrphanedRecording::Problem;
    switch (r.problemKind) {
        case Problem::kNone:
            return QVxAppString(kAppStringRecoveryOk);
        case Problem::kNoReportFolder:
            return QVxAppString(kAppStringRecoveryNoRepo);
        case Problem::kNoDataFiles:
            return QVxAppString(kAppStringRecoveryNoData);
        case Problem::kShortDataFiles:
            return QVxAppString(kAppStringRecoveryShortFile);
        case Problem::kUnreadable:
            return QVxAppString(kAppStringRecoveryCorrupt);
        case Problem::kTornTail:
            return QVxAppString(kAppStringRecoveryTornTail).arg(r.tornBytes);
        case Problem::kNoSettings:
            return QVxAppString(kAppStringRecoveryNoSettings);
        case Problem::kDamagedSettings:
            return QVxAppString(kAppStringRecoveryDamagedSettings);
    }
    return QString::fromStdString(r.problem);
}

}  // namespace

QStringList CQVxRecoveryDlg::RowTexts(const qvx::OrphanedRecording& r) {
    const QLocale locale = QLocale::system();
    const QString start = r.startTimeNs > 0 ? QDateTime::fromMSecsSinceEpoch(r.startTimeNs / 1'000'000)
                                                  .toLocalTime()
                                                  .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                            : QVxAppString(kAppStringUnknown);
    const QString length = QStringLiteral("%1 s").arg(static_cast<double>(r.lengthNs) / 1e9, 0, 'f', 3);
    const QString state = ProblemText(r);
    return {start, length, locale.toString(static_cast<qulonglong>(r.records)),
            locale.formattedDataSize(static_cast<qint64>(r.bytes)), state};
}

void CQVxRecoveryDlg::FillTable() {
    m_rows.clear();
    m_table->setRowCount(0);
    for (std::size_t i = 0; i < m_recordings.size(); ++i) {
        if (std::find(m_answer.discard.begin(), m_answer.discard.end(), i) != m_answer.discard.end())
            continue;
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        const QStringList texts = RowTexts(m_recordings[i]);
        for (int column = 0; column < texts.size(); ++column)
            m_table->setItem(row, column, new QTableWidgetItem(texts[column]));
        m_rows.push_back(i);
    }
    m_table->resizeColumnsToContents();
}

std::optional<std::size_t> CQVxRecoveryDlg::Selected() const {
    const int row = m_table->currentRow();
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size() || m_table->selectedItems().isEmpty())
        return std::nullopt;
    return m_rows[static_cast<std::size_t>(row)];
}

void CQVxRecoveryDlg::UpdateButtons() {
    const auto selected = Selected();
    m_open->setEnabled(selected && m_recordings[*selected].readable);
    m_discard->setEnabled(selected.has_value());
}

void CQVxRecoveryDlg::OnOpen() {
    m_answer.open = Selected();
    if (m_answer.open) accept();
}

// After a confirmation (No is its default) the row leaves the list; the folder is
// deleted when the dialog is done.
void CQVxRecoveryDlg::OnDiscard() {
    const auto selected = Selected();
    if (!selected) return;
    if (!QVxAppPrompts::Get().ConfirmDeletion(this, QVxAppString(kAppStringRecoveryDiscardQuestion))) return;
    m_answer.discard.push_back(*selected);
    FillTable();
    if (m_table->rowCount() == 0) {
        accept();
        return;
    }
    m_table->selectRow(0);
    UpdateButtons();
}
