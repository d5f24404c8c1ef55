// Windows files, folders and the program's path, on kernel32 in the ANSI
// code page (UTF-8 by the manifest).  A folder is its path: names in it are
// reached as the folder's path and the name joined.
#include <windows.h>

#include "platform/files.h"
#include "platform/text.h"

const bool kNamesIgnoreCase = true;
const bool kDosPaths = true;
const int kErrorNotFound = ERROR_FILE_NOT_FOUND;
const int kErrorNameTooLong = ERROR_FILENAME_EXCED_RANGE;
const int kErrorNoSpace = ERROR_DISK_FULL;
const int kErrorIsAFolder = ERROR_DIRECTORY;
const int kErrorTooLarge = ERROR_FILE_TOO_LARGE;
const int kErrorInUse = ERROR_SHARING_VIOLATION;
const int kErrorExists = ERROR_ALREADY_EXISTS;

void DescribeFileError(int code, char *text, int size)
{
    if (code == kErrorEndedEarly)
        return (void)CopyText(text, size, "the file ended before its recorded length");
    if (code == kErrorNotAFile)
        return (void)CopyText(text, size, "not a file on a disk but a device or the like");
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, 0,
                             (DWORD)code, 0, text, (DWORD)size, 0);
    // The system's sentences end in a period and a line break; ours go on.
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ' ||
                     text[n - 1] == '.'))
        text[--n] = 0;
    if (n == 0)
        FormatText(text, size, "system error %d", code);
}

// Records GetLastError() for call on path; false.
static bool FailedWithLastError(FileError *error, const char *call, const char *path)
{
    return SetError(error, (int)GetLastError(), call, path);
}

bool IsNotWritable(const FileError *error)
{
    return error->code == ERROR_ACCESS_DENIED || error->code == ERROR_WRITE_PROTECT;
}

bool IsLeadByte(unsigned char c)
{
    return IsDBCSLeadByte(c) != 0;
}

bool GetProgramImagePath(char path[kPathSize], const char *, FileError *error)
{
    DWORD n = GetModuleFileNameA(0, path, kPathSize);
    if (n > 0 && n < kPathSize)
        return true;
    int code = n == 0 ? (int)GetLastError() : ERROR_FILENAME_EXCED_RANGE;
    path[0] = 0;
    return SetError(error, code, "find the program's own file", "cleaver.exe");
}

// ---- Folders -----------------------------------------------------------------

static const char *PathOf(const Folder *folder)
{
    return folder ? folder->path : "";
}

// The name in folder as one path; false, recorded under call, when it is
// empty (which would mean the folder itself) or too long.
static bool PathInFolder(const Folder *folder, const char *name, char path[kPathSize], const char *call,
                 FileError *error)
{
    if (!name[0])
        return SetError(error, ERROR_INVALID_NAME, call, name);
    if (!CopyText(path, kPathSize, PathOf(folder)) || !AppendText(path, kPathSize, name))
        return SetError(error, ERROR_FILENAME_EXCED_RANGE, call, name);
    return true;
}

// Whether path names a folder; a failure is told under shown.
static bool IsAFolder(const char *path, const char *shown, FileError *error)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FailedWithLastError(error, "open the folder", shown);
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) || SetError(error, ERROR_DIRECTORY, "open the folder", shown);
}

bool FolderOfFile(const char *path, Folder *folder, FileError *error)
{
    folder->handle = -1;
    folder->path[0] = 0;
    // Up to the last separator, or the drive of "C:name"; a trail byte of a
    // double-byte character may look like '\\' and is no separator.
    int cut = 0;
    for (int i = 0; path[i]; i++) {
        unsigned char c = (unsigned char)path[i];
        if (IsLeadByte(c) && path[i + 1])
            i++;
        else if (c == '\\' || c == '/' || (c == ':' && i == 1))
            cut = i + 1;
    }
    if (cut >= kPathSize)
        return SetError(error, ERROR_FILENAME_EXCED_RANGE, "open the folder", path);
    for (int i = 0; i < cut; i++)
        folder->path[i] = path[i];
    folder->path[cut] = 0;
    return cut == 0 || IsAFolder(folder->path, folder->path, error);  // 0: the current directory
}

bool OpenFolder(const char *path, Folder *folder, FileError *error)
{
    folder->handle = -1;
    int length = TextLength(path);
    if (!CopyText(folder->path, kPathSize - 1, path))
        return SetError(error, ERROR_FILENAME_EXCED_RANGE, "open the folder", path);
    char last = length ? path[length - 1] : 0;
    if (length && last != '\\' && last != '/' && !(length == 2 && last == ':'))
        AppendText(folder->path, kPathSize, "\\");
    return !length || IsAFolder(folder->path, path, error);  // "": the current directory
}

