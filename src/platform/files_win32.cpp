// Windows files, program path and current directory, on kernel32 in the
// ANSI code page.
#include <windows.h>

#include "platform/files.h"

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

bool SetCurrentDir(const char *path)
{
    return SetCurrentDirectoryA(path) != 0;
}

static FileHandle Handle(HANDLE h)
{
    return h == INVALID_HANDLE_VALUE ? kNoFile : (FileHandle)h;
}

FileHandle FileOpenRead(const char *name)
{
    if (!name[0])
        return kNoFile;
    return Handle(CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                              0));
}

FileHandle FileCreate(const char *name, FileMode)
{
    if (!name[0])
        return kNoFile;
    return Handle(CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, 0,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0));
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

bool FileIsProtected(const char *name)
{
    DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    return (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0;
}
