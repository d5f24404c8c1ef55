// GF(2^16) and recovery parts, against a bitwise model of the field.
#include <gtest/gtest.h>

#include <string.h>

#include <random>
#include <vector>

#include "math/erasure.h"
#include "math/gf16.h"

// Carry-less product, then reduced by x^16 + x^12 + x^3 + x + 1.
static uint16_t ModelMul(uint16_t a, uint16_t b)
{
    uint32_t product = 0;
    for (int bit = 0; bit < 16; bit++)
        if (b >> bit & 1)
            product ^= (uint32_t)a << bit;
    for (int bit = 31; bit >= 16; bit--)
        if (product >> bit & 1)
            product ^= 0x1100Bu << (bit - 16);
    return (uint16_t)product;
}

typedef std::vector<std::vector<unsigned char>> Blocks;

static Blocks RandomBlocks(size_t count, size_t length, unsigned seed)
{
    std::mt19937 random(seed);
    Blocks blocks(count, std::vector<unsigned char>(length));
    for (auto &block : blocks)
        for (unsigned char &byte : block)
            byte = (unsigned char)random();
    return blocks;
}

TEST(Gf16, ProductsAndInversesMatchTheModel)
{
    const uint16_t edges[] = {0, 1, 2, 3, 0x100B, 0x7FFF, 0x8000, 0x8001, 0xFFFE, 0xFFFF};
    std::mt19937 random(1);
    for (int n = 0; n < 1000000; n++) {  // every pair of edges, then random pairs
        uint16_t a = n < 100 ? edges[n / 10] : (uint16_t)random();
        uint16_t b = n < 100 ? edges[n % 10] : (uint16_t)random();
        ASSERT_EQ(Gf16Mul(a, b), ModelMul(a, b)) << a << " * " << b;
    }
    for (uint32_t a = 1; a < 65536; a++)
        ASSERT_EQ(ModelMul((uint16_t)a, Gf16Inverse((uint16_t)a)), 1) << a;
}

// Every start of dst and src modulo 64 and every length to 300 bytes cross
// each way's unaligned head, blocks and tail in every combination; longer odd
// word counts run the blocks a while.  Bytes around the region stay as they were.
class Gf16Region : public testing::TestWithParam<Gf16Path> {};

