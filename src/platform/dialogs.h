// The dialog services this program calls.  dialogs_win32.cpp implements
// them on user32 and comdlg32; console_dialog.cpp in a terminal, with the
// same messages and control identifiers.
#ifndef QCLEAVER_PLATFORM_DIALOGS_H
#define QCLEAVER_PLATFORM_DIALOGS_H

#include <stdint.h>

#include "platform/files.h"
#include "platform/progress.h"

#ifdef _WIN32
#include "resource.h"  // windows.h, with IDC_SIZE meaning our control
extern HINSTANCE g_instance;
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
    MB_ICONERROR = 0x10,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
};
#include "resource.h"
#endif

typedef INT_PTR(CALLBACK *DialogProc)(HWND, UINT, WPARAM, LPARAM);

// Runs the modal dialog of a template with no owner, handing param to its
// procedure as WM_INITDIALOG's lParam; returns the dialog's result.
INT_PTR RunDialog(int template_id, DialogProc proc, void *param);
void EndDialogWith(HWND dialog, int result);
// The dialog's own state, one struct a dialog, kept with its window.
void SetDialogState(HWND dialog, void *state);
void *GetDialogState(HWND dialog);
void SetDialogIcon(HWND dialog);
// Copies at most size - 1 characters and the terminator; returns the length.
int GetItemText(HWND dialog, int id, char *text, int size);
void SetItemText(HWND dialog, int id, const char *text);
void SetItemNumber(HWND dialog, int id, int64_t value);  // in decimal
bool IsItemChecked(HWND dialog, int id);
void SetItemChecked(HWND dialog, int id, bool checked);
void EnableItem(HWND dialog, int id, bool enabled);
void FocusItem(HWND dialog, int id);
// type gives the message its icon: MB_ICONERROR for what failed,
// MB_ICONWARNING for what the user must put right or know was not done,
// MB_ICONINFORMATION for what was done.
void ShowMessage(HWND owner, const char *text, const char *title, UINT type);
// The line that says what was done: on standard output in a terminal, for
// a script; on Windows in a message of that type, with the folder where
// the work is (ending in a separator) on a line of its own.
void ShowResultLine(HWND owner, const char *text, const char *folder, const char *title, UINT type);
// Work that runs on the dialog's thread for a while: between the two calls
// the host shows its progress and lets the user stop it (Cancel, or Ctrl-C
// in a terminal), through progress->step.
void BeginWork(HWND dialog, Progress *progress);
void EndWork(HWND dialog);
// Cancel and the close command while work runs: true when there was work,
// which will now stop; false when there was none, and the dialog may close.
bool StopWork(HWND dialog);
// A question answered Yes or No, No where the user just presses Enter or
// closes it; true for Yes.
bool AskYesNo(HWND owner, const char *question, const char *title);
// The "Select File" dialog.  On acceptance path holds the file's path;
// otherwise it is empty.  The current directory stays as it was.
bool ChooseInputFile(HWND owner, char path[kPathSize]);
// Where to write a file of this name, the name offered: the "Save As"
// dialog, or in a terminal a path typed.  On acceptance path holds the path
// chosen, whose folder exists.
bool ChooseOutputFile(HWND owner, const char *name, char path[kPathSize]);

// The program's exit status once its work has ended: status, or 1 when
// what it printed could not all be written.
int ExitStatus(int status);
// Tells, before anything else happens, that the program cannot run at all
// (it cannot find its own file); in a message box on Windows.
void ShowFatal(const char *text);

// The system menu's close command, by which both dialogs end as by Cancel.
inline bool IsCloseCommand(UINT message, WPARAM wparam)
{
    return message == WM_SYSCOMMAND && (wparam & 0xFFF0) == SC_CLOSE;
}

#endif
