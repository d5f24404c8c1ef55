// Windows dialogs: user32 dialog boxes and the comdlg32 file dialog, in
// the ANSI code page.
#include "platform/dialogs.h"

#include <commdlg.h>
#include <stddef.h>

#include "platform/text.h"

HINSTANCE g_instance;

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

void SetItemNumber(HWND dialog, int id, int64_t value)
{
    char text[24] = "";
    AppendDecimal(text, sizeof text, value);
    SetDlgItemTextA(dialog, id, text);
}

void ShowResultLine(const char *)
{
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

enum { kPumpEveryMs = 30, kMaxDisabled = 32 };

static struct {
    HWND dialog;
    bool stop;
    DWORD pumped_at;
    int percent;
    char caption[64];
    HWND disabled[kMaxDisabled];  // the controls this work disabled
    int disabled_count;
} g_work;

static BOOL CALLBACK DisableControl(HWND control, LPARAM)
{
    if (GetDlgCtrlID(control) != IDCANCEL && IsWindowEnabled(control) &&
        g_work.disabled_count < kMaxDisabled) {
        g_work.disabled[g_work.disabled_count++] = control;
        EnableWindow(control, FALSE);
    }
    return TRUE;
}

static void ShowPercent(int percent)
{
    char caption[80] = "";
    AppendDecimal(caption, sizeof caption, percent);
    AppendText(caption, sizeof caption, "% - ");
    AppendText(caption, sizeof caption, g_work.caption);
    SetWindowTextA(g_work.dialog, caption);
    g_work.percent = percent;
}

static bool WinStep(Progress *progress)
{
    DWORD now = GetTickCount();
    if (now - g_work.pumped_at < kPumpEveryMs)
        return !g_work.stop;
    g_work.pumped_at = now;
    int percent = progress->total > 0 ? (int)(progress->done * 100 / progress->total) : 0;
    if (percent != g_work.percent)
        ShowPercent(percent);
    MSG message;
    while (!g_work.stop && PeekMessageA(&message, 0, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage((int)message.wParam);  // for the dialog's own loop
            g_work.stop = true;
        } else if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
            // Enter would press the default button, OK, which waits its turn.
        } else if (!IsDialogMessageA(g_work.dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return !g_work.stop;
}

void BeginWork(HWND dialog, Progress *progress)
{
    g_work.dialog = dialog;
    g_work.stop = false;
    g_work.pumped_at = GetTickCount();
    g_work.disabled_count = 0;
    GetWindowTextA(dialog, g_work.caption, sizeof g_work.caption);
    EnumChildWindows(dialog, DisableControl, 0);
    ShowPercent(0);
    progress->step = WinStep;
    SetCursor(LoadCursorA(0, (LPCSTR)IDC_APPSTARTING));
}

void EndWork(HWND dialog)
{
    for (int i = 0; i < g_work.disabled_count; i++)
        EnableWindow(g_work.disabled[i], TRUE);
    SetWindowTextA(dialog, g_work.caption);
    g_work.dialog = 0;
    SetCursor(LoadCursorA(0, (LPCSTR)IDC_ARROW));
}

bool StopWork(HWND dialog)
{
    if (g_work.dialog != dialog)
        return false;
    g_work.stop = true;
    return true;
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
