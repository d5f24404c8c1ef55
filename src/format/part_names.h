// Names of the files of a part set.
#ifndef QCLEAVER_FORMAT_PART_NAMES_H
#define QCLEAVER_FORMAT_PART_NAMES_H

#include <stdint.h>

#include "platform/files.h"

// "<stem>_00.exe" for the head part, "<stem>_<NN>.QCB" for slice file NN,
// "<stem>_R<NN>.QCB" for recovery part NN, index -NN; at least two digits.
// False when the name does not fit.
bool FormatPartName(char name[kPathSize], const char *stem, int64_t index);
// Whether two names are one file's by the system's rule (case aside on Windows).
bool NamedAlike(const char *a, const char *b);

// The index of a slice file's name (1 ... limit), or 0 when the name is not
// a slice's of that stem exactly as a split writes it (in the system's
// case rule).
int64_t SliceIndexOf(const char *name, const char *stem, int64_t limit);
// The same for a recovery part's name: NN of "<stem>_R<NN>.QCB", or 0.
int64_t RecoveryNumberOf(const char *name, const char *stem, int64_t limit);

// The stem of a part's name, and which part it names: the head part
// ("report_00.exe", 0), a slice ("report_01.QCB", 1) or a recovery part
// ("report_R01.QCB", -1); false for any other name.
bool ParsePartName(const char *name, char stem[kPathSize], int *kind);

// What the part names are made of: a path's base name without its
// extension ("report.tar" of "C:\data\report.tar.gz"), by DOS rules (a
// Windows set's path) or this system's; leading_dot_is_extension as
// SplitPath takes it.
void StemOf(const char *path, char stem[kPathSize], bool dos = kDosPaths, bool leading_dot_is_extension = false);

// Why Windows could not rebuild a file of this name, in words for the
// user, or null where it can: a Linux name may hold characters, or be a
// device's name, that no Windows file can.
const char *WhyNotAWindowsName(const char *name);

// Why no file could be rebuilt under this name, in words for the user, or
// null where one can: a name given for standard input is a file's name in
// the parts' folder, so neither empty, nor "." or "..", nor holding a
// separator (by this system's rules).
const char *WhyNotAFileName(const char *name);

// The rebuilt file's name: base name and extension of the original path.
bool FormatOutputName(char name[kPathSize], const char *original_path, bool dos = kDosPaths);

#endif
