// The path rule: how a path falls into drive, directory, base name and
// extension, which the part names, the rebuilt file's name and the choice
// of mode all rest on.
#ifndef QCLEAVER_FORMAT_PATHS_H
#define QCLEAVER_FORMAT_PATHS_H

enum { kPieceSize = 256 };  // 255 bytes and the terminator

struct PathPieces {
    char drive[3];
    char dir[kPieceSize];
    char base[kPieceSize];
    char ext[kPieceSize];
};

typedef bool (*LeadBytePredicate)(unsigned char c);

// Drive ("C:"), directory (up to and including the last '\' or '/'),
// extension (from the last dot after that, dot included) and base name (what
// lies between).  Lead bytes of double-byte characters are never taken for
// separators or dots; each piece is cut to 255 bytes.
void SplitPath(const char *path, PathPieces *pieces, LeadBytePredicate is_lead);
void SplitPath(const char *path, PathPieces *pieces);  // system code page

// Lower-cases ASCII letters, leaving the trail bytes of double-byte
// characters alone.
void LowerCaseAscii(char *text, LeadBytePredicate is_lead);

#endif
