// How work that runs for a while on the dialog's thread tells how far it
// has got, and learns that the user wants it stopped.  The engines count;
// the dialog host shows the count and asks the user.
#ifndef QCLEAVER_PLATFORM_PROGRESS_H
#define QCLEAVER_PLATFORM_PROGRESS_H

#include <stdint.h>

#include "platform/files.h"

struct Progress {
    int64_t done;  // bytes done so far
    int64_t total;  // bytes in all
    // The file being written or read, where one is named: a copy, so that
    // it lives as long as the report, whatever function named it.
    char item[kPathSize];
    // Called between buffers; false when the user wants the work stopped.
    bool (*step)(Progress *progress);
    void *host;  // the dialog host's own record of the work
    bool stopped;  // a step said stop: the work ends, and says nothing of it
};

// No work counted yet, and no host watching.
void ProgressInit(Progress *progress);
// The file the work is now at; progress may be null.
void ProgressItem(Progress *progress, const char *name);

// Whole percent done, 0 to 100.
inline int ProgressPercent(const Progress *progress)
{
    if (progress->total <= 0)
        return 0;
    // Work past the count (the program copy after the file) shows as done.
    return progress->done >= progress->total ? 100 : (int)(progress->done * 100 / progress->total);
}

// How far the work has got, as the hosts show it, after elapsed_ms of it:
// "41% · 120 MB/s · 0:12 left"; the percentage alone in its first second,
// before its rate means anything.
void FormatProgress(const Progress *progress, int64_t elapsed_ms, char *text, int size);

// Counts bytes done; false when the work is to stop.  progress may be null.
bool ProgressStep(Progress *progress, int64_t bytes);

#endif
