// The size of the parts as a person types it: "25 MB", "4.7 GB", "640".
#ifndef QCLEAVER_SPLIT_SLICE_SIZE_H
#define QCLEAVER_SPLIT_SLICE_SIZE_H

#include <stdint.h>

// A number with at most one decimal, then optionally a unit: K, KB or KiB,
// M..., G..., binary as Windows counts them, any case; a bare number counts
// bare_unit bytes.  4 GB, exactly, means the largest file FAT32 holds, a
// byte less.  False when the text is no such size.
bool ParseSliceSize(const char *text, int64_t bare_unit, int64_t *bytes);

// Whether parts of this size may be asked for.
bool SliceSizeAllowed(int64_t bytes);

#endif
