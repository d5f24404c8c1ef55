#include "math/gf16.h"

#include <assert.h>

#include "math/vector_ways.h"

static const uint32_t kPolynomial = 0x1100B;  // x^16 + x^12 + x^3 + x + 1

// Zero here, filled by Gf16Init, so that they take 256 KiB of memory but
// nothing in the program image.  g_exp[65535] repeats g_exp[0], so that a
// sum of two logarithms needs folding only once (ExpOfSum).
static uint16_t g_log[65536];
static uint16_t g_exp[65536];
static bool g_gf16_ready;
static bool g_available[kGf16PathCount];
static Gf16Path g_best;

void Gf16Init()
{
    if (g_gf16_ready)
        return;
    uint32_t x = 1;
    for (uint32_t i = 0; i < 65535; i++) {
        g_exp[i] = (uint16_t)x;
        g_log[x] = (uint16_t)i;
        x <<= 1;
        if (x & 0x10000)
            x ^= kPolynomial;
    }
    g_exp[65535] = 1;
    g_available[kGf16Portable] = true;
#ifdef QC_VECTOR_WAYS
    // GFNI with AVX-512 measured no faster than with AVX2 here, in cache
    // or from memory, so the 256-bit kernel serves both.
    VectorFeatures has = AskProcessor();
    g_available[kGf16Ssse3] = has.ssse3;
    g_available[kGf16Avx2] = has.avx2;
    g_available[kGf16GfniAvx2] = has.avx2 && has.gfni;
#endif
    for (int path = 0; path < kGf16PathCount; path++)
        if (g_available[path])
            g_best = (Gf16Path)path;
    g_gf16_ready = true;
}

// log a + log b, at most 2 * 65534, taken modulo 65535.
static inline uint16_t ExpOfSum(uint32_t sum)
{
    return g_exp[(sum & 0xFFFF) + (sum >> 16)];
}

uint16_t Gf16Mul(uint16_t a, uint16_t b)
{
    Gf16Init();
    if (a == 0 || b == 0)
        return 0;
    return ExpOfSum((uint32_t)g_log[a] + g_log[b]);
}

uint16_t Gf16Inverse(uint16_t a)
{
    assert(a != 0);
    Gf16Init();
    return g_exp[65535 - g_log[a]];
}

static void MulAddPortable(unsigned char *dst, const unsigned char *src, size_t length,
                           uint16_t factor)
{
    uint32_t log_factor = g_log[factor];
    for (size_t i = 0; i < length; i += 2) {
        unsigned word = src[i] | (unsigned)src[i + 1] << 8;
        if (word == 0)
            continue;
        unsigned product = ExpOfSum(g_log[word] + log_factor);
        dst[i] ^= (unsigned char)product;
        dst[i + 1] ^= (unsigned char)(product >> 8);
    }
}

#ifdef QC_VECTOR_WAYS
// Multiplying by a constant is linear over GF(2): the product of any word is
// the XOR of the products of its bits, factor * x^k, k = 0 ... 15.
static void Powers(uint16_t factor, uint16_t power[16])
{
    uint32_t p = factor;
    for (int k = 0; k < 16; k++) {
        power[k] = (uint16_t)p;
        p <<= 1;
        if (p & 0x10000)
            p ^= kPolynomial;
    }
}

// For PSHUFB: table[2i + h][n] is byte h of the product of nibble n in
// place i of a word (factor * (n << 4i)).  A word's product is the XOR of its
// four nibbles' products, for the low and the high byte each.
static void BuildNibbleTables(uint16_t factor, unsigned char table[8][16])
{
    uint16_t power[16];
    Powers(factor, power);
    for (int i = 0; i < 4; i++)
        for (int n = 0; n < 16; n++) {
            unsigned product = 0;
            for (int bit = 0; bit < 4; bit++)
                if (n >> bit & 1)
                    product ^= power[4 * i + bit];
            table[2 * i][n] = (unsigned char)product;
            table[2 * i + 1][n] = (unsigned char)(product >> 8);
        }
}

// For GF2P8AFFINEQB: the four 8x8 blocks of the 16x16 bit matrix, from low
// byte to low byte, high to low, low to high and high to high.  The
// instruction takes output bit i's row from byte 7 - i of the matrix.
static void BuildMatrices(uint16_t factor, uint64_t matrix[4])
{
    uint16_t power[16];
    Powers(factor, power);
    for (int block = 0; block < 4; block++) {
        int in = (block & 1) * 8, out = (block >> 1) * 8;
        uint64_t m = 0;
        for (int i = 0; i < 8; i++)
            for (int k = 0; k < 8; k++)
                m |= (uint64_t)(power[in + k] >> (out + i) & 1) << (8 * (7 - i) + k);
        matrix[block] = m;
    }
}


