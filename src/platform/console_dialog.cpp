// The console dialog host: runs the program's dialog procedures in a
// terminal, with the messages and control identifiers of the Windows
// dialog manager.  The dialog is printed as text; each input line is one
// command, the accelerator letter of the control to click.
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "platform/console_templates.h"
#include "platform/console_work.h"
#include "platform/dialogs.h"
#include "platform/reasons.h"
#include "platform/text.h"

enum { kLineSize = kPathSize };

struct ConsoleControl {
    char text[kPathSize] = "";
    bool checked = false;
    bool enabled = true;
};

struct ConsoleDialog {
    const DialogTemplate *tmpl = 0;
    DialogProc proc = 0;
    void *state = 0;  // the dialog procedure's own
    ConsoleControl controls[kMaxControls];
    bool ended = false;
    INT_PTR result = 0;
    bool changed = false;
    int typing_into = 0;  // the edit field that has the focus, or 0
    ConsoleWork work = {};
};

static ConsoleControl *FindControl(HWND dialog, int id, const ControlTemplate **tmpl = 0)
{
    for (int i = 0; i < dialog->tmpl->count; i++) {
        if (dialog->tmpl->controls[i].id == id && id != -1) {
            if (tmpl)
                *tmpl = &dialog->tmpl->controls[i];
            return &dialog->controls[i];
        }
    }
    return 0;
}

// Sets a control's check mark or its being enabled; the dialog is drawn
// again where that changed it.
static void SetControlFlag(HWND dialog, bool *flag, bool value)
{
    dialog->changed |= *flag != value;
    *flag = value;
}

// The text as shown: without the '&' that marks the accelerator.
static void PlainText(const char *text, char *out, int size)
{
    int n = 0;
    for (; *text && n + 1 < size; text++)
        if (*text != '&')
            out[n++] = *text;
    out[n] = 0;
}

static bool StdinIsTerminal()
{
    return isatty(0) != 0;
}

// One line of input without its line end; false at the end of input.
static bool ReadLine(char *line, int size)
{
    fflush(stdout);
    if (!fgets(line, size, stdin))
        return false;
    int n = TextLength(line);
    if (n > 0 && line[n - 1] != '\n' && !feof(stdin)) {
        int c;  // drop the rest of an over-long line
        while ((c = getchar()) != EOF && c != '\n') {
        }
    }
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r'))
        line[--n] = 0;
    return true;
}

// The label that names edit field id and carries its letter, if any.
static const ControlTemplate *EditLabel(const DialogTemplate *t, int id)
{
    const ControlTemplate *edit = 0;
    for (int i = 0; i < t->count; i++)
        if (t->controls[i].id == id && t->controls[i].kind == kEdit)
            edit = &t->controls[i];
    for (int i = 0; edit && i < t->count; i++)
        if (t->controls[i].kind == kLabel && t->controls[i].field == id && t->controls[i].command)
            return &t->controls[i];
    return 0;
}

static void Render(HWND dialog)
{
    const DialogTemplate *t = dialog->tmpl;
    printf("\n%s\n", t->caption);
    for (int i = 0; i < t->count; i++) {
        const ControlTemplate *c = &t->controls[i];
        const ConsoleControl *state = &dialog->controls[i];
        // Pictures are not shown; value fields and units are shown with the
        // control they belong to, and so is an edit field's label, whose
        // letter moves to the field as its mnemonic does on Windows.
        const ControlTemplate *label = EditLabel(t, c->id);
        if (c->kind == kPicture || c->kind == kValueField || c->kind == kUnit ||
            (c->kind == kLabel && EditLabel(t, c->field) == c))
            continue;
        char text[kPathSize];
        PlainText(c->text, text, sizeof text);
        char command = c->command ? c->command : c->kind == kEdit && label ? label->command : 0;
        printf("  %c  ", command ? command : ' ');
        switch (c->kind) {
        case kPicture:
        case kValueField:
        case kUnit:
            break;
        case kGroupBox:
            printf("-- %s --", text);
            break;
        case kLabel: {
            const ConsoleControl *value = FindControl(dialog, c->field);
            printf("%s: %s", text, value ? value->text : "");
            break;
        }
        case kEdit:
        case kReadOnlyEdit:
            printf("%s: [%s]", c->prompt, state->text);
            for (int j = 0; j < t->count; j++)
                if (t->controls[j].kind == kUnit && t->controls[j].field == c->id)
                    printf(" %s", t->controls[j].text);
            break;
        case kPushButton:
        case kDefaultButton:
            printf("<%s>", text);
            break;
        case kRadioButton:
            printf("(%c) %s", state->checked ? '*' : ' ', text);
            break;
        case kCheckBox:
            printf("[%c] %s", state->checked ? 'x' : ' ', text);
            break;
        }
        printf("%s\n", state->enabled ? "" : "  (disabled)");
    }
    dialog->changed = false;
}

