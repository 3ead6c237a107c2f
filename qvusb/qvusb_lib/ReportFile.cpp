#include "qvusb/qvusb_lib/ReportFile.h"

#include <cstring>

namespace qvusb {

void BuildLibraryReportHeader(uint8_t* header, int64_t startSeconds) {
    // Only the low 32 bits of the start seconds; the upper half of the field stays 0.
    report::BuildReportHeader(header, report::kLibraryWriterId, report::kLibraryWriterSubId,
                              static_cast<uint32_t>(startSeconds));
}

void SetReportDataLength(uint8_t* header, uint64_t dataBytes) {
    report::StoreLE(header + report::kHeaderOffsetDataBytes, dataBytes, 8);
}

std::string ReportFilePath(const std::string& folder, const std::string& prefix, uint32_t number) {
    char name[16];
    std::snprintf(name, sizeof(name), "%08X", number);
    return folder + prefix + name + ".DAT";
}

bool RewriteReportHeader(std::FILE* file, uint8_t* header, uint64_t dataBytes) {
    SetReportDataLength(header, dataBytes);
    if (std::fseek(file, 0, SEEK_SET) != 0) return false;
    if (std::fwrite(header, 1, kReportHeaderSize, file) != kReportHeaderSize) return false;
    return std::fflush(file) == 0;
}

}  // namespace qvusb
