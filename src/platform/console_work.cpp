#include "platform/console_work.h"

#include <signal.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

#include "platform/text.h"

// Set by an interruption (Ctrl-C, a closed terminal, kill) that came while
// work was running: the work stops at its next buffer, cleans up, and the
// program then ends by that signal.  A signal handler reaches nothing but
// globals, so these two are.
static volatile sig_atomic_t g_working;
static volatile sig_atomic_t g_stop_signal;

// The name every message of the program begins with, as GNU tools do.
static const char *g_name = "cleaver";

void SetConsoleName(const char *name)
{
    g_name = name;
}

const char *ConsoleName()
{
    return g_name;
}

void PrintError(const char *text)
{
    fflush(stdout);
    fprintf(stderr, "%s: %s\n", g_name, text);
}

static void OnInterrupt(int signal_number)
{
    if (g_working) {
        g_stop_signal = signal_number;
        return;
    }
    // Nothing to clean up: end as the signal would have ended us.
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

// Once per process: interruptions as above, unless the program was started
// with them ignored (nohup, trap '' HUP), which it respects; a file-size
// limit that makes a write fail (which is reported) instead of killing the
// program; and a closed pipe on standard output, which the exit status
// reports.
void CatchConsoleSignals()
{
    static bool caught;
    if (caught)
        return;
    caught = true;
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    static const int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP};
    for (int signal_number : kInterruptions) {
        struct sigaction before;
        if (sigaction(signal_number, 0, &before) == 0 && before.sa_handler != SIG_IGN)
            sigaction(signal_number, &action, 0);
    }
    signal(SIGXFSZ, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
}

void EndIfInterrupted()
{
    int signal_number = g_stop_signal;
    if (signal_number) {
        fflush(stdout);
        signal(signal_number, SIG_DFL);
        raise(signal_number);
    }
}

static int64_t NowMs()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

// One line on standard error, redrawn in place a few times a second.
static bool ConsoleStep(Progress *progress)
{
    ConsoleWork *work = (ConsoleWork *)progress->host;
    if (work->show_progress && NowMs() - work->shown_at >= 200) {
        work->shown_at = NowMs();
        char item[kPathSize] = "", done[64];
        AppendName(item, kPathSize, progress->item);
        FormatProgress(progress, work->shown_at - work->started_at, done, sizeof done);
        fprintf(stderr, "\r\033[K%s %s", item, done);
        fflush(stderr);
    }
    return !g_stop_signal;
}

void BeginConsoleWork(ConsoleWork *work, Progress *progress)
{
    fflush(stdout);
    work->show_progress = isatty(2) != 0;
    work->started_at = work->shown_at = NowMs();
    progress->step = ConsoleStep;
    progress->host = work;
    g_working = 1;
}

void EndConsoleWork(ConsoleWork *work)
{
    g_working = 0;
    if (work->show_progress)
        fprintf(stderr, "\r\033[K");
}

