// The extension of a version 3 head part: what the trailer has no room for,
// between the head part's stretch and the part table.  Entries of a type,
// a length and a value, then a footer that gives the whole length, a
// CRC-32 and "QCX1", so that a reader finds it from the table backwards.
#ifndef QCLEAVER_FORMAT_EXTENSION_H
#define QCLEAVER_FORMAT_EXTENSION_H

#include <stdint.h>

#include "platform/files.h"

enum {
    kExtensionFooterSize = 12,
    kExtensionName = 1,         // the file's whole name, where the trailer cuts it
    kExtensionTime = 2,         // its modification time: seconds (8), nanoseconds (4)
    kExtensionPermissions = 3,  // its read, write and execute bits (4)
    kExtensionRecovery = 4,     // the number of recovery parts beside the set (4)
    kExtensionIdentity = 5,     // the set's identity (16 random bytes), then when it was made (8)
    kExtensionStretches = 6,    // the stretch length of the recovery parts' checksums (4)
    kSetIdentitySize = 16,
    // The largest extension any build writes: a name of a path's length,
    // and the fixed entries.
    kMaxExtensionSize = kPathSize + 64,
};

struct SetExtension {
    char name[kPathSize];  // "" where the trailer's path holds the whole name
    bool has_time;
    FileTime modified;
    int permissions;       // -1: none recorded
    int recovery_count;    // recovery parts made with the set (format/recovery.h); 0: none
    int64_t stretch_length;  // ... checked in stretches of this length (from 2.4); 0: whole
    // Which split made the set: no two splits share it, so that a recovery
    // part of an earlier split, or of another file, is never taken for one
    // of this set's.  Sets made before 2.4 have none.
    bool has_identity;
    unsigned char identity[kSetIdentitySize];
    int64_t made;          // seconds since 1970-01-01 UTC: when the split made the set
};

// All zero but permissions, which says none were recorded.
void ClearExtension(SetExtension *extension);

// Whether two extensions are of the same split: the same identity, or
// neither has one (sets made before identities were recorded).
bool SameIdentity(const SetExtension *a, const SetExtension *b);

// Writes the extension, footer included, into bytes; its length, which is
// at most kMaxExtensionSize.
int EncodeExtension(const SetExtension *extension, unsigned char bytes[kMaxExtensionSize]);

// Reads the extension that ends at end in file, found from its footer, and
// its length, footer included; false where there is none, or its CRC-32 or
// an entry does not hold, or it cannot be read (error).  Entries of types
// it does not know are passed over: later builds may add some.
bool ReadExtension(File *file, int64_t end, SetExtension *extension, int64_t *length, FileError *error);

#endif
