// Names of the files of a part set.
#ifndef QCLEAVER_FORMAT_PART_NAMES_H
#define QCLEAVER_FORMAT_PART_NAMES_H

#include "platform/files.h"

// "<base>_00.exe" for the head part, "<base>_<NN>.QCB" for slice file NN;
// at least two digits.  False when the name does not fit.
bool FormatPartName(char name[kPathSize], const char *base, int64_t index);

// The base name of a path, as the part names use it, by DOS rules (a
// Windows set's path) or this system's.
void BaseNameOf(const char *path, char base[kPathSize], bool dos = kDosPaths);

// The rebuilt file's name: base name and extension of the original path.
bool FormatOutputName(char name[kPathSize], const char *original_path, bool dos = kDosPaths);

#endif
