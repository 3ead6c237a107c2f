// Fuzz target: the report metadata file "meta" (the display trigger list and the
// bookmarks). Whatever loads must save and load back to the same lists.

#include "fuzz/fuzz_support.h"

#include "QVxCore/Archive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qvx::fuzz::QuietLogging();
    const std::filesystem::path file = qvx::fuzz::ScratchFolder() / "meta";
    qvx::fuzz::WriteFile(file, qvx::fuzz::AsText(data, size));

    qvx::AnalogBookmarkList bookmarks;
    if (qvx::Archive::LoadBookmarks(bookmarks, file)) {
        const std::filesystem::path copy = qvx::fuzz::ScratchFolder() / "meta-bookmarks";
        if (!qvx::Archive::SaveMetadata({}, bookmarks, copy))
            qvx::fuzz::Fail("loaded bookmarks cannot be saved");
        qvx::AnalogBookmarkList reloadedBookmarks;
        if (!qvx::Archive::LoadBookmarks(reloadedBookmarks, copy))
            qvx::fuzz::Fail("saved bookmarks do not load");
        if (!(reloadedBookmarks == bookmarks)) qvx::fuzz::Fail("saved bookmarks load differently");
    }

    qvx::AnalogDisplayTriggerList list;
    if (!qvx::Archive::Load(list, file)) return 0;
    if (!qvx::Archive::Save(list, file)) qvx::fuzz::Fail("a loaded list cannot be saved");
    qvx::AnalogDisplayTriggerList reloaded;
    if (!qvx::Archive::Load(reloaded, file)) qvx::fuzz::Fail("a saved list does not load");
    if (!(reloaded == list)) qvx::fuzz::Fail("a saved list loads differently");
    return 0;
}
