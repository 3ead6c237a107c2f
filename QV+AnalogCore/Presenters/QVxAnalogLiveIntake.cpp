#include "QV+AnalogCore/Presenters/QVxAnalogLiveIntake.h"

#include "QVxCore/Presenters/WaveformGeometry.h"
#include "QVxCore/ReportData/RecordCodec.h"

#include <algorithm>
#include <span>

namespace {

using qvx::kReportRecordSize;
using qvx::RecordTimeNs;

// A column's folded stored sample (a u16 kept in 64 bits), centred as the stored view decodes it.
std::int64_t Centred(std::int64_t raw) {
    return qvx::CentredSample(static_cast<std::uint16_t>(raw));
}

}  // namespace

void QVxAnalogLiveIntake::Reset() {
    m_nextIndex = 0;
    m_previousTime = 0;
    m_timeWentBackwards = false;
    m_lastRecordTime = 0;
    m_triggerViewOffset = 0;
    m_triggerViewOffsetSet = false;
    m_open = {};
    m_past.clear();
    m_pastTimeParPixel = 0;
    m_pastColumnCount = 0;
    m_trigger = {};
    m_wroteTriggerFrame = false;
}

void QVxAnalogLiveIntake::Column::Add(const std::array<std::uint16_t, 4>& samples) {
    if (count == 0) {
        for (std::size_t ch = 0; ch < 4; ++ch) min[ch] = max[ch] = samples[ch];
    } else {
        for (std::size_t ch = 0; ch < 4; ++ch) {
            min[ch] = std::min<std::int64_t>(min[ch], samples[ch]);
            max[ch] = std::max<std::int64_t>(max[ch], samples[ch]);
        }
    }
    ++count;
}

void QVxAnalogLiveIntake::Column::AddRun(const qvx::recordscan::RawRange& range, std::size_t records) {
    if (records == 0) return;
    if (count == 0) {
        for (std::size_t ch = 0; ch < 4; ++ch) {
            min[ch] = range.min[ch];
            max[ch] = range.max[ch];
        }
    } else {
        for (std::size_t ch = 0; ch < 4; ++ch) {
            min[ch] = std::min<std::int64_t>(min[ch], range.min[ch]);
            max[ch] = std::max<std::int64_t>(max[ch], range.max[ch]);
        }
    }
    count += static_cast<std::uint32_t>(records);
}

void QVxAnalogLiveIntake::FollowWindowGeometry(const qvx::WaveformRenderData& out,
                                               const qvx::QVxAnalogDisplayTriggerAnalyzer& analyzer) {
    const std::int64_t timeParPixel = std::max<std::int64_t>(out.GetTimeParPixel(), 1);
    const auto columnCount = static_cast<std::size_t>(out.ColumnCount());
    if (timeParPixel == m_pastTimeParPixel && columnCount == m_pastColumnCount) return;
    m_past.clear();
    m_pastTimeParPixel = timeParPixel;
    m_pastColumnCount = columnCount;
    if (m_trigger.triggerTime >= 0 && !m_trigger.complete)
        PlaceTriggerWindow(m_trigger.triggerTime, analyzer);
}

void QVxAnalogLiveIntake::PlaceTriggerWindow(std::int64_t triggerTime,
                                             const qvx::QVxAnalogDisplayTriggerAnalyzer& analyzer) {
    m_trigger = {};
    m_trigger.triggerTime = triggerTime;
    const auto width = static_cast<std::int64_t>(m_pastColumnCount) * m_pastTimeParPixel;
    m_trigger.begin = qvx::waveform::AlignToColumn(analyzer.TriggerViewOffset(width), m_pastTimeParPixel);
    m_trigger.columns.assign(m_pastColumnCount, Column{});
}

void QVxAnalogLiveIntake::RememberRecord(std::int64_t t, const std::array<std::uint16_t, 4>& samples) {
    PastColumnFor(qvx::waveform::AlignToColumn(t, m_pastTimeParPixel)).Add(samples);
}

QVxAnalogLiveIntake::Column& QVxAnalogLiveIntake::PastColumnFor(std::int64_t start) {
    const std::int64_t triggerEnd =
        m_trigger.begin + static_cast<std::int64_t>(m_trigger.columns.size()) * m_pastTimeParPixel;
    if (m_trigger.triggerTime >= 0 && !m_trigger.complete && start >= triggerEnd) CompleteTriggerWindow();
    if (m_past.empty() || start > m_past.back().start) {
        m_past.push_back({start, Column{}});
        const std::int64_t keepFrom =
            start - static_cast<std::int64_t>(m_pastColumnCount + 1) * m_pastTimeParPixel;
        while (m_past.front().start < keepFrom) m_past.pop_front();
    }
    // A time stamp that went backwards is filed into the newest column.
    return m_past.back().column;
}

