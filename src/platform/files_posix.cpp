// POSIX files, program path and current directory.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"

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

FileHandle FileOpenRead(const char *name)
{
    if (!name[0])
        return kNoFile;
    int fd;
    do
        fd = open(name, O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return kNoFile;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        return kNoFile;
    }
    return fd;
}

FileHandle FileCreate(const char *name, FileMode mode)
{
    if (!name[0])
        return kNoFile;
    int fd;
    do
        fd = open(name, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC,
                  mode == kProgramFile ? 0777 : 0666);
    while (fd < 0 && errno == EINTR);
    return fd < 0 ? kNoFile : fd;
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

bool FileIsProtected(const char *name)
{
    struct stat st;
    if (stat(name, &st) != 0)
        return false;
    // Judged by the mode bits, as on Windows by the read-only attribute, so
    // that root too keeps its hands off a file marked read-only.
    return !S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0;
}
