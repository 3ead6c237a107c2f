#include "QV+Analog/Analysis/CQVxCycleListModel.h"

#include "QV+Analog/QVxAppText.h"

#include <QBrush>
#include <QColor>

#include <cmath>
#include <limits>

using qvx::analog::kCycleParameterCount;

namespace {

// Qt's rows are ints: a list longer than that shows its first INT_MAX rows.
int ClampRows(std::size_t n) {
    return static_cast<int>(std::min<std::size_t>(n, std::numeric_limits<int>::max()));
}

}  // namespace

CQVxCycleListModel::CQVxCycleListModel(QObject* parent)
    : QAbstractTableModel(parent),
      m_headers(QVxAppString(kAppStringCyclesListColumns).split(QLatin1Char('|'))) {}

void CQVxCycleListModel::SetResult(std::shared_ptr<const qvx::analog::QVxAnalogCycleJobs::Result> result) {
    beginResetModel();
    m_result = std::move(result);
    m_flags.clear();
    m_violating.clear();
    if (m_result) {
        const auto& limits = m_result->request.cycles.limits;
        m_flags.resize(m_result->cycles.size());
        for (std::size_t k = 0; k < m_result->cycles.size(); ++k) {
            std::uint16_t flags = 0;
            for (std::size_t p = 0; p < kCycleParameterCount; ++p) {
                const double v = m_result->cycles[k].values[p];
                if (!std::isnan(v) && limits[p].Violated(v)) flags |= static_cast<std::uint16_t>(1u << p);
            }
            m_flags[k] = flags;
            if (flags) m_violating.push_back(k);
        }
    }
    endResetModel();
}

void CQVxCycleListModel::SetViolationsOnly(bool on) {
    if (on == m_violationsOnly) return;
    beginResetModel();
    m_violationsOnly = on;
    endResetModel();
}

std::int64_t CQVxCycleListModel::CycleAt(int row) const {
    if (!m_result || row < 0 || row >= rowCount()) return -1;
    const auto r = static_cast<std::size_t>(row);
    return static_cast<std::int64_t>(m_violationsOnly ? m_violating[r] : r);
}

const qvx::analog::Cycle* CQVxCycleListModel::CycleOfRow(int row) const {
    const std::int64_t cycle = CycleAt(row);
    return cycle < 0 ? nullptr : &m_result->cycles[static_cast<std::size_t>(cycle)];
}

int CQVxCycleListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !m_result) return 0;
    return ClampRows(m_violationsOnly ? m_violating.size() : m_result->cycles.size());
}

int CQVxCycleListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CQVxCycleListModel::data(const QModelIndex& index, int role) const {
    const std::int64_t cycle = CycleAt(index.row());
    if (cycle < 0) return {};
    const qvx::analog::Cycle& c = m_result->cycles[static_cast<std::size_t>(cycle)];
    const int column = index.column();
    const bool parameter = column >= 2;
    const auto p = static_cast<std::size_t>(column - 2);
    switch (role) {
        case Qt::DisplayRole:
            if (column == 0) return QString::number(cycle);
            if (column == 1) return QString::number(c.startNs, 'f', 1);
            return std::isnan(c.values[p]) ? QStringLiteral("-") : QString::number(c.values[p], 'g', 8);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        case Qt::BackgroundRole:
            if (parameter && IsViolation(static_cast<std::uint64_t>(cycle), p))
                return QBrush(QColor(255, 190, 190));
            return {};
        default:
            return {};
    }
}

QVariant CQVxCycleListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return m_headers.value(section);
}