void QVxAnalogLiveIntake::CompleteTriggerWindow() {
    const auto columnCount = static_cast<std::int64_t>(m_trigger.columns.size());
    for (const PastColumn& past : m_past) {
        const std::int64_t c = (past.start - m_trigger.begin) / m_pastTimeParPixel;
        if (past.start >= m_trigger.begin && c < columnCount)
            m_trigger.columns[static_cast<std::size_t>(c)] = past.column;
    }
    m_trigger.complete = true;
}

void QVxAnalogLiveIntake::WriteTriggerFrame(qvx::WaveformRenderData& out) {
    out.SetViewportBeginTimeOffset(m_trigger.begin);
    out.ResetAll();
    out.AttemptLoadData();
    std::int64_t t = out.GetViewportBeginTimeOffset();
    for (const Column& column : m_trigger.columns) {
        if (column.count != 0) {
            for (std::size_t ch = 0; ch < 4; ++ch) {
                out.AddPoint(ch, t, Centred(column.min[ch]));
                out.AddPoint(ch, t, Centred(column.max[ch]));
            }
        }
        t += m_pastTimeParPixel;
    }
    m_trigger.written = true;
    m_wroteTriggerFrame = true;
}

std::optional<std::int64_t> QVxAnalogLiveIntake::GetTriggerViewOffset() const {
    if (!m_triggerViewOffsetSet.load()) return std::nullopt;
    return m_triggerViewOffset.load();
}

void QVxAnalogLiveIntake::Fold(qvx::WaveformRenderData* out, const std::uint8_t* records, std::int64_t count,
                               qvx::QVxAnalogDisplayTriggerAnalyzer* analyzer) {
    m_wroteTriggerFrame = false;
    if (count <= 0 || records == nullptr) return;
    const std::int64_t lastTime = AdvanceLastTime(out, records, count);
    if (analyzer) UpdateTriggerViewOffset(out, *analyzer, lastTime);
    if (out) out->MoveTimeOffsetToLast();
    // The recent columns are kept while a trigger may still be found or its window
    // is still filling (the trigger record and the records after it).
    const bool followTrigger =
        out && analyzer && (analyzer->ShouldAnalyze() || (m_trigger.triggerTime >= 0 && !m_trigger.complete));
    if (followTrigger) FollowWindowGeometry(*out, *analyzer);

    const FoldWindow window = PrepareColumns(out);
    FoldRecords(records, count, window, analyzer, followTrigger);
    if (window.columnCount == 0) return;
    WriteColumns(*out, window);
    // The display holds from now on: it shows the trigger's window, not the newest data.
    if (analyzer && analyzer->IsDisplayHeld() && m_trigger.triggerTime >= 0 && !m_trigger.written) {
        if (!m_trigger.complete) CompleteTriggerWindow();
        WriteTriggerFrame(*out);
    }
}

std::int64_t QVxAnalogLiveIntake::AdvanceLastTime(qvx::WaveformRenderData* out, const std::uint8_t* records,
                                                  std::int64_t count) {
    const std::int64_t lastRecordTime = RecordTimeNs(records + (count - 1) * kReportRecordSize);
    m_lastRecordTime.store(lastRecordTime, std::memory_order_relaxed);
    if (!out) return lastRecordTime;
    out->UpdateLastTime(std::max(lastRecordTime, out->GetLastTime()));
    return out->GetLastTime();
}

void QVxAnalogLiveIntake::UpdateTriggerViewOffset(const qvx::WaveformRenderData* out,
                                                  qvx::QVxAnalogDisplayTriggerAnalyzer& analyzer,
                                                  std::int64_t lastTime) {
    const std::int64_t width = out ? out->ViewportWidthTime() : 0;
    const std::int64_t offset = analyzer.UpdateTriggerWindow(width, lastTime);
    if (offset != qvx::QVxAnalogDisplayTriggerAnalyzer::kNone) {
        m_triggerViewOffset = offset;
        m_triggerViewOffsetSet = true;
    }
}

