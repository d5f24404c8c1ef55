// Arithmetic in GF(2^16), the field recovery parts are computed in: elements
// are 16-bit words, added by XOR and multiplied modulo the primitive
// polynomial x^16 + x^12 + x^3 + x + 1.  Part data are read as little-endian
// words, so a part's bytes mean the same on every processor.
#ifndef QCLEAVER_GF16_H
#define QCLEAVER_GF16_H

#include <stddef.h>
#include <stdint.h>

// Fills the logarithm tables and asks the processor which ways it can
// multiply a region.  Every function below calls it on first use; call it
// once before working from several threads at a time.
void Gf16Init();

uint16_t Gf16Mul(uint16_t a, uint16_t b);
uint16_t Gf16Inverse(uint16_t a);  // a != 0

// dst ^= factor * src, word by word: the one step both making recovery
// parts and repairing from them are built of.  length is in bytes, even;
// src and dst may be anywhere but must not overlap unless they are equal.
// It takes the fastest way this processor has.
void Gf16MulAdd(unsigned char *dst, const unsigned char *src, size_t length, uint16_t factor);

// The ways, slowest first, for the tests and the benchmark.
enum Gf16Path {
    kGf16Portable,    // logarithm tables, on any processor
    kGf16Ssse3,       // 4-bit table lookups by PSHUFB, 16 bytes at a time
    kGf16Avx2,        // the same, 32 bytes at a time
    kGf16GfniAvx2,    // 8x8 bit-matrix products by GF2P8AFFINEQB, 32 bytes at a time
    kGf16PathCount
};
bool Gf16PathAvailable(Gf16Path path);
const char *Gf16PathName(Gf16Path path);
Gf16Path Gf16BestPath();
// Gf16MulAdd by that way, which must be available.
void Gf16MulAddBy(Gf16Path path, unsigned char *dst, const unsigned char *src, size_t length,
                  uint16_t factor);

#endif