static void PrintCommands(HWND dialog)
{
    printf("Commands, one a line:");
    for (int i = 0; i < dialog->tmpl->count; i++) {
        const ControlTemplate *c = &dialog->tmpl->controls[i];
        if (c->command) {
            char text[kPathSize];
            PlainText(c->text, text, sizeof text);
            printf(" %c = %s,", c->command, text);
        }
    }
    printf(" end of input = close\n");
}

static void Click(HWND dialog, int index)
{
    const ControlTemplate *c = &dialog->tmpl->controls[index];
    ConsoleControl *state = &dialog->controls[index];
    if (!state->enabled) {
        char text[kPathSize];
        PlainText(c->text, text, sizeof text);
        printf("%s is disabled.\n", text);
        return;
    }
    if (c->kind == kRadioButton) {
        // Auto radio buttons clear the others of their run.
        int first = index, last = index;
        while (first > 0 && dialog->tmpl->controls[first - 1].kind == kRadioButton)
            first--;
        while (last + 1 < dialog->tmpl->count &&
               dialog->tmpl->controls[last + 1].kind == kRadioButton)
            last++;
        for (int i = first; i <= last; i++)
            SetControlFlag(dialog, &dialog->controls[i].checked, i == index);
    } else if (c->kind == kCheckBox) {
        SetControlFlag(dialog, &state->checked, !state->checked);
    } else if (c->kind == kLabel) {
        FocusItem(dialog, c->field);  // an edit field's label: the next line is its text
        return;
    }
    dialog->proc(dialog, WM_COMMAND, (WPARAM)(unsigned)c->id, 0);
}

static void Command(HWND dialog, const char *line)
{
    while (*line == ' ' || *line == '\t')
        line++;
    int n = TextLength(line);
    while (n > 0 && (line[n - 1] == ' ' || line[n - 1] == '\t'))
        n--;
    if (n == 1) {
        char key = LowerAscii(line[0]);
        for (int i = 0; i < dialog->tmpl->count; i++) {
            if (dialog->tmpl->controls[i].command == key) {
                Click(dialog, i);
                return;
            }
        }
    }
    PrintCommands(dialog);
}

