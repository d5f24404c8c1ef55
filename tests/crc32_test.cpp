// The checksum, by each way it can be computed, against zlib's crc32().
#include <gtest/gtest.h>

#include <zlib.h>

#include "math/crc32.h"
#include "test_files.h"

namespace {

uint32_t Zlib(const char *data, size_t length)
{
    return (uint32_t)crc32(0, (const Bytef *)data, (uInt)length);
}

class Crc32 : public ::testing::TestWithParam<Crc32Way> {};

// Every start address modulo 64 and length up to 300 cross the unaligned head, the block
// loops and the tail in every combination; long odd lengths run the loops a while.  A checksum
// carried over pieces cut anywhere, the table way taking the pieces around, equals the whole.
TEST_P(Crc32, MatchesZlibAtEveryAlignmentAndLengthAndCarriesOver)
{
    Crc32Way way = GetParam();
    if (!Crc32WayAvailable(way))
        GTEST_SKIP() << kCrc32WayNames[way] << ": not on this processor";
    std::string noise = PatternBytes(64 + 1048573, 9);
    EXPECT_EQ(Crc32UpdateBy(way, 0, "123456789", 9), 0xCBF43926u);
    for (size_t align = 0; align < 64; align++) {
        const char *data = noise.data() + align;
        for (size_t length : {1021, 4099, 65557, 1048573})
            ASSERT_EQ(Crc32UpdateBy(way, 0, data, length), Zlib(data, length)) << align;
        for (size_t length = 0; length <= 300; length++)
            ASSERT_EQ(Crc32UpdateBy(way, 0, data, length), Zlib(data, length)) << length << " at " << align;
    }
    const char *data = noise.data() + 3;  // not on any block boundary
    uint32_t whole = Zlib(data, 1500);
    for (size_t cut1 = 0; cut1 <= 1500; cut1 += 7)
        for (size_t cut2 = cut1; cut2 <= 1500; cut2 += 61) {
            uint32_t crc = Crc32UpdateBy(way, Crc32UpdateBy(kCrc32Tables, 0, data, cut1), data + cut1, cut2 - cut1);
            ASSERT_EQ(Crc32UpdateBy(kCrc32Tables, crc, data + cut2, 1500 - cut2), whole) << cut1 << ", " << cut2;
        }
}

std::string WayName(const ::testing::TestParamInfo<Crc32Way> &info)
{
    static const char *const kNames[kCrc32WayCount] = {"Tables", "Fold", "FoldWide"};
    return kNames[info.param];
}

INSTANTIATE_TEST_SUITE_P(Ways, Crc32,
                         ::testing::Values(kCrc32Tables, kCrc32Fold, kCrc32FoldWide),
                         WayName);

// The checksum of a stretch of zeros, and of two pieces joined, from their checksums alone.
TEST(Crc32Algebra, ZerosAndJoinedPiecesMatchZlib)
{
    std::string zeros(70000, '\0'), noise = PatternBytes(5000, 3);
    Crc32Joiner joiner = {0, {0}};
    for (int64_t length : {0, 1, 15, 4096, 70000}) {
        EXPECT_EQ(Crc32OfZeros(length), Zlib(zeros.data(), (size_t)length)) << length;
        std::string both = noise + zeros.substr(0, (size_t)length);
        EXPECT_EQ(Crc32Combine(Zlib(noise.data(), noise.size()), Zlib(zeros.data(), (size_t)length),
                               length, &joiner),
                  Zlib(both.data(), both.size())) << length;
    }
}

}  // namespace
