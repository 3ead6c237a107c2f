// counter_report_check REPO_FOLDER RATE [--times-only]: checks that the report files (*.DAT, in
// name order: a 512-byte header, then 16-byte records) of a recording of the simulated unit's
// counter pattern at RATE records/s hold records i, i+1, i+2, ... without a gap or a changed
// byte, i being the first record of the first file there (0 for 00000000.DAT; a file number n
// after rotation starts at n x 33,554,432). --times-only checks the time stamps alone, which
// every signal of the simulated unit shares (a recording of the demo signal: nothing lost).
// Prints the number of records; exits 1 at the first record that differs, 2 on bad arguments
// or unreadable files.

#include "qvusb/qvusb_report_format.h"
#include "qvusb/tests/CounterPattern.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using qvusb::report::kReportHeaderSize;
using qvusb::report::kReportRecordSize;
constexpr uint64_t kRecordsPerFile = 33554432;  // the program's report files after rotation

bool MatchesTimeStamp(const uint8_t* record, uint64_t i, uint64_t rate) {
    uint64_t word = 0;
    std::memcpy(&word, record, 8);
    return (word & qvusb::report::kRecordTimeMask) == qvusb::test::CounterTimeStamp(i, rate);
}

std::vector<fs::path> ReportFiles(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".DAT") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    const bool timesOnly = argc == 4 && std::string(argv[3]) == "--times-only";
    if (argc != 3 && !timesOnly) {
        std::fprintf(stderr, "usage: counter_report_check REPO_FOLDER RATE [--times-only]\n");
        return 2;
    }
    const uint64_t rate = std::strtoull(argv[2], nullptr, 10);
    const auto files = ReportFiles(argv[1]);
    if (files.empty() || rate == 0) {
        std::fprintf(stderr, "counter_report_check: no report files in %s or bad rate\n", argv[1]);
        return 2;
    }
    const uint64_t first = std::strtoull(files.front().stem().c_str(), nullptr, 10) * kRecordsPerFile;
    uint64_t index = first;
    std::vector<char> block(kReportRecordSize * 65536);
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        in.seekg(kReportHeaderSize);
        while (in) {
            in.read(block.data(), static_cast<std::streamsize>(block.size()));
            const size_t got = static_cast<size_t>(in.gcount());
            if (got % kReportRecordSize != 0) {
                std::fprintf(stderr, "counter_report_check: %s ends in a partial record\n", file.c_str());
                return 1;
            }
            for (size_t offset = 0; offset < got; offset += kReportRecordSize, ++index) {
                const auto* record = reinterpret_cast<const uint8_t*>(block.data() + offset);
                if (timesOnly ? !MatchesTimeStamp(record, index, rate)
                              : !qvusb::test::MatchesCounterPattern(record, index, rate)) {
                    std::fprintf(stderr, "counter_report_check: record %llu in %s differs\n",
                                 static_cast<unsigned long long>(index), file.c_str());
                    return 1;
                }
            }
        }
    }
    std::printf("records %llu", static_cast<unsigned long long>(index - first));
    if (first != 0) std::printf(" from %llu", static_cast<unsigned long long>(first));
    std::printf("\n");
    return 0;
}
