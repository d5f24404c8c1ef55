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

// "0:12", "59:59", "1:00:00".
static void AppendDuration(char *text, int size, int64_t seconds)
{
    if (seconds >= 3600) {
        AppendDecimal(text, size, seconds / 3600);
        AppendText(text, size, ":");
    }
    AppendDecimal(text, size, seconds / 60 % 60, seconds >= 3600 ? 2 : 1);
    AppendText(text, size, ":");
    AppendDecimal(text, size, seconds % 60, 2);
}

void FormatProgress(const Progress *progress, int64_t elapsed_ms, char *text, int size)
{
    text[0] = 0;
    AppendDecimal(text, size, ProgressPercent(progress));
    AppendText(text, size, "%");
    int64_t rate = elapsed_ms >= 1000 ? progress->done * 1000 / elapsed_ms : 0;  // bytes a second
    if (rate <= 0)
        return;
    AppendText(text, size, " \xC2\xB7 ");  // a middle dot
    AppendSize(text, size, rate);
    AppendText(text, size, "/s");
    if (progress->done < progress->total) {
        AppendText(text, size, " \xC2\xB7 ");
        AppendDuration(text, size, (progress->total - progress->done + rate - 1) / rate);
        AppendText(text, size, " left");
    }
}