static void Close(HWND dialog)
{
    dialog->proc(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    dialog->ended = true;  // no dialog of ours outlives its input
}

// ---- Work in progress -------------------------------------------------------

void BeginWork(HWND dialog, Progress *progress)
{
    BeginConsoleWork(&dialog->work, progress);
}

// A terminal gives no command while work runs: Ctrl-C is its Cancel.
bool StopWork(HWND)
{
    return false;
}

void EndWork(HWND dialog)
{
    EndConsoleWork(&dialog->work);
}

INT_PTR RunDialog(int template_id, DialogProc proc, void *param)
{
    ConsoleDialog dialog;
    dialog.tmpl = FindConsoleTemplate(template_id);
    dialog.proc = proc;
    if (!dialog.tmpl)
        return -1;
    CatchConsoleSignals();
    proc(&dialog, WM_INITDIALOG, 0, (LPARAM)param);
    if (!dialog.ended)
        Render(&dialog);
    char line[kLineSize];
    while (!dialog.ended) {
        // After a click that moved the focus to an edit field, the next
        // line is what the user types into it.
        const ControlTemplate *edit_template = 0;
        ConsoleControl *edit = FindControl(&dialog, dialog.typing_into, &edit_template);
        dialog.typing_into = 0;
        if (StdinIsTerminal())
            printf("%s%s ", edit ? edit_template->prompt : ">", edit ? ":" : "");
        if (!ReadLine(line, sizeof line)) {
            Close(&dialog);
            break;
        }
        if (edit) {
            CopyText(edit->text, sizeof edit->text, line);
            dialog.changed = true;
        } else {
            Command(&dialog, line);
            EndIfInterrupted();
        }
        if (!dialog.ended && dialog.changed && !dialog.typing_into)
            Render(&dialog);
    }
    fflush(stdout);
    return dialog.result;
}

void EndDialogWith(HWND dialog, int result)
{
    dialog->ended = true;
    dialog->result = result;
}

void SetDialogState(HWND dialog, void *state)
{
    dialog->state = state;
}

void *GetDialogState(HWND dialog)
{
    return dialog->state;
}

void SetDialogIcon(HWND)
{
}

int GetItemText(HWND dialog, int id, char *text, int size)
{
    ConsoleControl *c = FindControl(dialog, id);
    CopyText(text, size, c ? c->text : "");
    return TextLength(text);
}

void SetItemText(HWND dialog, int id, const char *text)
{
    ConsoleControl *c = FindControl(dialog, id);
    if (c && strcmp(c->text, text) != 0) {
        CopyText(c->text, sizeof c->text, text);
        dialog->changed = true;
    }
}

bool IsItemChecked(HWND dialog, int id)
{
    ConsoleControl *c = FindControl(dialog, id);
    return c && c->checked;
}

void SetItemChecked(HWND dialog, int id, bool checked)
{
    ConsoleControl *c = FindControl(dialog, id);
    if (c)
        SetControlFlag(dialog, &c->checked, checked);
}

void EnableItem(HWND dialog, int id, bool enabled)
{
    ConsoleControl *c = FindControl(dialog, id);
    if (c)
        SetControlFlag(dialog, &c->enabled, enabled);
}

void FocusItem(HWND dialog, int id)
{
    const ControlTemplate *c = 0;
    if (FindControl(dialog, id, &c) && c->kind == kEdit)
        dialog->typing_into = id;
}

// Messages, errors among them, go to standard error, and the result line
// alone to standard output, where a script reads it.
void ShowMessage(HWND, const char *text, const char *title, UINT)
{
    fflush(stdout);
    fprintf(stderr, "%s: %s\n", title, text);
    if (StdinIsTerminal()) {
        char line[kLineSize];
        fprintf(stderr, "(press Enter) ");
        ReadLine(line, sizeof line);
    }
}

void ShowResultLine(HWND, const char *text, const char *, const char *, UINT)
{
    printf("%s\n", text);
    fflush(stdout);
}


bool AskYesNo(HWND, const char *question, const char *title)
{
    fflush(stdout);
    fprintf(stderr, "%s: %s [y/N] ", title, question);
    fflush(stderr);
    char line[kLineSize];
    if (!ReadLine(line, sizeof line))
        return false;
    if (!StdinIsTerminal())
        fprintf(stderr, "%s\n", line);  // what was answered, where no terminal echoes it
    return LowerAscii(line[0]) == 'y';
}

// Why the path typed is of no use, after what standard output holds.
static void SayUnusable(const char *line, const FileError *error)
{
    char text[2 * kPathSize] = "";
    AppendName(text, sizeof text, line);
    AppendReason(text, sizeof text, error);
    fflush(stdout);
    fprintf(stderr, "%s.\n", text);
}

// Stands in for the "Save As" dialog: the next line names a folder, or a
// path with the file's name.
bool ChooseOutputFile(HWND, const char *name, char path[kPathSize])
{
    path[0] = 0;
    char line[kLineSize];
    for (;;) {
        printf("Save As: type the folder to write %s in, or a path with its name; an empty line "
               "cancels\n", name);
        if (!ReadLine(line, sizeof line) || !line[0])
            return false;
        Folder folder;
        FileError error;
        ClearError(&error);
        if (OpenFolder(line, &folder, &error)) {
            // A folder: the file keeps its name there.
            FormatText(path, kPathSize, "%s%s", folder.path, name);
            FolderClose(&folder);
            return true;
        }
        ClearError(&error);
        if (FolderOfFile(line, &folder, &error)) {
            FolderClose(&folder);
            CopyText(path, kPathSize, line);
            return true;
        }
        SayUnusable(line, &error);
    }
}

// Stands in for the "Select File" dialog: the next line names the file,
// which is taken as typed.
bool ChooseInputFile(HWND, char path[kPathSize])
{
    path[0] = 0;
    char line[kLineSize];
    for (;;) {
        printf("Select File: type the file's name, or an empty line to cancel\n");
        if (!ReadLine(line, sizeof line) || !line[0])
            return false;
        File file;
        FileError error;
        ClearError(&error);
        if (FileOpenRead(0, line, &file, &error)) {
            FileClose(&file, 0);
            return CopyText(path, kPathSize, line);
        }
        SayUnusable(line, &error);
    }
}

int ExitStatus(int status)
{
    // What could not be written to standard output (a full disk, a closed
    // pipe) is a failure too, as a script would otherwise never know.
    bool written = fflush(stdout) == 0 && !ferror(stdout);
    if (fclose(stdout) != 0)
        written = false;
    if (!written) {
        char text[256] = "standard output: ";
        AppendText(text, sizeof text, strerror(errno));
        PrintError(text);
        return 1;
    }
    return status;
}

void ShowFatal(const char *text)
{
    PrintError(text);
}
