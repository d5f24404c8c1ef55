#include "math/crc32.h"

#include <assert.h>

#include "math/vector_ways.h"

// Byte-wise tables for 1 to 8 bytes at a time: table[k][b] is the register
// after byte b and then k zero bytes.  Zero here, filled by Crc32Init, so
// that they take 8 KiB of memory but nothing in the program image.
static uint32_t g_table[8][256];
static bool g_ready;
static bool g_can_fold;
static bool g_can_fold_wide;  // two blocks an instruction, with VPCLMULQDQ

void Crc32Init()
{
    if (g_ready)
        return;
    for (uint32_t b = 0; b < 256; b++) {
        uint32_t r = b;
        for (int bit = 0; bit < 8; bit++)
            r = (r >> 1) ^ (0xEDB88320u & (0u - (r & 1)));
        g_table[0][b] = r;
    }
    for (int b = 0; b < 256; b++)
        for (int k = 1; k < 8; k++) {
            uint32_t r = g_table[k - 1][b];
            g_table[k][b] = (r >> 8) ^ g_table[0][r & 0xFF];
        }
#ifdef QC_VECTOR_WAYS
    VectorFeatures has = AskProcessor();
    g_can_fold = has.sse2 && has.pclmul;
    g_can_fold_wide = g_can_fold && has.avx2 && has.vpclmul;
#endif
    g_ready = true;
}


static uint32_t LoadLittle32(const unsigned char *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// Below, "register" is the checksum before the final inversion, as the
// shift register of the textbook circuit holds it.
static uint32_t TableRegister(uint32_t reg, const unsigned char *p, size_t length)
{
    const uint32_t (*t)[256] = g_table;
    for (; length >= 8; p += 8, length -= 8) {
        // The second word's lookups wait for nothing; the first word's
        // are paired so that the chain from one register to the next is short.
        uint32_t b = LoadLittle32(p + 4);
        uint32_t later = t[3][b & 0xFF] ^ t[2][(b >> 8) & 0xFF] ^ t[1][(b >> 16) & 0xFF] ^ t[0][b >> 24];
        uint32_t a = reg ^ LoadLittle32(p);
        reg = later ^ ((t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF]) ^ (t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24]));
    }
    for (; length > 0; p++, length--)
        reg = (reg >> 8) ^ t[0][(reg ^ *p) & 0xFF];
    return reg;
}


#ifdef QC_VECTOR_WAYS
// Folding.  Sixteen bytes loaded little-endian hold, bit i, the coefficient
// of x^(127-i) of a polynomial of the message.  Such a block n blocks before
// a later one is worth, modulo the CRC polynomial P, its high-degree
// (low-address) half times x^(128n+32) mod P plus its other half times
// x^(128n-32) mod P, a product of 96 bits that is added to the later block.
// PCLMULQDQ multiplies bit-reversed operands, and the constants below are
// bit-reversed and shifted by one so that the product lands bit-aligned:
//   constant = reverse32(x^e mod P) << 1,  e = 128n + 32 and 128n - 32.
// Four blocks are carried at a time (n = 4), then they, and any later single
// block, are folded one block on (n = 1).  The last block's value is then
// the same modulo P as everything before, and the tables finish it.
VECTOR_TARGET("sse2,pclmul")
static inline __m128i FoldOnto(__m128i block, __m128i constants, __m128i later)
{
    __m128i high_half = _mm_clmulepi64_si128(block, constants, 0x00);
    __m128i low_half = _mm_clmulepi64_si128(block, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(high_half, low_half), later);
}

static const uint64_t kBy1High = 0x0CCAA009E, kBy1Low = 0x1751997D0;  // x^96, x^160

// Folds the blocks from block to end one on after x, then lets the tables
// finish the last.
VECTOR_TARGET("sse2,pclmul")
static uint32_t FoldTail(__m128i x, const __m128i *block, const __m128i *end)
{
    const __m128i by1 = _mm_set_epi64x(kBy1High, kBy1Low);
    for (; block < end; block++)
        x = FoldOnto(x, by1, _mm_load_si128(block));
    unsigned char last[16];
    _mm_storeu_si128((__m128i *)last, x);
    return TableRegister(0, last, 16);
}

