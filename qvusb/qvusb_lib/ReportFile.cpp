#include "qvusb/qvusb_lib/ReportFile.h"

#include <cstring>

namespace qvusb {

namespace {

void Put32(uint8_t* p, uint32_t v) {
    std::memcpy(p, &v, 4);
}  // little-endian target

}  // namespace

void BuildReportHeader(uint8_t* header, int64_t startSeconds) {
    std::memset(header, 0, kReportHeaderSize);
    std::memcpy(header, "QMRS-QV-DATA.   ", 16);
    Put32(header + 24, 1);
    Put32(header + 28, 1024);  // writer identification: the device library
    Put32(header + 32, 6);     // report format: analog 4-channel records
    Put32(header + 36, 2);
    Put32(header + 40, 8);  // content flags: analog layout
    Put32(header + 48, static_cast<uint32_t>(startSeconds));
}

std::string ReportFilePath(const std::string& folder, const std::string& prefix, uint32_t number) {
    char name[16];
    std::snprintf(name, sizeof(name), "%08X", number);
    return folder + prefix + name + ".DAT";
}

bool RewriteReportHeader(std::FILE* file, uint8_t* header, uint64_t dataBytes) {
    std::memcpy(header + 16, &dataBytes, 8);
    if (std::fseek(file, 0, SEEK_SET) != 0) return false;
    if (std::fwrite(header, 1, kReportHeaderSize, file) != kReportHeaderSize) return false;
    return std::fflush(file) == 0;
}

}  // namespace qvusb
