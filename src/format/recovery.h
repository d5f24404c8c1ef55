// Recovery parts: "<stem>_R01.QCB" ... "<stem>_R<count>.QCB" beside a set,
// with which any count of its parts that are missing or damaged can be
// rebuilt (math/erasure.h).  Each is a header that describes the set, as
// its head part ends (extension, part table, trailer), and one recovery
// block as long as a slice.  As parts, they have the negative indices -1,
// -2, ... (format/part_names.h).
#ifndef QCLEAVER_FORMAT_RECOVERY_H
#define QCLEAVER_FORMAT_RECOVERY_H

#include <stdint.h>

#include "format/trailer.h"
#include "platform/files.h"

enum {
    kRecoveryFixedSize = 40,  // version 1 (2.3): the fields before the description
    kRecoveryCheckSize = 4,   // the CRC-32 after them
    kRecoveryHeaderSize = 52, // version 2 (2.4): the fixed fields and their CRC-32
    kRecoveryWindowsHead = 1, // flags: the head part is a Windows program
};

struct RecoveryHeader {
    int version;              // 1: "QCR1" (2.3); 2: "QCR2", checked in stretches
    int32_t number;           // 1 ... count: "_R01" is 1
    int32_t count;            // the set's recovery parts
    int32_t flags;
    int64_t head_data;        // input bytes the head part carries
    int64_t block_length;     // bytes of the recovery block: the slice length
    uint32_t block_crc;       // version 1: CRC-32 of the block
    int64_t description_length;  // the head part's last bytes: extension, table, trailer
    int64_t stretch_length;   // version 2: the length checked by each stretch checksum
    int64_t table_length;     // version 2: the stretch checksums' bytes
};

// Where the block starts in a recovery part, where the description does,
// and the part's whole length.
int64_t RecoveryBlockAt(const RecoveryHeader *header);
int64_t RecoveryDescriptionAt(const RecoveryHeader *header);
int64_t RecoveryPartLength(const RecoveryHeader *header);
// Version 2: where the stretch checksums start.
inline int64_t RecoveryTableAt(const RecoveryHeader *header)
{
    return RecoveryDescriptionAt(header) + header->description_length;
}

// Stretches of a block: how many, and the stretch checksums' bytes for a
// set of parts parts and count recovery parts.
inline int64_t StretchCount(int64_t block_length, int64_t stretch_length)
{
    return (block_length + stretch_length - 1) / stretch_length;
}
inline int64_t StretchTableLength(int64_t parts, int64_t count, int64_t block_length, int64_t stretch_length)
{
    return (parts + count) * StretchCount(block_length, stretch_length) * 4;
}
// The stretch a split chooses for blocks of block_length bytes in a set
// of that many parts and recovery parts: at most 64 KiB while blocks are
// under 16 MiB, else as long as keeps the checksums near 1% of a block.
int64_t ChooseStretchLength(int64_t block_length, int64_t parts, int64_t count);

// A version 2 recovery part's length for a set whose head part ends in
// description_length bytes after its stretch.
inline int64_t RecoveryLength(int64_t block_length, int64_t description_length, int64_t table_length)
{
    return kRecoveryHeaderSize + block_length + description_length + table_length + kRecoveryCheckSize;
}

// Reads the header of a recovery part of length bytes, and checks it and
// the description (with the stretch checksums) as WriteRecoveryDescription
// wrote them; false where they do not hold, or cannot be read (error).
bool ReadRecoveryHeader(File *file, int64_t length, RecoveryHeader *header, FileError *error);

// Writes a recovery part's header, and its description (the
// description_length bytes read from description at description_at) with,
// in version 2, the stretch checksums in table; each with its check.
bool WriteRecoveryDescription(File *to, const RecoveryHeader *header, File *description,
                              int64_t description_at, const unsigned char *table, FileError *error);

// Whether two trailers describe the same set: the same input, size and
// CRC-32, cut the same way, with the same part table.  The program's
// fields may differ: a head part rebuilt with another build's program is
// still of the set.
bool SameSet(const PartSetTrailer *a, const PartSetTrailer *b);

#endif
