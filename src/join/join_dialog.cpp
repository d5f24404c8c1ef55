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
    if (verdict.state == kTrailerDamaged || found != set.trailer.last_part)
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
    ShowResultLine(line);
}

static void ReportFailure(HWND dialog, const JoinResult *result)
{
    const char *output = result->output;
    const char *part = result->part;
    switch (result->status) {
    case kJoinDone:
    case kJoinCancelled:
        break;
    case kJoinNoTrailer:
        ShowError(dialog, kTitle, "Unable to loacte original file information");
        break;
    case kJoinNoOutput:
        ShowError(dialog, kTitle,
                  "Unable to open output file, make sure there is no file with the same name in "
                  "the output directory");
        break;
    case kJoinWouldReplacePart:
        ShowError(dialog, kTitle, "Unable to rebuild ", output, ": it would replace ", part,
                  ", a part of this set; give that part back its own name and try again");
        break;
    case kJoinPartMissing:
    case kJoinPartDamaged:
    case kJoinPartUnreadable: {
        const char *what = result->status == kJoinPartMissing   ? " is missing"
                           : result->status == kJoinPartDamaged ? " is damaged or incomplete"
                                                                : " cannot be read";
        ShowError(dialog, kTitle, "Unable to rebuild ", output, ": part ", part, what);
        break;
    }
    case kJoinWriteFailed:
        ShowError(dialog, kTitle, "Unable to write ", output, ", the disk may be full");
        break;
    case kJoinSizeMismatch:
        ShowError(dialog, kTitle, "Unable to rebuild ", output, ": the parts do not add up to its size");
        break;
    case kJoinChecksumMismatch:
        ShowError(dialog, kTitle, "Unable to rebuild ", output,
                  ": its parts do not match the checksum recorded when they were made; a part "
                  "is damaged");
        break;
    }
    if (result->program_copy == kProgramCopyWriteFailed)
        ShowError(dialog, kTitle, "Unable to write ", kProgramCopyName, ", the disk may be full");
    else if (result->program_copy == kProgramCopyReadFailed)
        ShowError(dialog, kTitle, "Unable to write ", kProgramCopyName, ", the program cannot be read");
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
    ReportFailure(dialog, &result);
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
        if (!StopWork(dialog))
            EndDialogWith(dialog, 0);
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
    int failed = RunDialog(IDD_JOIN_DIALOG, JoinDlgProc, &state) != 0;
    if (state.have_folder)
        FolderClose(&state.folder);
    return failed;
}
