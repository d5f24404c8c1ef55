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

// "41% · 120 MB/s · 0:12 left", the time as 0:12, 59:59 or 1:00:00.
void FormatProgress(const Progress *progress, int64_t elapsed_ms, char *text, int size)
{
    FormatText(text, size, "%d%%", (int)ProgressPercent(progress));
    int64_t rate = elapsed_ms >= 1000 ? progress->done * 1000 / elapsed_ms : 0;  // bytes a second
    if (rate <= 0)
        return;
    char speed[32] = "";
    AppendSize(speed, sizeof speed, rate);
    AppendFormat(text, size, " \xC2\xB7 %s/s", speed);  // a middle dot
    if (progress->done >= progress->total)
        return;
    int64_t left = (progress->total - progress->done + rate - 1) / rate;
    int minutes = (int)(left / 60 % 60), seconds = (int)(left % 60);
    if (left >= 3600)
        AppendFormat(text, size, " \xC2\xB7 %" D64 ":%02d:%02d left", left / 3600, minutes, seconds);
    else
        AppendFormat(text, size, " \xC2\xB7 %d:%02d left", minutes, seconds);
}
