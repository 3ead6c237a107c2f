#include "QVxWinCommon/DataClasses/QVxUnitRecordClock.h"

#include "QVxCore/ReportData/ReportFormat.h"

#include <algorithm>

namespace {

constexpr std::int64_t kNsPerSecond = 1'000'000'000;

}  // namespace

std::int64_t QVxUnitRecordClock::RecordsToNs(std::uint64_t bytes) const {
    const auto records = static_cast<__int128>(bytes / qvx::kReportRecordSize);
    return static_cast<std::int64_t>(records * kNsPerSecond / m_recordsPerSecond);
}

std::optional<std::int64_t> QVxUnitRecordClock::Update(std::optional<std::int64_t> lastRecordNs,
                                                       std::uint64_t fillBytes, std::uint64_t memoryBytes,
                                                       std::int64_t hostNs) {
    if (!lastRecordNs) return std::nullopt;
    const std::int64_t taken = *lastRecordNs;
    if (m_recordsPerSecond <= 0) return taken;
    m_clockOffset = std::max(m_clockOffset.value_or(taken - hostNs), taken - hostNs);
    const std::int64_t waiting = taken + RecordsToNs(fillBytes);
    const std::int64_t byClock = std::min(*m_clockOffset + hostNs, taken + RecordsToNs(memoryBytes));
    return std::max(waiting, byClock);
}
