// Plays a user of cleaver.exe's dialogs for the Wine tests: starts the
// program, then works through the steps given on the command line.
//
//   dialog_driver.exe PROGRAM WORKING-DIR STEP...
//
//   split | join          the main dialog of that kind is shown
//   click:ID              posts BM_CLICK to a control of the main dialog
//   type:ID:TEXT          sets a control's text (TEXT may be empty)
//   text:ID:TEXT          waits until a control shows exactly TEXT
//   enabled:ID  disabled:ID  checked:ID  unchecked:ID
//   open:PATH             answers "Select File" with a full path
//   cancelfile            cancels "Select File"
//   message:TITLE:TEXT    a message box says this; dismissed with OK
//   caption:TEXT          waits until the main dialog's caption is TEXT
//   working:MS            for MS ms the dialog answers within 200 ms, is never
//                         judged hung and shows a growing "N% - " in its caption
//   close                 closes the main dialog; the program must end
//   ends                  the program ends by itself, with exit code 0
//   sleep:MS              holds still, for a screenshot
//
// Every wait gives up after 20 s, but that for the program's end, which may
// be a split of gigabytes, after 5 minutes.  Exit code 0 on success, 1 on a
// failed step, 2 when the program cannot be started; the program is killed
// if it is still running when the driver gives up.
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

static const DWORD kTimeoutMs = 20000;
static const DWORD kWorkTimeoutMs = 300000;  // a split or join of gigabytes
static const DWORD kPollMs = 50;
static const char kFileDialogTitle[] = "Select File";

static PROCESS_INFORMATION g_child;
static HWND g_main;
static std::string g_step;
static std::string g_seen;  // what a wait saw instead, for its failure message

static void Fail(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    fprintf(stderr, "dialog_driver: FAILED at step \"%s\": ", g_step.c_str());
    vfprintf(stderr, format, args);
    fprintf(stderr, "\n");
    va_end(args);
    if (g_child.hProcess && WaitForSingleObject(g_child.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(g_child.hProcess, 1);
        WaitForSingleObject(g_child.hProcess, 5000);
    }
    exit(1);
}

static bool Ended()
{
    return WaitForSingleObject(g_child.hProcess, 0) == WAIT_OBJECT_0;
}

// A window's text through WM_GETTEXT, which also works for controls of
// another process (GetWindowText does not).
static std::string TextOf(HWND window)
{
    char text[1024] = "";
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG,
                             kTimeoutMs, &length))
        return "";
    text[length < sizeof text ? length : sizeof text - 1] = 0;
    return text;
}

static std::string ClassOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

static BOOL CALLBACK CollectDialog(HWND window, LPARAM list)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == g_child.dwProcessId && IsWindowVisible(window) && ClassOf(window) == "#32770")
        ((std::vector<HWND> *)list)->push_back(window);
    return TRUE;
}

// The visible top-level dialogs of the program: main dialog, message boxes,
// the file dialog.
static std::vector<HWND> Dialogs()
{
    std::vector<HWND> list;
    EnumWindows(CollectDialog, (LPARAM)&list);
    return list;
}

static bool IsFileDialog(HWND window)
{
    return TextOf(window) == kFileDialogTitle;
}

static bool IsMainDialog(HWND window)
{
    return !IsFileDialog(window) && (GetDlgItem(window, 1000) || GetDlgItem(window, 1007));
}

static HWND FindFileDialog()
{
    for (HWND window : Dialogs())
        if (IsFileDialog(window))
            return window;
    return 0;
}

static HWND FindMessageBox()
{
    for (HWND window : Dialogs())
        if (window != g_main && !IsFileDialog(window) && !IsMainDialog(window))
            return window;
    return 0;
}

static BOOL CALLBACK FindStaticText(HWND child, LPARAM text)
{
    if (ClassOf(child) != "Static")
        return TRUE;
    std::string found = TextOf(child);
    if (found.empty())
        return TRUE;
    *(std::string *)text = found;
    return FALSE;
}

static std::string MessageTextOf(HWND box)
{
    std::string text;
    EnumChildWindows(box, FindStaticText, (LPARAM)&text);
    return text;
}

// Fails with the text of a message box that the program shows unasked.
static void FailOnMessageBox()
{
    if (HWND box = FindMessageBox())
        Fail("unexpected message box \"%s\": \"%s\"", TextOf(box).c_str(),
             MessageTextOf(box).c_str());
}

