// POSIX files, folders and the program's path.  Names are taken inside a
// folder held open (openat and its kin), so that a deep path reaches them
// and the folder cannot be swapped for another under us.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/text.h"

const bool kNamesIgnoreCase = false;
const bool kDosPaths = false;
const int kErrorNotFound = ENOENT;
const int kErrorNameTooLong = ENAMETOOLONG;
const int kErrorNoSpace = ENOSPC;
const int kErrorIsAFolder = EISDIR;
const int kErrorTooLarge = EFBIG;
const int kErrorInUse = ETXTBSY;
const int kErrorExists = EEXIST;

void DescribeFileError(int code, char *text, int size)
{
    if (code == kErrorEndedEarly)
        CopyText(text, size, "the file ended before its recorded length");
    else if (code == kErrorNotAFile)
        CopyText(text, size, "not a file on a disk but a pipe, a device or the like");
    else
        CopyText(text, size, strerror(code));
}

// Records errno for call on path; false.
static bool FailedWithErrno(FileError *error, const char *call, const char *path)
{
    return SetError(error, errno, call, path);
}

bool IsNotWritable(const FileError *error)
{
    return error->code == EACCES || error->code == EPERM || error->code == EROFS;
}

bool IsLeadByte(unsigned char)
{
    return false;  // UTF-8 and the like never put ASCII bytes inside a character
}

// Whether path names a plain file that may be started.
static bool IsProgram(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode) && access(path, X_OK) == 0;
}

// How the shell found the program: argv[0] as a path, or a bare name
// looked up in PATH as the shell did.
static bool ProgramFromArgument(char path[kPathSize], const char *argv0)
{
    if (strchr(argv0, '/'))
        return IsProgram(argv0) && CopyText(path, kPathSize, argv0);
    const char *search = getenv("PATH");
    while (search && *argv0) {
        const char *end = strchr(search, ':');
        int length = end ? (int)(end - search) : TextLength(search);
        // An empty entry is the current directory.
        if (FormatText(path, kPathSize, "%.*s/%s", length ? length : 1, length ? search : ".", argv0) &&
            IsProgram(path))
            return true;
        search = end ? end + 1 : 0;
    }
    return false;
}

bool GetProgramImagePath(char path[kPathSize], const char *argv0, FileError *error)
{
    ssize_t n = readlink("/proc/self/exe", path, kPathSize);
    if (n > 0 && n < kPathSize) {
        path[n] = 0;
        return true;
    }
    int code = n < 0 ? errno : ENAMETOOLONG;
    if (argv0 && ProgramFromArgument(path, argv0))
        return true;
    path[0] = 0;
    return SetError(error, code, "find the program's own file", "/proc/self/exe");
}

static int FolderFd(const Folder *folder)
{
    return folder ? (int)folder->handle : AT_FDCWD;
}

