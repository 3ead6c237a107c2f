#include "QV+Analog/DataList/CQVxCsvExportSettingsDlg.h"

#include "QV+Analog/QVxAppPrompts.h"
#include "QV+Analog/QVxAppText.h"
#include "QVxWinCommon/QVxClockTime.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinCommon/QVxUtils.h"
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

QLineEdit* MakeNumberEdit(QWidget* parent, const QString& name, std::int64_t value) {
    auto* edit = new QLineEdit(QString::number(value), parent);
    edit->setObjectName(name);
    // Row numbers: digits only (at most 19, within the signed 64-bit range).
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,19}")), edit));
    edit->setAlignment(Qt::AlignRight);
    edit->setMinimumWidth(140);
    return edit;
}

// The two numbers of a pair of edits; none when either is empty or unreadable.
std::optional<std::pair<qlonglong, qlonglong>> ReadEdits(const QLineEdit* from, const QLineEdit* to) {
    bool fromOk = false;
    bool toOk = false;
    const qlonglong first = from->text().toLongLong(&fromOk);
    const qlonglong second = to->text().toLongLong(&toOk);
    if (!fromOk || !toOk) return std::nullopt;
    return std::pair{first, second};
}

// "1,234,567 ns" for a span label, grouped as the data list's times.
QString GroupedNs(std::int64_t ns) {
    return QString::fromStdString(QVxUtils::MakeTimeToDisplayString(ns, 3)) + QStringLiteral(" ns");
}

// `ns` since the start as the time range's edits and the span labels show it: grouped
// ns, or with `clockOrigin` the time of day with all nine fraction digits.
QString TimeText(std::int64_t ns, const std::optional<std::int64_t>& clockOrigin) {
    if (clockOrigin) return QString::fromStdString(QVxClockTime::TimeOfDay(*clockOrigin + ns, 9));
    return GroupedNs(ns);
}

QString SpanText(const std::optional<std::pair<std::int64_t, std::int64_t>>& span,
                 const std::optional<std::int64_t>& clockOrigin) {
    if (!span) return QVxAppString(kAppStringNoSpan);
    return QStringLiteral("(%1 ~ %2)")
        .arg(TimeText(span->first, clockOrigin), TimeText(span->second, clockOrigin));
}

// The edit of one end of the time range: ns since the start, or a time of day.
QLineEdit* MakeTimeEdit(QWidget* parent, const QString& name, std::int64_t ns,
                        const std::optional<std::int64_t>& clockOrigin) {
    QLineEdit* edit = MakeNumberEdit(parent, name, ns);
    if (clockOrigin) {
        edit->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[0-9]{0,2}(:[0-9]{0,2}(:[0-9]{0,2}(\\.[0-9]{0,9})?)?)?")),
            edit));
        edit->setText(TimeText(ns, clockOrigin));
        edit->setMinimumWidth(
            edit->fontMetrics().horizontalAdvance(QString::fromUtf8(QVxClockTime::kTimeOfDaySample)) + 16);
    }
    return edit;
}

// A row of widgets indented under its radio button.
QHBoxLayout* IndentedRow(std::initializer_list<QWidget*> widgets) {
    auto* row = new QHBoxLayout;
    row->addSpacing(20);
    for (QWidget* w : widgets) row->addWidget(w);
    row->addStretch();
    return row;
}

}  // namespace

