#include "platform/reasons.h"

#include "platform/text.h"

void AppendLargeFileAdvice(char *text, int size, LargeFileRemedy remedy)
{
    AppendText(text, size, remedy == kChooseSmallerParts
                               ? "; choose smaller parts, or a drive formatted NTFS or exFAT"
                               : "; rebuild it on a drive formatted NTFS or exFAT");
}

// A folder's path as shown, or what stands for it where it has none.
static const char *FolderShown(char out[kPathSize], const char *folder, const char *none)
{
    return folder[0] ? ShownName(out, kPathSize, folder) : none;
}

void AppendTooLargeForDrive(char *text, int size, const char *folder, LargeFileRemedy remedy)
{
    char shown[kPathSize];
    AppendFormat(text, size, " is larger than the file system of %s holds",
                 FolderShown(shown, folder, "this drive"));
    AppendLargeFileAdvice(text, size, remedy);
}

void AppendReason(char *text, int size, const FileError *error, int64_t more_room)
{
    if (!HasFailed(error))
        return;
    char reason[512], room[32];
    DescribeFileError(error->code, reason, sizeof reason);
    const char *advice = "";
    if (error->code == kErrorNoSpace && more_room > 0)
        advice = "; it needs %s more room";
    else if (error->code == kErrorTooLarge && error->process_limit)
        advice = "; a limit set on this program (ulimit -f) takes no larger file";
    else if (error->code == kErrorTooLarge)
        advice = "; the file system of this drive takes no file this large";
    else if (error->code == kErrorInUse)
        advice = "; another program has the file open: close it and try again";
    AppendFormat(text, size, ": %s", reason);
    AppendFormat(text, size, advice, SizeWords(room, sizeof room, more_room));
}

void AppendFailure(char *text, int size, const FileError *error, int64_t more_room)
{
    char path[kPathSize];
    AppendFormat(text, size, "Unable to %s %s%s", error->call, ShownName(path, sizeof path, error->path),
                 error->code == kErrorNoSpace && TextEqual(error->call, "write") ? ", the disk may be full"
                                                                                 : "");
    AppendReason(text, size, error, more_room);
}

const char *ReasonWords(char *out, int size, const FileError *error)
{
    out[0] = 0;
    AppendReason(out, size, error);
    return out;
}

const char *FailureWords(char *out, int size, const FileError *error, int64_t more_room)
{
    out[0] = 0;
    AppendFailure(out, size, error, more_room);
    return out;
}

void AppendRoom(char *text, int size, const char *folder, int64_t free_bytes)
{
    char shown[kPathSize], free_words[32];
    AppendFormat(text, size, "%s has %s free", FolderShown(shown, folder, "this folder"),
                 SizeWords(free_words, sizeof free_words, free_bytes));
}
