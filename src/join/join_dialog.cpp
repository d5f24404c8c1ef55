#include "join/join_dialog.h"

#include "format/part_names.h"
#include "join/join_engine.h"
#include "join/part_set.h"
#include "platform/text.h"

static const char kTitle[] = "UnCleaver";

// What the dialog keeps between messages.
struct JoinDialog {
    const char *image_path;  // the head part, this program
    Folder folder;           // the head part's own, where the set is
    bool have_folder;
    bool can_join;           // OK is enabled: closing without a join is then no failure
};

static void InitJoinDialog(HWND dialog, JoinDialog *state)
{
    SetItemChecked(dialog, IDC_MAKE_COPY, true);
    SetItemChecked(dialog, IDC_DELETE_PARTS, false);

    PartSet set;
    FileHandle head = FileOpenRead(0, state->image_path);
    bool read = head != kNoFile && ReadPartSet(head, &set);
    if (head != kNoFile)
        FileClose(head);
    if (!read)
        return;  // empty fields; OK then reports the unreadable image

    // A damaged trailer shows only the fields that make sense, and a count
    // only when it bounds the census; it never allows a join.
    const TrailerVerdict &verdict = set.verdict;
    if (verdict.name_readable) {
        char name[kPathSize];
        FormatOutputName(name, set.trailer.original_path);
        SetItemText(dialog, IDC_NAME, name);
    }
    if (verdict.size_readable)
        SetItemNumber(dialog, IDC_SIZE, OriginalSize(&set.trailer));
    int64_t found = 0;
    if (verdict.count_readable) {
        SetItemNumber(dialog, IDC_PARTS, set.trailer.last_part);
        if (state->have_folder) {
            Census census = TakeCensus(&set, &state->folder);
            found = census.found;
            FreeCensus(&census);
        }
        SetItemNumber(dialog, IDC_FOUND, found);
    }
    state->can_join = verdict.state != kTrailerDamaged && found == set.trailer.last_part;
    if (!state->can_join)
        EnableItem(dialog, IDOK, false);
}

// "report.zip: 5242880 bytes rebuilt, CRC-32 1a2b3c4d verified"
static void ReportDone(const JoinResult *result)
{
    char line[2 * kPathSize] = "";
    AppendText(line, sizeof line, result->output);
    AppendText(line, sizeof line, ": ");
    AppendDecimal(line, sizeof line, result->size);
    AppendText(line, sizeof line, " bytes rebuilt, CRC-32 ");
    AppendHex32(line, sizeof line, result->crc);
    AppendText(line, sizeof line, result->verified ? " verified" : " (the set records none to compare)");
    // What a stop left undone: "; 7 of 20 parts not deleted: interrupted".
    if (result->program_copy == kProgramCopyStopped) {
        AppendText(line, sizeof line, "; ");
        AppendText(line, sizeof line, kProgramCopyName);
        AppendText(line, sizeof line, " not written");
    }
    if (result->parts_kept > 0) {
        AppendText(line, sizeof line, "; ");
        AppendDecimal(line, sizeof line, result->parts_kept);
        AppendText(line, sizeof line, " of ");
        AppendDecimal(line, sizeof line, result->parts);
        AppendText(line, sizeof line, " parts not deleted");
    }
    if (result->program_copy == kProgramCopyStopped || result->parts_kept > 0)
        AppendText(line, sizeof line, ": interrupted");
    ShowResultLine(line);
}

// "Unable to rebuild report.zip: " and what is wrong with part, or with
// the set; the file concerned is always named.
static void Rebuilding(char *text, int size, const JoinResult *result)
{
    AppendText(text, size, "Unable to rebuild ");
    AppendText(text, size, result->output[0] ? result->output : "the file");
    AppendText(text, size, ": ");
    AppendText(text, size, result->part);
}

// How much room there is, and where: "this drive has 3.1 GB free".
static void AppendRoom(char *text, int size, const char *folder, int64_t free_bytes)
{
    AppendText(text, size, folder[0] ? folder : "this folder");
    AppendText(text, size, " has ");
    AppendSize(text, size, free_bytes);
    AppendText(text, size, " free");
}