CQVxCsvExportSettingsDlg::CQVxCsvExportSettingsDlg(std::int64_t minimum, std::int64_t maximum,
                                                   QWidget* parent, const QVxExportTimeSpans& spans,
                                                   Range initial, std::optional<std::int64_t> clockOrigin)
    : QDialog(parent),
      m_minimum(minimum),
      m_maximum(maximum),
      m_from(minimum),
      m_to(maximum),
      m_spans(spans),
      m_clockOrigin(clockOrigin) {
    setObjectName(QStringLiteral("dlg%1").arg(kTemplateId));
    setWindowTitle(QStringLiteral("CSV Export"));
    setFont(QVxWinGUI::GuiFont(9));

    auto* formats = new QGroupBox(QVxAppString(kAppStringExportFormat), this);
    formats->setObjectName(QStringLiteral("groupFormat"));
    m_csv = new QRadioButton(QStringLiteral("CSV"), formats);
    m_csv->setObjectName(QStringLiteral("radioCsv"));
    m_hdf5 = new QRadioButton(QVxAppString(kAppStringHdf5Format), formats);
    m_hdf5->setObjectName(QStringLiteral("radioHdf5"));
    auto* formatLayout = new QHBoxLayout(formats);
    formatLayout->addWidget(m_csv);
    formatLayout->addWidget(m_hdf5);
    formatLayout->addStretch();

    auto* group = new QGroupBox(QVxWinGUI::LoadStringW(kGuiStringExportGroup), this);
    group->setObjectName(QVxWinGUI::ControlName(kGroupId));
    m_allRows = new QRadioButton(QVxWinGUI::LoadStringW(kGuiStringExportAll), group);
    m_allRows->setObjectName(QVxWinGUI::ControlName(kAllRowsId));
    m_range = new QRadioButton(QVxWinGUI::LoadStringW(kGuiStringExportRange), group);
    m_range->setObjectName(QVxWinGUI::ControlName(kRangeId));
    m_fromEdit = MakeNumberEdit(group, QVxWinGUI::ControlName(kFromId), minimum);
    m_toEdit = MakeNumberEdit(group, QVxWinGUI::ControlName(kToId), maximum);
    m_time = new QRadioButton(QVxAppString(kAppStringExportTimeRange), group);
    m_time->setObjectName(QStringLiteral("radioTime"));
    const auto defaultSpan = spans.visible.value_or(std::pair<std::int64_t, std::int64_t>{0, 0});
    m_fromNsEdit = MakeTimeEdit(group, QStringLiteral("editFromNs"), defaultSpan.first, clockOrigin);
    m_toNsEdit = MakeTimeEdit(group, QStringLiteral("editToNs"), defaultSpan.second, clockOrigin);
    m_markers = new QRadioButton(
        QVxAppString(kAppStringExportMarkerRange) + SpanText(spans.markers, clockOrigin), group);
    m_markers->setObjectName(QStringLiteral("radioMarkers"));
    m_visible = new QRadioButton(
        QVxAppString(kAppStringExportVisibleRange) + SpanText(spans.visible, clockOrigin), group);
    m_visible->setObjectName(QStringLiteral("radioVisible"));

    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_allRows);
    groupLayout->addWidget(m_range);
    groupLayout->addLayout(IndentedRow({new QLabel(QStringLiteral("#"), group), m_fromEdit,
                                        new QLabel(QStringLiteral("~"), group), m_toEdit}));
    groupLayout->addWidget(m_time);
    if (clockOrigin) {
        // Times of day: the hint says what to type.
        auto* hint = new QLabel(QVxAppString(kAppStringExportClockTimeHint), group);
        hint->setObjectName(QStringLiteral("labelTimeHint"));
        groupLayout->addLayout(
            IndentedRow({m_fromNsEdit, new QLabel(QStringLiteral("~"), group), m_toNsEdit}));
        groupLayout->addLayout(IndentedRow({hint}));
    } else {
        groupLayout->addLayout(IndentedRow({m_fromNsEdit, new QLabel(QStringLiteral("ns ~"), group),
                                            m_toNsEdit, new QLabel(QStringLiteral("ns"), group)}));
    }
    groupLayout->addWidget(m_markers);
    groupLayout->addWidget(m_visible);

    auto* ok = new QPushButton(QVxWinGUI::LoadStringW(kGuiStringExportButton), this);
    ok->setObjectName(QVxWinGUI::ControlName(kOkId));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QVxWinGUI::LoadStringW(kGuiStringCancel), this);
    cancel->setObjectName(QVxWinGUI::ControlName(kCancelId));
    connect(ok, &QPushButton::clicked, this, &CQVxCsvExportSettingsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CQVxCsvExportSettingsDlg::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(formats);
    layout->addWidget(group);
    layout->addLayout(buttons);

    // CSV and all rows at start unless another range is asked for and on offer; the
    // edits only with their radio.
    m_csv->setChecked(true);
    m_markers->setEnabled(spans.markers.has_value());
    m_visible->setEnabled(spans.visible.has_value());
    QRadioButton* start = GetRangeButton(initial);
    (start->isEnabled() ? start : m_allRows)->setChecked(true);
    for (QRadioButton* radio : {m_range, m_time})
        connect(radio, &QRadioButton::toggled, this, &CQVxCsvExportSettingsDlg::UpdateEnabled);
    connect(m_hdf5, &QRadioButton::toggled, this, [this](bool on) {
        setWindowTitle(on ? QStringLiteral("HDF5 Export") : QStringLiteral("CSV Export"));
    });
    UpdateEnabled();
}