TEST_P(Gf16Region, EqualsTheModelAtEveryAlignmentAndLength)
{
    Gf16Path path = GetParam();
    if (!Gf16PathAvailable(path))
        GTEST_SKIP() << "this processor cannot run " << Gf16PathName(path);
    std::mt19937 random(2);
    std::vector<unsigned char> src = RandomBlocks(1, 140000 + 64, 2)[0];
    std::vector<unsigned char> dst(src.size() + 128), expected(dst.size());
    unsigned char *src_base = src.data() + (-(uintptr_t)src.data() & 63);
    size_t dst_base = 64 + (-(uintptr_t)dst.data() & 63);  // after 64 bytes to watch
    std::vector<size_t> lengths;
    for (size_t length = 0; length <= 300; length += 2)
        lengths.push_back(length);
    for (size_t length : {2 * 4099u, 2 * 32771u, 2 * 65537u})
        lengths.push_back(length);
    const uint16_t factors[] = {0, 1, 0xFFFF, 0x8000, (uint16_t)random(), (uint16_t)random()};
    std::vector<uint16_t> product(65536);
    for (uint16_t factor : factors) {
        for (uint32_t word = 0; word < 65536; word++)
            product[word] = ModelMul(factor, (uint16_t)word);
        for (size_t align = 0; align < 64; align++)
            for (size_t length : lengths) {
                const unsigned char *from = src_base + (align * 37 + 5) % 64;
                size_t start = dst_base + align - 64, end = dst_base + align + length + 64;
                for (size_t i = start; i < end; i++)
                    dst[i] = expected[i] = (unsigned char)(i * 7);
                Gf16MulAddBy(path, dst.data() + dst_base + align, from, length, factor);
                unsigned char *want = expected.data() + dst_base + align;
                for (size_t i = 0; i < length; i += 2) {
                    uint16_t p = product[from[i] | (size_t)from[i + 1] << 8];
                    want[i] ^= (unsigned char)p;
                    want[i + 1] ^= (unsigned char)(p >> 8);
                }
                ASSERT_EQ(memcmp(dst.data() + start, expected.data() + start, end - start), 0)
                    << "factor " << factor << ", " << length << " bytes at " << align;
            }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPath, Gf16Region,
                         testing::Values(kGf16Portable, kGf16Ssse3, kGf16Avx2, kGf16GfniAvx2));

// Loses the data blocks listed missing and the recovery blocks whose bits are
// set in recovery_lost, then rebuilds the data as a caller would, from the first
// recovery blocks left.
static Blocks LoseAndRepair(const Blocks &data, int64_t recovery_count,
                            const std::vector<int64_t> &missing, uint32_t recovery_lost)
{
    size_t length = data[0].size(), count = missing.size();
    std::vector<int64_t> used;
    for (int64_t r = 0; r < recovery_count && used.size() < count; r++)
        if (!(recovery_lost >> r & 1))
            used.push_back(r);
    Blocks repaired = data, syndrome(count, std::vector<unsigned char>(length));
    std::vector<bool> present(data.size(), true);
    for (int64_t j : missing) {
        present[(size_t)j] = false;
        repaired[(size_t)j].assign(length, 0);
    }
    for (size_t k = 0; k < count; k++)
        for (size_t j = 0; j < data.size(); j++) {
            uint16_t coefficient = RecoveryCoefficient(used[k], (int64_t)j);
            Gf16MulAdd(syndrome[k].data(), data[j].data(), length, coefficient);  // encoding
            if (present[j])  // then the caller's first step
                Gf16MulAdd(syndrome[k].data(), repaired[j].data(), length, coefficient);
        }
    std::vector<uint16_t> inverse(count * count);
    EXPECT_TRUE(RepairMatrix(missing.data(), used.data(), (int)count, inverse.data()));
    for (size_t i = 0; i < count; i++)
        for (size_t k = 0; k < count; k++)
            Gf16MulAdd(repaired[(size_t)missing[i]].data(), syndrome[k].data(), length,
                       inverse[i * count + k]);
    return repaired;
}

// Every way of losing up to N of the K + N blocks of a small set.
class Erasure : public testing::TestWithParam<std::pair<int, int>> {};

TEST_P(Erasure, RepairsEveryPatternOfUpToNLosses)
{
    auto [data_count, recovery_count] = GetParam();
    const Blocks data = RandomBlocks((size_t)data_count, 2 * 167, 3);
    for (uint32_t lost = 0; lost < 1u << (data_count + recovery_count); lost++) {
        if (__builtin_popcount(lost) > recovery_count)
            continue;
        std::vector<int64_t> missing;
        for (int j = 0; j < data_count; j++)
            if (lost >> j & 1)
                missing.push_back(j);
        ASSERT_TRUE(LoseAndRepair(data, recovery_count, missing, lost >> data_count) == data)
            << "lost blocks, as bits: " << lost;
    }
}

INSTANTIATE_TEST_SUITE_P(SmallSets, Erasure,
                         testing::Values(std::make_pair(1, 1), std::make_pair(6, 3),
                                         std::make_pair(10, 4), std::make_pair(2, 6)));

TEST(Erasure, RepairsLossesAcrossTheLargestSet)
{
    const Blocks data = RandomBlocks(kMaxDataParts, 6, 4);
    EXPECT_TRUE(LoseAndRepair(data, 5, {kMaxDataParts - 1, 0, 16384, 29999}, 2) == data);
}

// Rows and columns from both ends of each index range, and where a careless
// x or y assignment would wrap: every square piece inverts (that the inverses
// are right, the repairs above show), and only repeated indices make the matrix
// singular.
TEST(Erasure, EverySquarePieceOfTheCoefficientsInverts)
{
    const int64_t rows[] = {0, 1, 2, 255, 256, 511, 512, kMaxRecoveryParts - 1};
    const int64_t columns[] = {0, 1, 2, 255, 256, 16384, 32766, kMaxDataParts - 1};
    // The coefficients are the format, 1 / (r + 32768 + j): along whole rows and columns.
    for (int b = 0; b < 8; b++)
        for (int64_t i = 0; i < kMaxDataParts; i++) {
            int64_t r = i % kMaxRecoveryParts, j = columns[b];
            ASSERT_EQ(ModelMul(RecoveryCoefficient(rows[b], i), (uint16_t)(rows[b] ^ (32768 + i))), 1);
            ASSERT_EQ(ModelMul(RecoveryCoefficient(r, j), (uint16_t)(r ^ (32768 + j))), 1);
        }
    for (uint32_t row_set = 1; row_set < 256; row_set++)
        for (uint32_t column_set = 1; column_set < 256; column_set++) {
            if (__builtin_popcount(row_set) != __builtin_popcount(column_set))
                continue;
            std::vector<int64_t> r, j;
            for (int b = 0; b < 8; b++) {
                if (row_set >> b & 1)
                    r.push_back(rows[b]);
                if (column_set >> b & 1)
                    j.push_back(columns[b]);
            }
            std::vector<uint16_t> inverse(r.size() * r.size());
            ASSERT_TRUE(RepairMatrix(j.data(), r.data(), (int)r.size(), inverse.data()))
                << "rows " << row_set << ", columns " << column_set;
        }
    uint16_t inverse[9];
    const int64_t twice[] = {7, 300, 7}, distinct[] = {0, 1, 2};
    EXPECT_FALSE(RepairMatrix(twice, distinct, 3, inverse));
    EXPECT_FALSE(RepairMatrix(distinct, twice, 3, inverse));
}
