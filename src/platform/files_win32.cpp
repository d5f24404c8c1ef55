// Windows files, program path and current directory, on kernel32 in the
// ANSI code page.
#include <windows.h>

#include "platform/files.h"
#include "platform/text.h"

const char kDirSeparator = '\\';
const bool kNamesIgnoreCase = true;

bool IsLeadByte(unsigned char c)
{
    return IsDBCSLeadByte(c) != 0;
}

unsigned CurrentProcessId()
{
    return (unsigned)GetCurrentProcessId();
}

bool GetProgramImagePath(char path[kPathSize])
{
    DWORD n = GetModuleFileNameA(0, path, kPathSize);
    if (n == 0 || n >= kPathSize) {
        path[0] = 0;
        return false;
    }
    return true;
}

bool GetCurrentDir(char path[kPathSize])
{
    DWORD n = GetCurrentDirectoryA(kPathSize, path);
    if (n == 0 || n >= kPathSize) {
        path[0] = 0;
        return false;
    }
    return true;
}

bool PathFits(const char *path)
{
    // MAX_PATH counts UTF-16 units, whatever the ANSI code page.
    int units = MultiByteToWideChar(CP_ACP, 0, path, -1, 0, 0);
    return units > 0 && units <= MAX_PATH;
}

bool SetCurrentDir(const char *path)
{
    return SetCurrentDirectoryA(path) != 0;
}

// Only files on a disk: never a device (CON, COM1, NUL) or a pipe.
static FileHandle DiskFile(HANDLE h)
{
    if (h == INVALID_HANDLE_VALUE)
        return kNoFile;
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return kNoFile;
    }
    return (FileHandle)h;
}

FileHandle FileOpenRead(const char *name)
{
    if (!name[0])
        return kNoFile;
    return DiskFile(CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                0));
}

static FileHandle Create(const char *name, DWORD how)
{
    if (!name[0])
        return kNoFile;
    return DiskFile(CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, 0, how,
                                FILE_ATTRIBUTE_NORMAL, 0));
}

FileHandle FileCreate(const char *name, FileMode)
{
    // A link in the way has been refused before, by FileKindOf.
    return Create(name, CREATE_ALWAYS);
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

FileHandle FileCreateTemporary(char name[kPathSize], FileMode)
{
    for (int attempt = 0; attempt < 100; attempt++) {
        TemporaryName(name, RandomBits());
        FileHandle file = Create(name, CREATE_NEW);  // never an existing file or link
        if (file != kNoFile)
            return file;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    name[0] = 0;
    return kNoFile;
}

int FileRead(FileHandle file, void *buffer, int size)
{
    DWORD n = 0;
    if (!ReadFile((HANDLE)file, buffer, (DWORD)size, &n, 0))
        return -1;
    return (int)n;
}

bool FileWrite(FileHandle file, const void *buffer, int size)
{
    const char *p = (const char *)buffer;
    while (size > 0) {
        DWORD n = 0;
        if (!WriteFile((HANDLE)file, p, (DWORD)size, &n, 0) || n == 0)
            return false;
        p += n;
        size -= (int)n;
    }
    return true;
}

bool FileSeek(FileHandle file, int64_t offset)
{
    LARGE_INTEGER to;
    to.QuadPart = offset;
    return SetFilePointerEx((HANDLE)file, to, 0, FILE_BEGIN) != 0;
}

int64_t FileLength(FileHandle file)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx((HANDLE)file, &size))
        return -1;
    return size.QuadPart;
}

bool FileClose(FileHandle file)
{
    return CloseHandle((HANDLE)file) != 0;
}

bool FileDelete(const char *name)
{
    return DeleteFileA(name) != 0;
}

bool FileRename(const char *from, const char *to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

FileKind FileKindOf(const char *name)
{
    DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return kNothingThere;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return kLinkThere;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))
        return kOtherThere;
    return (attributes & FILE_ATTRIBUTE_READONLY) ? kReadOnlyFile : kPlainFile;
}

bool FileIdOf(FileHandle file, FileId *id)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle((HANDLE)file, &info))
        return false;
    id->volume = info.dwVolumeSerialNumber;
    id->index = (uint64_t)info.nFileIndexHigh << 32 | info.nFileIndexLow;
    return true;
}

bool FileIdAt(const char *name, FileId *id)
{
    // No access asked, so that it opens whatever it is, and the name itself.
    HANDLE h = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0,
                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, 0);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool known = FileIdOf((FileHandle)h, id);
    CloseHandle(h);
    return known;
}
