#pragma once
// Report data files written by the library itself: "<folder><prefix><number as %08X>.DAT", a
// 512-byte header, then the bytes exactly as read from the unit. The header's data length is 0
// while the file is written and rewritten with the exact length when it is closed.

#include "qvusb/qvusb_report_format.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace qvusb {

using report::kReportHeaderSize;

// Fills the header with start time (low 32 bits of the seconds since 1970) and data length 0.
void BuildLibraryReportHeader(uint8_t* header512, int64_t startSeconds);
// Sets the header's data length (bytes after the header).
void SetReportDataLength(uint8_t* header512, uint64_t dataBytes);
std::string ReportFilePath(const std::string& folder, const std::string& prefix, uint32_t number);
// Writes the data length into the header, seeks to the start and writes the header again.
bool RewriteReportHeader(std::FILE* file, uint8_t* header512, uint64_t dataBytes);

}  // namespace qvusb
