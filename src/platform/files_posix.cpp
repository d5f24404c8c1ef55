// POSIX files, folders and the program's path.  Names are taken inside a
// folder held open (openat and its kin), so that a path of any length
// reaches it and the folder cannot be swapped for another under us.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/text.h"

const bool kNamesIgnoreCase = false;
const bool kDosPaths = false;
const int kErrorNameTooLong = ENAMETOOLONG;
const int kErrorNoSpace = ENOSPC;
const int kErrorEndedEarly = ENODATA;
const int kErrorNotAFile = ENODEV;
const int kErrorTooLarge = EFBIG;
const int kErrorInUse = ETXTBSY;

void DescribeFileError(int code, char *text, int size)
{
    CopyText(text, size, code == kErrorEndedEarly ? "the file ended before its recorded length"
                                                  : strerror(code));
}

// Records errno for call; returns false, so that a failure reads as one line.
static bool Failed(const char *call)
{
    SetFileError(errno, call);
    return false;
}

bool IsLeadByte(unsigned char)
{
    return false;  // UTF-8 and the like never put ASCII bytes inside a character
}

bool GetProgramImagePath(char path[kPathSize])
{
    ssize_t n = readlink("/proc/self/exe", path, kPathSize);
    if (n <= 0 || n >= kPathSize) {
        if (n >= kPathSize)
            SetFileError(ENAMETOOLONG, "readlink");
        else
            Failed("readlink");
        path[0] = 0;
        return false;
    }
    path[n] = 0;
    return true;
}

static int At(const Folder *folder)
{
    return folder ? (int)folder->handle : AT_FDCWD;
}

