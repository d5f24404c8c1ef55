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
};

void ClearExtension(SetExtension *extension);

// Writes the extension, footer included, into bytes; its length, which is
// at most kMaxExtensionSize.
int EncodeExtension(const SetExtension *extension, unsigned char bytes[kMaxExtensionSize]);

// The length the footer at the end of an extension gives, or -1 where it
// is no footer of one.
int64_t ExtensionLength(const unsigned char footer[kExtensionFooterSize]);

// Reads an extension of length bytes, footer included; false where its
// CRC-32 or an entry does not hold.  Entries of types it does not know are
// passed over: later builds may add some.
bool DecodeExtension(const unsigned char *bytes, int64_t length, SetExtension *extension);

#endif
