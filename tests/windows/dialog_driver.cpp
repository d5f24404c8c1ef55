// Plays a user of cleaver.exe's dialogs for the Wine tests and the screenshots:
// dialog_driver.exe PROGRAM[|ARGUMENT] WORKING-DIR STEP... starts the program (with
// ARGUMENT on its command line, as a file dropped on its icon) and takes the steps;
// exit code 0 when all held, 1 when one failed (the program is killed), 2 when it cannot start.
//   split | join            the main dialog of that kind is shown
//   click:ID  type:ID:TEXT  clicks a control of it, or sets its text
//   text:ID:TEXT  caption:TEXT  enabled:ID  disabled:ID
//                           waits up to 20 s until a control, or the caption, is so
//   open:PATH  cancelfile   answers "Select File" with a full path, or cancels it
//   error:TITLE:TEXT        a message box with the error icon says this (a * in TEXT stands
//                           for any text);
//   warning:..., info:...   or with that icon; dismissed with OK
//   yes:TITLE:TEXT, no:...  a message box with the question icon asks this; answered Yes, or No
//   fits                    every text of the main dialog's static controls fits its control
//   working:N               until the "N%" its caption begins with has grown by N points and it
//                           shows "N% · R/s · M:SS left", the dialog answers within 200 ms, is never judged hung
//   close | ends            closes the main dialog, or not: the program ends, with
//                           code 0, within 5 minutes (a split of gigabytes)
//   sleep:MS                holds still, for a screenshot
#include <windows.h>

#include <dlgs.h>  // the file dialog's controls
#include <stdio.h>
#include <ctype.h>
#include <stdlib.h>

#include <string>

#include "../../res/resource.h"

static const DWORD kTimeoutMs = 20000, kWorkTimeoutMs = 300000;
static PROCESS_INFORMATION g_child;
static HWND g_main;
static std::string g_step;

template <class... Args>
static void Fail(const char *format, Args... args)
{
    fprintf(stderr, "dialog_driver: FAILED at step \"%s\": ", g_step.c_str());
    fprintf(stderr, format, args...);
    fprintf(stderr, "\n");
    TerminateProcess(g_child.hProcess, 1);  // where it still runs
    WaitForSingleObject(g_child.hProcess, 5000);
    exit(1);
}

static bool Ended(DWORD *code)
{
    return WaitForSingleObject(g_child.hProcess, 0) == WAIT_OBJECT_0 &&
           GetExitCodeProcess(g_child.hProcess, code);
}

// A window's text through WM_GETTEXT, which also works for controls of
// another process (GetWindowText does not).
static std::string TextOf(HWND window)
{
    char text[1024] = "";
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, kTimeoutMs, 0);
    return text;
}

enum DialogKind { kMainDialog, kFileDialog, kMessageBox };

// The first visible dialog of the program of that kind, but `besides`.
static HWND Find(DialogKind kind, HWND besides = 0)
{
    for (HWND window = 0; (window = FindWindowExA(0, window, "#32770", 0));) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid == g_child.dwProcessId && window != besides && IsWindowVisible(window) &&
            kind == (TextOf(window) == "Select File" ? kFileDialog
                     : window == g_main || GetDlgItem(window, IDC_BROWSE) || GetDlgItem(window, IDC_NAME)
                         ? kMainDialog
                         : kMessageBox))
            return window;
    }
    return 0;
}

static std::string MessageTextOf(HWND box)
{
    for (HWND child = 0; (child = FindWindowExA(box, child, "Static", 0));)
        if (!TextOf(child).empty())
            return TextOf(child);
    return "";
}

