// What files.h says the same way on every system.
#include "platform/files.h"

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

void StartFile(File *file, const char *name)
{
    file->handle = kNoHandle;
    file->fresh = false;
    CopyText(file->name, kPathSize, name);
}

int64_t FileLength(File *file, FileError *error)
{
    FileInfo info;
    return FileInfoOf(file, &info, error) ? info.length : -1;
}

void TempName(const TempSeries *series, int64_t number, char name[kPathSize])
{
    FormatText(name, kPathSize, "%s-%" D64 ".tmp", series->stem, number);
}
