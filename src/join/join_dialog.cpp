#include "join/join_dialog.h"

#include "join/join_run.h"
#include "join/part_set.h"
#include "platform/text.h"

static const char kTitle[] = "UnCleaver";

// What the dialog keeps between messages.
struct JoinDialog {
    PartSet set;    // opened as the dialog opens; the join acts on what it found
    bool can_join;  // OK is enabled: closing without a join is then no failure
};

static void InitJoinDialog(HWND dialog, JoinDialog *state)
{
    SetItemChecked(dialog, IDC_MAKE_COPY, true);
    SetItemChecked(dialog, IDC_DELETE_PARTS, false);
    // A damaged trailer shows only the fields that make sense, and a count
    // only when it bounds the census.
    const PartSet &set = state->set;
    bool read = set.state != kSetHeadUnreadable && set.state != kSetNotAHeadPart &&
                set.state != kSetIsASlice;
    if (read && set.verdict.name_readable) {
        char name[kPathSize] = "";
        AppendName(name, kPathSize, set.output);
        SetItemText(dialog, IDC_NAME, name);
    }
    if (read && set.verdict.size_readable)
        SetItemNumber(dialog, IDC_SIZE, OriginalSize(&set.trailer));
    if (read && set.verdict.count_readable) {
        SetItemNumber(dialog, IDC_PARTS, set.trailer.last_part);
        SetItemNumber(dialog, IDC_FOUND, set.census.found);
    }
    char text[4 * kPathSize];
    state->can_join = SetCanJoin(&set, text, sizeof text) && set.census.found == set.trailer.last_part;
    if (!state->can_join)
        EnableItem(dialog, IDOK, false);
    // Missing slices show in the count; anything else is said.
    if (text[0])
        ShowMessage(dialog, text, kTitle, MB_ICONERROR);
}

static void OnJoin(HWND dialog, JoinDialog *state)
{
    // The dialog is the head part itself, which Windows will not delete.
    JoinRequest request = {IsItemChecked(dialog, IDC_MAKE_COPY),
                           IsItemChecked(dialog, IDC_DELETE_PARTS), true};
    Progress progress;
    ProgressInit(&progress);
    JoinOutcome outcome;
    BeginWork(dialog, &progress);
    RunJoin(&state->set, &request, &progress, &outcome);
    EndWork(dialog);
    if (outcome.stopped)
        return;  // stays open, ready to try again
    if (outcome.line[0])
        ShowResultLine(outcome.line);
    if (outcome.message[0])
        ShowMessage(dialog, outcome.message, kTitle, outcome.failed ? MB_ICONERROR : MB_OK);
    // Whatever happened has been said; the result tells a script whether
    // all that was asked was done.
    EndDialogWith(dialog, outcome.failed);
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
    JoinDialog state;
    OpenPartSet(image_path, &state.set);
    state.can_join = true;  // until the dialog finds otherwise
    int failed = RunDialog(IDD_JOIN_DIALOG, JoinDlgProc, &state) != 0;
    ClosePartSet(&state.set);
    return failed;
}
