// POSIX files, program path and current directory.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/text.h"

const char kDirSeparator = '/';
const bool kNamesIgnoreCase = false;

bool IsLeadByte(unsigned char)
{
    return false;  // UTF-8 and the like never put ASCII bytes inside a character
}

unsigned CurrentProcessId()
{
    return (unsigned)getpid();
}

bool GetProgramImagePath(char path[kPathSize])
{
    ssize_t n = readlink("/proc/self/exe", path, kPathSize);
    if (n <= 0 || n >= kPathSize) {
        path[0] = 0;
        return false;
    }
    path[n] = 0;
    return true;
}

bool GetCurrentDir(char path[kPathSize])
{
    if (getcwd(path, kPathSize))
        return true;
    path[0] = 0;
    return false;
}

bool SetCurrentDir(const char *path)
{
    return chdir(path) == 0;
}

bool PathFits(const char *path)
{
    for (int n = 0; n < kPathSize; n++)
        if (!path[n])
            return true;
    return false;
}

static int OpenRetrying(const char *name, int flags, mode_t mode = 0)
{
    int fd;
    do
        fd = open(name, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// Files are opened without blocking, so that a pipe with no writer cannot
// hold us up; only a plain file is kept, and then read and written as one.
static FileHandle PlainFileOnly(int fd)
{
    if (fd < 0)
        return kNoFile;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        return kNoFile;
    }
    return fd;
}

FileHandle FileOpenRead(const char *name)
{
    if (!name[0])
        return kNoFile;
    return PlainFileOnly(OpenRetrying(name, O_RDONLY | O_NONBLOCK));
}

static mode_t ModeFor(FileMode mode)
{
    return mode == kProgramFile ? 0777 : 0666;
}

FileHandle FileCreate(const char *name, FileMode mode)
{
    if (!name[0])
        return kNoFile;
    return PlainFileOnly(
        OpenRetrying(name, O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK, ModeFor(mode)));
}

// Random bits for temporary names; the clock and the process when the
// system has none to give.
static uint64_t RandomBits()
{
    uint64_t bits = 0;
    int fd = OpenRetrying("/dev/urandom", O_RDONLY);
    if (fd >= 0) {
        if (read(fd, &bits, sizeof bits) != (ssize_t)sizeof bits)
            bits = 0;
        close(fd);
    }
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return bits ^ ((uint64_t)now.tv_nsec << 20) ^ (uint64_t)now.tv_sec ^ ((uint64_t)getpid() << 40);
}

FileHandle FileCreateTemporary(char name[kPathSize], FileMode mode)
{
    for (int attempt = 0; attempt < 100; attempt++) {
        TemporaryName(name, RandomBits());
        // Exclusive: never an existing file, never through a link.
        int fd = OpenRetrying(name, O_RDWR | O_CREAT | O_EXCL, ModeFor(mode));
        if (fd >= 0)
            return fd;
        if (errno != EEXIST)
            break;
    }
    name[0] = 0;
    return kNoFile;
}

int FileRead(FileHandle file, void *buffer, int size)
{
    ssize_t n;
    do
        n = read((int)file, buffer, (size_t)size);
    while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : (int)n;
}

bool FileWrite(FileHandle file, const void *buffer, int size)
{
    const char *p = (const char *)buffer;
    while (size > 0) {
        ssize_t n = write((int)file, p, (size_t)size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= (int)n;
    }
    return true;
}

bool FileSeek(FileHandle file, int64_t offset)
{
    return lseek((int)file, (off_t)offset, SEEK_SET) == (off_t)offset;
}

int64_t FileLength(FileHandle file)
{
    struct stat st;
    if (fstat((int)file, &st) != 0)
        return -1;
    return (int64_t)st.st_size;
}

bool FileClose(FileHandle file)
{
    // A failed close can be the first report of a failed write (NFS, quotas).
    return close((int)file) == 0 || errno == EINTR;
}

bool FileDelete(const char *name)
{
    return unlink(name) == 0;
}

bool FileRename(const char *from, const char *to)
{
    return rename(from, to) == 0;
}

FileKind FileKindOf(const char *name)
{
    struct stat st;
    if (lstat(name, &st) != 0)
        return kNothingThere;
    if (S_ISLNK(st.st_mode))
        return kLinkThere;
    if (!S_ISREG(st.st_mode))
        return kOtherThere;
    // Judged by the mode bits, as on Windows by the read-only attribute, so
    // that root too keeps its hands off a file marked read-only.
    return (st.st_mode & 0222) == 0 ? kReadOnlyFile : kPlainFile;
}

static void IdOfStat(const struct stat *st, FileId *id)
{
    id->volume = (uint64_t)st->st_dev;
    id->index = (uint64_t)st->st_ino;
}

bool FileIdOf(FileHandle file, FileId *id)
{
    struct stat st;
    if (fstat((int)file, &st) != 0)
        return false;
    IdOfStat(&st, id);
    return true;
}

bool FileIdAt(const char *name, FileId *id)
{
    struct stat st;
    if (lstat(name, &st) != 0)
        return false;
    IdOfStat(&st, id);
    return true;
}
