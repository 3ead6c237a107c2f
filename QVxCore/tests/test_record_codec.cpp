// The record codec against the format's own definition: times, samples and volts of records
// built byte by byte, and the one header builder of both writers.

#include "QVxCore/ReportData/RecordCodec.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {

using Record = std::array<std::uint8_t, qvx::kReportRecordSize>;

Record MakeRecord(std::uint64_t word0, std::array<std::uint16_t, 4> samples) {
    Record r{};
    for (std::size_t i = 0; i < 8; ++i) r[i] = static_cast<std::uint8_t>(word0 >> (8 * i));
    for (std::size_t c = 0; c < 4; ++c) {
        r[8 + 2 * c] = static_cast<std::uint8_t>(samples[c] & 0xFF);
        r[9 + 2 * c] = static_cast<std::uint8_t>(samples[c] >> 8);
    }
    return r;
}

}  // namespace

TEST(RecordCodec, TimesAreTheLow48BitsInTenNanosecondTicks) {
    const Record r = MakeRecord(0xABCD'0000'0000'0123, {0, 0, 0, 0});
    EXPECT_EQ(qvx::RecordTimeStamp(r.data()), 0x123u);  // bits 48..63 are not part of the time
    EXPECT_EQ(qvx::RecordTimeNs(r.data()), 0x123 * 10);
    const Record last = MakeRecord(0xFFFF'FFFF'FFFF'FFFF, {0, 0, 0, 0});
    EXPECT_EQ(qvx::RecordTimeNs(last.data()), std::int64_t{0xFFFF'FFFF'FFFF} * 10);

    // A range in ns takes the ticks inside it: a bound between two ticks rounds inward.
    EXPECT_EQ(qvx::TicksAtOrAfterNs(0), 0u);
    EXPECT_EQ(qvx::TicksAtOrAfterNs(1), 1u);
    EXPECT_EQ(qvx::TicksAtOrAfterNs(10), 1u);
    EXPECT_EQ(qvx::TicksAtOrAfterNs(11), 2u);
    EXPECT_EQ(qvx::TicksAtOrBeforeNs(9), 0u);
    EXPECT_EQ(qvx::TicksAtOrBeforeNs(10), 1u);
    EXPECT_EQ(qvx::TicksAtOrBeforeNs(19), 1u);
    EXPECT_EQ(qvx::TicksToNs(qvx::kMaxTicksInNs) / 10, static_cast<std::int64_t>(qvx::kMaxTicksInNs));
}

TEST(RecordCodec, SamplesAreLimitedCentredNormalisedAndScaledToVolts) {
    const Record r = MakeRecord(0, {0, 8192, 0x3FFF, 0xFFFF});
    const std::array<std::int64_t, 4> centred{-8192, 0, 8191, 8191};
    for (std::size_t c = 0; c < 4; ++c)
        EXPECT_EQ(qvx::CentredSample(qvx::RecordRawSample(r.data(), c)), centred[c]);
    EXPECT_EQ(qvx::LimitedSample(0x4000), 0x3FFF);  // limited, not masked to 0
    EXPECT_DOUBLE_EQ(qvx::NormalizedFromCentred(-8192), -1.0);
    EXPECT_DOUBLE_EQ(qvx::NormalizedFromCentred(8191), 1.0);

    // Both voltage forms agree: the HDF5 scale (code x 2F/16383 - F) and the measurement's.
    const double f = 5.0;
    EXPECT_DOUBLE_EQ(qvx::CodeToVolts(0, f), -f);
    EXPECT_DOUBLE_EQ(qvx::CodeToVolts(16383, f), f);
    for (int code : {0, 1, 8191, 8192, 12345, 16383})
        EXPECT_NEAR(code * qvx::VoltsPerCode(f) - f, qvx::CodeToVolts(code, f), 1e-12) << code;
    // A level in the channel's unit maps back onto the code scale: 0 at mid-scale, F at the top.
    EXPECT_DOUBLE_EQ(qvx::AmplitudeToCode(0, 500), 8192.0);
    EXPECT_DOUBLE_EQ(qvx::AmplitudeToCode(500, 500), 8192.0 + 16383.0 / 2);
}

TEST(RecordCodec, OneHeaderBuilderMakesTheApplicationAndLibraryHeaders) {
    const qvx::ReportHeader app = qvx::MakeApplicationReportHeader();
    qvx::ReportHeader lib{};
    lib.fill(0xEE);  // every byte the builder leaves out would show
    qvx::BuildReportHeader(lib.data(), qvx::kLibraryWriterId, qvx::kLibraryWriterSubId,
                           0x1'2345'6789u & 0xFFFF'FFFF);
    for (std::size_t i = 0; i < qvx::kReportHeaderSize; ++i) {
        if (i >= 28 && i < 32) continue;  // writer id
        if (i >= 36 && i < 40) continue;  // writer sub-id
        if (i >= 48 && i < 56) continue;  // start seconds
        EXPECT_EQ(app[i], lib[i]) << "byte " << i;
    }
    EXPECT_EQ(qvx::LoadLE32(app.data() + 28), 1040u);
    EXPECT_EQ(qvx::LoadLE32(lib.data() + 28), 1024u);
    EXPECT_EQ(qvx::LoadLE32(app.data() + 36), 3u);
    EXPECT_EQ(qvx::LoadLE32(lib.data() + 36), 2u);
    EXPECT_EQ(qvx::LoadLE64(app.data() + 48), 0u);
    EXPECT_EQ(qvx::LoadLE64(lib.data() + 48), 0x2345'6789u);
    EXPECT_EQ(qvx::LoadLE32(app.data() + 32), 6u);
    EXPECT_EQ(qvx::LoadLE64(app.data() + 40), 8u);
}
