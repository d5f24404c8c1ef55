#include "platform/reasons.h"

#include "platform/text.h"

void ClearError(FileError *error)
{
    error->code = 0;
    error->call = "";
    error->path[0] = 0;
    error->process_limit = false;
}

bool SetError(FileError *error, int code, const char *call, const char *path)
{
    if (error && !HasFailed(error)) {
        ClearError(error);
        error->code = code;
        error->call = call;
        CopyText(error->path, kPathSize, path);
    }
    return false;
}

void TempName(const TempSeries *series, int64_t number, char name[kPathSize])
{
    CopyText(name, kPathSize, series->stem);
    AppendText(name, kPathSize, "-");
    AppendDecimal(name, kPathSize, number);
    AppendText(name, kPathSize, ".tmp");
}

void AppendLargeFileAdvice(char *text, int size, LargeFileRemedy remedy)
{
    AppendText(text, size, remedy == kChooseSmallerParts
                               ? "; choose smaller parts, or a drive formatted NTFS or exFAT"
                               : "; rebuild it on a drive formatted NTFS or exFAT");
}

void AppendTooLargeForDrive(char *text, int size, const char *folder, LargeFileRemedy remedy)
{
    AppendText(text, size, " is larger than the file system of ");
    if (folder[0])
        AppendName(text, size, folder);
    else
        AppendText(text, size, "this drive");
    AppendText(text, size, " holds");
    AppendLargeFileAdvice(text, size, remedy);
}

void AppendReason(char *text, int size, const FileError *error, int64_t more_room)
{
    if (!HasFailed(error))
        return;
    char reason[512];
    DescribeFileError(error->code, reason, sizeof reason);
    AppendText(text, size, ": ");
    AppendText(text, size, reason);
    if (error->code == kErrorNoSpace && more_room > 0) {
        AppendText(text, size, "; it needs ");
        AppendSize(text, size, more_room);
        AppendText(text, size, " more room");
    } else if (error->code == kErrorTooLarge && error->process_limit) {
        AppendText(text, size, "; a limit set on this program (ulimit -f) takes no larger file");
    } else if (error->code == kErrorTooLarge) {
        AppendText(text, size, "; the file system of this drive takes no file this large");
    } else if (error->code == kErrorInUse) {
        AppendText(text, size, "; another program has the file open: close it and try again");
    }
}

void AppendFailure(char *text, int size, const FileError *error, int64_t more_room)
{
    AppendText(text, size, "Unable to ");
    AppendText(text, size, error->call);
    AppendText(text, size, " ");
    AppendName(text, size, error->path);
    if (error->code == kErrorNoSpace && TextEqual(error->call, "write"))
        AppendText(text, size, ", the disk may be full");
    AppendReason(text, size, error, more_room);
}

void AppendRoom(char *text, int size, const char *folder, int64_t free_bytes)
{
    if (folder[0])
        AppendName(text, size, folder);
    else
        AppendText(text, size, "this folder");
    AppendText(text, size, " has ");
    AppendSize(text, size, free_bytes);
    AppendText(text, size, " free");
}
