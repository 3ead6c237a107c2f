#pragma once
// Bookmarks of one recording: named times with a note, kept by the session and saved
// as the member "bookmarks" of the report metadata file "meta". The waveform window
// draws each visible one as a mark flag. Plain data; the owner serialises access.

#include "QVxCore/Color.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvx {

struct AnalogBookmark {
    std::int32_t id = 0;        // unique in its recording, 1 or more
    std::int64_t timeNSec = 0;  // ns from the recording's start
    std::string name;           // UTF-8, at most kMaxBookmarkTextLength characters
    std::string note;           // UTF-8, at most kMaxBookmarkTextLength characters
    Color color;                // not set (alpha 0): the style's mark colour
    bool visible = true;

    friend bool operator==(const AnalogBookmark&, const AnalogBookmark&) = default;
};

// In the order they were added.
using AnalogBookmarkList = std::vector<AnalogBookmark>;

// Characters (Unicode code points) a name or a note may have.
inline constexpr std::size_t kMaxBookmarkTextLength = 1000;
// Bookmarks one recording keeps; more are refused, so "meta" stays small enough to load.
inline constexpr std::size_t kMaxBookmarks = 10'000;

// Why `text` cannot be a bookmark's name or note (`what` names it in the message):
// not UTF-8, or longer than kMaxBookmarkTextLength characters. None when it can.
std::optional<std::string> CheckBookmarkText(std::string_view text, std::string_view what);

// Why a bookmark cannot stand at `timeNSec` in a recording whose last record is at
// `lastTimeNSec`: before its start or after its end. None when it can.
std::optional<std::string> CheckBookmarkTime(std::int64_t timeNSec, std::int64_t lastTimeNSec);

// The id a new bookmark of `list` gets: one more than the largest, 1 for an empty list.
std::int32_t NextBookmarkId(const AnalogBookmarkList& list);

// "B" and the id: the name a new bookmark gets.
std::string DefaultBookmarkName(std::int32_t id);

AnalogBookmark* FindBookmark(AnalogBookmarkList& list, std::int32_t id);
const AnalogBookmark* FindBookmark(const AnalogBookmarkList& list, std::int32_t id);

}  // namespace qvx
