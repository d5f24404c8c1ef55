#include "platform/progress.h"

#include "platform/text.h"

void ProgressInit(Progress *progress)
{
    progress->done = progress->total = 0;
    progress->item[0] = 0;
    progress->step = 0;
    progress->host = 0;
    progress->stopped = false;
}

void ProgressItem(Progress *progress, const char *name)
{
    if (progress)
        CopyText(progress->item, kPathSize, name);
}

bool ProgressStep(Progress *progress, int64_t bytes)
{
    if (!progress)
        return true;
    progress->done += bytes;
    if (!progress->stopped && progress->step && !progress->step(progress))
        progress->stopped = true;
    return !progress->stopped;
}
