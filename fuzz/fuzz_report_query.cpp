// Fuzz target: the report query file another family application writes.

#include "fuzz/fuzz_support.h"

#include "QVxCore/ReportQuery.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qvx::fuzz::QuietLogging();
    const std::filesystem::path file = qvx::fuzz::ScratchFolder() / "query.json";
    qvx::fuzz::WriteFile(file, qvx::fuzz::AsText(data, size));
    const std::optional<qvx::ReportQuery> query = qvx::ReadReportQuery(file);
    if (query) {
        // Only the reading is under test; the answer goes to a fixed file of the scratch folder.
        qvx::WriteReportQueryResult(qvx::fuzz::ScratchFolder() / "answer.json",
                                    !query->reportFullPath.empty());
    }
    return 0;
}
