// Recovery parts: "<stem>_R01.QCB" ... "<stem>_R<count>.QCB" beside a set,
// with which any count of its parts that are missing or damaged can be
// rebuilt (format/erasure.h).  Each is a header that describes the set, as
// its head part ends (extension, part table, trailer), and one recovery
// block as long as a slice.  As parts, they have the negative indices -1,
// -2, ... (format/part_names.h).
#ifndef QCLEAVER_FORMAT_RECOVERY_H
#define QCLEAVER_FORMAT_RECOVERY_H

#include <stdint.h>

#include "format/trailer.h"
#include "platform/files.h"

enum {
    kRecoveryFixedSize = 40,  // the fields before the description
    kRecoveryCheckSize = 4,   // the CRC-32 after it
    kRecoveryWindowsHead = 1, // flags: the head part is a Windows program
};

struct RecoveryHeader {
    int32_t number;           // 1 ... count: "_R01" is 1
    int32_t count;            // the set's recovery parts
    int32_t flags;
    int64_t head_data;        // input bytes the head part carries
    int64_t block_length;     // bytes of the recovery block: the slice length
    uint32_t block_crc;       // CRC-32 of the block
    int64_t description_length;  // the head part's last bytes: extension, table, trailer
};

// Where the block starts: the header's whole length.
inline int64_t RecoveryBlockAt(const RecoveryHeader *header)
{
    return kRecoveryFixedSize + header->description_length + kRecoveryCheckSize;
}

// The header's fixed fields; the description follows them, and the CRC-32
// of all bytes before it.
void EncodeRecoveryFixed(const RecoveryHeader *header, unsigned char bytes[kRecoveryFixedSize]);
// False where the magic or a field does not hold.
bool DecodeRecoveryFixed(const unsigned char bytes[kRecoveryFixedSize], RecoveryHeader *header);

// The header's length for a set whose head part ends in description_length
// bytes after its stretch.
inline int64_t RecoveryHeaderLength(int64_t description_length)
{
    return kRecoveryFixedSize + description_length + kRecoveryCheckSize;
}

// Writes a whole header at the start of to: the fixed fields, the
// description_length bytes read from description at description_at, and
// the check.
bool WriteRecoveryHeader(File *to, const RecoveryHeader *header, File *description,
                         int64_t description_at, FileError *error);

// dst += factor * src, for length bytes that sit at block offset `at` in
// both: a byte at an odd offset is the high byte of its word, and dst has
// room for the whole word of each byte (dst[-1] where at is odd, one byte
// past the end where at + length is).
void MulAddBytes(unsigned char *dst, const unsigned char *src, int64_t length, uint16_t factor,
                 int64_t at);

// Whether two trailers describe the same set: the same input, size and
// CRC-32, cut the same way, with the same part table.  The program's
// fields may differ: a head part rebuilt with another build's program is
// still of the set.
bool SameSet(const PartSetTrailer *a, const PartSetTrailer *b);

#endif
