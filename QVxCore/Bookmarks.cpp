#include "QVxCore/Bookmarks.h"

#include <fmt/format.h>

#include <algorithm>

namespace qvx {

namespace {

// Code points of `text`, or none when it is not well-formed UTF-8 (overlong forms,
// surrogates and values above U+10FFFF are refused).
std::optional<std::size_t> CountUtf8CodePoints(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++count) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t value = 0;
        if (lead < 0x80) {
            length = 1;
            value = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            value = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            value = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            value = lead & 0x07;
        } else {
            return std::nullopt;
        }
        if (i + length > text.size()) return std::nullopt;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            value = (value << 6) | (next & 0x3F);
        }
        static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return std::nullopt;
        i += length;
    }
    return count;
}

}  // namespace

std::optional<std::string> CheckBookmarkText(std::string_view text, std::string_view what) {
    const std::optional<std::size_t> length = CountUtf8CodePoints(text);
    if (!length) return fmt::format("the {} is not UTF-8 text", what);
    if (*length > kMaxBookmarkTextLength)
        return fmt::format("the {} has {} characters; at most {} are allowed", what, *length,
                           kMaxBookmarkTextLength);
    return std::nullopt;
}

std::optional<std::string> CheckBookmarkTime(std::int64_t timeNSec, std::int64_t lastTimeNSec) {
    if (timeNSec < 0 || timeNSec > lastTimeNSec)
        return fmt::format("the time {} ns lies outside the recording (0 to {} ns)", timeNSec, lastTimeNSec);
    return std::nullopt;
}

std::int32_t NextBookmarkId(const AnalogBookmarkList& list) {
    std::int32_t largest = 0;
    for (const AnalogBookmark& bookmark : list) largest = std::max(largest, bookmark.id);
    return largest + 1;
}

std::string DefaultBookmarkName(std::int32_t id) {
    return "B" + std::to_string(id);
}

AnalogBookmark* FindBookmark(AnalogBookmarkList& list, std::int32_t id) {
    const auto it =
        std::find_if(list.begin(), list.end(), [id](const AnalogBookmark& b) { return b.id == id; });
    return it == list.end() ? nullptr : &*it;
}

const AnalogBookmark* FindBookmark(const AnalogBookmarkList& list, std::int32_t id) {
    return FindBookmark(const_cast<AnalogBookmarkList&>(list), id);
}

}  // namespace qvx
