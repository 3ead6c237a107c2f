#pragma once
// Live intake of a running trace: folds each batch of records into per-column
// minimum and maximum values of the presenter's writing side, numbers the
// records, marks a time stamp that went backwards and feeds the display trigger
// analyzer.
//
// Fold runs on the log collector's thread with the presenter's write batch and
// the analog view model's mutex held; Reset on the GUI thread before the device
// starts. The counters are atomic so the GUI can show them during the trace.

#include "QVxCore/Presenters/WaveformRenderData.h"
#include "QVxCore/QVxAnalogDisplayTriggerAnalyzer.h"
#include "QVxCore/ReportData/RecordBlockScan.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

class QVxAnalogLiveIntake {
public:
    // A new trace: record index 0, previous time 0, no mark, no trigger view offset.
    void Reset();

    // One batch of `count` records (16 bytes each, oldest first) into `out`:
    // lastTime follows the batch's last record, a trigger window is completed
    // when it has scrolled past, the window moves to the newest data and every
    // column that got records gets two points per channel (minimum and maximum,
    // centred, at the column's start). The records of the newest column, which
    // lies just right of the window, are kept and added when a later batch has
    // moved the window over it (dropped when the scale changed meanwhile).
    // `analyzer` may be null.
    // A null `out` only numbers and analyses the records (no live view).
    void Fold(qvx::WaveformRenderData* out, const std::uint8_t* records, std::int64_t count,
              qvx::QVxAnalogDisplayTriggerAnalyzer* analyzer);

    // Records taken in since Reset (= the global index of the next record).
    std::uint64_t GetRecordCount() const { return m_nextIndex.load(std::memory_order_relaxed); }
    bool TimeWentBackwards() const { return m_timeWentBackwards.load(); }
    // Time stamp (ns) of the newest record taken in; 0 before the first batch.
    std::int64_t GetLastRecordTime() const { return m_lastRecordTime.load(std::memory_order_relaxed); }
    // Viewport begin (ns) that shows the latest display trigger at its position.
    std::optional<std::int64_t> GetTriggerViewOffset() const;
    // Whether the last Fold replaced `out`'s content with the completed window of
    // the latest display trigger (viewport begin at the trigger view offset). The
    // view model publishes that frame once and then holds the display.
    bool WroteTriggerFrame() const { return m_wroteTriggerFrame; }

    // Batches whose time stamps never decrease are folded a run of records at a time (the
    // records of one column found by time, their minimum and maximum in one pass); others
    // record by record. With `true` every batch goes record by record, which the tests
    // compare with the runs. The result is the same either way.
    void SetRecordByRecord(bool recordByRecord) { m_recordByRecord = recordByRecord; }

private:
    struct Column {
        std::array<std::int64_t, 4> min{};
        std::array<std::int64_t, 4> max{};
        std::uint32_t count = 0;

        void Add(const std::array<std::uint16_t, 4>& samples);
        // As Add for each of `records` records whose minima and maxima are `range`.
        void AddRun(const qvx::recordscan::RawRange& range, std::size_t records);
    };

    // A column of the recent past, keyed by its start (ns, aligned to its width).
    struct PastColumn {
        std::int64_t start = 0;
        Column column;
    };

    // The window of the latest display trigger, [begin, begin + columns x
    // timeParPixel) (ns, aligned to the column width), collected from the recent
    // columns once the records have passed its end. The records before the trigger
    // usually arrived in an earlier batch, and the batch that completes the window
    // may reach far beyond it, so the live window alone cannot show it.
    struct TriggerWindow {
        std::int64_t triggerTime = -1;  // ns; -1 while no trigger was taken
        std::int64_t begin = 0;
        bool complete = false;
        bool written = false;
        std::vector<Column> columns;
    };

    // Keeps the recent columns' geometry in step with the live window: a new
    // width or scale drops the past and re-places an incomplete trigger window.
    void FollowWindowGeometry(const qvx::WaveformRenderData& out,
                              const qvx::QVxAnalogDisplayTriggerAnalyzer& analyzer);
    void RememberRecord(std::int64_t t, const std::array<std::uint16_t, 4>& samples);
    void PlaceTriggerWindow(std::int64_t triggerTime, const qvx::QVxAnalogDisplayTriggerAnalyzer& analyzer);
    void CompleteTriggerWindow();
    void WriteTriggerFrame(qvx::WaveformRenderData& out);

