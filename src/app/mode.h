// One program, two roles: a program that holds a set joins it; one that
// holds none splits.
#ifndef QCLEAVER_APP_MODE_H
#define QCLEAVER_APP_MODE_H

enum Mode { kSplitMode, kJoinMode };

// The program at image_path holds no set (its trailer is the program's own
// zeros) or is named "cleaver", in any case of its ASCII letters: the split
// tool, whatever a browser or a package named the copy ("cleaver (1).exe",
// "qcleaver").  Anything else is a head part that joins.
Mode SelectMode(const char *image_path);

#endif
