#pragma once
// "CSV Export": the format (CSV or HDF5), which rows of the data list to export
// (all, the row numbers from...to (1-based), a time range in ns, the span between
// the markers M1 and M2, or the span the waveform shows) and the file to write. While
// the view shows clock time the time range and the spans are times of day, typed as
// such. OK checks the range, then asks for the file; an invalid range or a cancelled
// file dialog keeps the dialog open. GUI thread only.

#include <QDialog>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>

class QLabel;
class QLineEdit;
class QRadioButton;

// Time spans (ns from the trace start, both ends included) the dialog offers besides
// rows; a missing one is shown disabled.
struct QVxExportTimeSpans {
    std::optional<std::pair<std::int64_t, std::int64_t>> markers;  // M1 to M2, in time order
    std::optional<std::pair<std::int64_t, std::int64_t>> visible;  // the waveform's window
};

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
    static constexpr const char* kFileFilter = "CSV file(*.csv)|*.csv||";
    static constexpr const char* kHdf5FileFilter = "HDF5 file(*.h5)|*.h5||";

    // What the range choice selects.
    enum class Range { kAllRows, kRows, kTime, kMarkers, kVisible };

    // `minimum` and `maximum`: the first and last row numbers (1-based) on offer;
    // `spans`: the marker and window spans on offer; `initial`: the range chosen at
    // start (a span that is not on offer falls back to all rows); `clockOrigin`: the
    // clock time (ns since 1970) of time 0 while the view shows clock time, when the
    // time range is typed and the spans are shown as times of day.
    CQVxCsvExportSettingsDlg(std::int64_t minimum, std::int64_t maximum, QWidget* parent,
                             const QVxExportTimeSpans& spans = {}, Range initial = Range::kAllRows,
                             std::optional<std::int64_t> clockOrigin = std::nullopt);

    bool IsAllRows() const;
    bool IsHdf5() const;
    Range GetRange() const;
    // The time span after a successful OK with kTime, kMarkers or kVisible (ns).
    std::int64_t GetFromNs() const { return m_fromNs; }
    std::int64_t GetToNs() const { return m_toNs; }
    // The choices, for the window's tests and screenshots.
    QRadioButton* GetRangeButton(Range range) const;
    QRadioButton* GetHdf5Button() const { return m_hdf5; }
    // The range after a successful OK (row numbers, 1-based).
    std::int64_t GetFrom() const { return m_from; }
    std::int64_t GetTo() const { return m_to; }
    QString GetOutputPath() const { return m_outputPath; }

    // Range check (with the range radio), then the file dialog; closes with
    // Accepted once a file was chosen.
    void accept() override;

private:
    bool ReadRange();
    bool ReadTimeRange();
    void UpdateEnabled();

    std::int64_t m_minimum;
    std::int64_t m_maximum;
    std::int64_t m_from;
    std::int64_t m_to;
    std::int64_t m_fromNs = 0;
    std::int64_t m_toNs = 0;
    QVxExportTimeSpans m_spans;
    std::optional<std::int64_t> m_clockOrigin;
    QString m_outputPath;
    QRadioButton* m_csv;
    QRadioButton* m_hdf5;
    QRadioButton* m_time;
    QRadioButton* m_markers;
    QRadioButton* m_visible;
    QLineEdit* m_fromNsEdit;
    QLineEdit* m_toNsEdit;
    QRadioButton* m_allRows;
    QRadioButton* m_range;
    QLineEdit* m_fromEdit;
    QLineEdit* m_toEdit;
};
