#include "split/split_dialog.h"

#include "math/erasure.h"
#include "format/head_part.h"
#include "format/paths.h"
#include "platform/embedded_image.h"
#include "platform/text.h"
#include "split/slice_size.h"
#include "split/split_run.h"

static const char kSplitTitle[] = "Cleaver";

// The radio button of each preset, in the order of kSizePresets.
static const int kPresetRadios[] = {IDC_SIZE_360, IDC_SIZE_720, IDC_SIZE_144};
static_assert(sizeof kPresetRadios / sizeof kPresetRadios[0] ==
                  sizeof kSizePresets / sizeof kSizePresets[0],
              "a radio button for every preset");

// What the dialog keeps between messages.
struct SplitDialog {
    const char *image_path;  // the program, copied into every head part
    const char *input;       // the file the program was given to split, or null
    // Whether the last split asked for failed or was refused: the dialog's
    // result, which a script reads as the terminal program's exit status.
    bool failed;
    char *head_chosen;  // where a head part chosen goes, for its join; or null
};

static void InitSplitDialog(HWND dialog, const SplitDialog *state)
{
    SetItemChecked(dialog, kPresetRadios[kDefaultPreset], true);
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

// The checked preset, or the typed size; false after telling the user what
// is wrong with the typed size.
static bool DetermineSliceSize(HWND dialog, int64_t *slice_bytes)
{
    *slice_bytes = kSizePresets[kDefaultPreset].bytes;
    for (int i = 0; i < (int)(sizeof kPresetRadios / sizeof kPresetRadios[0]); i++)
        if (IsItemChecked(dialog, kPresetRadios[i]))
            *slice_bytes = kSizePresets[i].bytes;
    if (!IsItemChecked(dialog, IDC_SIZE_USER))
        return true;
    char text[128];
    GetItemText(dialog, IDC_USER_KB, text, sizeof text);
    SizeText problem = ParseSliceSize(text, 1024, kWindowsUnits, slice_bytes);
    if (problem == kSizeTaken)
        return true;
    char message[256];
    DescribeSizeText(problem, "KB", message, sizeof message);
    ShowMessage(dialog, message, kSplitTitle, MB_ICONWARNING);
    return false;
}

// The recovery parts asked for: none where the field is empty; false after
// telling the user what is wrong with it.
static bool DetermineRecovery(HWND dialog, int *count)
{
    char text[32];
    GetItemText(dialog, IDC_RECOVERY, text, sizeof text);
    *count = 0;
    const char *p = text;
    while (*p == ' ')
        p++;
    for (; *p >= '0' && *p <= '9' && *count <= kMaxRecoveryParts; p++)
        *count = *count * 10 + (*p - '0');
    while (*p == ' ')
        p++;
    if (!*p && *count <= kMaxRecoveryParts)
        return true;
    ShowMessage(dialog, "Recovery parts must be a number from 0 to 1000", kSplitTitle, MB_ICONWARNING);
    return false;
}

static void OnSplit(HWND dialog, SplitDialog *state)
{
    char path[kPathSize];
    GetItemText(dialog, IDC_INPUT_PATH, path, sizeof path);
    SplitRequest request = {path, 0, 0, 0, IsItemChecked(dialog, IDC_FOR_WINDOWS), false,
                            state->image_path, 0};
    state->failed = true;
    if (state->head_chosen && IsAHeadPart(path)) {
        CopyText(state->head_chosen, kPathSize, path);
        state->failed = false;
        EndDialogWith(dialog, 0);
        return;
    }
    if (!DetermineSliceSize(dialog, &request.part_bytes) || !DetermineRecovery(dialog, &request.recovery))
        return;
    SplitOutcome outcome;
    for (;;) {
        Progress progress;
        ProgressInit(&progress);
        BeginWork(dialog, &progress);
        RunSplit(&request, &progress, &outcome);
        EndWork(dialog);
        // Parts of another set, or of none, in the way: the user's word
        // replaces them.
        SplitFault fault = outcome.result.fault;
        if (request.force || (fault != kSplitOtherSetInTheWay && fault != kSplitStrayPartInTheWay))
            break;
        char part[kPathSize] = "", other[kPathSize] = "", question[3 * kPathSize];
        AppendName(part, sizeof part, outcome.result.part);
        AppendName(other, sizeof other, outcome.result.other[0] ? outcome.result.other : "another file");
        if (fault == kSplitOtherSetInTheWay)
            FormatText(question, sizeof question,
                       "%s belongs to a set of %s, whose parts have these names. Replace them?", part, other);
        else
            FormatText(question, sizeof question, "%s is there, of no set beside it. Replace it?", part);
        if (!AskYesNo(dialog, question, kSplitTitle))
            return;  // nothing written; the dialog stays open
        request.force = true;
    }
    state->failed = outcome.failed;
    if (outcome.result.fault == kSplitDone) {
        // The parts are beside the input.
        *(char *)FileNameOf(path) = 0;
        ShowResultLine(dialog, outcome.text, path, kSplitTitle, MB_ICONINFORMATION);
        EndDialogWith(dialog, 0);
    } else if (outcome.failed) {
        ShowMessage(dialog, outcome.text, kSplitTitle, MB_ICONERROR);
    }
}
static void OnSplitCommand(HWND dialog, int id)
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
        OnSplitCommand(dialog, LOWORD(wparam));
    } else if (IsCloseCommand(message, wparam)) {
        OnSplitCommand(dialog, IDCANCEL);
    }
    // Not handled, for every message: the dialog manager sets no initial
    // focus and keeps its default handling.
    return 0;
}

int RunSplitDialog(const char *image_path, const char *input, char *head_chosen)
{
    SplitDialog state = {image_path, input, false, head_chosen};
    if (head_chosen)
        head_chosen[0] = 0;
    return RunDialog(IDD_SPLIT_DIALOG, SplitDlgProc, &state) != 0;
}