// Polls until done() holds; what describes the awaited state.
template <class Done>
static void WaitFor(const char *what, Done done, bool ending_is_fine = false,
                    DWORD timeout = kTimeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (done())
            return;
        if (!ending_is_fine && Ended()) {
            DWORD code = 0;
            GetExitCodeProcess(g_child.hProcess, &code);
            Fail("the program ended (exit code %lu) while waiting for %s", code, what);
        }
        if (GetTickCount() - start > timeout)
            Fail("timed out waiting for %s%s", what, g_seen.c_str());
        Sleep(kPollMs);
    }
}

static void PressButton(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

static HWND Control(int id)
{
    if (!g_main)
        Fail("no main dialog yet (start with split or join)");
    if (!IsWindow(g_main))
        Fail("the main dialog has closed");
    HWND control = GetDlgItem(g_main, id);
    if (!control)
        Fail("the main dialog has no control %d", id);
    return control;
}

static void ExpectMain(bool split)
{
    WaitFor(split ? "the split dialog" : "the join dialog", [&] {
        for (HWND window : Dialogs())
            if (IsMainDialog(window))
                g_main = window;
        if (!g_main)
            FailOnMessageBox();
        return g_main != 0;
    });
    if ((GetDlgItem(g_main, 1000) != 0) != split)
        Fail("the %s dialog opened instead", split ? "join" : "split");
}

static void ExpectText(int id, const std::string &expected)
{
    HWND control = Control(id);
    WaitFor(("control " + std::to_string(id) + " to show \"" + expected + "\"").c_str(), [&] {
        std::string seen = TextOf(control);
        g_seen = "; it shows \"" + seen + "\"";
        return seen == expected;
    });
    g_seen.clear();
}

static void AnswerFileDialog(const char *path)
{
    HWND dialog = 0;
    WaitFor("the \"Select File\" dialog", [&] { return (dialog = FindFileDialog()) != 0; });
    HWND field = 0;
    WaitFor("its file name field", [&] {
        field = GetDlgItem(dialog, 0x47C);  // cmb13, Explorer style
        if (!field)
            field = GetDlgItem(dialog, 0x480);  // edt1
        return field != 0;
    });
    if (path) {
        SendMessageTimeoutA(field, WM_SETTEXT, 0, (LPARAM)path, SMTO_ABORTIFHUNG, kTimeoutMs, 0);
        PressButton(dialog, IDOK);
    } else {
        PressButton(dialog, IDCANCEL);
    }
    WaitFor("the \"Select File\" dialog to close", [&] {
        if (!path)
            return !IsWindow(dialog);
        // A name that does not exist brings up a warning over the dialog.
        for (HWND window : Dialogs())
            if (window != dialog && window != g_main && !IsMainDialog(window))
                Fail("the file dialog warns: \"%s\"", MessageTextOf(window).c_str());
        return !IsWindow(dialog);
    });
}

static void ExpectMessage(const std::string &title, const std::string &text)
{
    HWND box = 0;
    WaitFor("a message box", [&] { return (box = FindMessageBox()) != 0; });
    std::string seen_title = TextOf(box);
    std::string seen_text;
    WaitFor("the message box's text", [&] { return !(seen_text = MessageTextOf(box)).empty(); });
    printf("  message \"%s\": \"%s\"\n", seen_title.c_str(), seen_text.c_str());
    if (seen_title != title || seen_text != text)
        Fail("expected \"%s\": \"%s\"", title.c_str(), text.c_str());
    PressButton(box, IDOK);
    WaitFor("the message box to close", [&] { return !IsWindow(box); });
}

static void ExpectEnd()
{
    WaitFor("the program to end", [] {
        FailOnMessageBox();
        return Ended();
    }, true, kWorkTimeoutMs);
    DWORD code = 0;
    GetExitCodeProcess(g_child.hProcess, &code);
    if (code != 0)
        Fail("the program ended with exit code %lu", code);
}

static void ExpectWorking(DWORD ms)
{
    Control(IDOK);
    int first = -1, last = -1;
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(100)) {
        FailOnMessageBox();
        DWORD_PTR ignored;
        if (!SendMessageTimeoutA(g_main, WM_NULL, 0, 0, SMTO_NORMAL, 200, &ignored))
            Fail("the dialog did not answer within 200 ms");
        if (IsHungAppWindow(g_main))
            Fail("the dialog is judged hung");
        std::string caption = TextOf(g_main);  // "42% - QCleaver"
        size_t end = caption.find("% - ");
        int percent = end >= 1 && end <= 3 ? atoi(caption.c_str()) : -1;
        if (percent < last)
            Fail("the caption \"%s\" shows no progress (%d%% before)", caption.c_str(), last);
        last = percent;
        if (first < 0)
            first = percent;
    }
    printf("  progress from %d%% to %d%%\n", first, last);
    if (last <= first)
        Fail("the percentage did not grow: %d%% to %d%%", first, last);
}

