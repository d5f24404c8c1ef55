// The operating-system services this program calls, and nothing more.
// platform_win32.cpp implements them on user32, comdlg32 and kernel32;
// platform_posix.cpp and console_dialog.cpp implement them on POSIX, where
// the dialogs run in the terminal with the same messages and identifiers.
#ifndef QCLEAVER_PLATFORM_H
#define QCLEAVER_PLATFORM_H

#include <stdint.h>

#ifdef _WIN32
#include "resource.h"  // windows.h, with IDC_SIZE meaning our control
#else
struct ConsoleDialog;
typedef ConsoleDialog *HWND;
typedef unsigned int UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t INT_PTR;
#define CALLBACK
#define LOWORD(w) ((unsigned)((uintptr_t)(w) & 0xFFFF))
enum {
    WM_INITDIALOG = 0x0110,
    WM_COMMAND = 0x0111,
    WM_SYSCOMMAND = 0x0112,
    SC_CLOSE = 0xF060,
    IDOK = 1,
    IDCANCEL = 2,
    MB_OK = 0x00,
    MB_ICONERROR = 0x10,
};
#include "resource.h"
#endif

// Every path and file name buffer is this large, terminator included.
enum { kPathSize = 260 };

// ---- Program image and current directory --------------------------------

// Full path of the running program's file; false when it does not fit.
bool GetProgramImagePath(char path[kPathSize]);
bool GetCurrentDir(char path[kPathSize]);
bool SetCurrentDir(const char *path);
// The separator the census writes between a directory and a file name.
extern const char kDirSeparator;
// Whether the file system ignores the case of letters in names.
extern const bool kNamesIgnoreCase;
// True for a lead byte of a double-byte character in the system code page.
bool IsLeadByte(unsigned char c);
unsigned CurrentProcessId();

// ---- Files ----------------------------------------------------------------

typedef intptr_t FileHandle;
const FileHandle kNoFile = -1;

enum FileMode {
    kDataFile,     // ordinary read-write permission
    kProgramFile,  // may also be started as a program
};

// Opens for reading, shared with other readers and writers.
FileHandle FileOpenRead(const char *name);
// Creates for reading and writing, truncating an existing file.
FileHandle FileCreate(const char *name, FileMode mode);
// Bytes read, 0 at the end of the file, -1 on failure.
int FileRead(FileHandle file, void *buffer, int size);
// Writes all of buffer; false when any of it could not be written.
bool FileWrite(FileHandle file, const void *buffer, int size);
bool FileSeek(FileHandle file, int64_t offset);
// Length in bytes, or -1.
int64_t FileLength(FileHandle file);
// False when data written earlier could not be stored after all.
bool FileClose(FileHandle file);
bool FileDelete(const char *name);
// Renames, replacing an existing file of the new name.
bool FileRename(const char *from, const char *to);
// True when a file of this name exists and may not be written or replaced:
// read-only, or not a regular file.
bool FileIsProtected(const char *name);

// ---- Dialogs ---------------------------------------------------------------

typedef INT_PTR(CALLBACK *DialogProc)(HWND, UINT, WPARAM, LPARAM);

// Runs the modal dialog of a template with no owner; returns its result.
INT_PTR RunDialog(int template_id, DialogProc proc);
void EndDialogWith(HWND dialog, int result);
void SetDialogIcon(HWND dialog);
// Copies at most size - 1 characters and the terminator; returns the length.
int GetItemText(HWND dialog, int id, char *text, int size);
void SetItemText(HWND dialog, int id, const char *text);
void SetItemNumber(HWND dialog, int id, unsigned value);
bool IsItemChecked(HWND dialog, int id);
void SetItemChecked(HWND dialog, int id, bool checked);
void EnableItem(HWND dialog, int id, bool enabled);
void FocusItem(HWND dialog, int id);
// type is MB_OK or MB_ICONERROR.
void ShowMessage(HWND owner, const char *text, const char *title, UINT type);
// The wait cursor while a long operation runs on the dialog's thread.
void ShowBusy(bool busy);
// The "Select File" dialog.  On acceptance path holds the full path and the
// file's folder has become the current directory; otherwise path is empty.
bool ChooseInputFile(HWND owner, char path[kPathSize]);

#endif
