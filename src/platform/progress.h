// How work that runs for a while on the dialog's thread tells how far it
// has got, and learns that the user wants it stopped.  The engines count;
// the dialog host shows the count and asks the user.
#ifndef QCLEAVER_PLATFORM_PROGRESS_H
#define QCLEAVER_PLATFORM_PROGRESS_H

#include <stdint.h>

struct Progress {
    int64_t done;      // bytes done so far
    int64_t total;     // bytes in all
    const char *item;  // the file being written or read, where one is named
    // Called between buffers; false when the user wants the work stopped.
    bool (*step)(Progress *progress);
    void *host;  // the dialog host's own record of the work
};

// Whole percent done, 0 to 100.
inline int ProgressPercent(const Progress *progress)
{
    if (progress->total <= 0)
        return 0;
    // Work past the count (the program copy after the file) shows as done.
    return progress->done >= progress->total ? 100 : (int)(progress->done * 100 / progress->total);
}

// Counts bytes done; false when the work is to stop.  progress may be null.
inline bool ProgressStep(Progress *progress, int64_t bytes)
{
    if (!progress)
        return true;
    progress->done += bytes;
    return !progress->step || progress->step(progress);
}

#endif
