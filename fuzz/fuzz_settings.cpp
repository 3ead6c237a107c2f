// Fuzz target: the session settings file (".qvxa"). Whatever loads must save, and the
// saved text must load back to the same settings (a file the program writes must open).

#include "fuzz/fuzz_support.h"

#include "QVxCore/Archive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qvx::fuzz::QuietLogging();
    const std::filesystem::path file = qvx::fuzz::ScratchFolder() / "settings.qvxa";
    qvx::fuzz::WriteFile(file, qvx::fuzz::AsText(data, size));

    qvx::AnalogSettings settings;
    if (!qvx::Archive::Load(settings, file)) return 0;
    const std::optional<std::string> text = qvx::Archive::ToText(settings);
    if (!text) qvx::fuzz::Fail("loaded settings cannot be saved");
    qvx::fuzz::WriteFile(file, *text);
    qvx::AnalogSettings reloaded;
    if (!qvx::Archive::Load(reloaded, file)) qvx::fuzz::Fail("saved settings do not load");
    if (qvx::Archive::ToText(reloaded) != text) qvx::fuzz::Fail("saved settings load differently");
    return 0;
}
