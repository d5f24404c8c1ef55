// The path rule: how a path falls into drive, directory, base name and
// extension, which the part names, the rebuilt file's name and the choice
// of mode all rest on.
#ifndef QCLEAVER_FORMAT_PATHS_H
#define QCLEAVER_FORMAT_PATHS_H

#include "platform/files.h"

struct PathPieces {
    char drive[3];
    char dir[kPathSize];
    char base[kPathSize];
    char ext[kPathSize];
};

typedef bool (*LeadBytePredicate)(unsigned char c);

// Drive ("C:"), directory (up to and including the last separator),
// extension (from the last dot after that, dot included) and base name
// (what lies between).  A name whose only dot is its first character
// (".profile") has no extension: the dot marks it hidden.  Under DOS rules
// (Windows) '\\' and '/' separate and a drive is recognised; elsewhere only
// '/' separates, and a backslash or a colon is a character of a name like
// any other.  Lead bytes of double-byte characters are never taken for
// separators or dots.  leading_dot_is_extension restores the rule of
// earlier builds (".profile" all extension), for their sets alone.
void SplitPath(const char *path, PathPieces *pieces, LeadBytePredicate is_lead, bool dos,
               bool leading_dot_is_extension = false);
void SplitPath(const char *path, PathPieces *pieces);  // this system's rules

// The last component of a path: what follows its last separator.
const char *FileNameOf(const char *path);

#endif
