#include "split_dialog.h"

#include <limits.h>

#include "part_layout.h"
#include "split_engine.h"
#include "startup.h"

// The program image as it was when the dialog opened; it is copied into
// every head part.
static char g_image_path[kPathSize];

int ParseSizeField(const char *text)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        text++;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        text++;
    int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; text++) {
        value = value * 10 + (*text - '0');
        if (value > INT_MAX)
            return negative ? INT_MIN : INT_MAX;
    }
    return (int)(negative ? -value : value);
}

static void InitSplitDialog(HWND dialog)
{
    SetItemChecked(dialog, IDC_SIZE_144, true);
    GetProgramImagePath(g_image_path);
}

static void BrowseForInput(HWND dialog)
{
    char path[kPathSize];
    ChooseInputFile(dialog, path);
    // Only where names ignore case does lower-casing keep the same file.
    if (kNamesIgnoreCase)
        LowerCaseAscii(path, IsLeadByte);
    SetItemText(dialog, IDC_INPUT_PATH, path);
}

// The checked preset, or the typed size; false after telling the user that
// the typed size is out of range.
static bool DetermineSliceSize(HWND dialog, int *slice_kb)
{
    if (IsItemChecked(dialog, IDC_SIZE_360)) {
        *slice_kb = 320;
    } else if (IsItemChecked(dialog, IDC_SIZE_720)) {
        *slice_kb = 680;
    } else if (IsItemChecked(dialog, IDC_SIZE_USER)) {
        char text[128];
        GetItemText(dialog, IDC_USER_KB, text, sizeof text);
        *slice_kb = ParseSizeField(text);
        if (*slice_kb < kMinSliceKb || *slice_kb > kMaxSliceKb) {
            ShowMessage(dialog, kSliceSizeMessage, kSplitTitle, MB_OK);
            return false;
        }
    } else {
        *slice_kb = 1400;
    }
    return true;
}

static void OnSplit(HWND dialog)
{
    char path[kPathSize];
    GetItemText(dialog, IDC_INPUT_PATH, path, sizeof path);
    int slice_kb;
    if (!DetermineSliceSize(dialog, &slice_kb))
        return;
    ShowBusy(true);
    SplitResult result = SplitFile(path, slice_kb, dialog, g_image_path);
    ShowBusy(false);
    if (result == kSplitDone)
        EndDialogWith(dialog, 0);
}

INT_PTR CALLBACK SplitDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SetDialogIcon(dialog);
        InitSplitDialog(dialog);
        break;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDOK:
            OnSplit(dialog);
            break;
        case IDCANCEL:
            EndDialogWith(dialog, 0);
            break;
        case IDC_BROWSE:
            BrowseForInput(dialog);
            break;
        case IDC_SIZE_USER:
            FocusItem(dialog, IDC_USER_KB);
            break;
        }
        break;
    case WM_SYSCOMMAND:
        if ((wparam & 0xFFF0) == SC_CLOSE)
            EndDialogWith(dialog, 0);
        break;
    }
    // Not handled, for every message: the dialog manager sets no initial
    // focus and keeps its default handling.
    return 0;
}
