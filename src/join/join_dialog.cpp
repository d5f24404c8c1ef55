#include "join/join_dialog.h"

#include "format/paths.h"
#include "join/join_report.h"
#include "join/join_run.h"
#include "platform/reasons.h"
#include "join/part_set.h"
#include "platform/text.h"

static const char kJoinTitle[] = "UnCleaver";

// What the dialog keeps between messages.
struct JoinDialog {
    PartSet set;    // opened as the dialog opens; the join acts on what it found
    bool can_join;  // OK is enabled: closing without a join is then no failure
    const char *own_program;  // this program's file where it is the program alone, or null
};

// A repair writes the parts back and keeps no file: the options of a join
// have nothing to act on meanwhile.
static void ShowRepairChoice(HWND dialog)
{
    bool repair = IsItemChecked(dialog, IDC_REPAIR_SET);
    EnableItem(dialog, IDC_MAKE_COPY, !repair);
    EnableItem(dialog, IDC_DELETE_PARTS, !repair);
}

static void InitJoinDialog(HWND dialog, JoinDialog *state)
{
    SetItemChecked(dialog, IDC_MAKE_COPY, true);
    SetItemChecked(dialog, IDC_DELETE_PARTS, false);
    SetItemChecked(dialog, IDC_REPAIR_SET, false);
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
    state->can_join = SetCanJoin(&set, text, sizeof text);
    if (state->can_join && set.state == kSetReady) {
        // The parts missing, and what the recovery parts can rebuild of them.
        char found[64], repair[2 * kPathSize];
        state->can_join = DescribeRecovery(&set, found, sizeof found, repair, sizeof repair);
        SetItemText(dialog, IDC_RECOVERY_FOUND, found);
        SetItemText(dialog, IDC_REPAIR, repair);
    }
    // Only recovery parts can rebuild a part.
    EnableItem(dialog, IDC_REPAIR_SET, state->can_join && set.state == kSetReady &&
                                           set.extension.recovery_count > 0);
    if (!state->can_join)
        EnableItem(dialog, IDOK, false);
    // Missing slices show in the count; anything else is said.
    if (text[0])
        ShowMessage(dialog, text, kJoinTitle, MB_ICONERROR);
}

// Asks about what the join would replace; false where the user will not
// have the rebuilt file replace another.
static bool AskToReplace(HWND dialog, JoinDialog *state, JoinRequest *request)
{
    JoinConflicts conflicts = FindJoinConflicts(&state->set, request);
    char question[2 * kPathSize] = "";
    if (conflicts.output_exists) {
        AppendName(question, sizeof question,
                   request->output_name ? request->output_name : state->set.output);
        AppendText(question, sizeof question, " already exists. Replace it?");
        if (!AskYesNo(dialog, question, kJoinTitle))
            return false;
        request->replace_output = true;
    }
    if (conflicts.copy_differs) {
        CopyText(question, sizeof question, kProgramCopyName);
        AppendText(question, sizeof question, " already exists, and is another program. Replace it?");
        request->replace_copy = AskYesNo(dialog, question, kJoinTitle);
    }
    return true;
}

// Runs the join as asked, with the user's answers; false where the user
// answered that nothing should be written after all.
static bool JoinAsAsked(HWND dialog, JoinDialog *state, JoinRequest *request, JoinOutcome *outcome)
{
    if (!request->repair_set && !AskToReplace(dialog, state, request))
        return false;
    Progress progress;
    ProgressInit(&progress);
    BeginWork(dialog, &progress);
    RunJoin(&state->set, request, &progress, outcome);
    EndWork(dialog);
    return true;
}

static void OnJoin(HWND dialog, JoinDialog *state)
{
    // The dialog is the head part itself, which Windows will not delete.
    JoinRequest request;
    request.make_copy = IsItemChecked(dialog, IDC_MAKE_COPY);
    request.delete_parts = IsItemChecked(dialog, IDC_DELETE_PARTS);
    request.head_is_running = true;
    // Opened from the split tool on Windows, a Linux head part's program is
    // of no use here: the copy is the running program.
    if (state->own_program && kDosPaths && !state->set.windows_program)
        request.copy_from = state->own_program;
    ProgramSource program;
    if (IsItemChecked(dialog, IDC_REPAIR_SET)) {
        // As cleaver --repair: the parts written back beside the others.
        request.make_copy = request.delete_parts = false;
        request.repair_set = WriteBackParts;
        ChooseRepairProgram(&state->set, state->own_program, &program);
        request.program = &program;
    }
    JoinOutcome outcome;
    if (!JoinAsAsked(dialog, state, &request, &outcome))
        return;  // stays open: nothing was written
    // Parts on a CD or a read-only share: the file may go elsewhere.
    Folder elsewhere;
    char path[kPathSize], name[kPathSize];
    CopyText(path, kPathSize, state->set.folder.path);  // where the file is
    if (outcome.result.status == kJoinNoOutput && IsNotWritable(&outcome.result.error) &&
        !request.repair_set) {
        char question[4 * kPathSize] = "";
        AppendFailure(question, sizeof question, &outcome.result.error);
        AppendText(question, sizeof question, ". Choose another folder for ");
        AppendName(question, sizeof question, state->set.output);
        AppendText(question, sizeof question, "?");
        if (AskYesNo(dialog, question, kJoinTitle) && ChooseOutputFile(dialog, state->set.output, path) &&
            FolderOfFile(path, &elsewhere, 0)) {
            CopyText(name, kPathSize, FileNameOf(path));
            CopyText(path, kPathSize, elsewhere.path);
            request.output_folder = &elsewhere;
            request.output_name = name;
            bool joined = JoinAsAsked(dialog, state, &request, &outcome);
            FolderClose(&elsewhere);
            if (!joined)
                return;
        }
    }
    if (outcome.stopped)
        return;  // stays open, ready to try again
    // The result, and what else the user must know: what failed, or was
    // not done.
    if (outcome.line[0])
        ShowResultLine(dialog, outcome.line, path, kJoinTitle,
                       outcome.failed && !outcome.message[0] ? MB_ICONWARNING : MB_ICONINFORMATION);
    if (outcome.message[0])
        ShowMessage(dialog, outcome.message, kJoinTitle, outcome.failed ? MB_ICONERROR : MB_ICONWARNING);
    // Whatever happened has been said; the result tells a script whether
    // all that was asked was done.
    EndDialogWith(dialog, outcome.failed);
}

static void OnJoinCommand(HWND dialog, int id)
{
    JoinDialog *state = (JoinDialog *)GetDialogState(dialog);
    switch (id) {
    case IDOK:
        OnJoin(dialog, state);
        break;
    case IDC_REPAIR_SET:
        ShowRepairChoice(dialog);
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
        OnJoinCommand(dialog, LOWORD(wparam));
    } else if (IsCloseCommand(message, wparam)) {
        OnJoinCommand(dialog, IDCANCEL);
    }
    return 0;
}

int RunJoinDialog(const char *image_path, const char *own_program)
{
    JoinDialog state;
    OpenPartSet(image_path, &state.set);
    state.can_join = true;  // until the dialog finds otherwise
    state.own_program = own_program;
    int failed = RunDialog(IDD_JOIN_DIALOG, JoinDlgProc, &state) != 0;
    ClosePartSet(&state.set);
    return failed;
}
