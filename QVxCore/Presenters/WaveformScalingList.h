#pragma once
// The zoom steps of the waveform view: nanoseconds per pixel column with the
// decimation base that stored-data loading uses at that step.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qvx {

struct WaveformScalingItem {
    std::int64_t timeParPixel;  // ns per pixel column
    std::int64_t stride;        // decimation base in records (0: no decimation)
};

class WaveformScalingList {
public:
    static constexpr std::size_t kDefaultItemCount = 26;

    // The 26 default steps, from 1 ns to 200 ms per column.
    WaveformScalingList();
    explicit WaveformScalingList(std::vector<WaveformScalingItem> items);

    // Index of the last item whose timeParPixel <= `timeParPixel`: 0 below the first
    // item, the last index at or above the last one. An empty list logs the failed
    // check and returns static_cast<std::size_t>(-1).
    std::size_t FindIndex(std::int64_t timeParPixel) const;

    // The zoom step next to `timeParPixel`: direction > 0 the next coarser item (the
    // last one at most), direction < 0 the next finer one (the first one at most).
    // A value between two items steps to the neighbouring item on that side.
    // An empty list logs the failed check and returns `timeParPixel`.
    std::int64_t StepTimeParPixel(std::int64_t timeParPixel, int direction) const;

    const std::vector<WaveformScalingItem>& Items() const { return m_scalingItems; }
    std::size_t Size() const { return m_scalingItems.size(); }
    const WaveformScalingItem& operator[](std::size_t i) const { return m_scalingItems[i]; }

private:
    std::vector<WaveformScalingItem> m_scalingItems;
};

}  // namespace qvx
