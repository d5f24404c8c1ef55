// Entry point: one program, two roles, chosen by its own file name.
#include "app/mode.h"
#include "join/join_dialog.h"
#include "platform/dialogs.h"
#include "split/split_dialog.h"

// The dialog's result: 0 after a success or a plain cancel, 1 when the
// last split or join asked for failed or was refused.
static int RunProgram()
{
    // Learned once: the split copies this file, the join reads its set.
    char image_path[kPathSize];
    GetProgramImagePath(image_path);
    if (SelectMode(image_path) == kSplitMode)
        return RunSplitDialog(image_path);
    return RunJoinDialog(image_path);
}

#ifdef _WIN32
// Nobody reads a Windows program's exit code: it is always 0.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    g_instance = instance;
    RunProgram();
    return 0;
}

// The program needs nothing that the C runtime's startup code prepares (no
// arguments, no static constructors, no thread-local data), and leaving it
// out keeps several kilobytes out of every head part.
extern "C" __attribute__((force_align_arg_pointer)) void WinMainCRTStartup()
{
    ExitProcess((UINT)WinMain(GetModuleHandleA(0), 0, 0, SW_SHOWDEFAULT));
}
#else
int main()
{
    return ExitStatus(RunProgram());
}
#endif
