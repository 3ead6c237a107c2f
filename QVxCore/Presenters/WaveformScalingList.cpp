#include "QVxCore/Presenters/WaveformScalingList.h"

#include "QVxCore/Utils.h"

#include <algorithm>

namespace qvx {

WaveformScalingList::WaveformScalingList()
    : m_scalingItems{
          {1, 0},
          {2, 0},
          {4, 0},
          {10, 0},
          {20, 0},
          {40, 0},
          {100, 0},
          {200, 0},
          {400, 0},
          {1000, 0},
          {2000, 0},
          {4000, 0},
          {10000, 0},
          {20000, 0},
          {40000, 0},
          {100000, 0},
          {200000, 0},
          {400000, 0},
          {1000000, 10},
          {2000000, 20},
          {4000000, 40},
          {10000000, 100},
          {20000000, 200},
          {40000000, 400},
          {100000000, 1000},
          {200000000, 2000},
      } {}

WaveformScalingList::WaveformScalingList(std::vector<WaveformScalingItem> items)
    : m_scalingItems(std::move(items)) {}

std::size_t WaveformScalingList::FindIndex(std::int64_t timeParPixel) const {
    QVX_CHECK_RETURN(!m_scalingItems.empty(), static_cast<std::size_t>(-1));
    // Items are in ascending order: the first item above the argument, minus one.
    const auto above = std::upper_bound(
        m_scalingItems.begin(), m_scalingItems.end(), timeParPixel,
        [](std::int64_t tpp, const WaveformScalingItem& item) { return tpp < item.timeParPixel; });
    if (above == m_scalingItems.begin()) return 0;
    return static_cast<std::size_t>(above - m_scalingItems.begin()) - 1;
}

std::int64_t WaveformScalingList::StepTimeParPixel(std::int64_t timeParPixel, int direction) const {
    QVX_CHECK_RETURN(!m_scalingItems.empty(), timeParPixel);
    const std::size_t last = m_scalingItems.size() - 1;
    std::size_t i = FindIndex(timeParPixel);
    if (direction > 0) {
        i = std::min(i + 1, last);
    } else if (direction < 0 && m_scalingItems[i].timeParPixel >= timeParPixel && i > 0) {
        --i;
    }
    return m_scalingItems[i].timeParPixel;
}

}  // namespace qvx
