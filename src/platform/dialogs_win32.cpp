// Windows dialogs: user32 dialog boxes and the comdlg32 file dialog, in
// the ANSI code page.
#include "platform/dialogs.h"

#include <commdlg.h>
#include <stddef.h>

#include "platform/text.h"

HINSTANCE g_instance;

INT_PTR RunDialog(int template_id, DialogProc proc, void *param)
{
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(template_id), 0, proc, (LPARAM)param);
}

void EndDialogWith(HWND dialog, int result)
{
    EndDialog(dialog, result);
}

// DWLP_USER is the dialog's own slot, which the dialog manager leaves alone.
void SetDialogState(HWND dialog, void *state)
{
    SetWindowLongPtrA(dialog, DWLP_USER, (LONG_PTR)state);
}

void *GetDialogState(HWND dialog)
{
    return (void *)GetWindowLongPtrA(dialog, DWLP_USER);
}

// The icon at the sizes the system draws it (the caption's, Alt+Tab's),
// and the banner as large as the dialog: its units follow its font, which
// grows with the screen's DPI, but a bitmap from the template keeps its
// 96-dpi size.  The banner grows as the font's height does from the 13
// pixels it has at 96 dpi.
void SetDialogIcon(HWND dialog)
{
    for (int big = 0; big < 2; big++) {
        int size = GetSystemMetrics(big ? SM_CXICON : SM_CXSMICON);
        HANDLE icon = LoadImageA(g_instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, size, size, 0);
        SendMessageA(dialog, WM_SETICON, big ? ICON_BIG : ICON_SMALL, (LPARAM)icon);
    }
    RECT font = {0, 0, 0, 8};  // eight dialog units: the font's height
    MapDialogRect(dialog, &font);
    if (font.bottom <= 13)
        return;
    BITMAP was;
    HANDLE banner = (HANDLE)SendDlgItemMessageA(dialog, IDC_BANNER, STM_GETIMAGE, IMAGE_BITMAP, 0);
    if (!banner || !GetObjectA(banner, sizeof was, &was))
        return;
    HANDLE scaled = LoadImageA(g_instance, MAKEINTRESOURCEA(IDB_BANNER), IMAGE_BITMAP,
                               MulDiv(was.bmWidth, font.bottom, 13), MulDiv(was.bmHeight, font.bottom, 13), 0);
    if (scaled && SendDlgItemMessageA(dialog, IDC_BANNER, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)scaled))
        DeleteObject(banner);
}

int GetItemText(HWND dialog, int id, char *text, int size)
{
    return (int)GetDlgItemTextA(dialog, id, text, size);
}

void SetItemText(HWND dialog, int id, const char *text)
{
    SetDlgItemTextA(dialog, id, text);
}