// Each kernel takes length in whole blocks of two vectors.  It parts the
// words' low and high bytes into a vector each by saturating packs (of
// words below 256, so exact), multiplies, and interleaves the halves back
// by unpacking: both work within 128-bit lanes, so the second undoes the
// first's order whatever the width.

VECTOR_TARGET("ssse3")
static inline __m128i Load128(const unsigned char *p)
{
    return _mm_loadu_si128((const __m128i *)p);
}

// The XOR of four PSHUFB lookups, table i by nibble i.
VECTOR_TARGET("ssse3")
static inline __m128i Lookup(__m128i t0, __m128i t1, __m128i t2, __m128i t3, __m128i n0,
                             __m128i n1, __m128i n2, __m128i n3)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_shuffle_epi8(t0, n0), _mm_shuffle_epi8(t1, n1)),
                         _mm_xor_si128(_mm_shuffle_epi8(t2, n2), _mm_shuffle_epi8(t3, n3)));
}

VECTOR_TARGET("ssse3")
static void MulAddSsse3(unsigned char *dst, const unsigned char *src, size_t length,
                        uint16_t factor)
{
    unsigned char t[8][16];
    BuildNibbleTables(factor, t);
    const __m128i t0 = Load128(t[0]), t1 = Load128(t[1]), t2 = Load128(t[2]), t3 = Load128(t[3]);
    const __m128i t4 = Load128(t[4]), t5 = Load128(t[5]), t6 = Load128(t[6]), t7 = Load128(t[7]);
    const __m128i nibble = _mm_set1_epi8(15), low_byte = _mm_set1_epi16(0xFF);
    for (size_t i = 0; i < length; i += 32) {
        __m128i a = Load128(src + i), b = Load128(src + i + 16);
        __m128i low = _mm_packus_epi16(_mm_and_si128(a, low_byte), _mm_and_si128(b, low_byte));
        __m128i high = _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
        __m128i n0 = _mm_and_si128(low, nibble), n1 = _mm_and_si128(_mm_srli_epi16(low, 4), nibble);
        __m128i n2 = _mm_and_si128(high, nibble), n3 = _mm_and_si128(_mm_srli_epi16(high, 4), nibble);
        __m128i product_low = Lookup(t0, t2, t4, t6, n0, n1, n2, n3);
        __m128i product_high = Lookup(t1, t3, t5, t7, n0, n1, n2, n3);
        __m128i *d = (__m128i *)(dst + i);
        _mm_storeu_si128(d, _mm_xor_si128(Load128(dst + i),
                                          _mm_unpacklo_epi8(product_low, product_high)));
        _mm_storeu_si128(d + 1, _mm_xor_si128(Load128(dst + i + 16),
                                              _mm_unpackhi_epi8(product_low, product_high)));
    }
}

VECTOR_TARGET("avx2")
static inline __m256i Load256(const unsigned char *p)
{
    return _mm256_loadu_si256((const __m256i *)p);
}

VECTOR_TARGET("avx2")
static inline __m256i Table256(const unsigned char *table)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128((const __m128i *)table));
}

VECTOR_TARGET("avx2")
static inline __m256i Lookup(__m256i t0, __m256i t1, __m256i t2, __m256i t3, __m256i n0,
                             __m256i n1, __m256i n2, __m256i n3)
{
    return _mm256_xor_si256(
        _mm256_xor_si256(_mm256_shuffle_epi8(t0, n0), _mm256_shuffle_epi8(t1, n1)),
        _mm256_xor_si256(_mm256_shuffle_epi8(t2, n2), _mm256_shuffle_epi8(t3, n3)));
}

// dst's 64 bytes ^= the 32 products whose low and high bytes are given apart.
VECTOR_TARGET("avx2")
static inline void AddInterleaved(unsigned char *dst, __m256i product_low, __m256i product_high)
{
    __m256i *d = (__m256i *)dst;
    _mm256_storeu_si256(d, _mm256_xor_si256(Load256(dst),
                                            _mm256_unpacklo_epi8(product_low, product_high)));
    _mm256_storeu_si256(d + 1, _mm256_xor_si256(Load256(dst + 32),
                                                _mm256_unpackhi_epi8(product_low, product_high)));
}

