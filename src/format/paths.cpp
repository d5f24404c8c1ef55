#include "format/paths.h"

#include "platform/text.h"

// The first length bytes of from, as many as a piece holds.
static void CopyPiece(char *out, const char *from, int length)
{
    CopyText(out, length < kPathSize ? length + 1 : kPathSize, from);
}

void SplitPath(const char *path, PathPieces *pieces, LeadBytePredicate is_lead, bool dos,
               bool leading_dot_is_extension)
{
    int start = 0;
    pieces->drive[0] = 0;
    if (dos && path[0] && path[1] == ':' && !is_lead((unsigned char)path[0])) {
        pieces->drive[0] = path[0];
        pieces->drive[1] = ':';
        pieces->drive[2] = 0;
        start = 2;
    }
    int after_sep = start;  // first byte after the last separator
    int last_dot = -1;
    int i = start;
    while (path[i]) {
        unsigned char c = (unsigned char)path[i];
        if (is_lead(c) && path[i + 1]) {
            i += 2;
            continue;
        }
        if (c == '/' || (dos && c == '\\')) {
            after_sep = i + 1;
            last_dot = -1;
        } else if (c == '.') {
            last_dot = i;
        }
        i++;
    }
    if (last_dot == after_sep && !leading_dot_is_extension)
        last_dot = -1;  // a hidden name, not an extension
    int end = i;
    int base_end = last_dot >= 0 ? last_dot : end;
    CopyPiece(pieces->dir, path + start, after_sep - start);
    CopyPiece(pieces->base, path + after_sep, base_end - after_sep);
    CopyPiece(pieces->ext, path + base_end, end - base_end);
}

void SplitPath(const char *path, PathPieces *pieces)
{
    SplitPath(path, pieces, IsLeadByte, kDosPaths);
}

const char *FileNameOf(const char *path)
{
    // What follows the folder: the base name and extension, together.
    PathPieces pieces;
    SplitPath(path, &pieces);
    return path + TextLength(pieces.drive) + TextLength(pieces.dir);
}
