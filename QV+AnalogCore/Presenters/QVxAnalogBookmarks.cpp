#include "QV+AnalogCore/Presenters/QVxAnalogBookmarks.h"

#include "QVxCore/ReportData/ReportData.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <functional>

namespace {

const qvx::AnalogBookmarkList kNoBookmarks;

std::string UnknownId(std::int32_t id) {
    return "no bookmark has the id " + std::to_string(id);
}

}  // namespace

QVxAnalogBookmarks::QVxAnalogBookmarks(qvx::WaveformDisplayTriggerPresenter& marks) : m_marks(marks) {
    m_movedConnection = m_marks.MarkMoved.Connect([this](int id, std::int64_t time) {
        if (const auto problem = Move(id, time)) {
            spdlog::warn("The bookmark {} was not moved: {}", id, *problem);
            MirrorMarks();  // the flag goes back to its bookmark
        }
    });
    m_selectedConnection = m_marks.SelectedMarkChanged.Connect([this](int) { Changed.Emit(); });
}

QVxAnalogBookmarks::~QVxAnalogBookmarks() {
    m_movedConnection->Disconnect();
    m_selectedConnection->Disconnect();
}

void QVxAnalogBookmarks::Bind(qvx::AnalogSession* session) {
    m_session = session;
    if (session) {
        for (const std::string& problem : session->GetBookmarkProblems())
            spdlog::warn("Bookmark not loaded: {}", problem);
    }
    MirrorMarks();
    Changed.Emit();
}

const qvx::AnalogBookmarkList& QVxAnalogBookmarks::List() const {
    return m_session ? m_session->GetBookmarks() : kNoBookmarks;
}

const qvx::AnalogBookmark* QVxAnalogBookmarks::Find(std::int32_t id) const {
    return qvx::FindBookmark(List(), id);
}

bool QVxAnalogBookmarks::HaveUnsavedChanges() const {
    return m_session && m_session->HaveBookmarksChanged();
}

std::optional<std::int64_t> QVxAnalogBookmarks::LastTime() const {
    if (!m_session || !m_session->GetReportData()) return std::nullopt;
    return static_cast<std::int64_t>(m_session->GetReportData()->GetLastTime()) * 10;  // 10 ns ticks
}

std::optional<std::string> QVxAnalogBookmarks::Add(std::int64_t timeNSec, const std::string& name,
                                                   const std::string& note, std::int32_t* outId) {
    const std::optional<std::int64_t> last = LastTime();
    if (!last) return "there is no recording to bookmark";
    if (auto problem = qvx::CheckBookmarkTime(timeNSec, *last)) return problem;
    if (auto problem = qvx::CheckBookmarkText(name, "name")) return problem;
    if (auto problem = qvx::CheckBookmarkText(note, "note")) return problem;
    qvx::AnalogBookmarkList& list = m_session->GetBookmarks();
    if (list.size() >= qvx::kMaxBookmarks)
        return "a recording keeps at most " + std::to_string(qvx::kMaxBookmarks) + " bookmarks";
    qvx::AnalogBookmark bookmark;
    bookmark.id = qvx::NextBookmarkId(list);
    bookmark.timeNSec = timeNSec;
    bookmark.name = name.empty() ? qvx::DefaultBookmarkName(bookmark.id) : name;
    bookmark.note = note;
    list.push_back(bookmark);
    if (outId) *outId = bookmark.id;
    Commit();
    Select(bookmark.id);
    return std::nullopt;
}

std::optional<std::string> QVxAnalogBookmarks::Edit(std::int32_t id,
                                                    const std::function<void(qvx::AnalogBookmark&)>& change) {
    qvx::AnalogBookmark* bookmark = m_session ? qvx::FindBookmark(m_session->GetBookmarks(), id) : nullptr;
    if (!bookmark) return UnknownId(id);
    const qvx::AnalogBookmark before = *bookmark;
    change(*bookmark);
    if (*bookmark != before) Commit();
    return std::nullopt;
}

