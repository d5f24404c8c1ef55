// Entry point: one program, two roles, chosen by its own file name.
#include "app/mode.h"
#ifndef _WIN32
#include "app/command_line.h"
#include "app/no_terminal.h"
#include "platform/console_work.h"
#endif
#include "join/join_dialog.h"
#include "join/part_set.h"
#include "format/part_names.h"
#include "format/paths.h"
#include "platform/dialogs.h"
#include "platform/reasons.h"
#include "platform/text.h"
#include "split/split_dialog.h"

// The dialog's result: 0 after a success or a plain cancel, 1 when the
// last split or join asked for failed or was refused.  input, where not
// null, is the file the split tool was given.
static int RunDialogs(const char *image_path, const char *input)
{
    if (SelectMode(image_path) == kJoinMode)
        return RunJoinDialog(image_path, 0);
    // A recovery part given to the split tool (dropped on its icon) opens
    // its set's join: its head part may be lost.
    // So does a head part: a Windows user joins a set made on Linux by
    // dropping its head part on cleaver.exe.
    char stem[kPathSize];
    int kind;
    if (input && ((ParsePartName(FileNameOf(input), stem, &kind) && kind == -1) || IsAHeadPart(input)))
        return RunJoinDialog(input, image_path);
    char head[kPathSize];
    int failed = RunSplitDialog(image_path, input, head);
    return head[0] ? RunJoinDialog(head, image_path) : failed;
}

// The program's own file, learned once: the split copies it, the join reads
// its set.  False after telling why the program cannot run without it.
static bool FindOwnFile(char image_path[kPathSize], const char *argv0)
{
    FileError error;
    ClearError(&error);
    if (GetProgramImagePath(image_path, argv0, &error))
        return true;
    char text[2 * kPathSize] = "";
    AppendFailure(text, sizeof text, &error);
    AppendText(text, sizeof text, "; start the program by its path (as ./report_00.exe)");
    ShowFatal(text);
    return false;
}

#ifdef _WIN32
// The first argument after the program's own name, without its quotes: a
// file dropped on the program's icon, or sent to it.  Null when none.
static const char *FirstArgument(char *command_line)
{
    char *p = command_line;
    bool quoted = false;
    for (; *p && (quoted || (*p != ' ' && *p != '\t')); p++)
        quoted = *p == '"' ? !quoted : quoted;
    while (*p == ' ' || *p == '\t')
        p++;
    quoted = *p == '"';
    if (quoted)
        p++;
    char *end = p;
    while (*end && (quoted ? *end != '"' : *end != ' ' && *end != '\t'))
        end++;
    *end = 0;
    return *p ? p : 0;
}

// Nobody reads a Windows program's exit code: it is always 0.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    g_instance = instance;
    char image_path[kPathSize];
    if (!FindOwnFile(image_path, 0))
        return 0;
    static char command_line[kPathSize];  // a copy to cut; the system's stays whole
    CopyText(command_line, kPathSize, GetCommandLineA());
    RunDialogs(image_path, FirstArgument(command_line));
    return 0;
}

// The program needs nothing that the C runtime's startup code prepares (no
// arguments, no static constructors, no thread-local data), and leaving it
// out keeps several kilobytes out of every head part.
extern "C" __attribute__((force_align_arg_pointer, externally_visible)) void WinMainCRTStartup()
{
    ExitProcess((UINT)WinMain(GetModuleHandleA(0), 0, 0, SW_SHOWDEFAULT));
}
#else
int main(int argc, char **argv)
{
    const char *argv0 = argc > 0 ? argv[0] : 0;
    SetConsoleName(argv0 ? FileNameOf(argv0) : "cleaver");
    char image_path[kPathSize];
    if (!FindOwnFile(image_path, argv0))
        return ExitStatus(1);
    if (argc > 1)
        return ExitStatus(RunCommandLine(SelectMode(image_path), image_path, argc, argv));
    if (SelectMode(image_path) == kJoinMode && HasNoTerminal())
        return ExitStatus(RunWithoutTerminal(image_path));
    return ExitStatus(RunDialogs(image_path, 0));
}
#endif
