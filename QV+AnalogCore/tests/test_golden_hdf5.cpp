// Golden copies of the HDF5 export: a small deterministic report exported by the data list
// (uncompressed, and chunked with shuffle and deflate), shown by `h5dump -p` (data,
// attributes, types, chunking and filters) and compared byte for byte with golden/. The dump
// names the file as it was given, so h5dump runs in the export's folder on its bare name.

#include "list_test_support.h"

#include "QV+AnalogCore/Export/QVxAnalogHdf5Writer.h"
#include "QV+AnalogCore/Presenters/QVxAnalogDataListViewModel.h"
#include "QVxCore/tests/support/GoldenFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// The output of `h5dump -p NAME` run in `folder`; empty when it could not run.
std::string H5Dump(const std::filesystem::path& folder, const std::string& name) {
    const std::string command = "cd '" + folder.string() + "' && '" QVX_H5DUMP "' -p '" + name + "' 2>&1";
    std::string out;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        EXPECT_EQ(::pclose(pipe), 0) << out;
    }
    return out;
}

class GoldenHdf5 : public ::testing::Test {
protected:
    qvx::test::TempDir dir{"golden-hdf5"};
    qvx::test::ListOwner owner{dir.Path() / "session"};
    QVxAnalogDataListViewModel model{&owner};

    // Six records 1 us apart at 10,485,760 samples/s; a range, probe and name per channel
    // (CH4 hidden, named in Japanese); codes that reach past both ends of the 14-bit range.
    void WriteReport() {
        qvx::test::UseMixedChannelSettings(owner.session->GetSettings());
        qvx::test::ReportBuilder(owner.session->GetReportFolderPath())
            .StartTime(1'796'724'157, 5)
            .Times([](std::uint64_t index) { return 7 + index * 100; })
            .SampleValues([](std::uint64_t index) {
                return qvx::test::Samples{static_cast<std::uint16_t>(index * 3277),
                                          static_cast<std::uint16_t>(16383 - index * 1000),
                                          static_cast<std::uint16_t>(index == 2 ? 65535 : 8192),
                                          static_cast<std::uint16_t>(index % 2 ? 0 : 16383)};
            })
            .AddFile(0, 6);
        ASSERT_TRUE(owner.OpenReport());
    }

    void ExpectDumpMatches(const std::string& name, const QVxAnalogHdf5Layout& layout) {
        std::string error;
        ASSERT_TRUE(model.ExportHdf5(dir.Path() / name, -1, -1, nullptr, layout, &error)) << error;
        qvx::test::ExpectMatchesGolden(QVX_GOLDEN_DIR, name + ".h5dump", H5Dump(dir.Path(), name));
    }
};

TEST_F(GoldenHdf5, UncompressedAndDeflatedExportsDumpAsTheirGoldenCopies) {
    WriteReport();
    ExpectDumpMatches("stored.h5", {.chunkRecords = 4, .deflateLevel = 0});
    ExpectDumpMatches("deflated.h5", {.chunkRecords = 4, .deflateLevel = 4});
}

}  // namespace