void ShowResultLine(HWND owner, const char *text, const char *folder, const char *title, UINT type)
{
    char message[4 * kPathSize];
    CopyText(message, sizeof message, text);
    if (folder[0]) {
        AppendText(message, sizeof message, "\n\nFolder: ");
        AppendName(message, sizeof message, folder);
    }
    MessageBoxA(owner, message, title, type);
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

// ---- Work in progress -------------------------------------------------------
// The work runs on the dialog's thread; between its buffers it lets the
// dialog's messages through, so that the window keeps painting, never looks
// hung, shows how far the work has got in its caption, and hears Cancel.

enum { kPumpEveryMs = 30, kShowEveryMs = 250, kMaxDisabled = 32 };

// The record of one dialog's work, kept both in its Progress and with its
// window, so that the step and Cancel each find it.
struct Work {
    HWND dialog;
    Progress *progress;
    bool stop;
    DWORD pumped_at, begun_at, shown_at;
    char caption[64];
    HWND disabled[kMaxDisabled];  // the controls this work disabled
    int disabled_count;
};

static const char kWorkProperty[] = "QCleaver.work";

static Work *WorkOf(HWND dialog)
{
    return (Work *)GetPropA(dialog, kWorkProperty);
}

static BOOL CALLBACK DisableControl(HWND control, LPARAM lparam)
{
    Work *work = (Work *)lparam;
    if (GetDlgCtrlID(control) != IDCANCEL && IsWindowEnabled(control) &&
        work->disabled_count < kMaxDisabled) {
        work->disabled[work->disabled_count++] = control;
        EnableWindow(control, FALSE);
    }
    return TRUE;
}

// "41% · 120 MB/s · 0:12 left" in place of the dialog's name, which would
// not fit beside it.
static void ShowProgress(Work *work, DWORD now)
{
    char caption[64];
    FormatProgress(work->progress, now - work->begun_at, caption, sizeof caption);
    SetWindowTextA(work->dialog, caption);
    work->shown_at = now;
}

static bool WinStep(Progress *progress)
{
    Work *work = (Work *)progress->host;
    DWORD now = GetTickCount();
    if (now - work->pumped_at < kPumpEveryMs)
        return !work->stop;
    work->pumped_at = now;
    if (now - work->shown_at >= kShowEveryMs)
        ShowProgress(work, now);
    MSG message;
    while (!work->stop && PeekMessageA(&message, 0, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage((int)message.wParam);  // for the dialog's own loop
            work->stop = true;
        } else if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
            // Enter would press the default button, OK, which waits its turn.
        } else if (!IsDialogMessageA(work->dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return !work->stop;
}

void BeginWork(HWND dialog, Progress *progress)
{
    progress->step = 0;
    progress->host = 0;
    Work *work = (Work *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Work));
    if (work && !SetPropA(dialog, kWorkProperty, work)) {
        HeapFree(GetProcessHeap(), 0, work);
        work = 0;
    }
    SetCursor(LoadCursorA(0, (LPCSTR)IDC_APPSTARTING));
    if (!work)
        return;  // no memory for the record: the work runs unwatched
    work->dialog = dialog;
    work->progress = progress;
    work->pumped_at = work->begun_at = GetTickCount();
    GetWindowTextA(dialog, work->caption, sizeof work->caption);
    EnumChildWindows(dialog, DisableControl, (LPARAM)work);
    ShowProgress(work, work->begun_at);
    progress->host = work;
    progress->step = WinStep;
}

void EndWork(HWND dialog)
{
    SetCursor(LoadCursorA(0, (LPCSTR)IDC_ARROW));
    Work *work = WorkOf(dialog);
    if (!work)
        return;
    RemovePropA(dialog, kWorkProperty);
    for (int i = 0; i < work->disabled_count; i++)
        EnableWindow(work->disabled[i], TRUE);
    SetWindowTextA(dialog, work->caption);
    // A step after the end finds no record rather than a freed one.
    work->progress->step = 0;
    work->progress->host = 0;
    HeapFree(GetProcessHeap(), 0, work);
}

bool StopWork(HWND dialog)
{
    Work *work = WorkOf(dialog);
    if (!work)
        return false;
    work->stop = true;
    return true;
}

#ifndef _WIN64
// The version-4 layout of the file dialog's structure, which every Windows
// since 95 accepts.
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == 76,
              "OPENFILENAME_SIZE_VERSION_400A");
#endif

bool AskYesNo(HWND owner, const char *question, const char *title)
{
    return MessageBoxA(owner, question, title, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

// The common file dialog, in the 76-byte form every Windows has; the
// current directory stays as it was.
static bool ChooseFile(HWND owner, char path[kPathSize], const char *filter, const char *title,
                       DWORD flags)
{
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = kPathSize;
    ofn.lpstrTitle = title;
    ofn.Flags = flags | OFN_HIDEREADONLY | OFN_EXPLORER | OFN_LONGNAMES | OFN_NOCHANGEDIR;
    bool chosen = flags & OFN_FILEMUSTEXIST ? GetOpenFileNameA(&ofn) : GetSaveFileNameA(&ofn);
    if (!chosen)
        path[0] = 0;
    return chosen;
}

bool ChooseOutputFile(HWND owner, const char *name, char path[kPathSize])
{
    CopyText(path, kPathSize, name);
    return ChooseFile(owner, path, "All Files\0*.*\0", "Save As", OFN_PATHMUSTEXIST);
}

bool ChooseInputFile(HWND owner, char path[kPathSize])
{
    path[0] = 0;
    return ChooseFile(owner, path, "All Files\0*.*\0ZIP Files\0*.zip\0EXE Files\0*.exe\0",
                      "Select File", OFN_FILEMUSTEXIST);
}

int ExitStatus(int status)
{
    return status;
}

void ShowFatal(const char *text)
{
    MessageBoxA(0, text, "QCleaver", MB_ICONERROR);
}
