#include "QVxCore/Presenters/WaveformLine.h"

#include <algorithm>

namespace qvx {

void WaveformBin::Add(std::int64_t t, std::int64_t v) {
    if (!valid) {
        minValue = maxValue = v;
        first = last = WaveformPoint{t, v};
        valid = true;
        return;
    }
    minValue = std::min(minValue, v);
    maxValue = std::max(maxValue, v);
    if (t < first.time) first = WaveformPoint{t, v};
    if (t > last.time) last = WaveformPoint{t, v};
}

WaveformLine::WaveformLine(WaveformTrackPresenter* trackPresenter, WaveformRenderData* renderData,
                           std::size_t columns)
    : m_trackPresenter(trackPresenter), m_renderData(renderData), m_columns(columns) {}

void WaveformLine::Clear() {
    std::fill(m_columns.begin(), m_columns.end(), WaveformBin{});
    m_beforeColumn.Clear();
    m_afterColumn.Clear();
    m_pointCount = 0;
    m_minValue = 0;
    m_maxValue = 0;
}

void WaveformLine::ResizeColumns(std::size_t n) {
    m_columns.resize(n);
}

void WaveformLine::ShiftColumns(std::int64_t shift) {
    const auto n = static_cast<std::int64_t>(m_columns.size());
    if (shift == 0) return;
    if (shift >= n || -shift >= n) {
        Clear();
        return;
    }
    if (shift > 0) {
        // Columns [0, shift) leave on the left; the newest valid one is the nearest
        // point left of the new window.
        for (std::int64_t i = shift - 1; i >= 0; --i) {
            if (m_columns[i].valid) {
                m_beforeColumn = m_columns[i];
                break;
            }
        }
        std::move(m_columns.begin() + shift, m_columns.end(), m_columns.begin());
        std::fill(m_columns.end() - shift, m_columns.end(), WaveformBin{});
        m_afterColumn.valid = false;
    } else {
        const std::int64_t s = -shift;
        // Columns [n - s, n) leave on the right; the oldest valid one is the nearest
        // point right of the new window.
        for (std::int64_t i = n - s; i < n; ++i) {
            if (m_columns[i].valid) {
                m_afterColumn = m_columns[i];
                break;
            }
        }
        std::move_backward(m_columns.begin(), m_columns.end() - s, m_columns.end());
        std::fill(m_columns.begin(), m_columns.begin() + s, WaveformBin{});
        m_beforeColumn.valid = false;
    }
}

void WaveformLine::InvalidateOutside(std::int64_t first, std::int64_t end) {
    const auto n = static_cast<std::int64_t>(m_columns.size());
    if (first == end) {
        Clear();
        return;
    }
    const std::int64_t leftEnd = std::clamp<std::int64_t>(first, 0, n);
    for (std::int64_t i = 0; i < leftEnd; ++i) m_columns[i].valid = false;
    for (std::int64_t i = std::clamp<std::int64_t>(end, 0, n); i < n; ++i) m_columns[i].valid = false;
    if (end < n) m_afterColumn.valid = false;
}

void WaveformLine::AddPoint(const waveform::PointFiling& filing, std::int64_t t, std::int64_t v) {
    switch (filing.place) {
        case waveform::PointPlace::kBeforeColumn:
            m_beforeColumn.Add(t, v);
            return;
        case waveform::PointPlace::kAfterColumn:
            m_afterColumn.Add(t, v);
            return;
        case waveform::PointPlace::kColumn:
            m_columns[static_cast<std::size_t>(filing.column)].Add(t, v);
            break;
        case waveform::PointPlace::kPastLastTime:
            break;
    }
    if (m_pointCount == 0) {
        m_minValue = m_maxValue = v;
    } else {
        m_minValue = std::min(m_minValue, v);
        m_maxValue = std::max(m_maxValue, v);
    }
    ++m_pointCount;
}

void WaveformLine::CopyBinsFrom(const WaveformLine& other) {
    m_columns = other.m_columns;
    m_beforeColumn = other.m_beforeColumn;
    m_afterColumn = other.m_afterColumn;
    m_pointCount = other.m_pointCount;
    m_minValue = other.m_minValue;
    m_maxValue = other.m_maxValue;
}

}  // namespace qvx
