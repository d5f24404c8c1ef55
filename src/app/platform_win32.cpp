// Windows services: user32 dialogs, the comdlg32 file dialog and kernel32
// files, in the ANSI code page.
#include "platform.h"

#include <commdlg.h>
#include <stddef.h>

#include "text.h"

const char kDirSeparator = '\\';
const bool kNamesIgnoreCase = true;

HINSTANCE g_instance;

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

INT_PTR RunDialog(int template_id, DialogProc proc)
{
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(template_id), 0, proc, 0);
}

void EndDialogWith(HWND dialog, int result)
{
    EndDialog(dialog, result);
}

void SetDialogIcon(HWND dialog)
{
    HICON icon = LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_APP));
#ifdef _WIN64
    SetClassLongPtrA(dialog, GCLP_HICON, (LONG_PTR)icon);
#else
    SetClassLongA(dialog, GCL_HICON, (LONG)icon);
#endif
}

int GetItemText(HWND dialog, int id, char *text, int size)
{
    return (int)GetDlgItemTextA(dialog, id, text, size);
}

void SetItemText(HWND dialog, int id, const char *text)
{
    SetDlgItemTextA(dialog, id, text);
}

void SetItemNumber(HWND dialog, int id, unsigned value)
{
    SetDlgItemInt(dialog, id, value, FALSE);
}

bool IsItemChecked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void SetItemChecked(HWND dialog, int id, bool checked)
{
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void EnableItem(HWND dialog, int id, bool enabled)
{
    EnableWindow(GetDlgItem(dialog, id), enabled);
}

void FocusItem(HWND dialog, int id)
{
    SetFocus(GetDlgItem(dialog, id));
}

void ShowMessage(HWND owner, const char *text, const char *title, UINT type)
{
    MessageBoxA(owner, text, title, type);
}

void ShowBusy(bool busy)
{
    SetCursor(LoadCursorA(0, busy ? (LPCSTR)IDC_WAIT : (LPCSTR)IDC_ARROW));
}

#ifndef _WIN64
// The version-4 layout of the file dialog's structure, which every Windows
// since 95 accepts.
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == 76,
              "OPENFILENAME_SIZE_VERSION_400A");
#endif

bool ChooseInputFile(HWND owner, char path[kPathSize])
{
    OPENFILENAMEA ofn;
    char *p = (char *)&ofn;
    for (unsigned i = 0; i < sizeof ofn; i++)
        p[i] = 0;
    path[0] = 0;
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = "All Files\0*.*\0ZIP Files\0*.zip\0EXE Files\0*.exe\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = kPathSize;
    ofn.lpstrTitle = "Select File";
    ofn.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_LONGNAMES;
    if (!GetOpenFileNameA(&ofn)) {
        path[0] = 0;
        return false;
    }
    // Windows moves the current directory to the file's folder; Wine does
    // not.  The parts must land beside the input on both.
    char folder[kPathSize];
    CopyText(folder, kPathSize, path);
    int cut = ofn.nFileOffset;
    if (cut > 0 && cut < kPathSize) {
        folder[cut] = 0;
        SetCurrentDir(folder);
    }
    return true;
}
