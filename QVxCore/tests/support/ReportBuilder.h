#pragma once
// Test and benchmark support: writes report folders of ".DAT" files.
//
//   qvx::test::TempDir dir("reader");
//   qvx::test::ReportBuilder(dir.Path())
//       .Times([](std::uint64_t index) { return index * 10; })
//       .AddFile(3, qvx::kRecordsPerReportFile, qvx::test::ReportBuilder::kSparse)  // files 0-2 rotated away
//       .AddFile(4, 1000);
//
// Records are generated from their global index (file number x records per file + record),
// so a test can compute the time stamp and samples of any index it reads back. A sparse file
// has its full size (ftruncate) but only some records written: the first record of every
// 8192-record block, the last record, and the first and last block in full. That is all the
// reader touches while opening, so a 512 MiB file costs a few hundred KiB of disk.

#include "QVxCore/ReportData/ReportFormat.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qvx::test {

// A fresh folder under the temp directory, removed with everything in it on destruction
// (and with the overview folder beside it, if any).
class TempDir {
public:
    explicit TempDir(const std::string& tag) {
        static std::atomic<int> s_counter{0};
        m_path = std::filesystem::temp_directory_path() /
                 ("qvx-" + tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(s_counter++) + "-" +
                  std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_path, ec);
        // Where a test used this folder itself as a report folder, its overviews went beside it.
        std::filesystem::remove_all(m_path.string() + ".overview", ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

using Samples = std::array<std::uint16_t, kRecordChannelCount>;
using Record = std::array<std::uint8_t, kReportRecordSize>;

// A format-6 record; `upperTimeBits` fills bits 48-63 of the time word, which readers mask off.
inline Record MakeRecord(std::uint64_t time, const Samples& samples, std::uint16_t upperTimeBits = 0) {
    Record r{};
    StoreLE64(r.data(), (time & kRecordTimeMask) | (std::uint64_t{upperTimeBits} << 48));
    for (std::size_t c = 0; c < kRecordChannelCount; ++c)
        StoreLE16(r.data() + kRecordOffsetSamples + 2 * c, samples[c]);
    return r;
}

// "%08d.DAT", the application writer's name for file `number`.
inline std::string ReportFileName(std::int64_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "%08lld.DAT", static_cast<long long>(number));
    return name;
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot create " + path.string());
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path.string());
}

class ReportBuilder {
public:
    enum Layout { kDense, kSparse };
    using TimeFn = std::function<std::uint64_t(std::uint64_t index)>;
    using SampleFn = std::function<Samples(std::uint64_t index)>;

    // Default content: time = index x 10 ticks (100 ns spacing), CH1 = index mod 16384,
    // CH2 = 16383 - CH1, CH3 = 8192, CH4 = index mod 7.
    static std::uint64_t DefaultTime(std::uint64_t index) { return index * 10; }
    static Samples DefaultSamples(std::uint64_t index) {
        const auto ch1 = static_cast<std::uint16_t>(index % 16384);
        return {ch1, static_cast<std::uint16_t>(16383 - ch1), 8192, static_cast<std::uint16_t>(index % 7)};
    }

    explicit ReportBuilder(std::filesystem::path folder)
        : m_folder(std::move(folder)), m_header(MakeApplicationReportHeader()) {
        std::filesystem::create_directories(m_folder);
    }

    ReportBuilder& Times(TimeFn fn) {
        m_time = std::move(fn);
        return *this;
    }
    ReportBuilder& SampleValues(SampleFn fn) {
        m_samples = std::move(fn);
        return *this;
    }
    // Header of the files written from now on.
    ReportBuilder& Header(const ReportHeader& header) {
        m_header = header;
        return *this;
    }
    ReportBuilder& StartTime(std::int64_t seconds, std::int64_t nanoseconds) {
        StoreLE64(m_header.data() + kHeaderOffsetStartSeconds, static_cast<std::uint64_t>(seconds));
        StoreLE64(m_header.data() + kHeaderOffsetStartNanoseconds, static_cast<std::uint64_t>(nanoseconds));
        return *this;
    }
    ReportBuilder& ReportFormat(std::uint32_t format) {
        StoreLE32(m_header.data() + kHeaderOffsetReportFormat, format);
        return *this;
    }
    // Bits 48-63 of every time word written from now on.
    ReportBuilder& UpperTimeBits(std::uint16_t bits) {
        m_upperTimeBits = bits;
        return *this;
    }

