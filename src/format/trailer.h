// The 272-byte record at the end of every head part, which lets a head part
// rebuild the original file from the slice files beside it.
#ifndef QCLEAVER_FORMAT_TRAILER_H
#define QCLEAVER_FORMAT_TRAILER_H

#include <stdint.h>

#include "platform/files.h"

// Field offsets, little-endian and without gaps: the path, then three
// signed 32-bit numbers.
enum {
    kImageSizeAt = kPathSize,
    kOriginalSizeAt = kImageSizeAt + 4,
    kLastPartAt = kOriginalSizeAt + 4,
    kTrailerSize = kLastPartAt + 4,
};
static_assert(kTrailerSize == 272, "every head part ever written ends in 272 bytes");

struct PartSetTrailer {
    char original_path[kPathSize];  // as the split was given it; NUL inside
    int32_t image_size;             // program bytes at the head part's start
    int32_t original_size;          // the input's length
    int32_t last_part;              // index of the last part = slice files
};

// Little-endian, field by field, whatever the compiler's layout.
void EncodeTrailer(const PartSetTrailer *trailer, unsigned char bytes[kTrailerSize]);
void DecodeTrailer(const unsigned char bytes[kTrailerSize], PartSetTrailer *trailer);

enum TrailerState {
    kTrailerEmpty,    // all zero: the program itself, not a head part
    kTrailerSound,    // what a split could have written
    kTrailerDamaged,  // cut short in transfer, or random bytes
};

// What a trailer read from a head part is worth: its state, and for a
// damaged one, which fields may still be shown.
struct TrailerVerdict {
    TrailerState state;
    bool name_readable;   // the path holds its terminator
    bool size_readable;   // the size is not negative
    bool count_readable;  // the slice count is one a set of this size can have
};

// Judges a trailer read from the end of a head part of head_length bytes.
TrailerVerdict JudgeTrailer(const PartSetTrailer *trailer, int64_t head_length);

// The most slice files any set of an input of this size can have: that of
// the smallest slice size under the most generous count any build uses.
int64_t MaxLastPart(int64_t original_size);

// Reads the last 272 bytes of a file, and its length.  False when the file
// cannot be opened or read.
bool ReadTrailerOf(const char *path, PartSetTrailer *trailer, int64_t *file_length);

// The same for the running program's own image, whose path it also returns.
bool ReadOwnTrailer(PartSetTrailer *trailer, int64_t *image_length, char image_path[kPathSize]);

bool WriteTrailer(FileHandle file, const PartSetTrailer *trailer);

#endif
