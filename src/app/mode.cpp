#include "app/mode.h"

#include "format/paths.h"
#include "platform/text.h"

Mode SelectMode(const char *image_path)
{
    PathPieces pieces;
    SplitPath(image_path, &pieces);
    return TextEqualNoCase(pieces.base, "cleaver") ? kSplitMode : kJoinMode;
}
