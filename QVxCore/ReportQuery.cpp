#include "QVxCore/ReportQuery.h"

#include <spdlog/spdlog.h>
#include <nlohmann/json.hpp>

#include <fstream>

namespace qvx {

std::optional<ReportQuery> ReadReportQuery(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        spdlog::error("Failed to read the report query file. {}", file.string());
        return std::nullopt;
    }
    try {
        const nlohmann::json query = nlohmann::json::parse(in);
        return ReportQuery{query.at("reportFullPath").get<std::string>(),
                           query.at("commandResultFilePath").get<std::string>()};
    } catch (const nlohmann::json::exception& e) {
        spdlog::error("Invalid report query file {}: {}", file.string(), e.what());
        return std::nullopt;
    }
}

bool WriteReportQueryResult(const std::filesystem::path& resultFile, bool isOpen) {
    std::ofstream out(resultFile, std::ios::binary | std::ios::trunc);
    out << nlohmann::json{{"isReportOpen", isOpen}}.dump();
    out.close();
    if (!out) {
        spdlog::error("Failed to write the report query result. {}", resultFile.string());
        return false;
    }
    return true;
}

}  // namespace qvx
