// Work that runs for a while in a terminal, for the console dialog host and
// the command line alike: its progress in one line on standard error when
// that is a terminal, and Ctrl-C (or a closed terminal, or kill) as its
// Cancel.
#ifndef QCLEAVER_PLATFORM_CONSOLE_WORK_H
#define QCLEAVER_PLATFORM_CONSOLE_WORK_H

#include <stdint.h>

#include "platform/progress.h"

struct ConsoleWork {
    bool show_progress;
    int64_t started_at, shown_at;  // milliseconds
};

// Once per process, before any work: how the program takes signals, and
// the name its messages begin with (the name it was started by).
void CatchConsoleSignals();
void SetConsoleName(const char *name);
const char *ConsoleName();
// "name: text" on standard error, after what standard output holds.
void PrintError(const char *text);
void BeginConsoleWork(ConsoleWork *work, Progress *progress);
void EndConsoleWork(ConsoleWork *work);
// Ends the program by the signal that stopped the work, once the work has
// cleaned up after itself and said what it did; returns when none did.
void EndIfInterrupted();

#endif
