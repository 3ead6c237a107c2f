#include "QVxCore/Presenters/WaveformRenderData.h"

#include "QVxCore/Presenters/WaveformPresenter.h"
#include "QVxCore/Utils.h"

#include <algorithm>

namespace qvx {

WaveformRenderData::WaveformRenderData(WaveformPresenter* viewModel, bool writingSide,
                                       std::int64_t timeParPixel)
    : m_viewModel(viewModel),
      m_writingSide(writingSide),
      m_timeParPixel(timeParPixel > 0 ? timeParPixel : 1) {}

void WaveformRenderData::AddLine(WaveformTrackPresenter* trackPresenter) {
    m_lines.push_back(std::make_unique<WaveformLine>(trackPresenter, this, m_columns.size()));
}

std::int64_t WaveformRenderData::ViewportWidthTime() const {
    if (m_columns.empty()) return 0;
    return m_columns.back().end - m_columns.front().start;
}

bool WaveformRenderData::CheckWritingSide() const {
    return QVX_VERIFY(IsWritingSide());
}

void WaveformRenderData::ClearLines() {
    for (auto& line : m_lines) line->Clear();
}

void WaveformRenderData::ResetViewportScale(std::int64_t timeParPixel) {
    if (!CheckWritingSide()) return;
    QVX_CHECK(timeParPixel > 0);
    const std::int64_t oldTpp = m_timeParPixel;
    m_timeParPixel = timeParPixel;
    m_lastTime = waveform::AlignToColumn(m_lastTimeUnrounded, timeParPixel);
    m_viewportBeginTimeOffset =
        waveform::ZoomedViewportBegin(m_viewModel->GetCursorTime(), m_viewportBeginTimeOffset, oldTpp,
                                      timeParPixel, ColumnCount(), m_lastTime);
    ResetLineIndex();
}

void WaveformRenderData::ResetViewportWidth(std::int64_t columns) {
    if (!CheckWritingSide()) return;
    QVX_CHECK(columns >= 0);
    if (columns == ColumnCount()) return;
    m_columns.resize(static_cast<std::size_t>(columns));
    ResetLineIndex();
    for (auto& line : m_lines) line->ResizeColumns(static_cast<std::size_t>(columns));
    m_loaded = {columns, columns};
    ClearLines();
    AttemptLoadData();
}

void WaveformRenderData::ResetLineIndex() {
    if (!CheckWritingSide()) return;
    std::int64_t start = m_viewportBeginTimeOffset;
    for (auto& column : m_columns) {
        column = {start, start + m_timeParPixel};
        start += m_timeParPixel;
    }
}

void WaveformRenderData::SetViewportBeginTimeOffset(std::int64_t t) {
    if (!CheckWritingSide()) return;
    const std::int64_t shift = waveform::ColumnShift(t, m_viewportBeginTimeOffset, m_timeParPixel);
    if (shift == 0) return;
    for (auto& line : m_lines) line->ShiftColumns(shift);
    m_viewportBeginTimeOffset = waveform::AlignToColumn(t, m_timeParPixel);
    ResetLineIndex();
    m_loaded = waveform::ShiftLoadedRange(m_loaded, ColumnCount(), shift);
    for (auto& line : m_lines) line->InvalidateOutside(m_loaded.first, m_loaded.end);
    AttemptLoadData();
}

void WaveformRenderData::UpdateLastTime(std::int64_t t) {
    if (!CheckWritingSide()) return;
    m_lastTimeUnrounded = t;
    m_lastTime = waveform::AlignToColumn(t, m_timeParPixel);
}

void WaveformRenderData::MoveTimeOffsetToLast() {
    if (!CheckWritingSide()) return;
    SetViewportBeginTimeOffset(m_lastTime - ViewportWidthTime());
}

void WaveformRenderData::AttemptLoadData() {
    if (!CheckWritingSide()) return;
    const std::int64_t n = ColumnCount();
    if (!m_viewModel->IsStoredData()) {
        m_loaded = {0, n};
        return;
    }
    QVX_CHECK(!m_viewModel->m_writableLocked);
    if (n > 0) {
        const std::int64_t windowEnd = m_columns.back().end;
        if (m_loaded.first == m_loaded.end) {
            m_viewModel->OnLoadData(m_columns.front().start, windowEnd);
        } else {
            if (m_loaded.first > 0) {
                m_viewModel->OnLoadData(m_columns.front().start,
                                        m_loaded.first == n ? windowEnd : m_columns[m_loaded.first].end);
            }
            if (m_loaded.end < n) m_viewModel->OnLoadData(m_columns[m_loaded.end].start, windowEnd);
        }
    }
    m_loaded = {0, n};
}

void WaveformRenderData::ResetAll() {
    if (!CheckWritingSide()) return;
    ClearLines();
    m_loaded = {ColumnCount(), ColumnCount()};
}

void WaveformRenderData::ResetToEmpty(std::int64_t timeParPixel) {
    if (!CheckWritingSide()) return;
    QVX_CHECK(timeParPixel > 0);
    m_timeParPixel = timeParPixel;
    m_lastTime = 0;
    m_lastTimeUnrounded = 0;
    m_viewportBeginTimeOffset = 0;
    ResetLineIndex();
    ClearLines();
    m_loaded = {0, ColumnCount()};
}

void WaveformRenderData::AddPoints(std::int64_t t, std::span<const std::int64_t> values) {
    if (!CheckWritingSide()) return;
    const auto filing =
        waveform::FilePoint(t, m_viewportBeginTimeOffset, m_timeParPixel, ColumnCount(), m_lastTime);
    const std::size_t n = std::min(values.size(), m_lines.size());
    for (std::size_t i = 0; i < n; ++i) m_lines[i]->AddPoint(filing, t, values[i]);
}

void WaveformRenderData::AddPoint(std::size_t line, std::int64_t t, std::int64_t value) {
    if (!CheckWritingSide()) return;
    QVX_CHECK(line < m_lines.size());
    m_lines[line]->AddPoint(
        waveform::FilePoint(t, m_viewportBeginTimeOffset, m_timeParPixel, ColumnCount(), m_lastTime), t,
        value);
}

void WaveformRenderData::CopyFrom(const WaveformRenderData& other) {
    if (&other == this) return;
    m_timeParPixel = other.m_timeParPixel;
    m_lastTime = other.m_lastTime;
    m_lastTimeUnrounded = other.m_lastTimeUnrounded;
    m_viewportBeginTimeOffset = other.m_viewportBeginTimeOffset;
    m_columns = other.m_columns;
    m_loaded = other.m_loaded;
    const std::size_t n = std::min(m_lines.size(), other.m_lines.size());
    for (std::size_t i = 0; i < n; ++i) m_lines[i]->CopyBinsFrom(*other.m_lines[i]);
}

}  // namespace qvx
