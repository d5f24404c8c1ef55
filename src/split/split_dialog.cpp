#include "split/split_dialog.h"

#include <limits.h>

#include "format/part_layout.h"
#include "format/paths.h"
#include "format/trailer.h"
#include "platform/text.h"
#include "split/split_engine.h"

static const char kTitle[] = "Cleaver";

// The presets write slices a little smaller than their names, leaving room
// on the floppy disk each is named after.
static const struct {
    int radio;
    int slice_kb;
} kPresets[] = {{IDC_SIZE_360, 320}, {IDC_SIZE_720, 680}, {IDC_SIZE_144, 1400}};
static const int kDefaultPreset = 2;

// What the dialog keeps between messages.
struct SplitDialog {
    const char *image_path;  // the program, copied into every head part
    // Whether the last split asked for failed or was refused: the dialog's
    // result, which a script reads as the terminal program's exit status.
    bool failed;
};

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
    SetItemChecked(dialog, kPresets[kDefaultPreset].radio, true);
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
    for (const auto &preset : kPresets) {
        if (IsItemChecked(dialog, preset.radio)) {
            *slice_kb = preset.slice_kb;
            return true;
        }
    }
    if (!IsItemChecked(dialog, IDC_SIZE_USER)) {
        *slice_kb = kPresets[kDefaultPreset].slice_kb;
        return true;
    }
    char text[128];
    GetItemText(dialog, IDC_USER_KB, text, sizeof text);
    *slice_kb = ParseSizeField(text);
    if (*slice_kb >= kMinSliceKb && *slice_kb <= kMaxSliceKb)
        return true;
    // "Size must be between 10 KB and 64 MB (65536 KB)"
    char message[128] = "Size must be between ";
    AppendDecimal(message, sizeof message, kMinSliceKb);
    AppendText(message, sizeof message, " KB and ");
    AppendDecimal(message, sizeof message, kMaxSliceKb / 1024);
    AppendText(message, sizeof message, " MB (");
    AppendDecimal(message, sizeof message, kMaxSliceKb);
    AppendText(message, sizeof message, " KB)");
    ShowMessage(dialog, message, kTitle, MB_OK);
    return false;
}

static void ReportFailure(HWND dialog, const SplitResult *result, const char *input,
                          const char *folder)
{
    char text[4 * kPathSize] = "";
    const int size = sizeof text;
    const char *part = result->part;
    int64_t more_room = result->free_bytes >= 0 ? result->needed - result->free_bytes : -1;
    switch (result->status) {
    case kSplitDone:
    case kSplitCancelled:
        return;
    case kSplitNoInput:
        if (!input[0] || result->error.code == 0) {
            AppendText(text, size, "Unable to open input file, Please select a file to split.");
            break;
        }
        AppendText(text, size, "Unable to open input file ");
        AppendText(text, size, input);
        AppendReason(text, size, result->error);
        AppendText(text, size, ". Please select a file to split.");
        ShowMessage(dialog, text, kTitle, MB_ICONERROR);
        return;
    case kSplitTooSmall:
        AppendText(text, size, "File is too small to split!!");
        break;
    case kSplitTooLarge:
        AppendText(text, size, "File is too large to split in parts of this size!!");
        break;
    case kSplitNameTooLongForSize:
        AppendText(text, size, "File is too large for a name this long: shorten its name to at most ");
        AppendDecimal(text, size, kMaxRecordPath);
        AppendText(text, size, " bytes and try again");
        break;
    case kSplitNoImage:
        AppendText(text, size, "Unable to write header!!");
        break;
    case kSplitNameTooLongToStore:
        AppendText(text, size, "Unable to split this file: its name is too long to be kept with "
                               "its parts; shorten it to at most ");
        AppendDecimal(text, size, kTrailerPathSize - 1);
        AppendText(text, size, " bytes and try again");
        break;
    case kSplitNamesNotFound:
        AppendText(text, size, "Unable to split this file here: its name, or the path of its "
                               "folder, is too long for its parts to find each other again");
        break;
    case kSplitPartInTheWay:
        AppendText(text, size, "Unable to create part ");
        AppendText(text, size, part);
        AppendText(text, size, ": a file of that name is read-only, a link, a folder or the input "
                               "itself, and is left alone");
        break;
    case kSplitCannotCreate:
        AppendText(text, size, "Unable to create part ");
        AppendText(text, size, part);
        break;
    case kSplitWriteFailed:
        AppendText(text, size, "Unable to write ");
        AppendText(text, size, part);
        if (result->error.code == kErrorNoSpace)
            AppendText(text, size, ", the disk may be full");
        break;
    case kSplitReadFailed:
        AppendText(text, size, "Unable to read the input file while writing ");
        AppendText(text, size, part);
        break;
    case kSplitNoRoom:
        AppendText(text, size, "The parts need ");
        AppendSize(text, size, result->needed);
        AppendText(text, size, "; ");
        AppendText(text, size, folder[0] ? folder : "this folder");
        AppendText(text, size, " has ");
        AppendSize(text, size, result->free_bytes);
        AppendText(text, size, " free");
        break;
    case kSplitPartTooLargeForDrive:
        AppendText(text, size, "A part of ");
        AppendSize(text, size, result->needed);
        AppendText(text, size, " is larger than the file system of ");
        AppendText(text, size, folder[0] ? folder : "this drive");
        AppendText(text, size, " holds; choose smaller parts, or a drive formatted NTFS or exFAT");
        break;
    }
    AppendReason(text, size, result->error, more_room);
    ShowMessage(dialog, text, kTitle, MB_ICONERROR);
}

