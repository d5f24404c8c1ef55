// Moves an exact number of bytes from one open file to another, through
// one fixed buffer: the loop both engines copy every part with.
#ifndef QCLEAVER_FORMAT_COPY_H
#define QCLEAVER_FORMAT_COPY_H

#include <stdint.h>

#include "platform/files.h"

enum CopyResult {
    kCopied,
    kReadFailed,   // a read failed, or the source ended early
    kWriteFailed,  // a write failed or fell short: most often a full disk
};

// Copies count bytes, carrying *crc (when not null) over them.
CopyResult CopyBytes(FileHandle from, FileHandle to, int64_t count, uint32_t *crc = 0);

#endif
