// One program, two roles, chosen by the name it was started under.
#ifndef QCLEAVER_APP_MODE_H
#define QCLEAVER_APP_MODE_H

enum Mode { kSplitMode, kJoinMode };

// The base name "cleaver", in any case of its ASCII letters, is the split
// tool; any other name is a head part that joins.
Mode SelectMode(const char *image_path);

#endif
