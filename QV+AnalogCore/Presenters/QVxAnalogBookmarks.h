#pragma once
// The bookmarks of the open session as the window and the bookmarks pane edit them:
// every change goes into the session's list, marks its bookmarks changed (saved with
// the session) and is mirrored into the mark list the track area draws as flags. For
// a recording that was never saved the change is also written to its "meta" at once,
// so that a recovery after a crash finds it. A flag dragged in the window moves its
// bookmark when the drag ends. GUI thread only.

#include "QVxCore/AnalogSession.h"
#include "QVxCore/Bookmarks.h"
#include "QVxCore/Presenters/Signal.h"
#include "QVxCore/Presenters/WaveformDisplayTriggerPresenter.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QVxAnalogBookmarks {
public:
    // The colour of a bookmark whose own colour is not set.
    static constexpr qvx::Color kDefaultColor{0, 160, 80};

    explicit QVxAnalogBookmarks(qvx::WaveformDisplayTriggerPresenter& marks);
    ~QVxAnalogBookmarks();
    QVxAnalogBookmarks(const QVxAnalogBookmarks&) = delete;
    QVxAnalogBookmarks& operator=(const QVxAnalogBookmarks&) = delete;

    // The list, a bookmark or the selection changed.
    qvx::Signal<> Changed;

    // Whether the session is a recording never saved, whose "meta" is rewritten at
    // every change (asked at each change).
    using WriteThroughQuery = std::function<bool()>;
    void SetWriteThroughQuery(WriteThroughQuery query) { m_writeThrough = std::move(query); }
    // Follows `session` (may be null; not owned); warns of bookmarks that did not load.
    void Bind(qvx::AnalogSession* session);

    // Commands: none on success, else why nothing changed (a clear message: no report,
    // unknown id, a time outside the recording, a text too long, too many bookmarks).
    // Add names the bookmark "B<id>" when `name` is empty and selects it.
    std::optional<std::string> Add(std::int64_t timeNSec, const std::string& name = {},
                                   const std::string& note = {}, std::int32_t* outId = nullptr);
    std::optional<std::string> Rename(std::int32_t id, const std::string& name);
    std::optional<std::string> SetNote(std::int32_t id, const std::string& note);
    std::optional<std::string> SetColor(std::int32_t id, qvx::Color color);
    std::optional<std::string> SetVisible(std::int32_t id, bool visible);
    std::optional<std::string> Move(std::int32_t id, std::int64_t timeNSec);
    std::optional<std::string> Delete(std::int32_t id);
    // Deletes the selected bookmark; false when none is selected.
    bool DeleteSelected();

    void Select(std::int32_t id);
    std::int32_t GetSelected() const { return m_marks.GetSelectedMark(); }

    // The first bookmark after `timeNSec` / the last one before it, by time (ties by
    // id); none at the end of the list.
    std::optional<qvx::AnalogBookmark> Next(std::int64_t timeNSec) const;
    std::optional<qvx::AnalogBookmark> Previous(std::int64_t timeNSec) const;

    // The session's bookmarks (empty without a session).
    const qvx::AnalogBookmarkList& List() const;
    const qvx::AnalogBookmark* Find(std::int32_t id) const;
    // Whether the bookmarks differ from those last saved with the session.
    bool HaveUnsavedChanges() const;
    // Time (ns) of the recording's last record; none without report data.
    std::optional<std::int64_t> LastTime() const;

private:
    std::optional<std::string> Edit(std::int32_t id, const std::function<void(qvx::AnalogBookmark&)>& change);
    void Commit();
    void MirrorMarks();

    qvx::WaveformDisplayTriggerPresenter& m_marks;
    qvx::AnalogSession* m_session = nullptr;
    WriteThroughQuery m_writeThrough;
    std::shared_ptr<qvx::SignalConnection> m_movedConnection;
    std::shared_ptr<qvx::SignalConnection> m_selectedConnection;
};