bool FolderOfFile(const char *path, Folder *folder)
{
    folder->handle = -1;
    const char *slash = strrchr(path, '/');
    int length = slash ? (int)(slash - path) + 1 : 0;
    if (length >= kPathSize) {
        SetFileError(ENAMETOOLONG, "open folder");
        return false;
    }
    memcpy(folder->path, path, (size_t)length);
    folder->path[length] = 0;
    int fd;
    do
        fd = open(length ? folder->path : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Failed("open folder");
    folder->handle = fd;
    return true;
}

void FolderClose(Folder *folder)
{
    if (folder->handle >= 0)
        close((int)folder->handle);
    folder->handle = -1;
}

bool NameFits(const Folder *folder, const char *name)
{
    long limit = folder ? fpathconf((int)folder->handle, _PC_NAME_MAX) : -1;
    if (limit <= 0)
        limit = 255;  // no answer: what every common file system takes
    if (TextLength(name) <= limit)
        return true;
    SetFileError(ENAMETOOLONG, "name");
    return false;
}

bool FolderSpace(const Folder *folder, int64_t *free_bytes, int64_t *largest_file)
{
    struct statvfs vfs;
    if (fstatvfs((int)folder->handle, &vfs) != 0)
        return Failed("statvfs");
    *free_bytes = (int64_t)vfs.f_bavail * (int64_t)vfs.f_frsize;
    *largest_file = INT64_MAX;
    struct statfs fs;
    const long kMsdosMagic = 0x4d44;  // FAT of every width, as Linux mounts it
    if (fstatfs((int)folder->handle, &fs) == 0 && (long)fs.f_type == kMsdosMagic)
        *largest_file = 0xFFFFFFFFLL;
    return true;
}

bool ListFolder(const Folder *folder, const char *prefix,
                bool (*visit)(void *context, const FolderEntry *entry), void *context)
{
    // The directory stream takes a descriptor of its own, so that the
    // folder stays open for the caller.
    int fd = openat(At(folder), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd < 0 ? 0 : fdopendir(fd);
    if (!dir) {
        Failed("list");
        if (fd >= 0)
            close(fd);
        return false;
    }
    size_t prefix_length = strlen(prefix);
    bool listed = true;
    for (;;) {
        errno = 0;
        struct dirent *entry = readdir(dir);
        if (!entry) {
            listed = errno == 0 || Failed("list");
            break;
        }
        if (strncmp(entry->d_name, prefix, prefix_length) != 0)
            continue;
        // Followed, as opening it will follow it.
        struct stat st;
        FolderEntry found = {entry->d_name, false, -1};
        if (fstatat(dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode)) {
            found.is_file = true;
            found.length = (int64_t)st.st_size;
        }
        if (!visit(context, &found))
            break;
    }
    closedir(dir);
    return listed;
}

static int OpenRetrying(const Folder *folder, const char *name, int flags, mode_t mode = 0)
{
    int fd;
    // A signal caught while the open waits (a slow network file system)
    // interrupts it; the open itself has not happened, so ask again.
    do
        fd = openat(At(folder), name, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        Failed("open");
    return fd;
}

// Files are opened without blocking, so that a pipe with no writer cannot
// hold us up; only a plain file is kept, on which the flag means nothing,
// so it stays (two calls fewer an open, for sets of thousands of parts).
static void IdOfStat(const struct stat *st, FileId *id);

static FileHandle PlainFileOnly(int fd, FileId *id, int64_t *length)
{
    if (fd < 0)
        return kNoFile;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        Failed("open");
        close(fd);
        return kNoFile;
    }
    if (!S_ISREG(st.st_mode)) {
        SetFileError(S_ISDIR(st.st_mode) ? EISDIR : kErrorNotAFile, "open");
        close(fd);
        return kNoFile;
    }
    // Asked along, since a join asks both of each of thousands of parts.
    if (id)
        IdOfStat(&st, id);
    if (length)
        *length = (int64_t)st.st_size;
    return fd;
}

FileHandle FileOpenRead(const Folder *folder, const char *name, FileId *id, int64_t *length)
{
    if (!name[0]) {
        SetFileError(ENOENT, "open");
        return kNoFile;
    }
    return PlainFileOnly(OpenRetrying(folder, name, O_RDONLY | O_NONBLOCK), id, length);
}

// Random bits for temporary names; the clock and the process when the
// system has none to give.
static uint64_t RandomBits()
{
    uint64_t bits = 0;
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        if (read(fd, &bits, sizeof bits) != (ssize_t)sizeof bits)
            bits = 0;
        close(fd);
    }
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return bits ^ ((uint64_t)now.tv_nsec << 20) ^ (uint64_t)now.tv_sec ^ ((uint64_t)getpid() << 40);
}

FileHandle FileCreateTemporary(const Folder *folder, char name[kPathSize], FileMode mode)
{
    // The umask decides who else may read or start it, as for any new file.
    mode_t permissions = mode == kProgramFile ? 0777 : 0666;
    for (int attempt = 0; attempt < 100; attempt++) {
        TemporaryName(name, RandomBits());
        // Exclusive and not followed: never an existing file, never a link.
        int fd = OpenRetrying(folder, name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, permissions);
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
    if (n < 0) {
        Failed("read");
        return -1;
    }
    return (int)n;
}

bool FileWrite(FileHandle file, const void *buffer, int size)
{
    const char *p = (const char *)buffer;
    while (size > 0) {
        ssize_t n = write((int)file, p, (size_t)size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Failed("write");
        if (n == 0) {
            SetFileError(ENOSPC, "write");  // a write that stores nothing: no room
            return false;
        }
        p += n;
        size -= (int)n;
    }
    return true;
}

bool FileSeek(FileHandle file, int64_t offset)
{
    if (lseek((int)file, (off_t)offset, SEEK_SET) == (off_t)offset)
        return true;
    return Failed("seek");
}

int64_t FileLength(FileHandle file)
{
    struct stat st;
    if (fstat((int)file, &st) != 0) {
        Failed("stat");
        return -1;
    }
    return (int64_t)st.st_size;
}

bool FileClose(FileHandle file)
{
    // A failed close can be the first report of a failed write (NFS,
    // quotas).  An interrupted one has still closed the descriptor on
    // Linux, and its data is not known lost.
    return close((int)file) == 0 || errno == EINTR || Failed("close");
}

bool FileDelete(const Folder *folder, const char *name)
{
    return unlinkat(At(folder), name, 0) == 0 || Failed("delete");
}

bool FileRename(const Folder *folder, const char *from, const char *to)
{
    return renameat(At(folder), from, At(folder), to) == 0 || Failed("rename");
}

FileKind FileKindOf(const Folder *folder, const char *name)
{
    struct stat st;
    if (fstatat(At(folder), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
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
        return Failed("stat");
    IdOfStat(&st, id);
    return true;
}

bool FileIdAt(const Folder *folder, const char *name, FileId *id)
{
    struct stat st;
    if (fstatat(At(folder), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    IdOfStat(&st, id);
    return true;
}
