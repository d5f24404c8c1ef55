// The 272-byte record at the end of every head part, which lets a head part
// rebuild the original file from the slice files beside it.
#ifndef QCLEAVER_FORMAT_TRAILER_H
#define QCLEAVER_FORMAT_TRAILER_H

#include <stdint.h>

#include "platform/files.h"

// Field offsets, little-endian and without gaps: the path, then three
// signed 32-bit numbers.
enum {
    kTrailerPathSize = 260,
    kImageSizeAt = kTrailerPathSize,
    kOriginalSizeAt = kImageSizeAt + 4,
    kLastPartAt = kOriginalSizeAt + 4,
    kTrailerSize = kLastPartAt + 4,
};
static_assert(kTrailerSize == 272, "every head part ever written ends in 272 bytes");

// The set record: the path field's last 32 bytes, which older readers never
// look at since the path ends before them.  It carries what a 32-bit size
// cannot, and a checksum over the input.  Version 2 ("QCS2") also checks
// the program image and a part table: the CRC-32 of each part's stretch of
// the input, 4 bytes a part from the head part's on, little-endian, just
// before the trailer.  Version 3 ("QCS3") adds an extension before the
// table (format/extension.h).  docs/FORMAT.md tells them all.
enum {
    kRecordAt = kTrailerPathSize - 32,  // "QCS1", "QCS2" or "QCS3"
    kRecordSizeAt = kRecordAt + 4,   // the input's size, signed 64-bit
    kRecordCrcAt = kRecordAt + 12,   // CRC-32 of the input
    kRecordSliceAt = kRecordAt + 16, // bytes in every full slice file, unsigned
    kRecordImageCrcAt = kRecordAt + 20,  // versions 2 and 3: CRC-32 of the program image
    kRecordTableCrcAt = kRecordAt + 24,  // versions 2 and 3: CRC-32 of the part table
    kRecordCheckAt = kRecordAt + 28, // CRC-32 of the record's first 28 bytes
    kMaxRecordPath = kRecordAt - 1,  // the longest path that leaves room for it
    kTableEntrySize = 4,
};
static_assert(kRecordAt == 228 && kRecordCheckAt + 4 == kImageSizeAt, "the record's place");

// The 32-bit size field of a set of 2 GiB or more.
const int32_t kSizeOverflow = 2147483647;

struct PartSetTrailer {
    char original_path[kTrailerPathSize];  // as the split was given it; NUL inside
    int32_t image_size;             // program bytes at the head part's start
    int32_t original_size32;        // the input's length, or kSizeOverflow from 2 GiB
    int32_t last_part;              // index of the last part = slice files
    // The set record, where there is one.
    bool has_record;
    int record_version;     // 1, 2 or 3 with a record; -1 for bytes no build writes
    bool record_intact;     // its own check matched when it was read
    int64_t size;           // the input's length
    uint32_t crc;           // CRC-32 of the input
    uint32_t slice_length;  // bytes in every full slice file
    uint32_t image_crc;     // versions 2 and 3: CRC-32 of the program image
    uint32_t table_crc;     // versions 2 and 3: CRC-32 of the part table
    // Not in the trailer's bytes: the length of a version 3 extension, as
    // its reader found it; 0 for the others.
    int64_t extension_length;
};

// The version every set this build makes is.
const int kCurrentRecordVersion = 3;

// Bytes of the part table before the trailer: none but in versions 2 and 3.
int64_t PartTableSize(const PartSetTrailer *trailer);

// The input's length as the trailer tells it, from the record where there is one.
int64_t OriginalSize(const PartSetTrailer *trailer);

// The one little-endian reader and writer of 32-bit numbers.
uint32_t ReadUint32(const unsigned char *at);
void WriteUint32(unsigned char *at, uint32_t value);
int64_t ReadInt64(const unsigned char *at);
void WriteInt64(unsigned char *at, int64_t value);

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
    bool name_readable;   // the path holds its terminator and no control character
    bool size_readable;   // the size is not negative
    bool count_readable;  // the slice count is one a set of this size can have
};

// Judges a trailer read from the end of a head part of head_length bytes.
// A record that fails its own check, disagrees with the fields around it or
// has a part table that does not fit, or record bytes that are neither
// zero (this program writes zeros where it writes no record) nor an older
// build's leftover path text, make the trailer damaged: never a silent
// fall-back to the old rules.
TrailerVerdict JudgeTrailer(const PartSetTrailer *trailer, int64_t head_length);

bool WriteTrailer(File *file, const PartSetTrailer *trailer, FileError *error);

#endif