    // Writes file `number` ("%08d.DAT") with `count` records whose global indexes start at
    // number x kRecordsPerReportFile.
    ReportBuilder& AddFile(std::int64_t number, std::uint64_t count, Layout layout = kDense) {
        return AddNamedFile(ReportFileName(number),
                            static_cast<std::uint64_t>(number) * kRecordsPerReportFile, count, layout);
    }

    // Same with any file name and first global index.
    ReportBuilder& AddNamedFile(const std::string& name, std::uint64_t firstIndex, std::uint64_t count,
                                Layout layout = kDense) {
        const std::filesystem::path path = m_folder / name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) throw std::runtime_error("cannot create " + path.string());
        try {
            WriteAt(fd, m_header.data(), m_header.size(), 0);
            if (layout == kDense) {
                WriteRange(fd, firstIndex, 0, count);
            } else {
                constexpr std::uint64_t kBlock = 8192;
                if (::ftruncate(fd, static_cast<off_t>(kReportHeaderSize + count * kReportRecordSize)) != 0) {
                    throw std::runtime_error("cannot size " + path.string());
                }
                for (std::uint64_t r = 0; r < count; r += kBlock) WriteRange(fd, firstIndex, r, 1);
                WriteRange(fd, firstIndex, 0, std::min(count, kBlock));
                const std::uint64_t lastBlock = count == 0 ? 0 : (count - 1) / kBlock * kBlock;
                WriteRange(fd, firstIndex, lastBlock, count - lastBlock);
            }
        } catch (...) {
            ::close(fd);
            throw;
        }
        if (::close(fd) != 0) throw std::runtime_error("cannot close " + path.string());
        return *this;
    }

    Record RecordAt(std::uint64_t index) const {
        return MakeRecord(m_time(index), m_samples(index), m_upperTimeBits);
    }
    std::uint64_t TimeAt(std::uint64_t index) const { return m_time(index) & kRecordTimeMask; }
    Samples SamplesAt(std::uint64_t index) const { return m_samples(index); }
    const std::filesystem::path& Folder() const { return m_folder; }

private:
    static void WriteAt(int fd, const std::uint8_t* data, std::size_t bytes, std::uint64_t offset) {
        while (bytes > 0) {
            const ssize_t n = ::pwrite(fd, data, bytes, static_cast<off_t>(offset));
            if (n <= 0) throw std::runtime_error("report file write failed");
            data += n;
            bytes -= static_cast<std::size_t>(n);
            offset += static_cast<std::uint64_t>(n);
        }
    }

    // Records [from, from + count) of the file, written in 1 MiB pieces.
    void WriteRange(int fd, std::uint64_t firstIndex, std::uint64_t from, std::uint64_t count) const {
        constexpr std::uint64_t kChunk = 65536;
        std::vector<std::uint8_t> buffer;
        for (std::uint64_t done = 0; done < count;) {
            const std::uint64_t n = std::min(kChunk, count - done);
            buffer.resize(n * kReportRecordSize);
            for (std::uint64_t i = 0; i < n; ++i) {
                const Record rec = RecordAt(firstIndex + from + done + i);
                std::copy(rec.begin(), rec.end(),
                          buffer.begin() + static_cast<std::ptrdiff_t>(i * kReportRecordSize));
            }
            WriteAt(fd, buffer.data(), buffer.size(), kReportHeaderSize + (from + done) * kReportRecordSize);
            done += n;
        }
    }

    std::filesystem::path m_folder;
    ReportHeader m_header;
    TimeFn m_time = &DefaultTime;
    SampleFn m_samples = &DefaultSamples;
    std::uint16_t m_upperTimeBits = 0;
};

}  // namespace qvx::test
