#include "app/mode.h"

#include "format/paths.h"
#include "format/trailer.h"
#include "platform/files.h"
#include "platform/text.h"

// Whether the file ends in a trailer of zeros: the program as built, which
// carries no set.  A file that cannot be read is taken for a head part,
// whose join then says why it cannot read it.
static bool HoldsNoSet(const char *image_path)
{
    File file;
    FileInfo info;
    unsigned char trailer[kTrailerSize];
    if (!FileOpenRead(0, image_path, &file, 0, &info))
        return false;
    bool read = info.length >= kTrailerSize && FileReadAt(&file, info.length - kTrailerSize, trailer, kTrailerSize, 0);
    FileClose(&file, 0);
    for (int i = 0; read && i < kTrailerSize; i++)
        if (trailer[i])
            return false;
    return read;
}

Mode SelectMode(const char *image_path)
{
    PathPieces pieces;
    SplitPath(image_path, &pieces);
    return TextEqualNoCase(pieces.base, "cleaver") || HoldsNoSet(image_path) ? kSplitMode : kJoinMode;
}