void FolderClose(Folder *folder)
{
    folder->handle = -1;
}

// Whether text takes at most units UTF-16 units, its terminator not counted.
static bool FitsUnits(const char *text, int units)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, 0, 0);
    return n > 0 && n - 1 <= units;
}

bool NameFits(const Folder *folder, const char *name, FileError *error)
{
    // MAX_PATH counts UTF-16 units, whatever the ANSI code page.
    char path[kPathSize];
    if (PathInFolder(folder, name, path, "name", 0) && FitsUnits(name, 255) && FitsUnits(path, MAX_PATH - 1))
        return true;
    return SetError(error, ERROR_FILENAME_EXCED_RANGE, "name", name);
}

bool FolderSpace(const Folder *folder, int64_t *free_bytes, int64_t *largest_file,
                 FileError *error)
{
    const char *path = folder && folder->path[0] ? folder->path : 0;  // 0: the current drive
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(path, &available, 0, 0))
        return FailedWithLastError(error, "ask the room on the drive of", path ? path : ".");
    *free_bytes = (int64_t)available.QuadPart;
    *largest_file = INT64_MAX;
    char root[kPathSize];
    char system[32];
    if (GetVolumePathNameA(path ? path : ".", root, kPathSize) &&
        GetVolumeInformationA(root, 0, 0, 0, 0, 0, system, sizeof system) &&
        system[0] == 'F' && system[1] == 'A' && system[2] == 'T')
        *largest_file = 0xFFFFFFFFLL;  // FAT and FAT32; exFAT has no such limit
    return true;
}

bool ListFolder(const Folder *folder, const char *prefix,
                bool (*visit)(void *context, const FolderEntry *entry), void *context,
                FileError *error)
{
    const char *shown = folder && folder->path[0] ? folder->path : ".";
    char pattern[kPathSize];
    if (!CopyText(pattern, kPathSize, PathOf(folder)) || !AppendText(pattern, kPathSize, prefix) ||
        !AppendText(pattern, kPathSize, "*"))
        return SetError(error, ERROR_FILENAME_EXCED_RANGE, "read the folder", shown);
    // The wide calls: WIN32_FIND_DATAA holds MAX_PATH bytes, too few for a
    // long name in UTF-8, which takes up to three bytes a unit.
    WCHAR wide[kPathSize];
    if (!MultiByteToWideChar(CP_ACP, 0, pattern, -1, wide, kPathSize))
        return FailedWithLastError(error, "read the folder", shown);
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(wide, &found);
    if (find == INVALID_HANDLE_VALUE)  // none: an empty listing
        return GetLastError() == ERROR_FILE_NOT_FOUND || FailedWithLastError(error, "read the folder", shown);
    int prefix_length = TextLength(prefix);
    bool listed = true;
    for (;;) {
        char name[kPathSize];
        bool named = WideCharToMultiByte(CP_ACP, 0, found.cFileName, -1, name, kPathSize, 0, 0) > 0;
        // The pattern matches short names, and case beyond ASCII, too.
        int i = 0;
        while (named && i < prefix_length && LowerAscii(name[i]) == LowerAscii(prefix[i]))
            i++;
        if (named && i == prefix_length && !TextEqual(name, ".") && !TextEqual(name, "..")) {
            DWORD attributes = found.dwFileAttributes;
            FolderEntry entry = {name,
                                 !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)),
                                 (int64_t)found.nFileSizeHigh << 32 | found.nFileSizeLow};
            if (!visit(context, &entry))
                break;
        }
        if (!FindNextFileW(find, &found)) {
            listed = GetLastError() == ERROR_NO_MORE_FILES || FailedWithLastError(error, "read the folder", shown);
            break;
        }
    }
    FindClose(find);
    return listed;
}

// ---- Files ----------------------------------------------------------------

// FILETIME counts 100-nanosecond intervals from 1601-01-01 UTC.
static const int64_t kUnixEpochInFileTime = 116444736000000000LL;

static FileTime UnixTime(const FILETIME &time)
{
    int64_t since = (int64_t)((uint64_t)time.dwHighDateTime << 32 | time.dwLowDateTime) -
                    kUnixEpochInFileTime;
    int64_t seconds = since / 10000000, rest = since % 10000000;
    if (rest < 0)
        seconds--, rest += 10000000;
    FileTime unix_time = {seconds, (int32_t)(rest * 100)};
    return unix_time;
}

