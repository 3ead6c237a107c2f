// Fuzz target: the report reader on a folder of one or two ".DAT" files made from the
// input, opened, then read by index, in spans and by time.
//
// Input: 40 bytes of record indexes and times to look up, flags (1 byte: bit 0 two files, bits 1-2 first file
// number, bit 3 repeat the records up to a count, bit 4 the second file gets its own header), second file
// number step (1 byte), repeat count (2 bytes), time step of repeated records (1 byte), split point (2
// bytes), then the 512-byte header, the first file's bytes after its header and the second file's (its header
// first when bit 4 is set).

#include "fuzz/report_fuzz_support.h"

#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportData.h"

#include <fmt/format.h>

namespace {

using qvx::ReportDataReader;

std::string RepeatRecords(std::string_view records, std::uint64_t count, std::uint64_t timeStep) {
    std::string out(records);
    const std::size_t whole = records.size() / qvx::kReportRecordSize;
    if (whole == 0) return out;
    out.resize(whole * qvx::kReportRecordSize);
    const std::uint64_t lastTime = qvx::RecordTimeStamp(reinterpret_cast<const std::uint8_t*>(out.data()) +
                                                        (whole - 1) * qvx::kReportRecordSize);
    for (std::uint64_t r = whole; r < count; ++r) {
        std::string record(records.substr((r % whole) * qvx::kReportRecordSize, qvx::kReportRecordSize));
        if (timeStep != 0)
            qvx::StoreLE(reinterpret_cast<std::uint8_t*>(record.data()),
                         lastTime + (r - whole + 1) * timeStep, 6);
        out += record;
    }
    return out;
}

void ReadEverywhere(ReportDataReader& reader, qvx::fuzz::InputReader& in) {
    const std::uint64_t total = reader.GetTotalRecordCount();
    if (reader.ReadRecordByIndex(total) != nullptr) qvx::fuzz::Fail("a record past the end was read");
    for (const std::uint64_t index : {std::uint64_t{0}, total / 2, total - 1}) {
        if (index < total) reader.ReadRecordByIndex(index);
    }
    for (int i = 0; i < 4; ++i) {
        const std::uint64_t index = in.Take(4) % (total + 2);
        reader.ReadRecordByIndex(index);
        std::uint8_t span[4 * qvx::kReportRecordSize];
        reader.ReadRecordSpan(index, 1 + index % 4, span);
    }
    std::vector<std::uint8_t> buffer;
    std::uint64_t visited = 0;
    reader.ReadStoredRecordChunks(0, total, 1000, buffer,
                                  [&](const std::uint8_t*, std::uint64_t count) { visited += count; });
    if (visited > total) qvx::fuzz::Fail("more stored records than the total");

    std::vector<std::uint64_t> times{0, reader.GetLastTime(), reader.GetLastTime() + 1, ~std::uint64_t{0}};
    for (const auto& file : reader.GetFiles()) {
        times.push_back(file->GetStartTime());
        times.push_back(file->GetEndTime());
    }
    for (int i = 0; i < 4; ++i) times.push_back(in.Take(6));
    for (const std::uint64_t time : times) {
        std::uint64_t index = 0;
        std::uint64_t found = 0;
        if (reader.FindIndexByTime(time, index, found) && index >= total)
            qvx::fuzz::Fail("a time search gave an index past the end");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qvx::fuzz::PrepareReportFuzzing();

    qvx::fuzz::InputReader in(data, size);
    const std::string_view queryBytes = in.TakeBytes(40);
    const std::uint8_t flags = in.TakeByte();
    const std::uint8_t step = in.TakeByte();
    const std::uint64_t repeat = in.Take(2) % 20000;
    const std::uint64_t timeStep = in.TakeByte();
    const std::uint64_t split = in.Take(2);
    const std::string header(in.TakeBytes(qvx::kReportHeaderSize));
    const std::string_view first = in.TakeBytes(split);
    const std::string_view second = in.Rest();

    const std::filesystem::path folder = qvx::fuzz::FreshFolder("repo");
    const unsigned firstNumber = (flags >> 1) & 3;
    std::string firstBytes = header;
    firstBytes += (flags & 8) ? RepeatRecords(first, repeat, timeStep) : std::string(first);
    qvx::fuzz::WriteFile(folder / fmt::format("{:08}.DAT", firstNumber), firstBytes);
    if (flags & 1) {
        const std::string secondBytes = (flags & 16) ? std::string(second) : header + std::string(second);
        qvx::fuzz::WriteFile(folder / fmt::format("{:08}.DAT", firstNumber + 1 + step % 2), secondBytes);
    }

    const qvx::ReportDataReaderPtr reader = ReportDataReader::Open(folder);
    qvx::fuzz::InputReader queries(reinterpret_cast<const std::uint8_t*>(queryBytes.data()),
                                   queryBytes.size());
    if (reader) ReadEverywhere(*reader, queries);
    return 0;
}
