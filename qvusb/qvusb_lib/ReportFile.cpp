#include "qvusb/qvusb_lib/ReportFile.h"

#include <cstring>

namespace qvusb {

namespace {

void Put32(uint8_t* p, uint32_t v) {
    std::memcpy(p, &v, 4);
}  // little-endian target

}  // namespace

void BuildReportHeader(uint8_t* header, int64_t startSeconds) {
    using namespace report;
    std::memset(header, 0, kReportHeaderSize);
    std::memcpy(header + kHeaderOffsetMagic, kReportMagic.data(), kReportMagic.size());
    Put32(header + kHeaderOffsetFixedWord, kReportFixedWord);
    Put32(header + kHeaderOffsetWriterId, kLibraryWriterId);
    Put32(header + kHeaderOffsetReportFormat, kReportFormatAnalog);
    Put32(header + kHeaderOffsetWriterSubId, kLibraryWriterSubId);
    Put32(header + kHeaderOffsetContentFlags, static_cast<uint32_t>(kContentFlagAnalog));
    // Only the low 32 bits of the start seconds; the upper half of the field stays 0.
    Put32(header + kHeaderOffsetStartSeconds, static_cast<uint32_t>(startSeconds));
}

void SetReportDataLength(uint8_t* header, uint64_t dataBytes) {
    std::memcpy(header + report::kHeaderOffsetDataBytes, &dataBytes, 8);
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