static int OpenRetrying(const Folder *folder, const char *name, int flags, mode_t mode = 0)
{
    int fd;
    // A signal caught while the open waits (a slow network file system)
    // interrupts it; the open itself has not happened, so ask again.
    do
        fd = openat(FolderFd(folder), name, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// Holds the folder at path ("" for the current directory) open in folder;
// a failure is told under shown.
static bool HoldFolder(Folder *folder, const char *path, const char *shown, FileError *error)
{
    int fd = OpenRetrying(0, path[0] ? path : ".", O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return FailedWithErrno(error, "open the folder", shown);
    folder->handle = fd;
    return true;
}

bool FolderOfFile(const char *path, Folder *folder, FileError *error)
{
    folder->handle = -1;
    const char *slash = strrchr(path, '/');
    int length = slash ? (int)(slash - path) + 1 : 0;
    if (length >= kPathSize)
        return SetError(error, ENAMETOOLONG, "open the folder", path);
    memcpy(folder->path, path, (size_t)length);
    folder->path[length] = 0;
    return HoldFolder(folder, folder->path, length ? folder->path : ".", error);
}

bool OpenFolder(const char *path, Folder *folder, FileError *error)
{
    folder->handle = -1;
    int length = TextLength(path);
    if (!CopyText(folder->path, kPathSize - 1, path))
        return SetError(error, ENAMETOOLONG, "open the folder", path);
    if (length > 0 && path[length - 1] != '/')
        AppendText(folder->path, kPathSize, "/");
    return HoldFolder(folder, path, path, error);
}

bool MakeFolders(const char *path, FileError *error)
{
    char made[kPathSize];
    if (!CopyText(made, kPathSize, path))
        return SetError(error, ENAMETOOLONG, "make the folder", path);
    for (char *end = made + 1; end[-1]; end++) {
        if (*end != '/' && *end != 0)
            continue;
        char kept = *end;
        *end = 0;
        if (mkdir(made, 0777) != 0 && errno != EEXIST)
            return FailedWithErrno(error, "make the folder", made);
        *end = kept;
    }
    return true;
}

void FolderClose(Folder *folder)
{
    if (folder->handle >= 0)
        close((int)folder->handle);
    folder->handle = -1;
}

bool NameFits(const Folder *folder, const char *name, FileError *error)
{
    long limit = folder ? fpathconf((int)folder->handle, _PC_NAME_MAX) : -1;
    if (limit <= 0)
        limit = 255;  // no answer: what every common file system takes
    return TextLength(name) <= limit || SetError(error, ENAMETOOLONG, "name", name);
}

bool FolderSpace(const Folder *folder, int64_t *free_bytes, int64_t *largest_file,
                 FileError *error)
{
    struct statvfs vfs;
    if (fstatvfs((int)folder->handle, &vfs) != 0)
        return FailedWithErrno(error, "ask the room on the drive of", folder->path[0] ? folder->path : ".");
    *free_bytes = (int64_t)vfs.f_bavail * (int64_t)vfs.f_frsize;
    *largest_file = INT64_MAX;
    struct statfs fs;
    const long kMsdosMagic = 0x4d44;  // FAT of every width, as Linux mounts it
    if (fstatfs((int)folder->handle, &fs) == 0 && (long)fs.f_type == kMsdosMagic)
        *largest_file = 0xFFFFFFFFLL;
    return true;
}

bool ListFolder(const Folder *folder, const char *prefix,
                bool (*visit)(void *context, const FolderEntry *entry), void *context,
                FileError *error)
{
    const char *shown = folder && folder->path[0] ? folder->path : ".";
    // A descriptor of its own, so that the folder stays open for the caller
    // and the listing starts at its beginning.
    int fd = openat(FolderFd(folder), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return FailedWithErrno(error, "read the folder", shown);
    // The kernel's own listing call tells the end (0) from a failure (-1);
    // readdir tells them apart only by a reset errno.
    struct Entry {
        uint64_t inode;
        int64_t next;
        unsigned short length;
        unsigned char type;
        char name[1];
    };
    alignas(8) char entries[16384];
    size_t prefix_length = strlen(prefix);
    bool listed = true, more = true;
    while (more) {
        long got = syscall(SYS_getdents64, fd, entries, sizeof entries);
        if (got <= 0) {
            listed = got == 0 || FailedWithErrno(error, "read the folder", shown);
            break;
        }
        for (long at = 0; at < got && more; at += ((Entry *)(entries + at))->length) {
            const char *name = ((Entry *)(entries + at))->name;
            if (strncmp(name, prefix, prefix_length) != 0)
                continue;
            // Followed, as opening it will follow it.
            struct stat st;
            FolderEntry found = {name, false, -1};
            if (fstatat(fd, name, &st, 0) == 0 && S_ISREG(st.st_mode)) {
                found.is_file = true;
                found.length = (int64_t)st.st_size;
            }
            more = visit(context, &found);
        }
    }
    close(fd);
    return listed;
}


static void InfoOfStat(const struct stat *st, FileInfo *info)
{
    info->id.volume = (uint64_t)st->st_dev;
    info->id.index = (uint64_t)st->st_ino;
    info->length = (int64_t)st->st_size;
    info->modified.seconds = (int64_t)st->st_mtim.tv_sec;
    info->modified.nanoseconds = (int32_t)st->st_mtim.tv_nsec;
    info->permissions = (int)(st->st_mode & 0777);
}

bool FileOpenRead(const Folder *folder, const char *name, File *file, FileError *error,
                  FileInfo *info)
{
    StartFile(file, name);
    if (!name[0])
        return SetError(error, ENOENT, "open", name);
    // Without blocking, so that a pipe with no writer cannot hold us up;
    // only a plain file is kept, on which the flag means nothing, so it
    // stays (two calls fewer an open, for sets of thousands of parts).
    int fd = OpenRetrying(folder, name, O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return FailedWithErrno(error, "open", file->name);
    struct stat st;
    int code = fstat(fd, &st) != 0 ? errno
               : S_ISREG(st.st_mode) ? 0
               : S_ISDIR(st.st_mode) ? EISDIR
                                     : kErrorNotAFile;
    if (code != 0) {
        close(fd);
        return SetError(error, code, "open", file->name);
    }
    if (info)
        InfoOfStat(&st, info);
    file->handle = fd;
    return true;
}

void StandardInput(File *file)
{
    StartFile(file, "standard input");
    file->handle = 0;
}

void StandardOutput(File *file)
{
    StartFile(file, "standard output");
    file->handle = 1;
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

void FillRandom(unsigned char *bytes, int count)
{
    uint64_t bits = 0;
    for (int i = 0; i < count; i++, bits >>= 8)
        bytes[i] = (unsigned char)(i % 8 == 0 ? bits = RandomBits() : bits);
}

void NewTempSeries(TempSeries *series)
{
    MakeTempStem(series->stem, RandomBits());
}

bool FileCreate(const Folder *folder, const char *temp, const char *shown_name, FileMode mode,
                File *file, FileError *error)
{
    StartFile(file, shown_name);
    // The umask decides who else may read or start it, as for any new file.
    mode_t permissions = mode == kProgramFile ? 0777 : 0666;
    // Exclusive and not followed: never an existing file, never a link.
    int fd = OpenRetrying(folder, temp, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, permissions);
    if (fd < 0)
        return FailedWithErrno(error, "create", shown_name);
    file->handle = fd;
    file->fresh = true;
    return true;
}

int FileRead(File *file, void *buffer, int size, FileError *error)
{
    ssize_t n;
    do
        n = read((int)file->handle, buffer, (size_t)size);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        FailedWithErrno(error, "read", file->name);
        return -1;
    }
    return (int)n;
}

// A file grown to a limit: the process's own (ulimit -f), where it has one.
static bool WriteTooLarge(File *file, FileError *error)
{
    struct rlimit limit;
    bool process = getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY;
    if (error && !HasFailed(error)) {
        SetError(error, EFBIG, "write", file->name);
        error->process_limit = process;
    }
    return false;
}

// Moves length bytes between bytes and the file at offset, by pread or
// pwrite, or (offset -1, writing) at the file's place by write; at most a
// gigabyte a call.
static bool TransferAt(File *file, int64_t offset, char *bytes, int64_t length, bool writing, FileError *error)
{
    const char *call = writing ? "write" : "read";
    int fd = (int)file->handle;
    while (length > 0) {
        size_t most = length > (1 << 30) ? (size_t)1 << 30 : (size_t)length;
        ssize_t n = !writing    ? pread(fd, bytes, most, (off_t)offset)
                    : offset < 0 ? write(fd, bytes, most)
                                 : pwrite(fd, bytes, most, (off_t)offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && writing && errno == EFBIG)
            return WriteTooLarge(file, error);
        if (n < 0)
            return FailedWithErrno(error, call, file->name);
        if (n == 0)  // the end of the file, or a write that stores nothing: no room
            return SetError(error, writing ? ENOSPC : kErrorEndedEarly, call, file->name);
        bytes += n, length -= n;
        if (offset >= 0)
            offset += n;
    }
    return true;
}

bool FileWrite(File *file, const void *buffer, int size, FileError *error)
{
    return TransferAt(file, -1, (char *)buffer, size, true, error);
}

bool FileReadAt(File *file, int64_t offset, void *bytes, int64_t length, FileError *error)
{
    return TransferAt(file, offset, (char *)bytes, length, false, error);
}

bool FileWriteAt(File *file, int64_t offset, const void *bytes, int64_t length, FileError *error)
{
    return TransferAt(file, offset, (char *)bytes, length, true, error);
}

bool FileSkip(File *file, int64_t delta, FileError *error)
{
    return lseek((int)file->handle, (off_t)delta, SEEK_CUR) >= 0 || FailedWithErrno(error, "seek in", file->name);
}

int64_t FileSkipHole(File *file, int64_t most, FileError *error)
{
    int fd = (int)file->handle;
    off_t at = lseek(fd, 0, SEEK_CUR);
    if (at < 0)
        return 0;  // a pipe
    // The next data, or none after this place: a hole to the end.
    off_t data = lseek(fd, at, SEEK_DATA);
    struct stat st;
    if (data < 0 && errno == ENXIO && fstat(fd, &st) == 0)
        data = st.st_size;
    int64_t hole = data > at ? (int64_t)(data - at) : 0;
    if (hole > most)
        hole = most;
    // Seeking for the data moved the place: set it where the hole was left.
    if (lseek(fd, at + (off_t)hole, SEEK_SET) != at + (off_t)hole)
        return FailedWithErrno(error, "seek in", file->name), -1;
    return hole;
}

bool FileSeek(File *file, int64_t offset, FileError *error)
{
    return lseek((int)file->handle, (off_t)offset, SEEK_SET) == (off_t)offset ||
           FailedWithErrno(error, "seek in", file->name);
}

bool FileInfoOf(File *file, FileInfo *info, FileError *error)
{
    struct stat st;
    if (fstat((int)file->handle, &st) != 0)
        return FailedWithErrno(error, "stat", file->name);
    InfoOfStat(&st, info);
    return true;
}

bool FileSetTimeAndPermissions(File *file, const FileTime *modified, int permissions,
                               FileError *error)
{
    // The time it was last read is left as it is.
    struct timespec times[2] = {{0, UTIME_OMIT}, {(time_t)modified->seconds, modified->nanoseconds}};
    if (futimens((int)file->handle, times) != 0)
        return FailedWithErrno(error, "set the time of", file->name);
    return permissions < 0 || fchmod((int)file->handle, (mode_t)(permissions & 0777)) == 0 ||
           FailedWithErrno(error, "set the permissions of", file->name);
}

FileTime TimeNow()
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return FileTime{(int64_t)now.tv_sec, (int32_t)now.tv_nsec};
}

bool FileClose(File *file, FileError *error)
{
    if (file->handle == kNoHandle)
        return true;
    int fd = (int)file->handle;
    file->handle = kNoHandle;
    // A failed close can be the first report of a failed write (NFS,
    // quotas).  An interrupted one has still closed the descriptor on
    // Linux, and its data is not known lost.
    return close(fd) == 0 || errno == EINTR || FailedWithErrno(error, "close", file->name);
}

bool FileDelete(const Folder *folder, const char *name, FileError *error)
{
    return unlinkat(FolderFd(folder), name, 0) == 0 || FailedWithErrno(error, "delete", name);
}

bool FileRename(const Folder *folder, const char *from, const char *to, const char *shown_name,
                FileError *error)
{
    return renameat(FolderFd(folder), from, FolderFd(folder), to) == 0 ||
           FailedWithErrno(error, "rename", shown_name);
}

bool FileRenameNew(const Folder *folder, const char *from, const char *to, const char *shown_name,
                   FileError *error)
{
    const unsigned kNoReplace = 1;  // RENAME_NOREPLACE, which older C libraries do not name
    if (syscall(SYS_renameat2, FolderFd(folder), from, FolderFd(folder), to, kNoReplace) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return FailedWithErrno(error, "rename", shown_name);
    // A file system without it: a new link fails where the name is taken.
    if (linkat(FolderFd(folder), from, FolderFd(folder), to, 0) != 0)
        return FailedWithErrno(error, "rename", shown_name);
    unlinkat(FolderFd(folder), from, 0);
    return true;
}

FileKind FileKindOf(const Folder *folder, const char *name)
{
    struct stat st;
    if (fstatat(FolderFd(folder), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return kNothingThere;
    if (S_ISLNK(st.st_mode))
        return kLinkThere;
    if (!S_ISREG(st.st_mode))
        return kOtherThere;
    // Judged by the mode bits, as on Windows by the read-only attribute, so
    // that root too keeps its hands off a file marked read-only.
    return (st.st_mode & 0222) == 0 ? kReadOnlyFile : kPlainFile;
}

bool FileIdAt(const Folder *folder, const char *name, FileId *id)
{
    struct stat st;
    if (fstatat(FolderFd(folder), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    *id = FileId{(uint64_t)st.st_dev, (uint64_t)st.st_ino};
    return true;
}
