#pragma once
// "CSV Export": which rows of the data list to export (all, or the row numbers
// from...to, 1-based) and the file to write. OK checks the range, then asks for
// the file; an invalid range or a cancelled file dialog keeps the dialog open.
// GUI thread only.

#include <QDialog>
#include <QString>

#include <cstdint>

class QLineEdit;
class QRadioButton;

class CQVxCsvExportSettingsDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 329;
    static constexpr int kAllRowsId = 5079;
    static constexpr int kRangeId = 5080;
    static constexpr int kGroupId = 5081;
    static constexpr int kFromId = 5083;
    static constexpr int kToId = 5084;
    static constexpr int kOkId = 1;
    static constexpr int kCancelId = 2;
    static constexpr int kOkStringId = 25069;
    static constexpr int kAllRowsStringId = 25072;
    static constexpr int kRangeStringId = 25073;
    static constexpr int kGroupStringId = 25074;
    static constexpr int kRangeInvalidStringId = 25075;
    static constexpr const char* kFileFilter = "CSV file(*.csv)|*.csv||";

    // `minimum` and `maximum`: the first and last row numbers (1-based) on offer.
    CQVxCsvExportSettingsDlg(std::int64_t minimum, std::int64_t maximum, QWidget* parent);

    bool IsAllRows() const;
    // The range after a successful OK (row numbers, 1-based).
    std::int64_t GetFrom() const { return m_from; }
    std::int64_t GetTo() const { return m_to; }
    QString GetOutputPath() const { return m_outputPath; }

    // Range check (with the range radio), then the file dialog; closes with
    // Accepted once a file was chosen.
    void accept() override;

private:
    bool ReadRange();

    std::int64_t m_minimum;
    std::int64_t m_maximum;
    std::int64_t m_from;
    std::int64_t m_to;
    QString m_outputPath;
    QRadioButton* m_allRows;
    QRadioButton* m_range;
    QLineEdit* m_fromEdit;
    QLineEdit* m_toEdit;
};
