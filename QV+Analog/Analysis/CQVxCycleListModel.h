#pragma once
// The cycle pane's list: one row per cycle of a result, or per violating cycle only. The
// view asks for the rows it shows, so millions of cycles cost one flag per cycle and the
// row numbers of the violating ones. Cells outside their limits are tinted. GUI thread.

#include "QV+AnalogCore/Analysis/QVxAnalogCycleJobs.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <memory>
#include <vector>

class CQVxCycleListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int kColumnCount = 2 + static_cast<int>(qvx::analog::kCycleParameterCount);

    explicit CQVxCycleListModel(QObject* parent = nullptr);

    void SetResult(std::shared_ptr<const qvx::analog::QVxAnalogCycleJobs::Result> result);
    void SetViolationsOnly(bool on);
    bool IsViolationsOnly() const { return m_violationsOnly; }

    // The cycle number of `row`; -1 outside the rows.
    std::int64_t CycleAt(int row) const;
    const qvx::analog::Cycle* CycleOfRow(int row) const;
    // Whether `parameter` of cycle `cycle` lies outside its limits.
    bool IsViolation(std::uint64_t cycle, std::size_t parameter) const {
        return (m_flags[cycle] >> parameter) & 1u;
    }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::shared_ptr<const qvx::analog::QVxAnalogCycleJobs::Result> m_result;
    std::vector<std::uint16_t> m_flags;      // per cycle: bit p set when parameter p violates
    std::vector<std::uint64_t> m_violating;  // cycle numbers with any violation
    bool m_violationsOnly = false;
    QStringList m_headers;
};
