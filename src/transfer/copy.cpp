#include "transfer/copy.h"

#include <string.h>

#include "math/crc32.h"

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

// Each byte equal to the one before, and the first zero: the C library's
// comparison, which reads words.
static bool IsZeros(const unsigned char *bytes, int length)
{
    return bytes[0] == 0 && memcmp(bytes, bytes + 1, (size_t)length - 1) == 0;
}

// Where the last stretch was left a hole, its last byte is written, so
// that the file ends where the copy did.
static bool EndHole(File *to, bool hole, FileError *error)
{
    static const unsigned char kZero = 0;
    return !hole || (FileSkip(to, -1, error) && FileWrite(to, &kZero, 1, error));
}

// A hole of the input, length bytes of zeros known without reading them:
// counted as read, and a hole in the output too where it can be one.
static bool PassHole(File *to, int64_t length, uint32_t *crc, const CopyTap *tap, bool *hole,
                     FileError *error)
{
    if (crc) {
        Crc32Joiner joiner = {0, {0}};
        *crc = Crc32Combine(*crc, Crc32OfZeros(length), length, &joiner);
    }
    *hole = to && to->fresh;
    if (*hole && !FileSkip(to, length, error))
        return false;
    if (!tap && (!to || *hole))
        return true;
    memset(g_copy_buffer, 0, (size_t)(length < (int64_t)kCopyBufferSize ? length : (int64_t)kCopyBufferSize));
    for (int64_t left = length; left > 0;) {
        int n = left < kCopyBufferSize ? (int)left : kCopyBufferSize;
        if (tap)
            tap->take(tap->context, g_copy_buffer, n);
        if (to && !*hole && !FileWrite(to, g_copy_buffer, n, error))
            return false;
        left -= n;
    }
    return true;
}

CopyResult CopyAvailable(File *from, File *to, int64_t count, int64_t *copied, uint32_t *crc,
                         Progress *progress, FileError *error, const CopyTap *tap)
{
    *copied = 0;
    bool hole = false;  // the last stretch skipped, not written
    while (count > 0) {
        // Holes of a sparse input (a disk image) are passed over unread.
        int64_t skipped = kKeepsHoles ? FileSkipHole(from, count, error) : 0;
        if (skipped < 0)
            return kReadFailed;
        if (skipped > 0) {
            if (!PassHole(to, skipped, crc, tap, &hole, error))
                return kWriteFailed;
            count -= skipped;
            *copied += skipped;
            if (!ProgressStep(progress, skipped))
                return EndHole(to, hole, error) ? kCopyStopped : kWriteFailed;
            continue;
        }
        int want = count < kCopyBufferSize ? (int)count : kCopyBufferSize;
        // A read may return less than asked; only none at all is the end.
        int got = FileRead(from, g_copy_buffer, want, error);
        if (got == 0)
            break;
        if (got < 0)
            return kReadFailed;
        if (crc)
            *crc = Crc32Update(*crc, g_copy_buffer, (size_t)got);
        if (tap)
            tap->take(tap->context, g_copy_buffer, got);
        // A whole buffer of zeros in a file made here stays a hole, as cp
        // leaves one: a sparse disk image comes back sparse.
        if (to) {
            hole = kKeepsHoles && to->fresh && got == kCopyBufferSize && IsZeros(g_copy_buffer, got);
            if (hole ? !FileSkip(to, got, error) : !FileWrite(to, g_copy_buffer, got, error))
                return kWriteFailed;
        }
        count -= got;
        *copied += got;
        if (!ProgressStep(progress, got))
            return EndHole(to, hole, error) ? kCopyStopped : kWriteFailed;
    }
    return EndHole(to, hole, error) ? kCopied : kWriteFailed;
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

CopyResult ChecksumAt(File *file, int64_t at, int64_t length, uint32_t *crc, Progress *progress,
                      FileError *error)
{
    return FileSeek(file, at, error) ? CopyBytes(file, 0, length, crc, progress, error) : kReadFailed;
}
