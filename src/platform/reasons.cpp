// A failure's reason, kept, and in words with the advice users need most;
// the same on every system, over each system's own words.
#include "platform/files.h"
#include "platform/text.h"

// The reason of the latest failure, as errno is: each backend records it
// where a call fails, the engines copy it into their results.
static FileError g_last_error;

FileError LastFileError()
{
    return g_last_error;
}

void SetFileError(int code, const char *call)
{
    g_last_error.code = code;
    g_last_error.call = call;
}

void AppendReason(char *text, int size, FileError error, int64_t more_room)
{
    if (error.code == 0)
        return;
    char reason[512];
    DescribeFileError(error.code, reason, sizeof reason);
    AppendText(text, size, ": ");
    AppendText(text, size, reason);
    if (error.code == kErrorNoSpace && more_room > 0) {
        AppendText(text, size, "; it needs ");
        AppendSize(text, size, more_room);
        AppendText(text, size, " more room");
    } else if (error.code == kErrorTooLarge) {
        AppendText(text, size, "; the file is too large for the file system of this drive: choose "
                               "smaller parts, or a drive formatted NTFS or exFAT");
    } else if (error.code == kErrorInUse) {
        AppendText(text, size, "; another program has the file open: close it and try again");
    }
}

void AppendRoom(char *text, int size, const char *folder, int64_t free_bytes)
{
    AppendText(text, size, folder[0] ? folder : "this folder");
    AppendText(text, size, " has ");
    AppendSize(text, size, free_bytes);
    AppendText(text, size, " free");
}