    // The live window's columns as one batch folds into them (ns): the window's own columns,
    // then the open column just right of it.
    struct FoldWindow {
        const std::vector<qvx::WaveformColumn>* columns = nullptr;
        std::size_t columnCount = 0;
        std::int64_t windowBegin = 0;
        std::int64_t timeParPixel = 1;
        std::size_t openColumn = 0;  // index of the open column in m_columns
        std::int64_t openStart = 0;
        std::int64_t windowEnd = 0;  // end of the open column
    };
    // Steps of Fold. The newest record's time, and the window's last time (when there is one).
    std::int64_t AdvanceLastTime(qvx::WaveformRenderData* out, const std::uint8_t* records,
                                 std::int64_t count);
    void UpdateTriggerViewOffset(const qvx::WaveformRenderData* out,
                                 qvx::QVxAnalogDisplayTriggerAnalyzer& analyzer, std::int64_t lastTime);
    // Empties m_columns for the window and puts back the open column the last batch left.
    FoldWindow PrepareColumns(const qvx::WaveformRenderData* out);
    // Analyzes the records and folds those inside the window into m_columns.
    void FoldRecords(const std::uint8_t* records, std::int64_t count, const FoldWindow& window,
                     qvx::QVxAnalogDisplayTriggerAnalyzer* analyzer, bool followTrigger);
    void FoldRecordByRecord(const std::uint8_t* records, std::int64_t count, const FoldWindow& window,
                            qvx::QVxAnalogDisplayTriggerAnalyzer* analyzer, bool followTrigger);
    // FoldRecords for time stamps that never decrease: the analyzer runs up to each hit,
    // and the records between hits are folded as runs.
    void FoldRuns(const std::uint8_t* records, std::size_t count, const FoldWindow& window,
                  qvx::QVxAnalogDisplayTriggerAnalyzer* analyzer, bool followTrigger);
    // Records [from, to) of a batch without decreasing times, already analysed: into the
    // recent columns (when following a trigger) and the window's columns.
    void FoldRun(const std::uint8_t* records, std::size_t from, std::size_t to, const FoldWindow& window,
                 bool followTrigger);
    void RememberRun(const std::uint8_t* records, std::size_t from, std::size_t to);
    void FoldColumnRuns(const std::uint8_t* records, std::size_t from, std::size_t to,
                        const FoldWindow& window);
    // The recent column for a record whose column starts at `start` (ns): completes the
    // trigger window once the records have passed it, opens a new column when needed.
    Column& PastColumnFor(std::int64_t start);
    // Column indexes of m_columns a batch filled, [first, end); the others are empty.
    void MarkFilled(std::size_t c);
    // Carries the open column to the next batch and adds each filled column's min and max.
    void WriteColumns(qvx::WaveformRenderData& out, const FoldWindow& window);

    // The column right of the window that the last batch left unfinished (ns, its
    // width and its records so far); count 0 when there is none.
    struct OpenColumn {
        std::int64_t start = 0;
        std::int64_t timeParPixel = 0;
        Column column;
    };

    std::vector<Column> m_columns;  // the window's columns, then the open one; empty between batches
    std::size_t m_filledFirst = 0;  // m_columns[m_filledFirst, m_filledEnd) may hold records
    std::size_t m_filledEnd = 0;
    bool m_recordByRecord = false;
    OpenColumn m_open;
    std::deque<PastColumn> m_past;  // about one window of the newest columns, oldest first
    std::int64_t m_pastTimeParPixel = 0;
    std::size_t m_pastColumnCount = 0;
    TriggerWindow m_trigger;
    bool m_wroteTriggerFrame = false;
    std::atomic<std::uint64_t> m_nextIndex{0};
    std::int64_t m_previousTime = 0;
    std::atomic<bool> m_timeWentBackwards{false};
    std::atomic<std::int64_t> m_lastRecordTime{0};
    std::atomic<std::int64_t> m_triggerViewOffset{0};
    std::atomic<bool> m_triggerViewOffsetSet{false};
};