std::optional<std::string> QVxAnalogBookmarks::Rename(std::int32_t id, const std::string& name) {
    if (auto problem = qvx::CheckBookmarkText(name, "name")) return problem;
    return Edit(id,
                [&](qvx::AnalogBookmark& b) { b.name = name.empty() ? qvx::DefaultBookmarkName(id) : name; });
}

std::optional<std::string> QVxAnalogBookmarks::SetNote(std::int32_t id, const std::string& note) {
    if (auto problem = qvx::CheckBookmarkText(note, "note")) return problem;
    return Edit(id, [&](qvx::AnalogBookmark& b) { b.note = note; });
}

std::optional<std::string> QVxAnalogBookmarks::SetColor(std::int32_t id, qvx::Color color) {
    return Edit(id, [&](qvx::AnalogBookmark& b) { b.color = color; });
}

std::optional<std::string> QVxAnalogBookmarks::SetVisible(std::int32_t id, bool visible) {
    return Edit(id, [&](qvx::AnalogBookmark& b) { b.visible = visible; });
}

std::optional<std::string> QVxAnalogBookmarks::Move(std::int32_t id, std::int64_t timeNSec) {
    const std::optional<std::int64_t> last = LastTime();
    if (!last) return "there is no recording";
    if (auto problem = qvx::CheckBookmarkTime(timeNSec, *last)) return problem;
    return Edit(id, [&](qvx::AnalogBookmark& b) { b.timeNSec = timeNSec; });
}

std::optional<std::string> QVxAnalogBookmarks::Delete(std::int32_t id) {
    if (!m_session || !Find(id)) return UnknownId(id);
    qvx::AnalogBookmarkList& list = m_session->GetBookmarks();
    std::erase_if(list, [id](const qvx::AnalogBookmark& b) { return b.id == id; });
    Commit();
    return std::nullopt;
}

bool QVxAnalogBookmarks::DeleteSelected() {
    const std::int32_t id = GetSelected();
    return id != 0 && !Delete(id);
}

void QVxAnalogBookmarks::Select(std::int32_t id) {
    m_marks.SetSelectedMark(id);  // raises Changed through SelectedMarkChanged
}

namespace {

bool Earlier(const qvx::AnalogBookmark& a, const qvx::AnalogBookmark& b) {
    return a.timeNSec != b.timeNSec ? a.timeNSec < b.timeNSec : a.id < b.id;
}

}  // namespace

std::optional<qvx::AnalogBookmark> QVxAnalogBookmarks::Next(std::int64_t timeNSec) const {
    std::optional<qvx::AnalogBookmark> best;
    for (const qvx::AnalogBookmark& b : List()) {
        if (b.timeNSec > timeNSec && (!best || Earlier(b, *best))) best = b;
    }
    return best;
}

std::optional<qvx::AnalogBookmark> QVxAnalogBookmarks::Previous(std::int64_t timeNSec) const {
    std::optional<qvx::AnalogBookmark> best;
    for (const qvx::AnalogBookmark& b : List()) {
        if (b.timeNSec < timeNSec && (!best || Earlier(*best, b))) best = b;
    }
    return best;
}

void QVxAnalogBookmarks::Commit() {
    if (m_writeThrough && m_writeThrough() && !m_session->SaveMetadata())
        spdlog::warn("The bookmarks could not be kept beside the unsaved recording in {}.",
                     m_session->GetReportFolderPath().string());
    m_session->MarkBookmarksChanged();  // still to be saved with the session
    MirrorMarks();
    Changed.Emit();
}

void QVxAnalogBookmarks::MirrorMarks() {
    std::vector<qvx::WaveformMark> marks;
    for (const qvx::AnalogBookmark& b : List())
        marks.push_back({b.id, b.visible, b.color.IsSet() ? b.color : kDefaultColor, b.timeNSec,
                         b.note.empty() ? b.name : b.name + "\n" + b.note});
    m_marks.SetMarkList(std::move(marks));
}
