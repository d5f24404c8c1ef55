// What every system's files do alike, built on the calls each defines.
#include "platform/files.h"

bool FileReadAt(File *file, int64_t offset, void *bytes, int64_t length, FileError *error)
{
    if (!FileSeek(file, offset, error))
        return false;
    unsigned char *at = (unsigned char *)bytes;
    for (int64_t got = 0; got < length;) {
        int64_t want = length - got;
        int n = FileRead(file, at + got, want > (1 << 30) ? 1 << 30 : (int)want, error);
        if (n == 0)
            SetError(error, kErrorEndedEarly, "read", file->name);
        if (n <= 0)
            return false;
        got += n;
    }
    return true;
}
