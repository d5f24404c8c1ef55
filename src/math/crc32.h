// The CRC-32 of ZIP and PNG (reflected polynomial 0xEDB88320, register
// preset and final value inverted): the value zlib's crc32() gives.  Fast
// enough to check every byte a split or a join moves without slowing it.
#ifndef QCLEAVER_CRC32_H
#define QCLEAVER_CRC32_H

#include <stddef.h>
#include <stdint.h>

// Fills the lookup tables and asks the processor whether it can fold by
// carry-less multiplication.  Every function below calls it on first use;
// call it once before checksumming from several threads at a time.
void Crc32Init();

// Carries a checksum over length more bytes.  Start from 0 and feed the data
// in pieces of any size: the result is that of the whole.  It takes the
// fastest way this processor has (below).
//   Crc32Update(0, "123456789", 9) == 0xCBF43926
uint32_t Crc32Update(uint32_t crc, const void *data, size_t length);

// The ways, each by itself, for the tests and the benchmark: slicing-by-8
// tables on any processor, and folding one or two blocks an instruction
// where the processor (and, for the wide one, the system) allows.
enum Crc32Way { kCrc32Tables, kCrc32Fold, kCrc32FoldWide, kCrc32WayCount };
extern const char *const kCrc32WayNames[kCrc32WayCount];
bool Crc32WayAvailable(Crc32Way way);
// The checksum by that way alone; the way must be available.
uint32_t Crc32UpdateBy(Crc32Way way, uint32_t crc, const void *data, size_t length);

// The CRC-32 of length zero bytes: what a part that was never filled in
// (a download allocated but not written) checks as.
uint32_t Crc32OfZeros(int64_t length);

// The CRC-32 of A followed by B, from the CRC-32 of each and B's length:
// how a part's own checksum joins the whole file's.  The operator for a
// length is kept in *cache, since most parts of a set have one length.
struct Crc32Joiner {
    int64_t length;  // 0: nothing kept yet
    uint32_t op[32];
};
uint32_t Crc32Combine(uint32_t crc_a, uint32_t crc_b, int64_t length_b, Crc32Joiner *cache);

#endif