void CQVxCsvExportSettingsDlg::UpdateEnabled() {
    m_fromEdit->setEnabled(m_range->isChecked());
    m_toEdit->setEnabled(m_range->isChecked());
    m_fromNsEdit->setEnabled(m_time->isChecked());
    m_toNsEdit->setEnabled(m_time->isChecked());
}

QRadioButton* CQVxCsvExportSettingsDlg::GetRangeButton(Range range) const {
    switch (range) {
        case Range::kRows:
            return m_range;
        case Range::kTime:
            return m_time;
        case Range::kMarkers:
            return m_markers;
        case Range::kVisible:
            return m_visible;
        case Range::kAllRows:
            break;
    }
    return m_allRows;
}

CQVxCsvExportSettingsDlg::Range CQVxCsvExportSettingsDlg::GetRange() const {
    for (Range range : {Range::kRows, Range::kTime, Range::kMarkers, Range::kVisible}) {
        if (GetRangeButton(range)->isChecked()) return range;
    }
    return Range::kAllRows;
}

bool CQVxCsvExportSettingsDlg::IsHdf5() const {
    return m_hdf5->isChecked();
}

bool CQVxCsvExportSettingsDlg::ReadTimeRange() {
    if (m_clockOrigin) {
        // Times of day: the start is the first such time after time 0, the end the first
        // one at or after the start (a range may pass midnight).
        const auto from =
            QVxClockTime::TimeSinceOrigin(*m_clockOrigin, m_fromNsEdit->text().toStdString(), 0);
        if (!from) return false;
        const auto to =
            QVxClockTime::TimeSinceOrigin(*m_clockOrigin, m_toNsEdit->text().toStdString(), *from);
        if (!to) return false;
        m_fromNs = *from;
        m_toNs = *to;
        return true;
    }
    const auto span = ReadEdits(m_fromNsEdit, m_toNsEdit);
    if (!span || span->first < 0 || span->second < span->first) return false;
    m_fromNs = span->first;
    m_toNs = span->second;
    return true;
}

bool CQVxCsvExportSettingsDlg::IsAllRows() const {
    return m_allRows->isChecked();
}

bool CQVxCsvExportSettingsDlg::ReadRange() {
    // An empty or unreadable edit is an invalid range as well.
    const auto rows = ReadEdits(m_fromEdit, m_toEdit);
    if (!rows) return false;
    const auto [from, to] = *rows;
    if (from < m_minimum || from > m_maximum || to < m_minimum || to > m_maximum || to < from) return false;
    m_from = from;
    m_to = to;
    return true;
}

void CQVxCsvExportSettingsDlg::accept() {
    const Range range = GetRange();
    const bool valid = range == Range::kAllRows || (range == Range::kRows && ReadRange()) ||
                       (range == Range::kTime && ReadTimeRange());
    if (!valid && (range == Range::kRows || range == Range::kTime)) {
        QVxAppPrompts::Get().ShowMessage(this, QVxWinGUI::LoadStringW(kGuiStringRangeInvalid));
        QLineEdit* edit = range == Range::kRows ? m_fromEdit : m_fromNsEdit;
        edit->setFocus();
        edit->selectAll();
        return;
    }
    if (range == Range::kMarkers || range == Range::kVisible) {
        const auto& span = range == Range::kMarkers ? m_spans.markers : m_spans.visible;
        m_fromNs = span->first;
        m_toNs = span->second;
    }
    const QString path = QVxAppPrompts::Get().GetSaveFileName(
        this, QVxAppPrompts::QtFilterFromTable(IsHdf5() ? kHdf5FileFilter : kFileFilter),
        IsHdf5() ? QStringLiteral("h5") : QStringLiteral("csv"));
    if (path.isEmpty()) return;  // cancelled: the dialog stays open
    m_outputPath = path;
    QDialog::accept();
}