QVxAnalogLiveIntake::FoldWindow QVxAnalogLiveIntake::PrepareColumns(const qvx::WaveformRenderData* out) {
    static const std::vector<qvx::WaveformColumn> kNoColumns;
    FoldWindow w;
    w.columns = out ? &out->Columns() : &kNoColumns;
    w.columnCount = w.columns->size();
    w.windowBegin = w.columnCount ? w.columns->front().start : 0;
    w.timeParPixel = out ? std::max<std::int64_t>(out->GetTimeParPixel(), 1) : 1;
    // The window ends at lastTime, so the column holding the newest records lies just
    // right of it and is still filling. It is accumulated as one extra column behind
    // the window and carried to the next batch, which shows it once the window has
    // moved over it; otherwise every column would only show the records of the batch
    // that completed it.
    w.openColumn = w.columnCount;
    w.openStart = w.columnCount ? w.columns->back().end : 0;
    w.windowEnd = w.columnCount ? w.openStart + w.timeParPixel : 0;
    // Only the columns the last batch filled need emptying (a window of 1920 columns gets
    // one or two new ones per millisecond batch at the top rate).
    for (std::size_t c = m_filledFirst; c < std::min(m_filledEnd, m_columns.size()); ++c)
        m_columns[c].count = 0;
    m_filledFirst = m_filledEnd = 0;
    m_columns.resize(w.columnCount + 1);
    if (w.columnCount && m_open.column.count != 0 && m_open.timeParPixel == w.timeParPixel &&
        m_open.start >= w.windowBegin && m_open.start <= w.openStart) {
        const auto c = static_cast<std::size_t>((m_open.start - w.windowBegin) / w.timeParPixel);
        m_columns[c] = m_open.column;
        MarkFilled(c);
    }
    m_open = {};
    return w;
}

void QVxAnalogLiveIntake::MarkFilled(std::size_t c) {
    if (m_filledFirst == m_filledEnd) {
        m_filledFirst = c;
        m_filledEnd = c + 1;
        return;
    }
    m_filledFirst = std::min(m_filledFirst, c);
    m_filledEnd = std::max(m_filledEnd, c + 1);
}

void QVxAnalogLiveIntake::FoldRecords(const std::uint8_t* records, std::int64_t count,
                                      const FoldWindow& window,
                                      qvx::QVxAnalogDisplayTriggerAnalyzer* analyzer, bool followTrigger) {
    const auto n = static_cast<std::size_t>(count);
    if (!m_recordByRecord && qvx::recordscan::TimesNonDecreasing(records, n, m_previousTime))
        FoldRuns(records, n, window, analyzer, followTrigger);
    else
        FoldRecordByRecord(records, count, window, analyzer, followTrigger);
}

void QVxAnalogLiveIntake::FoldRuns(const std::uint8_t* records, std::size_t count, const FoldWindow& window,
                                   qvx::QVxAnalogDisplayTriggerAnalyzer* analyzer, bool followTrigger) {
    const std::uint64_t firstIndex = m_nextIndex.load(std::memory_order_relaxed);
    std::size_t folded = 0;    // records before it are folded
    std::size_t analysed = 0;  // records before it went through the analyzer
    while (folded < count) {
        if (!analyzer || !analyzer->ShouldAnalyze()) {
            FoldRun(records, folded, count, window, followTrigger);
            break;
        }
        const std::size_t hit =
            analysed + analyzer->AnalyzeUntilHit(records + analysed * kReportRecordSize, count - analysed,
                                                 static_cast<std::int64_t>(firstIndex + analysed));
        FoldRun(records, folded, hit, window, followTrigger);
        if (hit == count) break;
        // As record by record: the hit is taken before its own record is remembered.
        const std::int64_t t = RecordTimeNs(records + hit * kReportRecordSize);
        analyzer->AcceptHit(t, static_cast<std::int64_t>(firstIndex + hit));
        if (followTrigger && analyzer->GetTriggerTime() != m_trigger.triggerTime)
            PlaceTriggerWindow(analyzer->GetTriggerTime(), *analyzer);
        FoldRun(records, hit, hit + 1, window, followTrigger);
        folded = analysed = hit + 1;
    }
    m_previousTime = RecordTimeNs(records + (count - 1) * kReportRecordSize);
    m_nextIndex.store(firstIndex + count, std::memory_order_relaxed);
}

void QVxAnalogLiveIntake::FoldRun(const std::uint8_t* records, std::size_t from, std::size_t to,
                                  const FoldWindow& window, bool followTrigger) {
    if (from >= to) return;
    if (followTrigger) RememberRun(records, from, to);
    if (window.columnCount) FoldColumnRuns(records, from, to, window);
}

