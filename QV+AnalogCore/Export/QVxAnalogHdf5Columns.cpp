#include "QV+AnalogCore/Export/QVxAnalogHdf5Columns.h"

#include "QV+AnalogCore/Export/QVxAnalogHdf5Writer.h"
#include "QV+AnalogCore/Presenters/QVxAnalogRecordDecoding.h"
#include "QVxCore/ReportData/RecordCodec.h"

#include <algorithm>

QVxAnalogHdf5Columns::QVxAnalogHdf5Columns(QVxAnalogHdf5Writer& writer, std::uint64_t chunkRecords,
                                           std::int32_t timeWordIndex)
    : m_writer(writer), m_capacity(std::max<std::uint64_t>(1, chunkRecords)), m_timeWord(timeWordIndex) {
    for (Columns& columns : m_columns) {
        columns.time.resize(m_capacity);
        for (auto& codes : columns.codes) codes.resize(m_capacity);
    }
}

QVxAnalogHdf5Columns::~QVxAnalogHdf5Columns() {
    WaitForWrite();
}

bool QVxAnalogHdf5Columns::Add(const std::uint8_t* records, std::uint64_t count) {
    while (count > 0) {
        const std::uint64_t n = std::min(count, m_capacity - m_used);
        Decode(records, n);
        records += n * qvx::kReportRecordSize;
        count -= n;
        if (m_used == m_capacity && !StartWrite()) return false;
    }
    return true;
}

bool QVxAnalogHdf5Columns::Finish() {
    return StartWrite() && WaitForWrite();
}

void QVxAnalogHdf5Columns::Decode(const std::uint8_t* records, std::uint64_t count) {
    Columns& columns = m_columns[static_cast<std::size_t>(m_filling)];
    std::int64_t* time = columns.time.data() + m_used;
    std::uint16_t* codes[4] = {columns.codes[0].data() + m_used, columns.codes[1].data() + m_used,
                               columns.codes[2].data() + m_used, columns.codes[3].data() + m_used};
    const auto timeWord = static_cast<std::size_t>(m_timeWord);
    for (std::uint64_t i = 0; i < count; ++i, records += qvx::kReportRecordSize) {
        time[i] = qvx::RecordTimeNs(records, timeWord);
        for (std::size_t c = 0; c < qvx::kRecordChannelCount; ++c)
            codes[c][i] = qvx::LimitedSample(qvx::RecordRawSample(records, c));
    }
    m_used += count;
}

bool QVxAnalogHdf5Columns::WaitForWrite() {
    return !m_write.valid() || m_write.get();
}

bool QVxAnalogHdf5Columns::StartWrite() {
    if (!WaitForWrite()) return false;
    if (m_used == 0) return true;
    const Columns& columns = m_columns[static_cast<std::size_t>(m_filling)];
    const std::uint64_t count = m_used;
    m_write = std::async(std::launch::async, [this, &columns, count] {
        return m_writer.Append(columns.time.data(),
                               {columns.codes[0].data(), columns.codes[1].data(), columns.codes[2].data(),
                                columns.codes[3].data()},
                               count);
    });
    m_filling = 1 - m_filling;
    m_used = 0;
    return true;
}