// The kind of icon a message box shows: the system icon of each kind drawn here, compared
// with the box's icon control on the screen where the icon is opaque.
static std::string IconOf(HWND box)
{
    HWND icon = 0;
    while ((icon = FindWindowExA(box, icon, "Static", 0)) && (GetWindowLongA(icon, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
    }
    RECT r = {};
    if (icon && IsWindowVisible(icon))
        GetWindowRect(icon, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return "none";
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB}};
    HDC screen = GetDC(0), dc[3];
    DWORD *pixels[3];
    for (int i = 0; i < 3; i++) {
        dc[i] = CreateCompatibleDC(screen);
        SelectObject(dc[i], CreateDIBSection(screen, &info, DIB_RGB_COLORS, (void **)&pixels[i], 0, 0));
    }
    BitBlt(dc[0], 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    static const struct { LPCSTR id; const char *kind; } kIcons[] = {
        {IDI_HAND, "error"}, {IDI_EXCLAMATION, "warning"}, {IDI_ASTERISK, "info"}, {IDI_QUESTION, "question"}};
    std::string kind = "none";  // or none known
    for (const auto &candidate : kIcons) {
        for (int i = 1; i < 3; i++) {
            PatBlt(dc[i], 0, 0, w, h, i == 1 ? BLACKNESS : WHITENESS);
            DrawIconEx(dc[i], 0, 0, LoadIconA(0, candidate.id), w, h, 0, 0, DI_NORMAL);
        }
        int opaque = 0, differ = 0;
        for (int p = 0; p < w * h; p++)
            if (pixels[1][p] == pixels[2][p])
                opaque++, differ += (pixels[0][p] & 0xFFFFFF) != (pixels[1][p] & 0xFFFFFF);
        if (opaque > 0 && differ * 20 < opaque)
            kind = candidate.kind;
    }
    for (HDC one : dc)
        DeleteObject(SelectObject(one, GetStockObject(NULL_BRUSH))), DeleteDC(one);
    ReleaseDC(0, screen);
    return kind;
}

// Fails where a static control of the main dialog holds more text than it shows: measured
// in the dialog's font at the screen's DPI, wrapped as the control wraps it.
static void ExpectTextsFit()
{
    HDC dc = GetDC(g_main);
    LOGFONTA font = {-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72)};
    lstrcpyA(font.lfFaceName, "MS Sans Serif");
    HGDIOBJ was = SelectObject(dc, CreateFontIndirectA(&font));
    for (HWND child = 0; (child = FindWindowExA(g_main, child, "Static", 0));) {
        LONG style = GetWindowLongA(child, GWL_STYLE);
        std::string text = TextOf(child);
        RECT client, need = {};
        GetClientRect(child, &client);
        need.right = client.right;
        DrawTextA(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS |
                                                 (style & SS_NOPREFIX ? DT_NOPREFIX : 0));
        if ((style & SS_TYPEMASK) <= SS_RIGHT && !text.empty() &&
            (need.right > client.right || need.bottom > client.bottom))
            Fail("\"%s\" needs %ldx%ld pixels, its control has %ldx%ld", text.c_str(), need.right, need.bottom,
                 client.right, client.bottom);
    }
    DeleteObject(SelectObject(dc, was));
    ReleaseDC(g_main, dc);
}

// Fails with the text of a message box that the program shows unasked.
static void FailOnMessageBox()
{
    if (HWND box = Find(kMessageBox))
        Fail("unexpected message box \"%s\": \"%s\"", TextOf(box).c_str(), MessageTextOf(box).c_str());
}

// Polls until done() holds; what describes the awaited state, and seen
// what was there instead.
template <class Done>
static void WaitFor(const std::string &what, Done done, DWORD timeout = kTimeoutMs,
                    const std::string *seen = 0)
{
    for (DWORD start = GetTickCount(), code = 0;; Sleep(50)) {
        bool ended = Ended(&code);
        if (done())
            return;
        if (ended)
            Fail("the program ended (exit code %lu) while waiting for %s", code, what.c_str());
        if (GetTickCount() - start > timeout)
            Fail("timed out waiting for %s%s", what.c_str(),
                 seen ? ("; it is \"" + *seen + "\"").c_str() : "");
    }
}

static HWND Control(int id)
{
    HWND control = IsWindow(g_main) ? GetDlgItem(g_main, id) : 0;
    if (!control)
        Fail("no main dialog open (start with split or join), or it has no control %d", id);
    return control;
}

static void AnswerFileDialog(const char *path)
{
    HWND dialog = 0, field = 0;
    WaitFor("the \"Select File\" dialog", [&] { return (dialog = Find(kFileDialog)) != 0; });
    WaitFor("its file name field", [&] {
        return (field = GetDlgItem(dialog, cmb13)) || (field = GetDlgItem(dialog, edt1));
    });
    if (path)
        SendMessageTimeoutA(field, WM_SETTEXT, 0, (LPARAM)path, SMTO_ABORTIFHUNG, kTimeoutMs, 0);
    PostMessageA(GetDlgItem(dialog, path ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
    WaitFor("the \"Select File\" dialog to close", [&] {
        // A name that does not exist brings up a warning over the dialog.
        if (HWND warning = Find(kMessageBox) ? Find(kMessageBox) : Find(kFileDialog, dialog))
            Fail("the file dialog warns: \"%s\"", MessageTextOf(warning).c_str());
        return !IsWindow(dialog);
    });
}

static void ExpectWorking(int points)
{
    int first = -1, last = -1;
    std::string rated;  // a caption with the rate and the time left
    for (DWORD start = GetTickCount(); first < 0 || last - first < points || rated.empty(); Sleep(100)) {
        if (GetTickCount() - start > kTimeoutMs)
            Fail("the percentage grew from %d%% to %d%% only, %s", first, last,
                 rated.empty() ? "never with its rate and time left" : "");
        FailOnMessageBox();
        DWORD_PTR ignored;
        if (!SendMessageTimeoutA(Control(IDOK) ? g_main : 0, WM_NULL, 0, 0, SMTO_NORMAL, 200, &ignored) ||
            IsHungAppWindow(g_main))
            Fail("the dialog did not answer within 200 ms, or is judged hung");
        std::string caption = TextOf(g_main);  // "42% · 120 MB/s · 0:12 left"
        size_t end = caption.find('%'), rate = caption.find("B/s \xC2\xB7 "), left = caption.rfind(" left");
        int percent = end >= 1 && end <= 3 ? atoi(caption.c_str()) : -1;
        if (caption.compare(end + 1, 3, " \xC2\xB7") == 0 && rate < left && left + 5 == caption.size() &&
            caption[left - 3] == ':' && isdigit(caption[left - 1]))
            rated = caption;
        if (percent < last)
            Fail("the caption \"%s\" shows no progress (%d%% before)", caption.c_str(), last);
        first = first < 0 ? percent : first;
        last = percent;
    }
    printf("  progress from %d%% to %d%%, \"%s\"\n", first, last, rated.c_str());
}

static void RunStep(const std::string &step)
{
    // VERB:REST, and REST as ID:TEXT, where TEXT may hold colons of its own.
    size_t colon = step.find(':'), second = step.find(':', colon + 1);
    std::string verb = step.substr(0, colon);
    std::string rest = colon == std::string::npos ? "" : step.substr(colon + 1);
    std::string text = second == std::string::npos ? "" : step.substr(second + 1);
    int id = atoi(rest.c_str());
    if (verb == "split" || verb == "join") {
        WaitFor("the " + verb + " dialog", [] {
            if (!(g_main = Find(kMainDialog)))
                FailOnMessageBox();
            return g_main != 0;
        });
        if ((GetDlgItem(g_main, IDC_BROWSE) != 0) != (verb == "split"))
            Fail("the other dialog opened");
    } else if (verb == "click") {
        PostMessageA(Control(id), BM_CLICK, 0, 0);
    } else if (verb == "type") {
        SendMessageTimeoutA(Control(id), WM_SETTEXT, 0, (LPARAM)text.c_str(), SMTO_ABORTIFHUNG,
                            kTimeoutMs, 0);
    } else if (verb == "text" || verb == "caption" || verb == "enabled" || verb == "disabled") {
        HWND window = verb == "caption" ? (Control(IDOK), g_main) : Control(id);
        std::string expected = verb == "text" ? text : verb == "caption" ? rest : verb, seen;
        WaitFor(step, [&] {
            seen = verb == "text" || verb == "caption" ? TextOf(window)
                   : IsWindowEnabled(window)           ? "enabled"
                                                       : "disabled";
            return seen == expected;
        }, kTimeoutMs, &seen);
    } else if (verb == "open" || verb == "cancelfile") {
        AnswerFileDialog(verb == "open" ? rest.c_str() : 0);
    } else if (verb == "error" || verb == "warning" || verb == "info" || verb == "yes" || verb == "no") {
        HWND box = 0;
        std::string seen, expected = (verb == "yes" || verb == "no" ? "question" : verb) + ":" + rest;
        size_t star = expected.find('*'), tail = expected.size() - star - 1;
        WaitFor(step, [&] {
            box = Find(kMessageBox);
            seen = box ? IconOf(box) + ":" + TextOf(box) + ":" + MessageTextOf(box) : "";
            return star == std::string::npos ? seen == expected
                   : seen.size() >= star + tail && seen.compare(0, star, expected, 0, star) == 0 &&
                         seen.compare(seen.size() - tail, tail, expected, star + 1, tail) == 0;
        }, kTimeoutMs, &seen);
        int button = verb == "yes" ? IDYES : verb == "no" ? IDNO : IDOK;
        PostMessageA(GetDlgItem(box, button), BM_CLICK, 0, 0);
        WaitFor("the message box to close", [&] { return !IsWindow(box); });
    } else if (verb == "fits") {
        Control(IDOK);
        ExpectTextsFit();
    } else if (verb == "working" || verb == "sleep") {
        verb == "working" ? ExpectWorking(id) : Sleep((DWORD)id);
    } else if (verb == "close" || verb == "ends") {
        if (verb == "close")
            PostMessageA(Control(IDOK) ? g_main : 0, WM_SYSCOMMAND, SC_CLOSE, 0);
        DWORD code = 0;
        WaitFor("the program to end", [&] { return FailOnMessageBox(), Ended(&code); }, kWorkTimeoutMs);
        if (code != 0)
            Fail("the program ended with exit code %lu", code);
    } else {
        Fail("unknown step");
    }
}

int main(int argc, char **argv)
{
    setvbuf(stdout, 0, _IONBF, 0);
    SetProcessDPIAware();  // the program's own pixels, as its manifest asks
    std::string program = argc < 3 ? "" : argv[1], argument;
    size_t bar = program.find('|');
    if (bar != std::string::npos) {
        argument = " \"" + program.substr(bar + 1) + "\"";
        program.resize(bar);
    }
    std::string command_line = "\"" + program + "\"" + argument;
    STARTUPINFOA startup = {sizeof startup};
    if (argc < 3 ||
        !CreateProcessA(program.c_str(), &command_line[0], 0, 0, FALSE, 0, 0, argv[2], &startup, &g_child)) {
        fprintf(stderr, "usage: dialog_driver PROGRAM WORKING-DIR STEP...; cannot start (error %lu)\n",
                GetLastError());
        return 2;
    }
    DWORD start = GetTickCount(), code;
    printf("started %s in %s\n", argv[1], argv[2]);
    for (int i = 3; i < argc; i++) {
        RunStep(g_step = argv[i]);
        printf("ok %5lu ms %s\n", GetTickCount() - start, argv[i]);
    }
    g_step = "(after the last step)";
    if (!Ended(&code))
        Fail("the program is still running");
    return 0;
}
