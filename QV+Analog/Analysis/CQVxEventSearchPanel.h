#pragma once
// The search commands under the display trigger's settings: "前を検索", "次を検索" and
// "すべて検索" over the whole stored report or between M1 and M2. Next and previous move
// the cursor to the hit and centre the window on it (through the views' synchronisation);
// find all replaces the session's display-trigger list with the hits, numbered as a trace
// lists them. Each search runs behind the cancellable progress dialog on its worker thread,
// with a reader of its own. GUI thread only.

#include "QV+AnalogCore/Analysis/QVxAnalogReportAnalysisTasks.h"

#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QPushButton;
class QVxAnalogViewModel;

namespace qvx {
class SignalConnection;
}

class CQVxEventSearchPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int kRangeWhole = 0;
    static constexpr int kRangeMarkers = 1;

    // `viewModel` must outlive the panel.
    CQVxEventSearchPanel(QVxAnalogViewModel& viewModel, QWidget* parent);
    ~CQVxEventSearchPanel() override;

    // Whether a stored report can be searched now (a session with report data, no trace).
    bool CanSearch() const;
    // The commands; false when nothing was found, the search was cancelled or refused
    // (with a message, except for a cancel).
    bool FindNext();
    bool FindPrevious();
    bool FindAll();

    QComboBox* GetRangeBox() const { return m_range; }
    // The hits of the last find all (also in the session's list).
    const std::vector<qvx::analog::ReportEventSearch::Hit>& GetLastHits() const { return m_lastHits; }

Q_SIGNALS:
    // Find all replaced the session's display-trigger list.
    void HitsReplaced();

private:
    std::optional<qvx::analog::EventSearchRequest> MakeRequest(qvx::analog::EventSearchKind kind);
    std::optional<qvx::analog::ReportEventSearch::Result> Run(const qvx::analog::EventSearchRequest& request);
    bool FindOne(qvx::analog::EventSearchKind kind);
    void UpdateEnabled();

    QVxAnalogViewModel& m_viewModel;
    QComboBox* m_range;
    QPushButton* m_previous;
    QPushButton* m_next;
    QPushButton* m_all;
    std::vector<qvx::analog::ReportEventSearch::Hit> m_lastHits;
    std::vector<std::shared_ptr<qvx::SignalConnection>> m_connections;
};
