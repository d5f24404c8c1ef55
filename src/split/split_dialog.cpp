#include "split/split_dialog.h"

#include "format/part_layout.h"
#include "format/paths.h"
#include "format/trailer.h"
#include "platform/embedded_image.h"
#include "platform/text.h"
#include "split/slice_size.h"
#include "split/split_engine.h"
#include "split/split_report.h"

static const char kTitle[] = "Cleaver";

// The presets write slices a little smaller than their names, leaving room
// on the floppy disk each is named after.
static const struct {
    int radio;
    int64_t slice_bytes;
} kPresets[] = {{IDC_SIZE_360, 320 * 1024}, {IDC_SIZE_720, 680 * 1024}, {IDC_SIZE_144, 1400 * 1024}};
static const int kDefaultPreset = 2;

// What the dialog keeps between messages.
struct SplitDialog {
    const char *image_path;  // the program, copied into every head part
    const char *input;       // the file the program was given to split, or null
    // Whether the last split asked for failed or was refused: the dialog's
    // result, which a script reads as the terminal program's exit status.
    bool failed;
};

static void InitSplitDialog(HWND dialog, const SplitDialog *state)
{
    SetItemChecked(dialog, kPresets[kDefaultPreset].radio, true);
    // A head part like this program, which rejoins where the set was made;
    // one for Windows where this build carries the Windows program.
    const unsigned char *bytes;
    int64_t size;
    SetItemChecked(dialog, IDC_FOR_LINUX, true);
    EnableItem(dialog, IDC_FOR_WINDOWS, EmbeddedWindowsImage(&bytes, &size));
    if (state->input)
        SetItemText(dialog, IDC_INPUT_PATH, state->input);
}

static void BrowseForInput(HWND dialog)
{
    char path[kPathSize];
    ChooseInputFile(dialog, path);
    SetItemText(dialog, IDC_INPUT_PATH, path);  // as the system gave it, every letter's case kept
}

// The checked preset, or the typed size; false after telling the user that
// the typed size is not one.
static bool DetermineSliceSize(HWND dialog, int64_t *slice_bytes)
{
    for (const auto &preset : kPresets) {
        if (IsItemChecked(dialog, preset.radio)) {
            *slice_bytes = preset.slice_bytes;
            return true;
        }
    }
    if (!IsItemChecked(dialog, IDC_SIZE_USER)) {
        *slice_bytes = kPresets[kDefaultPreset].slice_bytes;
        return true;
    }
    char text[128];
    GetItemText(dialog, IDC_USER_KB, text, sizeof text);
    if (ParseSliceSize(text, 1024, slice_bytes) && SliceSizeAllowed(*slice_bytes))
        return true;
    // "Size must be between 10 KB and 4 GB: ..."
    char message[256] = "Size must be between ";
    AppendSize(message, sizeof message, kMinSliceBytes);
    AppendText(message, sizeof message, " and ");
    AppendSize(message, sizeof message, kMaxSliceBytes);
    AppendText(message, sizeof message, ": a number of KB, or one with its unit, as in 25 MB or "
                                        "1.5 GB");
    ShowMessage(dialog, message, kTitle, MB_OK);
    return false;
}

static void OnSplit(HWND dialog, SplitDialog *state)
{
    char path[kPathSize];
    GetItemText(dialog, IDC_INPUT_PATH, path, sizeof path);
    int64_t slice_bytes;
    state->failed = true;
    if (!DetermineSliceSize(dialog, &slice_bytes))
        return;
    ProgramImage windows = {0, 0, 0};
    bool for_windows = IsItemChecked(dialog, IDC_FOR_WINDOWS) &&
                       EmbeddedWindowsImage(&windows.bytes, &windows.size);
    // The parts go beside the input.
    Folder folder;
    SplitResult result = {};
    if (FolderOfFile(path, &folder)) {
        Progress progress = {0, 0, 0, 0, 0};
        BeginWork(dialog, &progress);
        ProgramImage program = {state->image_path, 0, 0};
        if (for_windows)
            program = windows;
        result = SplitFile(&folder, path, slice_bytes, &program, &progress);
        EndWork(dialog);
        FolderClose(&folder);
    } else {
        folder.path[0] = 0;
        result.status = kSplitNoInput;
        result.error = LastFileError();
    }
    state->failed = result.status != kSplitDone && result.status != kSplitCancelled;
    char text[4 * kPathSize];
    if (result.status == kSplitDone) {
        FormatSplitDone(&result, text, sizeof text);
        if (for_windows)
            AppendWindowsHeadNote(result.part, text, sizeof text);
        ShowResultLine(text);
        EndDialogWith(dialog, 0);
    } else if (DescribeSplitFailure(&result, path, folder.path, text, sizeof text)) {
        ShowMessage(dialog, text, kTitle, MB_ICONERROR);
    }
}

static void OnCommand(HWND dialog, int id)
{
    SplitDialog *state = (SplitDialog *)GetDialogState(dialog);
    switch (id) {
    case IDOK:
        OnSplit(dialog, state);
        break;
    case IDCANCEL:
        if (!StopWork(dialog))
            EndDialogWith(dialog, state->failed);
        break;
    case IDC_BROWSE:
        BrowseForInput(dialog);
        break;
    case IDC_SIZE_USER:
        FocusItem(dialog, IDC_USER_KB);
        break;
    }
}

static INT_PTR CALLBACK SplitDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_INITDIALOG) {
        SetDialogState(dialog, (void *)lparam);
        SetDialogIcon(dialog);
        InitSplitDialog(dialog, (const SplitDialog *)lparam);
    } else if (message == WM_COMMAND) {
        OnCommand(dialog, LOWORD(wparam));
    } else if (IsCloseCommand(message, wparam)) {
        OnCommand(dialog, IDCANCEL);
    }
    // Not handled, for every message: the dialog manager sets no initial
    // focus and keeps its default handling.
    return 0;
}

int RunSplitDialog(const char *image_path, const char *input)
{
    SplitDialog state = {image_path, input, false};
    return RunDialog(IDD_SPLIT_DIALOG, SplitDlgProc, &state) != 0;
}
