// A CSV file that is abandoned (a failed or cancelled export) leaves its target as it was and
// no temporary file beside it; a closed one replaces the target.

#include "QV+AnalogCore/Export/QVxCsvFileWriter.h"
#include "QVxCore/tests/support/ReportBuilder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(CsvFileWriter, AbandonKeepsTheTargetAndCloseReplacesIt) {
    qvx::test::TempDir dir("csv-writer");
    const auto target = dir.Path() / "out.csv";
    std::ofstream(target) << "before\n";

    QVxCsvFileWriter abandoned;
    ASSERT_TRUE(abandoned.Open(target));
    abandoned.Append(std::string(QVxCsvFileWriter::kBlockSize + 10, 'x'));  // a block is written out
    abandoned.Abandon();
    EXPECT_FALSE(abandoned.IsOpen());
    EXPECT_EQ(Slurp(target), "before\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1)
        << "no temporary file left";

    QVxCsvFileWriter closed;
    ASSERT_TRUE(closed.Open(target));
    closed.Append("after\n");
    EXPECT_TRUE(closed.Close());
    EXPECT_EQ(Slurp(target), "after\n");
}

}  // namespace