static bool InfoOfHandle(HANDLE h, FileInfo *info)
{
    BY_HANDLE_FILE_INFORMATION data;
    if (!GetFileInformationByHandle(h, &data))
        return false;
    info->id.volume = data.dwVolumeSerialNumber;
    info->id.index = (uint64_t)data.nFileIndexHigh << 32 | data.nFileIndexLow;
    info->length = (int64_t)((uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow);
    info->modified = UnixTime(data.ftLastWriteTime);
    info->permissions = -1;
    return true;
}

bool FileOpenRead(const Folder *folder, const char *name, File *file, FileError *error,
                  FileInfo *info)
{
    StartFile(file, name);
    char path[kPathSize];
    if (!PathInFolder(folder, name, path, "open", error))
        return false;
    // Others may read it, and rename or delete it: the program itself moves
    // aside or deletes what it read (an earlier set's head part, held open
    // while its slices are judged), and Windows refuses that to a file any
    // handle holds without FILE_SHARE_DELETE, its own included.  No writer
    // is let in: what is read must not change under the checksums.
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, 0, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, 0);
    if (h == INVALID_HANDLE_VALUE)
        return FailedWithLastError(error, "open", name);
    // Only files on a disk: never a device (CON, COM1, NUL) or a pipe.
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return SetError(error, kErrorNotAFile, "open", name);
    }
    if (info && !InfoOfHandle(h, info)) {
        FailedWithLastError(error, "open", name);
        CloseHandle(h);
        return false;
    }
    file->handle = (intptr_t)h;
    return true;
}

void StandardInput(File *file)
{
    StartFile(file, "standard input");
    file->handle = (intptr_t)GetStdHandle(STD_INPUT_HANDLE);
}

void StandardOutput(File *file)
{
    StartFile(file, "standard output");
    file->handle = (intptr_t)GetStdHandle(STD_OUTPUT_HANDLE);
}

// Bits no one outside can guess in advance: the performance counter, the
// clock, the process and where its stack lies.
static uint64_t RandomBits()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    uint64_t bits = (uint64_t)counter.QuadPart ^ ((uint64_t)GetTickCount() << 32) ^
                    ((uint64_t)GetCurrentProcessId() << 16) ^ (uint64_t)(uintptr_t)&counter;
    for (int i = 0; i < 3; i++) {  // spread every bit over the whole
        bits ^= bits >> 31;
        bits *= 0x9E3779B97F4A7C15ull;
    }
    return bits;
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

bool FileCreate(const Folder *folder, const char *temp, const char *shown_name, FileMode,
                File *file, FileError *error)
{
    StartFile(file, shown_name);
    char path[kPathSize];
    if (!PathInFolder(folder, temp, path, "create", error))
        return false;
    // Exclusive and not followed: never an existing file, never a link.
    // Readers only: nobody else writes, renames or deletes a part while it
    // is written; it is closed before it takes its name.
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, 0, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, 0);
    if (h == INVALID_HANDLE_VALUE)
        return FailedWithLastError(error, "create", shown_name);
    // What was made must be a plain file on a disk, whatever stood in the
    // folder's place while it was made.
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info))
        FailedWithLastError(error, "create", shown_name);
    else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || GetFileType(h) != FILE_TYPE_DISK)
        SetError(error, kErrorNotAFile, "create", shown_name);
    else {
        file->handle = (intptr_t)h;
        file->fresh = true;
        return true;
    }
    CloseHandle(h);
    DeleteFileA(path);
    return false;
}

int FileRead(File *file, void *buffer, int size, FileError *error)
{
    DWORD n = 0;
    if (!ReadFile((HANDLE)file->handle, buffer, (DWORD)size, &n, 0)) {
        FailedWithLastError(error, "read", file->name);
        return -1;
    }
    return (int)n;
}

bool FileWrite(File *file, const void *buffer, int size, FileError *error)
{
    const char *p = (const char *)buffer;
    while (size > 0) {
        DWORD n = 0;
        if (!WriteFile((HANDLE)file->handle, p, (DWORD)size, &n, 0))
            return FailedWithLastError(error, "write", file->name);
        if (n == 0)  // a write that stores nothing: no room
            return SetError(error, ERROR_DISK_FULL, "write", file->name);
        p += n;
        size -= (int)n;
    }
    return true;
}

bool FileSeek(File *file, int64_t offset, FileError *error)
{
    LARGE_INTEGER to;
    to.QuadPart = offset;
    return SetFilePointerEx((HANDLE)file->handle, to, 0, FILE_BEGIN) != 0 ||
           FailedWithLastError(error, "seek in", file->name);
}

// One thread: a seek, then the reads or writes.
bool FileReadAt(File *file, int64_t offset, void *bytes, int64_t length, FileError *error)
{
    if (!FileSeek(file, offset, error))
        return false;
    for (unsigned char *at = (unsigned char *)bytes; length > 0;) {
        int n = FileRead(file, at, length > (1 << 30) ? 1 << 30 : (int)length, error);
        if (n == 0)
            SetError(error, kErrorEndedEarly, "read", file->name);
        if (n <= 0)
            return false;
        at += n, length -= n;
    }
    return true;
}

