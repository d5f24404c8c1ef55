// The checksum, by each way it can be computed, against zlib's crc32().
#include <gtest/gtest.h>

#include <zlib.h>

#include "format/crc32.h"
#include "test_files.h"

// Every start address modulo 64 and length up to 300 cross the unaligned head, the block
// loops and the tail in every combination; long odd lengths run the loops a while.  A checksum
// carried over pieces cut anywhere, the table way taking the pieces around, equals the whole.
TEST(Crc32, EveryWayMatchesZlibAtEveryAlignmentAndLengthAndCarriesOver)
{
    const std::pair<const char *, uint32_t (*)(uint32_t, const void *, size_t)> ways[] = {
        {"table", Crc32UpdateTable}, {"folded", Crc32UpdateFolded}, {"best", Crc32Update}};
    std::string noise = PatternBytes(64 + 1048573, 9);
    auto zlib = [](const char *data, size_t length) {
        return (uint32_t)crc32(0, (const Bytef *)data, (uInt)length);
    };
    if (!Crc32CanFold())
        printf("this processor has no PCLMULQDQ: folding falls back to the tables\n");
    for (const auto &[name, update] : ways) {
        SCOPED_TRACE(name);
        EXPECT_EQ(update(0, "123456789", 9), 0xCBF43926u);
        for (size_t align = 0; align < 64; align++) {
            const char *data = noise.data() + align;
            for (size_t length : {1021, 4099, 65557, 1048573})
                ASSERT_EQ(update(0, data, length), zlib(data, length)) << align;
            for (size_t length = 0; length <= 300; length++)
                ASSERT_EQ(update(0, data, length), zlib(data, length)) << length << " at " << align;
        }
        const char *data = noise.data() + 3;  // not on any block boundary
        uint32_t whole = zlib(data, 1500);
        for (size_t cut1 = 0; cut1 <= 1500; cut1 += 7)
            for (size_t cut2 = cut1; cut2 <= 1500; cut2 += 61) {
                uint32_t crc = update(Crc32UpdateTable(0, data, cut1), data + cut1, cut2 - cut1);
                ASSERT_EQ(Crc32UpdateTable(crc, data + cut2, 1500 - cut2), whole) << cut1 << ", " << cut2;
            }
    }
}
