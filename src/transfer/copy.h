// Moves an exact number of bytes from one open file to another, through
// one fixed buffer: the loop both engines copy every part with.
#ifndef QCLEAVER_FORMAT_COPY_H
#define QCLEAVER_FORMAT_COPY_H

#include <stdint.h>

#include "platform/files.h"
#include "platform/progress.h"

enum CopyResult {
    kCopied,
    kReadFailed,   // a read failed, or the source ended early (kErrorEndedEarly)
    kWriteFailed,  // a write failed or fell short: most often a full disk
    kCopyStopped,  // the user stopped the work
};

// The most a copy moves at a time.
enum { kCopyBufferSize = 1024 * 1024 };

// Shown every stretch of bytes a copy moves, in order: how a split makes
// its recovery parts in the one pass it reads the input in.
struct CopyTap {
    void (*take)(void *context, const unsigned char *bytes, int length);
    void *context;
};

// Copies count bytes, carrying *crc over them and counting them in
// *progress, each where not null; a failure's reason goes to error.  A
// null `to` reads only, for the checksum.
CopyResult CopyBytes(File *from, File *to, int64_t count, uint32_t *crc, Progress *progress,
                     FileError *error, const CopyTap *tap = 0);

// Carries *crc over length bytes at `at` in file, counted in progress; as
// CopyBytes, and kReadFailed where it cannot seek there.
CopyResult ChecksumAt(File *file, int64_t at, int64_t length, uint32_t *crc, Progress *progress,
                      FileError *error);

// Copies what from holds, up to count bytes: fewer where it ends first (a
// pipe), which is no failure; *copied says how many.
CopyResult CopyAvailable(File *from, File *to, int64_t count, int64_t *copied, uint32_t *crc,
                         Progress *progress, FileError *error, const CopyTap *tap = 0);

// The same from bytes in memory.
CopyResult WriteBytes(File *to, const unsigned char *bytes, int64_t count, uint32_t *crc,
                      FileError *error);

#endif
