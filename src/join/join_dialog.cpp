#include "join/join_dialog.h"

#include "format/part_names.h"
#include "join/join_engine.h"
#include "join/join_report.h"
#include "join/part_set.h"
#include "platform/text.h"

static const char kTitle[] = "UnCleaver";

// What the dialog keeps between messages.
struct JoinDialog {
    const char *image_path;  // the head part, this program
    Folder folder;           // the head part's own, where the set is
    bool have_folder;
    bool can_join;           // OK is enabled: closing without a join is then no failure
    Census census;           // the slices found as the dialog opened, which the join reuses
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
        FormatOutputName(name, set.trailer.original_path, set.dos_paths);
        SetItemText(dialog, IDC_NAME, name);
    }
    if (verdict.size_readable)
        SetItemNumber(dialog, IDC_SIZE, OriginalSize(&set.trailer));
    int64_t found = 0;
    if (verdict.count_readable) {
        SetItemNumber(dialog, IDC_PARTS, set.trailer.last_part);
        if (state->have_folder) {
            state->census = TakeCensus(&set, &state->folder);
            found = state->census.found;
        }
        SetItemNumber(dialog, IDC_FOUND, found);
    }
    state->can_join = verdict.state != kTrailerDamaged && found == set.trailer.last_part;
    if (!state->can_join)
        EnableItem(dialog, IDOK, false);
}

static void OnJoin(HWND dialog, JoinDialog *state)
{
    JoinResult result;
    if (state->have_folder) {
        Progress progress = {0, 0, 0, 0, 0};
        BeginWork(dialog, &progress);
        result = JoinParts(&state->folder, state->image_path, IsItemChecked(dialog, IDC_MAKE_COPY),
                           IsItemChecked(dialog, IDC_DELETE_PARTS), &progress, &state->census);
        EndWork(dialog);
    } else {
        result = JoinResult();
        result.status = kJoinPartMissing;
        result.error = LastFileError();
    }
    if (result.status == kJoinCancelled)
        return;  // stays open, ready to try again
    char text[4 * kPathSize];
    if (result.status == kJoinDone) {
        FormatJoinDone(&result, text, sizeof text);
        ShowResultLine(text);
    }
    if (DescribeJoinFailure(&result, state->folder.path, text, sizeof text))
        ShowMessage(dialog, text, kTitle, MB_ICONERROR);
    if (DescribeProgramCopyFailure(&result, text, sizeof text))
        ShowMessage(dialog, text, kTitle, MB_ICONERROR);
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
    state.census = Census();
    int failed = RunDialog(IDD_JOIN_DIALOG, JoinDlgProc, &state) != 0;
    FreeCensus(&state.census);
    if (state.have_folder)
        FolderClose(&state.folder);
    return failed;
}