bool FileWriteAt(File *file, int64_t offset, const void *bytes, int64_t length, FileError *error)
{
    const unsigned char *at = (const unsigned char *)bytes;
    for (; length > (1 << 30); at += 1 << 30, length -= 1 << 30, offset += 1 << 30)
        if (!FileSeek(file, offset, error) || !FileWrite(file, at, 1 << 30, error))
            return false;
    return FileSeek(file, offset, error) && FileWrite(file, at, (int)length, error);
}

bool FileSkip(File *file, int64_t delta, FileError *error)
{
    LARGE_INTEGER by;
    by.QuadPart = delta;
    return SetFilePointerEx((HANDLE)file->handle, by, 0, FILE_CURRENT) != 0 ||
           FailedWithLastError(error, "seek in", file->name);
}

int64_t FileSkipHole(File *, int64_t, FileError *)
{
    return 0;  // the copy asks only where kKeepsHoles
}

bool FileInfoOf(File *file, FileInfo *info, FileError *error)
{
    return InfoOfHandle((HANDLE)file->handle, info) || FailedWithLastError(error, "stat", file->name);
}

bool FileSetTimeAndPermissions(File *file, const FileTime *modified, int, FileError *error)
{
    uint64_t value = (uint64_t)(modified->seconds * 10000000 + modified->nanoseconds / 100 +
                                kUnixEpochInFileTime);
    FILETIME time;
    time.dwLowDateTime = (DWORD)value;
    time.dwHighDateTime = (DWORD)(value >> 32);
    return SetFileTime((HANDLE)file->handle, 0, 0, &time) != 0 ||
           FailedWithLastError(error, "set the time of", file->name);
}

FileTime TimeNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return UnixTime(now);
}

bool FileClose(File *file, FileError *error)
{
    if (file->handle == kNoHandle)
        return true;
    HANDLE h = (HANDLE)file->handle;
    file->handle = kNoHandle;
    return CloseHandle(h) != 0 || FailedWithLastError(error, "close", file->name);
}

// Another program (a virus scanner, an indexer) may hold a file for a
// moment: ask again a few times, waiting longer each time, under a second
// in all.  Access denied is final: it is how Windows refuses to delete a
// running program.
static bool MayRetry(DWORD error, int attempt)
{
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) || attempt >= 8)
        return false;
    Sleep(25 * (attempt + 1));  // 900 ms over the eight waits
    return true;
}

bool FileDelete(const Folder *folder, const char *name, FileError *error)
{
    char path[kPathSize];
    if (!PathInFolder(folder, name, path, "delete", error))
        return false;
    for (int attempt = 0; !DeleteFileA(path); attempt++) {
        DWORD code = GetLastError();
        if (!MayRetry(code, attempt))
            return SetError(error, (int)code, "delete", name);
    }
    return true;
}

// MoveFileEx with flags, asked again while another program holds a file.
static bool RenameRetrying(const Folder *folder, const char *from, const char *to, const char *shown_name,
                           DWORD flags, FileError *error)
{
    char from_path[kPathSize], to_path[kPathSize];
    if (!PathInFolder(folder, from, from_path, "rename", error) || !PathInFolder(folder, to, to_path, "rename", error))
        return false;
    for (int attempt = 0; !MoveFileExA(from_path, to_path, flags); attempt++) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_EXISTS)
            code = ERROR_ALREADY_EXISTS;
        if (!MayRetry(code, attempt))
            return SetError(error, (int)code, "rename", shown_name);
    }
    return true;
}

bool FileRename(const Folder *folder, const char *from, const char *to, const char *shown_name,
                FileError *error)
{
    return RenameRetrying(folder, from, to, shown_name, MOVEFILE_REPLACE_EXISTING, error);
}

bool FileRenameNew(const Folder *folder, const char *from, const char *to, const char *shown_name,
                   FileError *error)
{
    return RenameRetrying(folder, from, to, shown_name, 0, error);
}

FileKind FileKindOf(const Folder *folder, const char *name)
{
    char path[kPathSize];
    if (!PathInFolder(folder, name, path, "open", 0))
        return kNothingThere;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return kNothingThere;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return kLinkThere;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))
        return kOtherThere;
    return (attributes & FILE_ATTRIBUTE_READONLY) ? kReadOnlyFile : kPlainFile;
}

bool FileIdAt(const Folder *folder, const char *name, FileId *id)
{
    char path[kPathSize];
    if (!PathInFolder(folder, name, path, "open", 0))
        return false;
    // No access asked, so that it opens whatever it is, and the name itself.
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0,
                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, 0);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    FileInfo info;
    bool known = InfoOfHandle(h, &info);
    CloseHandle(h);
    *id = info.id;
    return known;
}