void QVxAnalogLiveIntake::RememberRun(const std::uint8_t* records, std::size_t from, std::size_t to) {
    using qvx::recordscan::FindTimeAtOrAfter;
    for (std::size_t i = from; i < to;) {
        const std::int64_t start =
            qvx::waveform::AlignToColumn(RecordTimeNs(records + i * kReportRecordSize), m_pastTimeParPixel);
        // Every record of the same column start goes into the same recent column.
        const std::size_t end = FindTimeAtOrAfter(records, i, to, start + m_pastTimeParPixel);
        PastColumnFor(start).AddRun(qvx::recordscan::RawSampleRange(records + i * kReportRecordSize, end - i),
                                    end - i);
        i = end;
    }
}

void QVxAnalogLiveIntake::FoldColumnRuns(const std::uint8_t* records, std::size_t from, std::size_t to,
                                         const FoldWindow& window) {
    using qvx::recordscan::FindTimeAtOrAfter;
    std::size_t i = FindTimeAtOrAfter(records, from, to, window.windowBegin);
    const std::size_t stop = FindTimeAtOrAfter(records, i, to, window.windowEnd);
    while (i < stop) {
        const std::int64_t t = RecordTimeNs(records + i * kReportRecordSize);
        const auto c = std::min(static_cast<std::size_t>((t - window.windowBegin) / window.timeParPixel),
                                window.openColumn);
        // Column c ends where column c + 1 begins; the open column at the window's end.
        const std::int64_t end =
            c < window.openColumn
                ? window.windowBegin + static_cast<std::int64_t>(c + 1) * window.timeParPixel
                : window.windowEnd;
        const std::size_t next = FindTimeAtOrAfter(records, i, stop, end);
        m_columns[c].AddRun(qvx::recordscan::RawSampleRange(records + i * kReportRecordSize, next - i),
                            next - i);
        MarkFilled(c);
        i = next;
    }
}

void QVxAnalogLiveIntake::FoldRecordByRecord(const std::uint8_t* records, std::int64_t count,
                                             const FoldWindow& window,
                                             qvx::QVxAnalogDisplayTriggerAnalyzer* analyzer,
                                             bool followTrigger) {
    std::uint64_t index = m_nextIndex.load(std::memory_order_relaxed);
    bool backwards = false;
    std::int64_t previous = m_previousTime;
    for (std::int64_t i = 0; i < count; ++i) {
        const std::uint8_t* record = records + i * kReportRecordSize;
        const std::int64_t t = RecordTimeNs(record);
        if (t < previous) backwards = true;
        previous = t;
        const std::array<std::uint16_t, 4> samples{
            qvx::RecordRawSample(record, 0), qvx::RecordRawSample(record, 1), qvx::RecordRawSample(record, 2),
            qvx::RecordRawSample(record, 3)};
        if (analyzer && analyzer->ShouldAnalyze() &&
            analyzer->Analyze(t, std::span<const std::uint16_t, 4>(samples),
                              static_cast<std::int64_t>(index))) {
            analyzer->AcceptHit(t, static_cast<std::int64_t>(index));
            if (followTrigger && analyzer->GetTriggerTime() != m_trigger.triggerTime)
                PlaceTriggerWindow(analyzer->GetTriggerTime(), *analyzer);
        }
        if (followTrigger) RememberRecord(t, samples);
        ++index;
        if (t < window.windowBegin || t >= window.windowEnd) continue;
        const auto c = std::min(static_cast<std::size_t>((t - window.windowBegin) / window.timeParPixel),
                                window.openColumn);
        m_columns[c].Add(samples);
        MarkFilled(c);
    }
    m_previousTime = previous;
    m_nextIndex.store(index, std::memory_order_relaxed);
    if (backwards) m_timeWentBackwards = true;
}

void QVxAnalogLiveIntake::WriteColumns(qvx::WaveformRenderData& out, const FoldWindow& window) {
    if (m_columns[window.openColumn].count != 0)
        m_open = {window.openStart, window.timeParPixel, m_columns[window.openColumn]};
    for (std::size_t c = m_filledFirst; c < std::min(m_filledEnd, window.columnCount); ++c) {
        const Column& column = m_columns[c];
        if (column.count == 0) continue;
        const std::int64_t t = (*window.columns)[c].start;
        for (std::size_t ch = 0; ch < 4; ++ch) {
            out.AddPoint(ch, t, Centred(column.min[ch]));
            out.AddPoint(ch, t, Centred(column.max[ch]));
        }
    }
}
