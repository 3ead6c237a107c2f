// Fuzz target: the overview file of a report data file, opened directly and through the
// report reader (which takes its block table from a valid overview).
//
// Input: flags (1 byte: bit 0 make the overview's sizes and checksums consistent, so the
// input reaches what lies behind them), record count (4 bytes, used with bit 0), 48 bytes
// of block numbers and times to look up, then the overview file's bytes. The data file
// is a sparse file of zero records whose size the overview names (with bit 0: the record
// count), at most 64 MiB.

#include "fuzz/report_fuzz_support.h"

#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportOverviewFile.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

namespace ov = qvx::overview;

constexpr std::uint64_t kMaxDataBytes = 64ull << 20;

// Sizes, layout fields and checksums that match `records`, around the input's entries.
std::string MakeConsistent(std::string bytes, std::uint64_t records) {
    const ov::Layout layout = ov::LayoutFor(records);
    bytes.resize(layout.fileSize);
    auto* p = reinterpret_cast<std::uint8_t*>(bytes.data());
    std::copy(ov::kMagic.begin(), ov::kMagic.end(), bytes.begin());
    qvx::StoreLE32(p + ov::kOvwOffsetVersion, ov::kVersion);
    qvx::StoreLE32(p + ov::kOvwOffsetHeaderBytes, ov::kHeaderBytes);
    qvx::StoreLE64(p + ov::kOvwOffsetDataFileSize, qvx::kReportHeaderSize + records * qvx::kReportRecordSize);
    qvx::StoreLE64(p + ov::kOvwOffsetRecordCount, records);
    qvx::StoreLE32(p + ov::kOvwOffsetLevelCount, ov::kLevelCount);
    qvx::StoreLE32(p + ov::kOvwOffsetEntryBytes, ov::kEntryBytes);
    for (std::size_t i = 0; i < ov::kLevelCount; ++i) {
        qvx::StoreLE32(p + ov::kOvwOffsetBlockRecords + 4 * i,
                       static_cast<std::uint32_t>(ov::kBlockRecords[i]));
        qvx::StoreLE64(p + ov::kOvwOffsetBlockCounts + 8 * i, layout.counts[i]);
    }
    qvx::StoreLE64(p + ov::kOvwOffsetTailOffset, layout.tailOffset);
    qvx::StoreLE64(p + ov::kOvwOffsetFileSize, layout.fileSize);
    for (std::uint64_t g = 0; g < layout.counts[1]; ++g) {
        const std::uint64_t first = g * ov::kLevel0PerLevel1;
        const std::uint64_t n = std::min(ov::kLevel0PerLevel1, layout.counts[0] - first);
        qvx::StoreLE64(p + layout.tailOffset + 8 * g,
                       ov::Checksum(p + ov::kHeaderBytes + first * ov::kEntryBytes, n * ov::kEntryBytes));
    }
    std::uint64_t sum = ov::Checksum(p, ov::kOvwChecksummedHeaderBytes);
    sum = ov::Checksum(p + layout.tailOffset, layout.fileSize - layout.tailOffset, sum);
    qvx::StoreLE64(p + ov::kOvwOffsetChecksum, sum);
    return bytes;
}

void WriteSparseDataFile(const std::filesystem::path& path, std::uint64_t bytes) {
    const qvx::ReportHeader header = qvx::MakeApplicationReportHeader();
    qvx::fuzz::WriteFile(path, qvx::fuzz::AsText(header.data(), header.size()));
    if (bytes > header.size()) {
        if (::truncate(path.c_str(), static_cast<off_t>(bytes)) != 0)
            qvx::fuzz::Fail("cannot size the data file");
    }
}

void QueryOverview(qvx::ReportOverviewFile& file, qvx::fuzz::InputReader& in) {
    const std::uint64_t blocks = file.GetBlockCount(0);
    for (int i = 0; i < 4; ++i) {
        const auto lower = file.LowerBoundBlock(in.Take(6));
        if (lower && *lower > blocks) qvx::fuzz::Fail("a lower bound past the last block");
        file.BlockTime(in.Take(3) % (blocks + 2));
        const std::uint64_t first = in.Take(2) % (blocks + 2);
        const std::uint64_t end = first + in.Take(1) * in.Take(1);
        file.Fold(first, end, (i & 1) != 0);
    }
    file.Fold(0, blocks, true);
}

void QueryReader(const std::filesystem::path& folder, qvx::fuzz::InputReader& in) {
    const qvx::ReportDataReaderPtr reader = qvx::ReportDataReader::Open(folder);
    if (!reader) return;
    const std::uint64_t total = reader->GetTotalRecordCount();
    for (int i = 0; i < 4; ++i) {
        std::uint64_t index = 0;
        std::uint64_t time = 0;
        if (reader->FindIndexByTime(in.Take(6), index, time) && index >= total)
            qvx::fuzz::Fail("a time search gave an index past the end");
    }
    if (total > 0) reader->ReadRecordByIndex(total - 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qvx::fuzz::PrepareReportFuzzing();

    qvx::fuzz::InputReader in(data, size);
    const std::uint8_t flags = in.TakeByte();
    const std::uint64_t records = in.Take(4) % 600000;
    const std::string_view queryBytes = in.TakeBytes(48);
    std::string overviewBytes(in.Rest());

    std::uint64_t dataBytes = 0;
    if (flags & 1) {
        overviewBytes = MakeConsistent(std::move(overviewBytes), records);
        dataBytes = qvx::kReportHeaderSize + records * qvx::kReportRecordSize;
    } else if (overviewBytes.size() >= ov::kHeaderBytes) {
        dataBytes = qvx::LoadLE64(reinterpret_cast<const std::uint8_t*>(overviewBytes.data()) +
                                  ov::kOvwOffsetDataFileSize);
    }
    dataBytes = std::clamp<std::uint64_t>(dataBytes, qvx::kReportHeaderSize, kMaxDataBytes);

    const std::filesystem::path folder = qvx::fuzz::FreshFolder("repo");
    const std::filesystem::path dataFile = folder / "00000000.DAT";
    WriteSparseDataFile(dataFile, dataBytes);
    const std::filesystem::path overviewFile = qvx::ReportOverviewStore::SiblingPath(dataFile);
    std::error_code ec;
    std::filesystem::remove_all(overviewFile.parent_path(), ec);
    std::filesystem::create_directories(overviewFile.parent_path());
    qvx::fuzz::WriteFile(overviewFile, overviewBytes);

    qvx::fuzz::InputReader queries(reinterpret_cast<const std::uint8_t*>(queryBytes.data()),
                                   queryBytes.size());
    qvx::ReportOverviewFile::Opened opened = qvx::ReportOverviewFile::Open(overviewFile, dataFile);
    if (opened.file) QueryOverview(*opened.file, queries);
    QueryReader(folder, queries);
    return 0;
}
