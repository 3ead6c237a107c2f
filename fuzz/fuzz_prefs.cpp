// Fuzz target: the preferences file, and QVPLUS_TEMP_DIR, which places it. A cache
// folder that loads must save and load back unchanged.
//
// Input: the value of QVPLUS_TEMP_DIR up to the first NUL byte, then the file's bytes
// (the whole input is the file when it holds no NUL byte).

#include "fuzz/fuzz_support.h"

#include "QVxCore/AnalogEnvData.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qvx::fuzz::QuietLogging();
    std::string_view input = qvx::fuzz::AsText(data, size);
    const std::size_t nul = input.find('\0');
    if (nul != std::string_view::npos) {
        ::setenv(qvx::AnalogEnvData::kTempDirVariable, std::string(input.substr(0, nul)).c_str(), 1);
        (void)qvx::AnalogEnvData::GetBaseFolder();
        input.remove_prefix(nul + 1);
    }
    const std::filesystem::path file = qvx::fuzz::ScratchFolder() / "AnalogRCSettings.prf";
    qvx::fuzz::WriteFile(file, input);

    qvx::AnalogEnvData env;
    if (!env.LoadPrefs(file)) return 0;
    if (!env.SavePrefs(file)) return 0;  // a path that is no UTF-8 is refused, logged
    qvx::AnalogEnvData reloaded;
    if (!reloaded.LoadPrefs(file)) qvx::fuzz::Fail("saved preferences do not load");
    if (reloaded.GetCacheFolderPath() != env.GetCacheFolderPath())
        qvx::fuzz::Fail("saved preferences load differently");
    return 0;
}
