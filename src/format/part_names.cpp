#include "format/part_names.h"

#include "format/paths.h"
#include "platform/text.h"

bool FormatPartName(char name[kPathSize], const char *base, int64_t index)
{
    name[0] = 0;
    return AppendText(name, kPathSize, base) && AppendText(name, kPathSize, "_") &&
           AppendDecimal(name, kPathSize, index, 2) &&
           AppendText(name, kPathSize, index == 0 ? ".exe" : ".QCB");
}

void BaseNameOf(const char *path, char base[kPathSize], bool dos)
{
    PathPieces pieces;
    SplitPath(path, &pieces, IsLeadByte, dos);
    CopyText(base, kPathSize, pieces.base);
}

bool FormatOutputName(char name[kPathSize], const char *original_path, bool dos)
{
    PathPieces pieces;
    SplitPath(original_path, &pieces, IsLeadByte, dos);
    return CopyText(name, kPathSize, pieces.base) && AppendText(name, kPathSize, pieces.ext);
}