// length: a multiple of 16, at least 64; p: 16-byte aligned.
VECTOR_TARGET("sse2,pclmul")
static uint32_t FoldRegister(uint32_t reg, const unsigned char *p, size_t length)
{
    assert(length % 16 == 0 && length >= 64 && (uintptr_t)p % 16 == 0);
    const __m128i by4 = _mm_set_epi64x(0x1C6E41596, 0x154442BD4);  // x^480, x^544
    const __m128i by1 = _mm_set_epi64x(kBy1High, kBy1Low);
    const __m128i *block = (const __m128i *)p;
    const __m128i *end = (const __m128i *)(p + length);

    // The register is the checksum of what came before: it adds into the
    // first four bytes.
    __m128i x0 = _mm_xor_si128(_mm_load_si128(block), _mm_cvtsi32_si128((int)reg));
    __m128i x1 = _mm_load_si128(block + 1);
    __m128i x2 = _mm_load_si128(block + 2);
    __m128i x3 = _mm_load_si128(block + 3);
    for (block += 4; end - block >= 4; block += 4) {
        x0 = FoldOnto(x0, by4, _mm_load_si128(block));
        x1 = FoldOnto(x1, by4, _mm_load_si128(block + 1));
        x2 = FoldOnto(x2, by4, _mm_load_si128(block + 2));
        x3 = FoldOnto(x3, by4, _mm_load_si128(block + 3));
    }
    x1 = FoldOnto(x0, by1, x1);
    x2 = FoldOnto(x1, by1, x2);
    x3 = FoldOnto(x2, by1, x3);
    return FoldTail(x3, block, end);
}

// The same, eight blocks at a time in four registers of two blocks each
// (n = 8), where the processor multiplies both halves at once.
VECTOR_TARGET("avx2,vpclmulqdq,pclmul")
static inline __m256i FoldOnto(__m256i block, __m256i constants, __m256i later)
{
    __m256i high_half = _mm256_clmulepi64_epi128(block, constants, 0x00);
    __m256i low_half = _mm256_clmulepi64_epi128(block, constants, 0x11);
    return _mm256_xor_si256(_mm256_xor_si256(high_half, low_half), later);
}

// length: a multiple of 16, at least 128; p: 16-byte aligned.
VECTOR_TARGET("avx2,vpclmulqdq,pclmul")
static uint32_t WideFoldRegister(uint32_t reg, const unsigned char *p, size_t length)
{
    assert(length % 16 == 0 && length >= 128 && (uintptr_t)p % 16 == 0);
    const __m256i by8 = _mm256_set_epi64x(0x14A7FE880, 0x1E88EF372, 0x14A7FE880, 0x1E88EF372);
    const __m128i by1 = _mm_set_epi64x(kBy1High, kBy1Low);
    const unsigned char *end = p + length;
    // Four named registers, not an array, which -Os would keep in memory.
    __m256i y0 = _mm256_loadu_si256((const __m256i *)p);
    __m256i y1 = _mm256_loadu_si256((const __m256i *)(p + 32));
    __m256i y2 = _mm256_loadu_si256((const __m256i *)(p + 64));
    __m256i y3 = _mm256_loadu_si256((const __m256i *)(p + 96));
    y0 = _mm256_xor_si256(y0, _mm256_inserti128_si256(_mm256_setzero_si256(),
                                                      _mm_cvtsi32_si128((int)reg), 0));
    for (p += 128; end - p >= 128; p += 128) {
        y0 = FoldOnto(y0, by8, _mm256_loadu_si256((const __m256i *)p));
        y1 = FoldOnto(y1, by8, _mm256_loadu_si256((const __m256i *)(p + 32)));
        y2 = FoldOnto(y2, by8, _mm256_loadu_si256((const __m256i *)(p + 64)));
        y3 = FoldOnto(y3, by8, _mm256_loadu_si256((const __m256i *)(p + 96)));
    }
    __m256i y[4] = {y0, y1, y2, y3};
    // The eight blocks, in order, then any later ones, folded one block on.
    __m128i x = _mm256_castsi256_si128(y[0]);
    x = FoldOnto(x, by1, _mm256_extracti128_si256(y[0], 1));
    for (int i = 1; i < 4; i++) {
        x = FoldOnto(x, by1, _mm256_castsi256_si128(y[i]));
        x = FoldOnto(x, by1, _mm256_extracti128_si256(y[i], 1));
    }
    return FoldTail(x, (const __m128i *)p, (const __m128i *)end);
}
#endif