VECTOR_TARGET("avx2")
static void MulAddAvx2(unsigned char *dst, const unsigned char *src, size_t length, uint16_t factor)
{
    unsigned char t[8][16];
    BuildNibbleTables(factor, t);
    const __m256i t0 = Table256(t[0]), t1 = Table256(t[1]), t2 = Table256(t[2]);
    const __m256i t3 = Table256(t[3]), t4 = Table256(t[4]), t5 = Table256(t[5]);
    const __m256i t6 = Table256(t[6]), t7 = Table256(t[7]);
    const __m256i nibble = _mm256_set1_epi8(15), low_byte = _mm256_set1_epi16(0xFF);
    for (size_t i = 0; i < length; i += 64) {
        __m256i a = Load256(src + i), b = Load256(src + i + 32);
        __m256i low = _mm256_packus_epi16(_mm256_and_si256(a, low_byte), _mm256_and_si256(b, low_byte));
        __m256i high = _mm256_packus_epi16(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8));
        __m256i n0 = _mm256_and_si256(low, nibble);
        __m256i n1 = _mm256_and_si256(_mm256_srli_epi16(low, 4), nibble);
        __m256i n2 = _mm256_and_si256(high, nibble);
        __m256i n3 = _mm256_and_si256(_mm256_srli_epi16(high, 4), nibble);
        AddInterleaved(dst + i, Lookup(t0, t2, t4, t6, n0, n1, n2, n3),
                       Lookup(t1, t3, t5, t7, n0, n1, n2, n3));
    }
}

VECTOR_TARGET("avx2,gfni")
static void MulAddGfniAvx2(unsigned char *dst, const unsigned char *src, size_t length,
                           uint16_t factor)
{
    uint64_t m[4];
    BuildMatrices(factor, m);
    const __m256i low_to_low = _mm256_set1_epi64x((long long)m[0]);
    const __m256i high_to_low = _mm256_set1_epi64x((long long)m[1]);
    const __m256i low_to_high = _mm256_set1_epi64x((long long)m[2]);
    const __m256i high_to_high = _mm256_set1_epi64x((long long)m[3]);
    const __m256i low_byte = _mm256_set1_epi16(0xFF);
    for (size_t i = 0; i < length; i += 64) {
        __m256i a = Load256(src + i), b = Load256(src + i + 32);
        __m256i low = _mm256_packus_epi16(_mm256_and_si256(a, low_byte), _mm256_and_si256(b, low_byte));
        __m256i high = _mm256_packus_epi16(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8));
        AddInterleaved(dst + i,
                       _mm256_xor_si256(_mm256_gf2p8affine_epi64_epi8(low, low_to_low, 0),
                                        _mm256_gf2p8affine_epi64_epi8(high, high_to_low, 0)),
                       _mm256_xor_si256(_mm256_gf2p8affine_epi64_epi8(low, low_to_high, 0),
                                        _mm256_gf2p8affine_epi64_epi8(high, high_to_high, 0)));
    }
}
#endif

typedef void (*Kernel)(unsigned char *dst, const unsigned char *src, size_t length,
                       uint16_t factor);

struct Way {
    const char *name;
    Kernel kernel;     // none: the tables alone
    unsigned vector;   // bytes a register holds: dst is aligned to it; a block is two
};

static const Way kWays[kGf16PathCount] = {
    {"portable", 0, 0},
#ifdef QC_VECTOR_WAYS
    {"SSSE3", MulAddSsse3, 16},
    {"AVX2", MulAddAvx2, 32},
    {"GFNI+AVX2", MulAddGfniAvx2, 32},
#else
    {"SSSE3", 0, 0},
    {"AVX2", 0, 0},
    {"GFNI+AVX2", 0, 0},
#endif
};

bool Gf16PathAvailable(Gf16Path path)
{
    Gf16Init();
    return path >= 0 && path < kGf16PathCount && g_available[path];
}

const char *Gf16PathName(Gf16Path path)
{
    return path >= 0 && path < kGf16PathCount ? kWays[path].name : "?";
}

Gf16Path Gf16BestPath()
{
    Gf16Init();
    return g_best;
}

// The words up to dst's first vector boundary, and those after the last
// whole block, go to the tables; the blocks between to the kernel.
void Gf16MulAddBy(Gf16Path path, unsigned char *dst, const unsigned char *src, size_t length,
                  uint16_t factor)
{
    Gf16Init();
    assert(Gf16PathAvailable(path));
    assert(length % 2 == 0);
    assert(dst == src || (uintptr_t)dst + length <= (uintptr_t)src ||
           (uintptr_t)src + length <= (uintptr_t)dst);
    if (factor == 0)
        return;
    const Way &way = kWays[path];
    if (way.kernel) {
        // An odd dst is never aligned: then it goes unaligned all the way.
        size_t head = (size_t)(0u - (uintptr_t)dst) & (way.vector - 1) & ~(size_t)1;
        size_t block = 2 * way.vector;
        if (length >= head + block) {
            MulAddPortable(dst, src, head, factor);
            dst += head, src += head, length -= head;
            size_t blocks = length & ~(block - 1);
            way.kernel(dst, src, blocks, factor);
            dst += blocks, src += blocks, length -= blocks;
        }
    }
    MulAddPortable(dst, src, length, factor);
}

void Gf16MulAdd(unsigned char *dst, const unsigned char *src, size_t length, uint16_t factor)
{
    Gf16Init();
    Gf16MulAddBy(g_best, dst, src, length, factor);
}
