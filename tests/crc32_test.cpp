// The checksum, by each way it can be computed, against zlib's crc32().
#include <gtest/gtest.h>

#include <zlib.h>

#include <vector>

#include "format/crc32.h"

typedef uint32_t (*Crc32Way)(uint32_t crc, const void *data, size_t length);

struct NamedWay {
    const char *name;
    Crc32Way update;
    bool needs_folding;
};

static const NamedWay kWays[] = {
    {"Table", Crc32UpdateTable, false},
    {"Folded", Crc32UpdateFolded, true},
    {"Best", Crc32Update, false},
};

static void PrintTo(const NamedWay &way, std::ostream *out)
{
    *out << way.name;
}

class Crc32 : public testing::TestWithParam<NamedWay> {
protected:
    void SetUp() override
    {
        if (GetParam().needs_folding && !Crc32CanFold())
            GTEST_SKIP() << "this processor has no PCLMULQDQ";
    }
};

// Bytes that no pattern of the data can hide a fault behind.
static std::vector<unsigned char> NoiseBytes(size_t count)
{
    std::vector<unsigned char> bytes(count);
    uint32_t state = 0x9E3779B9;
    for (size_t i = 0; i < count; i++) {
        state = state * 1664525 + 1013904223;
        bytes[i] = (unsigned char)(state >> 24);
    }
    return bytes;
}

static uint32_t Zlib(const unsigned char *data, size_t length)
{
    return (uint32_t)crc32(0, data, (uInt)length);
}

// Every start address modulo 64 and every length up to 300 cross the
// unaligned head, the four-block loop, the single blocks and the tail in
// every combination; the long odd lengths run the loops for a while.
TEST_P(Crc32, MatchesZlibAtEveryAlignmentAndLength)
{
    Crc32Way update = GetParam().update;
    EXPECT_EQ(update(0, "123456789", 9), 0xCBF43926u);

    const size_t kLong[] = {1021, 4099, 65557, 1048573};
    std::vector<unsigned char> noise = NoiseBytes(64 + 1048573);
    for (size_t align = 0; align < 64; align++) {
        const unsigned char *data = noise.data() + align;
        for (size_t length = 0; length <= 300; length++)
            ASSERT_EQ(update(0, data, length), Zlib(data, length))
                << "length " << length << " at offset " << align;
        for (size_t length : kLong)
            ASSERT_EQ(update(0, data, length), Zlib(data, length))
                << "length " << length << " at offset " << align;
    }
}

// A checksum carried over three pieces, cut anywhere, equals the one over
// the whole, also when the table way takes up the pieces around.
TEST_P(Crc32, CarriesOverPiecesCutAnywhere)
{
    Crc32Way update = GetParam().update;
    const size_t kLength = 1500;
    std::vector<unsigned char> noise = NoiseBytes(kLength + 3);
    const unsigned char *data = noise.data() + 3;  // not on any block boundary
    uint32_t whole = Zlib(data, kLength);
    for (size_t cut1 = 0; cut1 <= kLength; cut1 += 7)
        for (size_t cut2 = cut1; cut2 <= kLength; cut2 += 61) {
            uint32_t crc = Crc32UpdateTable(0, data, cut1);
            crc = update(crc, data + cut1, cut2 - cut1);
            ASSERT_EQ(Crc32UpdateTable(crc, data + cut2, kLength - cut2), whole)
                << "cut at " << cut1 << " and " << cut2;
        }
}

INSTANTIATE_TEST_SUITE_P(Ways, Crc32, testing::ValuesIn(kWays),
                         [](const testing::TestParamInfo<NamedWay> &info) {
                             return std::string(info.param.name);
                         });