static int Number(const std::string &text)
{
    char *end = 0;
    long value = strtol(text.c_str(), &end, 0);
    if (text.empty() || *end)
        Fail("\"%s\" is not a number", text.c_str());
    return (int)value;
}

static void RunStep(const std::string &step)
{
    size_t colon = step.find(':');
    std::string name = step.substr(0, colon);
    std::string rest = colon == std::string::npos ? "" : step.substr(colon + 1);
    // ID:TEXT, where TEXT may hold colons of its own.
    size_t second = rest.find(':');
    std::string first = rest.substr(0, second);
    std::string text = second == std::string::npos ? "" : rest.substr(second + 1);

    if (name == "split" || name == "join") {
        ExpectMain(name == "split");
    } else if (name == "click") {
        PostMessageA(Control(Number(rest)), BM_CLICK, 0, 0);
    } else if (name == "type") {
        SendMessageTimeoutA(Control(Number(first)), WM_SETTEXT, 0, (LPARAM)text.c_str(),
                            SMTO_ABORTIFHUNG, kTimeoutMs, 0);
    } else if (name == "text") {
        ExpectText(Number(first), text);
    } else if (name == "enabled" || name == "disabled") {
        HWND control = Control(Number(rest));
        WaitFor(step.c_str(), [&] { return (IsWindowEnabled(control) != 0) == (name == "enabled"); });
    } else if (name == "checked" || name == "unchecked") {
        HWND control = Control(Number(rest));
        WaitFor(step.c_str(), [&] {
            DWORD_PTR state = 0;
            SendMessageTimeoutA(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &state);
            return (state == BST_CHECKED) == (name == "checked");
        });
    } else if (name == "open") {
        AnswerFileDialog(rest.c_str());
    } else if (name == "cancelfile") {
        AnswerFileDialog(0);
    } else if (name == "message") {
        ExpectMessage(first, text);
    } else if (name == "caption") {
        std::string seen;
        WaitFor(step.c_str(), [&] { return (seen = TextOf(Control(IDOK) ? g_main : 0)) == rest; });
    } else if (name == "working") {
        ExpectWorking((DWORD)Number(rest));
    } else if (name == "sleep") {
        Sleep((DWORD)Number(rest));
    } else if (name == "close") {
        Control(IDOK);  // the main dialog is still open
        PostMessageA(g_main, WM_SYSCOMMAND, SC_CLOSE, 0);
        ExpectEnd();
    } else if (name == "ends") {
        ExpectEnd();
    } else {
        Fail("unknown step");
    }
}

int main(int argc, char **argv)
{
    setvbuf(stdout, 0, _IONBF, 0);
    if (argc < 3) {
        fprintf(stderr, "usage: dialog_driver PROGRAM WORKING-DIR STEP...\n");
        return 2;
    }
    std::string command_line = std::string("\"") + argv[1] + "\"";
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(argv[1], &command_line[0], 0, 0, FALSE, 0, 0, argv[2], &startup,
                        &g_child)) {
        fprintf(stderr, "dialog_driver: cannot start %s in %s (error %lu)\n", argv[1], argv[2],
                GetLastError());
        return 2;
    }
    DWORD start = GetTickCount();
    printf("started %s in %s\n", argv[1], argv[2]);
    for (int i = 3; i < argc; i++) {
        g_step = argv[i];
        RunStep(g_step);
        printf("ok %5lu ms %s\n", GetTickCount() - start, argv[i]);
    }
    g_step = "(after the last step)";
    if (!Ended())
        Fail("the program is still running");
    return 0;
}
