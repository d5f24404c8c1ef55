#include "format/copy.h"

#include "format/crc32.h"

// Fixed, whatever the file size.  1 MiB rather than 256 KiB: a quarter of
// the system calls, which cost more than the larger buffer's cache misses.
static unsigned char g_copy_buffer[kCopyBufferSize];

CopyResult CopyBytes(File *from, File *to, int64_t count, uint32_t *crc, Progress *progress,
                     FileError *error, const CopyTap *tap)
{
    int64_t copied;
    CopyResult result = CopyAvailable(from, to, count, &copied, crc, progress, error, tap);
    // An end before count bytes means the file was cut short.
    if (result == kCopied && copied < count) {
        SetError(error, kErrorEndedEarly, "read", from->name);
        return kReadFailed;
    }
    return result;
}

CopyResult CopyAvailable(File *from, File *to, int64_t count, int64_t *copied, uint32_t *crc,
                         Progress *progress, FileError *error, const CopyTap *tap)
{
    *copied = 0;
    while (count > 0) {
        int want = count < kCopyBufferSize ? (int)count : kCopyBufferSize;
        // A read may return less than asked; only none at all is the end.
        int got = FileRead(from, g_copy_buffer, want, error);
        if (got == 0)
            return kCopied;
        if (got < 0)
            return kReadFailed;
        if (crc)
            *crc = Crc32Update(*crc, g_copy_buffer, (size_t)got);
        if (tap)
            tap->see(tap->context, g_copy_buffer, got);
        if (to && !FileWrite(to, g_copy_buffer, got, error))
            return kWriteFailed;
        count -= got;
        *copied += got;
        if (!ProgressStep(progress, got))
            return kCopyStopped;
    }
    return kCopied;
}

CopyResult WriteBytes(File *to, const unsigned char *bytes, int64_t count, uint32_t *crc,
                      FileError *error)
{
    while (count > 0) {
        int n = count < kCopyBufferSize ? (int)count : kCopyBufferSize;
        if (crc)
            *crc = Crc32Update(*crc, bytes, (size_t)n);
        if (!FileWrite(to, bytes, n, error))
            return kWriteFailed;
        bytes += n;
        count -= n;
    }
    return kCopied;
}