// "report_00.exe: 5242880 bytes in 4 parts, CRC-32 1a2b3c4d"
static void ReportDone(const SplitResult *result)
{
    char line[2 * kPathSize] = "";
    AppendText(line, sizeof line, result->part);
    AppendText(line, sizeof line, ": ");
    AppendDecimal(line, sizeof line, result->size);
    AppendText(line, sizeof line, " bytes in ");
    AppendDecimal(line, sizeof line, (int64_t)result->last_part + 1);
    AppendText(line, sizeof line, " parts, CRC-32 ");
    AppendHex32(line, sizeof line, result->crc);
    ShowResultLine(line);
}

static void OnSplit(HWND dialog, SplitDialog *state)
{
    char path[kPathSize];
    GetItemText(dialog, IDC_INPUT_PATH, path, sizeof path);
    int slice_kb;
    state->failed = true;
    if (!DetermineSliceSize(dialog, &slice_kb))
        return;
    // The parts go beside the input.
    Folder folder;
    SplitResult result = {};
    if (FolderOfFile(path, &folder)) {
        Progress progress = {0, 0, 0, 0, 0};
        BeginWork(dialog, &progress);
        result = SplitFile(&folder, path, slice_kb, state->image_path, &progress);
        EndWork(dialog);
        FolderClose(&folder);
    } else {
        folder.path[0] = 0;
        result.status = kSplitNoInput;
        result.error = LastFileError();
    }
    state->failed = result.status != kSplitDone && result.status != kSplitCancelled;
    if (result.status == kSplitDone) {
        ReportDone(&result);
        EndDialogWith(dialog, 0);
    } else {
        ReportFailure(dialog, &result, path, folder.path);
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
        InitSplitDialog(dialog);
    } else if (message == WM_COMMAND) {
        OnCommand(dialog, LOWORD(wparam));
    } else if (IsCloseCommand(message, wparam)) {
        OnCommand(dialog, IDCANCEL);
    }
    // Not handled, for every message: the dialog manager sets no initial
    // focus and keeps its default handling.
    return 0;
}

int RunSplitDialog(const char *image_path)
{
    SplitDialog state = {image_path, false};
    return RunDialog(IDD_SPLIT_DIALOG, SplitDlgProc, &state) != 0;
}