// The bytes up to the first 16-byte boundary and the tail after the last
// whole block go to the tables; the blocks between are folded, where the
// processor can, by fold(reg, p, blocks), with at least `least` bytes.
static uint32_t Update(uint32_t crc, const unsigned char *p, size_t length,
                       uint32_t (*fold)(uint32_t, const unsigned char *, size_t), size_t least)
{
    Crc32Init();
    uint32_t reg = ~crc;
    size_t head = (size_t)(0u - (uintptr_t)p) & 15;
    if (fold && length >= head + least) {
        reg = TableRegister(reg, p, head);
        p += head, length -= head;
        size_t blocks = length & ~(size_t)15;
        reg = fold(reg, p, blocks);
        p += blocks, length -= blocks;
    }
    return ~TableRegister(reg, p, length);
}

const char *const kCrc32WayNames[kCrc32WayCount] = {
    "slicing-by-8 tables", "PCLMULQDQ folding", "VPCLMULQDQ folding with AVX2"};

bool Crc32WayAvailable(Crc32Way way)
{
    Crc32Init();
    const bool available[kCrc32WayCount] = {true, g_can_fold, g_can_fold_wide};
    return way >= 0 && way < kCrc32WayCount && available[way];
}

uint32_t Crc32UpdateBy(Crc32Way way, uint32_t crc, const void *data, size_t length)
{
    assert(Crc32WayAvailable(way));
    (void)way;  // the tables are the only way where nothing can fold
    const unsigned char *p = (const unsigned char *)data;
#ifdef QC_VECTOR_WAYS
    if (way == kCrc32FoldWide)
        return Update(crc, p, length, WideFoldRegister, 128);
    if (way == kCrc32Fold)
        return Update(crc, p, length, FoldRegister, 64);
#endif
    return Update(crc, p, length, 0, 0);
}

uint32_t Crc32Update(uint32_t crc, const void *data, size_t length)
{
    Crc32Init();
    // Four blocks an instruction (AVX-512) measured slower here than two.
    Crc32Way best = g_can_fold_wide ? kCrc32FoldWide : g_can_fold ? kCrc32Fold : kCrc32Tables;
    return Crc32UpdateBy(best, crc, data, length);
}

// ---- Joining checksums ------------------------------------------------------
// Appending n zero bytes to a message is linear over GF(2) on its CRC: a
// 32x32 bit matrix, column by column, built by squaring the one-bit step.

static uint32_t Gf2Times(const uint32_t *matrix, uint32_t vector)
{
    uint32_t sum = 0;
    for (; vector; vector >>= 1, matrix++)
        if (vector & 1)
            sum ^= *matrix;
    return sum;
}

static void Gf2Square(uint32_t *square, const uint32_t *matrix)
{
    for (int n = 0; n < 32; n++)
        square[n] = Gf2Times(matrix, matrix[n]);
}

// The operator that appends length zero bytes.
static void ZerosOperator(int64_t length, uint32_t op[32])
{
    uint32_t power[32], next[32];
    power[0] = 0xEDB88320u;  // one zero bit
    for (int n = 1; n < 32; n++)
        power[n] = 1u << (n - 1);
    Gf2Square(next, power);  // two bits
    Gf2Square(power, next);  // four
    Gf2Square(next, power);  // eight: one byte
    for (int n = 0; n < 32; n++)
        op[n] = 1u << n;     // the identity
    for (uint32_t *p = next, *q = power; length > 0; length >>= 1) {
        if (length & 1)
            for (int n = 0; n < 32; n++)
                op[n] = Gf2Times(p, op[n]);  // a column of the product needs only its own
        Gf2Square(q, p);
        uint32_t *t = p;
        p = q;
        q = t;
    }
}

uint32_t Crc32OfZeros(int64_t length)
{
    // The register starts all ones; zeros only carry it along.
    uint32_t op[32];
    ZerosOperator(length, op);
    return ~Gf2Times(op, 0xFFFFFFFFu);
}

uint32_t Crc32Combine(uint32_t crc_a, uint32_t crc_b, int64_t length_b, Crc32Joiner *cache)
{
    if (length_b <= 0)
        return crc_a;
    if (cache->length != length_b) {
        ZerosOperator(length_b, cache->op);
        cache->length = length_b;
    }
    return Gf2Times(cache->op, crc_a) ^ crc_b;
}
