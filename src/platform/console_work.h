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
    int64_t shown_at;  // milliseconds
};

// Once per process, before any work: how the program takes signals.
void CatchConsoleSignals();
void BeginConsoleWork(ConsoleWork *work, Progress *progress);
void EndConsoleWork(ConsoleWork *work);
// Ends the program by the signal that stopped the work, once the work has
// cleaned up after itself and said what it did; returns when none did.
void EndIfInterrupted();

#endif
