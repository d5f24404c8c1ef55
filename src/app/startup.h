// Mode selection by program name, and the path rule it rests on.
#ifndef QCLEAVER_STARTUP_H
#define QCLEAVER_STARTUP_H

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

enum Mode { kSplitMode, kJoinMode };

// The base name "cleaver", in any case of its ASCII letters, is the split
// tool; any other name is a head part that joins.
Mode SelectMode(const char *image_path);

// Lower-cases ASCII letters, leaving the trail bytes of double-byte
// characters alone.
void LowerCaseAscii(char *text, LeadBytePredicate is_lead);

#endif