static void ReportFailure(HWND dialog, const JoinResult *result, const char *folder)
{
    char text[4 * kPathSize] = "";
    const int size = sizeof text;
    const char *output = result->output;
    int64_t more_room = result->free_bytes >= 0 ? result->needed - result->free_bytes : -1;
    switch (result->status) {
    case kJoinDone:
    case kJoinCancelled:
        break;
    case kJoinNoTrailer:
        AppendText(text, size, "Unable to loacte original file information");
        AppendReason(text, size, result->error);
        break;
    case kJoinHeadDamaged:
        Rebuilding(text, size, result);
        AppendText(text, size, ", the head part itself, is damaged; get it again");
        break;
    case kJoinNoOutput:
        if (result->error.code == 0) {
            // A read-only file or a folder of that name, or no name at all.
            AppendText(text, size, "Unable to open output file, make sure there is no file with "
                                   "the same name in the output directory");
        } else {
            AppendText(text, size, "Unable to write ");
            AppendText(text, size, output);
            AppendReason(text, size, result->error);
        }
        break;
    case kJoinWouldReplacePart:
        AppendText(text, size, "Unable to rebuild ");
        AppendText(text, size, output);
        AppendText(text, size, ": it would replace ");
        AppendText(text, size, result->part);
        AppendText(text, size, ", a part of this set; give that part back its own name and try "
                               "again");
        break;
    case kJoinPartMissing:
    case kJoinPartUnreadable:
        Rebuilding(text, size, result);
        AppendText(text, size, result->status == kJoinPartMissing ? " is missing" : " cannot be read");
        AppendReason(text, size, result->error);
        break;
    case kJoinPartDamaged:
        Rebuilding(text, size, result);
        if (result->expected >= 0 && result->length >= 0 && result->length != result->expected) {
            bool shorter = result->length < result->expected;
            AppendText(text, size, " is ");
            AppendDecimal(text, size, shorter ? result->expected - result->length
                                              : result->length - result->expected);
            AppendText(text, size, shorter ? " bytes short: it was cut short; get it again"
                                           : " bytes too long; get it again");
        } else {
            AppendText(text, size, " is damaged or incomplete");
        }
        break;
    case kJoinPartCorrupt:
        Rebuilding(text, size, result);
        AppendText(text, size, " is damaged; it does not match the checksum recorded when it was "
                               "made. Get that part again.");
        break;
    case kJoinPartSwapped:
        Rebuilding(text, size, result);
        AppendText(text, size, " holds what ");
        AppendText(text, size, result->other);
        AppendText(text, size, " should hold: the parts were renamed or swapped");
        break;
    case kJoinWriteFailed:
        AppendText(text, size, "Unable to write ");
        AppendText(text, size, output);
        if (result->error.code == kErrorNoSpace)
            AppendText(text, size, ", the disk may be full");
        AppendReason(text, size, result->error, more_room);
        break;
    case kJoinNoRoom:
        AppendText(text, size, "Unable to rebuild ");
        AppendText(text, size, output);
        AppendText(text, size, ": it needs ");
        AppendSize(text, size, result->needed);
        AppendText(text, size, "; ");
        AppendRoom(text, size, folder, result->free_bytes);
        break;
    case kJoinTooLargeForDrive:
        AppendText(text, size, "Unable to rebuild ");
        AppendText(text, size, output);
        AppendText(text, size, ": at ");
        AppendSize(text, size, result->needed);
        AppendText(text, size, " it is larger than the file system of ");
        AppendText(text, size, folder[0] ? folder : "this drive");
        AppendText(text, size, " holds; move the parts to a drive formatted NTFS or exFAT");
        break;
    case kJoinSizeMismatch:
        AppendText(text, size, "Unable to rebuild ");
        AppendText(text, size, output);
        AppendText(text, size, ": the parts do not add up to its size");
        break;
    case kJoinChecksumMismatch:
        AppendText(text, size, "Unable to rebuild ");
        AppendText(text, size, output);
        AppendText(text, size, ": its parts do not match the checksum recorded when they were "
                               "made; a part is damaged");
        break;
    }
    if (text[0])
        ShowMessage(dialog, text, kTitle, MB_ICONERROR);
    text[0] = 0;
    if (result->program_copy == kProgramCopyWriteFailed ||
        result->program_copy == kProgramCopyReadFailed) {
        AppendText(text, size, "Unable to write ");
        AppendText(text, size, kProgramCopyName);
        if (result->error.code == kErrorNoSpace)
            AppendText(text, size, ", the disk may be full");
        else if (result->program_copy == kProgramCopyReadFailed)
            AppendText(text, size, ", the program cannot be read");
        AppendReason(text, size, result->error);
    } else if (result->program_copy == kProgramCopyDamaged) {
        AppendText(text, size, kProgramCopyName);
        AppendText(text, size, " was not written: the program in the head part does not match "
                               "the checksum recorded when the set was made, and the parts are "
                               "kept");
    }
    if (text[0])
        ShowMessage(dialog, text, kTitle, MB_ICONERROR);
}

static void OnJoin(HWND dialog, JoinDialog *state)
{
    JoinResult result;
    if (state->have_folder) {
        Progress progress = {0, 0, 0, 0, 0};
        BeginWork(dialog, &progress);
        result = JoinParts(&state->folder, state->image_path, IsItemChecked(dialog, IDC_MAKE_COPY),
                           IsItemChecked(dialog, IDC_DELETE_PARTS), &progress);
        EndWork(dialog);
    } else {
        result = JoinResult();
        result.status = kJoinPartMissing;
        result.error = LastFileError();
    }
    if (result.status == kJoinCancelled)
        return;  // stays open, ready to try again
    if (result.status == kJoinDone)
        ReportDone(&result);
    ReportFailure(dialog, &result, state->folder.path);
    // Whatever happened has been said; the result tells a script whether
    // the file was rebuilt.
    EndDialogWith(dialog, result.status != kJoinDone);
}

static void OnCommand(HWND dialog, int id)
{
    JoinDialog *state = (JoinDialog *)GetDialogState(dialog);
    switch (id) {
    case IDOK:
        OnJoin(dialog, state);
        break;
    case IDCANCEL:
        // A set that cannot be joined is a failure to a script, however
        // the dialog is closed.
        if (!StopWork(dialog))
            EndDialogWith(dialog, !state->can_join);
        break;
    }
}

static INT_PTR CALLBACK JoinDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_INITDIALOG) {
        SetDialogState(dialog, (void *)lparam);
        SetDialogIcon(dialog);
        InitJoinDialog(dialog, (JoinDialog *)lparam);
    } else if (message == WM_COMMAND) {
        OnCommand(dialog, LOWORD(wparam));
    } else if (IsCloseCommand(message, wparam)) {
        OnCommand(dialog, IDCANCEL);
    }
    return 0;
}

int RunJoinDialog(const char *image_path)
{
    // The set is looked for, and the file rebuilt, beside the head part,
    // wherever the program was started from.
    JoinDialog state;
    state.image_path = image_path;
    state.have_folder = FolderOfFile(image_path, &state.folder);
    state.can_join = true;  // until the dialog finds otherwise
    int failed = RunDialog(IDD_JOIN_DIALOG, JoinDlgProc, &state) != 0;
    if (state.have_folder)
        FolderClose(&state.folder);
    return failed;
}
